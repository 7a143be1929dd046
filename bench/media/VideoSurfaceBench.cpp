// The live picture's cost on the user-interface thread: painting one 1280 x 720 frame into the
// renderer's window (the same size, the full screen, and a small preview), and the conversion of a
// camera's I420 frame in the sink's streaming thread. At 30 frames per second a frame has 33 ms.
#include "bench/media/MediaBenchSupport.h"
#include "platform/media/renderer/VideoSurface.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/presenters/HeadlessPresenter.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

using lumo::media::VideoSurface;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
// A broken setup ends the benchmark instead of hanging it.
constexpr auto kWatchdog = std::chrono::seconds(5);

// An owner window of the given client size with the surface filling it, fed by an appsrc of
// 1280 x 720 frames in `format`.
struct Stage {
    HWND owner = nullptr;
    VideoSurface surface;
    GstElement* pipeline = nullptr;
    GstElement* source = nullptr;
    gsize frameSize = 0;

    Stage(int width, int height, const char* format)
    {
        static bool ready = [] {
            InstallPresenter(CreateHeadlessPresenter());
            gst_init(nullptr, nullptr);
            WNDCLASSEXW wc {};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = DefWindowProcW;
            wc.lpszClassName = u"VideoBenchOwner";
            RegisterClassExW(&wc);
            return true;
        }();
        (void)ready;
        owner = CreateWindowExW(0, u"VideoBenchOwner", u"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width,
            height, nullptr, nullptr, nullptr, nullptr);
        surface.SetPosition(0, 0, width, height);
        surface.SetVisible(true);
        surface.SetOwner(owner);

        pipeline = gst_pipeline_new(nullptr);
        source = gst_element_factory_make("appsrc", nullptr);
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, "width", G_TYPE_INT, kWidth,
            "height", G_TYPE_INT, kHeight, "framerate", GST_TYPE_FRACTION, 30, 1, nullptr);
        g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, nullptr);
        gst_caps_unref(caps);
        GstVideoInfo info;
        gst_video_info_set_format(&info, gst_video_format_from_string(format), kWidth, kHeight);
        frameSize = GST_VIDEO_INFO_SIZE(&info);
        GstElement* sink = surface.CreateSink();
        gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
        gst_element_link(source, sink);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
    }

    ~Stage()
    {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        DestroyWindow(owner);
        DispatchPending();
    }

    // A frame of a smooth gradient, so the conversion does real work; time stamps that are due at once.
    void Push()
    {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frameSize, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        for (gsize i = 0; i < map.size; ++i)
            map.data[i] = static_cast<guint8>(i * 7 / 13);
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = 0;
        gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
    }
};

void BM_PaintOneFrame(benchmark::State& state)
{
    Stage stage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), "BGRx");
    stage.Push();
    if (!RunLoopUntil([&] { return stage.surface.FramesPresented() >= 1; }, BenchClock::now() + kWatchdog)) {
        state.SkipWithError("no frame reached the window");
        return;
    }
    HWND window = stage.surface.Window();
    int updates = CurrentHeadlessPresenter()->SurfaceUpdates(stage.owner);
    for (auto _ : state) {
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
    }
    // Each paint reaches the screen: one update of the owner's picture per iteration.
    state.counters["screen updates per paint"] = static_cast<double>(CurrentHeadlessPresenter()->SurfaceUpdates(stage.owner) - updates)
        / static_cast<double>(state.iterations());
    state.SetLabel("1280x720 frame into " + std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)));
}
BENCHMARK(BM_PaintOneFrame)->Args({1280, 720})->Args({1920, 1080})->Args({640, 360})->Unit(benchmark::kMillisecond);

// A camera frame through the sink: conversion from I420 on the streaming thread, then the paint.
void BM_ConvertAndPaintOneCameraFrame(benchmark::State& state)
{
    Stage stage(kWidth, kHeight, "I420");
    for (auto _ : state) {
        unsigned long long presented = stage.surface.FramesPresented();
        stage.Push();
        if (!RunLoopUntil([&] { return stage.surface.FramesPresented() > presented; }, BenchClock::now() + kWatchdog)) {
            state.SkipWithError("the frame did not reach the window");
            return;
        }
    }
}
// CPU time of the whole process: the conversion runs on the streaming thread.
BENCHMARK(BM_ConvertAndPaintOneCameraFrame)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace
