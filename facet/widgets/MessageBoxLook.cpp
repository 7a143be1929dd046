#include "facet/widgets/MessageBoxLook.h"

#include "facet/Package.h"
#include "facet/Skin.h"
#include "facet/XmlDocument.h"
#include "facet/widgets/NineGrid.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Menu.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kButtonRadius = 3;
constexpr double kFocusRing = 1.5;

// The skin's rule for attribute numbers: leading blanks skipped, "0x" or "0X" then hexadecimal digits
// (3 to 10 characters in all), else a signed decimal number up to its first non-digit.
std::optional<DWORD> AttributeNumber(pugi::xml_attribute attribute)
{
    std::string_view text = attribute.value();
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(start);
    DWORD value = 0;
    if (text.size() >= 3 && text.size() <= 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        for (char c : text.substr(2)) {
            auto byte = static_cast<unsigned char>(c);
            if (!std::isxdigit(byte))
                break;
            int digit = std::isdigit(byte) ? c - '0' : (c | 0x20) - 'a' + 10;
            value = value * 16 + static_cast<DWORD>(digit);
        }
        return value;
    }
    bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+')
        text.remove_prefix(1);
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<DWORD>(c - '0');
    }
    return negative ? 0u - value : value;
}

// "left,top,right,bottom" in picture pixels.
std::optional<RECT> ParseRect(std::string_view text)
{
    LONG parts[4] = {};
    for (LONG& part : parts) {
        size_t start = text.find_first_not_of(" \t");
        if (start == std::string_view::npos || text[start] < '0' || text[start] > '9')
            return std::nullopt;
        text.remove_prefix(start);
        LONG value = 0;
        while (!text.empty() && text[0] >= '0' && text[0] <= '9' && value < 100000) {
            value = value * 10 + (text[0] - '0');
            text.remove_prefix(1);
        }
        part = value;
        size_t comma = text.find_first_not_of(" \t");
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma);
        if (!text.empty() && text[0] == ',')
            text.remove_prefix(1);
    }
    if (parts[2] < parts[0] || parts[3] < parts[1])
        return std::nullopt;
    return RECT {parts[0], parts[1], parts[2], parts[3]};
}

// A picture named by the skin: a URL or absolute path as it is, anything else inside the skin folder.
WString PicturePath(const Skin& skin, const char* value)
{
    WString path = Utf8ToWide(value);
    if (path.empty())
        return {};
    if (path.rfind(u"res://", 0) == 0)
        return path;
    std::replace(path.begin(), path.end(), u'\\', u'/');
    if (path[0] == u'/')
        return path;
    return skin.folder + u'/' + path;
}

std::shared_ptr<const ImageHandle> LoadPicture(const WString& path)
{
    if (path.empty())
        return nullptr;
    auto picture = std::make_shared<ImageHandle>(LoadWidgetImage(path.c_str()));
    return picture->Surface() ? picture : nullptr;
}

COLORREF Darker(COLORREF color, int percent)
{
    auto scale = [percent](BYTE c) { return static_cast<BYTE>(c * (100 - percent) / 100); };
    return RGB(scale(GetRValue(color)), scale(GetGValue(color)), scale(GetBValue(color)));
}

// A vertical gradient from `top` at y0 to `bottom` at y1; destroy it with cairo_pattern_destroy.
cairo_pattern_t* VerticalGradient(double y0, double y1, COLORREF top, COLORREF bottom)
{
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, y0, 0, y1);
    cairo_pattern_add_color_stop_rgb(gradient, 0, GetRValue(top) / 255.0, GetGValue(top) / 255.0, GetBValue(top) / 255.0);
    cairo_pattern_add_color_stop_rgb(gradient, 1, GetRValue(bottom) / 255.0, GetGValue(bottom) / 255.0,
        GetBValue(bottom) / 255.0);
    return gradient;
}

void SetRgb(cairo_t* cr, double r, double g, double b)
{
    cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

void RoundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius)
{
    radius = std::min({radius, width / 2, height / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -kPi / 2, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, kPi / 2);
    cairo_arc(cr, x + radius, y + height - radius, radius, kPi / 2, kPi);
    cairo_arc(cr, x + radius, y + radius, radius, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// A disc with a faint light from above, the way the desktop's own message icons are shaded.
void FillDisc(cairo_t* cr, double cx, double cy, double radius, COLORREF top, COLORREF bottom)
{
    cairo_pattern_t* shade = VerticalGradient(cy - radius, cy + radius, top, bottom);
    cairo_set_source(cr, shade);
    cairo_arc(cr, cx, cy, radius, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

void DrawErrorIcon(cairo_t* cr, double cx, double cy)
{
    FillDisc(cr, cx, cy, 15, RGB(240, 72, 72), RGB(196, 20, 32));
    SetRgb(cr, 255, 255, 255);
    cairo_set_line_width(cr, 3.2);
    cairo_move_to(cr, cx - 6, cy - 6);
    cairo_line_to(cr, cx + 6, cy + 6);
    cairo_move_to(cr, cx + 6, cy - 6);
    cairo_line_to(cr, cx - 6, cy + 6);
    cairo_stroke(cr);
}

void DrawQuestionIcon(cairo_t* cr, double cx, double cy)
{
    FillDisc(cr, cx, cy, 15, RGB(46, 144, 232), RGB(0, 99, 190));
    SetRgb(cr, 255, 255, 255);
    cairo_set_line_width(cr, 3.2);
    cairo_arc(cr, cx, cy - 4.5, 5, kPi, 2.3 * kPi);
    cairo_curve_to(cr, cx + 2, cy, cx, cy + 0.5, cx, cy + 3.5);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy + 8.5, 2.1, 0, 2 * kPi);
    cairo_fill(cr);
}

void DrawInformationIcon(cairo_t* cr, double cx, double cy)
{
    FillDisc(cr, cx, cy, 15, RGB(46, 144, 232), RGB(0, 99, 190));
    SetRgb(cr, 255, 255, 255);
    cairo_arc(cr, cx, cy - 7.5, 2.2, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_set_line_width(cr, 3.4);
    cairo_move_to(cr, cx, cy - 2.5);
    cairo_line_to(cr, cx, cy + 9);
    cairo_stroke(cr);
}

void DrawExclamationIcon(cairo_t* cr, double cx, double cy)
{
    // A warning triangle with rounded corners.
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 4);
    cairo_move_to(cr, cx, cy - 13);
    cairo_line_to(cr, cx + 14, cy + 12);
    cairo_line_to(cr, cx - 14, cy + 12);
    cairo_close_path(cr);
    SetRgb(cr, 255, 190, 30);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
    SetRgb(cr, 40, 32, 16);
    cairo_set_line_width(cr, 3.2);
    cairo_move_to(cr, cx, cy - 5);
    cairo_line_to(cr, cx, cy + 4);
    cairo_stroke(cr);
    cairo_arc(cr, cx, cy + 8.5, 2, 0, 2 * kPi);
    cairo_fill(cr);
}

void DrawPlainButton(cairo_t* cr, const RECT& r, MessageBoxButtonLook state, bool focused)
{
    const Skin& skin = CurrentSkin();
    // Room for the focus ring around the face.
    double inset = kFocusRing + 1;
    double x = r.left + inset;
    double y = r.top + inset;
    double width = r.right - r.left - 2 * inset;
    double height = r.bottom - r.top - 2 * inset;
    if (width <= 0 || height <= 0)
        return;
    RoundedRectangle(cr, x, y, width, height, kButtonRadius);
    if (state == MessageBoxButtonLook::Normal) {
        cairo_pattern_t* face = VerticalGradient(y, y + height, skin.captionTop, skin.captionBottom);
        cairo_set_source(cr, face);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(face);
    } else {
        SetCairoColor(cr, state == MessageBoxButtonLook::Pressed ? Darker(skin.buttonHover, 20) : skin.buttonHover);
        cairo_fill_preserve(cr);
    }
    SetCairoColor(cr, Darker(skin.captionBottom, 30));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (!focused)
        return;
    SetCairoColor(cr, skin.buttonHover);
    cairo_set_line_width(cr, kFocusRing);
    double half = kFocusRing / 2;
    RoundedRectangle(cr, r.left + half, r.top + half, r.right - r.left - kFocusRing, r.bottom - r.top - kFocusRing,
        kButtonRadius + inset - half);
    cairo_stroke(cr);
}

void DrawPictureButton(cairo_t* cr, const ImageHandle& picture, const RECT& r, MessageBoxButtonLook state, bool focused)
{
    ImageCells cells {kMessageBoxButtonCells, 1};
    int cellWidth = cells.CellWidth(picture);
    int cellHeight = cells.CellHeight(picture);
    int column = static_cast<int>(state);
    // The nine parts are cut from an image of the cell alone.
    cairo_surface_t* cell = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cellWidth, cellHeight);
    cairo_t* copy = cairo_create(cell);
    cairo_set_source_surface(copy, picture.Surface(), -column * cellWidth, 0);
    cairo_paint(copy);
    cairo_destroy(copy);
    int corner = std::min({kMessageBoxButtonCorner, cellWidth / 3, cellHeight / 3});
    DrawNineGrid(cr, cell, {corner, corner, cellWidth - corner, cellHeight - corner}, r);
    cairo_surface_destroy(cell);
    if (!focused)
        return;
    SetCairoColor(cr, CurrentSkin().buttonHover);
    cairo_set_line_width(cr, 1);
    const double dash[] = {2};
    cairo_set_dash(cr, dash, 1, 0);
    cairo_rectangle(cr, r.left + 3.5, r.top + 3.5, r.right - r.left - 7, r.bottom - r.top - 7);
    cairo_stroke(cr);
}

} // namespace

std::optional<MessageBoxLook> ReadMessageBoxLook()
{
    const Skin& skin = CurrentSkin();
    std::vector<BYTE> bytes;
    if (skin.facetXmlPath.empty() || (!ReadXmlFile(skin.facetXmlPath, bytes) && !ReadPackedFile(skin.facetXmlPath, bytes)))
        return std::nullopt;
    pugi::xml_document document;
    if (!ParseXml(bytes, document))
        return std::nullopt;
    pugi::xml_node config = document.child("Facet.Config");
    if (!config)
        return std::nullopt;
    pugi::xml_node box = config.child("MESSAGEBOX");
    MessageBoxLook look;
    look.text = skin.statusText;
    if (auto color = AttributeNumber(box.attribute("TextColor")))
        look.text = *color & 0xFFFFFF;
    look.frame = PicturePath(skin, box.attribute("Frame").value());
    if (auto centre = ParseRect(box.attribute("FrameCentre").value())) {
        look.frameCentre = *centre;
        look.hasFrameCentre = true;
    }
    look.icons = LoadPicture(PicturePath(skin, box.attribute("Icons").value()));
    look.buttons = LoadPicture(PicturePath(skin, box.attribute("Button").value()));
    return look;
}

MessageBoxIcon MessageBoxIconOf(UINT flags)
{
    switch (flags & 0xF0) {
    case MB_ICONERROR:
        return MessageBoxIcon::Error;
    case MB_ICONQUESTION:
        return MessageBoxIcon::Question;
    case MB_ICONEXCLAMATION:
        return MessageBoxIcon::Exclamation;
    case MB_ICONINFORMATION:
        return MessageBoxIcon::Information;
    default:
        return MessageBoxIcon::None;
    }
}

void DrawMessageBoxEdge(HDC dc, const RECT& client)
{
    cairo_t* cr = CairoOf(dc);
    if (!cr)
        return;
    cairo_save(cr);
    SetCairoColor(cr, Darker(CurrentSkin().captionBottom, 40));
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, client.left + 0.5, client.top + 0.5, client.right - client.left - 1, client.bottom - client.top - 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawMessageBoxIcon(HDC dc, const MessageBoxLook& look, MessageBoxIcon icon, int x, int y)
{
    cairo_t* cr = CairoOf(dc);
    if (!cr || icon == MessageBoxIcon::None)
        return;
    int cell = static_cast<int>(icon) - 1;
    if (look.icons) {
        ImageCells cells {kMessageBoxIconCells, 1};
        int width = cells.CellWidth(*look.icons);
        RECT source {cell * width, 0, (cell + 1) * width, cells.CellHeight(*look.icons)};
        DrawSurfacePart(cr, look.icons->Surface(), source, {x, y, x + kMessageBoxIconSize, y + kMessageBoxIconSize});
        return;
    }
    cairo_save(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    double cx = x + kMessageBoxIconSize / 2.0;
    double cy = y + kMessageBoxIconSize / 2.0;
    switch (icon) {
    case MessageBoxIcon::Error:
        DrawErrorIcon(cr, cx, cy);
        break;
    case MessageBoxIcon::Question:
        DrawQuestionIcon(cr, cx, cy);
        break;
    case MessageBoxIcon::Exclamation:
        DrawExclamationIcon(cr, cx, cy);
        break;
    default:
        DrawInformationIcon(cr, cx, cy);
        break;
    }
    cairo_restore(cr);
}

void DrawMessageBoxButton(HDC dc, const ImageHandle* picture, const RECT& r, MessageBoxButtonLook state, bool focused,
    const WString& text)
{
    cairo_t* cr = CairoOf(dc);
    if (!cr)
        return;
    const Skin& skin = CurrentSkin();
    bool withPicture = picture && picture->Surface();
    cairo_save(cr);
    if (withPicture)
        DrawPictureButton(cr, *picture, r, state, focused);
    else
        DrawPlainButton(cr, r, state, focused);
    cairo_restore(cr);
    // On a picture the text changes colour under the pointer, as on the toolbar; on the drawn face the
    // face itself does.
    LabelMarkup label;
    label.text = text;
    COLORREF color = withPicture && state != MessageBoxButtonLook::Normal ? skin.buttonHover : skin.buttonText;
    DrawMarkupText(dc, r, label, color, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
