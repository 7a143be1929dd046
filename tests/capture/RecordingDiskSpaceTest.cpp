// Recording onto a small file system that fills: the engine refuses a recording it has no room for,
// and one that reaches the writer's reserve ends with a file that plays in full, a message, and the
// window told that the recording is over. The files are read back by ffprobe and ffmpeg.
#include "platform/sys/NativePath.h"
#include "tests/capture/CaptureEngineFixture.h"
#include "tests/support/RecordedFile.h"
#include "tests/support/SmallFileSystem.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr const char* kDevices = "video:Cam|caps=YUY2 640x480@30;audio:Mic";
constexpr std::uint64_t kDiskSize = 4 * 1024 * 1024;
// What a start asks of the disk at 640 x 480 with sound: twelve seconds of 480 + 64 kbit/s.
constexpr std::uint64_t kRoomToStart = 12 * (480000 + 64000) / 8;
constexpr DWORD kRecordingWatchdogMs = 40000;

class RecordingDiskSpaceTest : public CaptureEngineFixture {
protected:
    // The record command with the notice that an error ended the recording, posted to the main window.
    static bool EndedNoticePosted(HWND main)
    {
        const auto& log = RecordingClass::Log();
        return std::any_of(log.begin(), log.end(), [&](const RecordedMessage& m) {
            return m.hwnd == main && m.message == WM_COMMAND
                && m.wParam == MAKEWPARAM(kRecordCommand, kRecordingEndedNotice);
        });
    }
};

TEST_F(RecordingDiskSpaceTest, ADiskWithoutRoomForAFewSecondsRefusesTheRecordingAndThePictureRuns)
{
    SmallFileSystem disk(kDiskSize);
    if (!disk.Problem().empty())
        GTEST_SKIP() << disk.Problem();
    ScopedVirtualDevices devices(kDevices);
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    ASSERT_TRUE(disk.LeaveFree(kRoomToStart - 64 * 1024));
    std::string path = disk.Folder() + "/refused.wmv";

    EXPECT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 0);
    EXPECT_EQ(Messages(), (std::vector<WString> {u"磁盘空间不足，无法录制视频。"}));
    EXPECT_FALSE(engine.IsCapturing());
    EXPECT_TRUE(engine.IsPreviewing()) << "the refusal leaves the picture running";
    EXPECT_TRUE(engine.IsUsable());
    EXPECT_FALSE(std::filesystem::exists(path));

    // With room made, the same start records.
    std::filesystem::remove(disk.Folder() + "/filler");
    ASSERT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 1);
    EXPECT_TRUE(engine.IsCapturing());
    DWORD until = GetTickCount() + 1500;
    PumpUntil([&] { return static_cast<LONG>(GetTickCount() - until) >= 0; }, 6500);
    EXPECT_EQ(engine.StopRecording(), 1);
    EXPECT_EQ(Messages().size(), 1u);
    RecordedFile file = ProbeRecording(path);
    EXPECT_EQ(file.decodeErrors, "");
    EXPECT_GT(file.videoFrames, 10);
    engine.Shutdown();
}

TEST_F(RecordingDiskSpaceTest, AFillingDiskEndsTheRecordingWithAFileThatPlaysInFullAndSaysSo)
{
    SmallFileSystem disk(kDiskSize);
    if (!disk.Problem().empty())
        GTEST_SKIP() << disk.Problem();
    ScopedVirtualDevices devices(kDevices);
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    // Room to start, and for a few seconds of recording before the writer's reserve is reached.
    ASSERT_TRUE(disk.LeaveFree(kRoomToStart + 100 * 1024));
    std::string path = disk.Folder() + "/filled.wmv";

    ASSERT_EQ(engine.StartRecording(Utf8ToWide(path).c_str()), 1);
    size_t handled = 0;
    ASSERT_TRUE(HandleNextGraphEvent(engine, &handled, kRecordingWatchdogMs)) << "watchdog: the recording did not end";
    EXPECT_FALSE(engine.IsCapturing());
    EXPECT_TRUE(engine.IsPreviewing()) << "the picture returns after the recording";
    EXPECT_EQ(Messages(), (std::vector<WString> {u"磁盘空间不足，视频录制已停止。"}));
    EXPECT_TRUE(EndedNoticePosted(m_main)) << "the window is told that the recording ended";
    EXPECT_GT(disk.Free(), 0u) << "the disk filled up";

    RecordedFile file = ProbeRecording(path);
    ASSERT_TRUE(file.readable);
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_GT(file.duration, 2.0) << "it ended long before the disk was full";
    // Every frame is there, and the header says as long as the frames last (14.99 a second).
    EXPECT_NEAR(file.duration, file.videoFrames / 14.99, 0.5) << "frames " << file.videoFrames;
    EXPECT_NEAR(file.duration, file.Of("video")->packetEnd, 0.5);
    // Stopping afterwards finds nothing to stop and says nothing more.
    EXPECT_EQ(engine.StopCapture(), 0);
    EXPECT_EQ(Messages().size(), 1u);
    engine.Shutdown();
}

} // namespace
