// The live preview as the program runs it: a virtual camera through the smart tee, the grabber and the
// default renderer, built with the media tests' CaptureGraph helpers, its renderer window painting in a
// headless top-level window while the thread's loop sleeps in WaitMessage between messages.
//
//   BM_LivePreview      CPU time of the whole process per second of preview (getrusage, user + system),
//                       frames painted into the renderer's window and frames reaching its sink per second.
//   BM_GstLaunchPreview the same stream through a gst-launch-1.0 child doing the same GStreamer work,
//                       measured over the same length of time, for comparison.
//   BM_RunToFirstFrame  time from IMediaControl::Run to the first frame the grabber holds.
//
// What the two preview measurements share: videotestsrc's live moving zone plate (the virtual camera's
// picture) at the camera's caps (YUY2, square pixels), a tee, a leaky queue of two frames, one conversion
// to BGRx without dithering (the renderer's sink converts, and scales only for a smaller picture) and a
// sink that waits for each frame's clock time. What only the program does: the virtual camera paints its
// corner markers into each frame; the grabber keeps a reference to the newest frame; the renderer's
// appsink hands the newest frame to the window thread with a posted message, and the window paints it
// with cairo and the headless presenter composes the top-level window. What only the child does:
// fpsdisplaysink counts the frames and prints a line ten times a second. So the difference between the
// two is, roughly, the price of the corner markers, of the message round trip and of painting every frame.
#include "bench/media/MediaBenchSupport.h"
#include "bench/support/BenchChild.h"
#include "platform/media/MediaClasses.h"
#include "platform/media/filters/VideoRenderer.h"
#include "tests/platform/media/MediaTestSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// One camera with both formats; a format is chosen through IAMStreamConfig, as the capture engine does.
constexpr const char* kBenchCamera = "video:Bench Cam|caps=YUY2 640x480@15,YUY2 1280x720@30";

struct Format {
    int capsIndex;
    int width;
    int height;
    int framesPerSecond;
};

constexpr Format kFormats[] = {{0, 640, 480, 15}, {1, 1280, 720, 30}};

// Long enough that the child's CPU time, counted in 10 ms clock ticks, is read to about 0.1 % of a core.
constexpr auto kMeasured = std::chrono::seconds(8);
// Caches warm, the queue and the sink in their steady state before the measured stretch starts.
constexpr auto kWarmUp = std::chrono::seconds(1);
constexpr auto kWatchdog = std::chrono::seconds(10);

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

std::string FormatLabel(const Format& format)
{
    return std::to_string(format.width) + "x" + std::to_string(format.height) + "@"
        + std::to_string(format.framesPerSecond);
}

// An owner window of the format's size with the preview graph rendering into all of it, stopped.
class Preview {
public:
    explicit Preview(const Format& format)
    {
        StartMediaLayer();
        m_owner = CreateWindowExW(0, kBenchOwnerClass, u"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
            format.width, format.height, nullptr, nullptr, nullptr, nullptr);
        if (!m_owner) {
            m_error = "cannot make the owner window";
            return;
        }
        if (FAILED(graph.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr)) || !graph.video) {
            m_error = "no graph with the virtual camera";
            return;
        }
        if (!ChooseFormat(format))
            return;
        if (FAILED(graph.RenderPreview(m_owner, format.width, format.height)) || !graph.window) {
            m_error = "the preview does not render";
            return;
        }
        auto* renderer = dynamic_cast<lumo::media::VideoRenderer*>(graph.window.Get());
        if (!renderer) {
            m_error = "the graph's window is not the default renderer";
            return;
        }
        m_surface = &renderer->Surface();
    }

    ~Preview()
    {
        if (graph.control)
            graph.control->Stop();
        graph.TearDown();
        graph.ReleaseAll();
        if (m_owner)
            DestroyWindow(m_owner);
        DispatchPending();
    }

    Preview(const Preview&) = delete;
    Preview& operator=(const Preview&) = delete;

    const char* Error() const { return m_error; }
    lumo::media::VideoSurface& Surface() const { return *m_surface; }

    CaptureGraph graph;

private:
    bool ChooseFormat(const Format& format)
    {
        ComPtr<IAMStreamConfig> config;
        if (FAILED(graph.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, graph.video,
                IID_IAMStreamConfig, reinterpret_cast<void**>(&config)))) {
            m_error = "the camera has no stream configuration";
            return false;
        }
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (config->GetStreamCaps(format.capsIndex, &type, reinterpret_cast<BYTE*>(&caps)) != S_OK) {
            m_error = "the camera lacks the capability";
            return false;
        }
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        bool matches = info && info->bmiHeader.biWidth == format.width
            && std::abs(info->bmiHeader.biHeight) == format.height;
        HRESULT set = matches ? config->SetFormat(type) : E_FAIL;
        DeleteMediaType(type);
        if (!matches)
            m_error = "the capability has another size than the benchmark expects";
        else if (FAILED(set))
            m_error = "the camera refuses the format";
        return SUCCEEDED(set) && matches;
    }

    HWND m_owner = nullptr;
    lumo::media::VideoSurface* m_surface = nullptr;
    const char* m_error = nullptr;
};

void BM_LivePreview(benchmark::State& state)
{
    const Format& format = kFormats[state.range(0)];
    state.SetLabel(FormatLabel(format) + " in-process");
    ScopedVirtualDevices devices(kBenchCamera);
    for (auto _ : state) {
        Preview preview(format);
        if (preview.Error()) {
            state.SkipWithError(preview.Error());
            return;
        }
        lumo::media::VideoSurface& surface = preview.Surface();
        if (FAILED(preview.graph.control->Run())) {
            state.SkipWithError("the graph does not run");
            return;
        }
        if (!RunLoopUntil([&] { return surface.FramesPresented() > 0; }, Clock::now() + kWatchdog)) {
            state.SkipWithError("no frame was painted");
            return;
        }
        LONG size = 0;
        if (FAILED(preview.graph.grabber->GetCurrentBuffer(&size, nullptr))
            || size != format.width * 3 * format.height) {
            state.SkipWithError("the grabber does not hold frames of the chosen size");
            return;
        }
        RunLoopUntil([] { return false; }, Clock::now() + kWarmUp);

        auto start = Clock::now();
        double cpuStart = ProcessCpuSeconds();
        unsigned long long presentedStart = surface.FramesPresented();
        unsigned long long receivedStart = surface.FramesReceived();
        RunLoopUntil([] { return false; }, start + kMeasured);
        double wall = Seconds(Clock::now() - start);
        double cpu = ProcessCpuSeconds() - cpuStart;
        state.SetIterationTime(wall);
        state.counters["cpu_per_s"] = cpu / wall;
        state.counters["frames_per_s"] = static_cast<double>(surface.FramesPresented() - presentedStart) / wall;
        state.counters["sink_frames_per_s"] = static_cast<double>(surface.FramesReceived() - receivedStart) / wall;
    }
}
BENCHMARK(BM_LivePreview)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The frames fpsdisplaysink has counted so far, from its newest "rendered: N" line; nothing before the first.
std::optional<unsigned long long> RenderedFrames(const std::string& output)
{
    constexpr std::string_view kKey = "rendered: ";
    size_t at = output.rfind(kKey);
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtoull(output.c_str() + at + kKey.size(), nullptr, 10);
}

std::vector<std::string> GstLaunchPipeline(const Format& format)
{
    std::string caps = "video/x-raw,format=YUY2,width=" + std::to_string(format.width) + ",height="
        + std::to_string(format.height) + ",framerate=" + std::to_string(format.framesPerSecond)
        + "/1,pixel-aspect-ratio=1/1";
    // -v prints fpsdisplaysink's counts as its last-message property changes.
    return {"gst-launch-1.0", "-v", "videotestsrc", "is-live=true", "pattern=zone-plate", "kx2=20", "ky2=20", "kt=1", "!", caps, "!", "tee",
        "allow-not-linked=true", "!", "queue", "leaky=downstream", "max-size-buffers=2", "max-size-bytes=0",
        "max-size-time=0", "!", "videoconvert", "dither=none", "!", "video/x-raw,format=BGRx", "!",
        "fpsdisplaysink", "text-overlay=false", "video-sink=fakesink", "sync=true", "fps-update-interval=100"};
}

void BM_GstLaunchPreview(benchmark::State& state)
{
    const Format& format = kFormats[state.range(0)];
    state.SetLabel(FormatLabel(format) + " gst-launch-1.0");
    for (auto _ : state) {
        BenchChild child(GstLaunchPipeline(format));
        if (!child.Started()) {
            state.SkipWithError("gst-launch-1.0 cannot start");
            return;
        }
        // Its start (the plug-in registry, the pipeline's construction) is not part of the preview.
        auto deadline = Clock::now() + kWatchdog;
        while (RenderedFrames(child.Output()).value_or(0) == 0 && !child.Exited() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (RenderedFrames(child.Output()).value_or(0) == 0) {
            std::fprintf(stderr, "%s\n", child.Output().c_str());
            state.SkipWithError("the gst-launch-1.0 pipeline shows no frames");
            return;
        }
        std::this_thread::sleep_for(kWarmUp);

        auto start = Clock::now();
        std::optional<double> cpuStart = child.CpuSeconds();
        std::optional<unsigned long long> framesStart = RenderedFrames(child.Output());
        std::this_thread::sleep_for(kMeasured);
        std::optional<double> cpuEnd = child.CpuSeconds();
        std::optional<unsigned long long> framesEnd = RenderedFrames(child.Output());
        double wall = Seconds(Clock::now() - start);
        if (!cpuStart || !cpuEnd || !framesStart || !framesEnd || child.Exited()) {
            state.SkipWithError("the gst-launch-1.0 child ended early or cannot be read");
            return;
        }
        child.Stop();
        state.SetIterationTime(wall);
        state.counters["cpu_per_s"] = (*cpuEnd - *cpuStart) / wall;
        state.counters["frames_per_s"] = static_cast<double>(*framesEnd - *framesStart) / wall;
    }
}
BENCHMARK(BM_GstLaunchPreview)->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// From Run to the first frame in the grabber, with the graph built beforehand each time. The thread
// dispatches what the graph posts and looks at the grabber every 0.1 ms.
void BM_RunToFirstFrame(benchmark::State& state)
{
    const Format& format = kFormats[state.range(0)];
    state.SetLabel(FormatLabel(format));
    ScopedVirtualDevices devices(kBenchCamera);
    double runCallSeconds = 0;
    for (auto _ : state) {
        Preview preview(format);
        if (preview.Error()) {
            state.SkipWithError(preview.Error());
            return;
        }
        ISampleGrabber* grabber = preview.graph.grabber;
        auto start = Clock::now();
        if (FAILED(preview.graph.control->Run())) {
            state.SkipWithError("the graph does not run");
            return;
        }
        runCallSeconds += Seconds(Clock::now() - start);
        LONG size = 0;
        auto deadline = start + kWatchdog;
        while (!(SUCCEEDED(grabber->GetCurrentBuffer(&size, nullptr)) && size > 0) && Clock::now() < deadline) {
            DispatchPending();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        auto end = Clock::now();
        if (size <= 0) {
            state.SkipWithError("no frame reached the grabber");
            return;
        }
        state.SetIterationTime(Seconds(end - start));
    }
    // How much of it the call itself takes: the pipeline's construction and its change to PLAYING.
    state.counters["run_call_ms"] = runCallSeconds * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RunToFirstFrame)->Arg(0)->Arg(1)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
