#include "platform/media/renderer/VideoSurface.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace lumo::media {

// What the streaming threads share with the surface. It lives as long as the surface or any of its
// sinks, so a sink that outlives the surface writes into a detached slot, never into a freed one.
struct VideoSurface::FrameSlot {
    std::mutex lock;
    GstSample* newest = nullptr; // not yet painted
    HWND notify = nullptr;       // told once per painted frame; nullptr without a window
    bool detached = false;       // the surface is gone: frames are dropped as they come
    bool repaintPending = false; // a notification is on its way and no paint took the frame yet
    std::atomic<unsigned long long> received {0};
    // The size the window paints the picture at, for the sinks to scale down to.
    std::atomic<int> paintWidth {0};
    std::atomic<int> paintHeight {0};

    ~FrameSlot()
    {
        if (newest)
            gst_sample_unref(newest);
    }
};

namespace {

const WCHAR* const kClassName = u"LumoVideoRenderer";
constexpr UINT kFrameArrived = WM_USER + 0x101;
// cairo's RGB24 is BGRx in memory on a little-endian machine; BGRA draws the same with its alpha ignored.
const char* const kSinkCaps = "video/x-raw, format = (string) { BGRx, BGRA }";

void RegisterClassOnce(WNDPROC proc)
{
    static const bool registered = [proc] {
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = proc;
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

// Keeps the sample as the newest frame and tells the window once, until a paint takes it.
void Deliver(VideoSurface::FrameSlot& slot, GstSample* sample, bool counts)
{
    GstSample* dropped = sample;
    {
        std::lock_guard guard(slot.lock);
        if (!slot.detached) {
            dropped = slot.newest;
            slot.newest = sample;
            if (counts)
                slot.received++;
            // Posting under the lock orders it with a window change: a notification either reaches
            // the old window before the change or finds the new one.
            if (slot.notify && !slot.repaintPending)
                slot.repaintPending = PostMessageW(slot.notify, kFrameArrived, 0, 0) != FALSE;
        }
    }
    if (dropped)
        gst_sample_unref(dropped);
}

// One sink's part: its slot, and the filter that says what size its converter delivers.
struct SinkState {
    std::shared_ptr<VideoSurface::FrameSlot> slot;
    GstElement* scaler = nullptr; // references
    GstElement* filter = nullptr;
    int askedWidth = 0; // what the filter asks for now, 0 x 0 for the camera's own size
    int askedHeight = 0;
    int seenPaintWidth = 0; // the painted size that decided it
    int seenPaintHeight = 0;

    ~SinkState()
    {
        if (scaler)
            gst_object_unref(scaler);
        if (filter)
            gst_object_unref(filter);
    }
};

// A picture painted smaller than the camera's frames is scaled down as it is converted, in the
// streaming thread and in one pass, so the window copies only what it shows. A larger picture
// gets the camera's own frames, and the paint stretches them.
void FollowPaintSize(SinkState& state)
{
    int width = state.slot->paintWidth.load();
    int height = state.slot->paintHeight.load();
    state.seenPaintWidth = width;
    state.seenPaintHeight = height;
    GstPad* input = gst_element_get_static_pad(state.scaler, "sink");
    GstCaps* caps = input ? gst_pad_get_current_caps(input) : nullptr;
    GstVideoInfo info;
    bool known = caps && gst_video_info_from_caps(&info, caps);
    if (caps)
        gst_caps_unref(caps);
    if (input)
        gst_object_unref(input);
    if (!known) {
        state.seenPaintWidth = -1; // asked again with the next frame
        return;
    }
    bool smaller = width > 0 && height > 0 && width <= GST_VIDEO_INFO_WIDTH(&info) && height <= GST_VIDEO_INFO_HEIGHT(&info)
        && (width < GST_VIDEO_INFO_WIDTH(&info) || height < GST_VIDEO_INFO_HEIGHT(&info));
    if (!smaller)
        width = height = 0;
    if (width == state.askedWidth && height == state.askedHeight)
        return;
    state.askedWidth = width;
    state.askedHeight = height;
    GstCaps* wanted = gst_caps_from_string(kSinkCaps);
    if (width > 0)
        gst_caps_set_simple(wanted, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
    // The filter asks its converter to negotiate again before the next frame.
    g_object_set(state.filter, "caps", wanted, nullptr);
    gst_caps_unref(wanted);
}

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data)
{
    auto& state = *static_cast<SinkState*>(data);
    if (GstSample* sample = gst_app_sink_pull_sample(sink))
        Deliver(*state.slot, sample, true);
    if (state.seenPaintWidth != state.slot->paintWidth.load() || state.seenPaintHeight != state.slot->paintHeight.load())
        FollowPaintSize(state);
    return GST_FLOW_OK;
}

// A paused pipeline shows its first frame.
GstFlowReturn OnNewPreroll(GstAppSink* sink, gpointer data)
{
    if (GstSample* sample = gst_app_sink_pull_preroll(sink))
        Deliver(*static_cast<SinkState*>(data)->slot, sample, false);
    return GST_FLOW_OK;
}

void ReleaseSlot(gpointer data)
{
    delete static_cast<SinkState*>(data);
}

// Stretches the frame over `client`; false when the sample is not a frame this surface can draw.
bool DrawSample(cairo_t* cr, GstSample* sample, const RECT& client)
{
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return false;
    GstVideoFormat format = GST_VIDEO_INFO_FORMAT(&info);
    if (format != GST_VIDEO_FORMAT_BGRx && format != GST_VIDEO_FORMAT_BGRA)
        return false;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return false;
    int width = GST_VIDEO_FRAME_WIDTH(&frame);
    int height = GST_VIDEO_FRAME_HEIGHT(&frame);
    cairo_surface_t* image = cairo_image_surface_create_for_data(static_cast<unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
        CAIRO_FORMAT_RGB24, width, height, GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    bool drawn = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS && width > 0 && height > 0;
    if (drawn) {
        int clientWidth = client.right - client.left;
        int clientHeight = client.bottom - client.top;
        cairo_save(cr);
        cairo_rectangle(cr, client.left, client.top, clientWidth, clientHeight);
        cairo_clip(cr);
        cairo_translate(cr, client.left, client.top);
        bool scaled = clientWidth != width || clientHeight != height;
        if (scaled)
            cairo_scale(cr, static_cast<double>(clientWidth) / width, static_cast<double>(clientHeight) / height);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_t* pattern = cairo_get_source(cr);
        cairo_pattern_set_filter(pattern, scaled ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
        // Edge pixels repeat outward, so a stretched picture has no half-transparent rim.
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_restore(cr);
    }
    // The frame's memory is unmapped next: nothing of cairo may hold on to it.
    cairo_surface_finish(image);
    cairo_surface_destroy(image);
    gst_video_frame_unmap(&frame);
    return drawn;
}

void PaintBlack(cairo_t* cr, const RECT& client)
{
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_rectangle(cr, client.left, client.top, client.right - client.left, client.bottom - client.top);
    cairo_fill(cr);
    cairo_restore(cr);
}

bool IsMouseMessage(UINT message)
{
    return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
}

// Character messages are not forwarded: the drain's own loop translates the forwarded key-downs,
// so forwarding ours as well would type every character twice.
bool IsKeyMessage(UINT message)
{
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
}

} // namespace

VideoSurface::VideoSurface()
    : m_slot(std::make_shared<FrameSlot>())
    , m_style(static_cast<LONG>(WS_CHILD | WS_CLIPSIBLINGS))
{
}

VideoSurface::~VideoSurface()
{
    {
        std::lock_guard guard(m_slot->lock);
        m_slot->detached = true;
        m_slot->notify = nullptr;
        if (m_slot->newest)
            gst_sample_unref(m_slot->newest);
        m_slot->newest = nullptr;
    }
    DestroyWindows();
    if (m_current)
        gst_sample_unref(m_current);
}

void VideoSurface::SetOwner(HWND owner)
{
    if (owner == m_owner && m_window)
        return;
    m_owner = owner;
    MakeWindow();
}

void VideoSurface::SetWindowStyle(LONG style)
{
    style &= ~static_cast<LONG>(WS_VISIBLE);
    bool childChanges = ((style ^ m_style) & static_cast<LONG>(WS_CHILD)) != 0;
    m_style = style;
    if (!m_window)
        return;
    if (childChanges && m_owner) {
        MakeWindow();
        return;
    }
    LONG applied = m_owner ? style : style & ~static_cast<LONG>(WS_CHILD);
    SetWindowLongW(m_window, GWL_STYLE, applied);
    // A border changes the client area.
    SetWindowPos(m_window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    InvalidateRect(m_window, nullptr, FALSE);
}

void VideoSurface::SetPosition(int left, int top, int width, int height)
{
    m_rect = {left, top, left + width, top + height};
    m_positioned = true;
    ApplyPosition();
}

void VideoSurface::GetPosition(int* left, int* top, int* width, int* height) const
{
    RECT r = m_rect;
    if (m_window) {
        // The window's own rectangle, in case someone moved it by its handle.
        GetWindowRect(m_window, &r);
        if (HWND parent = GetParent(m_window); parent && (GetWindowLongW(m_window, GWL_STYLE) & static_cast<LONG>(WS_CHILD)))
            MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&r), 2);
    }
    if (left)
        *left = r.left;
    if (top)
        *top = r.top;
    if (width)
        *width = r.right - r.left;
    if (height)
        *height = r.bottom - r.top;
}

void VideoSurface::SetVisible(bool visible)
{
    m_visible = visible;
    if (m_window && !m_fullScreenWindow)
        ShowWindow(m_window, visible ? SW_SHOWNA : SW_HIDE);
}

void VideoSurface::SetFullScreen(bool fullScreen)
{
    if (fullScreen == IsFullScreen())
        return;
    if (fullScreen)
        EnterFullScreen();
    else
        LeaveFullScreen();
}

SIZE VideoSurface::PresentedFrameSize() const
{
    GstVideoInfo info;
    GstCaps* caps = m_current ? gst_sample_get_caps(m_current) : nullptr;
    if (!caps || !gst_video_info_from_caps(&info, caps))
        return SIZE {0, 0};
    return SIZE {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
}

unsigned long long VideoSurface::FramesReceived() const
{
    return m_slot->received;
}

GstElement* VideoSurface::CreateSink()
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    // One element converts and scales in one pass where GStreamer has it; else scaling comes first,
    // so the conversion works on the pixels shown.
    std::vector<GstElement*> chain;
    if (GstElement* both = gst_element_factory_make("videoconvertscale", nullptr)) {
        chain = {both};
    } else {
        chain = {gst_element_factory_make("videoscale", nullptr), gst_element_factory_make("videoconvert", nullptr)};
    }
    chain.push_back(gst_element_factory_make("capsfilter", nullptr));
    chain.push_back(gst_element_factory_make("appsink", nullptr));
    if (std::find(chain.begin(), chain.end(), nullptr) != chain.end()) {
        for (GstElement* element : chain) {
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        }
        return nullptr;
    }
    GstElement* scaler = chain.front();
    GstElement* filter = chain[chain.size() - 2];
    GstElement* sink = chain.back();
    for (GstElement* element : chain) {
        // An ordered dither costs time and shows nothing at 8 bits per channel; a smaller picture
        // is stretched over the frame, as the paint stretches it, never bordered.
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "dither"))
            g_object_set(element, "dither", 0, nullptr);
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "add-borders"))
            g_object_set(element, "add-borders", FALSE, nullptr);
    }
    GstCaps* caps = gst_caps_from_string(kSinkCaps);
    g_object_set(filter, "caps", caps, nullptr);
    GstAppSink* appSink = GST_APP_SINK(sink);
    gst_app_sink_set_caps(appSink, caps);
    gst_caps_unref(caps);
    gst_app_sink_set_max_buffers(appSink, 1);
    gst_app_sink_set_drop(appSink, TRUE);
    gst_base_sink_set_sync(GST_BASE_SINK(sink), TRUE);
    // The slot holds the newest frame; the sink need not keep another.
    gst_base_sink_set_last_sample_enabled(GST_BASE_SINK(sink), FALSE);
    GstAppSinkCallbacks callbacks {};
    callbacks.new_sample = OnNewSample;
    callbacks.new_preroll = OnNewPreroll;
    auto* state = new SinkState {m_slot, GST_ELEMENT(gst_object_ref(scaler)), GST_ELEMENT(gst_object_ref(filter))};
    gst_app_sink_set_callbacks(appSink, &callbacks, state, ReleaseSlot);

    GstElement* bin = gst_bin_new(nullptr);
    for (GstElement* element : chain)
        gst_bin_add(GST_BIN(bin), element);
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        gst_element_link(chain[i], chain[i + 1]);
    GstPad* target = gst_element_get_static_pad(scaler, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    return bin;
}

LRESULT VideoSurface::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<VideoSurface*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->Handle(hwnd, message, wParam, lParam);
}

LRESULT VideoSurface::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_drain && (IsMouseMessage(message) || IsKeyMessage(message))) {
        Forward(hwnd, message, wParam, lParam);
        return 0;
    }
    switch (message) {
    case kFrameArrived:
        if (HWND picture = Window())
            InvalidateRect(picture, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers the whole client area
    case WM_CLOSE:
        // Only the program ends full screen or closes the picture; a close request of the desktop
        // reaches the full-screen window and is refused.
        return 0;
    case WM_NCDESTROY:
        ForgetWindow(hwnd);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void VideoSurface::MakeWindow()
{
    if (m_fullScreenWindow)
        LeaveFullScreen();
    if (m_window) {
        HWND old = m_window;
        ForgetWindow(old);
        DestroyWindow(old);
    }
    RegisterClassOnce(WindowProc);
    RECT r = m_rect;
    if (!m_positioned && m_owner) {
        GetClientRect(m_owner, &r);
        m_rect = r;
    }
    LONG style = m_owner ? m_style : m_style & ~static_cast<LONG>(WS_CHILD);
    HWND hwnd = CreateWindowExW(0, kClassName, u"", static_cast<DWORD>(style), r.left, r.top, r.right - r.left,
        r.bottom - r.top, m_owner, nullptr, nullptr, this);
    if (!hwnd)
        return;
    m_window = hwnd;
    {
        std::lock_guard guard(m_slot->lock);
        m_slot->notify = hwnd;
        m_slot->repaintPending = false;
    }
    if (m_visible)
        ShowWindow(hwnd, SW_SHOWNA);
}

void VideoSurface::DestroyWindows()
{
    if (m_fullScreenWindow) {
        HWND full = m_fullScreenWindow;
        m_fullScreenWindow = nullptr;
        DestroyWindow(full);
    }
    if (m_window) {
        HWND window = m_window;
        ForgetWindow(window);
        DestroyWindow(window);
    }
}

// The window is going (by DestroyWindows, or with its owner): nothing may reach it any more.
void VideoSurface::ForgetWindow(HWND hwnd)
{
    if (hwnd == m_fullScreenWindow) {
        m_fullScreenWindow = nullptr;
        return;
    }
    if (hwnd != m_window)
        return;
    m_window = nullptr;
    {
        std::lock_guard guard(m_slot->lock);
        m_slot->notify = nullptr;
        m_slot->repaintPending = false;
    }
    // Gone with its owner while full screen: there is no window left to return to.
    if (HWND full = m_fullScreenWindow) {
        m_fullScreenWindow = nullptr;
        DestroyWindow(full);
    }
}

void VideoSurface::TakeNewestFrame()
{
    GstSample* newest;
    {
        std::lock_guard guard(m_slot->lock);
        newest = m_slot->newest;
        m_slot->newest = nullptr;
        m_slot->repaintPending = false;
    }
    if (!newest)
        return;
    if (m_current)
        gst_sample_unref(m_current);
    m_current = newest;
    m_presented++;
}

void VideoSurface::Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    // Only the window on screen takes frames: the hidden one may still be offered a paint.
    if (hwnd == Window())
        TakeNewestFrame();
    RECT client;
    GetClientRect(hwnd, &client);
    if (hwnd == Window()) {
        m_slot->paintWidth = client.right - client.left;
        m_slot->paintHeight = client.bottom - client.top;
    }
    cairo_t* cr = CairoOf(dc);
    if (!m_current || !DrawSample(cr, m_current, client))
        PaintBlack(cr, client);
    EndPaint(hwnd, &ps);
}

void VideoSurface::Forward(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A wheel message carries screen coordinates; the others the client coordinates of their window.
    if (IsMouseMessage(message) && message != WM_MOUSEWHEEL) {
        POINT point {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        MapWindowPoints(hwnd, m_drain, &point, 1);
        lParam = MAKELPARAM(point.x, point.y);
    }
    PostMessageW(m_drain, message, wParam, lParam);
}

void VideoSurface::EnterFullScreen()
{
    if (!m_window)
        return;
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& m = monitor.rcMonitor;
    HWND ownerTop = m_owner ? GetAncestor(m_owner, GA_ROOT) : nullptr;
    // A top-level popup covering its monitor is what the layer shows full screen. Owned by the program's
    // window, it goes when that window goes.
    HWND full = CreateWindowExW(WS_EX_TOPMOST, kClassName, u"", WS_POPUP, m.left, m.top, m.right - m.left,
        m.bottom - m.top, ownerTop, nullptr, nullptr, this);
    if (!full)
        return;
    m_focusBeforeFullScreen = GetFocus();
    m_fullScreenWindow = full;
    ShowWindow(m_window, SW_HIDE);
    SetWindowPos(full, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(full);
    SetFocus(full);
}

void VideoSurface::LeaveFullScreen()
{
    HWND full = m_fullScreenWindow;
    if (!full)
        return;
    m_fullScreenWindow = nullptr;
    bool hadFocus = GetFocus() == full;
    DestroyWindow(full);
    if (!m_window)
        return;
    ApplyPosition();
    if (m_visible)
        ShowWindow(m_window, SW_SHOWNA);
    if (m_owner)
        SetActiveWindow(m_owner);
    if (hadFocus && IsWindow(m_focusBeforeFullScreen))
        SetFocus(m_focusBeforeFullScreen);
    m_focusBeforeFullScreen = nullptr;
}

void VideoSurface::ApplyPosition()
{
    if (!m_window || !m_positioned)
        return;
    MoveWindow(m_window, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, TRUE);
}

} // namespace lumo::media
