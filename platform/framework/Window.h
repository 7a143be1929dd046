// CWindow: a thin, copyable wrapper around a window handle.
#pragma once

#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

class CWindow {
public:
    HWND m_hWnd = nullptr;

    CWindow(HWND hwnd = nullptr) : m_hWnd(hwnd) { }
    operator HWND() const { return m_hWnd; }
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND Detach()
    {
        HWND hwnd = m_hWnd;
        m_hWnd = nullptr;
        return hwnd;
    }

    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    BOOL DestroyWindow()
    {
        if (!::DestroyWindow(m_hWnd))
            return FALSE;
        m_hWnd = nullptr;
        return TRUE;
    }
    BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL SetWindowPos(HWND insertAfter, const RECT* rect, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, insertAfter, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, flags);
    }
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const
    {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    BOOL MoveWindow(const RECT* rect, BOOL repaint = TRUE) const
    {
        return ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
    }
    BOOL BringWindowToTop() const { return ::BringWindowToTop(m_hWnd); }
    BOOL GetClientRect(LPRECT rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(LPRECT rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL ScreenToClient(LPPOINT point) const { return ::ScreenToClient(m_hWnd, point); }
    BOOL ClientToScreen(LPPOINT point) const { return ::ClientToScreen(m_hWnd, point); }
    BOOL Invalidate(BOOL erase = TRUE) const { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL InvalidateRect(const RECT* rect, BOOL erase = TRUE) const { return ::InvalidateRect(m_hWnd, rect, erase); }
    BOOL UpdateWindow() const { return ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(const RECT* rect = nullptr, HRGN region = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) const
    {
        return ::RedrawWindow(m_hWnd, rect, region, flags);
    }
    void SetRedraw(BOOL redraw = TRUE) const { ::SendMessageW(m_hWnd, WM_SETREDRAW, redraw, 0); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    BOOL SetWindowText(LPCWSTR text) const { return ::SetWindowTextW(m_hWnd, text); }
    int GetWindowText(LPWSTR buffer, int capacity) const { return ::GetWindowTextW(m_hWnd, buffer, capacity); }
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    BOOL SetDlgItemText(int id, LPCWSTR text) const { return ::SetDlgItemTextW(m_hWnd, id, text); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::SendMessageW(m_hWnd, message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const { return ::PostMessageW(m_hWnd, message, wParam, lParam); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) const { return ::SetTimer(m_hWnd, id, elapse, proc); }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
    HWND SetFocus() const { return ::SetFocus(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add) const
    {
        DWORD style = GetStyle();
        DWORD fresh = (style & ~remove) | add;
        if (fresh == style)
            return FALSE;
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(fresh));
        return TRUE;
    }
    LONG_PTR GetWindowLongPtr(int index) const { return ::GetWindowLongPtrW(m_hWnd, index); }
    LONG_PTR SetWindowLongPtr(int index, LONG_PTR value) const { return ::SetWindowLongPtrW(m_hWnd, index, value); }
    HICON SetIcon(HICON icon, BOOL big = TRUE) const
    {
        return reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    HDC GetDC() const { return ::GetDC(m_hWnd); }
    int ReleaseDC(HDC dc) const { return ::ReleaseDC(m_hWnd, dc); }

    // Centres the window on `center` when it is a visible, not minimised window, else on the work area
    // of the monitor nearest to the window; the result is kept inside that work area. Only the position changes.
    BOOL CenterWindow(HWND center = nullptr) const;
};
