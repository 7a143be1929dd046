// The image class of the photo writer: one pixel block holding a bitmap header and the pixel rows
// (bottom row first), the settings the encoders read, and the text of the last failure.
#pragma once

#include "platform/base/WinTypes.h"

#include <cstddef>

class CxFile;

// The largest pixel data an image may hold, in bytes.
inline constexpr double CXIMAGE_MAX_MEMORY = 268435456.0;

// Format codes of Encode and SaveFile. Only JPEG has an encoder.
enum : DWORD {
    CXIMAGE_FORMAT_UNKNOWN = 0,
    CXIMAGE_FORMAT_BMP = 1,
    CXIMAGE_FORMAT_GIF = 2,
    CXIMAGE_FORMAT_JPG = 3,
};

// The device-independent bitmap header at the start of the pixel block.
using CxBitmapInfoHeader = BITMAPINFOHEADER;

// One colour-table entry, blue first.
struct CxRgbQuad {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
static_assert(sizeof(CxRgbQuad) == 4);

class CxImage {
public:
    static constexpr size_t kLastErrorSize = 256;
    static constexpr long kDefaultDpi = 96;
    static constexpr float kDefaultJpegQuality = 90.0f;

    enum class FlipRows { No, Yes };

    explicit CxImage(DWORD imageType = CXIMAGE_FORMAT_UNKNOWN);
    virtual ~CxImage();
    CxImage(const CxImage&) = delete;
    CxImage& operator=(const CxImage&) = delete;

    // Makes an empty image; the pixel rows are not cleared. Returns the pixel block, or null with
    // the reason in the last-error text.
    void* Create(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD imageType);
    // Creates the image and copies `height` rows of `sourceStride` bytes into it, row i into row
    // i, or into row height - 1 - i when flipping. Only 24 bits per pixel are taken.
    bool CreateFromPixels(const BYTE* pixels, DWORD width, DWORD height, DWORD bitsPerPixel, DWORD sourceStride, FlipRows flip);
    // Writes the image to `path` (created or truncated) in the given format.
    bool SaveFile(LPCWSTR path, DWORD imageType);
    bool Encode(CxFile* stream, DWORD imageType);

    bool IsValid() const { return m_block != nullptr; }
    DWORD GetWidth() const { return static_cast<DWORD>(m_header.biWidth); }
    DWORD GetHeight() const { return static_cast<DWORD>(m_header.biHeight); }
    DWORD GetBpp() const { return m_header.biBitCount; }
    // The bytes of one pixel row, padded to a multiple of 4.
    DWORD GetEffWidth() const { return m_effectiveWidth; }
    DWORD GetType() const { return m_type; }
    DWORD GetNumColors() const { return m_header.biClrUsed; }
    const CxBitmapInfoHeader& GetHeader() const { return m_header; }
    // The pixel block: the header copy, the colour table, then the rows.
    const void* GetDib() const { return m_block; }
    size_t GetDibSize() const;
    // Row `row` of memory (0 is the bottom row of the picture); null without pixels.
    BYTE* GetBits(DWORD row = 0) const;
    CxRgbQuad* GetPalette() const;
    // Fills the colour table with the grey ramp (entry i is i, i, i).
    void SetGrayPalette();
    // True for a palette image of 8 bits whose colour table is the grey ramp.
    bool IsGrayScale() const;

    float GetJpegQuality() const { return m_jpegQuality; }
    void SetJpegQuality(float quality) { m_jpegQuality = quality; }
    long GetXDPI() const { return m_xDpi; }
    long GetYDPI() const { return m_yDpi; }
    // A value of 0 or less is taken as 96; the header's pixels per metre follow.
    void SetXDPI(long dpi);
    void SetYDPI(long dpi);
    DWORD GetCodecOption() const { return m_codecOption; }
    void SetCodecOption(DWORD option) { m_codecOption = option; }

    // The NUL-terminated ASCII text of the last failure ("" when none).
    const char* GetLastErrorText() const { return m_lastError; }

protected:
    // Shares `source`'s header, settings and pixel block without copying them. A borrowing image
    // frees nothing of its source and cannot be re-created.
    void Borrow(const CxImage& source);
    bool IsBorrowing() const { return m_source != nullptr; }
    void SetLastErrorText(const char* text);
    char* LastErrorBuffer() { return m_lastError; }

private:
    void FreeBlock();
    static LONG PixelsPerMetre(long dpi);
    static long EffectiveDpi(long dpi) { return dpi > 0 ? dpi : kDefaultDpi; }

    void* m_block = nullptr;
    BYTE* m_firstRow = nullptr;
    CxBitmapInfoHeader m_header {};
    DWORD m_effectiveWidth = 0;
    DWORD m_type = CXIMAGE_FORMAT_UNKNOWN;
    char m_lastError[kLastErrorSize] = {};
    float m_jpegQuality = kDefaultJpegQuality;
    long m_xDpi = kDefaultDpi;
    long m_yDpi = kDefaultDpi;
    DWORD m_codecOption = 0;
    const CxImage* m_source = nullptr;
};
