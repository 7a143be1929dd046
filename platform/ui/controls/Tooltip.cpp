// The tooltip control: when the pointer rests on a tool, a small window near it shows the tool's text.
// The tool's owner relays its mouse messages (TTM_RELAYEVENT); the tip never takes activation.
#include "platform/sys/Resources.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/controls/Controls.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kLeaveTimer = 2;
constexpr UINT_PTR kPopTimer = 3;
constexpr UINT kInitialDelay = 500;      // the rest on a tool before its tip shows
constexpr UINT kLeaveCheckPeriod = 100;  // how often the pointer is looked for while it is on a tool
constexpr UINT kAutoPopDelay = 5000;     // a tip hides by itself after this, as the system default
constexpr int kPaddingX = 4;
constexpr int kPaddingY = 2;
constexpr int kCursorGap = 20; // below the pointer's hot spot, clear of the arrow
constexpr COLORREF kInfoBackground = RGB(255, 255, 225);
constexpr COLORREF kInfoText = RGB(0, 0, 0);
constexpr COLORREF kInfoFrame = RGB(118, 118, 118);
// The first TOOLINFOW layout ended before lParam; callers may still pass that size.
constexpr UINT kMinimumToolInfoSize = offsetof(TOOLINFOW, lParam);
const LPWSTR kTextCallback = reinterpret_cast<LPWSTR>(static_cast<LONG_PTR>(-1)); // LPSTR_TEXTCALLBACKW

struct Tool {
    UINT flags = 0;
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    RECT rect {};
    WString text;
};

struct TooltipState {
    std::vector<Tool> tools;
    bool active = true;
    bool hasCurrent = false; // the pointer is on a tool, named by currentHwnd and currentId
    HWND currentHwnd = nullptr;
    UINT_PTR currentId = 0;
    bool shown = false;
    bool suppressed = false; // a press hid the tip; it stays hidden until the pointer leaves the tool
    WString shownText;
};

TooltipState* StateOf(HWND tip)
{
    return reinterpret_cast<TooltipState*>(GetWindowLongPtrW(tip, 0));
}

HWND ToolWindow(const Tool& tool)
{
    return (tool.flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(tool.id) : tool.hwnd;
}

bool Contains(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

const Tool* ToolAt(const TooltipState& state, HWND target, POINT client)
{
    for (const Tool& tool : state.tools) {
        if (tool.flags & TTF_IDISHWND) {
            HWND window = ToolWindow(tool);
            if (target == window || IsChild(window, target))
                return &tool;
        } else if (target == tool.hwnd && Contains(tool.rect, client)) {
            return &tool;
        }
    }
    return nullptr;
}

const Tool* CurrentTool(const TooltipState& state)
{
    if (!state.hasCurrent)
        return nullptr;
    for (const Tool& tool : state.tools) {
        if (tool.hwnd == state.currentHwnd && tool.id == state.currentId)
            return &tool;
    }
    return nullptr;
}

// Whether the pointer is still on the tool, asked of the screen: the owner relays nothing once the
// pointer has left its windows.
bool PointerOnTool(const Tool& tool)
{
    HWND window = ToolWindow(tool);
    if (!IsWindowVisible(window))
        return false;
    RECT area;
    if (tool.flags & TTF_IDISHWND) {
        GetWindowRect(window, &area);
    } else {
        area = tool.rect;
        MapWindowPoints(window, nullptr, reinterpret_cast<LPPOINT>(&area), 2);
    }
    POINT cursor;
    GetCursorPos(&cursor);
    return Contains(area, cursor);
}

WString TextOfTool(const TOOLINFOW& info)
{
    // FIXME: LPSTR_TEXTCALLBACKW (asking the owner through TTN_GETDISPINFOW) is not supported; such a
    // tool shows nothing.
    if (!info.lpszText || info.lpszText == kTextCallback)
        return {};
    if (!IS_INTRESOURCE(info.lpszText))
        return WString(ToView(info.lpszText));
    LPCWSTR text = nullptr;
    auto id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(info.lpszText));
    int length = LoadStringW(info.hinst, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? WString(text, static_cast<size_t>(length)) : WString();
}

UINT TextFormat(HWND tip)
{
    bool noPrefix = (GetWindowLongPtrW(tip, GWL_STYLE) & TTS_NOPREFIX) != 0;
    return DT_SINGLELINE | DT_LEFT | DT_VCENTER | (noPrefix ? DT_NOPREFIX : 0);
}

RECT WorkAreaAt(POINT point)
{
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &monitor))
        return monitor.rcWork;
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Hide(HWND tip, TooltipState& state)
{
    KillTimer(tip, kPopTimer);
    if (!state.shown)
        return;
    state.shown = false;
    ShowWindow(tip, SW_HIDE);
}

void Leave(HWND tip, TooltipState& state)
{
    Hide(tip, state);
    state.hasCurrent = false;
    state.suppressed = false;
    KillTimer(tip, kShowTimer);
    KillTimer(tip, kLeaveTimer);
}

void Show(HWND tip, TooltipState& state, const Tool& tool)
{
    if (tool.text.empty())
        return;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(tip));
    RECT extent {0, 0, 0, 0};
    DrawTextW(dc, tool.text.c_str(), static_cast<int>(tool.text.size()), &extent, TextFormat(tip) | DT_CALCRECT);
    SelectObject(dc, oldFont);
    DeleteDC(dc);
    int width = static_cast<int>(extent.right - extent.left) + 2 * (kPaddingX + 1);
    int height = static_cast<int>(extent.bottom - extent.top) + 2 * (kPaddingY + 1);

    POINT cursor;
    GetCursorPos(&cursor);
    RECT work = WorkAreaAt(cursor);
    int x = std::max<int>(work.left, std::min<int>(cursor.x, work.right - width));
    int y = cursor.y + kCursorGap;
    if (y + height > work.bottom)
        y = cursor.y - height - 2;
    y = std::max<int>(work.top, y);

    state.shownText = tool.text;
    state.shown = true;
    SetWindowPos(tip, HWND_TOPMOST, x, y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(tip, nullptr, TRUE);
    SetTimer(tip, kPopTimer, kAutoPopDelay, nullptr);
}

// Without TTS_ALWAYSTIP a tip shows only while the tool's window is in the active window.
bool MayShow(HWND tip, const Tool& tool)
{
    if (GetWindowLongPtrW(tip, GWL_STYLE) & TTS_ALWAYSTIP)
        return true;
    return GetActiveWindow() == GetAncestor(ToolWindow(tool), GA_ROOT);
}

void Relay(HWND tip, TooltipState& state, const MSG& msg)
{
    if (msg.message < WM_MOUSEFIRST || msg.message > WM_MOUSELAST || msg.message == WM_MOUSEWHEEL)
        return;
    if (msg.message != WM_MOUSEMOVE) {
        Hide(tip, state);
        KillTimer(tip, kShowTimer);
        state.suppressed = state.hasCurrent;
        return;
    }
    POINT client {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    const Tool* tool = ToolAt(state, msg.hwnd, client);
    if (!tool) {
        Leave(tip, state);
        return;
    }
    if (!state.hasCurrent || tool->hwnd != state.currentHwnd || tool->id != state.currentId) {
        Hide(tip, state);
        state.hasCurrent = true;
        state.currentHwnd = tool->hwnd;
        state.currentId = tool->id;
        state.suppressed = false;
        SetTimer(tip, kLeaveTimer, kLeaveCheckPeriod, nullptr);
    }
    // Every move starts the wait again: the tip is for a pointer at rest.
    if (!state.shown && !state.suppressed && state.active)
        SetTimer(tip, kShowTimer, kInitialDelay, nullptr);
}

void OnTimer(HWND tip, TooltipState& state, UINT_PTR id)
{
    const Tool* tool = CurrentTool(state);
    if (!tool) {
        Leave(tip, state);
        return;
    }
    switch (id) {
    case kShowTimer:
        KillTimer(tip, kShowTimer);
        if (state.active && !state.suppressed && MayShow(tip, *tool) && PointerOnTool(*tool))
            Show(tip, state, *tool);
        return;
    case kLeaveTimer:
        if (!PointerOnTool(*tool))
            Leave(tip, state);
        return;
    case kPopTimer:
        Hide(tip, state);
        state.suppressed = true;
        return;
    default:
        return;
    }
}

void Paint(HWND tip, const TooltipState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(tip, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(tip, &client);
    HBRUSH frame = CreateSolidBrush(kInfoFrame);
    HBRUSH background = CreateSolidBrush(kInfoBackground);
    FillRect(dc, &client, frame);
    RECT inner {client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
    FillRect(dc, &inner, background);
    DeleteObject(frame);
    DeleteObject(background);
    SetTextColor(dc, kInfoText);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(tip));
    RECT text {inner.left + kPaddingX, inner.top + kPaddingY, inner.right - kPaddingX, inner.bottom - kPaddingY};
    DrawTextW(dc, state.shownText.c_str(), static_cast<int>(state.shownText.size()), &text, TextFormat(tip));
    SelectObject(dc, oldFont);
    EndPaint(tip, &ps);
}

LRESULT OnToolMessage(HWND tip, TooltipState& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto* info = reinterpret_cast<const TOOLINFOW*>(lParam);
    switch (message) {
    case TTM_ADDTOOLW: {
        if (!info || info->cbSize < kMinimumToolInfoSize)
            return FALSE;
        state.tools.push_back({info->uFlags, info->hwnd, info->uId, info->rect, TextOfTool(*info)});
        return TRUE;
    }
    case TTM_DELTOOLW: {
        if (!info || info->cbSize < kMinimumToolInfoSize)
            return 0;
        std::erase_if(state.tools, [&](const Tool& t) { return t.hwnd == info->hwnd && t.id == info->uId; });
        if (state.hasCurrent && !CurrentTool(state))
            Leave(tip, state);
        return 0;
    }
    case TTM_ACTIVATE:
        state.active = wParam != 0;
        if (!state.active) {
            Hide(tip, state);
            KillTimer(tip, kShowTimer);
        }
        return 0;
    case TTM_GETTOOLCOUNT:
        return static_cast<LRESULT>(state.tools.size());
    case TTM_RELAYEVENT:
        if (const auto* msg = reinterpret_cast<const MSG*>(lParam))
            Relay(tip, state, *msg);
        return 0;
    default:
        return 0;
    }
}

LRESULT TooltipProc(HWND tip, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(tip, 0, reinterpret_cast<LONG_PTR>(new TooltipState));
        LONG_PTR exStyle = GetWindowLongPtrW(tip, GWL_EXSTYLE);
        SetWindowLongPtrW(tip, GWL_EXSTYLE, exStyle | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST);
        return DefWindowProcW(tip, message, wParam, lParam);
    }
    TooltipState* state = StateOf(tip);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(tip, 0, 0);
        delete state;
        return DefWindowProcW(tip, message, wParam, lParam);
    }
    if (!state)
        return DefWindowProcW(tip, message, wParam, lParam);
    switch (message) {
    case TTM_ADDTOOLW:
    case TTM_DELTOOLW:
    case TTM_ACTIVATE:
    case TTM_GETTOOLCOUNT:
    case TTM_RELAYEVENT:
        return OnToolMessage(tip, *state, message, wParam, lParam);
    case WM_TIMER:
        OnTimer(tip, *state, wParam);
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // A press on the tip itself puts it away.
        Hide(tip, *state);
        state->suppressed = state->hasCurrent;
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(tip, *state);
        return 0;
    default:
        return DefWindowProcW(tip, message, wParam, lParam);
    }
}

} // namespace

void RegisterTooltipClass()
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = TooltipProc;
    wc.cbWndExtra = sizeof(TooltipState*);
    wc.lpszClassName = TOOLTIPS_CLASSW;
    RegisterBuiltinClass(wc);
}
