#include "album/ShellHandOff.h"

#include "album/MediaPaths.h"
#include "platform/base/Strings.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Module.h"
#include "platform/sys/Path.h"
#include "platform/sys/Process.h"
#include "platform/sys/SpecialFolders.h"

#include "tests/platform/sys/FilesTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// GLib defines TRUE and FALSE as macros, so it comes after the headers that declare them.
#include <gio/gio.h>

namespace {

constexpr DWORD kChildWatchdogMs = 10000;
constexpr auto kLineWatchdog = std::chrono::seconds(10);
// Set in the copy of this program that runs without a system folder beside it.
constexpr const char* kChildVariable = "LUMO_SHELL_HANDOFF_CHILD";

// The URI escaping of the shell, written out independently: everything but unreserved
// characters and '/' becomes %XX of its UTF-8 bytes.
std::string FileUri(const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            uri += static_cast<char>(c);
            continue;
        }
        uri += '%';
        uri += kHex[c >> 4];
        uri += kHex[c & 0xF];
    }
    return uri;
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<unterminated>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The exit code of the process started from `commandLine`; 0xFFFF when it did not start or end.
DWORD RunAndWait(const std::string& commandLine)
{
    WString text = Utf8ToWide(commandLine);
    STARTUPINFOW startup {};
    GetStartupInfoW(&startup);
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "could not start " << commandLine;
        return 0xFFFF;
    }
    DWORD code = 0xFFFF;
    if (WaitForSingleObject(process.hProcess, kChildWatchdogMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        ADD_FAILURE() << commandLine << " did not end in time";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class ShellHandOffTest : public ::testing::Test {
protected:
    std::string Log() const { return ReadFileContents(m_log).value_or(std::string()); }

    // The lines of the log once the file manager's process has written `count` of them.
    std::vector<std::string> WaitForLines(size_t count) const
    {
        auto deadline = std::chrono::steady_clock::now() + kLineWatchdog;
        for (;;) {
            std::vector<std::string> lines = Lines(Log());
            if (lines.size() >= count)
                return lines;
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the file manager wrote " << lines.size() << " of " << count << " lines in time";
                return lines;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Runs the file manager directly with `arguments` (a command line after the program) and
    // gives its exit code.
    static DWORD RunFileManager(const std::string& arguments)
    {
        return RunAndWait("\"" + std::string(LUMO_SHELL_EXPLORER) + "\" " + arguments);
    }

    // A file that exists, in a folder whose name has spaces.
    std::string MakeFile(const std::string& name)
    {
        std::string folder = m_temp.Native("My Pictures/Tern摄像头");
        std::filesystem::create_directories(folder);
        std::string path = folder + "/" + name;
        MakeFileContents(path, "picture");
        return path;
    }

    std::string InstallCopy(const std::string& folder, bool withShell);

    static void MakeFileContents(const std::string& path, const std::string& text)
    {
        FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }

    TempFolder m_temp;
    std::string m_log = m_temp.Native("shell.log");
    ScopedEnv m_logEnv {"LUMO_SHELL_OPEN_LOG", m_log};
};

} // namespace

TEST_F(ShellHandOffTest, APathWithSpacesReachesTheShellIntactForOpenAndShowInFolder)
{
    std::string photo = MakeFile("photo one.jpg");
    OpenAlbumFile(nullptr, Utf8ToWide(photo).c_str());
    std::vector<std::string> lines = Lines(Log());
    ASSERT_EQ(lines.size(), 1u) << Log();
    EXPECT_EQ(lines[0], "open " + FileUri(photo));

    // The file manager is started as a process of its own and says what it was asked.
    ShowAlbumFileInFolder(nullptr, Utf8ToWide(photo).c_str());
    lines = WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "show " + FileUri(photo));
}

TEST_F(ShellHandOffTest, AnAlbumFileThatIsAProgramIsOpenedNeverRun)
{
    // A "photo" replaced by a script, or by a copy of a real program, with the exec bit set as on a
    // FAT documents folder.
    std::string marker = m_temp.Native("ran");
    std::string script = MakeFile("202405101234567.jpg");
    MakeFileContents(script, "#!/bin/sh\ntouch '" + marker + "'\n");
    std::string binary = MakeFile("20240510123456.wmv");
    std::filesystem::copy_file("/bin/true", binary, std::filesystem::copy_options::overwrite_existing);
    for (const std::string& file : {script, binary})
        std::filesystem::permissions(file, std::filesystem::perms::owner_all);

    OpenAlbumFile(nullptr, Utf8ToWide(script).c_str());
    OpenAlbumFile(nullptr, Utf8ToWide(binary).c_str());
    EXPECT_EQ(Lines(Log()), (std::vector<std::string> {"open " + FileUri(script), "open " + FileUri(binary)}));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(ShellHandOffTest, OpenFolderSelectStartsTheFileManagerWhichShowsOrOpensTheTarget)
{
    // As the open-album command does it: the photo folder of a fresh photo path, made on the way.
    std::string documents = m_temp.Native("My Documents");
    WCHAR folder[MAX_PATH] = {};
    MakePhotoPath(Utf8ToWide(documents).c_str(), folder, sizeof folder);
    ASSERT_TRUE(PathRemoveFileSpecW(folder));
    std::string photoFolder = WideToUtf8(folder);
    ASSERT_EQ(photoFolder, documents + "/Tern摄像头/照片");
    ASSERT_TRUE(IsFolder(photoFolder));

    OpenFolderSelect(folder, TRUE);
    std::vector<std::string> lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "show " + FileUri(photoFolder));

    OpenFolderSelect(folder, FALSE);
    lines = WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "open " + FileUri(photoFolder));

    OpenFolderSelect(kComputerLocation, FALSE);
    lines = WaitForLines(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "open computer:///");
}

TEST_F(ShellHandOffTest, TheFileManagerTakesTheSelectSwitchJoinedOrApartAndBarePaths)
{
    std::string photo = MakeFile("photo one.jpg");
    std::string uri = FileUri(photo);
    std::string folder = photo.substr(0, photo.rfind('/'));

    EXPECT_EQ(RunFileManager("\"/select," + photo + "\""), 0u);
    EXPECT_EQ(RunFileManager("/select, \"" + photo + "\""), 0u);
    EXPECT_EQ(RunFileManager("/SELECT,\"" + photo + "\""), 0u);
    EXPECT_EQ(RunFileManager("\"" + folder + "\""), 0u);
    EXPECT_EQ(RunFileManager("::{20d04fe0-3aea-1069-a2d8-08002b30309d}"), 0u);
    // Two targets are not a request the file manager understands: it does nothing.
    EXPECT_EQ(RunFileManager("/select, \"" + photo + "\" \"" + folder + "\""), 2u);

    std::vector<std::string> lines = Lines(Log());
    std::vector<std::string> expected {
        "show " + uri, "show " + uri, "show " + uri, "open " + FileUri(folder), "open computer:///"};
    EXPECT_EQ(lines, expected);
}

namespace {

// The desktop's file manager as the stand-in sees it: the FileManager1 service on a session bus
// of the test's own, recording the items it is asked to show.
class FakeFileManager {
public:
    explicit FakeFileManager(GTestDBus* bus)
        : m_address(g_test_dbus_get_bus_address(bus))
        , m_thread([this] { Serve(); })
    {
        std::unique_lock lock(m_lock);
        WaitWithTimeout(m_changed, lock, kChildWatchdogMs, [this] { return m_started; });
    }
    ~FakeFileManager()
    {
        g_main_loop_quit(m_loop);
        m_thread.join();
    }
    FakeFileManager(const FakeFileManager&) = delete;
    FakeFileManager& operator=(const FakeFileManager&) = delete;

    bool Serving()
    {
        std::lock_guard guard(m_lock);
        return m_serving;
    }
    // The URIs of the first ShowItems call, once it came.
    std::vector<std::string> WaitForShownItems()
    {
        std::unique_lock lock(m_lock);
        if (!WaitWithTimeout(m_changed, lock, kChildWatchdogMs, [this] { return m_called; }))
            ADD_FAILURE() << "the file manager was not asked to show anything in time";
        return m_shown;
    }

private:
    static constexpr const char* kInterface = "<node><interface name='org.freedesktop.FileManager1'>"
                                              "<method name='ShowItems'><arg type='as' direction='in'/>"
                                              "<arg type='s' direction='in'/></method>"
                                              "</interface></node>";

    static void OnMethodCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
        GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self)
    {
        auto* manager = static_cast<FakeFileManager*>(self);
        if (std::string_view(method) == "ShowItems") {
            GVariantIter* uris = nullptr;
            const char* startupId = nullptr;
            g_variant_get(parameters, "(as&s)", &uris, &startupId);
            std::lock_guard guard(manager->m_lock);
            const char* uri = nullptr;
            while (g_variant_iter_next(uris, "&s", &uri))
                manager->m_shown.emplace_back(uri);
            g_variant_iter_free(uris);
            manager->m_called = true;
            manager->m_changed.notify_all();
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    void Serve()
    {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        m_loop = g_main_loop_new(context, FALSE);
        // A connection of its own: the shared one would outlive the bus and hold up its shutdown.
        GDBusConnection* connection = g_dbus_connection_new_for_address_sync(m_address.c_str(),
            static_cast<GDBusConnectionFlags>(
                G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
        bool serving = false;
        if (connection && node) {
            static const GDBusInterfaceVTable vtable {OnMethodCall, nullptr, nullptr, {}};
            guint object = g_dbus_connection_register_object(connection, "/org/freedesktop/FileManager1",
                node->interfaces[0], &vtable, this, nullptr, nullptr);
            // 4: do not queue; 1 in the reply: this connection is the primary owner.
            GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", "org.freedesktop.FileManager1", 4u),
                G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, static_cast<int>(kChildWatchdogMs), nullptr, nullptr);
            guint32 result = 0;
            if (reply) {
                g_variant_get(reply, "(u)", &result);
                g_variant_unref(reply);
            }
            serving = object != 0 && result == 1;
        }
        {
            std::lock_guard guard(m_lock);
            m_serving = serving;
            m_started = true;
            m_changed.notify_all();
        }
        g_main_loop_run(m_loop);
        if (node)
            g_dbus_node_info_unref(node);
        if (connection) {
            g_dbus_connection_close_sync(connection, nullptr, nullptr);
            g_object_unref(connection);
        }
        g_main_loop_unref(m_loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_serving = false;
    bool m_called = false;
    std::vector<std::string> m_shown;
    GMainLoop* m_loop = nullptr;
    std::string m_address;
    std::thread m_thread;
};

// A session bus of the test's own, so the desktop's services (if any) are never reached.
class ShellDesktopTest : public ShellHandOffTest {
protected:
    void SetUp() override
    {
        m_bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(m_bus);
    }
    void TearDown() override
    {
        if (m_bus) {
            g_test_dbus_down(m_bus);
            g_object_unref(m_bus);
        }
    }

    // Nothing is written to a log: the file manager talks to the desktop.
    ScopedEnv m_noLog {"LUMO_SHELL_OPEN_LOG", nullptr};
    GTestDBus* m_bus = nullptr;
};

} // namespace

TEST_F(ShellDesktopTest, SelectAsksTheDesktopsFileManagerToShowTheItem)
{
    FakeFileManager manager(m_bus);
    ASSERT_TRUE(manager.Serving());
    std::string photo = MakeFile("photo one.jpg");

    EXPECT_EQ(RunFileManager("/select, \"" + photo + "\""), 0u);
    EXPECT_EQ(manager.WaitForShownItems(), std::vector<std::string> {FileUri(photo)});
}

TEST_F(ShellDesktopTest, WithoutTheFileManagerServiceTheParentFolderOpensWithTheDefaultApplication)
{
    // No application is known to GIO, so the request goes on to xdg-open, which is ours here.
    std::string empty = m_temp.Native("empty");
    std::string bin = m_temp.Native("bin");
    std::filesystem::create_directories(empty);
    std::filesystem::create_directories(bin);
    std::string opened = m_temp.Native("opened.txt");
    MakeFileContents(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened + "'\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    ScopedEnv path {"PATH", bin + ":/usr/bin:/bin"};
    ScopedEnv dataHome {"XDG_DATA_HOME", empty};
    ScopedEnv dataDirs {"XDG_DATA_DIRS", empty};
    ScopedEnv configHome {"XDG_CONFIG_HOME", empty};
    ScopedEnv configDirs {"XDG_CONFIG_DIRS", empty};
    std::string photo = MakeFile("photo one.jpg");

    EXPECT_EQ(RunFileManager("/select, \"" + photo + "\""), 0u);

    auto deadline = std::chrono::steady_clock::now() + kLineWatchdog;
    while (!ReadFileContents(opened) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFileContents(opened).value_or("<nothing opened>"), FileUri(photo.substr(0, photo.rfind('/'))) + "\n");
}

TEST_F(ShellDesktopTest, AScriptInTheAlbumGoesToTheDefaultApplicationAndDoesNotRun)
{
    std::string empty = m_temp.Native("empty");
    std::string bin = m_temp.Native("bin");
    std::filesystem::create_directories(empty);
    std::filesystem::create_directories(bin);
    std::string opened = m_temp.Native("opened.txt");
    MakeFileContents(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + opened + "'\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    ScopedEnv path {"PATH", bin + ":/usr/bin:/bin"};
    ScopedEnv dataHome {"XDG_DATA_HOME", empty};
    ScopedEnv dataDirs {"XDG_DATA_DIRS", empty};
    ScopedEnv configHome {"XDG_CONFIG_HOME", empty};
    ScopedEnv configDirs {"XDG_CONFIG_DIRS", empty};
    std::string marker = m_temp.Native("ran");
    std::string script = MakeFile("202405101234567.jpg");
    MakeFileContents(script, "#!/bin/sh\ntouch '" + marker + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);

    OpenAlbumFile(nullptr, Utf8ToWide(script).c_str());

    auto deadline = std::chrono::steady_clock::now() + kLineWatchdog;
    while (!ReadFileContents(opened) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadFileContents(opened).value_or("<nothing opened>"), FileUri(script) + "\n");
    // A script started by mistake would have left its mark within moments.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

// Runs a copy of this program installed in `folder` (under the temporary folder) with the file manager
// beside it as the build lays it out, and gives the copy's path.
std::string ShellHandOffTest::InstallCopy(const std::string& folder, bool withShell)
{
    std::string bin = m_temp.Native(folder);
    std::filesystem::create_directories(bin);
    WCHAR self[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) {
        ADD_FAILURE() << "no module file name";
        return {};
    }
    std::string copy = bin + "/album-tests";
    std::error_code error;
    std::filesystem::create_hard_link(WideToUtf8(self), copy, error);
    if (error) {
        // Another file system: a copy does as well.
        std::filesystem::copy_file(WideToUtf8(self), copy);
    }
    if (withShell) {
        std::filesystem::create_directories(bin + "/shell/system");
        std::filesystem::create_symlink(LUMO_SHELL_EXPLORER, bin + "/shell/explorer.exe");
    }
    return copy;
}

TEST_F(ShellHandOffTest, TheAlbumCommandWorksFromAProgramFolderWithASpace)
{
    std::string copy = InstallCopy("Program Files/Lumo Camera", true);
    ASSERT_FALSE(copy.empty());
    std::string target = m_temp.Native("My Pictures/Tern摄像头/照片");
    std::filesystem::create_directories(target);

    ScopedEnv child {kChildVariable, target};
    EXPECT_EQ(RunAndWait("\"" + copy + "\" --gtest_filter=ShellHandOffChild.OpenFolderSelectFromInstalledCopy"), 0u);
    std::vector<std::string> lines = WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "show " + FileUri(target));
}

TEST(ShellHandOffChild, OpenFolderSelectFromInstalledCopy)
{
    const char* target = std::getenv(kChildVariable);
    if (!target)
        GTEST_SKIP() << "runs in the copy started by TheAlbumCommandWorksFromAProgramFolderWithASpace";
    OpenFolderSelect(Utf8ToWide(target).c_str(), TRUE);
}

// Runs a copy of this program that has no system folder beside it; the copy runs the test below.
TEST_F(ShellHandOffTest, WithoutASystemFolderOpenFolderSelectStartsNothing)
{
    std::string copy = InstallCopy("bin", false);
    ASSERT_FALSE(copy.empty());
    ASSERT_FALSE(IsFolder(m_temp.Native("bin/shell/system")));

    // A file manager found by its bare name catches a caller that goes on with an empty folder.
    std::string path = m_temp.Native("path");
    std::filesystem::create_directories(path);
    std::filesystem::create_symlink(LUMO_SHELL_EXPLORER, path + "/explorer.exe");
    std::string target = MakeFile("photo one.jpg");

    ScopedEnv child {kChildVariable, target};
    ScopedEnv searchPath {"PATH", path};
    EXPECT_EQ(RunAndWait("\"" + copy + "\" --gtest_filter=ShellHandOffChild.OpenFolderSelectWithoutSystemFolder"), 0u);

    // A file manager started by mistake would write its line within moments.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(Log(), "");
}

TEST(ShellHandOffChild, OpenFolderSelectWithoutSystemFolder)
{
    const char* target = std::getenv(kChildVariable);
    if (!target)
        GTEST_SKIP() << "runs in the copy started by WithoutASystemFolderOpenFolderSelectStartsNothing";
    WCHAR system[MAX_PATH] = {};
    ASSERT_TRUE(FAILED(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, system)));
    OpenFolderSelect(Utf8ToWide(target).c_str(), TRUE);
}
