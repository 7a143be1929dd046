// Helpers for the JPEG writer's tests: frames laid out as the sample grabber delivers them, a
// reader of the file's markers, and decoding by djpeg as a separate program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Bgr {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
};

// A 24-bit frame: rows padded to 4 bytes, bottom row first, pad bytes filled with `padByte`.
class TestFrame {
public:
    TestFrame(unsigned width, unsigned height, uint8_t padByte = 0xA5);

    static unsigned StrideOf(unsigned width) { return (width * 3 + 3) / 4 * 4; }
    unsigned Width() const { return m_width; }
    unsigned Height() const { return m_height; }
    unsigned Stride() const { return StrideOf(m_width); }
    const uint8_t* Data() const { return m_bytes.data(); }
    long Size() const { return static_cast<long>(m_bytes.size()); }

    // (x, y) with y counted from the top of the picture.
    void Set(unsigned x, unsigned y, Bgr colour);
    void Fill(Bgr colour);
    // Rows [top, top + count) of the picture in one colour.
    void FillRows(unsigned top, unsigned count, Bgr colour);
    // Pseudo-random pixels, which compress badly.
    void FillNoise(uint32_t seed);

private:
    unsigned m_width;
    unsigned m_height;
    std::vector<uint8_t> m_bytes;
};

// What the markers before the first scan say.
struct JpegMarkers {
    bool startsWithSoi = false;
    bool endsWithEoi = false;
    bool jfif = false;
    bool baseline = false; // SOF0
    bool hasExif = false;
    int densityUnit = -1;
    int xDensity = -1;
    int yDensity = -1;
    int width = 0;
    int height = 0;
    int components = 0;
    int sampling[3][2] = {}; // per component: horizontal, vertical
    // Quantisation tables 0 and 1 in the file's (zigzag) order; empty when absent.
    std::vector<int> quantTables[2];
};
std::optional<JpegMarkers> ReadJpegMarkers(const std::string& bytes);
// The tables libjpeg makes for `quality` with the standard tables, in zigzag order.
std::vector<int> ExpectedQuantTable(int table, int quality);

// A picture decoded by djpeg: pixels top row first, red-green-blue (grey repeated three times).
struct DecodedPicture {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<uint8_t> rgb;

    Bgr At(int x, int y) const;
};
std::optional<DecodedPicture> DecodeWithDjpeg(const std::string& path);

std::string ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
