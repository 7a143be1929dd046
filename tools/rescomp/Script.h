// Reads the resource script (XML) and the pictures it names into compiled resources.
#pragma once

#include "tools/rescomp/Resource.h"

#include <filesystem>
#include <string>
#include <vector>

namespace rescomp {

// Throws ScriptError with the line of the offending element.
std::vector<CompiledResource> CompileScript(const std::string& scriptText, const std::filesystem::path& pictureFolder);

} // namespace rescomp
