#include "platform/base/Clock.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

namespace chrono = std::chrono;
using TimePoint = chrono::sys_time<chrono::milliseconds>;

struct TestClockState {
    std::mutex mutex;
    // Checked without the lock first, so the real clock costs no lock.
    std::atomic<bool> running{false};
    ULONGLONG tick = 0;
    TimePoint now{};
};

TestClockState& State()
{
    static TestClockState state;
    return state;
}

struct ObserverEntry {
    int id = 0;
    std::function<void()> observer;
    bool removed = false;
};

struct ObserverList {
    // Held while observers run, so removing one waits for a notification under way elsewhere.
    std::recursive_mutex callMutex;
    std::mutex listMutex;
    std::vector<std::shared_ptr<ObserverEntry>> entries;
    int nextId = 1;
};

ObserverList& Observers()
{
    static ObserverList list;
    return list;
}

void NotifyObservers()
{
    ObserverList& list = Observers();
    std::lock_guard callLock(list.callMutex);
    std::vector<std::shared_ptr<ObserverEntry>> snapshot;
    {
        std::lock_guard lock(list.listMutex);
        snapshot = list.entries;
    }
    for (const auto& entry : snapshot) {
        {
            std::lock_guard lock(list.listMutex);
            if (entry->removed)
                continue;
        }
        entry->observer();
    }
}

// Out-of-range fields carry over (month 13 is January of the next year, day 0 the last day
// of the month before), the way a time built by adding to a field should read.
TimePoint ToTimePoint(const SYSTEMTIME& time)
{
    int monthIndex = time.wMonth == 0 ? 0 : time.wMonth - 1;
    chrono::year year(time.wYear + monthIndex / 12);
    chrono::month month(static_cast<unsigned>(monthIndex % 12 + 1));
    chrono::sys_days day = chrono::sys_days(year / month / 1) + chrono::days(static_cast<int>(time.wDay) - 1);
    return day + chrono::hours(time.wHour) + chrono::minutes(time.wMinute) + chrono::seconds(time.wSecond)
        + chrono::milliseconds(time.wMilliseconds);
}

SYSTEMTIME ToSystemTime(TimePoint point)
{
    chrono::sys_days day = chrono::floor<chrono::days>(point);
    chrono::year_month_day date(day);
    chrono::hh_mm_ss clock(point - day);
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(static_cast<int>(date.year()));
    time.wMonth = static_cast<WORD>(static_cast<unsigned>(date.month()));
    time.wDay = static_cast<WORD>(static_cast<unsigned>(date.day()));
    time.wDayOfWeek = static_cast<WORD>(chrono::weekday(day).c_encoding());
    time.wHour = static_cast<WORD>(clock.hours().count());
    time.wMinute = static_cast<WORD>(clock.minutes().count());
    time.wSecond = static_cast<WORD>(clock.seconds().count());
    time.wMilliseconds = static_cast<WORD>(clock.subseconds().count());
    return time;
}

bool ReadTestTick(ULONGLONG& tick)
{
    TestClockState& state = State();
    if (!state.running.load(std::memory_order_acquire))
        return false;
    std::lock_guard lock(state.mutex);
    if (!state.running)
        return false;
    tick = state.tick;
    return true;
}

bool ReadTestTime(SYSTEMTIME& time)
{
    TestClockState& state = State();
    if (!state.running.load(std::memory_order_acquire))
        return false;
    std::lock_guard lock(state.mutex);
    if (!state.running)
        return false;
    time = ToSystemTime(state.now);
    return true;
}

void ReadRealTime(SYSTEMTIME* time, tm* (*convert)(const time_t*, tm*))
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm fields{};
    convert(&now.tv_sec, &fields);
    time->wYear = static_cast<WORD>(fields.tm_year + 1900);
    time->wMonth = static_cast<WORD>(fields.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
    time->wDay = static_cast<WORD>(fields.tm_mday);
    time->wHour = static_cast<WORD>(fields.tm_hour);
    time->wMinute = static_cast<WORD>(fields.tm_min);
    // A leap second reads as the last second of its minute.
    time->wSecond = static_cast<WORD>(fields.tm_sec > 59 ? 59 : fields.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

// Applies a change to a running test clock and tells the observers.
template <class Change>
void ChangeTestClock(Change change)
{
    TestClockState& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (!state.running)
            return;
        change(state);
    }
    NotifyObservers();
}

} // namespace

ULONGLONG GetTickCount64()
{
    ULONGLONG tick = 0;
    if (ReadTestTick(tick))
        return tick;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 1000 + static_cast<ULONGLONG>(now.tv_nsec / 1000000);
}

DWORD GetTickCount()
{
    return static_cast<DWORD>(GetTickCount64());
}

void GetLocalTime(SYSTEMTIME* time)
{
    if (!time || ReadTestTime(*time))
        return;
    ReadRealTime(time, localtime_r);
}

void GetSystemTime(SYSTEMTIME* time)
{
    if (!time || ReadTestTime(*time))
        return;
    ReadRealTime(time, gmtime_r);
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(chrono::milliseconds(milliseconds));
}

void TestClock::Start(const SYSTEMTIME& localNow, DWORD tickNow)
{
    TestClockState& state = State();
    {
        std::lock_guard lock(state.mutex);
        state.tick = tickNow;
        state.now = ToTimePoint(localNow);
        state.running.store(true, std::memory_order_release);
    }
    NotifyObservers();
}

void TestClock::Stop()
{
    TestClockState& state = State();
    {
        std::lock_guard lock(state.mutex);
        if (!state.running)
            return;
        state.running.store(false, std::memory_order_release);
    }
    NotifyObservers();
}

bool TestClock::IsRunning()
{
    return State().running.load(std::memory_order_acquire);
}

void TestClock::Advance(DWORD milliseconds)
{
    ChangeTestClock([milliseconds](TestClockState& state) {
        state.tick += milliseconds;
        state.now += chrono::milliseconds(milliseconds);
    });
}

void TestClock::SetTick(DWORD tick)
{
    ChangeTestClock([tick](TestClockState& state) { state.tick = tick; });
}

void TestClock::SetLocalTime(const SYSTEMTIME& localNow)
{
    TimePoint now = ToTimePoint(localNow);
    ChangeTestClock([now](TestClockState& state) { state.now = now; });
}

int AddClockObserver(std::function<void()> observer)
{
    ObserverList& list = Observers();
    auto entry = std::make_shared<ObserverEntry>();
    entry->observer = std::move(observer);
    std::lock_guard lock(list.listMutex);
    entry->id = list.nextId++;
    list.entries.push_back(std::move(entry));
    return list.entries.back()->id;
}

void RemoveClockObserver(int id)
{
    ObserverList& list = Observers();
    std::lock_guard callLock(list.callMutex);
    std::lock_guard lock(list.listMutex);
    std::erase_if(list.entries, [id](const std::shared_ptr<ObserverEntry>& entry) {
        if (entry->id != id)
            return false;
        entry->removed = true;
        return true;
    });
}
