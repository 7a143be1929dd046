// Helpers for the engine's tests: the built Facet.so loaded the way the program loads it, a scratch
// folder, and the files the engine reads (zip packages, PNG and JPEG pictures) made here with
// libraries independent of the engine's own code paths.
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct FacetLibrary {
    HMODULE module = nullptr;
    GetFacetFunction getFacet = nullptr;
    GetFacet3Function getFacet3 = nullptr;
    GetFacet4Function getFacet4 = nullptr;
    GetDPICompatibleFunction getDpiCompatible = nullptr;
    CreateFacetBitmapFunction createFacetBitmap = nullptr;
};

// Loaded once per test program with LoadLibraryW; every member is null when that failed.
const FacetLibrary& Facet();
// The main object, or nullptr when the engine did not load.
EngineMain* FacetEngine();

// A folder of its own under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path File(const std::string& name) const { return m_path / name; }
    WString Wide(const std::string& name) const;
    // Writes (creating folders on the way) and returns the file's wide path.
    WString Write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};

WString WidePath(const std::filesystem::path& path);
std::string ReadAll(const std::filesystem::path& path);

struct ZipItem {
    std::string name;
    std::string data;
    bool compress = false;
};
// A zip archive made with libzip, as bytes.
std::string MakeZip(const std::vector<ZipItem>& items);

struct Rgba {
    BYTE r, g, b, a;
};
// A PNG of width × height pixels (row by row, straight alpha), written with cairo.
std::string MakePng(int width, int height, const std::vector<Rgba>& pixels);
// A baseline JPEG with libjpeg: `paint(x, y)` gives each pixel's colour.
template <class Paint> std::string MakeJpeg(int width, int height, Paint paint, int quality = 92);
std::string EncodeJpeg(int width, int height, const std::vector<BYTE>& rgb, int quality);

template <class Paint> std::string MakeJpeg(int width, int height, Paint paint, int quality)
{
    std::vector<BYTE> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba c = paint(x, y);
            BYTE* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    return EncodeJpeg(width, height, rgb, quality);
}
