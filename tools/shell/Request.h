// What the file manager is asked to do, read from its command line: "/select,<path>", "/select,"
// then a path, a bare path, or the computer location.
#pragma once

#include <optional>
#include <string>

namespace shell {

enum class Action { Open, Show };

struct Request {
    Action action = Action::Open;
    std::string target;
};

// The switch is matched without regard to case; a second target makes the request unusable.
std::optional<Request> ParseArguments(int argc, char** argv);

// No target, or the shell's name of the computer.
bool IsComputerLocation(const std::string& target);

// The file URI of a path, made absolute and canonical.
std::string FileUri(const std::string& path);

} // namespace shell
