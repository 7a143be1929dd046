// The layer's own record of a window. Internal to platform/ui: the system's code sees HWND only.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <cairo.h>

#include <map>
#include <memory>
#include <vector>

struct ThreadQueue;
struct WindowClassRecord;

struct WindowObject {
    HWND handle = nullptr;
    std::shared_ptr<WindowClassRecord> windowClass;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;
    WString text;

    HWND parent = nullptr;  // for a child window
    HWND owner = nullptr;   // for a top-level window
    std::vector<HWND> children; // z-order, topmost first
    RECT rect {};            // relative to the parent's client area, or to the screen for a top-level window

    std::shared_ptr<ThreadQueue> queue;
    DWORD threadId = 0;

    // Painting.
    cairo_region_t* invalid = nullptr; // client coordinates
    bool erasePending = false;
    bool internalPaint = false;
    bool redrawEnabled = true;

    // A top-level window's picture of itself and its children, shown by the presenter.
    cairo_surface_t* surface = nullptr;

    std::map<WString, HANDLE> properties;
    HFONT font = nullptr;
    HICON iconBig = nullptr;
    HICON iconSmall = nullptr;
    bool destroying = false;
    bool minimized = false;
    bool trackLeave = false;
    bool fullScreen = false; // a top-level popup covering its whole monitor

    WindowObject() = default;
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;
    ~WindowObject();

    bool IsChild() const { return (style & WS_CHILD) != 0 && parent != nullptr; }
    bool IsVisible() const { return (style & WS_VISIBLE) != 0; }
    LONG Width() const { return rect.right - rect.left; }
    LONG Height() const { return rect.bottom - rect.top; }
};

// Lookup of a live window; nullptr for a destroyed or unknown handle.
WindowObject* FindWindowObject(HWND hwnd);
// The owning thread's queue of a window, safe from any thread.
std::shared_ptr<ThreadQueue> QueueOfWindow(HWND hwnd);
// The top-level ancestor (the window itself when it is top-level).
HWND TopLevelOf(HWND hwnd);
// The origin of the window's client area in its top-level window's surface coordinates.
POINT OffsetInTopLevel(HWND hwnd);
// True when the window and every ancestor are visible.
bool IsReallyVisible(HWND hwnd);
// The desktop moved or resized a top-level window: take the new rectangle and tell the window.
void ApplyMoveByUser(HWND hwnd, const RECT& rect);
// Every top-level window of the process, in creation order.
std::vector<HWND> TopLevelWindowsOfProcess();
// Every live window owned by the calling thread, parents before children, top-level windows in creation order.
std::vector<HWND> WindowsOfThisThreadInPaintOrder();
