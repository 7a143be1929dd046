#include "tests/support/ProgramWindow.h"

#include "tests/support/ToolRunner.h"

#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/base/Strings.h"

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

long NumberAfter(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + label.size(), nullptr, 10);
}

} // namespace

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

std::filesystem::path FirstVideo(const std::filesystem::path& folder)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().extension() == ".wmv")
            return entry.path();
    }
    return {};
}

bool FindProgramWindow(std::string* id, WindowGeometry* geometry)
{
    std::string found;
    if (RunTool({"xdotool", "search", "--onlyvisible", "--name", "^Lumo$"}, &found) != 0 || found.empty())
        return false;
    std::istringstream(found) >> *id;
    std::string info;
    if (RunTool({"xwininfo", "-id", *id}, &info) != 0)
        return false;
    *geometry = {NumberAfter(info, "Absolute upper-left X:"), NumberAfter(info, "Absolute upper-left Y:"),
        NumberAfter(info, "Width:"), NumberAfter(info, "Height:")};
    return true;
}

ProgramOnDisplay::ProgramOnDisplay(const char* virtualDevices)
{
    const char* display = std::getenv("DISPLAY");
    m_hasDisplay = display && *display;
    if (!m_hasDisplay) {
        m_problem = "needs an X server (DISPLAY)";
        return;
    }
    m_turn = std::make_unique<DisplayLock>(display);
    if (!m_turn->Held()) {
        m_problem = "watchdog: another test kept the display";
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-display-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        m_problem = "no folder for the program";
        return;
    }
    m_folder = pattern;
    std::error_code error;
    std::filesystem::create_directories(m_folder + "/runtime", error);
    std::filesystem::permissions(m_folder + "/runtime", std::filesystem::perms::owner_all, error);
    std::filesystem::create_directories(m_folder + "/Documents", error);
    setenv("HOME", m_folder.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_folder + "/.config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (m_folder + "/runtime").c_str(), 1);
    setenv("LUMO_PRESENTER", "gtk", 1);
    if (virtualDevices)
        setenv("LUMO_VIRTUAL_DEVICES", virtualDevices, 1);
    else
        unsetenv("LUMO_VIRTUAL_DEVICES");
}

ProgramOnDisplay::~ProgramOnDisplay()
{
    if (m_process.hProcess) {
        if (WaitForSingleObject(m_process.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(m_process.hProcess, 1);
            WaitForSingleObject(m_process.hProcess, 5000);
        }
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
    }
    std::error_code error;
    if (!m_folder.empty())
        std::filesystem::remove_all(m_folder, error);
}

bool ProgramOnDisplay::Start(const char* program, const std::vector<std::string>& arguments)
{
    if (!m_problem.empty())
        return false;
    // The folder is kept from one run to the next; a run still going is not replaced.
    if (m_process.hProcess) {
        if (WaitForSingleObject(m_process.hProcess, 0) != WAIT_OBJECT_0)
            return false;
        CloseHandle(m_process.hProcess);
        CloseHandle(m_process.hThread);
        m_process = {};
    }
    WString path = Utf8ToWide(program);
    WString commandLine = QuoteArgument(path);
    for (const std::string& argument : arguments)
        commandLine += u" " + QuoteArgument(Utf8ToWide(argument));
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    return CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
        &m_process);
}

bool ProgramOnDisplay::WaitForWindow(const std::function<bool(const WindowGeometry&)>& ready, int watchdogMs,
    WindowGeometry* window)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchdogMs);
    for (;;) {
        std::string id;
        if (FindProgramWindow(&id, window) && ready(*window))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
