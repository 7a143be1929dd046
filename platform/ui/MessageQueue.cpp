#include "platform/ui/MessageQueue.h"

#include "platform/base/Clock.h"
#include "platform/sys/Thread.h"
#include "platform/ui/ForeignWindows.h"
#include "platform/ui/Input.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/ThreadQueue.h"
#include "platform/ui/WindowObject.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace {

constexpr UINT kMinimumTimerElapse = 10;
constexpr int kMaxGlibEventsPerPeek = 64;

struct QueueDirectory {
    std::mutex lock;
    std::map<DWORD, std::weak_ptr<ThreadQueue>> queues;
    int clockObserver = -1;
};

QueueDirectory& Directory()
{
    static QueueDirectory* directory = new QueueDirectory; // outlives every thread's queue
    return *directory;
}

void WakeAllQueues()
{
    std::vector<std::shared_ptr<ThreadQueue>> live;
    {
        auto& dir = Directory();
        std::lock_guard guard(dir.lock);
        for (auto& [id, weak] : dir.queues) {
            if (auto q = weak.lock())
                live.push_back(q);
        }
    }
    for (auto& q : live)
        q->Wake();
}

bool IsMainThread()
{
    return syscall(SYS_gettid) == getpid();
}

std::shared_ptr<ThreadQueue> MakeQueue()
{
    auto q = std::make_shared<ThreadQueue>();
    q->threadId = GetCurrentThreadId();
    if (IsMainThread()) {
        q->context = g_main_context_ref(g_main_context_default());
    } else {
        q->context = g_main_context_new();
        q->ownsContext = true;
        g_main_context_push_thread_default(q->context);
    }
    auto& dir = Directory();
    std::lock_guard guard(dir.lock);
    dir.queues[q->threadId] = q;
    if (dir.clockObserver < 0)
        dir.clockObserver = AddClockObserver([] { WakeAllQueues(); });
    return q;
}

bool InFilter(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
        if (msg.hwnd)
            return false;
    } else if (hwnd && msg.hwnd != hwnd && !IsChild(hwnd, msg.hwnd)) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0)
        return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg {};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    GetCursorPos(&msg.pt);
    return msg;
}

bool TimerDue(const Timer& timer, DWORD now)
{
    return static_cast<LONG>(now - timer.due) >= 0;
}

bool TakeDueTimer(ThreadQueue& q, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove)
{
    DWORD now = GetTickCount();
    for (auto& timer : q.timers) {
        if (!TimerDue(timer, now))
            continue;
        MSG msg = MakeMessage(timer.hwnd, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc));
        if (!InFilter(msg, hwnd, filterMin, filterMax))
            continue;
        if (remove)
            timer.due = now + timer.elapse;
        *out = msg;
        return true;
    }
    return false;
}

void PumpGlib(ThreadQueue& q)
{
    for (int i = 0; i < kMaxGlibEventsPerPeek && g_main_context_iteration(q.context, FALSE); ++i) {
    }
}

gboolean StopWaiting(gpointer)
{
    return G_SOURCE_REMOVE;
}

// Blocks in the thread's main context until something may have arrived: a post, a send,
// an event of the presenter or the media layer, a wake-up of the test clock, or the next timer.
void WaitForWork(ThreadQueue& q)
{
    GSource* timeout = nullptr;
    if (!q.timers.empty() && !TestClock::IsRunning()) {
        DWORD now = GetTickCount();
        LONG wait = 0x7FFFFFFF;
        for (auto& timer : q.timers)
            wait = std::min(wait, std::max<LONG>(0, static_cast<LONG>(timer.due - now)));
        timeout = g_timeout_source_new(static_cast<guint>(wait));
        g_source_set_callback(timeout, StopWaiting, nullptr, nullptr);
        g_source_attach(timeout, q.context);
    }
    {
        std::lock_guard guard(q.lock);
        if (!q.posted.empty() || !q.incoming.empty() || !q.input.empty() || q.quitPosted || q.wakeups) {
            q.wakeups = 0;
            if (timeout) {
                g_source_destroy(timeout);
                g_source_unref(timeout);
            }
            return;
        }
    }
    g_main_context_iteration(q.context, TRUE);
    {
        std::lock_guard guard(q.lock);
        q.wakeups = 0;
    }
    if (timeout) {
        g_source_destroy(timeout);
        g_source_unref(timeout);
    }
}

bool TakePosted(ThreadQueue& q, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, bool remove)
{
    std::lock_guard guard(q.lock);
    auto it = std::find_if(q.posted.begin(), q.posted.end(),
        [&](const MSG& m) { return InFilter(m, hwnd, filterMin, filterMax); });
    if (it != q.posted.end()) {
        *out = *it;
        if (remove)
            q.posted.erase(it);
        return true;
    }
    if (q.quitPosted && (filterMin == 0 && filterMax == 0)) {
        *out = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0);
        if (remove)
            q.quitPosted = false;
        return true;
    }
    return false;
}

bool PeekInternal(ThreadQueue& q, MSG* out, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    bool remove = (removeFlags & PM_REMOVE) != 0;
    ProcessIncomingSends(q);
    PumpGlib(q);
    ProcessIncomingSends(q);
    if (TakePosted(q, out, hwnd, filterMin, filterMax, remove))
        return true;
    MSG input;
    while (TakeRawInput(q, &input, remove)) {
        // An event that makes no message (WM_NULL) is used up even when peeking, and what it
        // caused (a posted WM_MOUSELEAVE, say) comes before the next event. One outside the filter
        // is dropped when removing, as a filtered loop on Windows would.
        if (input.message == WM_NULL) {
            if (TakePosted(q, out, hwnd, filterMin, filterMax, remove))
                return true;
            continue;
        }
        if (InFilter(input, hwnd, filterMin, filterMax)) {
            *out = input;
            return true;
        }
        if (!remove)
            break;
    }
    HWND needsPaint = FindWindowNeedingPaint(hwnd);
    if (needsPaint) {
        MSG msg = MakeMessage(needsPaint, WM_PAINT, 0, 0);
        if (InFilter(msg, hwnd, filterMin, filterMax)) {
            *out = msg;
            return true;
        }
    }
    return TakeDueTimer(q, out, hwnd, filterMin, filterMax, remove);
}

} // namespace

ThreadQueue::~ThreadQueue()
{
    // Senders waiting on this thread get 0 instead of waiting forever.
    for (auto& sent : incoming) {
        std::lock_guard guard(sent->sender->lock);
        sent->done = true;
        sent->sender->signal.notify_all();
    }
    // The context stops being the thread's default when the thread ends (see CurrentQueue); the
    // last reference to a queue may be dropped on another thread.
    g_main_context_unref(context);
}

void ThreadQueue::Wake()
{
    {
        std::lock_guard guard(lock);
        ++wakeups;
    }
    signal.notify_all();
    g_main_context_wakeup(context);
}

std::shared_ptr<ThreadQueue> CurrentQueue()
{
    // Ends the thread's use of its own main context on that thread, when the thread ends.
    struct ThreadSlot {
        std::shared_ptr<ThreadQueue> queue;
        ~ThreadSlot()
        {
            if (queue && queue->ownsContext)
                g_main_context_pop_thread_default(queue->context);
        }
    };
    thread_local ThreadSlot slot;
    if (!slot.queue)
        slot.queue = MakeQueue();
    return slot.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId)
{
    auto& dir = Directory();
    std::lock_guard guard(dir.lock);
    auto it = dir.queues.find(threadId);
    return it == dir.queues.end() ? nullptr : it->second.lock();
}

bool ProcessIncomingSends(ThreadQueue& q)
{
    bool any = false;
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        {
            std::lock_guard guard(q.lock);
            if (q.incoming.empty())
                return any;
            sent = q.incoming.front();
            q.incoming.pop_front();
        }
        any = true;
        LRESULT result = 0;
        if (WindowObject* w = FindWindowObject(sent->hwnd))
            result = CallWindowProcW(w->proc, sent->hwnd, sent->message, sent->wParam, sent->lParam);
        std::lock_guard guard(sent->sender->lock);
        sent->result = result;
        sent->done = true;
        sent->sender->signal.notify_all();
    }
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadQueue> q = hwnd ? QueueOfWindow(hwnd) : CurrentQueue();
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    {
        std::lock_guard guard(q->lock);
        q->posted.push_back(MakeMessage(hwnd, message, wParam, lParam));
    }
    q->Wake();
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto q = QueueOfThread(threadId);
    if (!q) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    {
        std::lock_guard guard(q->lock);
        q->posted.push_back(MakeMessage(nullptr, message, wParam, lParam));
    }
    q->Wake();
    return TRUE;
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!proc)
        return 0;
    return proc(hwnd, message, wParam, lParam);
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (IsForeignWindow(hwnd))
        return ForeignSendMessage(hwnd, message, wParam, lParam);
    auto target = QueueOfWindow(hwnd);
    if (!target) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto self = CurrentQueue();
    if (target == self) {
        WindowObject* w = FindWindowObject(hwnd);
        if (!w)
            return 0;
        ++self->sendDepth;
        LRESULT result = CallWindowProcW(w->proc, hwnd, message, wParam, lParam);
        --self->sendDepth;
        return result;
    }
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->sender = self;
    {
        std::lock_guard guard(target->lock);
        target->incoming.push_back(sent);
    }
    target->Wake();
    for (;;) {
        ProcessIncomingSends(*self);
        std::unique_lock guard(self->lock);
        self->signal.wait(guard, [&] { return sent->done || !self->incoming.empty(); });
        if (sent->done)
            return sent->result;
    }
}

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg)
        return -1;
    auto q = CurrentQueue();
    for (;;) {
        if (PeekInternal(*q, msg, hwnd, filterMin, filterMax, PM_REMOVE)) {
            q->current = *msg;
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        WaitForWork(*q);
    }
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (!msg)
        return FALSE;
    auto q = CurrentQueue();
    if (!PeekInternal(*q, msg, hwnd, filterMin, filterMax, removeFlags))
        return FALSE;
    if (removeFlags & PM_REMOVE)
        q->current = *msg;
    return TRUE;
}

BOOL WaitMessage()
{
    auto q = CurrentQueue();
    MSG msg;
    while (!PeekInternal(*q, &msg, nullptr, 0, 0, PM_NOREMOVE))
        WaitForWork(*q);
    return TRUE;
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    WCHAR ch = 0;
    if (!CharacterOfKeyMessage(*msg, &ch))
        return FALSE;
    PostMessageW(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, ch, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    WindowObject* w = FindWindowObject(msg->hwnd);
    if (!w || w->threadId != GetCurrentThreadId())
        return 0;
    LRESULT result = CallWindowProcW(w->proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
    // A procedure that answers WM_PAINT without painting would be offered the same paint forever.
    if (msg->message == WM_PAINT)
        ValidateRect(msg->hwnd, nullptr);
    return result;
}

void PostQuitMessage(int exitCode)
{
    auto q = CurrentQueue();
    {
        std::lock_guard guard(q->lock);
        q->quitPosted = true;
        q->quitCode = exitCode;
    }
    q->Wake();
}

DWORD GetMessageTime()
{
    return CurrentQueue()->current.time;
}

POINT GetMessagePosPoint()
{
    return CurrentQueue()->current.pt;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    auto q = CurrentQueue();
    if (hwnd) {
        WindowObject* w = FindWindowObject(hwnd);
        if (!w || w->threadId != q->threadId) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    } else {
        bool exists = std::any_of(q->timers.begin(), q->timers.end(),
            [&](const Timer& t) { return !t.hwnd && t.id == id; });
        if (!exists)
            id = ++q->nextThreadTimerId;
    }
    elapse = std::max(elapse, kMinimumTimerElapse);
    Timer timer;
    timer.hwnd = hwnd;
    timer.id = id;
    timer.elapse = elapse;
    timer.due = GetTickCount() + elapse;
    timer.proc = proc;
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
        [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it != q->timers.end())
        *it = timer;
    else
        q->timers.push_back(timer);
    q->Wake();
    return hwnd && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    auto q = CurrentQueue();
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
        [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == q->timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    q->timers.erase(it);
    // A WM_TIMER already taken from the queue is not recalled, as on Windows.
    return TRUE;
}

void ForgetWindowMessages(HWND hwnd)
{
    auto q = CurrentQueue();
    std::erase_if(q->timers, [&](const Timer& t) { return t.hwnd == hwnd; });
    std::lock_guard guard(q->lock);
    std::erase_if(q->posted, [&](const MSG& m) { return m.hwnd == hwnd; });
}
