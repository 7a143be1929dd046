#include "imaging/CxImage.h"

#include "imaging/CxIOFile.h"
#include "imaging/CxImageJPG.h"
#include "platform/sys/File.h"
#include "platform/sys/NewFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// libjpeg hands the stream 4096 bytes at a time; a larger stdio buffer behind it turns those
// into a few large writes.
constexpr size_t kFileBufferSize = 64 * 1024;

DWORD NormalisedBitCount(DWORD bitsPerPixel)
{
    if (bitsPerPixel <= 1)
        return 1;
    if (bitsPerPixel <= 4)
        return 4;
    if (bitsPerPixel <= 8)
        return 8;
    return 24;
}

DWORD ColourCount(DWORD bitCount)
{
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

} // namespace

CxImage::CxImage(DWORD imageType) : m_type(imageType)
{
    m_header.biSize = sizeof(CxBitmapInfoHeader);
    m_header.biXPelsPerMeter = PixelsPerMetre(m_xDpi);
    m_header.biYPelsPerMeter = PixelsPerMetre(m_yDpi);
}

CxImage::~CxImage()
{
    FreeBlock();
}

void CxImage::FreeBlock()
{
    if (!m_source)
        std::free(m_block);
    m_block = nullptr;
    m_firstRow = nullptr;
}

LONG CxImage::PixelsPerMetre(long dpi)
{
    return static_cast<LONG>(std::floor(static_cast<double>(dpi) * 10000.0 / 254.0 + 0.5));
}

void CxImage::SetXDPI(long dpi)
{
    m_xDpi = EffectiveDpi(dpi);
    m_header.biXPelsPerMeter = PixelsPerMetre(m_xDpi);
    if (m_block && !m_source)
        static_cast<CxBitmapInfoHeader*>(m_block)->biXPelsPerMeter = m_header.biXPelsPerMeter;
}

void CxImage::SetYDPI(long dpi)
{
    m_yDpi = EffectiveDpi(dpi);
    m_header.biYPelsPerMeter = PixelsPerMetre(m_yDpi);
    if (m_block && !m_source)
        static_cast<CxBitmapInfoHeader*>(m_block)->biYPelsPerMeter = m_header.biYPelsPerMeter;
}

void CxImage::SetLastErrorText(const char* text)
{
    std::snprintf(m_lastError, sizeof m_lastError, "%s", text);
}

void* CxImage::Create(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD imageType)
{
    if (m_source)
        return nullptr;
    FreeBlock();
    if (width == 0 || height == 0) {
        SetLastErrorText("CxImage::Create : width and height must be greater than zero");
        return nullptr;
    }
    DWORD bitCount = NormalisedBitCount(bitsPerPixel);
    if (static_cast<double>(width) * static_cast<double>(height) * static_cast<double>(bitCount) / 8.0 > CXIMAGE_MAX_MEMORY) {
        SetLastErrorText("CXIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    // Within the memory limit a row of padded pixels fits 32 bits and the image fits in LONG.
    uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
    uint64_t imageSize = stride * height;
    DWORD colours = ColourCount(bitCount);
    size_t blockSize = sizeof(CxBitmapInfoHeader) + static_cast<size_t>(imageSize) + colours * sizeof(CxRgbQuad);

    CxBitmapInfoHeader header {};
    header.biSize = sizeof(CxBitmapInfoHeader);
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitCount);
    header.biCompression = 0;
    header.biSizeImage = static_cast<DWORD>(imageSize);
    header.biXPelsPerMeter = PixelsPerMetre(m_xDpi);
    header.biYPelsPerMeter = PixelsPerMetre(m_yDpi);
    header.biClrUsed = colours;
    header.biClrImportant = 0;

    void* block = std::malloc(blockSize);
    if (!block) {
        SetLastErrorText("CxImage::Create can't allocate memory");
        return nullptr;
    }
    std::memcpy(block, &header, sizeof header);
    auto* palette = reinterpret_cast<BYTE*>(block) + sizeof header;
    std::memset(palette, 0, colours * sizeof(CxRgbQuad));
    m_block = block;
    m_header = header;
    m_effectiveWidth = static_cast<DWORD>(stride);
    m_firstRow = palette + colours * sizeof(CxRgbQuad);
    m_type = imageType;
    return m_block;
}

bool CxImage::CreateFromPixels(const BYTE* pixels, DWORD width, DWORD height, DWORD bitsPerPixel, DWORD sourceStride, FlipRows flip)
{
    if (!pixels || bitsPerPixel != 24)
        return false;
    if (!Create(width, height, 24, CXIMAGE_FORMAT_UNKNOWN))
        return false;
    size_t rowBytes = m_effectiveWidth < sourceStride ? m_effectiveWidth : sourceStride;
    const BYTE* source = pixels;
    for (DWORD i = 0; i < height; ++i) {
        DWORD target = flip == FlipRows::Yes ? height - 1 - i : i;
        std::memcpy(GetBits(target), source, rowBytes);
        source += sourceStride;
    }
    return true;
}

size_t CxImage::GetDibSize() const
{
    if (!m_block)
        return 0;
    return sizeof(CxBitmapInfoHeader) + m_header.biClrUsed * sizeof(CxRgbQuad) + m_header.biSizeImage;
}

BYTE* CxImage::GetBits(DWORD row) const
{
    if (!m_firstRow || row >= GetHeight())
        return nullptr;
    return m_firstRow + static_cast<size_t>(row) * m_effectiveWidth;
}

CxRgbQuad* CxImage::GetPalette() const
{
    if (!m_block || m_header.biClrUsed == 0)
        return nullptr;
    return reinterpret_cast<CxRgbQuad*>(static_cast<BYTE*>(m_block) + sizeof(CxBitmapInfoHeader));
}

void CxImage::SetGrayPalette()
{
    CxRgbQuad* palette = GetPalette();
    if (!palette || m_source)
        return;
    DWORD count = m_header.biClrUsed;
    for (DWORD i = 0; i < count; ++i) {
        BYTE level = static_cast<BYTE>(i * 255 / (count - 1));
        palette[i] = CxRgbQuad {level, level, level, 0};
    }
}

bool CxImage::IsGrayScale() const
{
    const CxRgbQuad* palette = GetPalette();
    if (!palette || m_header.biBitCount != 8)
        return false;
    for (DWORD i = 0; i < m_header.biClrUsed; ++i) {
        if (palette[i].rgbBlue != i || palette[i].rgbGreen != i || palette[i].rgbRed != i)
            return false;
    }
    return true;
}

void CxImage::Borrow(const CxImage& source)
{
    FreeBlock();
    m_source = &source;
    m_block = source.m_block;
    m_firstRow = source.m_firstRow;
    m_header = source.m_header;
    m_effectiveWidth = source.m_effectiveWidth;
    std::memcpy(m_lastError, source.m_lastError, sizeof m_lastError);
    m_jpegQuality = source.m_jpegQuality;
    m_xDpi = source.m_xDpi;
    m_yDpi = source.m_yDpi;
    m_codecOption = source.m_codecOption;
}

bool CxImage::SaveFile(LPCWSTR path, DWORD imageType)
{
    // The file takes its name only once it is complete; a failed or interrupted write leaves
    // nothing under the path, and an existing file or link there is never written through.
    // The C library ignores the size unless it is given the buffer too; it must outlive the
    // stream, so it is made first.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kFileBufferSize]);
    NewFileWriter file(path);
    if (!file.Stream())
        return false;
    if (buffer)
        setvbuf(file.Stream(), buffer.get(), _IOFBF, kFileBufferSize);
    CxIOFile stream(file.Stream(), CxIOFile::Ownership::Borrowed);
    if (!Encode(&stream, imageType))
        return false;
    return file.Commit() != FALSE;
}

bool CxImage::Encode(CxFile* stream, DWORD imageType)
{
    // Only the JPEG encoder is built: no caller asks for BMP or GIF, so they are as unknown as
    // any other code.
    if (imageType != CXIMAGE_FORMAT_JPG) {
        SetLastErrorText("Encode: Unknown format");
        return false;
    }
    CxImageJPG codec;
    codec.Borrow(*this);
    if (codec.Encode(stream))
        return true;
    std::memcpy(m_lastError, codec.GetLastErrorText(), sizeof m_lastError);
    return false;
}
