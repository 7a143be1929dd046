// Pens, rectangles and lines of GDI on Cairo, drawn without antialiasing so that pixels fall where
// GDI puts them.
#include "platform/ui/DeviceContext.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/GdiObject.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

void SetSourceColor(cairo_t* cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

// The pen that draws, or nullptr when the selected pen draws nothing.
const GdiPen* DrawingPen(HDC dc)
{
    auto* pen = GdiCast<GdiPen>(dc->pen, GdiKind::Pen);
    return pen && !pen->hollow ? pen : nullptr;
}

const GdiBrush* FillingBrush(HDC dc)
{
    auto* brush = GdiCast<GdiBrush>(dc->brush, GdiKind::Brush);
    return brush && !brush->hollow ? brush : nullptr;
}

// The pixels of a one-pixel line from `from` up to, not including, `to` (Bresenham).
void AddThinLine(cairo_t* cr, POINT from, POINT to)
{
    int dx = std::abs(to.x - from.x);
    int dy = -std::abs(to.y - from.y);
    int stepX = from.x < to.x ? 1 : -1;
    int stepY = from.y < to.y ? 1 : -1;
    int error = dx + dy;
    POINT p = from;
    while (p.x != to.x || p.y != to.y) {
        cairo_rectangle(cr, p.x, p.y, 1, 1);
        int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            p.x += stepX;
        }
        if (twice <= dx) {
            error += dx;
            p.y += stepY;
        }
    }
}

} // namespace

HPEN CreatePen(int style, int width, COLORREF color)
{
    auto* pen = new GdiPen;
    pen->color = color & 0xFFFFFF;
    pen->width = std::max(1, width);
    // Dashed styles are drawn solid; only "no pen" differs.
    pen->hollow = style == PS_NULL;
    return RegisterGdiObject(pen);
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom)
{
    if (!IsDeviceContext(dc))
        return FALSE;
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    const GdiPen* pen = DrawingPen(dc);
    const GdiBrush* brush = FillingBrush(dc);
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    // Without a pen GDI's rectangle is one pixel smaller to the right and below.
    int shrink = pen ? 0 : 1;
    if (brush && right - left > shrink && bottom - top > shrink) {
        SetSourceColor(cr, brush->color);
        cairo_rectangle(cr, left, top, right - left - shrink, bottom - top - shrink);
        cairo_fill(cr);
    }
    if (pen && right > left && bottom > top) {
        SetSourceColor(cr, pen->color);
        if (pen->width == 1) {
            // The frame's pixels, exactly: the right and bottom edges are the last columns inside.
            cairo_rectangle(cr, left, top, right - left, bottom - top);
            if (right - left > 2 && bottom - top > 2)
                cairo_rectangle(cr, left + 1, top + 1, right - left - 2, bottom - top - 2);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            cairo_fill(cr);
        } else {
            cairo_set_line_width(cr, pen->width);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
            cairo_rectangle(cr, left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
            cairo_stroke(cr);
        }
    }
    cairo_restore(cr);
    cairo_surface_mark_dirty(dc->surface);
    return TRUE;
}

BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous)
{
    if (!IsDeviceContext(dc))
        return FALSE;
    if (previous)
        *previous = dc->position;
    dc->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC dc, int x, int y)
{
    if (!IsDeviceContext(dc))
        return FALSE;
    POINT from = dc->position;
    POINT to {x, y};
    dc->position = to;
    const GdiPen* pen = DrawingPen(dc);
    if (!pen)
        return TRUE;
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    SetSourceColor(cr, pen->color);
    if (pen->width == 1) {
        AddThinLine(cr, from, to);
        cairo_fill(cr);
    } else {
        cairo_set_line_width(cr, pen->width);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
        cairo_line_to(cr, to.x + 0.5, to.y + 0.5);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    cairo_surface_mark_dirty(dc->surface);
    return TRUE;
}
