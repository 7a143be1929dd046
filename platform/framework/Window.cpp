#include "platform/framework/Window.h"

#include "platform/ui/Screen.h"

BOOL CWindow::CenterWindow(HWND center) const
{
    RECT window;
    if (!::GetWindowRect(m_hWnd, &window))
        return FALSE;
    if (!center && !(GetStyle() & WS_CHILD))
        center = ::GetWindow(m_hWnd, GW_OWNER);

    HMONITOR monitor = ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info {};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(monitor, &info))
        return FALSE;
    RECT work = info.rcWork;
    RECT reference = work;
    if (center && ::IsWindowVisible(center) && !::IsIconic(center))
        ::GetWindowRect(center, &reference);

    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    LONG left = (reference.left + reference.right) / 2 - width / 2;
    LONG top = (reference.top + reference.bottom) / 2 - height / 2;
    if (left + width > work.right)
        left = work.right - width;
    if (left < work.left)
        left = work.left;
    if (top + height > work.bottom)
        top = work.bottom - height;
    if (top < work.top)
        top = work.top;
    return ::SetWindowPos(m_hWnd, nullptr, left, top, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
