// Recording from the main window onto a documents folder on a small tmpfs: a filling disk ends the
// recording with a message, the window back to idle and the video, which plays in full, in the
// strip; a disk without room for a few seconds gets a message and no file.
#include "MainWindowTestSupport.h"

#include "tests/support/RecordedFile.h"
#include "tests/support/SmallFileSystem.h"

#include <filesystem>

namespace {

constexpr const char* kCamera = "video:Cam|caps=YUY2 640x480@30;audio:Mic";
constexpr std::uint64_t kDiskSize = 4 * 1024 * 1024;
// What a start asks of the disk at 640 x 480 with sound: twelve seconds of 480 + 64 kbit/s.
constexpr std::uint64_t kRoomToStart = 12 * (480000 + 64000) / 8;
constexpr DWORD kRecordingWatchdogMs = 40000;

class MainDlgRecordingDiskTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        std::filesystem::create_directories(Documents());
    }
    std::string Documents() const { return m_temp.Native("home/Documents"); }
    std::vector<std::filesystem::path> Videos() const
    {
        std::vector<std::filesystem::path> files;
        std::error_code ignored;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(Documents()) / "Tern摄像头" / "视频", ignored))
            files.push_back(entry.path());
        return files;
    }
    void Command(WORD command) { SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0); }
};

TEST_F(MainDlgRecordingDiskTest, AFillingDiskEndsTheRecordingWithAMessageAndAVideoThatPlaysInTheStrip)
{
    SmallFileSystem disk(kDiskSize, Documents());
    if (!disk.Problem().empty())
        GTEST_SKIP() << disk.Problem();
    OpenMainWindow(kCamera);
    RunStartCheck();
    ASSERT_TRUE(m_dialog.GetCaptureEngine().IsUsable());
    PumpFiltered();
    ASSERT_TRUE(disk.LeaveFree(kRoomToStart + 100 * 1024));

    Command(10001);
    ASSERT_TRUE(m_dialog.IsRecording());
    ASSERT_TRUE(PumpFilteredUntil([&] { return !m_dialog.IsRecording(); }, kRecordingWatchdogMs))
        << "watchdog: the recording went on";
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {u"磁盘空间不足，视频录制已停止。"}));
    EXPECT_TRUE(m_dialog.GetViewWnd().IsWindowVisible()) << "the picture goes on";
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 1) << "the video is in the strip";
    EXPECT_GT(disk.Free(), 0u);
    ASSERT_EQ(Videos().size(), 1u);
    RecordedFile file = ProbeRecording(Videos().front().string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_GT(file.duration, 2.0);
    EXPECT_NEAR(file.duration, file.videoFrames / 14.99, 0.5) << "frames " << file.videoFrames;
}

TEST_F(MainDlgRecordingDiskTest, ADiskWithoutRoomForAFewSecondsIsToldAndGetsNoFile)
{
    SmallFileSystem disk(kDiskSize, Documents());
    if (!disk.Problem().empty())
        GTEST_SKIP() << disk.Problem();
    OpenMainWindow(kCamera);
    RunStartCheck();
    ASSERT_TRUE(m_dialog.GetCaptureEngine().IsUsable());
    PumpFiltered();
    ASSERT_TRUE(disk.LeaveFree(kRoomToStart / 2));

    Command(10001);
    PumpFiltered();
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {u"磁盘空间不足，无法录制视频。"}));
    EXPECT_TRUE(Videos().empty());
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsPreviewing()) << "the picture goes on";
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsCapturing());
}

} // namespace
