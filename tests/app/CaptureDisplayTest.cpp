// The real program with a virtual camera on an X server with the gtk presenter, driven and checked
// from outside as a user would: the live picture moves on the screen, the right way up, and a real
// click on the photo button leaves a JPEG of that picture in the documents folder.
#include "../support/ProgramWindow.h"
#include "../support/DecodedPhoto.h"
#include "../support/ToolRunner.h"
#include "platform/sys/Handle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kWatchdogMs = 20000;
// The preview host's place in the main window's client area, and the photo button's in the toolbar's.
constexpr long kPictureLeft = 1;
constexpr long kPictureTop = 111;
constexpr long kPictureWidth = 640;
constexpr long kPictureHeight = 480;
constexpr long kPhotoButtonX = 12 + 40;
constexpr long kPhotoButtonY = 28 + 40;

std::vector<std::string> Files(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    return names;
}

// The local time that a photo's name gives (its tenth of a second left out).
std::time_t TimeOfName(const std::string& name)
{
    std::tm parts {};
    std::istringstream(name.substr(0, 14)) >> std::get_time(&parts, "%Y%m%d%H%M%S");
    parts.tm_isdst = -1;
    return std::mktime(&parts);
}

} // namespace

TEST(CaptureOnADisplay, ShowsTheMovingPictureAndTheClickedPhotoButtonWritesIt)
{
    ProgramOnDisplay run("video:Lumo Virtual Camera|caps=YUY2 640x480@30");
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    ASSERT_TRUE(run.Start(LUMO_PROGRAM));

    // The window opens at its dialog size and then fits the camera's 640 x 480 picture.
    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &window))
        << "watchdog: the window did not appear";
    run.WaitForWindow([](const WindowGeometry& w) { return w.width == kPictureWidth + 2 && w.height == kPictureHeight + 138; },
        kWatchdogMs, &window);
    EXPECT_EQ(window.width, kPictureWidth + 2);
    EXPECT_EQ(window.height, kPictureHeight + 138);

    // Past the start check (a live camera is not reported), the picture moves between two shots
    // and shows the camera's red marker at its top left.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    long left = window.x + kPictureLeft;
    long top = window.y + kPictureTop;
    std::string first = Screenshot(left, top, kPictureWidth, kPictureHeight);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    std::string second = Screenshot(left, top, kPictureWidth, kPictureHeight);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(first, second) << "the picture does not move";
    EXPECT_TRUE(IsNearRgb(PixelOf(second, kPictureWidth, 5, 5), 0xFF0000, 60)) << std::hex << PixelOf(second, kPictureWidth, 5, 5);
    EXPECT_TRUE(IsNearRgb(PixelOf(second, kPictureWidth, 5, kPictureHeight - 6), 0xFFFFFF, 60)) << "white marker at the bottom left";

    std::time_t clicked = std::time(nullptr);
    RunTool({"xdotool", "mousemove", std::to_string(window.x + kPhotoButtonX), std::to_string(window.y + kPhotoButtonY),
        "click", "1"});
    std::string photos = run.Folder() + "/Documents/Tern摄像头/照片";
    std::vector<std::string> names;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    while (names.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        names = Files(photos);
    }
    ASSERT_EQ(names.size(), 1u) << "watchdog: the click wrote no photo";
    EXPECT_TRUE(std::regex_match(names[0], std::regex("[0-9]{15}\\.jpg"))) << names[0];
    EXPECT_LE(std::abs(std::difftime(TimeOfName(names[0]), clicked)), 5.0) << names[0] << " is not the time of the click";
    std::string jpeg = photos + "/" + names[0];
    // The photo is whole once the program has closed it; a decoder that fails now is retried.
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    while (DecodedPixel(jpeg, 4, 4) < 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ExpectCameraPicture(jpeg);

    // The close button at the right end of the caption ends the program.
    RunTool({"xdotool", "mousemove", std::to_string(window.x + window.width - 16), std::to_string(window.y + 14), "click", "1"});
    EXPECT_EQ(WaitForSingleObject(run.Process(), kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the program did not close";
}
