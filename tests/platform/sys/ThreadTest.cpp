#include "platform/sys/Thread.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kWatchdogMs = 10000;

struct Probe {
    std::atomic<bool> release { false };
    std::atomic<bool> started { false };
    std::atomic<DWORD> seenId { 0 };
    DWORD result = 0;
};

DWORD ReportAndWait(LPVOID parameter)
{
    auto* probe = static_cast<Probe*>(parameter);
    probe->seenId = GetCurrentThreadId();
    probe->started = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    while (!probe->release && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return probe->result;
}

} // namespace

TEST(CreateThread, RunsTheRoutineAndKeepsItsResult)
{
    Probe probe;
    probe.result = 1234;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, ReportAndWait, &probe, 0, &id);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);

    probe.release = true;
    EXPECT_EQ(WaitForSingleObject(thread, kWatchdogMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 1234u);
    EXPECT_EQ(probe.seenId.load(), id);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(getpid()));
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(CreateThread, SuspendedThreadsStartAtResume)
{
    Probe probe;
    probe.release = true;
    HANDLE thread = CreateThread(nullptr, 64 * 1024, ReportAndWait, &probe, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(probe.started);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, kWatchdogMs), WAIT_OBJECT_0);
    EXPECT_TRUE(probe.started);
    EXPECT_EQ(ResumeThread(thread), 0u);
    CloseHandle(thread);
    EXPECT_EQ(ResumeThread(thread), static_cast<DWORD>(-1));
}

TEST(CreateThread, ClosingTheHandleLetsTheThreadFinish)
{
    // Static, because the thread may still touch it after the test has stopped watching.
    static Probe probe;
    static std::atomic<bool> finished { false };
    LPTHREAD_START_ROUTINE routine = [](LPVOID parameter) -> DWORD {
        ReportAndWait(parameter);
        finished = true;
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, routine, &probe, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    probe.release = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    while (!finished && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(finished);
}

TEST(CreateThread, RefusesNoRoutine)
{
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    std::thread([&] { EXPECT_FALSE(TryEnterCriticalSection(&section)); }).join();
    LeaveCriticalSection(&section);
    std::thread([&] { EXPECT_FALSE(TryEnterCriticalSection(&section)); }).join();
    LeaveCriticalSection(&section);
    std::thread([&] {
        EXPECT_TRUE(TryEnterCriticalSection(&section));
        LeaveCriticalSection(&section);
    }).join();

    long counter = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                counter = counter + 1;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    }
    for (auto& worker : workers)
        worker.join();
    EXPECT_EQ(counter, 80000);
    DeleteCriticalSection(&section);
}
