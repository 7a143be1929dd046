// The default video renderer's picture: a window of its own inside an owner window, fed by a
// GStreamer sink that keeps only the newest frame and draws it when the window paints.
#pragma once

#include "platform/ui/WinUser.h"

#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstSample GstSample;

namespace lumo::media {

class VideoSurface {
public:
    VideoSurface(); // no window yet
    ~VideoSurface(); // destroys its windows; sinks still running keep working and draw nothing
    VideoSurface(const VideoSurface&) = delete;
    VideoSurface& operator=(const VideoSurface&) = delete;

    // Window management, on the UI thread only. The window (class "LumoVideoRenderer") is made on the
    // first SetOwner: a child of `owner`, or a top-level window when owner is null. The layer cannot move
    // a window to another parent, so a later SetOwner, or a style change between child and top-level,
    // makes a new window: Window() changes then. Settings given before the window exists apply to it.
    void SetOwner(HWND owner);
    HWND Owner() const { return m_owner; }
    // The style as given, without WS_VISIBLE: visibility is SetVisible's.
    void SetWindowStyle(LONG style);
    LONG WindowStyle() const { return m_style; }
    // In the owner's client coordinates (screen coordinates without an owner). Until the first call
    // the window covers the owner's client area.
    void SetPosition(int left, int top, int width, int height);
    void GetPosition(int* left, int* top, int* width, int* height) const;
    void SetVisible(bool visible);
    bool IsVisible() const { return m_visible; }
    // Mouse and keyboard messages of the picture are posted there, mouse points in its client coordinates.
    void SetMessageDrain(HWND drain) { m_drain = drain; }
    HWND MessageDrain() const { return m_drain; }
    // Full screen: a top-level window covering the owner's monitor, above everything and focused, shows
    // the picture while the owned window waits hidden, unchanged. Position, style and visibility set
    // meanwhile apply to the owned window and show when full screen ends; a change that needs a new
    // window (another owner, child to top-level) ends full screen first.
    void SetFullScreen(bool fullScreen);
    bool IsFullScreen() const { return m_fullScreenWindow != nullptr; }
    // The window showing the picture: the full-screen window while full screen; nullptr before SetOwner.
    HWND Window() const { return m_fullScreenWindow ? m_fullScreenWindow : m_window; }

    // A sink for this surface: a bin with one "sink" pad taking any raw video, converted once to BGRx
    // (BGRA passes as it is) and, when the window paints the picture smaller, scaled down to that
    // size in the same pass; it keeps only the newest frame and presents at the stream's clock time.
    // Floating reference. Any number may be made; each stays safe to run after the surface is gone.
    GstElement* CreateSink();
    // Frames painted into the window so far, and frames the sinks received (for tests and benchmarks).
    unsigned long long FramesPresented() const { return m_presented; }
    // The size of the frame on screen, 0 x 0 before the first (for tests and benchmarks).
    SIZE PresentedFrameSize() const;
    unsigned long long FramesReceived() const;

    // What the sinks' streaming threads share with the surface; defined with the implementation.
    struct FrameSlot;

private:
    static LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void MakeWindow();
    void DestroyWindows();
    void ForgetWindow(HWND hwnd);
    void Paint(HWND hwnd);
    void TakeNewestFrame();
    void Forward(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void EnterFullScreen();
    void LeaveFullScreen();
    void ApplyPosition();

    std::shared_ptr<FrameSlot> m_slot;
    HWND m_owner = nullptr;
    HWND m_window = nullptr;
    HWND m_fullScreenWindow = nullptr;
    HWND m_focusBeforeFullScreen = nullptr;
    HWND m_drain = nullptr;
    LONG m_style;
    RECT m_rect {};
    bool m_positioned = false;
    bool m_visible = false;
    GstSample* m_current = nullptr; // the frame on screen, kept for repaints
    unsigned long long m_presented = 0;
};

} // namespace lumo::media
