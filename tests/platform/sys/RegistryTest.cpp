#include "platform/sys/Registry.h"
#include "platform/sys/RegistryStore.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr LSTATUS kOk = static_cast<LSTATUS>(ERROR_SUCCESS);

LSTATUS Code(DWORD error)
{
    return static_cast<LSTATUS>(error);
}

class RegistryTest : public ::testing::Test {
protected:
    std::string UserStore() const { return m_temp.Native("config/lumo/registry/user.reg"); }
    std::string MachineStore() const { return m_temp.Native("machine/machine.reg"); }

    static LSTATUS SetString(HKEY hive, LPCWSTR key, LPCWSTR name, const WString& text)
    {
        return SHSetValueW(hive, key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    }
    static LSTATUS SetDword(HKEY hive, LPCWSTR key, LPCWSTR name, DWORD value)
    {
        return SHSetValueW(hive, key, name, REG_DWORD, &value, sizeof value);
    }
    static std::optional<WString> GetString(HKEY hive, LPCWSTR key, LPCWSTR name)
    {
        WCHAR buffer[512];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        if (SHGetValueW(hive, key, name, &type, buffer, &size) != kOk || type != REG_SZ)
            return std::nullopt;
        return WString(buffer);
    }
    static std::optional<DWORD> GetDword(HKEY hive, LPCWSTR key, LPCWSTR name)
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (SHGetValueW(hive, key, name, nullptr, &value, &size) != kOk)
            return std::nullopt;
        return value;
    }

    TempFolder m_temp;
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_temp.Native("config")};
    ScopedEnv m_machine{"LUMO_MACHINE_REGISTRY", m_temp.Native("machine")};
};

} // namespace

TEST_F(RegistryTest, ValuesPersistInTheirHiveFiles)
{
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\TernSafe\\Camlet", u"Folder", u"/home/ü/照片"), kOk);
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"Software/TernSafe", u"Installed", 42), kOk);
    BYTE blob[] = {0, 1, 0xFE, 0xFF};
    EXPECT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"Software\\TernSafe", u"Blob", REG_BINARY, blob, sizeof blob), kOk);

    EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"software/ternsafe/CAMLET", u"folder"), u"/home/ü/照片");
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TernSafe\\", u"installed"), 42u);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"Installed"), std::nullopt);
    BYTE read[8] = {};
    DWORD size = sizeof read;
    DWORD type = 0;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"Software\\TernSafe", u"Blob", &type, read, &size), kOk);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(read, blob, sizeof blob), 0);

    std::string user = ReadAll(UserStore());
    EXPECT_TRUE(user.starts_with("LumoRegistry 1\n")) << user;
    EXPECT_NE(user.find("[Software\\TernSafe\\Camlet]\n\"Folder\"=sz:\"/home/ü/照片\"\n"), std::string::npos) << user;
    EXPECT_NE(ReadAll(MachineStore()).find("\"Installed\"=dword:0000002a\n"), std::string::npos);
}

TEST_F(RegistryTest, QueryFollowsWindowsBufferRules)
{
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\T", u"Name", u"abc"), kOk);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, KEY_READ, &key), kOk);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, nullptr, &size), kOk);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 8u); // three units and the terminator

    WCHAR buffer[8] = u"zzzzzzz";
    size = 6;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
              Code(ERROR_MORE_DATA));
    EXPECT_EQ(size, 8u);
    size = 8;
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size), kOk);
    EXPECT_EQ(WString(buffer), u"abc");

    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), nullptr),
              Code(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegQueryValueExW(key, u"Other", nullptr, nullptr, nullptr, &size), Code(ERROR_FILE_NOT_FOUND));
    // A read-only handle cannot write.
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExW(key, u"X", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), Code(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegCloseKey(key), kOk);
    EXPECT_EQ(RegCloseKey(nullptr), Code(ERROR_INVALID_HANDLE));
}

TEST_F(RegistryTest, StringsAreStoredTerminatedWhateverTheCallerCounted)
{
    WString text = u"no terminator";
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"K", u"S", REG_SZ, text.c_str(), static_cast<DWORD>(text.size() * 2)), kOk);
    DWORD size = 0;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"K", u"S", nullptr, nullptr, &size), kOk);
    EXPECT_EQ(size, (text.size() + 1) * 2);

    // The empty name and a null name are both the default value.
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"K", nullptr, u"default"), kOk);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"K", u""), u"default");
}

TEST_F(RegistryTest, KeysAreCreatedOpenedAndMissing)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\TernSafe", 0, KEY_READ, &key), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, nullptr);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\TernSafe\\Camlet", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              kOk);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, u"Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, &disposition), kOk);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    DWORD value = 7;
    EXPECT_EQ(RegSetValueExW(child, u"V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4), kOk);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"software\\ternsafe\\camlet\\sub", u"v"), 7u);
    RegCloseKey(child);
    RegCloseKey(key);

    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE/TERNSAFE/CAMLET", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              kOk);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    // A key above a created one exists too.
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), kOk);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Soft", 0, KEY_READ, &key), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"bad\nname", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              Code(ERROR_INVALID_PARAMETER));
}

TEST_F(RegistryTest, DeletesValues)
{
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"K", u"A", 1), kOk);
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"K", u"B", 2), kOk);
    EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, u"K", u"a"), kOk);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"A"), std::nullopt);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"B"), 2u);
    EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, u"K", u"A"), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SHDeleteValueW(HKEY_CURRENT_USER, u"Nokey", u"A"), Code(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, AwkwardTextsRoundTripOnOneLineEach)
{
    WString awkward = u"quote \" backslash \\ newline\n cr\r tab\t bell\x07 del\x7F ü 照片 \U0001F4F7 lone ";
    awkward += static_cast<WCHAR>(0xD800);
    awkward += u" end";
    WString name = u"name with \"quotes\"\nand a newline";
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"K\\[odd] ]key[", u"v", u"x"), kOk);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"k/[ODD] ]KEY[", u"v"), u"x");
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"K", name.c_str(), awkward), kOk);
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"K", u"after", REG_EXPAND_SZ, u"%HOME%", 14), kOk);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"K", name.c_str()), awkward);
    DWORD type = 0;
    WCHAR buffer[16];
    DWORD size = sizeof buffer;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"K", u"after", &type, buffer, &size), kOk);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(WString(buffer), u"%HOME%");
    std::string file = ReadAll(UserStore());
    // header, two sections, three values, end
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 7) << file;
}

TEST_F(RegistryTest, OtherTypesKeepTheirBytes)
{
    BYTE multi[] = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"K", u"M", REG_MULTI_SZ, multi, sizeof multi), kOk);
    BYTE odd[] = {1, 2, 3};
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, u"K", u"D", REG_DWORD, odd, sizeof odd), kOk);
    BYTE read[16];
    DWORD size = sizeof read;
    DWORD type = 0;
    ASSERT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"K", u"M", &type, read, &size), kOk);
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(std::vector<BYTE>(read, read + size), std::vector<BYTE>(multi, multi + sizeof multi));
    size = sizeof read;
    ASSERT_EQ(SHGetValueW(HKEY_CURRENT_USER, u"K", u"D", &type, read, &size), kOk);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(std::vector<BYTE>(read, read + size), std::vector<BYTE>(odd, odd + sizeof odd));
}

TEST_F(RegistryTest, DamagedStoreReadsEmptyAndIsReplacedByTheNextWrite)
{
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\T", u"A", u"first"), kOk);
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"Software\\T", u"B", 2), kOk);
    std::string good = ReadAll(UserStore());
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    const std::string damaged[] = {
        garbage,
        good.substr(0, good.size() / 2),                // cut inside a line
        good.substr(0, good.find("\"B\"")),             // cut at a line boundary
        "LumoRegistry 2\n" + good.substr(15),           // unknown version
        good.substr(15),                                // no header
        good + "[extra]\n",                             // text after the end line
        std::string("LumoRegistry 1\n\"orphan\"=dword:00000001\nLumoRegistryEnd\n"),
        std::string("LumoRegistry 1\n[K]\n\"v\"=sz:\"bad \\q escape\"\nLumoRegistryEnd\n"),
        std::string("LumoRegistry 1\n[K]\n\"v\"=dword:12\nLumoRegistryEnd\n"),
        std::string("LumoRegistry 1\n[K]\n\"v\"=hex:1,2\nLumoRegistryEnd\n"),
        std::string("LumoRegistry 1\n[K]\n\"v\"=hex(7:00\nLumoRegistryEnd\n"),
        std::string("LumoRegistry 1\n[K\n\"v\"=sz:\"x\"\nLumoRegistryEnd\n"),
        std::string("LumoRegistry 1\n[K]\n\"v\"=sz:\"\\u12\"\nLumoRegistryEnd\n"),
        std::string(),
    };
    for (const auto& content : damaged) {
        ASSERT_TRUE(WriteFileAtomically(UserStore(), content));
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"Software\\T", u"A"), std::nullopt) << content;
        EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"v"), std::nullopt) << content;
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), Code(ERROR_FILE_NOT_FOUND));

        ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Software\\T", u"C", u"after"), kOk);
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"Software\\T", u"C"), u"after");
        EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"Software\\T", u"B"), std::nullopt);
        EXPECT_TRUE(ParseRegistryStore(ReadAll(UserStore())).has_value());
    }
}

TEST(RegistryStoreFormat, NeverFailsOnArbitraryBytes)
{
    std::string text = "LumoRegistry 1\n[K]\n\"v\"=sz:\"x\"\n\"w\"=hex(b):01,02\nLumoRegistryEnd\n";
    ASSERT_TRUE(ParseRegistryStore(text).has_value());
    // Every single-byte change of a valid store either parses or is refused; none crashes.
    for (size_t i = 0; i < text.size(); ++i) {
        for (int b : {0, int('\n'), int('"'), int('\\'), int(']'), 0x80, 0xFF}) {
            std::string mutated = text;
            mutated[i] = static_cast<char>(b);
            auto store = ParseRegistryStore(mutated);
            if (store) {
                EXPECT_TRUE(ParseRegistryStore(SerializeRegistryStore(*store)).has_value());
            }
        }
    }
}

TEST(RegistryStoreFormat, TextValuesThatAreNoTerminatedTextKeepTheirBytes)
{
    // Written by hand or by another program: an odd length, no terminator, a NUL inside.
    std::string text = "LumoRegistry 1\n[K]\n\"odd\"=hex(1):61,00,62\n\"open\"=hex(2):61,00\n"
                       "\"inner\"=hex(1):61,00,00,00,62,00,00,00\n\"plain\"=sz:\"x\"\nLumoRegistryEnd\n";
    auto store = ParseRegistryStore(text);
    ASSERT_TRUE(store.has_value());
    auto again = ParseRegistryStore(SerializeRegistryStore(*store));
    ASSERT_TRUE(again.has_value());
    ASSERT_EQ(again->Keys().size(), 1u);
    const auto& values = again->Keys()[0].Values();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].type, REG_SZ);
    EXPECT_EQ(values[0].data, std::string("a\0b", 3));
    EXPECT_EQ(values[1].type, REG_EXPAND_SZ);
    EXPECT_EQ(values[1].data, std::string("a\0", 2));
    EXPECT_EQ(values[2].data, std::string("a\0\0\0b\0\0\0", 8));
    EXPECT_EQ(values[3].data, std::string("x\0\0\0", 4));
    // A well-formed text is still written as text.
    EXPECT_NE(SerializeRegistryStore(*again).find("\"plain\"=sz:\"x\""), std::string::npos);
}

TEST_F(RegistryTest, MachineStoreThatCannotBeWrittenIsAccessDenied)
{
    ASSERT_TRUE(WriteFileAtomically(m_temp.Native("plainfile"), "x"));
    ScopedEnv blocked("LUMO_MACHINE_REGISTRY", m_temp.Native("plainfile/registry"));
    EXPECT_EQ(SetDword(HKEY_LOCAL_MACHINE, u"K", u"V", 1), Code(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetDword(HKEY_LOCAL_MACHINE, u"K", u"V"), std::nullopt);
}

TEST_F(RegistryTest, ValueWrittenByAnotherProcessIsSeen)
{
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"K", u"Counter", 1), kOk);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"Counter"), 1u);
    int code = RunInChild([] {
        return SetDword(HKEY_CURRENT_USER, u"K", u"Counter", 2) == kOk &&
                       SetString(HKEY_CURRENT_USER, u"K\\Child", u"Who", u"child") == kOk
                   ? 0
                   : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"Counter"), 2u);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"K\\Child", u"Who"), u"child");
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothingAndTheStoreAlwaysParses)
{
    constexpr int kWriters = 4;
    constexpr int kWrites = 40;
    ASSERT_EQ(SetString(HKEY_CURRENT_USER, u"Shared", u"Sentinel", u"present"), kOk);
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        children.push_back(StartChild([w] {
            for (int i = 0; i < kWrites; ++i) {
                WString name = Utf8ToWide("w" + std::to_string(w) + "-" + std::to_string(i));
                if (SetDword(HKEY_CURRENT_USER, u"Shared", name.c_str(), static_cast<DWORD>(w * 1000 + i)) != kOk)
                    return 1;
            }
            return 0;
        }));
        ASSERT_GT(children.back(), 0);
    }
    // While the writers run, every read sees a whole store.
    int brokenReads = 0;
    for (int i = 0; i < 200; ++i) {
        if (GetString(HKEY_CURRENT_USER, u"Shared", u"Sentinel") != u"present")
            ++brokenReads;
    }
    for (pid_t child : children)
        EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_EQ(brokenReads, 0);
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kWrites; ++i) {
            WString name = Utf8ToWide("w" + std::to_string(w) + "-" + std::to_string(i));
            EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"Shared", name.c_str()), static_cast<DWORD>(w * 1000 + i));
        }
    }
}

namespace {

// A store of `count` DWORD values in one key, as the text format writes it.
std::string StoreOfValues(size_t count)
{
    std::string text = "LumoRegistry 1\n[Software\\TernSafe]\n";
    char line[64];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "\"v%zu\"=dword:%08zx\n", i, i);
        text += line;
    }
    text += "\"DefaultSkin\"=sz:\"blue\"\nLumoRegistryEnd\n";
    return text;
}

} // namespace

// 200,000 values: read once, then every call answers from the index. The child's watchdog is
// generous; a store that is searched line by line or parsed per call does not finish in it.
TEST_F(RegistryTest, AStoreOfManyValuesIsReadOnceAndIndexed)
{
    constexpr size_t kValues = 200000;
    ASSERT_TRUE(CreateDirectoryTree(m_temp.Native("config/lumo/registry")));
    ASSERT_TRUE(WriteFileAtomically(UserStore(), StoreOfValues(kValues)));
    pid_t child = StartChild([&] {
        if (GetString(HKEY_CURRENT_USER, u"Software\\TernSafe", u"DefaultSkin") != u"blue")
            return 1;
        for (size_t i = 0; i < kValues; i += 97) {
            WString name = u"V" + Utf8ToWide(std::to_string(i)); // names ignore case
            if (GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", name.c_str()) != static_cast<DWORD>(i))
                return 2;
        }
        if (GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v200000") != std::nullopt)
            return 3;
        // A change is seen by the next read, and the rest of the store survives it.
        if (SetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v5", 555) != kOk)
            return 4;
        if (GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v5") != 555u ||
            GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v199999") != 199999u)
            return 5;
        if (SHDeleteValueW(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v7") != kOk ||
            GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v7") != std::nullopt ||
            GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v8") != 8u)
            return 6;
        return 0;
    });
    ASSERT_GT(child, 0);
    EXPECT_EQ(WaitForChild(child, std::chrono::seconds(60)), 0);
}

TEST_F(RegistryTest, AChangeByAnotherProcessIsSeen)
{
    ASSERT_EQ(SetDword(HKEY_CURRENT_USER, u"K", u"V", 1), kOk);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"V"), 1u);
    EXPECT_EQ(RunInChild([] { return SetDword(HKEY_CURRENT_USER, u"K", u"V", 2) == kOk ? 0 : 1; }), 0);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"V"), 2u);
    // The same size written anew: the file is another one even when its size and time agree.
    EXPECT_EQ(RunInChild([] { return SetDword(HKEY_CURRENT_USER, u"K", u"V", 3) == kOk ? 0 : 1; }), 0);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"K", u"V"), 3u);
}

TEST_F(RegistryTest, AStoreOverItsBoundReadsAsEmpty)
{
    ASSERT_TRUE(CreateDirectoryTree(m_temp.Native("config/lumo/registry")));
    std::string huge = StoreOfValues(10);
    huge.insert(huge.size() - std::strlen("LumoRegistryEnd\n"), std::string(kRegistryStoreMaxBytes, ';') + "\n");
    ASSERT_TRUE(WriteFileAtomically(UserStore(), huge));
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, u"Software\\TernSafe", u"DefaultSkin"), std::nullopt);
    EXPECT_EQ(GetDword(HKEY_CURRENT_USER, u"Software\\TernSafe", u"v3"), std::nullopt);
    EXPECT_FALSE(ParseRegistryStore(huge).has_value());

    // Counted in entries too: one more value line than a store may hold is refused.
    std::string many = "LumoRegistry 1\n[K]\n";
    for (size_t i = 0; i < kRegistryStoreMaxEntries; ++i)
        many += "\"\"=hex:\n";
    EXPECT_FALSE(ParseRegistryStore(many + "LumoRegistryEnd\n").has_value());
    many.resize(many.size() - std::strlen("\"\"=hex:\n"));
    EXPECT_TRUE(ParseRegistryStore(many + "LumoRegistryEnd\n").has_value());
}
