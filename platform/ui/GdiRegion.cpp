// Rectangle regions, their algebra, and the clip region of a device context.
#include "platform/ui/DeviceContext.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/GdiObject.h"

#include <utility>

namespace {

int TypeOf(const cairo_region_t* region)
{
    if (!region)
        return SIMPLEREGION;
    int count = cairo_region_num_rectangles(region);
    if (count == 0)
        return NULLREGION;
    return count == 1 ? SIMPLEREGION : COMPLEXREGION;
}

cairo_rectangle_int_t Normalized(int left, int top, int right, int bottom)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    return {left, top, right - left, bottom - top};
}

GdiRegion* RegionOf(HRGN handle)
{
    return GdiCast<GdiRegion>(handle, GdiKind::Region);
}

cairo_region_t* SurfaceRegion(HDC dc)
{
    cairo_rectangle_int_t whole {
        0, 0, cairo_image_surface_get_width(dc->surface), cairo_image_surface_get_height(dc->surface)};
    return cairo_region_create_rectangle(&whole);
}

// What the context may draw on before any clip function narrows it: the whole bitmap of a memory
// context, and for a window the visible part it was made with, which is kept the first time.
cairo_region_t* SystemClipCopy(HDC dc)
{
    if (dc->memory || !dc->clip)
        return SurfaceRegion(dc);
    if (!dc->systemClip)
        dc->systemClip = cairo_region_copy(dc->clip);
    return cairo_region_copy(dc->systemClip);
}

cairo_region_t* CurrentClipCopy(HDC dc)
{
    if (!dc->clip)
        return SurfaceRegion(dc);
    if (!dc->memory && !dc->systemClip)
        dc->systemClip = cairo_region_copy(dc->clip);
    return cairo_region_copy(dc->clip);
}

int ReplaceClip(HDC dc, cairo_region_t* clip)
{
    if (dc->clip)
        cairo_region_destroy(dc->clip);
    dc->clip = clip;
    ResetDeviceState(dc);
    return TypeOf(clip);
}

cairo_rectangle_int_t InSurface(HDC dc, int left, int top, int right, int bottom)
{
    cairo_rectangle_int_t r = Normalized(left, top, right, bottom);
    r.x += dc->origin.x;
    r.y += dc->origin.y;
    return r;
}

} // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    auto* region = new GdiRegion;
    cairo_rectangle_int_t r = Normalized(left, top, right, bottom);
    region->region = cairo_region_create_rectangle(&r);
    return RegisterGdiObject(region);
}

HRGN CreateRectRgnIndirect(const RECT* rect)
{
    if (!rect)
        return nullptr;
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

int CombineRgn(HRGN dest, HRGN a, HRGN b, int mode)
{
    GdiRegion* target = RegionOf(dest);
    GdiRegion* first = RegionOf(a);
    GdiRegion* second = RegionOf(b);
    if (!target || !first || (mode != RGN_COPY && !second))
        return RGN_ERROR;
    // The result is built apart, since the destination may be one of the operands.
    cairo_region_t* result = cairo_region_copy(first->region);
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    switch (mode) {
    case RGN_COPY:
        break;
    case RGN_AND:
        status = cairo_region_intersect(result, second->region);
        break;
    case RGN_OR:
        status = cairo_region_union(result, second->region);
        break;
    case RGN_XOR:
        status = cairo_region_xor(result, second->region);
        break;
    case RGN_DIFF:
        status = cairo_region_subtract(result, second->region);
        break;
    default:
        status = CAIRO_STATUS_INVALID_INDEX;
        break;
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        cairo_region_destroy(result);
        return RGN_ERROR;
    }
    cairo_region_destroy(target->region);
    target->region = result;
    return TypeOf(result);
}

BOOL PtInRegion(HRGN handle, int x, int y)
{
    GdiRegion* region = RegionOf(handle);
    return region && cairo_region_contains_point(region->region, x, y);
}

int GetRgnBox(HRGN handle, LPRECT rect)
{
    GdiRegion* region = RegionOf(handle);
    if (!region || !rect)
        return RGN_ERROR;
    if (cairo_region_is_empty(region->region)) {
        *rect = {0, 0, 0, 0};
        return NULLREGION;
    }
    cairo_rectangle_int_t box;
    cairo_region_get_extents(region->region, &box);
    *rect = {box.x, box.y, box.x + box.width, box.y + box.height};
    return TypeOf(region->region);
}

int IntersectClipRect(HDC dc, int left, int top, int right, int bottom)
{
    if (!IsDeviceContext(dc))
        return RGN_ERROR;
    cairo_region_t* clip = CurrentClipCopy(dc);
    cairo_rectangle_int_t r = InSurface(dc, left, top, right, bottom);
    cairo_region_intersect_rectangle(clip, &r);
    return ReplaceClip(dc, clip);
}

int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom)
{
    if (!IsDeviceContext(dc))
        return RGN_ERROR;
    cairo_region_t* clip = CurrentClipCopy(dc);
    cairo_rectangle_int_t r = InSurface(dc, left, top, right, bottom);
    cairo_region_subtract_rectangle(clip, &r);
    return ReplaceClip(dc, clip);
}

int SelectClipRgn(HDC dc, HRGN handle)
{
    if (!IsDeviceContext(dc))
        return RGN_ERROR;
    // No region gives the context back everything it may draw on.
    if (!handle && dc->memory)
        return ReplaceClip(dc, nullptr);
    cairo_region_t* clip = SystemClipCopy(dc);
    if (!handle)
        return ReplaceClip(dc, clip);
    GdiRegion* region = RegionOf(handle);
    if (!region) {
        cairo_region_destroy(clip);
        return RGN_ERROR;
    }
    // The region is in the context's coordinates and is copied: the caller may delete it.
    cairo_region_t* wanted = cairo_region_copy(region->region);
    cairo_region_translate(wanted, dc->origin.x, dc->origin.y);
    cairo_region_intersect(clip, wanted);
    cairo_region_destroy(wanted);
    return ReplaceClip(dc, clip);
}
