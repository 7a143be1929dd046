#include "platform/ui/MessageBoxModality.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ThreadQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowObject.h"

#include <glib.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

struct CrossThreadCall {
    std::function<void()> work;
    // Not owned: the waiting thread stays in RunOnWindowThread until `done`. Holding a reference could
    // make the last release of that thread's queue happen on the window's thread.
    ThreadQueue* waiter = nullptr;
    bool done = false; // under waiter->lock
};

gboolean RunCrossThreadCall(gpointer data)
{
    auto& call = *static_cast<std::shared_ptr<CrossThreadCall>*>(data);
    call->work();
    // Signalled under the lock: once it is released the waiter may return and its thread end.
    std::lock_guard guard(call->waiter->lock);
    call->done = true;
    call->waiter->signal.notify_all();
    return G_SOURCE_REMOVE;
}

void FreeCrossThreadCall(gpointer data)
{
    delete static_cast<std::shared_ptr<CrossThreadCall>*>(data);
}

// Windows are touched by their own thread only, so what the box does to an owner of another thread
// runs there; meanwhile this thread serves the messages sent to it, as a cross-thread send does.
void RunOnWindowThread(HWND hwnd, std::function<void()> work)
{
    auto target = QueueOfWindow(hwnd);
    if (!target)
        return;
    auto self = CurrentQueue();
    if (target == self) {
        work();
        return;
    }
    auto call = std::make_shared<CrossThreadCall>();
    call->work = std::move(work);
    call->waiter = self.get();
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, RunCrossThreadCall, new std::shared_ptr<CrossThreadCall>(call), FreeCrossThreadCall);
    g_source_attach(source, target->context);
    g_source_unref(source);
    for (;;) {
        ProcessIncomingSends(*self);
        std::unique_lock guard(self->lock);
        self->signal.wait(guard, [&] { return call->done || !self->incoming.empty(); });
        if (call->done)
            return;
    }
}

size_t FocusedButton(const MessageBoxState& box)
{
    auto it = std::find(box.buttonWindows.begin(), box.buttonWindows.end(), GetFocus());
    return it == box.buttonWindows.end() ? box.defaultButton : static_cast<size_t>(it - box.buttonWindows.begin());
}

// Enter and Space press the focused button, Escape answers as the close button does, Tab and the
// arrows move between the buttons. The box's own keys never reach the buttons, whichever kind they are.
bool PreviewKey(MessageBoxState& box, const MSG& msg)
{
    if ((msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) || GetAncestor(msg.hwnd, GA_ROOT) != box.window)
        return false;
    size_t count = box.buttons.size();
    size_t focused = FocusedButton(box);
    switch (msg.wParam) {
    case VK_RETURN:
    case VK_SPACE:
        box.Choose(box.buttons[focused].id);
        return true;
    case VK_ESCAPE:
        box.Choose(box.escapeId);
        return true;
    case VK_TAB:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_LEFT:
    case VK_UP: {
        bool shifted = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        bool back = msg.wParam == VK_LEFT || msg.wParam == VK_UP || (msg.wParam == VK_TAB && shifted);
        size_t next = back ? (focused + count - 1) % count : (focused + 1) % count;
        if (box.buttonWindows[next])
            SetFocus(box.buttonWindows[next]);
        return true;
    }
    default:
        return false;
    }
}

constexpr size_t kNotRecorded = static_cast<size_t>(-1);

size_t RecordForScript(const MessageBoxState& box, HWND owner, LPCWSTR text, UINT flags)
{
    if (!ModalScriptInUse())
        return kNotRecorded;
    RecordedMessageBox recorded;
    recorded.window = box.window;
    recorded.owner = owner;
    recorded.text = ToView(text ? text : u"");
    recorded.caption = box.caption;
    recorded.type = flags;
    recorded.threadId = GetCurrentThreadId();
    GetWindowRect(box.window, &recorded.rect);
    return RecordShownMessageBox(recorded);
}

} // namespace

void MessageBoxState::SetButtonsOf(UINT flags)
{
    constexpr UINT kDefaultMask = 0x00000F00;
    buttons = MessageBoxButtonsOf(flags);
    defaultButton = std::min<size_t>((flags & kDefaultMask) >> 8, buttons.size() - 1);
    escapeId = MessageBoxEscapeIdOf(buttons);
}

bool MessageBoxState::HasButton(int id) const
{
    return std::any_of(buttons.begin(), buttons.end(), [id](const MessageBoxButtonSpec& b) { return b.id == id; });
}

void MessageBoxState::Choose(int id)
{
    if (done || !HasButton(id))
        return;
    done = true;
    result = id;
}

int RunMessageBox(MessageBoxState& box, MessageBoxModality& modality, HWND owner, LPCWSTR text, UINT flags)
{
    ShowWindow(box.window, SW_SHOW);
    if (box.buttonWindows[box.defaultButton])
        SetFocus(box.buttonWindows[box.defaultButton]);
    RedrawWindow(box.window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);

    size_t record = RecordForScript(box, owner, text, flags);
    NotifyModalShown(ModalKind::MessageBox, box.window);

    int answer = 0;
    int defaultId = box.buttons[box.defaultButton].id;
    auto end = RunModalLoop(box.window, ModalKind::MessageBox, defaultId, [&box](MSG& msg) { return PreviewKey(box, msg); },
        [&box] { return box.done || !IsWindow(box.window); }, &answer);
    int result = box.result;
    if (end == ModalLoopEnd::Answered)
        result = answer;
    else if (!box.done)
        result = box.escapeId ? box.escapeId : defaultId; // ended by WM_QUIT or by its owner's end

    // The owner is enabled before the box goes, so that activation returns to it.
    modality.Release();
    if (IsWindow(box.window))
        DestroyWindow(box.window);
    modality.ReactivateOwner();
    if (record != kNotRecorded)
        SetShownMessageBoxResult(record, result);
    return result;
}

std::vector<MessageBoxButtonSpec> MessageBoxButtonsOf(UINT flags)
{
    constexpr UINT kAbortRetryIgnore = 0x00000002;
    switch (flags & 0x0000000F) {
    case MB_OKCANCEL:
        return {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}};
    case kAbortRetryIgnore:
        return {{IDABORT, u"Abort"}, {IDRETRY, u"Retry"}, {IDIGNORE, u"Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}};
    case MB_YESNO:
        return {{IDYES, u"Yes"}, {IDNO, u"No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, u"Retry"}, {IDCANCEL, u"Cancel"}};
    default:
        return {{IDOK, u"OK"}};
    }
}

int MessageBoxEscapeIdOf(const std::vector<MessageBoxButtonSpec>& buttons)
{
    for (int wanted : {IDCANCEL, IDNO}) {
        for (const MessageBoxButtonSpec& b : buttons) {
            if (b.id == wanted)
                return wanted;
        }
    }
    return buttons.size() == 1 ? buttons.front().id : 0;
}

MessageBoxModality::MessageBoxModality(HWND owner, UINT flags) : m_owner(owner ? GetAncestor(owner, GA_ROOT) : nullptr)
{
    if (m_owner) {
        RunOnWindowThread(m_owner, [this] {
            m_ownerVisible = IsWindowVisible(m_owner) && !IsIconic(m_owner);
            GetWindowRect(m_owner, &m_ownerRect);
            if (IsWindowEnabled(m_owner)) {
                EnableWindow(m_owner, FALSE);
                m_ownerDisabled = true;
            }
        });
        return;
    }
    if (!(flags & MB_TASKMODAL))
        return;
    DWORD self = GetCurrentThreadId();
    for (HWND top : TopLevelWindowsOfProcess()) {
        if (GetWindowThreadProcessId(top, nullptr) == self && IsWindowEnabled(top)) {
            EnableWindow(top, FALSE);
            m_taskWindows.push_back(top);
        }
    }
}

MessageBoxModality::~MessageBoxModality()
{
    Release();
}

POINT MessageBoxModality::Place(SIZE size) const
{
    RECT area {};
    if (m_ownerVisible)
        area = m_ownerRect;
    else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    LONG x = area.left + (area.right - area.left - size.cx) / 2;
    LONG y = area.top + (area.bottom - area.top - size.cy) / 2;
    RECT wanted {x, y, x + size.cx, y + size.cy};
    MONITORINFO info {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromRect(&wanted, MONITOR_DEFAULTTONEAREST), &info))
        return {x, y};
    const RECT& work = info.rcWork;
    x = std::max(work.left, std::min(x, work.right - size.cx));
    y = std::max(work.top, std::min(y, work.bottom - size.cy));
    return {x, y};
}

void MessageBoxModality::Release()
{
    if (m_released)
        return;
    m_released = true;
    for (HWND top : m_taskWindows) {
        if (IsWindow(top))
            EnableWindow(top, TRUE);
    }
    if (!m_owner || !m_ownerDisabled)
        return;
    RunOnWindowThread(m_owner, [this] {
        if (IsWindow(m_owner))
            EnableWindow(m_owner, TRUE);
    });
}

void MessageBoxModality::ReactivateOwner() const
{
    if (!m_owner)
        return;
    RunOnWindowThread(m_owner, [this] {
        if (IsWindow(m_owner) && IsWindowVisible(m_owner))
            SetActiveWindow(m_owner);
    });
}
