// The real program with the suite's real libraries, in its build-tree layout, on an X server: what
// it hands the suite at a start, the camera item offered in the caption and made by a real click,
// the item's desktop entry starting the program again, and the switch that starts the sibling
// program. Checked by the spool and logs the suite's parts write, the screen and the desktop's
// own validator.
#include "../support/ProgramWindow.h"
#include "../support/ToolRunner.h"
#include "platform/base/Strings.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Module.h"
#include "suite/SuiteInterfaces.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr DWORD kWatchdogMs = 20000;
constexpr const char* kProgram = LUMO_BUILD_PROGRAM_DIR "/TernCamlet";

std::vector<std::string> ReadLines(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of the file once `ready` accepts them; what is there when the watchdog ends otherwise.
std::vector<std::string> WaitForLines(const fs::path& path, const std::function<bool(const std::vector<std::string>&)>& ready)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWatchdogMs);
    std::vector<std::string> lines = ReadLines(path);
    while (!ready(lines) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        lines = ReadLines(path);
    }
    return lines;
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    size_t count = 0;
    for (const std::string& line : lines)
        count += line.find(part) != std::string::npos;
    return count;
}

std::string DerivedIdentifier()
{
    HMODULE library = LoadLibraryW(Utf8ToWide(LUMO_BUILD_SUITE_DIR "/Dizivevivu.so").c_str());
    if (!library)
        return {};
    auto getCIDW = reinterpret_cast<GetCIDWFunction>(GetProcAddress(library, "GetCIDW"));
    WCHAR buffer[100] = {};
    std::string id = getCIDW && getCIDW(buffer, 100) ? WideToUtf8(ToView(buffer)) : std::string();
    FreeLibrary(library);
    return id;
}

// The caption band's columns, right of the title and left of the buttons (the skin's full-screen and
// resolution buttons, minimise and close: about 35 pixels each), where light text is drawn: the first
// and last, or {-1, -1} when there is none.
std::pair<long, long> CaptionTextSpan(const WindowGeometry& window)
{
    long left = window.width / 3;
    long width = window.width - 140 - left;
    long top = 4;
    long height = 22;
    std::string rgb;
    std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(window.x + left) + "+"
                       + std::to_string(window.y + top);
    if (RunTool({"import", "-window", "root", "-crop", crop, "-depth", "8", "rgb:-"}, &rgb, 10000) != 0
        || rgb.size() != static_cast<size_t>(width * height * 3))
        return {-2, -2};
    long first = -1;
    long last = -1;
    for (long x = 0; x < width; ++x) {
        for (long y = 0; y < height; ++y) {
            size_t at = static_cast<size_t>((y * width + x) * 3);
            int sum = static_cast<unsigned char>(rgb[at]) + static_cast<unsigned char>(rgb[at + 1])
                      + static_cast<unsigned char>(rgb[at + 2]);
            if (sum > 450) {
                first = first < 0 ? left + x : first;
                last = left + x;
                break;
            }
        }
    }
    return {first, last};
}

bool CloseWithTheCloseButton(ProgramOnDisplay& run, const WindowGeometry& window)
{
    RunTool({"xdotool", "mousemove", std::to_string(window.x + window.width - 16), std::to_string(window.y + 14), "click", "1"});
    return WaitForSingleObject(run.Process(), kWatchdogMs) == WAIT_OBJECT_0;
}

// The program of an Exec line without field codes or quoting, as the desktop splits it.
std::vector<std::string> ExecArguments(const std::string& entry)
{
    size_t at = entry.find("\nExec=");
    if (at == std::string::npos)
        return {};
    std::string line = entry.substr(at + 6, entry.find('\n', at + 6) - at - 6);
    std::vector<std::string> argv;
    for (size_t start = 0; start < line.size();) {
        size_t space = line.find(' ', start);
        argv.push_back(line.substr(start, space - start));
        start = space == std::string::npos ? line.size() : space + 1;
    }
    return argv;
}

} // namespace

TEST(SuiteOnADisplay, ReportsTheStartOffersTheCameraItemUntilItsEntryExistsAndStartsTheSibling)
{
    ProgramOnDisplay run("video:Lumo Virtual Camera");
    if (!run.HasDisplay())
        GTEST_SKIP() << run.Problem();
    ASSERT_EQ(run.Problem(), "");
    fs::path folder = run.Folder();
    std::ofstream(folder / "machine-id") << "5f0e2ad41c8b4c3e9a7d6b5c4e3f2a10\n";
    setenv("LUMO_MACHINE_ID_FILE", (folder / "machine-id").c_str(), 1);
    setenv("LUMO_MACHINE_REGISTRY", LUMO_BUILD_REGISTRY_DIR, 1);
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
    setenv("LUMO_SHELL_OPEN_LOG", (folder / "shell.log").c_str(), 1);
    setenv("LANG", "zh_CN.UTF-8", 1);
    fs::path spool = folder / "state" / "lumo" / "statistics.spool";
    fs::path entryPath = folder / "data" / "applications" / "Lumo.desktop";
    std::string id = DerivedIdentifier();
    ASSERT_EQ(id.size(), 32u);

    ASSERT_TRUE(run.Start(kProgram));
    WindowGeometry window;
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &window))
        << "watchdog: the window did not appear";
    std::vector<std::string> lines = WaitForLines(spool, [](const auto& l) { return !l.empty(); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("http://") && lines[0].find("/tern/?stype=lensward_camlet&type=camlet_run&m=" + id + "&zt=")
                != std::string::npos) << lines[0];
    // The user's locale chose the Chinese resource library, which start-up loaded as signed.
    std::ifstream maps("/proc/" + std::to_string(run.ProcessId()) + "/maps");
    std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    EXPECT_NE(mapped.find("/watchcore/zh_CN/TernCamlet.res.so"), std::string::npos);

    // The offer: a line of light text in the caption, left of its buttons.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    auto [first, last] = CaptionTextSpan(window);
    ASSERT_GT(first, 0) << "no camera-item offer in the caption";
    ASSERT_GT(last - first, 60) << "the offer is a text of eleven characters";
    EXPECT_FALSE(fs::exists(entryPath));
    RunTool({"xdotool", "mousemove", std::to_string(window.x + (first + last) / 2), std::to_string(window.y + 15), "click", "1"});

    lines = WaitForLines(spool, [](const auto& l) { return l.size() >= 2; });
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("type=camlet_shortcut&m=" + id + "&zt="), std::string::npos) << lines[1];
    EXPECT_EQ(WaitForLines(folder / "shell.log", [](const auto& l) { return !l.empty(); }),
        std::vector<std::string> {"open computer:///"});
    ASSERT_TRUE(fs::exists(entryPath));
    std::string problems;
    EXPECT_EQ(RunTool({"desktop-file-validate", entryPath.string()}, &problems, 10000, ToolErrors::Kept), 0) << problems;
    EXPECT_EQ(problems, "");
    std::ifstream entryFile(entryPath);
    std::string entry((std::istreambuf_iterator<char>(entryFile)), std::istreambuf_iterator<char>());
    std::vector<std::string> exec = ExecArguments(entry);
    ASSERT_EQ(exec, std::vector<std::string> {fs::canonical(kProgram).string()}) << entry;
    ASSERT_TRUE(CloseWithTheCloseButton(run, window)) << "watchdog: the program did not close";

    // The next start finds the entry: no offer. The switch starts the sibling program once.
    ASSERT_TRUE(run.Start(kProgram, {"/advtools"}));
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &window));
    lines = WaitForLines(spool, [](const auto& l) { return l.size() >= 3; });
    EXPECT_EQ(CountContaining(lines, "type=camlet_run&m=" + id), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(CaptionTextSpan(window).first, -1) << "the offer is gone once the entry exists";
    fs::path lensward = folder / "state" / "lumo" / "lensward.log";
    std::vector<std::string> requests = WaitForLines(lensward, [](const auto& l) { return !l.empty(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    requests = ReadLines(lensward);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].ends_with("Z OpenGlint")) << requests[0];
    ASSERT_TRUE(CloseWithTheCloseButton(run, window));

    // The desktop entry's command starts the program with its window.
    ASSERT_TRUE(run.Start(exec[0].c_str()));
    ASSERT_TRUE(run.WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &window))
        << "watchdog: the entry's program showed no window";
    EXPECT_EQ(CountContaining(WaitForLines(spool, [](const auto& l) { return l.size() >= 4; }), "type=camlet_run"), 3u);
    ASSERT_TRUE(CloseWithTheCloseButton(run, window));
}
