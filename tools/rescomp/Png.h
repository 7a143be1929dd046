// The little of PNG the compiler checks: a whole, well-formed stream and its pixel size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rescomp {

struct PngInfo {
    int width = 0;
    int height = 0;
};

// Checks the signature, that IHDR comes first and IEND last, and every chunk's CRC.
// On failure returns false and says why in `error`.
bool InspectPng(const std::vector<std::uint8_t>& bytes, PngInfo& info, std::string& error);

} // namespace rescomp
