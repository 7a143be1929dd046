#include "tests/support/ProgramWindow.h"

#include "tests/support/ToolRunner.h"

#include <cstdlib>
#include <sstream>

namespace {

long NumberAfter(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + label.size(), nullptr, 10);
}

} // namespace

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
