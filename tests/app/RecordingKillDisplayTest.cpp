// The real program on an X server, recording with a virtual camera and microphone when it is killed
// outright (SIGKILL): the file written so far still plays and loses at most the last half second.
#include "../support/RecordedFile.h"
#include "../support/DisplayLock.h"
#include "../support/ProgramWindow.h"
#include "../support/ToolRunner.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

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

// The window with its 640 x 480 picture in place, and where it is.
bool FindRecordingWindow(long* x, long* y)
{
    std::string id;
    WindowGeometry geometry;
    if (!FindProgramWindow(&id, &geometry))
        return false;
    *x = geometry.x;
    *y = geometry.y;
    return geometry.width == 642;
}

// The one video in the folder, or an empty path.
std::filesystem::path FirstVideo(const std::filesystem::path& folder)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().extension() == ".wmv")
            return entry.path();
    }
    return {};
}

} // namespace

TEST(RecordingOnADisplay, AKilledProgramLeavesAVideoThatPlaysToItsLastHalfSecond)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "needs an X server (DISPLAY)";
    DisplayLock turn(display);
    ASSERT_TRUE(turn.Held()) << "watchdog: another test kept the display";
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-kill-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    std::string folder = pattern;
    std::filesystem::create_directories(folder + "/runtime");
    std::filesystem::permissions(folder + "/runtime", std::filesystem::perms::owner_all);
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    setenv("LUMO_PRESENTER", "gtk", 1);
    setenv("LUMO_VIRTUAL_DEVICES", "video:Cam|caps=YUY2 640x480@30;audio:Mic", 1);
    std::filesystem::path videos = std::filesystem::path(folder) / "Documents" / "Tern摄像头" / "视频";
    std::filesystem::create_directories(std::filesystem::path(folder) / "Documents");

    WString program = Utf8ToWide(LUMO_PROGRAM);
    WString commandLine = QuoteArgument(program);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));

    long x = 0, y = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    bool found = false;
    while (!found && std::chrono::steady_clock::now() < deadline) {
        found = FindRecordingWindow(&x, &y);
        if (!found)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(found) << "watchdog: the window with the picture did not appear";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // past the start check

    RunTool({"xdotool", "mousemove", std::to_string(x + kRecordButtonX), std::to_string(y + kRecordButtonY), "click", "1"});
    std::filesystem::path video;
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    while ((video = FirstVideo(videos)).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(video.empty()) << "watchdog: no recording started";
    auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    ASSERT_EQ(kill(static_cast<pid_t>(process.dwProcessId), SIGKILL), 0);
    double recorded = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(WaitForSingleObject(process.hProcess, kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the program outlived SIGKILL";

    RecordedFile file = ProbeRecording(video.string());
    EXPECT_TRUE(file.readable) << video;
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio"));
    EXPECT_EQ(file.Of("video")->codec, "wmv2");
    EXPECT_EQ(file.Of("audio")->codec, "wmav2");
    // The header written at the start cannot know the length: what plays is what the packets hold.
    const RecordedFile::Stream& picture = *file.Of("video");
    const RecordedFile::Stream& sound = *file.Of("audio");
    EXPECT_NEAR(picture.packetEnd - picture.firstPacket, recorded, 0.5)
        << picture.packets << " frames from " << picture.firstPacket << " to " << picture.packetEnd;
    EXPECT_NEAR(sound.packetEnd - sound.firstPacket, recorded, 0.5)
        << sound.packets << " packets from " << sound.firstPacket << " to " << sound.packetEnd;
    // Every frame written decodes (the camera runs at the 14.99 frames per second the program asks).
    EXPECT_EQ(file.videoFrames, picture.packets);
    EXPECT_NEAR(file.videoFrames / 14.99, recorded, 0.6);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    std::filesystem::remove_all(folder);
}
