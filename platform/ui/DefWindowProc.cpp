#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Presenter.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowObject.h"

namespace {

void SetText(HWND hwnd, WindowObject& w, LPCWSTR text)
{
    w.text = ToView(text);
    if (!w.IsChild())
        CurrentPresenter().WindowTextChanged(hwnd, w.text);
}

LRESULT OnSetCursor(HWND hwnd, WindowObject& w, WPARAM wParam, LPARAM lParam)
{
    // The parent gets the first say, so a dialog can set the cursor for its controls.
    if (w.IsChild() && SendMessageW(w.parent, WM_SETCURSOR, wParam, lParam))
        return TRUE;
    auto hit = static_cast<short>(LOWORD(static_cast<DWORD_PTR>(lParam)));
    if (hit == HTCLIENT && w.windowClass->info.hCursor) {
        SetCursor(w.windowClass->info.hCursor);
        return TRUE;
    }
    if (reinterpret_cast<HWND>(wParam) == hwnd || !w.IsChild())
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    return FALSE;
}

LRESULT OnEraseBackground(WindowObject& w, HDC dc)
{
    HBRUSH brush = w.windowClass->info.hbrBackground;
    if (!brush)
        return 0;
    RECT client;
    GetClientRect(w.handle, &client);
    FillRect(dc, &client, brush);
    return 1;
}

void OnWindowPosChanged(HWND hwnd, WindowObject& w, const WINDOWPOS* pos)
{
    if (!pos)
        return;
    if (!(pos->flags & SWP_NOMOVE))
        SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(w.rect.left, w.rect.top));
    if (!(pos->flags & SWP_NOSIZE)) {
        RECT client;
        GetClientRect(hwnd, &client);
        SendMessageW(hwnd, WM_SIZE, w.minimized ? SIZE_MINIMIZED : SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
}

LRESULT OnSysCommand(HWND hwnd, WPARAM command)
{
    switch (command & 0xFFF0) {
    case SC_CLOSE:
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case SC_MINIMIZE:
        ShowWindow(hwnd, SW_MINIMIZE);
        return 0;
    case SC_RESTORE:
        ShowWindow(hwnd, SW_RESTORE);
        return 0;
    case SC_MOVE: {
        POINT p;
        GetCursorPos(&p);
        CurrentPresenter().BeginMoveDrag(hwnd, p);
        return 0;
    }
    default:
        return 0;
    }
}

} // namespace

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return 0;
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName))
            SetText(hwnd, *w, create->lpszName);
        return TRUE;
    }
    case WM_SETTEXT:
        SetText(hwnd, *w, reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    case WM_GETTEXT: {
        auto* buffer = reinterpret_cast<LPWSTR>(lParam);
        if (!buffer || wParam == 0)
            return 0;
        CopyToBuffer(w->text, buffer, wParam);
        return lstrlenW(buffer);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return OnEraseBackground(*w, reinterpret_cast<HDC>(wParam));
    case WM_NCHITTEST: {
        RECT r;
        GetWindowRect(hwnd, &r);
        POINT p {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        bool inside = p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
        return inside ? HTCLIENT : HTNOWHERE;
    }
    case WM_SETCURSOR:
        return OnSetCursor(hwnd, *w, wParam, lParam);
    case WM_MOUSEACTIVATE:
        return MA_ACTIVATE;
    case WM_CANCELMODE: {
        // Ends what holds the pointer for this window: its own capture or that of a popup it owns (a menu).
        HWND capture = GetCapture();
        if (capture && (capture == hwnd || GetWindow(capture, GW_OWNER) == hwnd))
            ReleaseCapture();
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != 0) {
            HWND focus = GetFocus();
            if (!focus || TopLevelOf(focus) != hwnd)
                SetFocus(hwnd);
        }
        return 0;
    case WM_WINDOWPOSCHANGED:
        OnWindowPosChanged(hwnd, *w, reinterpret_cast<const WINDOWPOS*>(lParam));
        return 0;
    case WM_SETREDRAW:
        w->redrawEnabled = wParam != 0;
        return 0;
    case WM_NCLBUTTONDOWN:
        if (wParam == HTCAPTION) {
            HWND top = TopLevelOf(hwnd);
            SetActiveWindow(top);
            CurrentPresenter().BeginMoveDrag(top, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        }
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29)))
            SendMessageW(TopLevelOf(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        return OnSysCommand(hwnd, wParam);
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(static_cast<DWORD_PTR>(lParam)))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    case WM_SETICON: {
        HICON old = wParam == ICON_BIG ? w->iconBig : w->iconSmall;
        (wParam == ICON_BIG ? w->iconBig : w->iconSmall) = reinterpret_cast<HICON>(lParam);
        if (!w->IsChild())
            CurrentPresenter().WindowIconChanged(hwnd, IconSurface(w->iconBig ? w->iconBig : w->iconSmall));
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? w->iconBig : w->iconSmall);
    case WM_MOUSEWHEEL:
        if (w->IsChild())
            return SendMessageW(w->parent, message, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}
