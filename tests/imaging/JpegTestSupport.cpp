#include "JpegTestSupport.h"

#include "../support/ToolRunner.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr int kZigzagToNatural[64] = {
    0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// The example tables of the JPEG standard (Annex K), in natural order.
constexpr int kStandardLuminance[64] = {
    16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99,
};
constexpr int kStandardChrominance[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
};

int Word(const std::string& bytes, size_t at)
{
    return (static_cast<uint8_t>(bytes[at]) << 8) | static_cast<uint8_t>(bytes[at + 1]);
}

int Byte(const std::string& bytes, size_t at)
{
    return static_cast<uint8_t>(bytes[at]);
}

void ReadQuantTables(const std::string& bytes, size_t at, size_t end, JpegMarkers& markers)
{
    while (at < end) {
        int precision = Byte(bytes, at) >> 4;
        int id = Byte(bytes, at) & 15;
        ++at;
        std::vector<int> table;
        for (int i = 0; i < 64 && at < end; ++i) {
            table.push_back(precision ? Word(bytes, at) : Byte(bytes, at));
            at += precision ? 2 : 1;
        }
        if (id < 2)
            markers.quantTables[id] = table;
    }
}

} // namespace

TestFrame::TestFrame(unsigned width, unsigned height, uint8_t padByte)
    : m_width(width), m_height(height), m_bytes(static_cast<size_t>(StrideOf(width)) * height, padByte)
{
}

void TestFrame::Set(unsigned x, unsigned y, Bgr colour)
{
    size_t at = static_cast<size_t>(m_height - 1 - y) * Stride() + x * 3;
    m_bytes[at] = colour.blue;
    m_bytes[at + 1] = colour.green;
    m_bytes[at + 2] = colour.red;
}

void TestFrame::Fill(Bgr colour)
{
    FillRows(0, m_height, colour);
}

void TestFrame::FillRows(unsigned top, unsigned count, Bgr colour)
{
    for (unsigned y = top; y < top + count; ++y) {
        for (unsigned x = 0; x < m_width; ++x)
            Set(x, y, colour);
    }
}

void TestFrame::FillNoise(uint32_t seed)
{
    uint32_t state = seed;
    for (unsigned y = 0; y < m_height; ++y) {
        for (unsigned x = 0; x < m_width; ++x) {
            state = state * 1664525u + 1013904223u;
            Set(x, y, Bgr {static_cast<uint8_t>(state >> 24), static_cast<uint8_t>(state >> 16), static_cast<uint8_t>(state >> 8)});
        }
    }
}

std::optional<JpegMarkers> ReadJpegMarkers(const std::string& bytes)
{
    JpegMarkers markers;
    if (bytes.size() < 4)
        return std::nullopt;
    markers.startsWithSoi = Byte(bytes, 0) == 0xFF && Byte(bytes, 1) == 0xD8;
    markers.endsWithEoi = Byte(bytes, bytes.size() - 2) == 0xFF && Byte(bytes, bytes.size() - 1) == 0xD9;
    size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (Byte(bytes, at) != 0xFF)
            return std::nullopt;
        int marker = Byte(bytes, at + 1);
        size_t length = static_cast<size_t>(Word(bytes, at + 2));
        size_t body = at + 4;
        size_t end = at + 2 + length;
        if (length < 2 || end > bytes.size())
            return std::nullopt;
        if (marker == 0xE0 && length >= 16 && bytes.compare(body, 5, std::string("JFIF\0", 5)) == 0) {
            markers.jfif = true;
            markers.densityUnit = Byte(bytes, body + 7);
            markers.xDensity = Word(bytes, body + 8);
            markers.yDensity = Word(bytes, body + 10);
        } else if (marker == 0xE1) {
            markers.hasExif = true;
        } else if (marker == 0xDB) {
            ReadQuantTables(bytes, body, end, markers);
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            markers.baseline = marker == 0xC0;
            markers.height = Word(bytes, body + 1);
            markers.width = Word(bytes, body + 3);
            markers.components = Byte(bytes, body + 5);
            for (int c = 0; c < markers.components && c < 3; ++c) {
                int factors = Byte(bytes, body + 6 + 3 * static_cast<size_t>(c) + 1);
                markers.sampling[c][0] = factors >> 4;
                markers.sampling[c][1] = factors & 15;
            }
        } else if (marker == 0xDA) {
            return markers;
        }
        at = end;
    }
    return std::nullopt;
}

std::vector<int> ExpectedQuantTable(int table, int quality)
{
    const int* standard = table == 0 ? kStandardLuminance : kStandardChrominance;
    int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    std::vector<int> zigzag;
    for (int i = 0; i < 64; ++i) {
        int value = (standard[kZigzagToNatural[i]] * scale + 50) / 100;
        zigzag.push_back(value < 1 ? 1 : (value > 255 ? 255 : value));
    }
    return zigzag;
}

Bgr DecodedPicture::At(int x, int y) const
{
    size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return Bgr {rgb[at + 2], rgb[at + 1], rgb[at]};
}

std::optional<DecodedPicture> DecodeWithDjpeg(const std::string& path)
{
    std::string out;
    if (RunTool({"djpeg", "-pnm", path}, &out, 20000) != 0)
        return std::nullopt;
    std::istringstream header(out);
    std::string magic;
    DecodedPicture picture;
    int maxValue = 0;
    header >> magic >> picture.width >> picture.height >> maxValue;
    if ((magic != "P6" && magic != "P5") || maxValue != 255 || !header)
        return std::nullopt;
    picture.components = magic == "P6" ? 3 : 1;
    size_t start = static_cast<size_t>(header.tellg()) + 1; // one whitespace byte ends the header
    size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    if (out.size() != start + count * static_cast<size_t>(picture.components))
        return std::nullopt;
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c)
            picture.rgb.push_back(static_cast<uint8_t>(out[start + i * static_cast<size_t>(picture.components) + (picture.components == 3 ? c : 0)]));
    }
    return picture;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}
