// The signing tool as the build runs it: keygen beside a header, sign beside the file.
#include "suite/Trust.h"

#include "TrustTestSupport.h"

#include <sys/stat.h>

#include <cstdio>

using namespace trust_test;

namespace {

int Tool(const std::string& command, const fs::path& first, const fs::path& second)
{
    return RunProgram({LUMO_SIGN_TOOL, command, first.string(), second.string()});
}

std::string Text(const fs::path& path)
{
    Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The key's bytes as the header writes them.
std::string HeaderBytes(const unsigned char* key, size_t size)
{
    std::string text;
    char hex[8];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(hex, sizeof hex, "0x%02x,", key[i]);
        text += hex;
    }
    return text;
}

std::string WithoutSpace(std::string text)
{
    std::erase_if(text, [](char c) { return c == ' ' || c == '\n'; });
    return text;
}

} // namespace

TEST(SignTool, SignsWithTheBuildKeySoTheLoaderTrustsTheFile)
{
    TempFolder folder;
    fs::path file = folder / "Facet.so";
    WriteBytes(file, Bytes {1, 2, 3});
    EXPECT_EQ(Tool("sign", LUMO_SIGNING_SECRET_KEY, file), 0);
    EXPECT_TRUE(IsSignedFile(Wide(file).c_str()));

    WriteBytes(file, Bytes {1, 2, 3, 4});
    EXPECT_FALSE(IsSignedFile(Wide(file).c_str()));
    EXPECT_EQ(Tool("sign", LUMO_SIGNING_SECRET_KEY, file), 0) << "signing again replaces the signature";
    EXPECT_TRUE(IsSignedFile(Wide(file).c_str()));
}

TEST(SignTool, KeyGenKeepsAnExistingKeyAndWritesItsPublicHalf)
{
    TempFolder folder;
    fs::path key = folder / "vendor.key";
    fs::path header = folder / "SuitePublicKey.h";
    ASSERT_EQ(Tool("keygen", key, header), 0);
    Bytes secret = ReadBytes(key);
    ASSERT_EQ(secret.size(), size_t(crypto_sign_SECRETKEYBYTES));
    struct stat info {};
    ASSERT_EQ(stat(key.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the secret key is its owner's only";
    // The public key is the second half of a libsodium secret key.
    EXPECT_NE(WithoutSpace(Text(header)).find(HeaderBytes(secret.data() + 32, 32)), std::string::npos) << Text(header);

    std::string firstHeader = Text(header);
    ASSERT_EQ(Tool("keygen", key, header), 0);
    EXPECT_EQ(ReadBytes(key), secret);
    EXPECT_EQ(Text(header), firstHeader);

    // A file signed with this other key verifies under it, but not under the suite's key.
    fs::path file = folder / "data.bin";
    WriteBytes(file, Bytes {9, 8, 7});
    ASSERT_EQ(Tool("sign", key, file), 0);
    Bytes signature = ReadBytes(SignaturePath(file));
    ASSERT_EQ(signature.size(), size_t(crypto_sign_BYTES));
    Bytes content = ReadBytes(file);
    EXPECT_EQ(crypto_sign_verify_detached(signature.data(), content.data(), content.size(), secret.data() + 32), 0);
    EXPECT_FALSE(IsSignedFile(Wide(file).c_str()));
}

TEST(SignTool, RefusesDamagedKeysAndMissingFiles)
{
    TempFolder folder;
    fs::path file = folder / "data.bin";
    WriteBytes(file, Bytes {1});
    SecretKey good = BuildSecretKey();

    fs::path shortKey = folder / "short.key";
    WriteBytes(shortKey, good.data(), good.size() - 1);
    EXPECT_EQ(Tool("sign", shortKey, file), 1);

    SecretKey mismatched = good;
    mismatched[40] ^= 0x01; // the public half no longer belongs to the seed
    fs::path mismatchedKey = folder / "mismatched.key";
    WriteBytes(mismatchedKey, mismatched.data(), mismatched.size());
    EXPECT_EQ(Tool("sign", mismatchedKey, file), 1);
    EXPECT_EQ(Tool("keygen", mismatchedKey, folder / "header.h"), 1);
    EXPECT_FALSE(fs::exists(folder / "header.h"));
    EXPECT_FALSE(fs::exists(SignaturePath(file)));

    EXPECT_EQ(Tool("sign", LUMO_SIGNING_SECRET_KEY, folder / "missing.bin"), 1);
    EXPECT_FALSE(fs::exists(SignaturePath(folder / "missing.bin")));
    EXPECT_EQ(Tool("verify", LUMO_SIGNING_SECRET_KEY, file), 2);
}
