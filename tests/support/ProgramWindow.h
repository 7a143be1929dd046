// The running program's main window on the X server, for the display tests.
#pragma once

#include <string>

struct WindowGeometry {
    long x = 0, y = 0, width = 0, height = 0;
};

// The visible window titled "Lumo": its X id and where it is on the screen. False while there is none.
bool FindProgramWindow(std::string* id, WindowGeometry* geometry);
