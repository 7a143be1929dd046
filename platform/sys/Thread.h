// Threads of this process and the critical section.
#pragma once

#include "platform/sys/Handle.h"

#include <pthread.h>

// The exit code of a thread or process that is still running.
inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD CREATE_SUSPENDED = 0x4;
inline constexpr DWORD STACK_SIZE_PARAM_IS_A_RESERVATION = 0x10000;

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

// A thread handle's object: a thread of this process, or the main thread of a child process.
class ThreadKernelObject : public KernelObject {
public:
    // STILL_ACTIVE while the thread runs.
    virtual DWORD ExitCode() = 0;
};

// Waiting on the handle waits for the routine to return; its result is the exit code.
// `stackSize` 0 takes the default. With CREATE_SUSPENDED the routine starts at ResumeThread.
HANDLE CreateThread(
    void* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId);
// The suspend count before the call, or (DWORD)-1 for a handle that is not a thread of this process.
DWORD ResumeThread(HANDLE thread);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// The kernel's id of the calling thread (the process id for the main thread).
DWORD GetCurrentThreadId();

// Recursive: the owning thread may enter again and leaves as often as it entered.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
