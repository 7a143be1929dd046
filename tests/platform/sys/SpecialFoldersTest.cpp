#include "platform/sys/Module.h"
#include "platform/sys/Path.h"
#include "platform/sys/SpecialFolders.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <pwd.h>

namespace {

class SpecialFoldersTest : public ::testing::Test {
protected:
    std::string Home() const { return m_temp.Native("home"); }
    std::string Config() const { return m_temp.Native("config"); }

    void WriteUserDirs(const std::string& content)
    {
        ASSERT_TRUE(CreateDirectoryTree(Config()));
        ASSERT_TRUE(WriteFileAtomically(Config() + "/user-dirs.dirs", content));
    }

    // The folder as SHGetFolderPathW gives it without checking that it exists.
    std::string Folder(int csidl)
    {
        WCHAR path[MAX_PATH];
        HRESULT hr = SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path);
        EXPECT_EQ(hr, S_OK);
        return WideToUtf8(path);
    }

    TempFolder m_temp;
    ScopedEnv m_home{"HOME", Home()};
    ScopedEnv m_config{"XDG_CONFIG_HOME", Config()};
};

} // namespace

TEST_F(SpecialFoldersTest, DocumentsFromUserDirsWithHomeExpanded)
{
    WriteUserDirs("# written by xdg-user-dirs-update\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                  "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"\n"
                  "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(Folder(CSIDL_PERSONAL), Home() + "/Dokumente");

    WriteUserDirs("XDG_DOCUMENTS_DIR=\"/srv/文档 \\\"x\\\"\"\n");
    EXPECT_EQ(Folder(CSIDL_PERSONAL), "/srv/文档 \"x\"");
}

TEST_F(SpecialFoldersTest, DocumentsFallBackToHomeDocuments)
{
    EXPECT_EQ(Folder(CSIDL_PERSONAL), Home() + "/Documents"); // no user-dirs.dirs

    const char* ignored[] = {
        "XDG_DOCUMENTS_DIR=\"$HOME\"\n",          // the home folder itself means "unset"
        "XDG_DOCUMENTS_DIR=\"$HOME/\"\n",
        "XDG_DOCUMENTS_DIR=relative/path\n",      // not quoted
        "XDG_DOCUMENTS_DIR=\"relative\"\n",       // neither $HOME nor absolute
        "XDG_DOCUMENTS_DIR=\"$HOMEx/y\"\n",
        "XDG_DOCUMENTS_DIR=\"/unterminated\n",
        "# XDG_DOCUMENTS_DIR=\"/commented\"\n",
        "\x01\xFF garbage\n===\n[x]\nXDG_DOCUMENTS_DIR\n",
    };
    for (const char* content : ignored) {
        WriteUserDirs(content);
        EXPECT_EQ(Folder(CSIDL_PERSONAL), Home() + "/Documents") << content;
    }

    // A NUL, plain or escaped, would cut the path short to another folder.
    for (const std::string& content : { std::string("XDG_DOCUMENTS_DIR=\"/srv/a\0/b\"\n", 30),
             std::string("XDG_DOCUMENTS_DIR=\"/srv/a\\\0/b\"\n", 31) }) {
        WriteUserDirs(content);
        EXPECT_EQ(Folder(CSIDL_PERSONAL), Home() + "/Documents");
    }
}

TEST_F(SpecialFoldersTest, ConfigHomeDefaultsToDotConfigAndMustBeAbsolute)
{
    EXPECT_EQ(Folder(CSIDL_APPDATA), Config());
    ScopedEnv withSlash("XDG_CONFIG_HOME", Config() + "//");
    EXPECT_EQ(Folder(CSIDL_APPDATA), Config());
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(Folder(CSIDL_APPDATA), Home() + "/.config");

    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    ASSERT_TRUE(CreateDirectoryTree(Home() + "/.config"));
    ASSERT_TRUE(WriteFileAtomically(Home() + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"));
    EXPECT_EQ(Folder(CSIDL_PERSONAL), Home() + "/Docs");
}

TEST_F(SpecialFoldersTest, HomeFromPasswordDatabaseWhenUnset)
{
    ScopedEnv unset("HOME", nullptr);
    ScopedEnv unsetConfig("XDG_CONFIG_HOME", nullptr);
    passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    std::string home = entry->pw_dir;
    if (home.size() > 1 && home.back() == '/')
        home.pop_back();
    EXPECT_EQ(Folder(CSIDL_APPDATA), home + "/.config");
}

TEST_F(SpecialFoldersTest, MissingFolderFailsUnlessCreated)
{
    WCHAR path[MAX_PATH] = u"junk";
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path), E_FAIL);
    EXPECT_EQ(WString(path), u"");
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE));

    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, TRUE));
    EXPECT_EQ(WideToUtf8(path), Home() + "/Documents");
    EXPECT_TRUE(PathFileExistsW(Utf8ToWide(Home() + "/Documents").c_str()));
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);

    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_EQ(WideToUtf8(path), Config());
    EXPECT_EQ(SHGetFolderPathW(nullptr, 0x77, nullptr, SHGFP_TYPE_CURRENT, path), E_INVALIDARG);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, nullptr), E_INVALIDARG);
}

TEST_F(SpecialFoldersTest, IdListCarriesThePath)
{
    ASSERT_TRUE(CreateDirectoryTree(Config()));
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list), S_OK);
    WCHAR path[MAX_PATH];
    EXPECT_TRUE(SHGetPathFromIDListW(list, path));
    EXPECT_EQ(WideToUtf8(path), Config());
    ILFree(list);
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x77, &list), E_INVALIDARG);
    EXPECT_EQ(list, nullptr);
    EXPECT_FALSE(SHGetPathFromIDListW(nullptr, path));
}

TEST_F(SpecialFoldersTest, SystemFolderIsShellSystemBesideTheExecutable)
{
    WCHAR module[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
    std::string executable = WideToUtf8(module);
    std::string shell = executable.substr(0, executable.find_last_of('/')) + "/shell";
    EXPECT_EQ(Folder(CSIDL_SYSTEM), shell + "/system");

    WCHAR windows[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(length, Utf8ToWide(shell).size());
    EXPECT_EQ(WideToUtf8(windows), shell);
    WCHAR small[2];
    EXPECT_EQ(GetWindowsDirectoryW(small, 2), length + 1);
}
