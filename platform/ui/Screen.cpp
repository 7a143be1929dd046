#include "platform/ui/Screen.h"

#include "platform/ui/Presenter.h"
#include "platform/ui/Window.h"

#include <algorithm>
#include <climits>

namespace {

HMONITOR HandleOf(size_t index)
{
    return reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(index + 1));
}

size_t PrimaryIndex(const std::vector<MonitorDescription>& monitors)
{
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].primary)
            return i;
    }
    return 0;
}

long long DistanceSquared(const RECT& r, POINT p)
{
    long long dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - r.right + 1 : 0);
    long long dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - r.bottom + 1 : 0);
    return dx * dx + dy * dy;
}

long long Overlap(const RECT& a, const RECT& b)
{
    long long w = std::min(a.right, b.right) - std::max(a.left, b.left);
    long long h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

HMONITOR Fallback(const std::vector<MonitorDescription>& monitors, DWORD flags, POINT near)
{
    if (monitors.empty() || flags == MONITOR_DEFAULTTONULL)
        return nullptr;
    if (flags == MONITOR_DEFAULTTOPRIMARY)
        return HandleOf(PrimaryIndex(monitors));
    size_t best = 0;
    long long bestDistance = LLONG_MAX;
    for (size_t i = 0; i < monitors.size(); ++i) {
        long long d = DistanceSquared(monitors[i].monitor, near);
        if (d < bestDistance)
            bestDistance = d, best = i;
    }
    return HandleOf(best);
}

} // namespace

int GetSystemMetrics(int index)
{
    auto monitors = CurrentPresenter().Monitors();
    RECT primary = monitors.empty() ? RECT {0, 0, 1024, 768} : monitors[PrimaryIndex(monitors)].monitor;
    switch (index) {
    case SM_CXSCREEN:
        return primary.right - primary.left;
    case SM_CYSCREEN:
        return primary.bottom - primary.top;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_CMONITORS:
        return static_cast<int>(monitors.size());
    default:
        return 0;
    }
}

BOOL SystemParametersInfoW(UINT action, UINT, LPVOID data, UINT)
{
    if (action != SPI_GETWORKAREA || !data)
        return FALSE;
    auto monitors = CurrentPresenter().Monitors();
    if (monitors.empty())
        return FALSE;
    *static_cast<RECT*>(data) = monitors[PrimaryIndex(monitors)].work;
    return TRUE;
}

HMONITOR MonitorFromPoint(POINT point, DWORD flags)
{
    auto monitors = CurrentPresenter().Monitors();
    for (size_t i = 0; i < monitors.size(); ++i) {
        const RECT& r = monitors[i].monitor;
        if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom)
            return HandleOf(i);
    }
    return Fallback(monitors, flags, point);
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags)
{
    if (!rect)
        return nullptr;
    auto monitors = CurrentPresenter().Monitors();
    size_t best = 0;
    long long bestOverlap = 0;
    for (size_t i = 0; i < monitors.size(); ++i) {
        long long o = Overlap(monitors[i].monitor, *rect);
        if (o > bestOverlap)
            bestOverlap = o, best = i;
    }
    if (bestOverlap > 0)
        return HandleOf(best);
    POINT center {(rect->left + rect->right) / 2, (rect->top + rect->bottom) / 2};
    return Fallback(monitors, flags, center);
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags)
{
    RECT rect;
    if (!GetWindowRect(hwnd, &rect)) {
        auto monitors = CurrentPresenter().Monitors();
        return flags == MONITOR_DEFAULTTONULL || monitors.empty() ? nullptr : HandleOf(PrimaryIndex(monitors));
    }
    return MonitorFromRect(&rect, flags);
}

BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info)
{
    if (!info || info->cbSize < sizeof(MONITORINFO))
        return FALSE;
    auto monitors = CurrentPresenter().Monitors();
    auto index = reinterpret_cast<ULONG_PTR>(monitor);
    if (index == 0 || index > monitors.size())
        return FALSE;
    const auto& m = monitors[index - 1];
    info->rcMonitor = m.monitor;
    info->rcWork = m.work;
    info->dwFlags = m.primary ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}
