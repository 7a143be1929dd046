#include "imaging/SaveFrame.h"

#include "imaging/CxImage.h"

#include <cstdint>

void SaveFrameAsJpeg(const BYTE* pixels, LONG byteCount, UINT width, UINT height, LPCWSTR path)
{
    uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) / 4 * 4;
    // A frame that does not cover its own size would be read past its end.
    if (byteCount < 0 || static_cast<uint64_t>(byteCount) < stride * height)
        return;
    CxImage image(CXIMAGE_FORMAT_UNKNOWN);
    if (!image.CreateFromPixels(pixels, width, height, 24, static_cast<DWORD>(stride), CxImage::FlipRows::No))
        return;
    image.SaveFile(path, CXIMAGE_FORMAT_JPG);
}
