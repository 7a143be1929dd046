// What the fuzz targets share: the input as text or UTF-16, a private folder for files made from
// inputs, and the way a broken rule is reported (a crash, so libFuzzer keeps the input).
#pragma once

#include "platform/base/Strings.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

inline std::string Text(const std::uint8_t* data, std::size_t size)
{
    return size ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
}

// Every two bytes are one UTF-16 unit, so unpaired surrogates and NULs come as they are.
WString Units(const std::uint8_t* data, std::size_t size);

// A folder of this process only, removed when it ends; empty when none could be made.
const std::string& ScratchFolder();
// Writes `bytes` to the file (replacing it); false when it could not be written.
bool WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// Prints the rule and the input's size, then aborts.
[[noreturn]] void Fail(const std::string& rule);
inline void Check(bool holds, const std::string& rule)
{
    if (!holds)
        Fail(rule);
}

} // namespace fuzz
