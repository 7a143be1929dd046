// What the media benchmarks share: CPU time from getrusage, the media layer started as the program
// starts it, and the thread's loop run as the program runs it.
#pragma once

#include "platform/ui/WinUser.h"

#include <sys/resource.h>

#include <chrono>
#include <functional>

using BenchClock = std::chrono::steady_clock;

double CpuSeconds(const rusage& usage); // user + system
double ProcessCpuSeconds();

// A plain window class for the windows that own a renderer.
extern const WCHAR kBenchOwnerClass[];
// COM, the media classes and kBenchOwnerClass, once.
void StartMediaLayer();

// Dispatches what the thread's queue holds now.
void DispatchPending();
// Runs the thread's loop the way the program's loop does, asleep in WaitMessage between messages,
// until `done` holds (true) or `deadline` passes (false). One timer wakes the loop at the deadline.
bool RunLoopUntil(const std::function<bool()>& done, BenchClock::time_point deadline);
