// The running program's main window on the X server, for the display tests.
#pragma once

#include "tests/support/DisplayLock.h"

#include "platform/sys/Process.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct WindowGeometry {
    long x = 0, y = 0, width = 0, height = 0;
};

// A rectangle of the screen as RGB bytes, three a pixel; empty when it cannot be read.
std::string Screenshot(long x, long y, long width, long height);
// One pixel of such a rectangle `width` pixels wide as 0xRRGGBB, -1 outside it.
long PixelOf(const std::string& rgb, long width, long x, long y);

// The first video (.wmv) in the folder, or an empty path.
std::filesystem::path FirstVideo(const std::filesystem::path& folder);

// The visible window titled "Lumo": its X id and where it is on the screen. False while there is none.
bool FindProgramWindow(std::string* id, WindowGeometry* geometry);

// One run of the real program on the X server named by DISPLAY, with the gtk presenter, in a home
// folder of its own (with "Documents" and a private runtime folder) and with `virtualDevices` as its
// devices (none when nullptr). The display is held for the whole run; whichever way the test ends,
// the program is ended and the folder removed.
class ProgramOnDisplay {
public:
    explicit ProgramOnDisplay(const char* virtualDevices);
    ~ProgramOnDisplay();
    ProgramOnDisplay(const ProgramOnDisplay&) = delete;
    ProgramOnDisplay& operator=(const ProgramOnDisplay&) = delete;

    // False without DISPLAY: the test is skipped.
    bool HasDisplay() const { return m_hasDisplay; }
    // What keeps the program from starting here, "" when nothing does.
    const std::string& Problem() const { return m_problem; }
    const std::string& Folder() const { return m_folder; }

    // Starts the program; again once the previous run has ended, in the same folder.
    bool Start(const char* program, const std::vector<std::string>& arguments = {});
    HANDLE Process() const { return m_process.hProcess; }
    DWORD ProcessId() const { return m_process.dwProcessId; }
    // Waits up to `watchdogMs` for the program's window to be found and to satisfy `ready`; `window`
    // is where it was last seen. False when the watchdog ran out.
    bool WaitForWindow(const std::function<bool(const WindowGeometry&)>& ready, int watchdogMs, WindowGeometry* window);

private:
    bool m_hasDisplay = false;
    std::unique_ptr<DisplayLock> m_turn;
    std::string m_problem;
    std::string m_folder;
    PROCESS_INFORMATION m_process {};
};
