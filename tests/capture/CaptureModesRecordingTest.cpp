// The capture engine's resolution modes and recording on virtual devices: the mode classes against
// the screen height and the preference of uncompressed formats, the one forced 640 x 480 format,
// the writer's profile, files that end with a lost camera or a stream error, and photos taken
// while recording. The files are read back by ffprobe and ffmpeg.
#include "platform/media/filters/AsfWriter.h"
#include "platform/sys/NativePath.h"
#include "tests/capture/CaptureEngineFixture.h"
#include "tests/support/DecodedPhoto.h"
#include "tests/support/RecordedFile.h"
#include "tests/capture/ScriptedCaptureBuilder.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr REFERENCE_TIME kPreviewFrameTime = 667111; // what the preview asks of every camera

class CaptureModesRecordingTest : public CaptureEngineFixture {
protected:
    void TearDown() override
    {
        SetScreenHeight(1080);
        CaptureEngineFixture::TearDown();
    }

    void SetScreenHeight(LONG height)
    {
        MonitorDescription screen;
        screen.monitor = {0, 0, 1920, height};
        screen.work = {0, 0, 1920, height - 40};
        screen.primary = true;
        Presenter().SetMonitors({screen});
    }

    struct Size {
        int width = 0;
        int height = 0;
        bool operator==(const Size&) const = default;
    };
    // The size of a mode, or 0 x 0 when the engine reports none.
    static Size ModeSize(const CCaptureEngine& engine, int mode)
    {
        Size size;
        if (!engine.GetModeSize(mode, &size.width, &size.height))
            return {};
        return size;
    }

    std::string FilePath(const std::string& name) const { return m_temp.Native(name); }

    // Records for about `ms` of real time (pumping) and stops.
    void RecordFor(CCaptureEngine& engine, const std::string& path, DWORD ms)
    {
        ASSERT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 1);
        EXPECT_TRUE(engine.IsCapturing());
        DWORD until = GetTickCount() + ms;
        PumpUntil([&] { return static_cast<LONG>(GetTickCount() - until) >= 0; }, ms + 5000);
        EXPECT_EQ(engine.StopRecording(), 1);
    }
};

std::string Describe(const ScriptedCapability& format)
{
    return std::string(reinterpret_cast<const char*>(&format.subtype.Data1), 4) + ' ' + std::to_string(format.width) + 'x'
        + std::to_string(format.height) + " t" + std::to_string(format.frameTime);
}

// The SetFormat calls that set a capability itself (not the preview's frame rate).
std::vector<ScriptedCapability> CapabilitiesSet(const ScopedScriptedCaptureBuilder& builder)
{
    std::vector<ScriptedCapability> set;
    for (const ScriptedCapability& format : builder.FormatsSet()) {
        if (format.frameTime != kPreviewFrameTime)
            set.push_back(format);
    }
    return set;
}

bool SameFormat(const ScriptedCapability& a, const ScriptedCapability& b)
{
    return a.subtype == b.subtype && a.width == b.width && a.height == b.height && a.frameTime == b.frameTime;
}

TEST_F(CaptureModesRecordingTest, TheModesFollowTheScreenHeight)
{
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 320x240,YUY2 640x360,YUY2 640x480,YUY2 720x576,YUY2 800x600,"
                                 "YUY2 1280x720");
    struct Screen {
        LONG height;
        Size mode2;
        Size mode3;
    };
    // The limit is the height minus 270: 498 on 768 pixels, 810 on 1080; 576 fits exactly on 846.
    for (const Screen& screen : { Screen {768, {}, {}}, Screen {1080, {720, 576}, {1280, 720}},
                                  Screen {846, {720, 576}, {}}, Screen {845, {}, {}}, Screen {270, {}, {}} }) {
        SCOPED_TRACE(screen.height);
        SetScreenHeight(screen.height);
        CCaptureEngine engine;
        engine.Initialize(m_video);
        ASSERT_TRUE(engine.IsPreviewing());
        EXPECT_EQ(ModeSize(engine, 1), (Size {640, 480})) << "640 x 480 has no screen limit";
        EXPECT_EQ(ModeSize(engine, 2), screen.mode2);
        EXPECT_EQ(ModeSize(engine, 3), screen.mode3);
        EXPECT_EQ(ModeSize(engine, 0), Size {});
        EXPECT_EQ(ModeSize(engine, 4), Size {});
        engine.Shutdown();
    }
    // On a screen of 270 pixels or less the limit is the height itself.
    SetScreenHeight(260);
    ScopedVirtualDevices small("video:Cam|caps=YUY2 640x480,YUY2 720x256,YUY2 800x260,YUY2 1024x262");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    EXPECT_EQ(ModeSize(engine, 2), (Size {720, 256}));
    EXPECT_EQ(ModeSize(engine, 3), (Size {800, 260})) << "262 is past the limit";
    engine.Shutdown();
}

TEST_F(CaptureModesRecordingTest, UncompressedFormatsArePreferredAndMode3IsTheWidest)
{
    ScopedVirtualDevices devices("video:Cam");
    const GUID mjpg = MEDIASUBTYPE_MJPG;
    const GUID yuy2 = MEDIASUBTYPE_YUY2;
    {
        // 640 x 480 as MJPG first and YUY2 later: YUY2, and no later MJPG replaces it. Mode 3:
        // 1280 x 720 MJPG stays (the YUY2 entry is narrower), a wider MJPG after it is skipped.
        ScopedScriptedCaptureBuilder builder({ {mjpg, 640, 480, 1}, {yuy2, 640, 480, 2}, {mjpg, 640, 480, 3},
                                               {mjpg, 1280, 720, 4}, {yuy2, 1024, 768, 5}, {mjpg, 1600, 800, 6},
                                               {mjpg, 720, 480, 7}, {mjpg, 760, 480, 8} });
        CCaptureEngine engine;
        engine.Initialize(m_video);
        ASSERT_TRUE(engine.IsPreviewing());
        EXPECT_EQ(ModeSize(engine, 3), (Size {1280, 720}));
        EXPECT_EQ(ModeSize(engine, 2), (Size {760, 480})) << "among MJPG only, the last one listed";
        size_t before = builder.FormatsSet().size();
        ASSERT_EQ(engine.SetResolution(1), 1);
        ASSERT_GT(builder.FormatsSet().size(), before);
        EXPECT_TRUE(SameFormat(builder.FormatsSet()[before], {yuy2, 640, 480, 2})) << Describe(builder.FormatsSet()[before]);
        before = builder.FormatsSet().size();
        ASSERT_EQ(engine.SetResolution(3), 1);
        EXPECT_TRUE(SameFormat(builder.FormatsSet()[before], {mjpg, 1280, 720, 4})) << Describe(builder.FormatsSet()[before]);
        EXPECT_EQ(engine.CurrentResolutionMode(), 3);
        EXPECT_TRUE(engine.IsPreviewing()) << "the preview is rebuilt and started";
        engine.Shutdown();
    }
    {
        // Only MJPG at 640 x 480: the last entry. Equal widths for mode 3: the later one.
        ScopedScriptedCaptureBuilder builder({ {mjpg, 640, 480, 1}, {mjpg, 640, 480, 2}, {yuy2, 1280, 720, 3},
                                               {yuy2, 1280, 640, 4} });
        CCaptureEngine engine;
        engine.Initialize(m_video);
        EXPECT_EQ(ModeSize(engine, 3), (Size {1280, 640}));
        size_t before = builder.FormatsSet().size();
        ASSERT_EQ(engine.SetResolution(1), 1);
        EXPECT_TRUE(SameFormat(builder.FormatsSet()[before], {mjpg, 640, 480, 2})) << Describe(builder.FormatsSet()[before]);
        engine.Shutdown();
    }
    {
        // Capability structures of another size: no mode at all.
        ScopedScriptedCaptureBuilder builder({ {yuy2, 640, 480, 1}, {yuy2, 1280, 720, 2} }, 64);
        CCaptureEngine engine;
        engine.Initialize(m_video);
        EXPECT_TRUE(engine.IsPreviewing());
        for (int mode = 1; mode <= 3; ++mode)
            EXPECT_EQ(ModeSize(engine, mode), Size {}) << mode;
        engine.Shutdown();
    }
    EXPECT_TRUE(Messages().empty());
}

TEST_F(CaptureModesRecordingTest, TheUncompressedDefaultFormatIsForcedOncePerRun)
{
    ScopedVirtualDevices devices("video:First;video:Second");
    const GUID mjpg = MEDIASUBTYPE_MJPG;
    const GUID yuy2 = MEDIASUBTYPE_YUY2;
    ScopedScriptedCaptureBuilder builder({ {mjpg, 640, 480, 1}, {yuy2, 1280, 720, 2}, {yuy2, 640, 360, 3},
                                           {yuy2, 640, 480, 4}, {MEDIASUBTYPE_RGB24, 640, 480, 5} });
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    std::vector<ScriptedCapability> forced = CapabilitiesSet(builder);
    ASSERT_EQ(forced.size(), 1u);
    EXPECT_TRUE(SameFormat(forced[0], {yuy2, 640, 480, 4})) << Describe(forced[0]);
    // Another device and the first again: the filter set is built anew, the format is not forced again.
    ASSERT_EQ(engine.SelectDevice(1, 0), 1);
    ASSERT_EQ(engine.SelectDevice(0, 0), 1);
    EXPECT_EQ(CapabilitiesSet(builder).size(), 1u);
    engine.Shutdown();
    EXPECT_EQ(engine.CurrentResolutionMode(), 0) << "a newly opened device is in its own format";
}

TEST_F(CaptureModesRecordingTest, AMissingMode2IsStoredAndRecordsAt640x480WithoutSound)
{
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 640x480@30,YUY2 1280x720@30");
    const GUID yuy2 = MEDIASUBTYPE_YUY2;
    ScopedScriptedCaptureBuilder builder({ {yuy2, 640, 480, 1}, {yuy2, 1280, 720, 2} });
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    EXPECT_EQ(ModeSize(engine, 2), Size {});
    ScriptedCapability current = builder.CurrentFormat();
    size_t before = builder.FormatsSet().size();
    EXPECT_EQ(engine.SetResolution(2), 1);
    EXPECT_EQ(engine.CurrentResolutionMode(), 2);
    ASSERT_GT(builder.FormatsSet().size(), before);
    EXPECT_TRUE(SameFormat(builder.FormatsSet()[before], current)) << "the unchanged format is set back";
    EXPECT_EQ(engine.SetResolution(0), 0);
    EXPECT_EQ(engine.SetResolution(4), 0);
    EXPECT_EQ(engine.CurrentResolutionMode(), 2);

    std::string fallback = FilePath("fallback.wmv");
    RecordFor(engine, fallback, 1500);
    RecordedFile file = ProbeRecording(fallback);
    ASSERT_TRUE(file.readable) << fallback;
    EXPECT_EQ(file.decodeErrors, "");
    EXPECT_EQ(file.streams.size(), 1u) << "no microphone, no sound stream";
    ASSERT_TRUE(file.Of("video"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_EQ(file.Of("video")->width, 640);
    EXPECT_EQ(file.Of("video")->height, 480);

    // Mode 3 reaches the writer.
    ASSERT_EQ(engine.SetResolution(3), 1);
    std::string wide = FilePath("wide.wmv");
    RecordFor(engine, wide, 1500);
    file = ProbeRecording(wide);
    ASSERT_TRUE(file.Of("video")) << wide;
    EXPECT_EQ(file.Of("video")->width, 1280);
    EXPECT_EQ(file.Of("video")->height, 720);
    EXPECT_EQ(file.decodeErrors, "");
    EXPECT_TRUE(engine.IsPreviewing()) << "the preview runs again after the recording";
    EXPECT_TRUE(Messages().empty());
    engine.Shutdown();
}

// The video stream of a profile the layer made.
const lumo::media::ProfileStream* VideoStream(const std::vector<lumo::media::ProfileStream>& streams)
{
    for (const auto& stream : streams) {
        if (stream.type.Get().majortype == WMMEDIATYPE_Video)
            return &stream;
    }
    return nullptr;
}

TEST_F(CaptureModesRecordingTest, TheWriterProfileTakesTheSizeAndTheBitRateOfTheWidth)
{
    CCaptureEngine engine;
    struct Case {
        int width;
        int height;
        DWORD bitRate;
    };
    for (const Case& c : { Case {640, 480, 480000}, Case {800, 600, 640000}, Case {998, 560, 640000},
                           Case {1000, 562, 960000}, Case {1280, 720, 960000}, Case {320, 240, 640000} }) {
        SCOPED_TRACE(c.width);
        ComPtr<IWMProfile> profile;
        ASSERT_EQ(lumo::media::CreateProfile(lumo::media::DefaultProfileStreams(), &profile), S_OK);
        auto* writer = new ScriptedAsfWriter(profile);
        EXPECT_EQ(engine.ConfigureWriterProfile(writer, c.width, c.height, TRUE), S_OK);
        EXPECT_GE(writer->Configurations(), 1);
        std::vector<lumo::media::ProfileStream> streams;
        ASSERT_TRUE(lumo::media::ProfileStreams(profile, &streams));
        ASSERT_EQ(streams.size(), 2u) << "the sound stays";
        const lumo::media::ProfileStream* video = VideoStream(streams);
        ASSERT_TRUE(video);
        EXPECT_EQ(video->bitRate, c.bitRate);
        const VIDEOINFOHEADER* info = video->type.VideoInfo();
        ASSERT_TRUE(info);
        EXPECT_EQ(info->bmiHeader.biWidth, c.width);
        EXPECT_EQ(info->bmiHeader.biHeight, c.height);
        EXPECT_EQ(info->dwBitRate, c.bitRate);
        DWORD rowBytes = static_cast<DWORD>(((c.width * info->bmiHeader.biBitCount + 31) & ~31) / 8);
        EXPECT_EQ(info->bmiHeader.biSizeImage, rowBytes * static_cast<DWORD>(c.height));
        EXPECT_EQ(video->type.Get().lSampleSize, info->bmiHeader.biSizeImage);
        EXPECT_EQ(info->rcSource.right, c.width);
        EXPECT_EQ(info->rcTarget.bottom, c.height);
        writer->Release();
    }
}

TEST_F(CaptureModesRecordingTest, WithoutSoundStreamOneGoesAndAProfileOfThreeStreamsStaysAsItIs)
{
    CCaptureEngine engine;
    {
        ComPtr<IWMProfile> profile;
        ASSERT_EQ(lumo::media::CreateProfile(lumo::media::DefaultProfileStreams(), &profile), S_OK);
        auto* writer = new ScriptedAsfWriter(profile);
        engine.ConfigureWriterProfile(writer, 1280, 720, FALSE);
        std::vector<lumo::media::ProfileStream> streams;
        ASSERT_TRUE(lumo::media::ProfileStreams(profile, &streams));
        ASSERT_EQ(streams.size(), 1u);
        EXPECT_EQ(streams[0].type.Get().majortype, WMMEDIATYPE_Video);
        EXPECT_EQ(streams[0].bitRate, 960000u);
        EXPECT_EQ(streams[0].type.VideoInfo()->bmiHeader.biWidth, 1280);
        writer->Release();
    }
    {
        std::vector<lumo::media::ProfileStream> three = lumo::media::DefaultProfileStreams();
        three.push_back(three[1]);
        three[2].number = 3;
        ComPtr<IWMProfile> profile;
        ASSERT_EQ(lumo::media::CreateProfile(three, &profile), S_OK);
        auto* writer = new ScriptedAsfWriter(profile);
        EXPECT_EQ(engine.ConfigureWriterProfile(writer, 1280, 720, FALSE), 1);
        EXPECT_EQ(writer->Configurations(), 0);
        std::vector<lumo::media::ProfileStream> streams;
        ASSERT_TRUE(lumo::media::ProfileStreams(profile, &streams));
        ASSERT_EQ(streams.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(streams[i].bitRate, three[i].bitRate) << i;
            if (const VIDEOINFOHEADER* info = streams[i].type.VideoInfo()) {
                EXPECT_EQ(info->bmiHeader.biWidth, 640) << i;
            }
        }
        writer->Release();
    }
}

TEST_F(CaptureModesRecordingTest, ALostCameraEndsTheRecordingWithAFileThatPlays)
{
    ScopedVirtualDevices devices("video:Loose|caps=YUY2 640x480@30|fault=removed-after:75;audio:Mic");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    std::string path = FilePath("lost.wmv");
    ASSERT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 1);
    size_t handled = 0;
    ASSERT_TRUE(HandleNextGraphEvent(engine, &handled));
    EXPECT_FALSE(engine.IsCapturing());
    EXPECT_FALSE(engine.IsUsable());
    EXPECT_EQ(Messages(), (std::vector<WString> {u"停止捕获（设备丢失）。请选择新的摄像头设备。"}));
    RecordedFile file = ProbeRecording(path);
    ASSERT_TRUE(file.readable);
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_EQ(file.Of("audio")->codec, "wmav2");
    EXPECT_EQ(file.Of("video")->width, 640);
    EXPECT_GT(file.videoFrames, 10);
    // The engine asks 14.99 frames per second of every camera: the frames before the loss, in order.
    EXPECT_LE(file.videoFrames, 75);
    EXPECT_NEAR(file.duration, file.videoFrames / 14.99, 0.5) << "frames " << file.videoFrames;
    // Stopping afterwards finds nothing to stop and says nothing.
    EXPECT_EQ(engine.StopCapture(), 0);
    EXPECT_EQ(Messages().size(), 1u);
    engine.Shutdown();
}

TEST_F(CaptureModesRecordingTest, AStreamErrorEndsTheRecordingWithAFileThatPlaysAndThePreviewReturns)
{
    ScopedVirtualDevices devices("video:Flaky|caps=YUY2 640x480@30|fault=error-after:75;audio:Mic");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    std::string path = FilePath("error.wmv");
    ASSERT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 1);
    size_t handled = 0;
    ASSERT_TRUE(HandleNextGraphEvent(engine, &handled));
    EXPECT_FALSE(engine.IsCapturing());
    EXPECT_TRUE(engine.IsPreviewing()) << "the preview is rebuilt after the error";
    EXPECT_TRUE(engine.IsUsable());
    EXPECT_TRUE(Messages().empty());
    RecordedFile file = ProbeRecording(path);
    ASSERT_TRUE(file.readable);
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_EQ(file.Of("audio")->codec, "wmav2");
    EXPECT_GT(file.videoFrames, 10);
    engine.Shutdown();
}

TEST_F(CaptureModesRecordingTest, StoppingWhenNotCapturingSaysNothingAndPhotosWorkWhileRecording)
{
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    EXPECT_EQ(engine.StopCapture(), 0);
    EXPECT_EQ(engine.StartCapture(), 0) << "no capture graph is built";
    EXPECT_TRUE(Messages().empty());

    std::string path = FilePath("with-photo.wmv");
    ASSERT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 1);
    EXPECT_EQ(engine.StartCapture(), 1) << "already capturing";
    EXPECT_EQ(engine.BuildCaptureGraph(), 1) << "already built";
    std::string photo = FilePath("during.jpg");
    ASSERT_TRUE(PumpUntil([&] {
        engine.TakeSnapshot(Utf8ToWide(photo).c_str());
        return std::filesystem::exists(photo);
    }));
    EXPECT_EQ(DecodedSize(photo), "640x480");
    // The photo may come before the first frame reached the file: record a while longer.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    PumpUntil([&] { return std::chrono::steady_clock::now() >= until; }, 5000);
    EXPECT_TRUE(engine.IsCapturing());
    EXPECT_EQ(engine.StopRecording(), 1);
    EXPECT_FALSE(engine.IsCapturing());
    EXPECT_TRUE(engine.IsPreviewing());
    RecordedFile file = ProbeRecording(path);
    EXPECT_EQ(file.decodeErrors, "");
    EXPECT_EQ(file.Count("video"), 1);
    EXPECT_EQ(file.Count("audio"), 1);
    EXPECT_TRUE(Messages().empty());
    engine.Shutdown();
}

} // namespace
