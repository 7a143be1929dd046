#include "platform/sys/Process.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Version.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kWatchdogMs = 10000;
const std::string kChild = LUMO_SYS_TEST_CHILD;

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-process-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = fs::canonical(pattern).string();
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string Path(const std::string& name = {}) const { return name.empty() ? m_path : m_path + "/" + name; }

private:
    std::string m_path;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::vector<std::string> SplitNul(const std::string& text)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (c == '\0') {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    return parts;
}

bool WaitForFile(const std::string& path, std::chrono::milliseconds limit = std::chrono::milliseconds(kWatchdogMs))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Starts the child with the given arguments after its path and returns the handles.
PROCESS_INFORMATION StartChild(const std::vector<std::string>& arguments, LPCWSTR directory = nullptr,
    BOOL inheritHandles = FALSE, LPVOID environment = nullptr, DWORD flags = 0)
{
    std::vector<WString> argv { Utf8ToWide(kChild) };
    for (const auto& argument : arguments)
        argv.push_back(Utf8ToWide(argument));
    WString commandLine = BuildCommandLine(argv);
    STARTUPINFOW startup {};
    GetStartupInfoW(&startup);
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = 5;
    PROCESS_INFORMATION info {};
    BOOL started = CreateProcessW(
        nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, flags, environment, directory, &startup, &info);
    EXPECT_TRUE(started) << "error " << GetLastError();
    return info;
}

// Waits (bounded) for the end of the process, closes both handles and returns the exit code.
DWORD Finish(PROCESS_INFORMATION& info)
{
    EXPECT_EQ(WaitForSingleObject(info.hProcess, kWatchdogMs), WAIT_OBJECT_0);
    DWORD code = 0xDEAD;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(CloseHandle(info.hProcess));
    return code;
}

bool IsZombieOrGone(DWORD pid)
{
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.empty())
        return true;
    size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
}

bool IsGone(DWORD pid) { return !fs::exists("/proc/" + std::to_string(pid)); }

} // namespace

TEST(CreateProcessW, PassesEveryArgumentExactlyAndRunsNoShell)
{
    TempFolder folder;
    std::string report = folder.Path("argv");
    std::vector<std::string> arguments { "argv", report, "plain", "with space", "", "quote\"inside", "back\\slash",
        "trailing\\", "\\\"", "two  spaces\tand tab", "; touch MARKER", "a|touch MARKER", "x & touch MARKER",
        "$(touch MARKER)", "`touch MARKER`", "*", ">MARKER", "\"\"", "照片 \xF0\x9F\x93\xB7" };
    WString directory = Utf8ToWide(folder.Path());
    PROCESS_INFORMATION info = StartChild(arguments, directory.c_str());
    ASSERT_EQ(Finish(info), 0u);

    std::vector<std::string> expected { kChild };
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(SplitNul(ReadFile(report)), expected);
    EXPECT_FALSE(fs::exists(folder.Path("MARKER")));
}

TEST(CreateProcessW, TakesTheApplicationNameOrSearchesPath)
{
    TempFolder folder;
    std::string report = folder.Path("argv");
    WString app = Utf8ToWide(kChild);
    WString line = Utf8ToWide("shown-name argv " + report + " x");
    PROCESS_INFORMATION info {};
    ASSERT_TRUE(CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_EQ(SplitNul(ReadFile(report)), (std::vector<std::string> { "shown-name", "argv", report, "x" }));

    ScopedEnv path("PATH", "/nonexistent:" + fs::path(kChild).parent_path().string());
    fs::remove(report);
    WString bare = Utf8ToWide(fs::path(kChild).filename().string() + " argv " + report + " y");
    ASSERT_TRUE(CreateProcessW(nullptr, bare.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_EQ(SplitNul(ReadFile(report)).back(), "y");
}

TEST(CreateProcessW, FailsCleanlyWhenTheProgramCannotRun)
{
    TempFolder folder;
    PROCESS_INFORMATION info {};
    auto start = [&](const std::string& line, LPCWSTR directory = nullptr) {
        WString text = Utf8ToWide(line);
        SetLastError(0);
        BOOL started
            = CreateProcessW(nullptr, text.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, nullptr, &info);
        EXPECT_FALSE(started) << line;
        return GetLastError();
    };
    EXPECT_EQ(start(folder.Path("missing") + " a"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(start("lumo-no-such-program-anywhere a"), ERROR_FILE_NOT_FOUND);

    std::string text = folder.Path("notes.txt");
    std::ofstream(text) << "touch " << folder.Path("MARKER") << "\n";
    EXPECT_EQ(start(text), ERROR_ACCESS_DENIED);
    // An executable file without "#!" is refused rather than handed to a shell.
    fs::permissions(text, fs::perms::owner_all);
    EXPECT_EQ(start(text), ERROR_BAD_FORMAT);
    EXPECT_FALSE(fs::exists(folder.Path("MARKER")));

    WString missingFolder = Utf8ToWide(folder.Path("no-folder"));
    EXPECT_EQ(start(kChild + " exit 0", missingFolder.c_str()), ERROR_DIRECTORY);

    WString line = Utf8ToWide(kChild + " exit 0");
    EXPECT_FALSE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CreateProcessW, ReportsExitCodesAndTermination)
{
    PROCESS_INFORMATION info = StartChild({ "exit", "7" });
    EXPECT_GT(info.dwProcessId, 0u);
    EXPECT_EQ(info.dwThreadId, info.dwProcessId);
    EXPECT_EQ(WaitForSingleObject(info.hThread, kWatchdogMs), WAIT_OBJECT_0);
    DWORD threadCode = 0;
    EXPECT_TRUE(GetExitCodeThread(info.hThread, &threadCode));
    EXPECT_EQ(threadCode, 7u);
    EXPECT_EQ(Finish(info), 7u);

    info = StartChild({ "signal", std::to_string(SIGTERM) });
    EXPECT_EQ(Finish(info), 128u + SIGTERM);

    info = StartChild({ "sleep", "20000" });
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 50), WAIT_TIMEOUT);
    EXPECT_TRUE(GetExitCodeThread(info.hThread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(TerminateProcess(info.hProcess, 99));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, kWatchdogMs), WAIT_OBJECT_0);
    EXPECT_FALSE(TerminateProcess(info.hProcess, 1));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Finish(info), 99u);
}

TEST(CreateProcessW, LeavesNoZombieWhetherOrNotItIsWaitedFor)
{
    PROCESS_INFORMATION waited = StartChild({ "exit", "0" });
    DWORD waitedPid = waited.dwProcessId;
    Finish(waited);

    PROCESS_INFORMATION forgotten = StartChild({ "exit", "0" });
    DWORD forgottenPid = forgotten.dwProcessId;
    CloseHandle(forgotten.hThread);
    CloseHandle(forgotten.hProcess);

    // A handle kept open must not keep a zombie either.
    PROCESS_INFORMATION kept = StartChild({ "exit", "0" });

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    while (!(IsGone(waitedPid) && IsGone(forgottenPid) && IsGone(kept.dwProcessId))
        && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(IsGone(waitedPid));
    EXPECT_TRUE(IsGone(forgottenPid));
    EXPECT_TRUE(IsGone(kept.dwProcessId)) << "zombie: " << IsZombieOrGone(kept.dwProcessId);
    EXPECT_EQ(Finish(kept), 0u);
}

TEST(CreateProcessW, GivesTheChildItsFolderEnvironmentAndOnlyInheritableDescriptors)
{
    TempFolder folder;
    std::string report = folder.Path("report");
    WString directory = Utf8ToWide(folder.Path());
    PROCESS_INFORMATION info = StartChild({ "cwd", report }, directory.c_str());
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_EQ(ReadFile(report), folder.Path());

    WString block = u"LUMO_CHILD_VALUE=wide \u00e9";
    block.push_back(u'\0');
    block += u"OTHER=1";
    block.append(2, u'\0');
    info = StartChild(
        { "env", report + "1", "LUMO_CHILD_VALUE" }, nullptr, FALSE, block.data(), CREATE_UNICODE_ENVIRONMENT);
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_EQ(ReadFile(report + "1"), "wide \xC3\xA9");

    ScopedEnv inherited("LUMO_CHILD_VALUE", "inherited");
    info = StartChild({ "env", report + "2", "LUMO_CHILD_VALUE" });
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_EQ(ReadFile(report + "2"), "inherited");

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    info = StartChild({ "fds", report + "3" });
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_EQ(ReadFile(report + "3"), "");
    info = StartChild({ "fds", report + "4" }, nullptr, TRUE);
    ASSERT_EQ(Finish(info), 0u);
    EXPECT_NE(ReadFile(report + "4").find(std::to_string(pipeEnds[1]) + "\n"), std::string::npos);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

TEST(KernelHandles, RefuseClosedUnknownAndMismatchedHandles)
{
    PROCESS_INFORMATION info = StartChild({ "exit", "0" });
    HANDLE thread = info.hThread;
    HANDLE process = info.hProcess;
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeProcess(thread, &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(TerminateProcess(thread, 0));
    EXPECT_EQ(Finish(info), 0u);

    for (HANDLE bad : { process, thread, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE,
             reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FFFFFF0)) }) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_FALSE(GetExitCodeProcess(bad, &code));
    }
    // A new object never takes over the value of a closed handle.
    PROCESS_INFORMATION next = StartChild({ "exit", "0" });
    EXPECT_NE(next.hProcess, process);
    EXPECT_NE(next.hThread, thread);
    Finish(next);
}

TEST(GetCommandLineW, RebuildsThisProcessArgvStably)
{
    std::vector<std::string> own = SplitNul(ReadFile("/proc/self/cmdline"));
    std::vector<WString> expected;
    for (const auto& argument : own)
        expected.push_back(Utf8ToWide(argument));
    LPWSTR line = GetCommandLineW();
    EXPECT_EQ(GetCommandLineW(), line);
    std::vector<WString> split = SplitCommandLine(line);
    ASSERT_FALSE(split.empty());
    // The program name has no escape for quotes; every argument after it must come back exactly.
    EXPECT_EQ(std::vector<WString>(split.begin() + 1, split.end()),
        std::vector<WString>(expected.begin() + 1, expected.end()));
}

class ShellExecuteTest : public ::testing::Test {
protected:
    TempFolder m_folder;
    std::string m_log = m_folder.Path("shell.log");
    ScopedEnv m_logEnv { "LUMO_SHELL_OPEN_LOG", m_log };

    std::vector<std::string> Lines()
    {
        std::vector<std::string> lines;
        std::istringstream text(ReadFile(m_log));
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        return lines;
    }
    static INT_PTR Result(HINSTANCE instance) { return reinterpret_cast<INT_PTR>(instance); }
};

TEST_F(ShellExecuteTest, OpensDocumentsFoldersAndUrlsWithTheDefaultApplication)
{
    std::string photo = m_folder.Path("photo 1 #%.jpg");
    std::ofstream(photo) << "jpeg";
    fs::create_directory(m_folder.Path("album"));
    WString quoted = Utf8ToWide("\"" + photo + "\"");
    EXPECT_GT(Result(ShellExecuteW(nullptr, nullptr, quoted.c_str(), nullptr, nullptr, 10)), 32);
    WString relative = u"album";
    WString directory = Utf8ToWide(m_folder.Path());
    EXPECT_GT(Result(ShellExecuteW(nullptr, u"open", relative.c_str(), nullptr, directory.c_str(), 10)), 32);
    EXPECT_GT(Result(ShellExecuteW(nullptr, u"open", u"https://example.com/a?b=c d", nullptr, nullptr, 10)), 32);

    std::string uri = "file://" + m_folder.Path() + "/photo%201%20%23%25.jpg";
    EXPECT_EQ(Lines(),
        (std::vector<std::string> {
            "open " + uri, "open file://" + m_folder.Path() + "/album", "open https://example.com/a?b=c d" }));
}

TEST_F(ShellExecuteTest, OpensProgramsAsDocumentsAndNeverRunsThem)
{
    std::string script = m_folder.Path("photo 2.jpg");
    std::ofstream(script) << "#!/bin/sh\ntouch MARKER\n";
    fs::permissions(script, fs::perms::owner_all);
    WString quoted = Utf8ToWide("\"" + script + "\"");
    WString directory = Utf8ToWide(m_folder.Path());
    EXPECT_GT(Result(ShellExecuteW(nullptr, nullptr, quoted.c_str(), u"--flag", directory.c_str(), 10)), 32);
    WString program = Utf8ToWide(kChild);
    EXPECT_GT(Result(ShellExecuteW(nullptr, u"open", program.c_str(), u"argv x", directory.c_str(), 10)), 32);

    EXPECT_EQ(Lines(),
        (std::vector<std::string> { "open file://" + m_folder.Path() + "/photo%202.jpg", "open file://" + kChild }));
    EXPECT_FALSE(fs::exists(m_folder.Path("MARKER")));
}

TEST(ShellExecuteW, RealOpenOfAProgramHandsItToTheDefaultApplicationWithoutRunningIt)
{
    // No application is known to GIO, so the request goes on to xdg-open, which is the test's own.
    TempFolder folder;
    std::string empty = folder.Path("empty");
    std::string bin = folder.Path("bin");
    fs::create_directories(empty);
    fs::create_directories(bin);
    std::string opened = folder.Path("opened");
    std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$1\" > '" << opened << ".part' && mv '" << opened
                                     << ".part' '" << opened << "'\n";
    fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
    ScopedEnv path("PATH", bin + ":/usr/bin:/bin");
    ScopedEnv dataHome("XDG_DATA_HOME", empty);
    ScopedEnv dataDirs("XDG_DATA_DIRS", empty);
    ScopedEnv configHome("XDG_CONFIG_HOME", empty);
    ScopedEnv configDirs("XDG_CONFIG_DIRS", empty);
    std::string report = folder.Path("argv");
    WString file = Utf8ToWide("\"" + kChild + "\"");
    WString parameters = Utf8ToWide("argv \"" + report + "\"");
    EXPECT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr, file.c_str(), parameters.c_str(), nullptr, 10)), 32);
    ASSERT_TRUE(WaitForFile(opened));
    EXPECT_EQ(ReadFile(opened), "file://" + kChild + "\n");
    EXPECT_FALSE(fs::exists(report)) << "the program ran";
}

TEST_F(ShellExecuteTest, ReportsMissingFilesFoldersAndUnknownVerbs)
{
    WString missing = Utf8ToWide("\"" + m_folder.Path("gone.jpg") + "\"");
    EXPECT_EQ(Result(ShellExecuteW(nullptr, nullptr, missing.c_str(), nullptr, nullptr, 10)), SE_ERR_FNF);
    EXPECT_EQ(Result(ShellExecuteW(nullptr, nullptr, u"", nullptr, nullptr, 10)), SE_ERR_FNF);
    WString noFolder = Utf8ToWide(m_folder.Path("no-folder"));
    EXPECT_EQ(Result(ShellExecuteW(nullptr, nullptr, u"a.jpg", nullptr, noFolder.c_str(), 10)), SE_ERR_PNF);
    EXPECT_EQ(Result(ShellExecuteW(nullptr, u"print", u"https://example.com", nullptr, nullptr, 10)), SE_ERR_NOASSOC);
    EXPECT_TRUE(Lines().empty());
}


TEST(GetVersionExW, ReportsVersionTenWithTheKernelRelease)
{
    OSVERSIONINFOW info {};
    EXPECT_FALSE(GetVersionExW(&info));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(GetVersionExW(nullptr));

    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExW(&info));
    struct utsname names;
    ASSERT_EQ(uname(&names), 0);
    EXPECT_EQ(info.dwMajorVersion, 10u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.dwPlatformId, 2u);
    EXPECT_EQ(info.dwBuildNumber, KernelVersionCode(names.release));
    EXPECT_EQ(WString(info.szCSDVersion), Utf8ToWide(std::string("Linux ") + names.release).substr(0, 127));

    OSVERSIONINFOEXW extended {};
    extended.dwOSVersionInfoSize = sizeof extended;
    extended.wReserved = 7;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&extended)));
    EXPECT_EQ(extended.dwMajorVersion, 10u);
    EXPECT_EQ(extended.wProductType, VER_NT_WORKSTATION);
    EXPECT_EQ(extended.wReserved, 0);
}

TEST(GetVersionExW, CodesKernelReleasesLikeTheKernel)
{
    EXPECT_EQ(KernelVersionCode("6.1.0-18-amd64"), 0x060100u);
    EXPECT_EQ(KernelVersionCode("5.15.153.1-microsoft-standard-WSL2"), (5u << 16) | (15u << 8) | 153u);
    EXPECT_EQ(KernelVersionCode("4.19.325"), (4u << 16) | (19u << 8) | 255u);
    EXPECT_EQ(KernelVersionCode("6.18"), 0x061200u);
    EXPECT_EQ(KernelVersionCode(""), 0u);
}
