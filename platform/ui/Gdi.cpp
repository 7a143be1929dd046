#include "platform/ui/Gdi.h"

#include "platform/ui/DeviceContext.h"
#include "platform/ui/GdiObject.h"
#include "platform/ui/WindowObject.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace {

struct GdiTable {
    std::mutex lock;
    std::unordered_set<HGDIOBJ> objects;
    std::unordered_set<HDC> contexts;
};

GdiTable& Table()
{
    static GdiTable* table = new GdiTable;
    return *table;
}

void SetSourceColor(cairo_t* cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

HGDIOBJ MakeStockBrush(COLORREF color, bool hollow = false)
{
    auto* brush = new GdiBrush;
    brush->color = color;
    brush->hollow = hollow;
    brush->stock = true;
    return RegisterGdiObject(brush);
}

HGDIOBJ MakeStockPen(COLORREF color, bool hollow = false)
{
    auto* pen = new GdiPen;
    pen->color = color;
    pen->hollow = hollow;
    pen->stock = true;
    return RegisterGdiObject(pen);
}

HGDIOBJ MakeStockFont()
{
    auto* font = new GdiFont;
    font->face = u"MS Shell Dlg";
    font->height = -11;
    font->stock = true;
    return RegisterGdiObject(font);
}

// A 1 × 1 bitmap, as a fresh memory device context holds before a bitmap is selected into it.
HBITMAP MakeDefaultBitmap()
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    HBITMAP bitmap = CreateBitmapFromSurface(surface);
    cairo_surface_destroy(surface);
    return bitmap;
}

void AttachMemorySurface(HDC dc, cairo_surface_t* surface)
{
    if (dc->cr)
        cairo_destroy(dc->cr);
    if (dc->surface)
        cairo_surface_destroy(dc->surface);
    dc->surface = cairo_surface_reference(surface);
    dc->cr = cairo_create(surface);
    ResetDeviceState(dc);
}

void ReleaseSelection(HGDIOBJ object)
{
    if (object && IsLiveGdiObject(object) && object->selections > 0)
        object->selections--;
}

COLORREF SystemColor(int index)
{
    switch (index) {
    case COLOR_WINDOW:
        return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
        return RGB(0, 0, 0);
    case COLOR_BTNFACE:
        return RGB(240, 240, 240);
    default:
        return RGB(240, 240, 240);
    }
}

} // namespace

GdiBitmap::~GdiBitmap()
{
    if (surface)
        cairo_surface_destroy(surface);
}

GdiRegion::~GdiRegion()
{
    if (region)
        cairo_region_destroy(region);
}

HGDIOBJ RegisterGdiObject(HGDIOBJ__* object)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    table.objects.insert(object);
    return object;
}

bool IsLiveGdiObject(HGDIOBJ handle)
{
    if (!handle)
        return false;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return table.objects.count(handle) != 0;
}

void RegisterDeviceContext(HDC dc)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    table.contexts.insert(dc);
}

bool IsDeviceContext(HDC dc)
{
    if (!dc)
        return false;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return table.contexts.count(dc) != 0;
}

HDC GetDC(HWND hwnd)
{
    if (!hwnd)
        return CreateCompatibleDC(nullptr);
    return CreateWindowDC(hwnd, nullptr);
}

int ReleaseDC(HWND, HDC dc)
{
    if (!IsDeviceContext(dc))
        return 0;
    if (dc->window)
        ReleaseWindowDC(dc);
    else
        DeleteDC(dc);
    return 1;
}

HDC CreateCompatibleDC(HDC)
{
    HDC dc = new HDC__;
    dc->memory = true;
    dc->ownBitmap = MakeDefaultBitmap();
    dc->bitmap = dc->ownBitmap;
    dc->bitmap->selections++;
    dc->brush = GetStockObject(WHITE_BRUSH);
    dc->pen = GetStockObject(BLACK_PEN);
    dc->font = GetStockObject(DEFAULT_GUI_FONT);
    AttachMemorySurface(dc, SurfaceOfBitmap(dc->bitmap));
    RegisterDeviceContext(dc);
    return dc;
}

BOOL DeleteDC(HDC dc)
{
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        if (!table.contexts.erase(dc))
            return FALSE;
    }
    ReleaseSelection(dc->brush);
    ReleaseSelection(dc->pen);
    ReleaseSelection(dc->font);
    if (dc->memory)
        ReleaseSelection(dc->bitmap);
    if (dc->ownBitmap)
        DeleteObject(dc->ownBitmap);
    if (dc->cr)
        cairo_destroy(dc->cr);
    if (dc->surface)
        cairo_surface_destroy(dc->surface);
    if (dc->clip)
        cairo_region_destroy(dc->clip);
    if (dc->systemClip)
        cairo_region_destroy(dc->systemClip);
    delete dc;
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height)
{
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767)
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    // A new bitmap is black and opaque, as a screen-compatible bitmap is.
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    HBITMAP bitmap = CreateBitmapFromSurface(surface);
    cairo_surface_destroy(surface);
    return bitmap;
}

HBITMAP CreateBitmapFromSurface(cairo_surface_t* surface)
{
    if (!surface)
        return nullptr;
    auto* bitmap = new GdiBitmap;
    bitmap->surface = cairo_surface_reference(surface);
    return RegisterGdiObject(bitmap);
}

cairo_surface_t* SurfaceOfBitmap(HBITMAP handle)
{
    auto* bitmap = GdiCast<GdiBitmap>(handle, GdiKind::Bitmap);
    return bitmap ? bitmap->surface : nullptr;
}

const cairo_region_t* RegionOfHandle(HRGN handle)
{
    auto* region = GdiCast<GdiRegion>(handle, GdiKind::Region);
    return region ? region->region : nullptr;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    if (!IsDeviceContext(dc) || !IsLiveGdiObject(object))
        return nullptr;
    HGDIOBJ* slot = nullptr;
    switch (object->kind) {
    case GdiKind::Brush:
        slot = &dc->brush;
        break;
    case GdiKind::Pen:
        slot = &dc->pen;
        break;
    case GdiKind::Font:
        slot = &dc->font;
        break;
    case GdiKind::Bitmap:
        if (!dc->memory)
            return nullptr;
        slot = &dc->bitmap;
        break;
    case GdiKind::Region:
        return nullptr;
    }
    HGDIOBJ old = *slot;
    ReleaseSelection(old);
    *slot = object;
    object->selections++;
    if (object->kind == GdiKind::Bitmap)
        AttachMemorySurface(dc, SurfaceOfBitmap(object));
    return old;
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (!IsLiveGdiObject(object))
        return FALSE;
    // Stock objects are never deleted, and a selected object stays until it is deselected, as on Windows.
    if (object->stock || object->selections > 0)
        return object->stock ? TRUE : FALSE;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        table.objects.erase(object);
    }
    delete object;
    return TRUE;
}

HGDIOBJ GetStockObject(int index)
{
    static HGDIOBJ stock[18] = {
        MakeStockBrush(RGB(255, 255, 255)), // WHITE_BRUSH
        MakeStockBrush(RGB(192, 192, 192)), // LTGRAY_BRUSH
        MakeStockBrush(RGB(128, 128, 128)), // GRAY_BRUSH
        MakeStockBrush(RGB(64, 64, 64)),    // DKGRAY_BRUSH
        MakeStockBrush(RGB(0, 0, 0)),       // BLACK_BRUSH
        MakeStockBrush(0, true),            // NULL_BRUSH
        MakeStockPen(RGB(255, 255, 255)),   // WHITE_PEN
        MakeStockPen(RGB(0, 0, 0)),         // BLACK_PEN
        MakeStockPen(0, true),              // NULL_PEN
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        MakeStockFont(),                    // DEFAULT_GUI_FONT
    };
    if (index < 0 || index >= 18)
        return nullptr;
    return stock[index];
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer)
{
    auto* bitmap = GdiCast<GdiBitmap>(object, GdiKind::Bitmap);
    if (!bitmap || !buffer || size < static_cast<int>(sizeof(BITMAP)))
        return 0;
    BITMAP info {};
    info.bmWidth = cairo_image_surface_get_width(bitmap->surface);
    info.bmHeight = cairo_image_surface_get_height(bitmap->surface);
    info.bmWidthBytes = cairo_image_surface_get_stride(bitmap->surface);
    info.bmPlanes = 1;
    info.bmBitsPixel = 32;
    *static_cast<BITMAP*>(buffer) = info;
    return sizeof(BITMAP);
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto* brush = new GdiBrush;
    brush->color = color & 0xFFFFFF;
    return RegisterGdiObject(brush);
}

DWORD GetSysColor(int index)
{
    return SystemColor(index);
}

HBRUSH GetSysColorBrush(int index)
{
    static std::mutex lock;
    static HBRUSH brushes[32] {};
    if (index < 0 || index >= 32)
        return nullptr;
    std::lock_guard guard(lock);
    if (!brushes[index]) {
        brushes[index] = CreateSolidBrush(SystemColor(index));
        brushes[index]->stock = true;
    }
    return brushes[index];
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (!IsDeviceContext(dc) || !rect)
        return 0;
    // A brush may also be a system colour index plus one, as window classes give it.
    auto value = reinterpret_cast<ULONG_PTR>(brush);
    if (value > 0 && value <= 32)
        brush = GetSysColorBrush(static_cast<int>(value - 1));
    auto* solid = GdiCast<GdiBrush>(brush, GdiKind::Brush);
    if (!solid)
        return 0;
    if (solid->hollow)
        return 1;
    cairo_t* cr = CairoOf(dc);
    SetSourceColor(cr, solid->color);
    cairo_rectangle(cr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    cairo_fill(cr);
    return 1;
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sw, int sh, DWORD)
{
    if (!IsDeviceContext(dest) || !IsDeviceContext(source) || sw == 0 || sh == 0 || width == 0 || height == 0)
        return FALSE;
    cairo_surface_t* from = source->surface;
    bool sameSurface = from == dest->surface;
    if (sameSurface) {
        // Cairo cannot read and write one surface in one operation; copy the source first.
        cairo_surface_t* copy = cairo_surface_create_similar_image(from, CAIRO_FORMAT_ARGB32,
            cairo_image_surface_get_width(from), cairo_image_surface_get_height(from));
        cairo_t* c = cairo_create(copy);
        cairo_set_source_surface(c, from, 0, 0);
        cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
        cairo_paint(c);
        cairo_destroy(c);
        from = copy;
    }
    cairo_surface_flush(from);
    cairo_t* cr = CairoOf(dest);
    cairo_save(cr);
    cairo_rectangle(cr, std::min(x, x + width), std::min(y, y + height), std::abs(width), std::abs(height));
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, static_cast<double>(width) / sw, static_cast<double>(height) / sh);
    cairo_set_source_surface(cr, from, -(sx + source->origin.x), -(sy + source->origin.y));
    cairo_pattern_t* pattern = cairo_get_source(cr);
    bool scaled = width != sw || height != sh;
    cairo_pattern_set_filter(pattern, !scaled ? CAIRO_FILTER_NEAREST
            : dest->stretchMode == HALFTONE     ? CAIRO_FILTER_GOOD
                                                : CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_rectangle(cr, 0, 0, sw, sh);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_surface_mark_dirty(dest->surface);
    if (sameSurface)
        cairo_surface_destroy(from);
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop)
{
    return StretchBlt(dest, x, y, width, height, source, sx, sy, width, height, rop);
}

int SetStretchBltMode(HDC dc, int mode)
{
    if (!IsDeviceContext(dc))
        return 0;
    int old = dc->stretchMode;
    dc->stretchMode = mode;
    return old;
}

COLORREF SetTextColor(HDC dc, COLORREF color)
{
    if (!IsDeviceContext(dc))
        return 0xFFFFFFFF;
    COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

COLORREF GetTextColor(HDC dc)
{
    return IsDeviceContext(dc) ? dc->textColor : 0;
}

COLORREF SetBkColor(HDC dc, COLORREF color)
{
    if (!IsDeviceContext(dc))
        return 0xFFFFFFFF;
    COLORREF old = dc->backgroundColor;
    dc->backgroundColor = color;
    return old;
}

int SetBkMode(HDC dc, int mode)
{
    if (!IsDeviceContext(dc))
        return 0;
    int old = dc->backgroundMode;
    dc->backgroundMode = mode;
    return old;
}

cairo_t* CairoOf(HDC dc)
{
    ResetDeviceState(dc);
    return dc->cr;
}

BOOL SetViewportOrgEx(HDC dc, int x, int y, LPPOINT previous)
{
    if (!IsDeviceContext(dc))
        return FALSE;
    // A window's device context starts at the window's place in its top-level surface; the viewport origin adds to that.
    POINT base = dc->window ? OffsetInTopLevel(dc->window) : POINT {0, 0};
    if (previous)
        *previous = {dc->origin.x - base.x, dc->origin.y - base.y};
    dc->origin = {base.x + x, base.y + y};
    ResetDeviceState(dc);
    return TRUE;
}

BOOL GetViewportOrgEx(HDC dc, LPPOINT origin)
{
    if (!IsDeviceContext(dc) || !origin)
        return FALSE;
    POINT base = dc->window ? OffsetInTopLevel(dc->window) : POINT {0, 0};
    *origin = {dc->origin.x - base.x, dc->origin.y - base.y};
    return TRUE;
}
