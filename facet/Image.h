// The engine's images: PNG and JPEG from a file or from a module's resources ("res://<module>/<type>/<number>").
#pragma once

#include "ui/Engine.h"

#include <cairo.h>

// A new image with one reference; nullptr only when memory runs out.
EngineImage* CreateEngineImage();
// An image loaded from a path or URL, or nullptr when it cannot be read.
EngineImage* LoadEngineImage(LPCWSTR pathOrUrl);
// As LoadEngineImage, for a picture shown at maxWidth by maxHeight (0: no limit that way; JPEG scales
// while decoding). With one extent, a larger picture is kept at most twice that size with its
// proportions; with both, a picture larger than the hint is kept at exactly the hint (a thumbnail is
// drawn stretched over its place), never larger than itself either way.
EngineImage* LoadEngineImageScaled(LPCWSTR pathOrUrl, int maxWidth, int maxHeight);
// The size hint ImageLoad's flags carry for the same purpose: the width in the low word, the height in the high word.
constexpr DWORD ImageSizeHint(int maxWidth, int maxHeight)
{
    return (static_cast<DWORD>(maxWidth) & 0xFFFF) | ((static_cast<DWORD>(maxHeight) & 0xFFFF) << 16);
}
// The decoded picture of an engine image (owned by the image), or nullptr before a successful load.
cairo_surface_t* EngineImageSurface(EngineImage* image);
