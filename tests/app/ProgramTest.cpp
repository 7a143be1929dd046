// The real program, started as a user would start it: one instance at a time, and what a second
// start and the suite's skin-change notice do to the running one.
#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Process.h"
#include "platform/ui/ForeignWindows.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

constexpr DWORD kWatchdogMs = 15000;

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

// A private home and runtime folder for the whole test program (the window directory is found through
// the runtime folder), the headless presenter, and the program started from its folder.
class ProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/lumo-program-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        s_folder = pattern;
        std::filesystem::create_directories(s_folder + "/home");
        std::filesystem::create_directories(s_folder + "/runtime");
        std::filesystem::permissions(s_folder + "/runtime", std::filesystem::perms::owner_all);
        s_environment = new std::vector<ScopedEnvironment>;
        s_environment->emplace_back("HOME", s_folder + "/home");
        s_environment->emplace_back("XDG_CONFIG_HOME", s_folder + "/home/.config");
        s_environment->emplace_back("XDG_RUNTIME_DIR", s_folder + "/runtime");
        s_environment->emplace_back("LUMO_PRESENTER", "headless");
    }

    static void TearDownTestSuite()
    {
        delete s_environment;
        s_environment = nullptr;
        std::filesystem::remove_all(s_folder);
    }

    void TearDown() override
    {
        for (auto& process : m_processes) {
            TerminateProcess(process.hProcess, 9);
            WaitForSingleObject(process.hProcess, kWatchdogMs);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    PROCESS_INFORMATION Start(const std::string& programPath = LUMO_PROGRAM)
    {
        WString program = Utf8ToWide(programPath);
        WString commandLine = QuoteArgument(program);
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process {};
        EXPECT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
            &startup, &process));
        m_processes.push_back(process);
        return process;
    }

    static HWND WaitForMainWindow()
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (HWND window = FindWindowW(u"QTernBoxMain", nullptr))
                return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "watchdog: the main window did not appear";
        return nullptr;
    }

    static inline std::string s_folder;
    static inline std::vector<ScopedEnvironment>* s_environment = nullptr;
    std::vector<PROCESS_INFORMATION> m_processes;
};

} // namespace

TEST_F(ProgramTest, ASecondStartExitsWithZeroAndTheFirstKeepsRunning)
{
    PROCESS_INFORMATION first = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    PROCESS_INFORMATION second = Start();
    ASSERT_EQ(WaitForSingleObject(second.hProcess, kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the second start kept running";
    DWORD code = 1;
    GetExitCodeProcess(second.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(WaitForSingleObject(first.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the first instance still runs";
    EXPECT_TRUE(IsWindow(window));
}

// Someone opens the lock folder to everybody, then replaces it by a link: the lock is then
// refused, and a second start must still find the running window instead of opening another.
TEST_F(ProgramTest, AnUnusableLockStillFindsTheRunningWindow)
{
    PROCESS_INFORMATION first = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    std::string lockFolder = s_folder + "/runtime/lumo-mutex";
    ASSERT_TRUE(std::filesystem::is_directory(lockFolder));

    auto expectSecondStartEnds = [&](const char* what) {
        PROCESS_INFORMATION second = Start();
        ASSERT_EQ(WaitForSingleObject(second.hProcess, kWatchdogMs), WAIT_OBJECT_0)
            << what << ": the second start opened a window of its own";
        DWORD code = 1;
        GetExitCodeProcess(second.hProcess, &code);
        EXPECT_EQ(code, 0u) << what;
        EXPECT_EQ(WaitForSingleObject(first.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << what;
        EXPECT_TRUE(IsWindow(window)) << what;
    };

    std::filesystem::permissions(lockFolder, std::filesystem::perms::all);
    expectSecondStartEnds("world-writable lock folder");

    std::filesystem::permissions(lockFolder, std::filesystem::perms::owner_all);
    std::filesystem::rename(lockFolder, lockFolder + ".moved");
    std::filesystem::create_directory_symlink(lockFolder + ".moved", lockFolder);
    expectSecondStartEnds("lock folder replaced by a link");
    std::filesystem::remove(lockFolder);
    std::filesystem::rename(lockFolder + ".moved", lockFolder);
}

TEST_F(ProgramTest, TheSuitesSkinChangeNoticeIsTakenAndOtherDataIsNot)
{
    PROCESS_INFORMATION first = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    for (ULONG_PTR identifier : {ULONG_PTR(0x6402), ULONG_PTR(0x1234)}) {
        COPYDATASTRUCT data {identifier, 0, nullptr};
        SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        EXPECT_EQ(WaitForSingleObject(first.hProcess, 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program survives the notice";
        EXPECT_TRUE(IsWindow(window));
    }
}

namespace {

// A copy of the installed program's folder, which a test may damage.
std::string CopyProgramFolder(const std::string& into)
{
    std::filesystem::path source = std::filesystem::path(LUMO_PROGRAM).parent_path();
    std::filesystem::copy(source, into, std::filesystem::copy_options::recursive);
    return (std::filesystem::path(into) / std::filesystem::path(LUMO_PROGRAM).filename()).string();
}

DWORD WaitForExit(const PROCESS_INFORMATION& process)
{
    if (WaitForSingleObject(process.hProcess, kWatchdogMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "watchdog: the program kept running";
        return 0xFFFFFFFF;
    }
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

} // namespace

TEST_F(ProgramTest, ADamagedEngineEndsTheProgramWithZeroAfterThePrompt)
{
    std::string folder = s_folder + "/damaged";
    std::string program = CopyProgramFolder(folder);
    {
        std::FILE* engine = std::fopen((folder + "/Facet.so").c_str(), "r+b");
        ASSERT_NE(engine, nullptr);
        std::fseek(engine, 100, SEEK_SET);
        std::fputc(std::fgetc(engine) ^ 0x5A, engine);
        std::fclose(engine);
    }
    std::string log = s_folder + "/open.log";
    ScopedEnvironment openLog("LUMO_SHELL_OPEN_LOG", log);
    PROCESS_INFORMATION process = Start(program);
    EXPECT_EQ(WaitForExit(process), 0u);
    EXPECT_EQ(FindWindowW(u"QTernBoxMain", nullptr), nullptr) << "no window was made";
    // Without an answer given, the prompt takes its default button, Yes, which opens the download address.
    std::FILE* opened = std::fopen(log.c_str(), "r");
    ASSERT_NE(opened, nullptr) << "the download address was not opened";
    char line[256] = {};
    std::fgets(line, sizeof line, opened);
    std::fclose(opened);
    EXPECT_NE(std::string(line).find("/setup.exe"), std::string::npos) << line;
    std::filesystem::remove_all(folder);
    std::filesystem::remove(log);
}

TEST_F(ProgramTest, WithoutTheEngineTheWindowStillComes)
{
    std::string folder = s_folder + "/plain";
    std::string program = CopyProgramFolder(folder);
    std::filesystem::remove(folder + "/Facet.so");
    std::filesystem::remove(folder + "/Facet.so.sig");
    PROCESS_INFORMATION process = Start(program);
    EXPECT_NE(WaitForMainWindow(), nullptr);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, kWatchdogMs);
    std::filesystem::remove_all(folder);
}
