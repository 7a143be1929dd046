// The real program on an X server with the gtk presenter, driven and checked from outside as a user
// would: found by its window, looked at on the screen, closed with its close button.
#include "../support/DisplayLock.h"
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
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "needs an X server (DISPLAY)";
    DisplayLock turn(display);
    ASSERT_TRUE(turn.Held()) << "watchdog: another test kept the display";
    char pattern[] = "/tmp/lumo-display-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string folder = pattern;
    std::filesystem::create_directories(folder + "/runtime");
    std::filesystem::permissions(folder + "/runtime", std::filesystem::perms::owner_all);
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    setenv("LUMO_PRESENTER", "gtk", 1);

    WString program = Utf8ToWide(LUMO_PROGRAM);
    WString commandLine = QuoteArgument(program);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));

    std::string id;
    WindowGeometry window;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    bool found = false;
    while (!found && std::chrono::steady_clock::now() < deadline) {
        found = FindProgramWindow(&id, &window);
        if (!found)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(found) << "watchdog: the window did not appear";
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
    ASSERT_EQ(WaitForSingleObject(process.hProcess, kWatchdogMs), WAIT_OBJECT_0) << "watchdog: the program did not close";
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 2u) << "the close button gives the dialog's cancel command";
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    std::filesystem::remove_all(folder);
}
