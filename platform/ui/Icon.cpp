#include "platform/ui/Icon.h"

#include "platform/sys/Resources.h"
#include "platform/ui/Screen.h"

#include <cairo.h>

#include <cstring>
#include <mutex>
#include <vector>

struct HICON__ {
    cairo_surface_t* image = nullptr;
    CursorShape shape = CursorShape::Arrow;
    bool system = false;
};

namespace {

struct PngReader {
    const std::vector<BYTE>* bytes;
    size_t offset = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length)
{
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->offset + length > reader->bytes->size())
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, reader->bytes->data() + reader->offset, length);
    reader->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* DecodePng(const std::vector<BYTE>& png)
{
    PngReader reader {&png};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPng, &reader);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

cairo_surface_t* Scaled(cairo_surface_t* source, int width, int height)
{
    int sw = cairo_image_surface_get_width(source);
    int sh = cairo_image_surface_get_height(source);
    if (sw == width && sh == height)
        return cairo_surface_reference(source);
    cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(target);
    cairo_scale(cr, static_cast<double>(width) / sw, static_cast<double>(height) / sh);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_destroy(cr);
    return target;
}

HICON SystemCursor(CursorShape shape)
{
    static std::mutex lock;
    static HICON cursors[5] {};
    std::lock_guard guard(lock);
    auto index = static_cast<size_t>(shape);
    if (!cursors[index]) {
        cursors[index] = new HICON__;
        cursors[index]->shape = shape;
        cursors[index]->system = true;
    }
    return cursors[index];
}

} // namespace

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name)
{
    if (!IS_INTRESOURCE(name))
        return nullptr;
    switch (reinterpret_cast<ULONG_PTR>(name)) {
    case 32512:
        return SystemCursor(CursorShape::Arrow);
    case 32513:
        return SystemCursor(CursorShape::IBeam);
    case 32514:
        return SystemCursor(CursorShape::Wait);
    case 32646:
        return SystemCursor(CursorShape::SizeAll);
    case 32649:
        return SystemCursor(CursorShape::Hand);
    default:
        return nullptr;
    }
}

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT)
{
    if (type == IMAGE_CURSOR)
        return LoadCursorW(instance, name);
    if (type != IMAGE_ICON || !IS_INTRESOURCE(name))
        return nullptr;
    std::vector<IconImage> images = LoadIconImages(instance, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
    if (images.empty())
        return nullptr;
    if (cx <= 0)
        cx = GetSystemMetrics(SM_CXICON);
    if (cy <= 0)
        cy = GetSystemMetrics(SM_CYICON);
    // The smallest image at least as large as asked for, else the largest.
    const IconImage* best = &images.back();
    for (const auto& image : images) {
        if (image.width >= cx && image.height >= cy) {
            best = &image;
            break;
        }
    }
    cairo_surface_t* decoded = DecodePng(best->png);
    if (!decoded)
        return nullptr;
    auto* icon = new HICON__;
    icon->image = Scaled(decoded, cx, cy);
    cairo_surface_destroy(decoded);
    return icon;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, 0, 0, 0));
}

BOOL DestroyIcon(HICON icon)
{
    if (!icon || icon->system)
        return icon ? TRUE : FALSE;
    if (icon->image)
        cairo_surface_destroy(icon->image);
    delete icon;
    return TRUE;
}

BOOL DestroyCursor(HCURSOR cursor)
{
    return DestroyIcon(cursor);
}

cairo_surface_t* IconSurface(HICON icon)
{
    return icon ? icon->image : nullptr;
}

CursorShape CursorShapeOf(HCURSOR cursor)
{
    return cursor ? cursor->shape : CursorShape::Arrow;
}
