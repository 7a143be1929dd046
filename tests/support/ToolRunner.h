// Runs a tool of the machine (xdotool, xwininfo, ImageMagick, ffprobe) from its argv, never through a shell.
#pragma once

#include <string>
#include <vector>

enum class ToolErrors { Discarded, Kept };

// The tool's exit code, or -1 when it could not start or outran `timeoutMs` (it is then killed).
// Its standard output comes back in `out`, followed by its standard error where `errors` keeps it.
int RunTool(const std::vector<std::string>& argv, std::string* out = nullptr, int timeoutMs = 5000,
    ToolErrors errors = ToolErrors::Discarded);
