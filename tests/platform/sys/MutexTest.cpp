#include "platform/sys/Mutex.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kWatchdogMs = 10000;
const std::string kChild = LUMO_SYS_TEST_CHILD;
const WString kProgramMutex = u"Global//QTernCameraMutex__";

// Every test gets its own runtime folder, so lock files of other runs never meet it.
class MutexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "lumo-mutex-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_runtime = pattern;
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            m_oldRuntime = old;
        setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
    }
    void TearDown() override
    {
        if (m_oldRuntime)
            setenv("XDG_RUNTIME_DIR", m_oldRuntime->c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        fs::remove_all(m_runtime, ignored);
    }

    // Starts the child that creates `name` owned and waits (bounded) for its report.
    PROCESS_INFORMATION StartHolder(const WString& name, std::string& report)
    {
        std::string reportPath = m_runtime + "/holder-" + std::to_string(++m_holders);
        WString line = BuildCommandLine({ Utf8ToWide(kChild), u"mutex", name, Utf8ToWide(reportPath) });
        PROCESS_INFORMATION info {};
        EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
        while (!fs::exists(reportPath) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream file(reportPath);
        report.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        return info;
    }

    static void Kill(PROCESS_INFORMATION& info)
    {
        EXPECT_TRUE(TerminateProcess(info.hProcess, 9));
        EXPECT_EQ(WaitForSingleObject(info.hProcess, kWatchdogMs), WAIT_OBJECT_0);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }

    std::string m_runtime;
    std::optional<std::string> m_oldRuntime;
    int m_holders = 0;
};

// Runs `work` on another thread and joins it; every wait inside `work` is bounded.
template <class Work> void OnOtherThread(Work work)
{
    std::thread thread(work);
    thread.join();
}

} // namespace

TEST_F(MutexTest, ASecondCreateInThisProcessSharesTheMutex)
{
    HANDLE first = CreateMutexW(nullptr, TRUE, kProgramMutex.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    SetLastError(ERROR_ALREADY_EXISTS);
    HANDLE unnamed = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    HANDLE second = CreateMutexW(nullptr, TRUE, kProgramMutex.c_str());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_NE(second, first);
    // Both handles name one mutex, owned by this thread since the first create.
    OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT); });
    EXPECT_TRUE(ReleaseMutex(second));
    OnOtherThread([&] {
        EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(ReleaseMutex(first));
    });

    EXPECT_TRUE(CloseHandle(first));
    HANDLE third = CreateMutexW(nullptr, FALSE, kProgramMutex.c_str());
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_TRUE(CloseHandle(third));

    HANDLE again = CreateMutexW(nullptr, FALSE, kProgramMutex.c_str());
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(again);
    CloseHandle(unnamed);
}

TEST_F(MutexTest, OwnershipIsRecursiveAndOnlyTheOwnerReleases)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    OnOtherThread([&] {
        EXPECT_EQ(WaitForSingleObject(mutex, 30), WAIT_TIMEOUT);
        EXPECT_FALSE(ReleaseMutex(mutex));
        EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    });
    EXPECT_TRUE(ReleaseMutex(mutex));
    OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT); });
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));

    // A waiter blocked in another thread gets the mutex as soon as it is released.
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    std::atomic<DWORD> waited { 0xFFFF };
    std::thread waiter([&] {
        waited = WaitForSingleObject(mutex, kWatchdogMs);
        ReleaseMutex(mutex);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(ReleaseMutex(mutex));
    waiter.join();
    EXPECT_EQ(waited.load(), WAIT_OBJECT_0);
    CloseHandle(mutex);
}

TEST_F(MutexTest, AThreadThatEndsOwningItAbandonsIt)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"abandoned by a thread");
    OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0); });
    EXPECT_EQ(WaitForSingleObject(mutex, kWatchdogMs), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(MutexTest, AnotherProcessSeesItAndAKilledOwnerBlocksNothing)
{
    std::string report;
    PROCESS_INFORMATION holder = StartHolder(kProgramMutex, report);
    ASSERT_EQ(report, "1 0");

    HANDLE seen = CreateMutexW(nullptr, TRUE, kProgramMutex.c_str());
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    // initialOwner is ignored for an existing mutex: the child still owns it.
    EXPECT_EQ(WaitForSingleObject(seen, 50), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(seen));

    Kill(holder);
    HANDLE next = CreateMutexW(nullptr, TRUE, kProgramMutex.c_str());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // And the other way round: a child started now finds this process's mutex.
    PROCESS_INFORMATION second = StartHolder(kProgramMutex, report);
    EXPECT_EQ(report, "1 183");
    Kill(second);
    CloseHandle(next);
}

TEST_F(MutexTest, AWaiterGetsTheMutexOfAKilledProcessAsAbandoned)
{
    std::string report;
    PROCESS_INFORMATION holder = StartHolder(u"shared lock", report);
    ASSERT_EQ(report, "1 0");
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"shared lock");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT);
    Kill(holder);
    EXPECT_EQ(WaitForSingleObject(mutex, kWatchdogMs), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(MutexTest, ChildProcessesDoNotInheritTheLock)
{
    HANDLE mutex = CreateMutexW(nullptr, TRUE, kProgramMutex.c_str());
    ASSERT_EQ(GetLastError(), ERROR_SUCCESS);
    WString line = BuildCommandLine({ Utf8ToWide(kChild), u"sleep", u"20000" });
    PROCESS_INFORMATION child {};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, nullptr, &child));
    CloseHandle(mutex);

    std::string report;
    PROCESS_INFORMATION holder = StartHolder(kProgramMutex, report);
    EXPECT_EQ(report, "1 0");
    Kill(holder);
    Kill(child);
}

TEST_F(MutexTest, AnyNameBecomesOneSafeFileName)
{
    std::vector<WString> names { kProgramMutex, u"..", u".", u"../../etc/passwd", u"a/b", u"a%2Fb", u"a\\b",
        u"name with spaces", u"摄像头", WString(1, u'\xD800'), WString(300, u'x'), WString(299, u'x') + u"y",
        WString(5000, u'/') };
    std::set<std::string> files;
    for (const auto& name : names) {
        std::string file = NamedMutexFileName(name);
        EXPECT_FALSE(file.empty());
        EXPECT_LE(file.size(), 160u);
        EXPECT_EQ(file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-%~+"),
            std::string::npos)
            << file;
        files.insert(file);
    }
    EXPECT_EQ(files.size(), names.size());

    std::vector<HANDLE> handles;
    for (const auto& name : names) {
        handles.push_back(CreateMutexW(nullptr, FALSE, name.c_str()));
        EXPECT_NE(handles.back(), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    }
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(m_runtime))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string> { "lumo-mutex" });
    for (HANDLE handle : handles)
        CloseHandle(handle);
}

TEST_F(MutexTest, AnUnusableLockFolderGivesNoHandle)
{
    std::string notAFolder = m_runtime + "/file";
    std::ofstream(notAFolder) << "x";
    setenv("XDG_RUNTIME_DIR", notAFolder.c_str(), 1);
    SetLastError(0);
    EXPECT_EQ(CreateMutexW(nullptr, TRUE, kProgramMutex.c_str()), nullptr);
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
    EXPECT_NE(GetLastError(), ERROR_ALREADY_EXISTS);

    HANDLE unnamed = CreateMutexW(nullptr, TRUE, nullptr);
    EXPECT_NE(unnamed, nullptr);
    CloseHandle(unnamed);
}

TEST_F(MutexTest, WithoutARuntimeFolderUsesAPrivateFolderInTmp)
{
    unsetenv("XDG_RUNTIME_DIR");
    WString name = u"lumo test " + Utf8ToWide(std::to_string(getpid()));
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    CloseHandle(mutex);

    fs::path base = "/tmp/lumo-" + std::to_string(getuid());
    EXPECT_EQ(fs::status(base).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::path lock = base / "lumo-mutex" / NamedMutexFileName(name);
    EXPECT_TRUE(fs::remove(lock.string() + ".lock"));
    EXPECT_TRUE(fs::remove(lock.string() + ".owner"));
}
