// Device contexts: where GDI drawing goes. Internal to platform/ui.
#pragma once

#include "platform/ui/WinUser.h"

#include <cairo.h>

struct HDC__ {
    cairo_t* cr = nullptr;
    cairo_surface_t* surface = nullptr; // the target, referenced
    HWND window = nullptr;              // for a window's device context
    POINT origin {0, 0};                // surface position of the logical origin
    cairo_region_t* clip = nullptr;     // surface coordinates; nullptr for the whole surface
    cairo_region_t* systemClip = nullptr; // a window context's clip as made, kept once a clip function changes `clip`
    POINT position {0, 0};              // current position of MoveToEx/LineTo, logical
    bool memory = false;

    HBITMAP bitmap = nullptr;    // selected into a memory device context
    HBITMAP ownBitmap = nullptr; // the 1 x 1 bitmap a memory device context starts with
    HBRUSH brush = nullptr;
    HPEN pen = nullptr;
    HFONT font = nullptr;
    COLORREF textColor = 0;
    COLORREF backgroundColor = 0xFFFFFF;
    int backgroundMode = OPAQUE;
    int stretchMode = COLORONCOLOR;
};

// A device context on a window's client area, clipped to what of it is visible, further limited to
// `clipInClient` when given. The top-level window's presenter is told about the drawn area on release.
HDC CreateWindowDC(HWND hwnd, const cairo_region_t* clipInClient);
void ReleaseWindowDC(HDC dc);
// Restores the context's translation and clip after a drawing call changed them.
void ResetDeviceState(HDC dc);
bool IsDeviceContext(HDC dc);
