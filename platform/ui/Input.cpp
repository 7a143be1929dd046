#include "platform/ui/Input.h"

#include "platform/base/Clock.h"
#include "platform/sys/Thread.h"
#include "platform/ui/ForeignWindows.h"
#include "platform/ui/Icon.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Presenter.h"
#include "platform/ui/ThreadQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowObject.h"

#include <array>
#include <atomic>
#include <mutex>
#include <cstdlib>

namespace {

constexpr UINT kDoubleClickTime = 500;
constexpr int kDoubleClickDistance = 4;
constexpr int kVirtualKeyOfButton[] = {0x01, 0x02, 0x04}; // VK_LBUTTON, VK_RBUTTON, VK_MBUTTON

// Input state belongs to the thread that runs the windows, as the system's one UI thread does.
// Shared by every thread that has windows (a message box may run on a worker thread), so each field
// is atomic and the double-click memory has its own lock.
struct InputState {
    std::atomic<HWND> focus {nullptr};
    std::atomic<HWND> active {nullptr};
    std::atomic<HWND> capture {nullptr};
    std::atomic<HWND> hover {nullptr};
    std::atomic<POINT> cursor {POINT {0, 0}};
    std::atomic<HCURSOR> currentCursor {nullptr};
    std::array<std::atomic<bool>, 256> keys {};
    std::mutex clickLock;
    HWND lastClickWindow = nullptr;
    int lastClickButton = -1;
    DWORD lastClickTime = 0;
    POINT lastClickPoint {0, 0};
    std::array<std::atomic<WCHAR>, 256> characters {};
    std::atomic<unsigned> nextSequence {1};
};

InputState& State()
{
    static InputState state;
    return state;
}

void PushRaw(HWND topLevel, RawInput raw)
{
    auto q = QueueOfWindow(topLevel);
    if (!q)
        return;
    raw.topLevel = topLevel;
    raw.time = GetTickCount();
    {
        std::lock_guard guard(q->lock);
        q->input.push_back(raw);
    }
    q->Wake();
}

LONG BorderOf(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    return w && (w->style & (WS_BORDER | WS_DLGFRAME)) ? 1 : 0;
}

// The window under a point of a top-level window's surface, asking each candidate whether it lets
// the pointer through to its parent.
HWND HitTest(HWND topLevel, POINT surfacePoint, POINT screen, LRESULT* hit, bool sideEffects)
{
    LONG border = BorderOf(topLevel);
    HWND target = ChildWindowFromPoint(topLevel, {surfacePoint.x - border, surfacePoint.y - border});
    *hit = HTCLIENT;
    if (!sideEffects)
        return target;
    while (target) {
        *hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
        if (*hit != HTTRANSPARENT || target == topLevel)
            break;
        target = GetParent(target);
    }
    if (*hit == HTTRANSPARENT)
        *hit = HTCLIENT;
    return target;
}

WPARAM MouseKeyState()
{
    auto& s = State();
    WPARAM state = 0;
    if (s.keys[0x01])
        state |= MK_LBUTTON;
    if (s.keys[0x02])
        state |= MK_RBUTTON;
    if (s.keys[0x04])
        state |= MK_MBUTTON;
    if (s.keys[VK_SHIFT])
        state |= MK_SHIFT;
    if (s.keys[VK_CONTROL])
        state |= MK_CONTROL;
    return state;
}

void UpdateHover(HWND target)
{
    auto& s = State();
    if (s.hover == target)
        return;
    HWND left = s.hover;
    s.hover = target;
    WindowObject* w = FindWindowObject(left);
    if (w && w->trackLeave) {
        w->trackLeave = false;
        PostMessageW(left, WM_MOUSELEAVE, 0, 0);
    }
}

UINT ButtonMessage(int button, bool pressed, bool doubleClick)
{
    static const UINT down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static const UINT up[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    static const UINT dbl[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    if (!pressed)
        return up[button];
    return doubleClick ? dbl[button] : down[button];
}

bool IsDoubleClick(HWND target, int button, POINT screen, DWORD time)
{
    auto& s = State();
    std::lock_guard guard(s.clickLock);
    WindowObject* w = FindWindowObject(target);
    bool classWantsIt = w && (w->windowClass->info.style & CS_DBLCLKS);
    bool isDouble = classWantsIt && s.lastClickWindow == target && s.lastClickButton == button
        && time - s.lastClickTime <= kDoubleClickTime && std::abs(screen.x - s.lastClickPoint.x) <= kDoubleClickDistance
        && std::abs(screen.y - s.lastClickPoint.y) <= kDoubleClickDistance;
    if (isDouble) {
        // A third press starts counting afresh.
        s.lastClickWindow = nullptr;
        return true;
    }
    s.lastClickWindow = target;
    s.lastClickButton = button;
    s.lastClickTime = time;
    s.lastClickPoint = screen;
    return false;
}

MSG PointerMessage(const RawInput& raw, bool remove)
{
    MSG msg {};
    WindowObject* top = FindWindowObject(raw.topLevel);
    if (!top)
        return msg;
    auto& s = State();
    POINT screen {top->rect.left + raw.point.x, top->rect.top + raw.point.y};
    if (remove)
        s.cursor = screen;
    LRESULT hit = HTCLIENT;
    HWND capture = s.capture;
    HWND target = capture && IsWindow(capture) ? capture : HitTest(raw.topLevel, raw.point, screen, &hit, remove);
    // A disabled top-level window takes no input for any of its children either, as under a modal box.
    if (!target || !IsWindowEnabled(target) || !IsWindowEnabled(TopLevelOf(target)))
        return msg;

    UINT message = WM_MOUSEMOVE;
    if (raw.kind == RawKind::Button) {
        if (remove)
            s.keys[kVirtualKeyOfButton[raw.button]] = raw.pressed;
        bool doubleClick = raw.pressed && remove && IsDoubleClick(target, raw.button, screen, raw.time);
        message = ButtonMessage(raw.button, raw.pressed, doubleClick);
    } else if (raw.kind == RawKind::Wheel) {
        message = WM_MOUSEWHEEL;
    }
    if (remove) {
        UpdateHover(target);
        if (!s.capture)
            SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<int>(hit), static_cast<int>(message)));
        bool activates = !(top->exStyle & WS_EX_NOACTIVATE);
        if (raw.kind == RawKind::Button && raw.pressed && activates && GetActiveWindow() != raw.topLevel)
            SetActiveWindow(raw.topLevel);
    }
    msg.hwnd = target;
    msg.time = raw.time;
    msg.pt = screen;
    if (message == WM_MOUSEWHEEL) {
        msg.message = message;
        msg.wParam = MAKEWPARAM(static_cast<int>(MouseKeyState()), raw.delta);
        msg.lParam = MAKELPARAM(screen.x, screen.y);
        return msg;
    }
    if (hit != HTCLIENT && !s.capture) {
        // Non-client presses carry the hit code and screen coordinates.
        msg.message = message - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
        msg.wParam = static_cast<WPARAM>(hit);
        msg.lParam = MAKELPARAM(screen.x, screen.y);
        return msg;
    }
    POINT client = screen;
    ScreenToClient(target, &client);
    msg.message = message;
    msg.wParam = MouseKeyState();
    msg.lParam = MAKELPARAM(client.x, client.y);
    return msg;
}

MSG KeyMessage(const RawInput& raw, bool remove)
{
    MSG msg {};
    auto& s = State();
    HWND focus = s.focus;
    HWND target = focus && TopLevelOf(focus) == raw.topLevel ? focus : raw.topLevel;
    if (!IsWindow(target))
        return msg;
    unsigned sequence = s.nextSequence;
    if (remove) {
        s.keys[raw.virtualKey & 0xFF] = raw.pressed;
        s.nextSequence = s.nextSequence % 255 + 1;
        s.characters[sequence] = raw.character;
    }
    bool system = raw.alt || raw.virtualKey == VK_MENU || raw.virtualKey == 0x79 /* F10 */;
    msg.hwnd = target;
    msg.time = raw.time;
    msg.pt = s.cursor;
    msg.message = raw.pressed ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    msg.wParam = raw.virtualKey;
    DWORD lParam = 1 | (sequence << 16);
    if (raw.alt)
        lParam |= 1u << 29;
    if (!raw.pressed)
        lParam |= (1u << 30) | (1u << 31);
    msg.lParam = static_cast<LPARAM>(static_cast<LONG>(lParam));
    return msg;
}

void Activate(HWND topLevel, bool tellPresenter)
{
    auto& s = State();
    if (s.active == topLevel)
        return;
    HWND old = s.active;
    s.active = topLevel;
    if (IsWindow(old))
        SendMessageW(old, WM_ACTIVATE, 0 /* WA_INACTIVE */, reinterpret_cast<LPARAM>(topLevel));
    if (!topLevel)
        return;
    if (tellPresenter)
        CurrentPresenter().Activate(topLevel);
    SendMessageW(topLevel, WM_ACTIVATE, 1 /* WA_ACTIVE */, reinterpret_cast<LPARAM>(old));
}

} // namespace

namespace {

MSG TranslateRaw(const RawInput& raw, bool remove)
{
    MSG msg {};
    switch (raw.kind) {
    case RawKind::Motion:
    case RawKind::Button:
    case RawKind::Wheel:
        return PointerMessage(raw, remove);
    case RawKind::Leave:
        if (remove)
            UpdateHover(nullptr);
        return msg;
    case RawKind::Key:
        return KeyMessage(raw, remove);
    case RawKind::Close:
        msg.hwnd = raw.topLevel;
        msg.message = WM_SYSCOMMAND;
        msg.wParam = SC_CLOSE;
        msg.time = raw.time;
        return msg;
    case RawKind::Activate:
        if (remove && raw.active)
            Activate(raw.topLevel, false);
        else if (remove && State().active == raw.topLevel)
            Activate(nullptr, false);
        return msg;
    case RawKind::Moved:
        if (remove)
            ApplyMoveByUser(raw.topLevel, raw.rect);
        return msg;
    }
    return msg;
}

} // namespace

bool TakeRawInput(ThreadQueue& q, MSG* msg, bool remove)
{
    RawInput raw;
    {
        std::lock_guard guard(q.lock);
        if (q.input.empty())
            return false;
        raw = q.input.front();
        if (remove)
            q.input.pop_front();
    }
    *msg = TranslateRaw(raw, remove);
    if (remove || msg->message != WM_NULL)
        return true;
    // Peeking at an event that makes no message uses it up, with its effects, so a waiting loop
    // does not find it again and again.
    {
        std::lock_guard guard(q.lock);
        if (q.input.empty())
            return true;
        raw = q.input.front();
        q.input.pop_front();
    }
    *msg = TranslateRaw(raw, true);
    msg->message = WM_NULL;
    msg->hwnd = nullptr;
    return true;
}

bool CharacterOfKeyMessage(const MSG& msg, WCHAR* character)
{
    auto sequence = static_cast<unsigned>((static_cast<DWORD>(msg.lParam) >> 16) & 0xFF);
    WCHAR c = sequence ? State().characters[sequence].load() : WCHAR(0);
    if (!c) {
        // A key message made by a program rather than a presenter: derive the plain character.
        UINT vk = static_cast<UINT>(msg.wParam);
        bool shift = State().keys[VK_SHIFT];
        if (vk >= 'A' && vk <= 'Z')
            c = static_cast<WCHAR>(shift ? vk : vk + 32);
        else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE)
            c = static_cast<WCHAR>(vk);
        else if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB)
            c = static_cast<WCHAR>(vk);
    }
    if (!c)
        return false;
    *character = c;
    return true;
}

void WindowLostByInput(HWND hwnd)
{
    auto& s = State();
    if (s.focus == hwnd)
        s.focus = nullptr;
    if (s.active == hwnd)
        s.active = nullptr;
    if (s.capture == hwnd)
        s.capture = nullptr;
    if (s.hover == hwnd)
        s.hover = nullptr;
    if (s.lastClickWindow == hwnd)
        s.lastClickWindow = nullptr;
}

void WindowHiddenForInput(HWND hwnd)
{
    auto& s = State();
    if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus)))
        s.focus = nullptr;
    if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture)))
        ReleaseCapture();
}

HWND SetFocus(HWND hwnd)
{
    auto& s = State();
    HWND old = s.focus;
    if (hwnd && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (old == hwnd)
        return old;
    if (hwnd && TopLevelOf(hwnd) != s.active)
        Activate(TopLevelOf(hwnd), true);
    if (IsWindow(old))
        SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    s.focus = hwnd;
    if (hwnd)
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return IsWindow(old) ? old : nullptr;
}

HWND GetFocus()
{
    return State().focus;
}

HWND SetActiveWindow(HWND hwnd)
{
    HWND old = State().active;
    HWND top = TopLevelOf(hwnd);
    if (!top) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Activate(top, true);
    return old;
}

HWND GetActiveWindow()
{
    return State().active;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    if (IsForeignWindow(hwnd))
        return ForeignSetForegroundWindow(hwnd);
    if (!TopLevelOf(hwnd))
        return FALSE;
    SetActiveWindow(hwnd);
    return TRUE;
}

HWND GetForegroundWindow()
{
    return State().active;
}

HWND SetCapture(HWND hwnd)
{
    auto& s = State();
    HWND old = s.capture;
    s.capture = IsWindow(hwnd) ? hwnd : nullptr;
    if (old && old != s.capture && IsWindow(old))
        SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(s.capture.load()));
    return old;
}

BOOL ReleaseCapture()
{
    auto& s = State();
    HWND old = s.capture;
    s.capture = nullptr;
    if (old && IsWindow(old))
        SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture()
{
    return State().capture;
}

BOOL GetCursorPos(LPPOINT point)
{
    if (!point)
        return FALSE;
    // The presenter knows the pointer even where no window of ours is.
    *point = CurrentPresenter().CursorPosition();
    State().cursor = *point;
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    auto& s = State();
    HCURSOR old = s.currentCursor;
    s.currentCursor = cursor;
    if (cursor != old && s.hover)
        CurrentPresenter().SetCursorShape(TopLevelOf(s.hover), CursorShapeOf(cursor));
    return old;
}

HCURSOR GetCursor()
{
    return State().currentCursor;
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* track)
{
    if (!track || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WindowObject* w = FindWindowObject(track->hwndTrack);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(track->dwFlags & TME_LEAVE))
        return TRUE;
    if (track->dwFlags & TME_CANCEL) {
        w->trackLeave = false;
        return TRUE;
    }
    // Asking while the pointer is elsewhere answers at once, as on Windows.
    if (State().hover != track->hwndTrack) {
        PostMessageW(track->hwndTrack, WM_MOUSELEAVE, 0, 0);
        return TRUE;
    }
    w->trackLeave = true;
    return TRUE;
}

short GetKeyState(int virtualKey)
{
    return State().keys[static_cast<unsigned>(virtualKey) & 0xFF] ? static_cast<short>(0x8000) : 0;
}

UINT GetDoubleClickTime()
{
    return kDoubleClickTime;
}

void DeliverPointerMotion(HWND topLevel, POINT point)
{
    RawInput raw;
    raw.kind = RawKind::Motion;
    raw.point = point;
    PushRaw(topLevel, raw);
}

void DeliverPointerButton(HWND topLevel, POINT point, PointerButton button, bool pressed)
{
    RawInput raw;
    raw.kind = RawKind::Button;
    raw.point = point;
    raw.button = static_cast<int>(button);
    raw.pressed = pressed;
    PushRaw(topLevel, raw);
}

void DeliverPointerWheel(HWND topLevel, POINT point, int delta)
{
    RawInput raw;
    raw.kind = RawKind::Wheel;
    raw.point = point;
    raw.delta = delta;
    PushRaw(topLevel, raw);
}

void DeliverPointerLeave(HWND topLevel)
{
    RawInput raw;
    raw.kind = RawKind::Leave;
    PushRaw(topLevel, raw);
}

void DeliverKey(HWND topLevel, UINT virtualKey, bool pressed, WCHAR character, bool alt)
{
    RawInput raw;
    raw.kind = RawKind::Key;
    raw.virtualKey = virtualKey;
    raw.pressed = pressed;
    raw.character = character;
    raw.alt = alt;
    PushRaw(topLevel, raw);
}

void DeliverCloseRequest(HWND topLevel)
{
    RawInput raw;
    raw.kind = RawKind::Close;
    PushRaw(topLevel, raw);
}

void DeliverActivation(HWND topLevel, bool active)
{
    RawInput raw;
    raw.kind = RawKind::Activate;
    raw.active = active;
    PushRaw(topLevel, raw);
}

void DeliverMovedByUser(HWND topLevel, const RECT& rect)
{
    RawInput raw;
    raw.kind = RawKind::Moved;
    raw.rect = rect;
    PushRaw(topLevel, raw);
}
