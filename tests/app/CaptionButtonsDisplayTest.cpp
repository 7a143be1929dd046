// The real program with the default skin and a virtual camera on an X server with the gtk presenter:
// the caption's full-screen button shows the picture over the whole screen and a key ends it; its
// resolution button opens the menu of the camera's modes, and the mode chosen there fills the window.
// Driven by real X input and checked by screenshots.
#include "../support/DecodedPhoto.h"
#include "../support/ProgramWindow.h"
#include "../support/ToolRunner.h"
#include "platform/sys/Handle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr DWORD kWatchdogMs = 20000;
constexpr long kPictureLeft = 1;
constexpr long kPictureTop = 111;
// The caption's buttons from its right end: close, minimise, then the skin's full-screen and
// resolution buttons, 32 pixels each, in a caption 30 pixels high.
constexpr long kButtonWidth = 32;
constexpr long kFullScreenButton = 3 * kButtonWidth - kButtonWidth / 2;
constexpr long kResolutionButton = 4 * kButtonWidth - kButtonWidth / 2;
constexpr long kCaptionMiddle = 15;
// The menu opens at the pointer: a frame and padding of 4 pixels above items 24 pixels high.
constexpr long kMenuItemHeight = 24;
constexpr long kMenuTop = 4;

// The camera's picture fills the screen rectangle: its four corner markers are at its corners, and it
// moves between two shots.
::testing::AssertionResult PictureFills(long x, long y, long width, long height)
{
    std::string first = Screenshot(x, y, width, height);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    std::string second = Screenshot(x, y, width, height);
    if (first.empty() || second.empty())
        return ::testing::AssertionFailure() << "no screenshot";
    struct Corner {
        long x, y, rgb;
        const char* name;
    } corners[] = {{5, 5, 0xFF0000, "red top left"}, {width - 6, 5, 0x00FF00, "green top right"},
        {5, height - 6, 0xFFFFFF, "white bottom left"}, {width - 6, height - 6, 0x0000FF, "blue bottom right"}};
    for (const Corner& c : corners) {
        long pixel = PixelOf(second, width, c.x, c.y);
        if (!IsNearRgb(pixel, c.rgb, 60))
            return ::testing::AssertionFailure() << "no " << c.name << " marker in " << width << " x " << height << ": "
                                                 << std::hex << pixel;
    }
    if (first == second)
        return ::testing::AssertionFailure() << "the picture does not move";
    return ::testing::AssertionSuccess();
}

bool Eventually(const std::function<bool()>& done, int watchdogMs = kWatchdogMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchdogMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void ClickAt(long x, long y)
{
    RunTool({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", "1"});
}

bool ScreenSize(long* width, long* height)
{
    std::string text;
    if (RunTool({"xdotool", "getdisplaygeometry"}, &text) != 0)
        return false;
    std::istringstream(text) >> *width >> *height;
    return *width > 0 && *height > 0;
}

} // namespace

TEST(CaptionButtonsOnADisplay, FullScreenByItsButtonEndsWithAKeyAndTheResolutionButtonChoosesAMode)
{
    ProgramOnDisplay run("video:Lumo Virtual Camera|caps=YUY2 640x480@30,YUY2 1280x720@30");
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    ASSERT_TRUE(run.Start(LUMO_PROGRAM));
    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry& w) { return w.width == 642 && w.height == 618; }, kWatchdogMs,
        &window))
        << "watchdog: the window did not open at 642 x 618";
    // Past the start check, with the live picture in its place.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(PictureFills(window.x + kPictureLeft, window.y + kPictureTop, 640, 480));

    // Full screen by the caption's button: the picture covers the screen.
    long screenWidth = 0;
    long screenHeight = 0;
    ASSERT_TRUE(ScreenSize(&screenWidth, &screenHeight));
    ClickAt(window.x + window.width - kFullScreenButton, window.y + kCaptionMiddle);
    EXPECT_TRUE(Eventually([&] { return static_cast<bool>(PictureFills(0, 0, screenWidth, screenHeight)); }))
        << PictureFills(0, 0, screenWidth, screenHeight).message();
    // Any key ends it (Escape's press is swallowed, its release arrives).
    RunTool({"xdotool", "key", "Escape"});
    EXPECT_TRUE(Eventually([&] {
        return static_cast<bool>(PictureFills(window.x + kPictureLeft, window.y + kPictureTop, 640, 480));
    })) << PictureFills(window.x + kPictureLeft, window.y + kPictureTop, 640, 480).message();
    std::string id;
    WindowGeometry after;
    ASSERT_TRUE(FindProgramWindow(&id, &after));
    EXPECT_EQ(after.width, 642);
    EXPECT_EQ(after.height, 618);

    // The resolution button opens the menu of the camera's two modes at the pointer; the second item
    // is the HD mode, which the window then fits around its picture.
    long pointerX = window.x + window.width - kResolutionButton;
    long pointerY = window.y + kCaptionMiddle;
    ClickAt(pointerX, pointerY);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ClickAt(pointerX + 40, pointerY + kMenuTop + kMenuItemHeight + kMenuItemHeight / 2);
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry& w) { return w.width == 1282 && w.height == 858; }, kWatchdogMs,
        &window))
        << "watchdog: the HD mode was not chosen; the window is " << window.width << " x " << window.height;
    EXPECT_TRUE(Eventually([&] {
        return static_cast<bool>(PictureFills(window.x + kPictureLeft, window.y + kPictureTop, 1280, 720));
    })) << PictureFills(window.x + kPictureLeft, window.y + kPictureTop, 1280, 720).message();

    ClickAt(window.x + window.width - 16, window.y + 14);
    EXPECT_EQ(WaitForSingleObject(run.Process(), kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the program did not close";
}
