#include "platform/sys/Thread.h"

#include <unistd.h>

#include <climits>
#include <memory>

namespace {

class ThreadObject final : public ThreadKernelObject {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended)
        : m_start(start)
        , m_parameter(parameter)
        , m_suspendCount(suspended ? 1 : 0)
    {
    }

    DWORD Wait(DWORD milliseconds) override
    {
        std::unique_lock lock(m_lock);
        bool ended = WaitWithTimeout(m_changed, lock, milliseconds, [this] { return m_ended; });
        return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

    DWORD ExitCode() override
    {
        std::lock_guard guard(m_lock);
        return m_ended ? m_exitCode : STILL_ACTIVE;
    }

    DWORD Resume()
    {
        std::lock_guard guard(m_lock);
        DWORD previous = m_suspendCount;
        if (m_suspendCount > 0 && --m_suspendCount == 0)
            m_changed.notify_all();
        return previous;
    }

    // The id is known once the new thread has started; CreateThread waits for it.
    DWORD WaitForId()
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [this] { return m_id != 0; });
        return m_id;
    }

    void Run()
    {
        {
            std::unique_lock lock(m_lock);
            m_id = GetCurrentThreadId();
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_suspendCount == 0; });
        }
        DWORD exitCode = m_start(m_parameter);
        std::lock_guard guard(m_lock);
        m_exitCode = exitCode;
        m_ended = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    LPTHREAD_START_ROUTINE m_start;
    LPVOID m_parameter;
    DWORD m_suspendCount;
    DWORD m_id = 0;
    bool m_ended = false;
    DWORD m_exitCode = STILL_ACTIVE;
};

void* ThreadEntry(void* argument)
{
    // The running thread holds its own reference, so closing every handle never ends it early.
    std::unique_ptr<std::shared_ptr<ThreadObject>> holder(static_cast<std::shared_ptr<ThreadObject>*>(argument));
    std::shared_ptr<ThreadObject> self = std::move(*holder);
    holder.reset();
    self->Run();
    return nullptr;
}

size_t StackSizeFor(SIZE_T requested)
{
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
    size_t size = requested < minimum ? minimum : requested;
    return (size + page - 1) / page * page;
}

} // namespace

HANDLE CreateThread(
    void*, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, LPDWORD threadId)
{
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<ThreadObject>(start, parameter, (flags & CREATE_SUSPENDED) != 0);

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize > 0 && pthread_attr_setstacksize(&attributes, StackSizeFor(stackSize)) != 0) {
        pthread_attr_destroy(&attributes);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* holder = new std::shared_ptr<ThreadObject>(object);
    pthread_t thread;
    int error = pthread_create(&thread, &attributes, ThreadEntry, holder);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete holder;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD id = object->WaitForId();
    if (threadId)
        *threadId = id;
    return InsertKernelObject(std::move(object));
}

DWORD ResumeThread(HANDLE thread)
{
    auto object = std::dynamic_pointer_cast<ThreadObject>(ReferenceKernelObject(thread));
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    return object->Resume();
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode)
{
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = ReferenceKernelObject<ThreadKernelObject>(thread);
    if (!object)
        return FALSE;
    *exitCode = object->ExitCode();
    return TRUE;
}

DWORD GetCurrentThreadId()
{
    static thread_local DWORD id = static_cast<DWORD>(gettid());
    return id;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(&section->mutex); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    return pthread_mutex_trylock(&section->mutex) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(&section->mutex); }

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(&section->mutex); }
