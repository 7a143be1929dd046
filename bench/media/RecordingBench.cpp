// Recording 1280 x 720 at 30 frames per second with sound, as the program records: a virtual camera
// and microphone into the ASF writer (its profile edited by the capture engine) with the preview
// branch beside it, built with the media tests' CaptureGraph helpers. The file is read back by
// ffprobe and ffmpeg.
//
//   BM_Recording          CPU time of the whole process per second of recording (getrusage, user +
//                         system); counters: frames in the file against the frames its duration
//                         should hold (dropped), and the distance between the starts and the ends of
//                         the sound and the picture in the file (av_start_ms, av_end_ms).
//   BM_GstLaunchRecording the same encoding in a gst-launch-1.0 child (wait4 gives its CPU time):
//                         live test sources at the same caps, the same converters, avenc_wmv2 and
//                         avenc_wmav2 with the bit rates the recording uses, avmux_asf and filesink.
//
// What only the program does: the preview branch (grabber and renderer painting into a headless
// window), the camera's overlay, the per-frame time stamping and the encoder's rate control.
// LUMO_RECORDING_BENCH_SECONDS shortens the 60 seconds for a quick look.
#include "bench/media/MediaBenchSupport.h"
#include "capture/CaptureEngine.h"
#include "platform/media/MediaClasses.h"
#include "platform/sys/NativePath.h"
#include "tests/support/RecordedFile.h"
#include "tests/platform/media/MediaTestSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFramesPerSecond = 30;
constexpr int kVideoBitRate = 960000; // the profile's rate from 1000 pixels wide
constexpr int kAudioBitRate = 320000; // the same rate given to the sound stream, as the WMA encoder takes it at most

int Seconds()
{
    const char* text = std::getenv("LUMO_RECORDING_BENCH_SECONDS");
    int seconds = text ? std::atoi(text) : 0;
    return seconds > 0 ? seconds : 60;
}

std::filesystem::path BenchFolder()
{
    std::filesystem::path folder = std::filesystem::temp_directory_path() / ("lumo-recording-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

// Frames, duration and the sound against the picture in a recorded file.
void ReportFile(benchmark::State& state, const std::string& path)
{
    RecordedFile file = ProbeRecording(path);
    const RecordedFile::Stream* video = file.Of("video");
    const RecordedFile::Stream* audio = file.Of("audio");
    if (!video || !audio || !file.decodeErrors.empty()) {
        state.SkipWithError(("unreadable recording: " + file.decodeErrors).c_str());
        return;
    }
    // Frames against the span of the picture's packets; starts and ends of the two streams' packets.
    double videoSpan = video->packetEnd - video->firstPacket;
    double expected = videoSpan * kFramesPerSecond;
    state.counters["file_s"] = file.duration;
    state.counters["frames"] = file.videoFrames;
    state.counters["dropped"] = std::max(0.0, std::round(expected) - file.videoFrames);
    state.counters["av_start_ms"] = std::fabs(video->firstPacket - audio->firstPacket) * 1000;
    state.counters["av_end_ms"] = std::fabs(video->packetEnd - audio->packetEnd) * 1000;
    state.counters["av_header_ms"] = std::fabs(video->start - audio->start) * 1000;
}

void BM_Recording(benchmark::State& state)
{
    StartMediaLayer();
    ScopedVirtualDevices devices("video:Bench Cam|caps=YUY2 1280x720@30;audio:Bench Mic|caps=44100/2/16");
    std::filesystem::path folder = BenchFolder();
    HWND owner = CreateWindowExW(0, kBenchOwnerClass, u"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1282,
                                 858, nullptr, nullptr, nullptr, nullptr);
    CCaptureEngine engine; // only its writer profile edit is used
    for (auto _ : state) {
        std::string path = (folder / "bench.wmv").string();
        CaptureGraph g;
        ComPtr<IBaseFilter> writer;
        ComPtr<IFileSinkFilter> sink;
        ComPtr<IConfigAsfWriter2> config;
        bool built = SUCCEEDED(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), BindDevice(CLSID_AudioInputDeviceCategory, 0)))
            && SUCCEEDED(g.builder->SetOutputFileName(&MEDIASUBTYPE_Asf, FromNativePath(path).c_str(), &writer, &sink))
            && SUCCEEDED(writer.As(IID_IConfigAsfWriter2, config));
        if (built)
            engine.ConfigureWriterProfile(config, kWidth, kHeight, TRUE);
        built = built && SUCCEEDED(g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.video, nullptr, writer))
            && SUCCEEDED(g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, g.audio, nullptr, writer))
            && SUCCEEDED(g.RenderPreview(owner, kWidth, kHeight));
        if (!built) {
            state.SkipWithError("the recording graph could not be built");
            break;
        }
        double cpuBefore = ProcessCpuSeconds();
        auto started = Clock::now();
        g.control->Run();
        RunLoopUntil([] { return false; }, started + std::chrono::seconds(Seconds()));
        g.control->Stop();
        double wall = std::chrono::duration<double>(Clock::now() - started).count();
        double cpu = ProcessCpuSeconds() - cpuBefore;
        state.SetIterationTime(wall);
        state.counters["cpu_per_s"] = cpu / wall;
        g.TearDown();
        g.ReleaseAll();
        writer.Reset();
        sink.Reset();
        ReportFile(state, path);
    }
    DestroyWindow(owner);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Recording)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_GstLaunchRecording(benchmark::State& state)
{
    std::filesystem::path folder = BenchFolder();
    std::string videoPath = (folder / "launch-video.wmv").string();
    std::string audioPath = (folder / "launch-audio.wma").string();
    std::string size = "width=" + std::to_string(kWidth) + ",height=" + std::to_string(kHeight);
    // Each stream into a muxer of its own: the video encoder's output times start a thousand hours
    // late, and one muxer for both would hold the picture back behind the sound.
    std::vector<std::string> argv = { "gst-launch-1.0", "-q", "-e",
        "videotestsrc", "is-live=true", "pattern=zone-plate", "kx2=20", "ky2=20", "kt=1", "!", "video/x-raw,format=YUY2," + size + ",framerate=30/1", "!",
        "queue", "!", "videoconvert", "!", "videoscale", "add-borders=false", "!",
        "video/x-raw,format=I420," + size + ",pixel-aspect-ratio=1/1", "!",
        "avenc_wmv2", "bitrate=" + std::to_string(kVideoBitRate), "max-bframes=0", "gop-size=300", "!",
        "avmux_asf", "!", "filesink", "location=" + videoPath, "buffer-mode=unbuffered",
        "audiotestsrc", "is-live=true", "!", "audio/x-raw,rate=44100,channels=2", "!", "queue", "!", "audioconvert", "!",
        "audioresample", "!", "audio/x-raw,rate=44100", "!", "avenc_wmav2", "bitrate=" + std::to_string(kAudioBitRate),
        "!", "avmux_asf", "!", "filesink", "location=" + audioPath, "buffer-mode=unbuffered" };
    std::vector<char*> args;
    for (std::string& arg : argv)
        args.push_back(arg.data());
    args.push_back(nullptr);
    for (auto _ : state) {
        auto started = Clock::now();
        pid_t child = fork();
        if (child == 0) {
            execvp(args[0], args.data());
            _exit(127);
        }
        if (child < 0) {
            state.SkipWithError("gst-launch-1.0 did not start");
            break;
        }
        std::this_thread::sleep_for(std::chrono::seconds(Seconds()));
        kill(child, SIGINT); // -e: the end of the stream completes the files
        int status = 0;
        rusage usage {};
        // The child's own watchdog: a pipeline that does not end within 15 s more is killed.
        for (int waited = 0; wait4(child, &status, WNOHANG, &usage) == 0; waited += 10) {
            if (waited > 15000)
                kill(child, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        double wall = std::chrono::duration<double>(Clock::now() - started).count();
        state.SetIterationTime(wall);
        state.counters["cpu_per_s"] = CpuSeconds(usage) / wall;
        RecordedFile video = ProbeRecording(videoPath);
        RecordedFile audio = ProbeRecording(audioPath);
        state.counters["frames"] = video.videoFrames;
        state.counters["audio_s"] = audio.Of("audio") ? audio.Of("audio")->packetEnd - audio.Of("audio")->firstPacket : 0;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_GstLaunchRecording)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
