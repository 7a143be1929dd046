// The presenter on a desktop: one undecorated GTK window per top-level window of the layer. It shows
// the window's surface and turns the window system's events into the layer's raw input.
// Every GTK call happens on the main thread, which runs the default GLib main context; calls made
// on other threads are queued to it.
#pragma once

#include "platform/ui/Presenter.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

class GtkPresenter : public Presenter {
public:
    // Call after gtk_init_check succeeded, on the main thread.
    GtkPresenter();
    ~GtkPresenter() override;
    const char* Name() const override { return "gtk"; }

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

    // For tests, on the main thread.
    // Queues the close request a window manager sends when its close button is pressed.
    void QueueDeleteEvent(HWND hwnd);
    // Returns once the display server has handled every request made so far.
    void Sync();

    // Defined with the presenter's code: one record per shown window, and what all of them share.
    struct Shown;
    struct Shared;

private:
    struct Creation {
        RECT rect {};
        DWORD exStyle = 0;
        HWND owner = nullptr;
        bool tooltip = false;
        cairo_surface_t* surface = nullptr; // a reference handed over
    };

    bool OnPresenterThread() const { return std::this_thread::get_id() == m_thread; }
    // Runs `work` now on the main thread, else queues it there in call order.
    void RunOnPresenterThread(std::function<void()> work);
    Shown* Find(HWND hwnd) const;
    void Create(HWND hwnd, const Creation& creation);
    void Replace(HWND hwnd, cairo_surface_t* surface, const RECT& dirty);
    void Show(HWND hwnd, int showCommand);
    void Move(HWND hwnd, const RECT& rect);
    std::vector<MonitorDescription> QueryMonitors();

    std::thread::id m_thread;
    std::shared_ptr<GtkPresenter*> m_self; // queued work holds a weak reference
    std::unique_ptr<Shared> m_shared;
    std::map<HWND, std::unique_ptr<Shown>> m_windows;

    // Answers for other threads, refreshed whenever the main thread asks.
    mutable std::mutex m_cacheLock;
    std::vector<MonitorDescription> m_monitors;
};

// The GTK presenter in use, or nullptr when another presenter shows the windows.
GtkPresenter* CurrentGtkPresenter();
