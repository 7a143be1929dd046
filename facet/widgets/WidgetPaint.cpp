#include "facet/widgets/WidgetPaint.h"

#include "facet/Image.h"
#include "facet/Skin.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace {

constexpr int kScreenDpi = 96;
constexpr int kPointsPerInch = 72;
constexpr int kContentSlack = 3;

WStringView DrawnPart(const WString& text)
{
    WStringView view = text;
    if (view.size() <= kLongestDrawnText)
        return view;
    size_t cut = kLongestDrawnText;
    // Never split a surrogate pair.
    if (view[cut - 1] >= 0xD800 && view[cut - 1] <= 0xDBFF)
        --cut;
    return view.substr(0, cut);
}

} // namespace

ImageHandle& ImageHandle::operator=(ImageHandle&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_image = other.m_image;
        other.m_image = nullptr;
    }
    return *this;
}

void ImageHandle::Reset()
{
    if (m_image)
        m_image->Release();
    m_image = nullptr;
}

cairo_surface_t* ImageHandle::Surface() const
{
    return m_image ? EngineImageSurface(m_image) : nullptr;
}

int ImageHandle::Width() const
{
    cairo_surface_t* surface = Surface();
    return surface ? cairo_image_surface_get_width(surface) : 0;
}

int ImageHandle::Height() const
{
    cairo_surface_t* surface = Surface();
    return surface ? cairo_image_surface_get_height(surface) : 0;
}

ImageHandle LoadWidgetImage(LPCWSTR pathOrUrl)
{
    if (!pathOrUrl || !*pathOrUrl)
        return {};
    ImageHandle image(LoadEngineImage(pathOrUrl));
    if (!image.Surface())
        return {};
    return image;
}

void DrawSurfacePart(cairo_t* cr, cairo_surface_t* picture, const RECT& source, const RECT& dest)
{
    double sw = source.right - source.left;
    double sh = source.bottom - source.top;
    double dw = dest.right - dest.left;
    double dh = dest.bottom - dest.top;
    if (!cr || !picture || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    cairo_surface_t* part = cairo_surface_create_for_rectangle(picture, source.left, source.top, sw, sh);
    cairo_save(cr);
    cairo_rectangle(cr, dest.left, dest.top, dw, dh);
    cairo_clip(cr);
    cairo_translate(cr, dest.left, dest.top);
    cairo_scale(cr, dw / sw, dh / sh);
    cairo_set_source_surface(cr, part, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    bool unscaled = dw == sw && dh == sh;
    cairo_pattern_set_filter(cairo_get_source(cr), unscaled ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_BILINEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(part);
}

void DrawImageCell(HDC dc, const ImageHandle& image, const ImageCells& cells, int column, int row, int x, int y)
{
    cairo_surface_t* picture = image.Surface();
    int width = cells.CellWidth(image);
    int height = cells.CellHeight(image);
    if (!picture || width <= 0 || height <= 0)
        return;
    column = std::clamp(column, 0, cells.across - 1);
    row = std::clamp(row, 0, cells.down - 1);
    RECT source {column * width, row * height, (column + 1) * width, (row + 1) * height};
    DrawSurfacePart(CairoOf(dc), picture, source, {x, y, x + width, y + height});
}

void DrawParentBackdrop(HWND hwnd, HDC dc)
{
    HWND parent = GetParent(hwnd);
    if (!parent || !dc)
        return;
    POINT origin {0, 0};
    MapWindowPoints(hwnd, parent, &origin, 1);
    POINT previous {0, 0};
    GetViewportOrgEx(dc, &previous);
    // The parent draws in its own client coordinates; the control's clip keeps it to the control.
    SetViewportOrgEx(dc, previous.x - origin.x, previous.y - origin.y, nullptr);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);
}

void InvalidateUnder(HWND hwnd)
{
    HWND parent = GetParent(hwnd);
    if (!parent) {
        InvalidateRect(hwnd, nullptr, TRUE);
        return;
    }
    RECT area {};
    GetClientRect(hwnd, &area);
    MapWindowPoints(hwnd, parent, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ClipToContent(HWND hwnd, HDC dc, RECT content)
{
    HWND parent = GetParent(hwnd);
    // A parent that clips its children leaves their area to them, so the whole control must be drawn.
    if (!parent || (GetWindowLongPtrW(parent, GWL_STYLE) & WS_CLIPCHILDREN))
        return;
    // Room for antialiasing and overhanging glyphs.
    IntersectClipRect(dc, content.left - kContentSlack, content.top - kContentSlack, content.right + kContentSlack,
        content.bottom + kContentSlack);
}

RECT MarkupTextBounds(HDC dc, const LabelMarkup& markup, const RECT& area, UINT format)
{
    if (!(format & DT_SINGLELINE))
        return area;
    SIZE size = MeasureMarkupText(dc, markup);
    if (size.cx <= 0)
        return {area.left, area.top, area.left, area.top};
    LONG left = area.left;
    if (format & DT_RIGHT)
        left = area.right - size.cx;
    else if (format & DT_CENTER)
        left = (area.left + area.right - size.cx) / 2;
    LONG top = area.top;
    if (format & DT_VCENTER)
        top = (area.top + area.bottom - size.cy) / 2;
    else if (format & DT_BOTTOM)
        top = area.bottom - size.cy;
    return {std::max(left, area.left), top, std::min(left + size.cx, area.right), top + size.cy};
}

HFONT CreateSkinFont(int points, bool bold, bool underline)
{
    const Skin& skin = CurrentSkin();
    if (points <= 0)
        points = skin.fontSize > 0 ? skin.fontSize : 9;
    int pixels = -(points * kScreenDpi + kPointsPerInch / 2) / kPointsPerInch;
    return CreateFontW(pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
        DEFAULT_CHARSET, 0, 0, 0, 0, skin.fontFace.c_str());
}

TextColors MarkupColors(const LabelMarkup& markup, TextColors defaults)
{
    TextColors colors = defaults;
    if (markup.hasColor) {
        colors.normal = markup.color;
        colors.hover = markup.color;
    }
    if (markup.hasHoverColor)
        colors.hover = markup.hoverColor;
    return colors;
}

void DrawMarkupText(HDC dc, RECT area, const LabelMarkup& markup, COLORREF color, UINT format)
{
    WStringView text = DrawnPart(markup.text);
    if (text.empty() || !dc)
        return;
    HFONT font = CreateSkinFont(markup.size, markup.bold, markup.underline);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    WString copy(text);
    DrawTextW(dc, copy.c_str(), static_cast<int>(copy.size()), &area, format | DT_NOPREFIX);
    SelectObject(dc, previous);
    DeleteObject(font);
}

SIZE MeasureMarkupText(HDC dc, const LabelMarkup& markup)
{
    WStringView text = DrawnPart(markup.text);
    if (text.empty() || !dc)
        return {0, 0};
    HFONT font = CreateSkinFont(markup.size, markup.bold, markup.underline);
    HGDIOBJ previous = SelectObject(dc, font);
    WString copy(text);
    SIZE size {0, 0};
    GetTextExtentPoint32W(dc, copy.c_str(), static_cast<int>(copy.size()), &size);
    SelectObject(dc, previous);
    DeleteObject(font);
    return size;
}

WString WindowText(HWND hwnd)
{
    int length = GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return {};
    WString text(static_cast<size_t>(length) + 1, u'\0');
    int copied = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

WString ClassNameOf(HWND hwnd)
{
    WCHAR name[64] = {};
    int length = GetClassNameW(hwnd, name, 64);
    return WString(name, static_cast<size_t>(std::max(length, 0)));
}

bool PointInClient(HWND hwnd, POINT point)
{
    RECT client {};
    GetClientRect(hwnd, &client);
    return point.x >= client.left && point.x < client.right && point.y >= client.top && point.y < client.bottom;
}

POINT ClientPointOf(LPARAM lParam)
{
    return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

POINT ClientPointOfScreen(HWND hwnd, LPARAM lParam)
{
    POINT point {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(hwnd, &point);
    return point;
}

POINT CursorInClient(HWND hwnd)
{
    POINT point {0, 0};
    GetCursorPos(&point);
    ScreenToClient(hwnd, &point);
    return point;
}

void TrackPointerLeave(HWND hwnd)
{
    TRACKMOUSEEVENT track {sizeof(TRACKMOUSEEVENT), TME_LEAVE, hwnd, 0};
    TrackMouseEvent(&track);
}

void SetCairoColor(cairo_t* cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}
