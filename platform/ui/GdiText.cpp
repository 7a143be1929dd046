// Fonts and text of GDI, laid out by Pango and drawn with Cairo.
#include "platform/ui/DeviceContext.h"
#include "platform/ui/FontMapping.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/GdiObject.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kDefaultEmPixels = 12; // for a font created with height 0
constexpr int kLargestEmPixels = 4096;
constexpr double kReferenceEmPixels = 1000.0;
constexpr size_t kCachedLayouts = 128;

struct LayoutDeleter {
    void operator()(PangoLayout* layout) const { g_object_unref(layout); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;

struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};
using FontDescriptionPtr = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

// What Pango needs to know of a GDI font.
struct FontSpec {
    std::string families;
    int emPango = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;

    std::string Key() const
    {
        return families + '|' + std::to_string(emPango) + '|' + std::to_string(weight) + (italic ? "|i" : "|")
            + (underline ? "u" : "");
    }
};

struct Range {
    int start;
    int end;
};

// One text to lay out. A width of -1 lays lines out at their natural width.
struct LayoutRequest {
    FontSpec font;
    std::string text;
    std::vector<Range> underlined;
    int width = -1;
    int height = -1;
    bool wrap = false;
    bool ellipsize = false;

    std::string Key() const
    {
        std::string key = font.Key();
        key += '\x1e' + std::to_string(width) + ',' + std::to_string(height);
        key += (wrap ? "w" : "");
        key += (ellipsize ? "e" : "");
        for (const auto& range : underlined)
            key += ',' + std::to_string(range.start) + '-' + std::to_string(range.end);
        key += '\x1e';
        key += text;
        return key;
    }
};

FontDescriptionPtr DescriptionOf(const FontSpec& font)
{
    FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), font.families.c_str());
    pango_font_description_set_absolute_size(description.get(), font.emPango);
    pango_font_description_set_weight(description.get(), static_cast<PangoWeight>(font.weight));
    pango_font_description_set_style(description.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return description;
}

// Pango state of one thread: its own font map and context, recent layouts, font measurements.
// Text is drawn many times over with the same few labels, so the layouts are kept. The font map is
// the engine's own rather than Pango's per-thread default so that all it caches goes with the thread.
class TextEngine {
public:
    TextEngine()
    {
        m_fontMap = pango_cairo_font_map_new();
        m_context = pango_font_map_create_context(m_fontMap);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        pango_cairo_context_set_font_options(m_context, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(m_context, 96);
    }
    ~TextEngine()
    {
        for (auto& entry : m_layouts)
            g_object_unref(entry.second);
        g_object_unref(m_context);
        g_object_unref(m_fontMap);
    }
    TextEngine(const TextEngine&) = delete;
    TextEngine& operator=(const TextEngine&) = delete;

    LayoutPtr Layout(const LayoutRequest& request)
    {
        std::string key = request.Key();
        auto found = m_index.find(key);
        if (found != m_index.end()) {
            m_layouts.splice(m_layouts.begin(), m_layouts, found->second);
            return LayoutPtr(static_cast<PangoLayout*>(g_object_ref(found->second->second)));
        }
        PangoLayout* layout = Build(request);
        m_layouts.emplace_front(key, layout);
        m_index[key] = m_layouts.begin();
        if (m_layouts.size() > kCachedLayouts) {
            m_index.erase(m_layouts.back().first);
            g_object_unref(m_layouts.back().second);
            m_layouts.pop_back();
        }
        return LayoutPtr(static_cast<PangoLayout*>(g_object_ref(layout)));
    }

    // Cell height (ascent + descent) per pixel of em, to turn a LOGFONT cell height into a size.
    double CellPerEm(const FontSpec& font)
    {
        std::string key = font.families + '|' + std::to_string(font.weight) + (font.italic ? "i" : "");
        auto found = m_cellPerEm.find(key);
        if (found != m_cellPerEm.end())
            return found->second;
        FontSpec reference = font;
        reference.emPango = static_cast<int>(kReferenceEmPixels * PANGO_SCALE);
        FontDescriptionPtr description = DescriptionOf(reference);
        PangoFontMetrics* metrics = pango_context_get_metrics(m_context, description.get(), nullptr);
        double cell = pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics);
        pango_font_metrics_unref(metrics);
        double ratio = cell > 0 ? cell / PANGO_SCALE / kReferenceEmPixels : 1.0;
        m_cellPerEm[key] = ratio;
        return ratio;
    }

    std::unordered_map<std::string, TEXTMETRICW>& Metrics() { return m_metrics; }

private:
    PangoLayout* Build(const LayoutRequest& request)
    {
        PangoLayout* layout = pango_layout_new(m_context);
        FontDescriptionPtr description = DescriptionOf(request.font);
        pango_layout_set_font_description(layout, description.get());
        pango_layout_set_text(layout, request.text.data(), static_cast<int>(request.text.size()));
        PangoAttrList* attributes = pango_attr_list_new();
        if (request.font.underline)
            pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        for (const auto& range : request.underlined) {
            PangoAttribute* attribute = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
            attribute->start_index = range.start;
            attribute->end_index = range.end;
            pango_attr_list_insert(attributes, attribute);
        }
        pango_layout_set_attributes(layout, attributes);
        pango_attr_list_unref(attributes);
        if (request.wrap)
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
        if (request.ellipsize)
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        pango_layout_set_width(layout, request.width);
        if (request.height >= 0)
            pango_layout_set_height(layout, request.height);
        return layout;
    }

    using Entry = std::pair<std::string, PangoLayout*>;
    PangoFontMap* m_fontMap = nullptr;
    PangoContext* m_context = nullptr;
    std::list<Entry> m_layouts; // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> m_index;
    std::unordered_map<std::string, double> m_cellPerEm;
    std::unordered_map<std::string, TEXTMETRICW> m_metrics;
};

TextEngine& Engine()
{
    thread_local TextEngine engine;
    return engine;
}

const GdiFont& FontOf(HDC dc)
{
    if (auto* font = GdiCast<GdiFont>(dc->font, GdiKind::Font))
        return *font;
    return *GdiCast<GdiFont>(GetStockObject(DEFAULT_GUI_FONT), GdiKind::Font);
}

FontSpec SpecOf(const GdiFont& font)
{
    FontSpec spec;
    spec.families = FontFamiliesFor(font.face, font.charSet);
    spec.weight = font.weight <= 0 ? FW_NORMAL : std::clamp(font.weight, 100, 1000);
    spec.italic = font.italic;
    spec.underline = font.underline;
    double emPixels = kDefaultEmPixels;
    if (font.height < 0)
        emPixels = -static_cast<double>(font.height);
    else if (font.height > 0)
        emPixels = font.height / Engine().CellPerEm(spec);
    emPixels = std::clamp(emPixels, 1.0, static_cast<double>(kLargestEmPixels));
    spec.emPango = static_cast<int>(emPixels * PANGO_SCALE + 0.5);
    return spec;
}

WStringView TextOf(LPCWSTR text, int count)
{
    if (count < 0)
        return ToView(text);
    return WStringView(text, static_cast<size_t>(count));
}

// The shown text in UTF-8 with the ranges "&" marks: "&x" underlines x, "&&" shows one "&".
// A single-line text shows its line breaks as spaces.
void PrepareText(WStringView text, bool prefixes, bool singleLine, LayoutRequest& request)
{
    WString shown;
    std::vector<Range> marked; // in UTF-16 units of `shown`
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        WCHAR c = text[i];
        if (prefixes && c == u'&') {
            // A trailing "&" marks nothing and shows nothing.
            if (++i >= text.size())
                break;
            c = text[i];
            if (c != u'&' && c != 0) {
                bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
                    && text[i + 1] <= 0xDFFF;
                int start = static_cast<int>(shown.size());
                marked.push_back({start, start + (pair ? 2 : 1)});
            }
        }
        if (c == 0)
            continue;
        if (singleLine && (c == u'\r' || c == u'\n'))
            c = u' ';
        shown.push_back(c);
    }
    request.text.clear();
    request.underlined.clear();
    int done = 0;
    for (const auto& range : marked) {
        request.text += WideToUtf8(WStringView(shown).substr(done, range.start - done));
        int start = static_cast<int>(request.text.size());
        request.text += WideToUtf8(WStringView(shown).substr(range.start, range.end - range.start));
        request.underlined.push_back({start, static_cast<int>(request.text.size())});
        done = range.end;
    }
    request.text += WideToUtf8(WStringView(shown).substr(done));
}

LayoutPtr SingleLineLayout(HDC dc, WStringView text)
{
    LayoutRequest request;
    request.font = SpecOf(FontOf(dc));
    PrepareText(text, false, true, request);
    return Engine().Layout(request);
}

void SetSourceColor(cairo_t* cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

SIZE PixelSizeOf(PangoLayout* layout)
{
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return {PANGO_PIXELS_CEIL(logical.width), PANGO_PIXELS_CEIL(logical.height)};
}

enum class Align { Left, Center, Right };

// Draws every line of `layout` with its top at `top`, each line placed in [left, right) by `align`.
void DrawLines(HDC dc, cairo_t* cr, PangoLayout* layout, int left, int right, int top, Align align)
{
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoRectangle line;
        pango_layout_iter_get_line_extents(iter, nullptr, &line);
        int lineWidth = PANGO_PIXELS(line.width);
        int x = left;
        if (align == Align::Center)
            x = left + (right - left - lineWidth) / 2;
        else if (align == Align::Right)
            x = right - lineWidth;
        int lineTop = top + PANGO_PIXELS_FLOOR(line.y);
        if (dc->backgroundMode == OPAQUE) {
            SetSourceColor(cr, dc->backgroundColor);
            int lineHeight = PANGO_PIXELS_CEIL(line.y + line.height) - PANGO_PIXELS_FLOOR(line.y);
            cairo_rectangle(cr, x, lineTop, lineWidth, lineHeight);
            cairo_fill(cr);
        }
        SetSourceColor(cr, dc->textColor);
        double baseline = top + static_cast<double>(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE;
        cairo_move_to(cr, x - static_cast<double>(line.x) / PANGO_SCALE, baseline);
        pango_cairo_show_layout_line(cr, pango_layout_iter_get_line_readonly(iter));
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
}

Align AlignOf(UINT format)
{
    if (format & DT_CENTER)
        return Align::Center;
    if (format & DT_RIGHT)
        return Align::Right;
    return Align::Left;
}

int WidthOfText(HDC dc, WStringView text)
{
    return PixelSizeOf(SingleLineLayout(dc, text).get()).cx;
}

} // namespace

HFONT CreateFontW(int height, int, int, int, int weight, DWORD italic, DWORD underline, DWORD, DWORD charSet, DWORD,
    DWORD, DWORD, DWORD, LPCWSTR face)
{
    auto* font = new GdiFont;
    font->face = WString(ToView(face).substr(0, 31));
    font->height = height;
    font->weight = weight;
    font->italic = italic != 0;
    font->underline = underline != 0;
    font->charSet = static_cast<BYTE>(charSet);
    return RegisterGdiObject(font);
}

HFONT CreateFontIndirectW(const LOGFONTW* font)
{
    if (!font)
        return nullptr;
    WCHAR face[32] {};
    std::copy(font->lfFaceName, font->lfFaceName + 31, face);
    return CreateFontW(font->lfHeight, font->lfWidth, font->lfEscapement, font->lfOrientation, font->lfWeight,
        font->lfItalic, font->lfUnderline, font->lfStrikeOut, font->lfCharSet, font->lfOutPrecision,
        font->lfClipPrecision, font->lfQuality, font->lfPitchAndFamily, face);
}

int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format)
{
    if (!IsDeviceContext(dc) || !text || !rect)
        return 0;
    bool singleLine = format & DT_SINGLELINE;
    int width = std::max<LONG>(0, rect->right - rect->left);
    LayoutRequest request;
    request.font = SpecOf(FontOf(dc));
    PrepareText(TextOf(text, count), !(format & DT_NOPREFIX), singleLine, request);
    if ((format & DT_WORDBREAK) && !singleLine) {
        request.wrap = true;
        request.width = width * PANGO_SCALE;
    }
    // Measuring in an empty rectangle asks for the text's natural size, which nothing cuts.
    bool naturalSize = (format & DT_CALCRECT) && width == 0;
    if ((format & DT_END_ELLIPSIS) && !naturalSize) {
        request.ellipsize = true;
        request.width = width * PANGO_SCALE;
        // A wrapped text keeps the lines that fit and ends the last of them with the ellipsis.
        if (request.wrap)
            request.height = std::max<LONG>(0, rect->bottom - rect->top) * PANGO_SCALE;
    }
    LayoutPtr layout = Engine().Layout(request);
    SIZE size = PixelSizeOf(layout.get());
    if (format & DT_CALCRECT) {
        rect->right = rect->left + size.cx;
        rect->bottom = rect->top + size.cy;
        return size.cy;
    }
    int top = rect->top;
    if (singleLine && (format & DT_VCENTER))
        top = rect->top + (rect->bottom - rect->top - size.cy) / 2;
    else if (singleLine && (format & DT_BOTTOM))
        top = rect->bottom - size.cy;

    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    if (!(format & DT_NOCLIP)) {
        cairo_rectangle(cr, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
        cairo_clip(cr);
    }
    DrawLines(dc, cr, layout.get(), rect->left, rect->right, top, AlignOf(format));
    cairo_restore(cr);
    cairo_surface_mark_dirty(dc->surface);
    // With vertical placement the answer is where the text ends below the rectangle's top.
    if (singleLine && (format & (DT_VCENTER | DT_BOTTOM)))
        return top - rect->top + size.cy;
    return size.cy;
}

BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count)
{
    if (!IsDeviceContext(dc) || count < 0 || (!text && count > 0))
        return FALSE;
    LayoutPtr layout = SingleLineLayout(dc, count ? WStringView(text, count) : WStringView());
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    DrawLines(dc, cr, layout.get(), x, x, y, Align::Left);
    cairo_restore(cr);
    cairo_surface_mark_dirty(dc->surface);
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size)
{
    if (!IsDeviceContext(dc) || !size || count < 0 || (!text && count > 0))
        return FALSE;
    LayoutPtr layout = SingleLineLayout(dc, count ? WStringView(text, count) : WStringView());
    *size = PixelSizeOf(layout.get());
    return TRUE;
}

BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics)
{
    if (!IsDeviceContext(dc) || !metrics)
        return FALSE;
    FontSpec spec = SpecOf(FontOf(dc));
    auto& cache = Engine().Metrics();
    auto found = cache.find(spec.Key());
    if (found != cache.end()) {
        *metrics = found->second;
        return TRUE;
    }
    // Measured on the layouts text is drawn with, so that metrics and drawn text agree.
    LayoutPtr empty = SingleLineLayout(dc, {});
    TEXTMETRICW result {};
    result.tmHeight = PixelSizeOf(empty.get()).cy;
    result.tmAscent = PANGO_PIXELS_CEIL(pango_layout_get_baseline(empty.get()));
    result.tmDescent = result.tmHeight - result.tmAscent;
    result.tmInternalLeading = std::max(0, static_cast<int>(result.tmHeight - PANGO_PIXELS(spec.emPango)));
    // The average of the Latin letters, as dialog units are measured.
    constexpr WStringView kLetters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    result.tmAveCharWidth = (WidthOfText(dc, kLetters) / 26 + 1) / 2;
    result.tmMaxCharWidth = std::max({WidthOfText(dc, u"W"), WidthOfText(dc, u"M"), WidthOfText(dc, u"国")});
    result.tmWeight = spec.weight;
    cache[spec.Key()] = result;
    *metrics = result;
    return TRUE;
}
