// Photos: one captured frame written as a JPEG file.
#pragma once

#include "platform/base/WinTypes.h"

#include <memory>

class CxImage;

// Writes the frame to `path` as a baseline JFIF JPEG of quality 90 with 4:2:0 sampling and
// 96 dpi. The frame is 24-bit blue-green-red, rows padded to 4 bytes, bottom row first. Nothing
// is written for an empty or oversized frame, or when `byteCount` is less than stride x height.
// The caller judges success by the file existing afterwards.
void SaveFrameAsJpeg(const BYTE* pixels, LONG byteCount, UINT width, UINT height, LPCWSTR path);

// A frame written straight into the image that is encoded, and kept from one photo to the next:
// a grabber fills its rows, no copy of the frame is made, and the next photo of the same size
// finds its memory already there.
class PhotoFrame {
public:
    PhotoFrame();
    ~PhotoFrame();
    PhotoFrame(const PhotoFrame&) = delete;
    PhotoFrame& operator=(const PhotoFrame&) = delete;

    // Rows for a frame of this size, laid out as SaveFrameAsJpeg's frame, `size` bytes in all;
    // null for an empty or oversized frame.
    BYTE* Rows(UINT width, UINT height, LONG* size);
    // Writes what the rows hold as SaveFrameAsJpeg writes its frame.
    void Save(LPCWSTR path);

private:
    std::unique_ptr<CxImage> m_image;
};
