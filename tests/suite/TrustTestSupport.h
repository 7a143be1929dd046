// Helpers of the trusted loading tests: a temporary folder, whole-file reads and writes, and
// signatures made with the build's secret key or with a key pair of the test's own.
#pragma once

#include "platform/base/Strings.h"

#include <sodium.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace trust_test {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Signature = std::array<unsigned char, crypto_sign_BYTES>;
using SecretKey = std::array<unsigned char, crypto_sign_SECRETKEYBYTES>;

inline Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const void* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    ASSERT_TRUE(out.flush()) << path;
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) { WriteBytes(path, bytes.data(), bytes.size()); }

inline fs::path SignaturePath(const fs::path& path)
{
    fs::path signature = path;
    signature += ".sig";
    return signature;
}

inline WString Wide(const fs::path& path) { return Utf8ToWide(path.string()); }

inline SecretKey BuildSecretKey()
{
    Bytes bytes = ReadBytes(LUMO_SIGNING_SECRET_KEY);
    SecretKey key {};
    EXPECT_EQ(bytes.size(), key.size()) << "the build's secret key " << LUMO_SIGNING_SECRET_KEY;
    std::copy_n(bytes.begin(), std::min(bytes.size(), key.size()), key.begin());
    return key;
}

inline Signature SignBytes(const unsigned char* data, size_t size, const SecretKey& key)
{
    Signature signature {};
    crypto_sign_detached(signature.data(), nullptr, data, size, key.data());
    return signature;
}

// Writes <path>.sig for the file's current bytes.
inline void SignFile(const fs::path& path, const SecretKey& key = BuildSecretKey())
{
    Bytes content = ReadBytes(path);
    Signature signature = SignBytes(content.data(), content.size(), key);
    WriteBytes(SignaturePath(path), signature.data(), signature.size());
}

inline SecretKey OtherSecretKey()
{
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> publicKey;
    SecretKey key;
    EXPECT_GE(sodium_init(), 0);
    crypto_sign_keypair(publicKey.data(), key.data());
    return key;
}

// Runs a program with these arguments (fork and exec) and returns its exit code; -1 when it did not
// exit normally. A program that does not end within the watchdog's time is killed and fails the test.
inline int RunProgram(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    EXPECT_GT(child, 0);
    if (child <= 0)
        return -1;
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "watchdog: " << args[0] << " did not end";
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        usleep(5000);
    }
    EXPECT_TRUE(WIFEXITED(status)) << args[0] << " ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-trust-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
};

} // namespace trust_test
