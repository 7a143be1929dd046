// GDI objects behind HGDIOBJ handles. Internal to platform/ui.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <cairo.h>

enum class GdiKind { Brush, Pen, Bitmap, Font, Region };

struct HGDIOBJ__ {
    explicit HGDIOBJ__(GdiKind k) : kind(k) { }
    virtual ~HGDIOBJ__() = default;
    HGDIOBJ__(const HGDIOBJ__&) = delete;
    HGDIOBJ__& operator=(const HGDIOBJ__&) = delete;
    GdiKind kind;
    bool stock = false;
    int selections = 0; // device contexts that have it selected
};

struct GdiBrush : HGDIOBJ__ {
    GdiBrush() : HGDIOBJ__(GdiKind::Brush) { }
    COLORREF color = 0;
    bool hollow = false;
};

struct GdiPen : HGDIOBJ__ {
    GdiPen() : HGDIOBJ__(GdiKind::Pen) { }
    COLORREF color = 0;
    int width = 1;
    bool hollow = false;
};

struct GdiBitmap : HGDIOBJ__ {
    GdiBitmap() : HGDIOBJ__(GdiKind::Bitmap) { }
    ~GdiBitmap() override;
    cairo_surface_t* surface = nullptr; // ARGB32 image surface
};

struct GdiRegion : HGDIOBJ__ {
    GdiRegion() : HGDIOBJ__(GdiKind::Region) { }
    ~GdiRegion() override;
    cairo_region_t* region = nullptr;
};

// Fonts are described here and laid out by the text functions.
struct GdiFont : HGDIOBJ__ {
    GdiFont() : HGDIOBJ__(GdiKind::Font) { }
    WString face;
    int height = 0; // character height in pixels when negative, cell height when positive (as LOGFONT)
    int weight = 400;
    bool italic = false;
    bool underline = false;
    BYTE charSet = 0;
};

// The object behind a handle when it is a live GDI object of the expected kind, else nullptr.
template <class T>
T* GdiCast(HGDIOBJ handle, GdiKind kind);
HGDIOBJ RegisterGdiObject(HGDIOBJ__* object);
bool IsLiveGdiObject(HGDIOBJ handle);

template <class T>
T* GdiCast(HGDIOBJ handle, GdiKind kind)
{
    if (!IsLiveGdiObject(handle) || handle->kind != kind)
        return nullptr;
    return static_cast<T*>(handle);
}
