// Kernel object handles: processes, threads, mutexes and any later waitable object share one table.
#pragma once

#include "platform/base/WinTypes.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// An object a handle refers to. The table holds one reference per open handle; a waiter holds
// its own while it waits, so closing a handle during a wait never frees the object under it.
class KernelObject {
public:
    virtual ~KernelObject() = default;
    // WAIT_OBJECT_0 when signalled (WAIT_ABANDONED for a mutex whose owner ended without
    // releasing it), WAIT_TIMEOUT after `milliseconds` (INFINITE waits for ever).
    virtual DWORD Wait(DWORD milliseconds) = 0;
};

// Handle values are never reused, so a stale handle is refused instead of reaching a newer object.
HANDLE InsertKernelObject(std::shared_ptr<KernelObject> object);
// The object behind an open handle, or nullptr (GetLastError: ERROR_INVALID_HANDLE).
std::shared_ptr<KernelObject> ReferenceKernelObject(HANDLE handle);

// The object behind an open handle when it is a T; another kind of object is refused like an
// unknown handle.
template <class T> std::shared_ptr<T> ReferenceKernelObject(HANDLE handle)
{
    auto object = std::dynamic_pointer_cast<T>(ReferenceKernelObject(handle));
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// Waits on `condition` until `done` holds or `milliseconds` pass (INFINITE: for ever);
// returns whether `done` holds.
template <class Predicate>
bool WaitWithTimeout(
    std::condition_variable& condition, std::unique_lock<std::mutex>& lock, DWORD milliseconds, Predicate done)
{
    if (milliseconds == INFINITE) {
        condition.wait(lock, done);
        return true;
    }
    return condition.wait_for(lock, std::chrono::milliseconds(milliseconds), done);
}
