#include "FacetTestSupport.h"

#include "platform/sys/Module.h"

#include <cairo.h>
#include <stdlib.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
// After <cstdio>: the library's header uses FILE.
#include <jpeglib.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

template <class Function> Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(GetProcAddress(module, name));
}

FacetLibrary LoadFacet()
{
    FacetLibrary library;
    library.module = LoadLibraryW(Utf8ToWide(LUMO_FACET_LIBRARY).c_str());
    if (!library.module) {
        std::fprintf(stderr, "cannot load the engine (error %u)\n", GetLastError());
        return library;
    }
    library.getFacet = Export<GetFacetFunction>(library.module, "GetFacet");
    library.getFacet3 = Export<GetFacet3Function>(library.module, "GetFacet3");
    library.getFacet4 = Export<GetFacet4Function>(library.module, "GetFacet4");
    library.getDpiCompatible = Export<GetDPICompatibleFunction>(library.module, "GetDPICompatible");
    library.createFacetBitmap = Export<CreateFacetBitmapFunction>(library.module, "CreateFacetBitmap");
    return library;
}

} // namespace

const FacetLibrary& Facet()
{
    static const FacetLibrary library = LoadFacet();
    return library;
}

EngineMain* FacetEngine()
{
    return Facet().getFacet ? Facet().getFacet() : nullptr;
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-facet-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder");
    m_path = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

WString ScratchFolder::Wide(const std::string& name) const
{
    return WidePath(File(name));
}

WString ScratchFolder::Write(const std::string& name, const std::string& bytes) const
{
    std::filesystem::path path = File(name);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return WidePath(path);
}

WString WidePath(const std::filesystem::path& path)
{
    return Utf8ToWide(path.string());
}

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string MakeZip(const std::vector<ZipItem>& items)
{
    ScratchFolder scratch;
    std::string path = scratch.File("made.zip").string();
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        throw std::runtime_error("zip_open failed");
    for (const auto& item : items) {
        zip_source_t* source = zip_source_buffer(zip, item.data.data(), item.data.size(), 0);
        zip_int64_t index = zip_file_add(zip, item.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            throw std::runtime_error("zip_file_add failed for " + item.name);
        }
        zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), item.compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    }
    if (zip_close(zip) != 0)
        throw std::runtime_error("zip_close failed");
    return ReadAll(path);
}

std::string MakePng(int width, int height, const std::vector<Rgba>& pixels)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    auto* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            Rgba c = pixels[static_cast<size_t>(y * width + x)];
            auto premultiply = [&c](BYTE v) { return static_cast<uint32_t>((v * c.a + 127) / 255); };
            row[x] = (static_cast<uint32_t>(c.a) << 24) | (premultiply(c.r) << 16) | (premultiply(c.g) << 8) | premultiply(c.b);
        }
    }
    cairo_surface_mark_dirty(surface);
    std::string png;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* bytes, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(bytes), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(surface);
    return png;
}

std::string EncodeJpeg(int width, int height, const std::vector<BYTE>& rgb, int quality)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        auto* row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(info.next_scanline) * static_cast<size_t>(width) * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string jpeg(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return jpeg;
}
