// The one place where a wide Windows-style path becomes a UTF-8 POSIX path and back.
#pragma once

#include "platform/base/Strings.h"

#include <string>
#include <string_view>

// Converts to UTF-8 and turns every '\' into '/', so callers may use either separator.
std::string ToNativePath(WStringView path);
WString FromNativePath(std::string_view path);
