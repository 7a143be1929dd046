#include "platform/sys/ShellLink.h"

#include "platform/sys/SpecialFolders.h"
#include "tests/support/ToolRunner.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-link-XXXXXX").string();
        EXPECT_NE(mkdtemp(pattern.data()), nullptr);
        m_path = pattern;
    }
    ~TempFolder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

ComPtr<IShellLinkW> NewLink()
{
    ComPtr<IShellLinkW> link;
    EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                  reinterpret_cast<void**>(link.ReleaseAndGetAddressOf())),
        S_OK);
    return link;
}

HRESULT Save(IShellLinkW* link, const fs::path& path)
{
    ComPtr<IPersistFile> file;
    if (HRESULT hr = ComPtr<IShellLinkW>(link).As(IID_IPersistFile, file); FAILED(hr))
        return hr;
    WString wide = Utf8ToWide(path.string());
    return file->Save(wide.c_str(), FALSE);
}

} // namespace

TEST(DesktopEntryExec, QuotesAndEscapesAsTheDesktopEntryFormatRequires)
{
    EXPECT_EQ(DesktopEntryExec({u"/usr/lib/lumo/TernCamlet"}), "/usr/lib/lumo/TernCamlet");
    EXPECT_EQ(DesktopEntryExec({u"/opt/My Apps/run", u"a b"}), "\"/opt/My Apps/run\" \"a b\"");
    // Inside quotes '"', '`', '$' and '\' take a backslash; the string value then doubles every one.
    EXPECT_EQ(DesktopEntryExec({u"/x/run", u"say \"hi\""}), "/x/run \"say \\\\\"hi\\\\\"\"");
    EXPECT_EQ(DesktopEntryExec({u"/x/run", u"$HOME"}), "/x/run \"\\\\$HOME\"");
    EXPECT_EQ(DesktopEntryExec({u"/x/run", u"a\\b"}), "/x/run \"a\\\\\\\\b\"");
    EXPECT_EQ(DesktopEntryExec({u"/x/run", u"it's"}), "/x/run \"it's\"");
    // '%' starts a field code unless doubled, quoted or not.
    EXPECT_EQ(DesktopEntryExec({u"/x/100%/run", u"50% off"}), "/x/100%%/run \"50%% off\"");
    EXPECT_EQ(DesktopEntryExec({u"/x/run", u""}), "/x/run \"\"");
    // A program path written with backslashes is a path; an argument keeps its backslash.
    EXPECT_EQ(DesktopEntryExec({u"\\x\\run"}), "/x/run");
}

TEST(ShellLink, SavesADesktopEntryThatTheDesktopAccepts)
{
    TempFolder folder;
    fs::path target = folder.Path() / "My Programs" / "Lu$mo";
    fs::create_directories(target.parent_path());
    std::ofstream(target) << "#!/bin/sh\n";
    ComPtr<IShellLinkW> link = NewLink();
    ASSERT_TRUE(link);
    WString wideTarget = Utf8ToWide(target.string());
    ASSERT_EQ(link->SetPath(wideTarget.c_str()), S_OK);
    ASSERT_EQ(link->SetDescription(u"Ternshield 摄像头保护模块"), S_OK);
    ASSERT_EQ(link->SetArguments(u"--one \"two words\""), S_OK);
    fs::path entry = folder.Path() / "Lumo.desktop";
    ASSERT_EQ(Save(link, entry), S_OK);

    std::string text = ReadAll(entry);
    EXPECT_EQ(text, "[Desktop Entry]\nType=Application\nName=Lumo\nComment=Ternshield 摄像头保护模块\nExec=\""
                        + folder.Path().string() + "/My Programs/Lu\\\\$mo\" --one \"two words\"\n"
                        + "Icon=application-x-executable\nTerminal=false\n");
    std::string problems;
    EXPECT_EQ(RunTool({"desktop-file-validate", entry.string()}, &problems, 10000, ToolErrors::Kept), 0) << problems;
    EXPECT_EQ(problems, "");

    // With the target's picture beside it, that is its icon.
    std::ofstream(target.string() + ".png") << "png";
    ASSERT_EQ(Save(link, entry), S_OK);
    EXPECT_NE(ReadAll(entry).find("\nIcon=" + target.string() + ".png\n"), std::string::npos);

    WCHAR read[MAX_PATH] = {};
    EXPECT_EQ(link->GetPath(read, MAX_PATH), S_OK);
    EXPECT_EQ(WideToUtf8(ToView(read)), target.string());
    EXPECT_EQ(link->GetPath(read, 0), E_INVALIDARG);
}

TEST(ShellLink, RefusesToSaveWithoutATargetOrAFolder)
{
    TempFolder folder;
    ComPtr<IShellLinkW> link = NewLink();
    ASSERT_TRUE(link);
    EXPECT_EQ(Save(link, folder.Path() / "Empty.desktop"), E_FAIL);
    EXPECT_FALSE(fs::exists(folder.Path() / "Empty.desktop"));
    link->SetPath(u"/bin/true");
    EXPECT_EQ(Save(link, folder.Path() / "missing" / "Lumo.desktop"), E_FAIL);
    ComPtr<IUnknown> other;
    EXPECT_EQ(link->QueryInterface(GUID_NULL, reinterpret_cast<void**>(other.ReleaseAndGetAddressOf())), E_NOINTERFACE);
}

TEST(SpecialFolders, TheLinkFolderIsTheUsersApplicationsFolder)
{
    TempFolder folder;
    std::string home = folder.Path().string();
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    WCHAR path[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_NETHOOD | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_EQ(WideToUtf8(ToView(path)), home + "/.local/share/applications");
    setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_NETHOOD | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_EQ(WideToUtf8(ToView(path)), home + "/.local/share/applications") << "a relative XDG_DATA_HOME is ignored";
    setenv("XDG_DATA_HOME", (home + "/data/").c_str(), 1);
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_NETHOOD, TRUE));
    EXPECT_EQ(WideToUtf8(ToView(path)), home + "/data/applications");
    EXPECT_TRUE(fs::is_directory(home + "/data/applications"));
}
