// What shows the top-level windows on a screen and feeds the user's input back.
// The layer draws every window itself into its top-level window's surface; a presenter only
// shows those surfaces. Chosen once at start: "gtk" on a display, "headless" without one.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <cairo.h>

#include <memory>
#include <vector>

struct MonitorDescription {
    RECT monitor {};
    RECT work {};
    bool primary = false;
};

enum class CursorShape { Arrow, Hand, Wait, IBeam, SizeAll };

class Presenter {
public:
    virtual ~Presenter() = default;
    virtual const char* Name() const = 0;

    // Top-level windows, called on the window's thread. `rect` is in screen coordinates.
    virtual void WindowCreated(HWND hwnd, const RECT& rect, DWORD style, DWORD exStyle) = 0;
    virtual void WindowDestroyed(HWND hwnd) = 0;
    virtual void WindowShown(HWND hwnd, int showCommand) = 0;
    virtual void WindowHidden(HWND hwnd) = 0;
    virtual void WindowMoved(HWND hwnd, const RECT& rect) = 0;
    virtual void WindowTextChanged(HWND hwnd, WStringView text) = 0;
    virtual void WindowIconChanged(HWND hwnd, cairo_surface_t* icon) = 0;
    // The window's surface changed inside `dirty` (surface coordinates); the surface may be a new one.
    virtual void SurfaceChanged(HWND hwnd, cairo_surface_t* surface, const RECT& dirty) = 0;
    virtual void SetFullScreen(HWND hwnd, bool fullScreen) = 0;
    virtual void SetTopmost(HWND hwnd, bool topmost) = 0;
    virtual void Activate(HWND hwnd) = 0;
    // Starts moving the window with the pointer, as a press on a caption does.
    virtual void BeginMoveDrag(HWND hwnd, POINT screenPoint) = 0;
    virtual void SetCursorShape(HWND hwnd, CursorShape shape) = 0;

    virtual std::vector<MonitorDescription> Monitors() = 0;
    virtual POINT CursorPosition() = 0;
};

// The presenter in use; made on first use from LUMO_PRESENTER ("gtk" or "headless"), else gtk when
// a display is reachable and headless otherwise.
Presenter& CurrentPresenter();
// Replaces the presenter (tests install a configured headless presenter before any window exists).
void InstallPresenter(std::unique_ptr<Presenter> presenter);

std::unique_ptr<Presenter> CreateHeadlessPresenter();
// nullptr when no display can be opened.
std::unique_ptr<Presenter> CreateGtkPresenter();
