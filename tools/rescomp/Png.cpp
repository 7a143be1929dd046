#include "tools/rescomp/Png.h"

#include <zlib.h>

#include <cstring>

namespace rescomp {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t ReadBigEndian32(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16)
        | (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

} // namespace

bool InspectPng(const std::vector<std::uint8_t>& bytes, PngInfo& info, std::string& error)
{
    if (bytes.size() < sizeof kSignature || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0) {
        error = "not a PNG file";
        return false;
    }
    std::size_t offset = sizeof kSignature;
    bool first = true;
    while (offset < bytes.size()) {
        if (bytes.size() - offset < 12) {
            error = "truncated chunk";
            return false;
        }
        std::uint32_t length = ReadBigEndian32(&bytes[offset]);
        if (length > bytes.size() - offset - 12) {
            error = "truncated chunk";
            return false;
        }
        const std::uint8_t* type = &bytes[offset + 4];
        uLong crc = crc32(0, type, static_cast<uInt>(length + 4));
        if (crc != ReadBigEndian32(type + 4 + length)) {
            error = "chunk CRC mismatch";
            return false;
        }
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13) {
                error = "IHDR is not the first chunk";
                return false;
            }
            info.width = static_cast<int>(ReadBigEndian32(type + 4));
            info.height = static_cast<int>(ReadBigEndian32(type + 8));
            first = false;
        }
        offset += 12 + length;
        if (std::memcmp(type, "IEND", 4) == 0) {
            if (offset != bytes.size()) {
                error = "data after IEND";
                return false;
            }
            return true;
        }
    }
    error = "no IEND chunk";
    return false;
}

} // namespace rescomp
