#include "platform/media/renderer/VideoSurface.h"

#include "platform/base/Clock.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/Paint.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

using lumo::media::VideoSurface;

namespace {

constexpr long kRed = 0xFF0000;
constexpr long kGreen = 0x00FF00;
constexpr long kBlue = 0x0000FF;
constexpr long kWhite = 0xFFFFFF;
constexpr long kBlack = 0x000000;

// Waits for the streaming threads without running the UI thread's loop, as a busy interface would.
bool WaitWithoutPumping(const std::function<bool()>& done, DWORD watchdogMs = 5000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchdogMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "watchdog: the streaming threads did not get there within " << watchdogMs << " ms";
            return false;
        }
        Sleep(2);
    }
    return true;
}

// A pipeline of a source description linked to a surface's sink.
class Pipeline {
public:
    Pipeline(const std::string& source, GstElement* sink)
    {
        m_pipeline = gst_pipeline_new(nullptr);
        GError* error = nullptr;
        GstElement* src = gst_parse_bin_from_description(source.c_str(), TRUE, &error);
        if (!src) {
            ADD_FAILURE() << "cannot make " << source << ": " << (error ? error->message : "?");
            g_clear_error(&error);
            gst_object_unref(gst_object_ref_sink(sink));
            return;
        }
        gst_bin_add_many(GST_BIN(m_pipeline), src, sink, nullptr);
        EXPECT_TRUE(gst_element_link(src, sink));
        m_source = gst_bin_get_by_name(GST_BIN(src), "source");
    }
    ~Pipeline()
    {
        if (m_source)
            gst_object_unref(m_source);
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    void Play() { ASSERT_NE(gst_element_set_state(m_pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE); }
    void Stop() { gst_element_set_state(m_pipeline, GST_STATE_NULL); }
    GstElement* Source() const { return m_source; }
    GstElement* Element() const { return m_pipeline; }
    // The first error the pipeline reported, or "".
    std::string Error()
    {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        std::string text;
        while (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            if (text.empty())
                text = error ? error->message : "error";
            g_clear_error(&error);
            gst_message_unref(message);
        }
        gst_object_unref(bus);
        return text;
    }

private:
    GstElement* m_pipeline = nullptr;
    GstElement* m_source = nullptr;
};

// Frames in RGB, so the sink has to convert and a swapped channel order shows.
constexpr int kFrameWidth = 64;
constexpr int kFrameHeight = 48;
const char* const kAppSource = "appsrc name=source format=time caps=video/x-raw,format=RGB,width=64,height=48,framerate=30/1";

void PushFrame(GstElement* appsrc, int index, const std::function<long(int x, int y)>& colourAt)
{
    constexpr int kStride = kFrameWidth * 3; // already a multiple of 4
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, kStride * kFrameHeight, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (int y = 0; y < kFrameHeight; ++y) {
        for (int x = 0; x < kFrameWidth; ++x) {
            long c = colourAt(x, y);
            guint8* p = map.data + y * kStride + x * 3;
            p[0] = static_cast<guint8>(c >> 16);
            p[1] = static_cast<guint8>(c >> 8);
            p[2] = static_cast<guint8>(c);
        }
    }
    gst_buffer_unmap(buffer, &map);
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(index) * GST_MSECOND;
    GST_BUFFER_DURATION(buffer) = GST_MSECOND;
    ASSERT_EQ(gst_app_src_push_buffer(GST_APP_SRC(appsrc), buffer), GST_FLOW_OK);
}

// Red, green / blue, white: a picture that shows any flip or mirror.
long Quadrants(int x, int y)
{
    bool right = x >= kFrameWidth / 2;
    bool bottom = y >= kFrameHeight / 2;
    if (!bottom)
        return right ? kGreen : kRed;
    return right ? kWhite : kBlue;
}

std::array<int, 4> PositionOf(const VideoSurface& surface)
{
    std::array<int, 4> p {};
    surface.GetPosition(&p[0], &p[1], &p[2], &p[3]);
    return p;
}

bool Near(long pixel, long expected)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(((pixel >> shift) & 0xFF) - ((expected >> shift) & 0xFF)) > 8)
            return false;
    }
    return true;
}

LRESULT WhiteProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetStockObject(WHITE_BRUSH));
    EndPaint(hwnd, &ps);
    return 0;
}

class VideoSurfaceTest : public UiTest {
protected:
    static void SetUpTestSuite()
    {
        gst_init(nullptr, nullptr);
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = WhiteProc;
        wc.lpszClassName = u"VideoSurfaceTestHost";
        RegisterClassExW(&wc);
    }

    void TearDown() override
    {
        Presenter().SetMonitors({m_defaultMonitors});
        UiTest::TearDown();
    }

    // A program's window at `rect` on the screen (drain of the input) with the video host at (20, 30) in it.
    void MakeProgramWindow(RECT rect = {100, 50, 500, 350})
    {
        m_top = CreateWindowExW(0, m_drainClass.Name(), u"", WS_POPUP | WS_VISIBLE, rect.left, rect.top,
            rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, nullptr, nullptr);
        m_host = CreateWindowExW(0, u"VideoSurfaceTestHost", u"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 20, 30,
            320, 240, m_top, nullptr, nullptr, nullptr);
        PumpPending();
    }

    // The picture's colour at a point of a window's client area, as the screen would show it.
    long PixelOf(HWND hwnd, POINT client)
    {
        HWND top = GetAncestor(hwnd, GA_ROOT);
        MapWindowPoints(hwnd, top, &client, 1);
        return Presenter().PixelAt(top, client.x, client.y);
    }

    std::vector<RecordedMessage> AtDrain(UINT first, UINT last)
    {
        std::vector<RecordedMessage> out;
        for (const auto& m : RecordingClass::Log()) {
            if (m.hwnd == m_top && m.message >= first && m.message <= last)
                out.push_back(m);
        }
        return out;
    }

    MonitorDescription m_defaultMonitors = Presenter().Monitors().front();
    RecordingClass m_drainClass {u"VideoSurfaceTestDrain"};
    HWND m_top = nullptr;
    HWND m_host = nullptr;
};

} // namespace

TEST_F(VideoSurfaceTest, TheWindowTakesTheSettingsGivenBeforeAndAfterItExists)
{
    MakeProgramWindow();
    VideoSurface surface;
    EXPECT_EQ(surface.Window(), nullptr);
    surface.SetPosition(10, 5, 200, 150);
    surface.SetVisible(true);
    surface.SetOwner(m_host);
    HWND video = surface.Window();
    ASSERT_TRUE(IsWindow(video));
    WCHAR className[32];
    GetClassNameW(video, className, 32);
    EXPECT_EQ(WString(className), u"LumoVideoRenderer");
    EXPECT_EQ(GetParent(video), m_host);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(video, GWL_STYLE)), WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE);
    RECT r;
    GetWindowRect(video, &r);
    EXPECT_EQ(r.left, 100 + 20 + 10);
    EXPECT_EQ(r.top, 50 + 30 + 5);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.bottom - r.top, 150);

    surface.SetPosition(0, 0, 320, 240);
    EXPECT_EQ(PositionOf(surface), (std::array<int, 4> {0, 0, 320, 240}));
    surface.SetVisible(false);
    EXPECT_FALSE(IsWindowVisible(video));
    EXPECT_FALSE(surface.IsVisible());
    surface.SetVisible(true);
    EXPECT_TRUE(IsWindowVisible(video));

    // A border narrows the client area the picture fills; WS_VISIBLE stays visibility's business.
    surface.SetWindowStyle(static_cast<LONG>(WS_CHILD | WS_BORDER | WS_VISIBLE));
    EXPECT_EQ(surface.WindowStyle(), static_cast<LONG>(WS_CHILD | WS_BORDER));
    EXPECT_EQ(surface.Window(), video);
    RECT client;
    GetClientRect(video, &client);
    EXPECT_EQ(client.right, 318);
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, AnotherOwnerGetsANewWindowAndALostOwnerLeavesNone)
{
    MakeProgramWindow();
    HWND other = CreateWindowExW(0, u"VideoSurfaceTestHost", u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, m_top,
        nullptr, nullptr, nullptr);
    VideoSurface surface;
    surface.SetOwner(m_host);
    // Without a position the window covers the owner's client area, hidden until the program shows it.
    EXPECT_EQ(PositionOf(surface), (std::array<int, 4> {0, 0, 320, 240}));
    EXPECT_FALSE(IsWindowVisible(surface.Window()));
    surface.SetPosition(1, 2, 30, 40);
    surface.SetVisible(true);
    HWND first = surface.Window();
    surface.SetOwner(m_host); // the same owner again changes nothing
    EXPECT_EQ(surface.Window(), first);

    surface.SetOwner(other);
    EXPECT_FALSE(IsWindow(first));
    HWND second = surface.Window();
    ASSERT_TRUE(IsWindow(second));
    EXPECT_EQ(GetParent(second), other);
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_EQ(PositionOf(surface), (std::array<int, 4> {1, 2, 30, 40}));

    DestroyWindow(other);
    EXPECT_EQ(surface.Window(), nullptr);
    surface.SetOwner(m_host);
    EXPECT_EQ(GetParent(surface.Window()), m_host);

    // Without an owner the picture has a top-level window of its own.
    surface.SetOwner(nullptr);
    EXPECT_EQ(GetAncestor(surface.Window(), GA_ROOT), surface.Window());
    EXPECT_TRUE(Presenter().IsKnown(surface.Window()));
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, FramesAreDrawnUprightAndStretchedOverTheWindow)
{
    MakeProgramWindow();
    VideoSurface surface;
    surface.SetPosition(0, 0, 160, 120);
    surface.SetVisible(true);
    surface.SetOwner(m_host);
    HWND video = surface.Window();
    PumpPending();
    EXPECT_EQ(PixelOf(video, {80, 60}), kBlack); // no frame yet
    Pipeline pipeline(kAppSource, surface.CreateSink());
    pipeline.Play();
    PushFrame(pipeline.Source(), 0, Quadrants);
    ASSERT_TRUE(PumpUntil([&] { return surface.FramesPresented() >= 1; }));
    PumpPending();
    EXPECT_EQ(PixelOf(video, {20, 20}), kRed);
    EXPECT_EQ(PixelOf(video, {140, 20}), kGreen);
    EXPECT_EQ(PixelOf(video, {20, 100}), kBlue);
    EXPECT_EQ(PixelOf(video, {140, 100}), kWhite);
    // The whole client area, corners included, is picture.
    EXPECT_EQ(PixelOf(video, {0, 0}), kRed);
    EXPECT_EQ(PixelOf(video, {159, 119}), kWhite);
    EXPECT_EQ(PixelOf(m_host, {161, 60}), kWhite);

    // A repaint of the owner keeps the last picture.
    RedrawWindow(m_top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(PixelOf(video, {140, 100}), kWhite);
    EXPECT_EQ(pipeline.Error(), "");
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, OnlyTheNewestFrameIsPaintedWhenTheInterfaceFallsBehind)
{
    MakeProgramWindow();
    VideoSurface surface;
    surface.SetVisible(true);
    surface.SetOwner(m_host);
    Pipeline pipeline(kAppSource, surface.CreateSink());
    pipeline.Play();
    const long colours[] = {kRed, kGreen, kBlue};
    for (int i = 0; i < 3; ++i)
        PushFrame(pipeline.Source(), i, [&](int, int) { return colours[i]; });
    ASSERT_TRUE(WaitWithoutPumping([&] { return surface.FramesReceived() == 3; }));
    EXPECT_EQ(surface.FramesPresented(), 0u);
    // One notification for the three frames: one paint, with the last of them.
    EXPECT_LE(PumpPending(), 2);
    EXPECT_EQ(surface.FramesPresented(), 1u);
    EXPECT_EQ(PixelOf(surface.Window(), {160, 120}), kBlue);
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, ALiveStreamKeepsPaintingAndTheNextRunTakesOver)
{
    MakeProgramWindow();
    VideoSurface surface;
    surface.SetVisible(true);
    surface.SetOwner(m_host);
    {
        Pipeline pipeline("videotestsrc is-live=true pattern=blue ! capsfilter caps=video/x-raw,width=320,height=240,framerate=30/1",
            surface.CreateSink());
        pipeline.Play();
        ASSERT_TRUE(PumpUntil([&] { return surface.FramesPresented() >= 5; }));
        EXPECT_TRUE(Near(PixelOf(surface.Window(), {160, 120}), kBlue)) << std::hex << PixelOf(surface.Window(), {160, 120});

        // While the interface is busy the frames do not queue up for it.
        unsigned long long received = surface.FramesReceived();
        ASSERT_TRUE(WaitWithoutPumping([&] { return surface.FramesReceived() >= received + 6; }));
        unsigned long long presented = surface.FramesPresented();
        EXPECT_LE(PumpPending(), 4);
        EXPECT_LE(surface.FramesPresented(), presented + 2);
        EXPECT_LE(surface.FramesPresented(), surface.FramesReceived());
        EXPECT_EQ(pipeline.Error(), "");
    }
    // The stream stopped: the last picture stays.
    PumpPending();
    EXPECT_TRUE(Near(PixelOf(surface.Window(), {160, 120}), kBlue));

    Pipeline next("videotestsrc is-live=true pattern=red ! capsfilter caps=video/x-raw,format=I420,width=176,height=144,framerate=30/1",
        surface.CreateSink());
    next.Play();
    ASSERT_TRUE(PumpUntil([&] { return Near(PixelOf(surface.Window(), {160, 120}), kRed); }));
    EXPECT_EQ(next.Error(), "");
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, InputReachesTheDrainInItsClientCoordinates)
{
    MakeProgramWindow();
    VideoSurface surface;
    surface.SetPosition(10, 5, 200, 150);
    surface.SetVisible(true);
    surface.SetMessageDrain(m_top);
    surface.SetOwner(m_host);
    HWND video = surface.Window();
    PumpPending();
    RecordingClass::Log().clear();

    Presenter().MovePointer(video, {7, 9});
    Presenter().Click(video, {7, 9}, PointerButton::Right);
    Presenter().DoubleClick(video, {7, 9});
    PumpPending();
    auto mouse = AtDrain(WM_MOUSEFIRST, WM_MOUSELAST);
    std::vector<UINT> kinds;
    for (const auto& m : mouse) {
        if (m.message != WM_MOUSEMOVE)
            kinds.push_back(m.message);
        // Host at (20, 30) in the drain, the picture at (10, 5) in the host.
        EXPECT_EQ(m.lParam, MAKELPARAM(37, 44)) << std::hex << m.message;
    }
    EXPECT_EQ(kinds, (std::vector<UINT> {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK,
                         WM_LBUTTONUP}));
    ASSERT_FALSE(mouse.empty());
    EXPECT_EQ(mouse.front().message, static_cast<UINT>(WM_MOUSEMOVE));

    // The wheel keeps its screen coordinates.
    RecordingClass::Log().clear();
    POINT screen {7, 9};
    ClientToScreen(video, &screen);
    DeliverPointerWheel(m_top, {37, 44}, 120);
    PumpPending();
    auto wheel = AtDrain(WM_MOUSEWHEEL, WM_MOUSEWHEEL);
    ASSERT_EQ(wheel.size(), 1u);
    EXPECT_EQ(wheel[0].lParam, MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(GET_Y_LPARAM(static_cast<LPARAM>(wheel[0].wParam)), 120);

    // Keys of the focused picture: each character arrives once, through the drain's own translation.
    RecordingClass::Log().clear();
    SetFocus(video);
    Presenter().TypeKey(m_top, 'A', u'a');
    PumpPending();
    auto keys = AtDrain(WM_KEYFIRST, WM_KEYLAST);
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(keys[1].message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>(u'a'));
    EXPECT_EQ(keys[2].message, static_cast<UINT>(WM_KEYUP));
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, FullScreenCoversTheOwnersMonitorAndGivesTheWindowBackUnchanged)
{
    MonitorDescription second;
    second.monitor = {1920, 0, 3200, 1024};
    second.work = second.monitor;
    Presenter().SetMonitors({m_defaultMonitors, second});
    MakeProgramWindow({2000, 100, 2400, 400});
    VideoSurface surface;
    surface.SetPosition(10, 5, 200, 150);
    surface.SetVisible(true);
    surface.SetMessageDrain(m_top);
    surface.SetOwner(m_host);
    HWND video = surface.Window();
    Pipeline pipeline(kAppSource, surface.CreateSink());
    pipeline.Play();
    PushFrame(pipeline.Source(), 0, Quadrants);
    ASSERT_TRUE(PumpUntil([&] { return surface.FramesPresented() >= 1; }));

    surface.SetFullScreen(true);
    ASSERT_TRUE(surface.IsFullScreen());
    HWND full = surface.Window();
    ASSERT_NE(full, video);
    EXPECT_EQ(GetAncestor(full, GA_ROOT), full);
    RECT r;
    GetWindowRect(full, &r);
    const RECT& m = second.monitor;
    EXPECT_EQ((std::array<LONG, 4> {r.left, r.top, r.right, r.bottom}), (std::array<LONG, 4> {m.left, m.top, m.right, m.bottom}));
    EXPECT_TRUE(Presenter().IsFullScreen(full));
    EXPECT_TRUE(Presenter().IsTopmost(full));
    EXPECT_TRUE(Presenter().IsShown(full));
    EXPECT_EQ(GetFocus(), full);
    EXPECT_FALSE(IsWindowVisible(video));
    PumpPending();
    EXPECT_EQ(Presenter().PixelAt(full, 100, 100), kRed);
    EXPECT_EQ(Presenter().PixelAt(full, 1200, 1000), kWhite);

    // New frames go to the full-screen picture; Escape is the program's to handle.
    PushFrame(pipeline.Source(), 1, [](int, int) { return kGreen; });
    ASSERT_TRUE(PumpUntil([&] { return Presenter().PixelAt(full, 640, 512) == kGreen; }));
    RecordingClass::Log().clear();
    Presenter().TypeKey(full, VK_ESCAPE);
    Presenter().Click(full, {640, 512});
    PumpPending();
    auto keys = AtDrain(WM_KEYDOWN, WM_KEYDOWN);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_ESCAPE));
    auto clicks = AtDrain(WM_LBUTTONDOWN, WM_LBUTTONDOWN);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].lParam, MAKELPARAM(1920 + 640 - 2000, 512 - 100));
    EXPECT_TRUE(surface.IsFullScreen());

    // Settings given meanwhile wait for the window.
    surface.SetPosition(12, 6, 200, 150);
    surface.SetFullScreen(false);
    EXPECT_FALSE(surface.IsFullScreen());
    EXPECT_FALSE(IsWindow(full));
    EXPECT_FALSE(Presenter().IsKnown(full));
    EXPECT_EQ(surface.Window(), video);
    EXPECT_EQ(GetParent(video), m_host);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(video, GWL_STYLE)), WS_CHILD | WS_CLIPSIBLINGS | WS_VISIBLE);
    EXPECT_EQ(PositionOf(surface), (std::array<int, 4> {12, 6, 200, 150}));
    PumpPending();
    EXPECT_EQ(PixelOf(video, {100, 75}), kGreen);
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, TheOwnerGoingEndsFullScreen)
{
    MakeProgramWindow();
    VideoSurface surface;
    surface.SetVisible(true);
    surface.SetOwner(m_host);
    surface.SetFullScreen(true);
    HWND full = surface.Window();
    ASSERT_TRUE(surface.IsFullScreen());
    // The full-screen window belongs to the program's window; the owner is only its video host.
    DestroyWindow(m_host);
    EXPECT_FALSE(IsWindow(full));
    EXPECT_FALSE(surface.IsFullScreen());
    EXPECT_EQ(surface.Window(), nullptr);
    surface.SetFullScreen(false);
    surface.SetFullScreen(true); // nothing to show full screen
    EXPECT_FALSE(surface.IsFullScreen());
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, ASinkOutlivingItsSurfaceKeepsStreaming)
{
    MakeProgramWindow();
    auto surface = std::make_unique<VideoSurface>();
    surface->SetVisible(true);
    surface->SetOwner(m_host);
    GstElement* sink = surface->CreateSink();
    Pipeline pipeline("videotestsrc is-live=true ! capsfilter caps=video/x-raw,width=320,height=240,framerate=30/1", sink);
    std::atomic<int> buffers = 0;
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer data) {
            ++*static_cast<std::atomic<int>*>(data);
            return GST_PAD_PROBE_OK;
        },
        &buffers, nullptr);
    gst_object_unref(pad);
    pipeline.Play();
    ASSERT_TRUE(PumpUntil([&] { return surface->FramesPresented() >= 2; }));
    HWND video = surface->Window();

    surface.reset();
    EXPECT_FALSE(IsWindow(video));
    int before = buffers;
    ASSERT_TRUE(PumpUntil([&] { return buffers >= before + 5; }));
    EXPECT_EQ(pipeline.Error(), "");
    pipeline.Stop();
    DestroyWindow(m_top);
}

TEST_F(VideoSurfaceTest, APictureSmallerThanTheFramesGetsThemScaledDownAndALargerOneTheFramesThemselves)
{
    MakeProgramWindow();
    VideoSurface surface;
    surface.SetVisible(true);
    surface.SetOwner(m_host);
    surface.SetPosition(0, 0, 320, 240);
    Pipeline pipeline("videotestsrc is-live=true pattern=red ! capsfilter caps=video/x-raw,format=YUY2,width=640,height=480,framerate=30/1",
        surface.CreateSink());
    pipeline.Play();
    auto presentedIs = [&](LONG width, LONG height) {
        SIZE size = surface.PresentedFrameSize();
        return size.cx == width && size.cy == height;
    };
    ASSERT_TRUE(PumpUntil([&] { return presentedIs(320, 240); })) << surface.PresentedFrameSize().cx;
    EXPECT_TRUE(Near(PixelOf(surface.Window(), {2, 2}), kRed));
    EXPECT_TRUE(Near(PixelOf(surface.Window(), {317, 237}), kRed));

    // Larger than the frames: the frames come as they are, and the paint stretches them.
    surface.SetPosition(0, 0, 800, 600);
    ASSERT_TRUE(PumpUntil([&] { return presentedIs(640, 480); })) << surface.PresentedFrameSize().cx;
    // Smaller in one direction only: still the frames themselves.
    surface.SetPosition(0, 0, 600, 500);
    unsigned long long presented = surface.FramesPresented();
    ASSERT_TRUE(PumpUntil([&] { return surface.FramesPresented() >= presented + 5; }));
    EXPECT_TRUE(presentedIs(640, 480)) << surface.PresentedFrameSize().cx << "x" << surface.PresentedFrameSize().cy;
    EXPECT_EQ(pipeline.Error(), "");
    DestroyWindow(m_top);
}
