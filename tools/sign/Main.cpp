// lumo-sign: the build's signing tool for the suite's files.
//
//   lumo-sign keygen <secret-key-file> <public-key-header.h>
//       Makes a new key pair when the secret key file does not exist yet (it is never replaced), then
//       writes the header that compiles the public key into the trusted loader. The header is only
//       rewritten when its text changes, so running this on every build costs nothing.
//   lumo-sign sign <secret-key-file> <file>
//       Writes <file>.sig, the 64-byte Ed25519 detached signature of the file's bytes.
//
// A secret key file holds the 64 bytes of a libsodium Ed25519 secret key (seed, then public key).
#include <sodium.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<unsigned char>;
using SecretKey = std::array<unsigned char, crypto_sign_SECRETKEYBYTES>;
using PublicKey = std::array<unsigned char, crypto_sign_PUBLICKEYBYTES>;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "lumo-sign: %s\n", message.c_str());
    return 1;
}

std::optional<Bytes> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Writes beside the target and renames, so a reader never sees half a file.
bool ReplaceFile(const fs::path& path, const void* data, size_t size)
{
    fs::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out.flush())
            return false;
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    return !error;
}

// The secret key is made readable by its owner only, and an existing file is never overwritten.
bool CreateSecretKeyFile(const fs::path& path, const SecretKey& key)
{
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    bool written = write(file, key.data(), key.size()) == static_cast<ssize_t>(key.size());
    written = close(file) == 0 && written;
    if (!written)
        unlink(path.c_str());
    return written;
}

// A key file is accepted only when its public half is the one its seed gives, which catches a
// truncated, padded or otherwise damaged file before anything is signed with it.
std::optional<SecretKey> ReadSecretKey(const fs::path& path, std::string& problem)
{
    std::optional<Bytes> bytes = ReadFile(path);
    if (!bytes) {
        problem = "cannot read the secret key " + path.string();
        return std::nullopt;
    }
    if (bytes->size() != crypto_sign_SECRETKEYBYTES) {
        problem = path.string() + " is not a secret key of " + std::to_string(crypto_sign_SECRETKEYBYTES) + " bytes";
        return std::nullopt;
    }
    SecretKey key;
    std::copy(bytes->begin(), bytes->end(), key.begin());
    PublicKey publicKey;
    SecretKey rebuilt;
    crypto_sign_seed_keypair(publicKey.data(), rebuilt.data(), key.data());
    if (sodium_memcmp(rebuilt.data(), key.data(), key.size()) != 0) {
        problem = path.string() + " is damaged: its public key does not match its seed";
        return std::nullopt;
    }
    return key;
}

std::string HeaderText(const PublicKey& key)
{
    std::ostringstream text;
    text << "// Made by lumo-sign from the build's signing key; do not edit.\n"
            "#pragma once\n\n"
            "inline constexpr unsigned char kSuitePublicKey["
         << key.size() << "] = {";
    char hex[8];
    for (size_t i = 0; i < key.size(); ++i) {
        std::snprintf(hex, sizeof hex, "0x%02x", key[i]);
        text << (i % 8 == 0 ? "\n    " : " ") << hex << ",";
    }
    text << "\n};\n";
    return text.str();
}

int KeyGen(const fs::path& secretKeyPath, const fs::path& headerPath)
{
    if (!fs::exists(secretKeyPath)) {
        PublicKey publicKey;
        SecretKey secretKey;
        crypto_sign_keypair(publicKey.data(), secretKey.data());
        bool created = CreateSecretKeyFile(secretKeyPath, secretKey);
        sodium_memzero(secretKey.data(), secretKey.size());
        if (!created)
            return Fail("cannot create the secret key " + secretKeyPath.string());
    }
    std::string problem;
    std::optional<SecretKey> secretKey = ReadSecretKey(secretKeyPath, problem);
    if (!secretKey)
        return Fail(problem);
    PublicKey publicKey;
    crypto_sign_ed25519_sk_to_pk(publicKey.data(), secretKey->data());
    sodium_memzero(secretKey->data(), secretKey->size());

    std::string header = HeaderText(publicKey);
    std::optional<Bytes> current = ReadFile(headerPath);
    if (current && std::string(current->begin(), current->end()) == header)
        return 0;
    if (!ReplaceFile(headerPath, header.data(), header.size()))
        return Fail("cannot write " + headerPath.string());
    return 0;
}

int Sign(const fs::path& secretKeyPath, const fs::path& filePath)
{
    std::string problem;
    std::optional<SecretKey> secretKey = ReadSecretKey(secretKeyPath, problem);
    if (!secretKey)
        return Fail(problem);
    std::optional<Bytes> content = ReadFile(filePath);
    if (!content)
        return Fail("cannot read " + filePath.string());
    std::array<unsigned char, crypto_sign_BYTES> signature;
    crypto_sign_detached(signature.data(), nullptr, content->data(), content->size(), secretKey->data());
    PublicKey publicKey;
    crypto_sign_ed25519_sk_to_pk(publicKey.data(), secretKey->data());
    sodium_memzero(secretKey->data(), secretKey->size());
    if (crypto_sign_verify_detached(signature.data(), content->data(), content->size(), publicKey.data()) != 0)
        return Fail("the signature of " + filePath.string() + " does not verify");
    fs::path signaturePath = filePath;
    signaturePath += ".sig";
    if (!ReplaceFile(signaturePath, signature.data(), signature.size()))
        return Fail("cannot write " + signaturePath.string());
    return 0;
}

int Usage()
{
    std::fprintf(stderr,
        "usage: lumo-sign keygen <secret-key-file> <public-key-header.h>\n"
        "       lumo-sign sign <secret-key-file> <file>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
        return Usage();
    if (sodium_init() < 0)
        return Fail("libsodium cannot be initialised");
    std::string command = argv[1];
    if (command == "keygen")
        return KeyGen(argv[2], argv[3]);
    if (command == "sign")
        return Sign(argv[2], argv[3]);
    return Usage();
}
