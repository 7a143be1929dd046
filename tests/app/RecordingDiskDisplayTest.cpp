// The real program on an X server, recording into a documents folder on a small tmpfs that fills:
// the recording ends with a message box over the window while there is room left, and the video
// plays in full.
#include "../support/RecordedFile.h"
#include "../support/ProgramWindow.h"
#include "../support/SmallFileSystem.h"
#include "../support/ToolRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr DWORD kWatchdogMs = 20000;
constexpr DWORD kRecordingWatchdogMs = 40000;
// The record button: the toolbar's second button of 80 pixels, the toolbar at (12, 28) in the window.
constexpr long kRecordButtonX = 12 + 80 + 40;
constexpr long kRecordButtonY = 28 + 40;
// What a start asks of the disk at 640 x 480 with sound: twelve seconds of 480 + 64 kbit/s.
constexpr std::uint64_t kRoomToStart = 12 * (480000 + 64000) / 8;

// The visible windows titled "Lumo": the main window, and a message box over it.
int VisibleProgramWindows()
{
    std::string found;
    if (RunTool({"xdotool", "search", "--onlyvisible", "--name", "^Lumo$"}, &found) != 0)
        return 0;
    std::istringstream lines(found);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += !line.empty();
    return count;
}

} // namespace

TEST(RecordingOnADisplay, AFillingDiskEndsTheRecordingWithAMessageAndAVideoThatPlaysInFull)
{
    ProgramOnDisplay run("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    std::filesystem::path documents = std::filesystem::path(run.Folder()) / "Documents";
    SmallFileSystem disk(4 * 1024 * 1024, documents.string());
    if (!disk.Problem().empty())
        GTEST_SKIP() << disk.Problem();
    ASSERT_TRUE(run.Start(LUMO_PROGRAM));
    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry& w) { return w.width == 642; }, kWatchdogMs, &window))
        << "watchdog: the window with the picture did not appear";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // past the start check
    ASSERT_EQ(VisibleProgramWindows(), 1);
    ASSERT_TRUE(disk.LeaveFree(kRoomToStart + 100 * 1024));

    RunTool({"xdotool", "mousemove", std::to_string(window.x + kRecordButtonX), std::to_string(window.y + kRecordButtonY),
        "click", "1"});
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRecordingWatchdogMs);
    while (VisibleProgramWindows() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(VisibleProgramWindows(), 2) << "watchdog: no message box came";
    EXPECT_EQ(WaitForSingleObject(run.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program is gone";
    EXPECT_GT(disk.Free(), 0u) << "the disk filled up";

    std::filesystem::path video = FirstVideo(documents / "Tern摄像头" / "视频");
    ASSERT_FALSE(video.empty());
    RecordedFile file = ProbeRecording(video.string());
    ASSERT_TRUE(file.readable);
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_GT(file.duration, 2.0);
    EXPECT_NEAR(file.duration, file.videoFrames / 14.99, 0.5) << "frames " << file.videoFrames;
}
