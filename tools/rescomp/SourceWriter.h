// Writes the compiled resources as one C++ source that defines the module's resource directory.
#pragma once

#include "tools/rescomp/Resource.h"

#include <ostream>
#include <string>
#include <vector>

namespace rescomp {

// Entries come out ordered by type, then id; `origin` names the script in the header comment.
void WriteSource(std::ostream& out, std::vector<CompiledResource> resources, const std::string& origin);

} // namespace rescomp
