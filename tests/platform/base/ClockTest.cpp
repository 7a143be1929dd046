#include "platform/base/Clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

SYSTEMTIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms)
{
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = ms;
    return time;
}

std::string Describe(const SYSTEMTIME& t)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u dow %u", t.wYear, t.wMonth, t.wDay, t.wHour,
        t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

std::string LocalNow()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return Describe(now);
}

// Minutes since the start of the week, for comparing two readings across midnight.
int WeekMinute(const SYSTEMTIME& t)
{
    return (t.wDayOfWeek * 24 + t.wHour) * 60 + t.wMinute;
}

class ClockTest : public testing::Test {
protected:
    void TearDown() override { TestClock::Stop(); }
};

} // namespace

TEST_F(ClockTest, RealClockIsMonotonicAndPlausible)
{
    ULONGLONG before = GetTickCount64();
    Sleep(20);
    ULONGLONG after = GetTickCount64();
    EXPECT_GE(after - before, 19u);
    EXPECT_LT(after - before, 5000u);
    EXPECT_LE(static_cast<DWORD>(GetTickCount() - static_cast<DWORD>(after)), 1000u);

    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_TRUE(now.wMonth >= 1 && now.wMonth <= 12 && now.wDay >= 1 && now.wDay <= 31) << Describe(now);
    EXPECT_TRUE(now.wHour < 24 && now.wMinute < 60 && now.wSecond < 60 && now.wMilliseconds < 1000) << Describe(now);
    EXPECT_LT(now.wDayOfWeek, 7);
}

TEST_F(ClockTest, LocalTimeFollowsTheTimeZoneAndSystemTimeIsUtc)
{
    std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    bool hadZone = std::getenv("TZ") != nullptr;
    setenv("TZ", "<+0530>-05:30", 1);
    tzset();
    SYSTEMTIME local;
    SYSTEMTIME utc;
    GetLocalTime(&local);
    GetSystemTime(&utc);
    if (hadZone)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    int difference = (WeekMinute(local) - WeekMinute(utc) + 7 * 24 * 60) % (7 * 24 * 60);
    // Tolerates the minute turning between the two readings.
    EXPECT_TRUE(difference == 330 || difference == 329) << Describe(local) << " vs " << Describe(utc);
}

TEST_F(ClockTest, TestClockReplacesTheRealOneWhileItRuns)
{
    {
        ScopedTestClock clock(MakeTime(2012, 12, 7, 15, 30, 45, 123), 5000);
        EXPECT_TRUE(TestClock::IsRunning());
        EXPECT_EQ(GetTickCount(), 5000u);
        EXPECT_EQ(LocalNow(), "2012-12-07 15:30:45.123 dow 5");
        SYSTEMTIME utc;
        GetSystemTime(&utc);
        EXPECT_EQ(Describe(utc), "2012-12-07 15:30:45.123 dow 5");

        TestClock::SetLocalTime(MakeTime(2020, 1, 1, 0, 0, 0, 0));
        EXPECT_EQ(GetTickCount(), 5000u);
        EXPECT_EQ(LocalNow(), "2020-01-01 00:00:00.000 dow 3");

        // Sleeping is real and leaves the test clock alone.
        Sleep(5);
        EXPECT_EQ(GetTickCount64(), 5000u);
    }
    EXPECT_FALSE(TestClock::IsRunning());
    TestClock::Advance(1000);
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
}

TEST_F(ClockTest, TickDifferencesSurviveTheWrap)
{
    TestClock::Start(MakeTime(2012, 12, 7, 0, 0, 0, 0), 0);
    TestClock::SetTick(0xFFFFFF00);
    DWORD start = GetTickCount();
    TestClock::Advance(0x200);
    EXPECT_EQ(GetTickCount(), 0x100u);
    EXPECT_EQ(GetTickCount() - start, 0x200u);
    EXPECT_EQ(GetTickCount64(), 0x100000100ull);
}

TEST_F(ClockTest, AdvanceRollsEveryField)
{
    TestClock::Start(MakeTime(2012, 12, 31, 23, 59, 59, 950), 0);
    TestClock::Advance(100);
    EXPECT_EQ(LocalNow(), "2013-01-01 00:00:00.050 dow 2");
    EXPECT_EQ(GetTickCount(), 100u);

    constexpr DWORD kDay = 24 * 60 * 60 * 1000;
    TestClock::SetLocalTime(MakeTime(2024, 2, 28, 12, 0, 0, 0));
    TestClock::Advance(kDay);
    EXPECT_EQ(LocalNow(), "2024-02-29 12:00:00.000 dow 4");
    TestClock::Advance(kDay);
    EXPECT_EQ(LocalNow(), "2024-03-01 12:00:00.000 dow 5");

    TestClock::SetLocalTime(MakeTime(2023, 2, 28, 23, 0, 0, 0));
    TestClock::Advance(kDay);
    EXPECT_EQ(LocalNow(), "2023-03-01 23:00:00.000 dow 3");
    TestClock::SetLocalTime(MakeTime(2100, 2, 28, 0, 0, 0, 0));
    TestClock::Advance(kDay);
    EXPECT_EQ(LocalNow(), "2100-03-01 00:00:00.000 dow 1");
    TestClock::SetLocalTime(MakeTime(2000, 2, 28, 0, 0, 0, 0));
    TestClock::Advance(kDay);
    EXPECT_EQ(LocalNow(), "2000-02-29 00:00:00.000 dow 2");

    TestClock::SetLocalTime(MakeTime(2012, 1, 31, 23, 59, 59, 999));
    TestClock::Advance(0xFFFFFFFF);
    EXPECT_EQ(LocalNow(), "2012-03-21 17:02:47.294 dow 3");
}

TEST_F(ClockTest, ObserversSeeEveryChangeAfterItIsMade)
{
    TestClock::Start(MakeTime(2012, 12, 7, 0, 0, 0, 0), 1000);
    std::vector<DWORD> seen;
    int id = AddClockObserver([&] { seen.push_back(GetTickCount()); });
    TestClock::Advance(10);
    TestClock::SetTick(50);
    TestClock::SetLocalTime(MakeTime(2013, 1, 1, 0, 0, 0, 0));
    EXPECT_EQ(seen, (std::vector<DWORD>{1010, 50, 50}));

    RemoveClockObserver(id);
    TestClock::Advance(10);
    EXPECT_EQ(seen.size(), 3u);

    int calls = 0;
    int self = 0;
    self = AddClockObserver([&] {
        ++calls;
        RemoveClockObserver(self);
    });
    TestClock::Advance(1);
    TestClock::Advance(1);
    EXPECT_EQ(calls, 1);
}

TEST_F(ClockTest, RemovingAnObserverWaitsForItsCallOnAnotherThread)
{
    TestClock::Start(MakeTime(2012, 12, 7, 0, 0, 0, 0), 0);
    std::mutex mutex;
    std::condition_variable entered;
    bool inside = false;
    std::atomic<bool> finished = false;
    int id = AddClockObserver([&] {
        {
            std::lock_guard lock(mutex);
            inside = true;
        }
        entered.notify_all();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        finished = true;
    });
    std::thread advancer([] { TestClock::Advance(1); });
    bool called = false;
    {
        std::unique_lock lock(mutex);
        called = entered.wait_for(lock, std::chrono::seconds(10), [&] { return inside; });
    }
    RemoveClockObserver(id);
    EXPECT_TRUE(called) << "the observer was never called";
    EXPECT_TRUE(finished);
    advancer.join();
}

TEST_F(ClockTest, ReadersOnOtherThreadsSeeAMonotonicTick)
{
    TestClock::Start(MakeTime(2012, 12, 7, 0, 0, 0, 0), 0);
    std::atomic<bool> ordered = true;
    std::thread reader([&] {
        DWORD last = 0;
        for (int i = 0; i < 20000; ++i) {
            DWORD tick = GetTickCount();
            if (tick < last)
                ordered = false;
            last = tick;
        }
    });
    for (int i = 0; i < 20000; ++i)
        TestClock::Advance(1);
    reader.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(GetTickCount(), 20000u);
}
