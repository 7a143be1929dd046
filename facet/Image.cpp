#include "facet/Image.h"

#include "facet/FileBytes.h"
#include "platform/sys/Resources.h"
#include "platform/ui/Gdi.h"

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <optional>

namespace {

constexpr size_t kMaxImageFileSize = 64 * 1024 * 1024;
constexpr DWORD kMaxImageResourceSize = 16 * 1024 * 1024;
// Decoded pictures are ARGB32; this keeps one under 160 MB.
constexpr long long kMaxImagePixels = 40'000'000;
constexpr int kMaxImageSide = 16384;
// A JPEG is decoded scaled, so its own size may be larger; a progressive one keeps all its
// coefficients in memory while decoding, which this bounds.
constexpr long long kMaxJpegSourcePixels = 120'000'000;
constexpr long kMaxJpegMemory = 512L * 1024 * 1024;

bool AcceptableSize(long long width, long long height)
{
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide && width * height <= kMaxImagePixels;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// "res://<module>/<type>/<number>": the module handle and the number in decimal, the type a name.
struct ResourceUrl {
    HMODULE module = nullptr;
    WString type;
    WORD id = 0;
};

bool StartsWithResourceScheme(WStringView text)
{
    constexpr WStringView kScheme = u"res://";
    if (text.size() < kScheme.size())
        return false;
    for (size_t i = 0; i < kScheme.size(); ++i) {
        if (FoldCase(text[i]) != kScheme[i])
            return false;
    }
    return true;
}

std::optional<unsigned long> ParseDecimal(WStringView text, unsigned long limit)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    unsigned long value = 0;
    for (WCHAR c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - u'0');
    }
    if (value > limit)
        return std::nullopt;
    return value;
}

std::optional<ResourceUrl> ParseResourceUrl(WStringView url)
{
    WStringView rest = url.substr(6);
    size_t firstSlash = rest.find(u'/');
    if (firstSlash == WStringView::npos)
        return std::nullopt;
    size_t secondSlash = rest.find(u'/', firstSlash + 1);
    if (secondSlash == WStringView::npos)
        return std::nullopt;
    auto module = ParseDecimal(rest.substr(0, firstSlash), 0x7FFFFFFF);
    WStringView type = rest.substr(firstSlash + 1, secondSlash - firstSlash - 1);
    auto id = ParseDecimal(rest.substr(secondSlash + 1), 0xFFFF);
    if (!module || !id || *id == 0 || type.empty() || type.size() > 32)
        return std::nullopt;
    bool plainType = std::all_of(type.begin(), type.end(), [](WCHAR c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_';
    });
    if (!plainType)
        return std::nullopt;
    return ResourceUrl { reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(*module)), WString(type), static_cast<WORD>(*id) };
}

bool ReadResource(const ResourceUrl& url, std::vector<BYTE>& bytes)
{
    HRSRC resource = FindResourceW(url.module, MAKEINTRESOURCEW(url.id), url.type.c_str());
    if (!resource)
        return false;
    DWORD size = SizeofResource(url.module, resource);
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(url.module, resource)));
    if (!data || size == 0 || size > kMaxImageResourceSize)
        return false;
    bytes.assign(data, data + size);
    return true;
}

bool ReadImageBytes(WStringView pathOrUrl, std::vector<BYTE>& bytes)
{
    if (!StartsWithResourceScheme(pathOrUrl))
        return ReadFileBytes(pathOrUrl, kMaxImageFileSize, bytes);
    auto url = ParseResourceUrl(pathOrUrl);
    return url && ReadResource(*url, bytes);
}

// PNG through cairo, after the header has shown a sensible size.
// libpng allocates a chunk's declared length before it reads the chunk, so a few bytes could ask for
// gigabytes. The whole file is in memory: every chunk up to IEND must lie within it.
bool PngChunksWithin(const std::vector<BYTE>& bytes)
{
    constexpr size_t kChunkFrame = 12; // length, type, CRC
    for (size_t at = 8; bytes.size() - at >= kChunkFrame;) {
        size_t length = (static_cast<size_t>(bytes[at]) << 24) | (static_cast<size_t>(bytes[at + 1]) << 16)
            | (static_cast<size_t>(bytes[at + 2]) << 8) | bytes[at + 3];
        if (length > bytes.size() - at - kChunkFrame)
            return false;
        if (std::memcmp(bytes.data() + at + 4, "IEND", 4) == 0)
            return true;
        at += kChunkFrame + length;
    }
    return false;
}

SurfacePtr DecodePng(const std::vector<BYTE>& bytes)
{
    // Signature, then the IHDR chunk: length, "IHDR", width and height big-endian.
    if (bytes.size() < 33 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
        return nullptr;
    auto bigEndian = [&bytes](size_t at) {
        return (static_cast<long long>(bytes[at]) << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
    };
    if (!AcceptableSize(bigEndian(16), bigEndian(20)) || !PngChunksWithin(bytes))
        return nullptr;
    struct Reader {
        const std::vector<BYTE>* bytes;
        size_t offset;
    } reader { &bytes, 0 };
    auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<Reader*>(closure);
        if (r->bytes->size() - r->offset < length)
            return CAIRO_STATUS_READ_ERROR;
        std::memcpy(data, r->bytes->data() + r->offset, length);
        r->offset += length;
        return CAIRO_STATUS_SUCCESS;
    };
    SurfacePtr surface(cairo_image_surface_create_from_png_stream(read, &reader));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    return surface;
}

struct JpegDecoder {
    jpeg_decompress_struct info {};
    jpeg_error_mgr errors {};
    jmp_buf failure;
    cairo_surface_t* surface = nullptr;
};

[[noreturn]] void JpegFail(j_common_ptr info)
{
    longjmp(reinterpret_cast<JpegDecoder*>(info->client_data)->failure, 1);
}

// Damaged data is decoded as well as it can be, but a picture that ends early is no picture.
void JpegMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    if (info->err->msg_code == JWRN_JPEG_EOF)
        JpegFail(info);
    ++info->err->num_warnings;
}

void JpegSilence(j_common_ptr) { }

// The smallest eighth that still gives at least `wanted` of the picture (1 when none is wanted).
unsigned int JpegScaleEighths(double wanted)
{
    if (wanted <= 0 || wanted >= 1)
        return 8;
    return std::clamp(static_cast<unsigned int>(std::ceil(wanted * 8)), 1u, 8u);
}

// The picture's share needed to fit maxWidth by maxHeight (0: unconstrained); 0 when nothing is asked.
double NeededScale(int width, int height, int maxWidth, int maxHeight)
{
    double scale = 0;
    if (maxWidth > 0)
        scale = static_cast<double>(maxWidth) / width;
    if (maxHeight > 0) {
        double byHeight = static_cast<double>(maxHeight) / height;
        scale = scale > 0 ? std::min(scale, byHeight) : byHeight;
    }
    return scale;
}

SurfacePtr DecodeJpeg(const std::vector<BYTE>& bytes, int maxWidth, int maxHeight)
{
    auto decoder = std::make_unique<JpegDecoder>();
    decoder->info.err = jpeg_std_error(&decoder->errors);
    decoder->info.client_data = decoder.get();
    decoder->errors.error_exit = JpegFail;
    decoder->errors.emit_message = JpegMessage;
    decoder->errors.output_message = JpegSilence;
    if (setjmp(decoder->failure)) {
        jpeg_destroy_decompress(&decoder->info);
        if (decoder->surface)
            cairo_surface_destroy(decoder->surface);
        return nullptr;
    }
    jpeg_create_decompress(&decoder->info);
    decoder->info.mem->max_memory_to_use = kMaxJpegMemory;
    jpeg_mem_src(&decoder->info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&decoder->info, TRUE);
    jpeg_decompress_struct& info = decoder->info;
    if (static_cast<long long>(info.image_width) * info.image_height > kMaxJpegSourcePixels)
        JpegFail(reinterpret_cast<j_common_ptr>(&info));
    // With both extents the picture is brought to exactly the hint afterwards, so it is decoded at the
    // least size that still covers the hint both ways.
    bool both = maxWidth > 0 && maxHeight > 0;
    double wanted = both ? std::max(static_cast<double>(maxWidth) / info.image_width, static_cast<double>(maxHeight) / info.image_height)
                         : NeededScale(static_cast<int>(info.image_width), static_cast<int>(info.image_height), maxWidth, maxHeight);
    info.scale_num = JpegScaleEighths(wanted);
    info.scale_denom = 8;
    info.dct_method = JDCT_ISLOW;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    info.out_color_space = JCS_EXT_BGRA;
#else
    info.out_color_space = JCS_EXT_ARGB;
#endif
    jpeg_calc_output_dimensions(&info);
    if (!AcceptableSize(info.output_width, info.output_height))
        JpegFail(reinterpret_cast<j_common_ptr>(&info));
    decoder->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    if (cairo_surface_status(decoder->surface) != CAIRO_STATUS_SUCCESS)
        JpegFail(reinterpret_cast<j_common_ptr>(&info));
    jpeg_start_decompress(&info);
    unsigned char* pixels = cairo_image_surface_get_data(decoder->surface);
    int stride = cairo_image_surface_get_stride(decoder->surface);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + static_cast<size_t>(info.output_scanline) * static_cast<size_t>(stride);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    cairo_surface_mark_dirty(decoder->surface);
    return SurfacePtr(decoder->surface);
}

// With one extent, a picture larger than twice the wanted size is brought down to exactly twice it,
// keeping its proportions. With both, a picture larger than the hint either way is brought to the hint
// (no larger than itself in each direction): it is drawn stretched over that size, so nothing more is
// kept than what is drawn.
SurfacePtr ShrinkToHint(SurfacePtr surface, int maxWidth, int maxHeight)
{
    int width = cairo_image_surface_get_width(surface.get());
    int height = cairo_image_surface_get_height(surface.get());
    int targetWidth = width;
    int targetHeight = height;
    if (maxWidth > 0 && maxHeight > 0) {
        if (width <= maxWidth && height <= maxHeight)
            return surface;
        targetWidth = std::min(width, maxWidth);
        targetHeight = std::min(height, maxHeight);
    } else {
        double wanted = NeededScale(width, height, maxWidth, maxHeight);
        if (wanted <= 0 || wanted * 2 >= 1)
            return surface;
        targetWidth = std::max(1, static_cast<int>(std::lround(width * wanted * 2)));
        targetHeight = std::max(1, static_cast<int>(std::lround(height * wanted * 2)));
    }
    SurfacePtr target(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, targetWidth, targetHeight));
    if (cairo_surface_status(target.get()) != CAIRO_STATUS_SUCCESS)
        return surface;
    cairo_t* cr = cairo_create(target.get());
    cairo_scale(cr, static_cast<double>(targetWidth) / width, static_cast<double>(targetHeight) / height);
    cairo_set_source_surface(cr, surface.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    return target;
}

SurfacePtr DecodeImage(const std::vector<BYTE>& bytes, int maxWidth, int maxHeight)
{
    static constexpr BYTE kPngSignature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    static constexpr BYTE kJpegSignature[] = { 0xFF, 0xD8, 0xFF };
    SurfacePtr surface;
    if (bytes.size() >= sizeof kPngSignature && std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) == 0)
        surface = DecodePng(bytes);
    else if (bytes.size() >= sizeof kJpegSignature && std::memcmp(bytes.data(), kJpegSignature, sizeof kJpegSignature) == 0)
        surface = DecodeJpeg(bytes, maxWidth, maxHeight);
    if (!surface)
        return nullptr;
    return ShrinkToHint(std::move(surface), maxWidth, maxHeight);
}

class FacetImage final : public EngineImage {
public:
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    // A failed load leaves the image empty.
    HRESULT ImageLoad(LPCWSTR pathOrUrl, DWORD flags) override
    {
        m_surface.reset();
        if (!pathOrUrl || !*pathOrUrl)
            return E_INVALIDARG;
        std::vector<BYTE> bytes;
        if (!ReadImageBytes(ToView(pathOrUrl), bytes))
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        m_surface = DecodeImage(bytes, LOWORD(flags), HIWORD(flags));
        return m_surface ? S_OK : HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }

    int ImageWidth() override { return m_surface ? cairo_image_surface_get_width(m_surface.get()) : 0; }
    int ImageHeight() override { return m_surface ? cairo_image_surface_get_height(m_surface.get()) : 0; }

    // The source rectangle is clipped to the picture and stretched over the destination; −1 for a
    // source extent reaches the picture's edge, −1 for a destination extent keeps the clipped source's size.
    HRESULT ImageDraw(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
        int sourceHeight, DWORD) override
    {
        if (!m_surface)
            return E_FAIL;
        // CairoOf trusts its argument, so the handle is checked through a call that does not.
        POINT origin;
        if (!GetViewportOrgEx(dc, &origin))
            return E_INVALIDARG;
        cairo_t* cr = CairoOf(dc);
        if (!cr)
            return E_INVALIDARG;
        if (width < -1 || height < -1 || sourceWidth < -1 || sourceHeight < -1)
            return E_INVALIDARG;
        long long imageWidth = ImageWidth();
        long long imageHeight = ImageHeight();
        long long left = std::clamp<long long>(sourceX, 0, imageWidth);
        long long top = std::clamp<long long>(sourceY, 0, imageHeight);
        long long right = sourceWidth == -1 ? imageWidth : std::clamp<long long>(static_cast<long long>(sourceX) + sourceWidth, 0, imageWidth);
        long long bottom = sourceHeight == -1 ? imageHeight : std::clamp<long long>(static_cast<long long>(sourceY) + sourceHeight, 0, imageHeight);
        if (right <= left || bottom <= top)
            return S_FALSE;
        double clippedWidth = static_cast<double>(right - left);
        double clippedHeight = static_cast<double>(bottom - top);
        double targetWidth = width == -1 ? clippedWidth : width;
        double targetHeight = height == -1 ? clippedHeight : height;
        if (targetWidth == 0 || targetHeight == 0)
            return S_FALSE;
        DrawPart(cr, x, y, targetWidth, targetHeight, left, top, clippedWidth, clippedHeight);
        return S_OK;
    }

    cairo_surface_t* Surface() const { return m_surface.get(); }

private:
    void DrawPart(cairo_t* cr, int x, int y, double targetWidth, double targetHeight, long long left, long long top,
        double clippedWidth, double clippedHeight) const
    {
        // A sub-surface with padded edges: scaling never blends in the neighbouring cells of a strip.
        SurfacePtr part(cairo_surface_create_for_rectangle(m_surface.get(), static_cast<double>(left), static_cast<double>(top), clippedWidth, clippedHeight));
        bool scaled = targetWidth != clippedWidth || targetHeight != clippedHeight;
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rectangle(cr, 0, 0, targetWidth, targetHeight);
        cairo_clip(cr);
        cairo_scale(cr, targetWidth / clippedWidth, targetHeight / clippedHeight);
        cairo_set_source_surface(cr, part.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), scaled ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_paint(cr);
        cairo_restore(cr);
    }

    std::atomic<ULONG> m_references { 1 };
    SurfacePtr m_surface;
};

} // namespace

EngineImage* CreateEngineImage()
{
    return new FacetImage();
}

EngineImage* LoadEngineImage(LPCWSTR pathOrUrl)
{
    return LoadEngineImageScaled(pathOrUrl, 0, 0);
}

EngineImage* LoadEngineImageScaled(LPCWSTR pathOrUrl, int maxWidth, int maxHeight)
{
    auto* image = new FacetImage();
    if (FAILED(image->ImageLoad(pathOrUrl, ImageSizeHint(std::max(0, maxWidth), std::max(0, maxHeight))))) {
        image->Release();
        return nullptr;
    }
    return image;
}

cairo_surface_t* EngineImageSurface(EngineImage* image)
{
    return image ? static_cast<FacetImage*>(image)->Surface() : nullptr;
}
