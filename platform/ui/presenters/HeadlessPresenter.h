// The presenter without a display: every top-level window keeps its picture in memory, where a test
// can read or save it, and input is injected by the test.
#pragma once

#include "platform/ui/Input.h"
#include "platform/ui/Presenter.h"

#include <map>
#include <mutex>
#include <string>

class HeadlessPresenter : public Presenter {
public:
    HeadlessPresenter();
    const char* Name() const override { return "headless"; }

    void WindowCreated(HWND hwnd, const RECT& rect, DWORD style, DWORD exStyle) override;
    void WindowDestroyed(HWND hwnd) override;
    void WindowShown(HWND hwnd, int showCommand) override;
    void WindowHidden(HWND hwnd) override;
    void WindowMoved(HWND hwnd, const RECT& rect) override;
    void WindowTextChanged(HWND hwnd, WStringView text) override;
    void WindowIconChanged(HWND hwnd, cairo_surface_t* icon) override;
    void SurfaceChanged(HWND hwnd, cairo_surface_t* surface, const RECT& dirty) override;
    void SetFullScreen(HWND hwnd, bool fullScreen) override;
    void SetTopmost(HWND hwnd, bool topmost) override;
    void Activate(HWND hwnd) override;
    void BeginMoveDrag(HWND hwnd, POINT screenPoint) override;
    void SetCursorShape(HWND hwnd, CursorShape shape) override;
    std::vector<MonitorDescription> Monitors() override;
    POINT CursorPosition() override;

    // For tests.
    void SetMonitors(std::vector<MonitorDescription> monitors);
    bool IsShown(HWND hwnd) const;
    bool IsFullScreen(HWND hwnd) const;
    bool IsTopmost(HWND hwnd) const;
    bool IsKnown(HWND hwnd) const;
    RECT RectOf(HWND hwnd) const;
    WString TitleOf(HWND hwnd) const;
    bool HasIcon(HWND hwnd) const;
    int SurfaceUpdates(HWND hwnd) const;
    int MoveDrags() const { return m_moveDrags; }
    CursorShape Cursor() const { return m_cursorShape; }
    // The window's picture as last painted; the surface belongs to the window.
    cairo_surface_t* SurfaceOf(HWND hwnd) const;
    // One pixel of the window's picture as 0xRRGGBB, or -1 outside it.
    long PixelAt(HWND topLevel, int x, int y) const;
    bool SavePng(HWND hwnd, const std::string& path) const;

    // Input as a user would give it, at a point of a window's client area (any window, child or top-level).
    void MovePointer(HWND hwnd, POINT client);
    void Click(HWND hwnd, POINT client, PointerButton button = PointerButton::Left);
    void DoubleClick(HWND hwnd, POINT client);
    void Press(HWND hwnd, POINT client, PointerButton button, bool pressed);
    void TypeKey(HWND topLevel, UINT virtualKey, WCHAR character = 0, bool alt = false);
    void RequestClose(HWND topLevel);

private:
    struct Shown {
        RECT rect {};
        bool visible = false;
        bool fullScreen = false;
        bool topmost = false;
        bool icon = false;
        WString title;
        cairo_surface_t* surface = nullptr;
        int updates = 0;
    };
    POINT SurfacePointOf(HWND hwnd, POINT client, HWND* topLevel) const;

    // Windows of several threads report here (a message box may run on a worker thread).
    mutable std::mutex m_lock;
    std::map<HWND, Shown> m_windows;
    std::vector<MonitorDescription> m_monitors;
    POINT m_cursor {0, 0};
    CursorShape m_cursorShape = CursorShape::Arrow;
    int m_moveDrags = 0;
};

// The headless presenter in use, or nullptr when another presenter shows the windows.
HeadlessPresenter* CurrentHeadlessPresenter();
