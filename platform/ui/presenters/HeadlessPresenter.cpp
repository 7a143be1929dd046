#include "platform/ui/presenters/HeadlessPresenter.h"

#include "platform/ui/Input.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowObject.h"

#include <cstdint>
#include <cstring>

HeadlessPresenter::HeadlessPresenter()
{
    MonitorDescription primary;
    primary.monitor = {0, 0, 1920, 1080};
    primary.work = {0, 0, 1920, 1040}; // a panel at the bottom, as most desktops have
    primary.primary = true;
    m_monitors.push_back(primary);
}

void HeadlessPresenter::WindowCreated(HWND hwnd, const RECT& rect, DWORD, DWORD exStyle)
{
    std::lock_guard guard(m_lock);
    Shown& shown = m_windows[hwnd];
    shown.rect = rect;
    shown.topmost = (exStyle & WS_EX_TOPMOST) != 0;
}

void HeadlessPresenter::WindowDestroyed(HWND hwnd)
{
    std::lock_guard guard(m_lock);
    m_windows.erase(hwnd);
}

void HeadlessPresenter::WindowShown(HWND hwnd, int)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].visible = true;
}

void HeadlessPresenter::WindowHidden(HWND hwnd)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].visible = false;
}

void HeadlessPresenter::WindowMoved(HWND hwnd, const RECT& rect)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].rect = rect;
}

void HeadlessPresenter::WindowTextChanged(HWND hwnd, WStringView text)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].title = WString(text);
}

void HeadlessPresenter::WindowIconChanged(HWND hwnd, cairo_surface_t* icon)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].icon = icon != nullptr;
}

void HeadlessPresenter::SurfaceChanged(HWND hwnd, cairo_surface_t* surface, const RECT&)
{
    std::lock_guard guard(m_lock);
    Shown& shown = m_windows[hwnd];
    shown.surface = surface;
    shown.updates++;
}

void HeadlessPresenter::SetFullScreen(HWND hwnd, bool fullScreen)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].fullScreen = fullScreen;
}

void HeadlessPresenter::SetTopmost(HWND hwnd, bool topmost)
{
    std::lock_guard guard(m_lock);
    m_windows[hwnd].topmost = topmost;
}

void HeadlessPresenter::Activate(HWND)
{
}

void HeadlessPresenter::BeginMoveDrag(HWND, POINT)
{
    std::lock_guard guard(m_lock);
    m_moveDrags++;
}

void HeadlessPresenter::SetCursorShape(HWND, CursorShape shape)
{
    std::lock_guard guard(m_lock);
    m_cursorShape = shape;
}

std::vector<MonitorDescription> HeadlessPresenter::Monitors()
{
    std::lock_guard guard(m_lock);
    return m_monitors;
}

POINT HeadlessPresenter::CursorPosition()
{
    std::lock_guard guard(m_lock);
    return m_cursor;
}

void HeadlessPresenter::SetMonitors(std::vector<MonitorDescription> monitors)
{
    std::lock_guard guard(m_lock);
    m_monitors = std::move(monitors);
}

bool HeadlessPresenter::IsShown(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it != m_windows.end() && it->second.visible;
}

bool HeadlessPresenter::IsFullScreen(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it != m_windows.end() && it->second.fullScreen;
}

bool HeadlessPresenter::IsTopmost(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it != m_windows.end() && it->second.topmost;
}

bool HeadlessPresenter::IsKnown(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    return m_windows.count(hwnd) != 0;
}

RECT HeadlessPresenter::RectOf(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? RECT {} : it->second.rect;
}

WString HeadlessPresenter::TitleOf(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? WString() : it->second.title;
}

bool HeadlessPresenter::HasIcon(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it != m_windows.end() && it->second.icon;
}

int HeadlessPresenter::SurfaceUpdates(HWND hwnd) const
{
    std::lock_guard guard(m_lock);
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? 0 : it->second.updates;
}

cairo_surface_t* HeadlessPresenter::SurfaceOf(HWND hwnd) const
{
    WindowObject* w = FindWindowObject(hwnd);
    return w ? w->surface : nullptr;
}

long HeadlessPresenter::PixelAt(HWND topLevel, int x, int y) const
{
    cairo_surface_t* surface = SurfaceOf(topLevel);
    if (!surface || x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) || y >= cairo_image_surface_get_height(surface))
        return -1;
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    std::uint32_t argb;
    std::memcpy(&argb, row + x * 4, 4);
    return static_cast<long>(argb & 0xFFFFFF);
}

bool HeadlessPresenter::SavePng(HWND hwnd, const std::string& path) const
{
    cairo_surface_t* surface = SurfaceOf(hwnd);
    return surface && cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

POINT HeadlessPresenter::SurfacePointOf(HWND hwnd, POINT client, HWND* topLevel) const
{
    *topLevel = TopLevelOf(hwnd);
    POINT offset = OffsetInTopLevel(hwnd);
    return {client.x + offset.x, client.y + offset.y};
}

void HeadlessPresenter::MovePointer(HWND hwnd, POINT client)
{
    HWND top;
    POINT p = SurfacePointOf(hwnd, client, &top);
    WindowObject* w = FindWindowObject(top);
    if (!w)
        return;
    {
        std::lock_guard guard(m_lock);
        m_cursor = {w->rect.left + p.x, w->rect.top + p.y};
    }
    DeliverPointerMotion(top, p);
}

void HeadlessPresenter::Press(HWND hwnd, POINT client, PointerButton button, bool pressed)
{
    HWND top;
    POINT p = SurfacePointOf(hwnd, client, &top);
    WindowObject* w = FindWindowObject(top);
    if (!w)
        return;
    {
        std::lock_guard guard(m_lock);
        m_cursor = {w->rect.left + p.x, w->rect.top + p.y};
    }
    DeliverPointerButton(top, p, button, pressed);
}

void HeadlessPresenter::Click(HWND hwnd, POINT client, PointerButton button)
{
    MovePointer(hwnd, client);
    Press(hwnd, client, button, true);
    Press(hwnd, client, button, false);
}

void HeadlessPresenter::DoubleClick(HWND hwnd, POINT client)
{
    Click(hwnd, client);
    Click(hwnd, client);
}

void HeadlessPresenter::TypeKey(HWND topLevel, UINT virtualKey, WCHAR character, bool alt)
{
    DeliverKey(topLevel, virtualKey, true, character, alt);
    DeliverKey(topLevel, virtualKey, false, 0, alt);
}

void HeadlessPresenter::RequestClose(HWND topLevel)
{
    DeliverCloseRequest(topLevel);
}
