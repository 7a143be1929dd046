// The clock: ticks since boot, local and UTC time, and a test clock that tests set and advance.
#pragma once

#include "platform/base/WinTypes.h"

#include <functional>

// Milliseconds of the monotonic clock; the 32-bit count wraps after 49.7 days, so compare
// ticks by unsigned subtraction.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
void GetLocalTime(SYSTEMTIME* time);
void GetSystemTime(SYSTEMTIME* time);
// Really sleeps, also while the test clock runs.
void Sleep(DWORD milliseconds);

// While it runs, GetTickCount, GetTickCount64, GetLocalTime and GetSystemTime answer from it
// (local time and UTC are the same). Any thread may read it.
class TestClock {
public:
    static void Start(const SYSTEMTIME& localNow, DWORD tickNow);
    static void Stop();
    static bool IsRunning();

    // These three do nothing while the clock is stopped. Advance moves the tick and the
    // local time together.
    static void Advance(DWORD milliseconds);
    static void SetTick(DWORD tick);
    static void SetLocalTime(const SYSTEMTIME& localNow);
};

class ScopedTestClock {
public:
    ScopedTestClock(const SYSTEMTIME& localNow, DWORD tickNow) { TestClock::Start(localNow, tickNow); }
    ~ScopedTestClock() { TestClock::Stop(); }
    ScopedTestClock(const ScopedTestClock&) = delete;
    ScopedTestClock& operator=(const ScopedTestClock&) = delete;
};

// Observers are called after every change of the test clock, on the thread that made it and
// outside the clock's lock, so a waiting loop can re-check its timers. They must not block:
// once RemoveClockObserver returns, the observer is not running and will not be called again.
int AddClockObserver(std::function<void()> observer);
void RemoveClockObserver(int id);
