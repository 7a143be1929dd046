// The real program on an X server with the gtk presenter, driven and checked from outside as a user
// would: found by its window, looked at on the screen, closed with its close button.
#include "../support/ProgramWindow.h"
#include "../support/ToolRunner.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr DWORD kWatchdogMs = 20000;

long ScreenPixel(long x, long y)
{
    std::string rgb;
    std::string crop = "1x1+" + std::to_string(x) + "+" + std::to_string(y);
    if (RunTool({"import", "-window", "root", "-crop", crop, "-depth", "8", "rgb:-"}, &rgb, 10000) != 0 || rgb.size() < 3)
        return -1;
    auto byte = [&](int i) { return static_cast<long>(static_cast<unsigned char>(rgb[i])); };
    return byte(0) << 16 | byte(1) << 8 | byte(2);
}

} // namespace

TEST(ProgramOnADisplay, OpensItsSkinnedWindowAndClosesWithTheCloseButtonsCommand)
{
    ProgramOnDisplay run(nullptr);
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    ASSERT_TRUE(run.Start(LUMO_PROGRAM));

    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &window))
        << "watchdog: the window did not appear";
    // Without a camera the window keeps the size it opened with: 650 × 620 with the engine's display scaling.
    EXPECT_EQ(window.width, 650);
    EXPECT_EQ(window.height, 620);

    // The "no device" message comes one second after the window; Enter answers it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    RunTool({"xdotool", "key", "Return"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The caption band is the skin's dark slate; the picture area below it the light grey ground.
    long caption = ScreenPixel(window.x + 200, window.y + 5);
    long ground = ScreenPixel(window.x + 80, window.y + 400);
    EXPECT_LT((caption >> 16) & 0xFF, 0x50) << std::hex << caption;
    EXPECT_EQ(ground, 0xD9DADC) << std::hex << ground;

    // The close button sits at the right end of the caption.
    RunTool({"xdotool", "mousemove", std::to_string(window.x + window.width - 16), std::to_string(window.y + 14), "click", "1"});
    ASSERT_EQ(WaitForSingleObject(run.Process(), kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the program did not close";
    DWORD code = 0;
    GetExitCodeProcess(run.Process(), &code);
    EXPECT_EQ(code, 2u) << "the close button gives the dialog's cancel command";
}

namespace {

// The X windows titled "Lumo" that are shown on the screen.
int ShownProgramWindows()
{
    std::string ids;
    if (RunTool({"xdotool", "search", "--onlyvisible", "--name", "^Lumo$"}, &ids, 10000) != 0)
        return 0;
    std::istringstream lines(ids);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += !line.empty();
    return count;
}

} // namespace

// The instance lock's folder opened to everybody: a second start must still find the running
// window and end, leaving one window on the screen.
TEST(ProgramOnADisplay, ASecondStartWithABrokenLockLeavesOneWindow)
{
    ProgramOnDisplay run(nullptr);
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    ASSERT_TRUE(run.Start(LUMO_PROGRAM));
    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &window))
        << "watchdog: the window did not appear";
    std::string lockFolder = run.Folder() + "/runtime/lumo-mutex";
    ASSERT_TRUE(std::filesystem::is_directory(lockFolder));
    std::filesystem::permissions(lockFolder, std::filesystem::perms::all);

    WString program = Utf8ToWide(LUMO_PROGRAM);
    WString commandLine = QuoteArgument(program);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION second {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &second));
    DWORD waited = WaitForSingleObject(second.hProcess, kWatchdogMs);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(second.hProcess, 9);
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "watchdog: the second start opened a window of its own";
    DWORD code = 1;
    GetExitCodeProcess(second.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(second.hProcess);
    CloseHandle(second.hThread);
    EXPECT_EQ(ShownProgramWindows(), 1);
    EXPECT_EQ(WaitForSingleObject(run.Process(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the first instance still runs";
    std::filesystem::permissions(lockFolder, std::filesystem::perms::owner_all);
}

