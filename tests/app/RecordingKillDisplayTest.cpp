// The real program on an X server, recording with a virtual camera and microphone when it is killed
// outright (SIGKILL) six seconds in: the file written so far still plays, loses at most the last half
// second, and its header tells that length to players.
#include "../support/RecordedFile.h"
#include "../support/ProgramWindow.h"
#include "../support/ToolRunner.h"
#include "platform/sys/Handle.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr DWORD kWatchdogMs = 20000;
// The record button: the toolbar's second button of 80 pixels, the toolbar at (12, 28) in the window.
constexpr long kRecordButtonX = 12 + 80 + 40;
constexpr long kRecordButtonY = 28 + 40;

} // namespace

TEST(RecordingOnADisplay, AKilledProgramLeavesAVideoThatPlaysAndTellsItsLengthToItsLastHalfSecond)
{
    ProgramOnDisplay run("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    std::filesystem::path videos = std::filesystem::path(run.Folder()) / "Documents" / "Tern摄像头" / "视频";
    ASSERT_TRUE(run.Start(LUMO_PROGRAM));

    // The window with its 640 x 480 picture in place.
    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry& w) { return w.width == 642; }, kWatchdogMs, &window))
        << "watchdog: the window with the picture did not appear";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // past the start check

    RunTool({"xdotool", "mousemove", std::to_string(window.x + kRecordButtonX), std::to_string(window.y + kRecordButtonY),
        "click", "1"});
    std::filesystem::path video;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    while ((video = FirstVideo(videos)).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(video.empty()) << "watchdog: no recording started";
    auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(6000));
    ASSERT_EQ(kill(static_cast<pid_t>(run.ProcessId()), SIGKILL), 0);
    double recorded = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(WaitForSingleObject(run.Process(), kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the program outlived SIGKILL";

    RecordedFile file = ProbeRecording(video.string());
    EXPECT_TRUE(file.readable) << video;
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_EQ(file.Of("audio")->codec, "wmav2");
    const RecordedFile::Stream& picture = *file.Of("video");
    const RecordedFile::Stream& sound = *file.Of("audio");
    EXPECT_NEAR(picture.packetEnd - picture.firstPacket, recorded, 0.5)
        << picture.packets << " frames from " << picture.firstPacket << " to " << picture.packetEnd;
    EXPECT_NEAR(sound.packetEnd - sound.firstPacket, recorded, 0.5)
        << sound.packets << " packets from " << sound.firstPacket << " to " << sound.packetEnd;
    // Every frame written decodes (the camera runs at the 14.99 frames per second the program asks).
    EXPECT_EQ(file.videoFrames, picture.packets);
    EXPECT_NEAR(file.videoFrames / 14.99, recorded, 0.6);
    // The length a player shows is the header's: the real one, less at most the last half second.
    EXPECT_GE(file.duration, recorded - 0.5) << "header duration " << file.duration << " of " << recorded << " s";
    EXPECT_LE(file.duration, recorded + 0.1);
    EXPECT_GE(picture.duration, recorded - 0.5) << "the video stream's duration";
}
