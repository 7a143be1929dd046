// The real program with a virtual camera on an X server with the gtk presenter, driven and checked
// from outside as a user would: the live picture moves on the screen, the right way up, and a real
// click on the photo button leaves a JPEG of that picture in the documents folder.
#include "../support/DisplayLock.h"
#include "../support/ProgramWindow.h"
#include "../support/DecodedPhoto.h"
#include "../support/ToolRunner.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Process.h"

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

// A rectangle of the screen as RGB bytes, three a pixel; empty when it cannot be read.
std::string Screenshot(long x, long y, long width, long height)
{
    std::string rgb;
    std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
    if (RunTool({"import", "-window", "root", "-crop", crop, "-depth", "8", "rgb:-"}, &rgb, 10000) != 0)
        return {};
    return rgb.size() == static_cast<size_t>(width * height * 3) ? rgb : std::string();
}

long PixelOf(const std::string& rgb, long width, long x, long y)
{
    size_t at = static_cast<size_t>((y * width + x) * 3);
    if (at + 2 >= rgb.size())
        return -1;
    auto byte = [&](size_t i) { return static_cast<long>(static_cast<unsigned char>(rgb[i])); };
    return byte(at) << 16 | byte(at + 1) << 8 | byte(at + 2);
}

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

// The program's process and its private folder, both gone when the test ends, however it ends.
class ProgramRun {
public:
    explicit ProgramRun(std::string folder) : m_folder(std::move(folder)) {}
    ~ProgramRun()
    {
        if (m_process.hProcess) {
            if (WaitForSingleObject(m_process.hProcess, 0) != WAIT_OBJECT_0)
                TerminateProcess(m_process.hProcess, 1);
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool Start(const char* program)
    {
        WString path = Utf8ToWide(program);
        WString commandLine = QuoteArgument(path);
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        return CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
            &m_process);
    }
    HANDLE Process() const { return m_process.hProcess; }

private:
    std::string m_folder;
    PROCESS_INFORMATION m_process {};
};

} // namespace

TEST(CaptureOnADisplay, ShowsTheMovingPictureAndTheClickedPhotoButtonWritesIt)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        GTEST_SKIP() << "needs an X server (DISPLAY)";
    DisplayLock turn(display);
    ASSERT_TRUE(turn.Held()) << "watchdog: another test kept the display";
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-display-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    std::string folder = pattern;
    ProgramRun run(folder);
    std::filesystem::create_directories(folder + "/runtime");
    std::filesystem::permissions(folder + "/runtime", std::filesystem::perms::owner_all);
    std::filesystem::create_directories(folder + "/Documents");
    setenv("HOME", folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    setenv("LUMO_PRESENTER", "gtk", 1);
    setenv("LUMO_VIRTUAL_DEVICES", "video:Lumo Virtual Camera|caps=YUY2 640x480@30", 1);

    ASSERT_TRUE(run.Start(LUMO_PROGRAM));

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
    // The window opens at its dialog size and then fits the camera's 640 x 480 picture.
    auto fitted = [&] { return window.width == kPictureWidth + 2 && window.height == kPictureHeight + 138; };
    while (!fitted() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        FindProgramWindow(&id, &window);
    }
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
    std::string photos = folder + "/Documents/Tern摄像头/照片";
    std::vector<std::string> names;
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
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
