#include "platform/ui/Paint.h"

#include "platform/ui/DeviceContext.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Presenter.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowObject.h"

#include <algorithm>

namespace {

cairo_rectangle_int_t ToCairo(const RECT& r)
{
    return {r.left, r.top, std::max<LONG>(0, r.right - r.left), std::max<LONG>(0, r.bottom - r.top)};
}

RECT ClientRectOf(HWND hwnd)
{
    RECT r {};
    GetClientRect(hwnd, &r);
    return r;
}

RECT InTopLevel(HWND hwnd, RECT r)
{
    POINT o = OffsetInTopLevel(hwnd);
    return {r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
}

// The child's window rectangle in the top-level surface.
RECT WindowRectInTopLevel(const WindowObject& child)
{
    return InTopLevel(child.parent, child.rect);
}

void SubtractSiblingsAbove(cairo_region_t* region, const WindowObject& w)
{
    WindowObject* parent = FindWindowObject(w.parent);
    if (!parent)
        return;
    for (HWND sibling : parent->children) {
        if (sibling == w.handle)
            break;
        WindowObject* s = FindWindowObject(sibling);
        if (!s || !s->IsVisible())
            continue;
        cairo_rectangle_int_t r = ToCairo(WindowRectInTopLevel(*s));
        cairo_region_subtract_rectangle(region, &r);
    }
}

// What of the window's client area can be drawn, in top-level surface coordinates.
cairo_region_t* VisibleRegion(HWND hwnd)
{
    cairo_rectangle_int_t client = ToCairo(InTopLevel(hwnd, ClientRectOf(hwnd)));
    cairo_region_t* region = cairo_region_create_rectangle(&client);
    WindowObject* w = FindWindowObject(hwnd);
    if (w && (w->style & WS_CLIPCHILDREN)) {
        for (HWND child : w->children) {
            WindowObject* c = FindWindowObject(child);
            if (!c || !c->IsVisible())
                continue;
            cairo_rectangle_int_t r = ToCairo(WindowRectInTopLevel(*c));
            cairo_region_subtract_rectangle(region, &r);
        }
    }
    for (WindowObject* a = w; a && a->IsChild(); a = FindWindowObject(a->parent)) {
        if (a->style & WS_CLIPSIBLINGS)
            SubtractSiblingsAbove(region, *a);
        cairo_rectangle_int_t parentClient = ToCairo(InTopLevel(a->parent, ClientRectOf(a->parent)));
        cairo_region_intersect_rectangle(region, &parentClient);
    }
    return region;
}

bool RedrawAllowed(HWND hwnd)
{
    for (WindowObject* w = FindWindowObject(hwnd); w; w = FindWindowObject(w->parent)) {
        if (!w->redrawEnabled)
            return false;
        if (!w->IsChild())
            return true;
    }
    return false;
}

void AddInvalid(WindowObject& w, const cairo_region_t* region, bool erase, bool allChildren, bool noChildren)
{
    cairo_rectangle_int_t client = ToCairo(ClientRectOf(w.handle));
    cairo_region_t* part = cairo_region_copy(region);
    cairo_region_intersect_rectangle(part, &client);
    if (!cairo_region_is_empty(part)) {
        if (!w.invalid)
            w.invalid = cairo_region_create();
        cairo_region_union(w.invalid, part);
        if (erase)
            w.erasePending = true;
    }
    // Children inside a window that does not clip them are painted over by it, so they repaint too.
    bool intoChildren = !noChildren && (allChildren || !(w.style & WS_CLIPCHILDREN));
    if (intoChildren && !cairo_region_is_empty(part)) {
        for (HWND child : w.children) {
            WindowObject* c = FindWindowObject(child);
            if (!c || !c->IsVisible())
                continue;
            LONG border = (c->style & (WS_BORDER | WS_DLGFRAME)) ? 1 : 0;
            cairo_region_t* inner = cairo_region_copy(part);
            cairo_region_translate(inner, -(c->rect.left + border), -(c->rect.top + border));
            AddInvalid(*c, inner, erase, allChildren, false);
            cairo_region_destroy(inner);
        }
    }
    cairo_region_destroy(part);
}

void RemoveInvalid(WindowObject& w, const cairo_region_t* region, bool allChildren)
{
    if (w.invalid) {
        if (region)
            cairo_region_subtract(w.invalid, region);
        else
            cairo_region_subtract(w.invalid, w.invalid);
        if (cairo_region_is_empty(w.invalid))
            w.erasePending = false;
    }
    if (!allChildren)
        return;
    for (HWND child : w.children) {
        if (WindowObject* c = FindWindowObject(child))
            RemoveInvalid(*c, nullptr, true);
    }
}

cairo_region_t* RegionFromRect(HWND hwnd, const RECT* rect)
{
    cairo_rectangle_int_t r = ToCairo(rect ? *rect : ClientRectOf(hwnd));
    return cairo_region_create_rectangle(&r);
}

bool HasPaintWork(const WindowObject& w)
{
    return w.internalPaint || (w.invalid && !cairo_region_is_empty(w.invalid));
}

void PaintNow(HWND hwnd, bool allChildren)
{
    std::vector<HWND> order = WindowsOfThisThreadInPaintOrder();
    for (HWND candidate : order) {
        if (candidate != hwnd && !(allChildren && IsChild(hwnd, candidate)))
            continue;
        WindowObject* w = FindWindowObject(candidate);
        if (w && HasPaintWork(*w) && IsReallyVisible(candidate) && RedrawAllowed(candidate)) {
            SendMessageW(candidate, WM_PAINT, 0, 0);
            ValidateRect(candidate, nullptr);
        }
    }
}

} // namespace

HDC CreateWindowDC(HWND hwnd, const cairo_region_t* clipInClient)
{
    HWND top = TopLevelOf(hwnd);
    WindowObject* topObject = FindWindowObject(top);
    if (!topObject || !topObject->surface)
        return nullptr;
    HDC dc = new HDC__;
    dc->surface = cairo_surface_reference(topObject->surface);
    dc->cr = cairo_create(dc->surface);
    dc->window = hwnd;
    dc->origin = OffsetInTopLevel(hwnd);
    dc->clip = VisibleRegion(hwnd);
    if (clipInClient) {
        cairo_region_t* limit = cairo_region_copy(clipInClient);
        cairo_region_translate(limit, dc->origin.x, dc->origin.y);
        cairo_region_intersect(dc->clip, limit);
        cairo_region_destroy(limit);
    }
    dc->brush = GetStockObject(WHITE_BRUSH);
    dc->pen = GetStockObject(BLACK_PEN);
    dc->font = GetStockObject(DEFAULT_GUI_FONT);
    RegisterDeviceContext(dc);
    ResetDeviceState(dc);
    return dc;
}

void ReleaseWindowDC(HDC dc)
{
    if (!dc)
        return;
    HWND top = TopLevelOf(dc->window);
    WindowObject* topObject = FindWindowObject(top);
    // Drawing may have happened before a clip function narrowed the clip.
    const cairo_region_t* drawable = dc->systemClip ? dc->systemClip : dc->clip;
    if (topObject && topObject->surface == dc->surface && drawable && !cairo_region_is_empty(drawable)) {
        cairo_rectangle_int_t extents;
        cairo_region_get_extents(drawable, &extents);
        cairo_surface_flush(dc->surface);
        RECT dirty {extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
        if (IsReallyVisible(top))
            CurrentPresenter().SurfaceChanged(top, topObject->surface, dirty);
    }
    DeleteDC(dc);
}

void ResetDeviceState(HDC dc)
{
    cairo_identity_matrix(dc->cr);
    cairo_reset_clip(dc->cr);
    if (dc->clip) {
        int count = cairo_region_num_rectangles(dc->clip);
        for (int i = 0; i < count; ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(dc->clip, i, &r);
            cairo_rectangle(dc->cr, r.x, r.y, r.width, r.height);
        }
        cairo_clip(dc->cr);
    }
    cairo_translate(dc->cr, dc->origin.x, dc->origin.y);
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase)
{
    UINT flags = RDW_INVALIDATE | (erase ? RDW_ERASE : 0);
    return RedrawWindow(hwnd, rect, nullptr, flags);
}

BOOL InvalidateRgn(HWND hwnd, HRGN region, BOOL erase)
{
    UINT flags = RDW_INVALIDATE | (erase ? RDW_ERASE : 0);
    return RedrawWindow(hwnd, nullptr, region, flags);
}

BOOL ValidateRect(HWND hwnd, const RECT* rect)
{
    return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, HRGN region, UINT flags)
{
    if (!hwnd) {
        for (HWND top : WindowsOfThisThreadInPaintOrder()) {
            WindowObject* w = FindWindowObject(top);
            if (w && !w->IsChild())
                RedrawWindow(top, rect, region, flags);
        }
        return TRUE;
    }
    WindowObject* w = FindWindowObject(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    cairo_region_t* area = nullptr;
    if (region) {
        const cairo_region_t* source = RegionOfHandle(region);
        area = source ? cairo_region_copy(source) : cairo_region_create();
    } else {
        area = RegionFromRect(hwnd, rect);
    }
    bool allChildren = (flags & RDW_ALLCHILDREN) != 0;
    bool noChildren = (flags & RDW_NOCHILDREN) != 0;
    if (flags & RDW_INVALIDATE)
        AddInvalid(*w, area, (flags & RDW_ERASE) != 0, allChildren, noChildren);
    if (flags & RDW_INTERNALPAINT)
        w->internalPaint = true;
    if (flags & RDW_VALIDATE)
        RemoveInvalid(*w, (rect || region) ? area : nullptr, allChildren);
    if (flags & RDW_NOINTERNALPAINT)
        w->internalPaint = false;
    cairo_region_destroy(area);
    if (flags & (RDW_UPDATENOW | RDW_ERASENOW))
        PaintNow(hwnd, allChildren || !noChildren);
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return FALSE;
    if (HasPaintWork(*w) && IsReallyVisible(hwnd) && RedrawAllowed(hwnd)) {
        SendMessageW(hwnd, WM_PAINT, 0, 0);
        ValidateRect(hwnd, nullptr);
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return FALSE;
    cairo_rectangle_int_t extents {0, 0, 0, 0};
    if (w->invalid)
        cairo_region_get_extents(w->invalid, &extents);
    if (rect)
        *rect = {extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
    bool any = extents.width > 0 && extents.height > 0;
    if (any && erase && w->erasePending) {
        HDC dc = GetDC(hwnd);
        w->erasePending = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
        ReleaseDC(hwnd, dc);
    }
    return any ? TRUE : FALSE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* paint)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w || !paint)
        return nullptr;
    *paint = {};
    cairo_region_t* area = w->invalid ? cairo_region_copy(w->invalid) : cairo_region_create();
    bool erase = w->erasePending;
    RemoveInvalid(*w, nullptr, false);
    w->internalPaint = false;
    HDC dc = CreateWindowDC(hwnd, area);
    cairo_rectangle_int_t extents;
    cairo_region_get_extents(area, &extents);
    cairo_region_destroy(area);
    paint->hdc = dc;
    paint->rcPaint = {extents.x, extents.y, extents.x + extents.width, extents.y + extents.height};
    paint->fErase = TRUE;
    if (dc && erase)
        paint->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint)
{
    if (!paint || !paint->hdc)
        return TRUE;
    ReleaseWindowDC(paint->hdc);
    return TRUE;
}

HWND FindWindowNeedingPaint(HWND filter)
{
    for (HWND hwnd : WindowsOfThisThreadInPaintOrder()) {
        if (filter && hwnd != filter && !IsChild(filter, hwnd))
            continue;
        WindowObject* w = FindWindowObject(hwnd);
        if (w && HasPaintWork(*w) && IsReallyVisible(hwnd) && RedrawAllowed(hwnd))
            return hwnd;
    }
    return nullptr;
}
