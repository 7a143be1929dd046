// Recording from the main window with the real engines: the record command starts and stops (the
// clock, the title, the toolbar, the file in the videos folder read back by ffprobe), the HD link
// refused while recording and on a camera without an HD mode, recording refused without a live
// picture, the clock's texts, and a missing video encoder.
#include "MainWindowTestSupport.h"

#include "app/StartUp.h"
#include "platform/media/gst/RecordingBin.h"
#include "tests/support/RecordedFile.h"
#include "ui/StatusText.h"

#include <gst/gst.h>

#include <chrono>
#include <filesystem>

namespace {

constexpr WCHAR kIdleTitle[] = u"Lumo";
constexpr WCHAR kRecordingTitle[] = u"Lumo  视频录制中 …";
constexpr WCHAR kRefusedWhileRecording[] = u"录像时无法切换视频模式！";
constexpr WCHAR kNoHdMode[] = u"该设备暂不支持高清模式！";
constexpr WCHAR kComponentMissing[] = u"暂时无法录制视频，可能是系统文件丢失。\r\n建议您重新安装 Windows Media Player 尝试解决此问题。";
constexpr WCHAR kClockPrefix[] = u"<.style>underline=false;size=9;color=rgb(255,255,255);hovercolor=rgb(255,0,0);bold=false;</.style>录制时间：";
constexpr const char* kCameraWithSound = "video:Cam|caps=YUY2 640x480@30,YUY2 1280x720@30;audio:Mic";

// Hides a GStreamer element from the registry while it lives, as on a system without it.
class ScopedHiddenElement {
public:
    explicit ScopedHiddenElement(const char* name)
    {
        gst_init(nullptr, nullptr);
        m_feature = gst_registry_lookup_feature(gst_registry_get(), name);
        if (m_feature)
            gst_registry_remove_feature(gst_registry_get(), m_feature);
    }
    ~ScopedHiddenElement()
    {
        if (!m_feature)
            return;
        gst_registry_add_feature(gst_registry_get(), m_feature); // the registry takes a reference of its own
        gst_object_unref(m_feature);
    }
    ScopedHiddenElement(const ScopedHiddenElement&) = delete;
    ScopedHiddenElement& operator=(const ScopedHiddenElement&) = delete;
    bool Hidden() const { return m_feature != nullptr; }

private:
    GstPluginFeature* m_feature = nullptr;
};

std::string Utf8Of(const WCHAR* text)
{
    return WideToUtf8(text);
}

class MainDlgRecordingTest : public MainWindowTest {
protected:
    void Command(WORD command) { SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0); }

    WString Title() const
    {
        WCHAR text[128] = {};
        GetWindowTextW(m_dialog, text, 128);
        return text;
    }
    std::filesystem::path VideoFolder() const
    {
        return std::filesystem::path(m_temp.Native("home/Documents")) / "Tern摄像头" / "视频";
    }
    std::vector<std::filesystem::path> Videos() const
    {
        std::vector<std::filesystem::path> files;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(VideoFolder(), ignored))
            files.push_back(entry.path());
        return files;
    }
    // A fingerprint of the toolbar's picture as the presenter shows it.
    std::vector<long> ToolbarPicture()
    {
        HWND toolbar = m_dialog.GetDlgItem(1000);
        RECT r {};
        ::GetClientRect(toolbar, &r);
        std::vector<long> pixels;
        for (LONG y = 0; y < r.bottom; y += 2) {
            for (LONG x = 0; x < r.right; x += 2)
                pixels.push_back(PixelOf(toolbar, {x, y}));
        }
        return pixels;
    }
    // Real time passes with the media while the test clock gives timer 1 one tick per second.
    void RecordSeconds(int seconds)
    {
        for (int i = 0; i < seconds; ++i) {
            auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            PumpFilteredUntil([&] { return std::chrono::steady_clock::now() >= until; }, 5000);
            AdvanceClock(1000);
        }
    }
    void SetUp() override
    {
        MainWindowTest::SetUp();
        // The documents folder exists, as on a desktop (a missing one is no special folder).
        std::filesystem::create_directories(m_temp.Native("home/Documents"));
    }
    void OpenWithCamera(const char* devices)
    {
        OpenMainWindow(devices);
        RunStartCheck();
        ASSERT_TRUE(m_dialog.GetCaptureEngine().IsUsable());
    }
};

TEST_F(MainDlgRecordingTest, TheRecordCommandStartsAndStopsAVideoNamedByItsStart)
{
    OpenWithCamera(kCameraWithSound);
    PumpFiltered();
    std::vector<long> idleToolbar = ToolbarPicture();
    EXPECT_EQ(Title(), kIdleTitle);
    SYSTEMTIME start {};
    GetLocalTime(&start);

    auto started = std::chrono::steady_clock::now();
    Command(10001);
    EXPECT_TRUE(m_dialog.IsRecording());
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsCapturing());
    EXPECT_EQ(Title(), kRecordingTitle);
    PumpFiltered();
    std::vector<long> recordingToolbar = ToolbarPicture();
    EXPECT_NE(recordingToolbar, idleToolbar) << "the record button shows its stop form";
    EXPECT_EQ(ControlText(1021), u"") << "the clock starts empty";

    RecordSeconds(1);
    EXPECT_EQ(ControlText(1021), WString(kClockPrefix) + u"00:00:01 ");
    RecordSeconds(2);
    EXPECT_EQ(ControlText(1021), WString(kClockPrefix) + u"00:00:03 ");
    Command(10001);
    double recorded = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(m_dialog.IsRecording());
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsCapturing());
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsPreviewing()) << "the live picture returns";
    EXPECT_EQ(Title(), kIdleTitle);
    EXPECT_EQ(ControlText(1021), u"") << "stopping empties the clock";
    PumpFiltered();
    EXPECT_EQ(ToolbarPicture(), idleToolbar);
    // Three more ticks change nothing: timer 1 is gone.
    AdvanceClock(3000);
    EXPECT_EQ(ControlText(1021), u"");

    // The strip shows the video, and the file is named by the time of the start.
    EXPECT_TRUE(m_dialog.GetStrip().IsWindowVisible());
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 1);
    char name[64];
    std::snprintf(name, sizeof name, "%4d%02d%02d%02d%02d%02d.wmv", start.wYear, start.wMonth, start.wDay, start.wHour,
                  start.wMinute, start.wSecond);
    std::filesystem::path video = VideoFolder() / name;
    ASSERT_TRUE(std::filesystem::exists(video)) << video << " recorded to " << Utf8Of(g_recordingPath);
    EXPECT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(video.string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_EQ(file.Of("video")->width, 640);
    EXPECT_EQ(file.Of("video")->height, 480);
    EXPECT_EQ(file.Of("audio")->codec, "wmav2");
    EXPECT_NEAR(file.duration, recorded, 0.6);
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainDlgRecordingTest, TheHdLinkIsRefusedWhileRecordingAndRecordsInTheHdSizeOtherwise)
{
    OpenWithCamera(kCameraWithSound);
    HWND link = m_dialog.GetDlgItem(1040);
    EXPECT_TRUE(::IsWindowVisible(link));
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    Command(1040);
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {kRefusedWhileRecording}));
    EXPECT_EQ(m_dialog.GetCurrentMode(), 1);
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsCapturing()) << "the recording goes on";
    Command(10001);
    ASSERT_FALSE(m_dialog.IsRecording());

    // Idle: HD is applied, the window follows the picture, and the next video has its size.
    Command(1040);
    EXPECT_EQ(m_dialog.GetCurrentMode(), 3);
    EXPECT_EQ(m_dialog.GetCaptureEngine().CurrentResolutionMode(), 3);
    EXPECT_NE(ControlText(1040).find(u"默认"), WString::npos);
    RECT window {};
    GetWindowRect(m_dialog, &window);
    EXPECT_EQ(window.right - window.left, 1282);
    int strip = m_dialog.GetStrip().IsWindowVisible() ? m_dialog.GetStrip().GetStripHeight() : 0;
    EXPECT_EQ(window.bottom - window.top, 720 + 138 + strip);
    AdvanceClock(1000); // the next video gets a name of its own
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    RecordSeconds(1);
    Command(10001);
    std::vector<std::filesystem::path> videos = Videos();
    ASSERT_EQ(videos.size(), 2u);
    std::sort(videos.begin(), videos.end());
    RecordedFile file = ProbeRecording(videos.back().string());
    ASSERT_TRUE(file.Of("video"));
    EXPECT_EQ(file.Of("video")->width, 1280);
    EXPECT_EQ(file.Of("video")->height, 720);
    EXPECT_EQ(file.decodeErrors, "");
    EXPECT_EQ(MessageTexts().size(), 1u);
}

TEST_F(MainDlgRecordingTest, ACameraWithoutAnHdModeRefusesTheHdLink)
{
    OpenWithCamera("video:Small|caps=YUY2 640x480@30");
    EXPECT_FALSE(::IsWindowVisible(m_dialog.GetDlgItem(1040))) << "no HD mode, no link";
    Command(1040);
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {kNoHdMode}));
    EXPECT_EQ(m_dialog.GetCurrentMode(), 1);
    // A camera without a microphone records a video without sound.
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    RecordSeconds(1);
    Command(10001);
    ASSERT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(Videos().front().string());
    EXPECT_EQ(file.streams.size(), 1u);
    EXPECT_EQ(file.Count("video"), 1);
    EXPECT_EQ(file.decodeErrors, "");
}

TEST_F(MainDlgRecordingTest, LosingTheCameraWhileRecordingReturnsToIdleWithAFileThatPlays)
{
    OpenWithCamera("video:Loose|caps=YUY2 640x480@30|fault=removed-after:45;audio:Mic");
    PumpFiltered();
    std::vector<long> idleToolbar = ToolbarPicture();
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    AdvanceClock(1000);
    EXPECT_NE(ControlText(1021), u"");
    ASSERT_TRUE(PumpFilteredUntil([&] { return !m_dialog.IsRecording(); }, 15000));
    EXPECT_EQ(Title(), kIdleTitle);
    EXPECT_EQ(ControlText(1021), u"");
    PumpFiltered();
    EXPECT_EQ(ToolbarPicture(), idleToolbar);
    EXPECT_FALSE(m_dialog.GetViewWnd().IsWindowVisible()) << "the preview host is hidden";
    EXPECT_FALSE(m_dialog.GetStrip().IsWindowVisible());
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 0) << "a recording the loss ended is not added to the album";
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {u"停止捕获（设备丢失）。请选择新的摄像头设备。"}));
    AdvanceClock(2000);
    EXPECT_EQ(ControlText(1021), u"") << "timer 1 is gone";
    ASSERT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(Videos().front().string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_GT(file.videoFrames, 5);
    // The record command now finds no live picture.
    Command(10001);
    EXPECT_FALSE(m_dialog.IsRecording());
}

TEST_F(MainDlgRecordingTest, AStreamErrorWhileRecordingEndsTheRecordingAndKeepsThePicture)
{
    OpenWithCamera("video:Flaky|caps=YUY2 640x480@30|fault=error-after:45;audio:Mic");
    PumpFiltered();
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    // The error stops the capture; the window leaves the recording state as on a stop.
    ASSERT_TRUE(PumpFilteredUntil([&] { return !m_dialog.IsRecording(); }, 15000));
    EXPECT_EQ(Title(), kIdleTitle);
    EXPECT_EQ(ControlText(1021), u"");
    EXPECT_TRUE(m_dialog.GetViewWnd().IsWindowVisible()) << "the picture goes on";
    EXPECT_TRUE(MessageTexts().empty()) << "the preview came back, so nothing is said";
    ASSERT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(Videos().front().string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    EXPECT_GT(file.videoFrames, 5);
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 1) << "the video is in the strip";
}

TEST_F(MainDlgRecordingTest, ClosingTheWindowWhileRecordingLeavesAFileThatPlays)
{
    OpenWithCamera("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    PumpFiltered();
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    RecordSeconds(2);
    // The close button's command: the window goes, and with it the engine and its graph.
    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
    EXPECT_FALSE(m_dialog.IsWindow());
    ASSERT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(Videos().front().string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_GT(file.videoFrames, 20) << "about two seconds at 14.99 frames a second";
}

TEST_F(MainDlgRecordingTest, RecordingIsRefusedWithoutALivePicture)
{
    // A camera is known but its picture never started.
    OpenMainWindow("video:Busy|fault=cannot-start;audio:Mic");
    RunStartCheck();
    ASSERT_FALSE(m_dialog.GetCaptureEngine().IsUsable());
    std::vector<WString> startCheck = MessageTexts();
    Command(10001);
    EXPECT_FALSE(m_dialog.IsRecording());
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsCapturing());
    EXPECT_EQ(Title(), kIdleTitle);
    AdvanceClock(2000);
    EXPECT_EQ(ControlText(1021), u"");
    EXPECT_TRUE(Videos().empty());
    Command(1040);
    EXPECT_EQ(MessageTexts(), startCheck) << "nothing is said about the record command or the HD link";
}

TEST_F(MainDlgRecordingTest, TheClockCountsSecondsMinutesAndHours)
{
    OpenWithCamera("video:Cam|caps=YUY2 320x240@15,YUY2 640x480@15");
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    for (int second = 1; second <= 3600; ++second) {
        AdvanceClock(1000);
        if (second == 59) {
            EXPECT_EQ(ControlText(1021), WString(kClockPrefix) + u"00:00:59 ");
        }
        if (second == 60) {
            EXPECT_EQ(ControlText(1021), WString(kClockPrefix) + u"00:01:00 ");
        }
    }
    EXPECT_EQ(ControlText(1021), WString(kClockPrefix) + u"01:00:00 ");
    Command(10001);
    EXPECT_EQ(ControlText(1021), u"");
    // Beyond 99 hours the hours take more digits (the same text the clock writes).
    HINSTANCE instance = g_module.GetResourceInstance();
    EXPECT_EQ(FormatRecordingClock(instance, RGB(255, 0, 0), 100 * 3600 + 61), WString(kClockPrefix) + u"100:01:01 ");
    EXPECT_EQ(FormatRecordingClock(instance, RGB(255, 0, 0), 3661), WString(kClockPrefix) + u"01:01:01 ");
    EXPECT_EQ(FormatRecordingClock(instance, RGB(255, 0, 0), 0), u"");
}

TEST_F(MainDlgRecordingTest, AMissingEncoderTellsTheUserAndReturnsToIdle)
{
    ScopedHiddenElement encoder("avenc_wmv2");
    ASSERT_TRUE(encoder.Hidden()) << "no video encoder to hide";
    ASSERT_FALSE(lumo::media::RecordingElementsAvailable());
    OpenWithCamera("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    ModalWatchdog watchdog;
    Command(10001);
    // The worker thread shows the message and sends the record command back.
    ASSERT_TRUE(PumpFilteredUntil([&] { return !MessageTexts().empty() && !m_dialog.IsRecording(); }, 10000));
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {kComponentMissing}));
    EXPECT_EQ(Title(), kIdleTitle);
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsCapturing());
    AdvanceClock(2000);
    EXPECT_EQ(ControlText(1021), u"") << "the clock never ran";
    EXPECT_TRUE(Videos().empty());
    // No entry for the video that was never written, and no strip for it.
    PumpFiltered();
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 0);
    EXPECT_FALSE(m_dialog.GetStrip().IsWindowVisible());
    RECT window {};
    GetWindowRect(m_dialog, &window);
    EXPECT_EQ(window.bottom - window.top, 618);
    // The record command starts again (and fails again) rather than stopping something.
    Command(10001);
    ASSERT_TRUE(PumpFilteredUntil([&] { return MessageTexts().size() == 2 && !m_dialog.IsRecording(); }, 10000));
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 0);
}

TEST_F(MainDlgRecordingTest, AStartThatFailsLeavesTheWindowIdleWithItsPictureAndNoEntry)
{
    // The videos folder cannot be made: a file stands where it belongs (a read-only folder does as
    // much for a user who is not root).
    WriteFile(VideoFolder().string(), "not a folder");
    OpenWithCamera("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    ModalWatchdog watchdog;
    Command(10001);
    ASSERT_TRUE(PumpFilteredUntil([&] { return !MessageTexts().empty(); }, 10000)) << "the failure was not told";
    PumpFiltered();
    EXPECT_FALSE(m_dialog.IsRecording());
    EXPECT_EQ(Title(), kIdleTitle);
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsCapturing());
    AdvanceClock(2000);
    EXPECT_EQ(ControlText(1021), u"") << "no clock runs over nothing";
    // The preview is back.
    HWND view = m_dialog.GetViewWnd();
    EXPECT_TRUE(PumpFilteredUntil([&] { return IsNear(PixelOf(view, {4, 4}), RGB(255, 0, 0)); }, 8000));
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsUsable());
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 0);
    EXPECT_FALSE(m_dialog.GetStrip().IsWindowVisible());
}

} // namespace

TEST_F(MainDlgRecordingTest, LosingTheMicrophoneWhileRecordingKeepsThePictureToTheEnd)
{
    // The microphone is unplugged after 100 buffers of 10 ms, one second into the recording.
    OpenWithCamera("video:Cam|caps=YUY2 640x480@30;audio:Loose Mic|fault=removed-after:100");
    PumpFiltered();
    auto started = std::chrono::steady_clock::now();
    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    RecordSeconds(4);
    EXPECT_TRUE(m_dialog.IsRecording()) << "a lost microphone does not end the recording";
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsCapturing());
    Command(10001);
    double recorded = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(m_dialog.IsRecording());
    EXPECT_TRUE(MessageTexts().empty()) << "a lost microphone is not reported";
    ASSERT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(Videos().front().string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio")) << "the sound up to the loss is kept";
    EXPECT_NEAR(file.Of("video")->packetEnd, recorded, 0.7) << "the picture runs to the stop";
    EXPECT_LT(file.Of("audio")->packetEnd, 2.0) << "the sound ends with the microphone";
    EXPECT_GT(file.videoFrames, 40);
}
