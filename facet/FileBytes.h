// Reading a whole file the engine was given, with a limit, so that a path to a device or a huge file
// cannot make the engine read forever or allocate without bound.
#pragma once

#include "platform/base/Strings.h"

#include <vector>

// False when the file is missing, unreadable, not a regular file or larger than maxSize bytes.
bool ReadFileBytes(WStringView path, size_t maxSize, std::vector<BYTE>& bytes);
