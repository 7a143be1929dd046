// Photos: one captured frame written as a JPEG file.
#pragma once

#include "platform/base/WinTypes.h"

// Writes the frame to `path` as a baseline JFIF JPEG of quality 90 with 4:2:0 sampling and
// 96 dpi. The frame is 24-bit blue-green-red, rows padded to 4 bytes, bottom row first. Nothing
// is written for an empty or oversized frame, or when `byteCount` is less than stride x height.
// The caller judges success by the file existing afterwards.
void SaveFrameAsJpeg(const BYTE* pixels, LONG byteCount, UINT width, UINT height, LPCWSTR path);
