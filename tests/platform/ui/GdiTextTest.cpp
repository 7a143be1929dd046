#include "UiTestSupport.h"

#include "platform/ui/FontMapping.h"
#include "platform/ui/Gdi.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// A white memory bitmap to draw text on, with the means to find where ink fell.
class Canvas {
public:
    Canvas(int width, int height) : m_width(width), m_height(height)
    {
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateCompatibleBitmap(m_dc, width, height);
        m_oldBitmap = SelectObject(m_dc, m_bitmap);
        Clear();
        SetBkMode(m_dc, TRANSPARENT);
    }
    ~Canvas()
    {
        SelectObject(m_dc, m_oldFont ? m_oldFont : GetStockObject(DEFAULT_GUI_FONT));
        if (m_font)
            DeleteObject(m_font);
        SelectObject(m_dc, m_oldBitmap);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }
    void Clear()
    {
        RECT all {0, 0, m_width, m_height};
        HBRUSH white = CreateSolidBrush(kWhite);
        FillRect(m_dc, &all, white);
        DeleteObject(white);
    }
    void UseFont(int height, int weight = FW_NORMAL, LPCWSTR face = u"Tahoma", DWORD charSet = DEFAULT_CHARSET)
    {
        HFONT font = CreateFontW(height, 0, 0, 0, weight, 0, 0, 0, charSet, 0, 0, 0, 0, face);
        HGDIOBJ old = SelectObject(m_dc, font);
        if (!m_oldFont)
            m_oldFont = old;
        if (m_font)
            DeleteObject(m_font);
        m_font = font;
    }
    // 0xRRGGBB
    std::uint32_t Pixel(int x, int y) const
    {
        cairo_surface_t* surface = SurfaceOfBitmap(m_bitmap);
        cairo_surface_flush(surface);
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        std::uint32_t argb;
        std::memcpy(&argb, row + x * 4, 4);
        return argb & 0xFFFFFF;
    }
    // Pixels that are not white: the bounding box of ink (empty when none) and how many.
    RECT InkBox(int* count = nullptr) const
    {
        RECT box {m_width, m_height, 0, 0};
        int n = 0;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                if (Pixel(x, y) == 0xFFFFFF)
                    continue;
                ++n;
                box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y), std::max<LONG>(box.right, x + 1),
                    std::max<LONG>(box.bottom, y + 1)};
            }
        }
        if (count)
            *count = n;
        return n ? box : RECT {0, 0, 0, 0};
    }
    int CountPixels(std::uint32_t rgb) const
    {
        int n = 0;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x)
                n += Pixel(x, y) == rgb;
        }
        return n;
    }

private:
    int m_width;
    int m_height;
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_oldBitmap;
    HFONT m_font = nullptr;
    HGDIOBJ m_oldFont = nullptr;
};

SIZE ExtentOf(HDC dc, LPCWSTR text)
{
    SIZE size {};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    return size;
}

RECT CalcRect(HDC dc, LPCWSTR text, RECT rect, UINT format)
{
    DrawTextW(dc, text, -1, &rect, format | DT_CALCRECT);
    return rect;
}

} // namespace

TEST(FontMapping, WindowsFacesMapToInstalledFontsAndEndWithTheCjkFont)
{
    ASSERT_FALSE(CjkFamily().empty()) << "a CJK font must be installed";
    EXPECT_TRUE(IsFontFamilyInstalled(CjkFamily()));
    EXPECT_TRUE(IsFontFamilyInstalled(UiSansFamily()));
    const std::string sansThenCjk = UiSansFamily() + "," + CjkFamily();
    for (LPCWSTR face : {u"MS Sans Serif", u"MS Shell Dlg", u"tahoma", u"Segoe UI", u"Microsoft Sans Serif",
             u"No Such Face", u""})
        EXPECT_EQ(FontFamiliesFor(ToView(face), DEFAULT_CHARSET), sansThenCjk) << WideToUtf8(ToView(face));
    for (LPCWSTR face : {u"宋体", u"SimSun", u"微软雅黑", u"Microsoft YaHei", u"@SimSun"})
        EXPECT_EQ(FontFamiliesFor(ToView(face), DEFAULT_CHARSET).rfind(CjkFamily(), 0), 0u) << WideToUtf8(ToView(face));
    // A Chinese character set puts the CJK font first whatever the face.
    EXPECT_EQ(FontFamiliesFor(u"Tahoma", GB2312_CHARSET), CjkFamily() + "," + UiSansFamily());
    // A face that is installed under its own name is kept.
    EXPECT_EQ(FontFamiliesFor(u"DejaVu Serif", DEFAULT_CHARSET).rfind("DejaVu Serif,", 0), 0u);
}

TEST(GdiText, HorizontalAlignmentPlacesTheInkInTheRectangle)
{
    Canvas canvas(300, 40);
    canvas.UseFont(-16);
    const RECT rect {20, 5, 280, 35};
    const int width = ExtentOf(canvas.Dc(), u"Hello").cx;
    ASSERT_GT(width, 20);

    RECT r = rect;
    DrawTextW(canvas.Dc(), u"Hello", -1, &r, DT_LEFT | DT_SINGLELINE);
    RECT ink = canvas.InkBox();
    EXPECT_NEAR(ink.left, rect.left, 3);
    EXPECT_LT(ink.right, rect.left + width + 3);

    canvas.Clear();
    DrawTextW(canvas.Dc(), u"Hello", -1, &r, DT_RIGHT | DT_SINGLELINE);
    ink = canvas.InkBox();
    EXPECT_NEAR(ink.right, rect.right, 3);
    EXPECT_GT(ink.left, rect.right - width - 3);

    canvas.Clear();
    DrawTextW(canvas.Dc(), u"Hello", -1, &r, DT_CENTER | DT_SINGLELINE);
    ink = canvas.InkBox();
    EXPECT_NEAR((ink.left + ink.right) / 2, (rect.left + rect.right) / 2, 3);
    EXPECT_EQ(r.right, rect.right) << "drawing does not change the rectangle";
}

TEST(GdiText, VerticalAlignmentOfASingleLine)
{
    Canvas canvas(200, 100);
    canvas.UseFont(-14);
    RECT rect {0, 0, 200, 100};
    int lineHeight = DrawTextW(canvas.Dc(), u"Xy", -1, &rect, DT_SINGLELINE | DT_TOP);
    RECT top = canvas.InkBox();
    EXPECT_LT(top.bottom, lineHeight + 1);

    canvas.Clear();
    int bottom = DrawTextW(canvas.Dc(), u"Xy", -1, &rect, DT_SINGLELINE | DT_BOTTOM);
    EXPECT_EQ(bottom, 100) << "answers where the text ends below the top";
    EXPECT_GT(canvas.InkBox().top, 100 - lineHeight - 1);

    canvas.Clear();
    int centre = DrawTextW(canvas.Dc(), u"Xy", -1, &rect, DT_SINGLELINE | DT_VCENTER);
    EXPECT_EQ(centre, (100 - lineHeight) / 2 + lineHeight);
    RECT middle = canvas.InkBox();
    EXPECT_NEAR((middle.top + middle.bottom) / 2, 50, lineHeight / 2);
    EXPECT_GT(middle.top, top.top + 20);
}

TEST(GdiText, ClipsToTheRectangleUnlessNoClip)
{
    Canvas canvas(300, 60);
    canvas.UseFont(-20);
    RECT rect {10, 10, 60, 40};
    DrawTextW(canvas.Dc(), u"A long long label", -1, &rect, DT_SINGLELINE);
    RECT ink = canvas.InkBox();
    EXPECT_GE(ink.left, rect.left);
    EXPECT_LE(ink.right, rect.right);
    EXPECT_GT(ink.right, rect.right - 5) << "the text reaches the clip edge";

    canvas.Clear();
    DrawTextW(canvas.Dc(), u"A long long label", -1, &rect, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(canvas.InkBox().right, rect.right + 50);
}

TEST(GdiText, CalcRectMeasuresWithoutDrawingAndAgreesWithTheDrawnText)
{
    Canvas canvas(300, 120);
    canvas.UseFont(-15);
    const RECT start {10, 10, 10, 10};
    RECT calc = start;
    int height = DrawTextW(canvas.Dc(), u"Preview size", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    int inked = 0;
    canvas.InkBox(&inked);
    EXPECT_EQ(inked, 0);
    EXPECT_EQ(calc.left, 10);
    EXPECT_EQ(calc.top, 10);
    EXPECT_EQ(calc.bottom - calc.top, height);
    SIZE extent = ExtentOf(canvas.Dc(), u"Preview size");
    EXPECT_EQ(calc.right - calc.left, extent.cx);
    EXPECT_EQ(height, extent.cy);

    DrawTextW(canvas.Dc(), u"Preview size", -1, &calc, DT_SINGLELINE);
    RECT ink = canvas.InkBox();
    EXPECT_GE(ink.left, calc.left);
    EXPECT_LE(ink.right, calc.right);
    EXPECT_GT(ink.right, calc.right - 4);
    EXPECT_GE(ink.top, calc.top);
    EXPECT_LE(ink.bottom, calc.bottom);

    // Line breaks count without DT_SINGLELINE, and word breaking wraps to the width.
    RECT twoLines = CalcRect(canvas.Dc(), u"Preview\nsize", {0, 0, 0, 0}, 0);
    EXPECT_EQ(twoLines.bottom, 2 * height);
    RECT wrapped = CalcRect(canvas.Dc(), u"one two three four five six", {0, 0, 80, 0}, DT_WORDBREAK);
    EXPECT_LE(wrapped.right, 80);
    EXPECT_GE(wrapped.bottom, 3 * height);
    RECT unwrapped = CalcRect(canvas.Dc(), u"one two three four five six", {0, 0, 80, 0}, 0);
    EXPECT_EQ(unwrapped.bottom, height);
    EXPECT_GT(unwrapped.right, 80);
    // A word wider than the rectangle widens it rather than being cut.
    RECT longWord = CalcRect(canvas.Dc(), u"Supercalifragilistic it", {0, 0, 30, 0}, DT_WORDBREAK);
    EXPECT_GT(longWord.right, 60);
    EXPECT_EQ(longWord.bottom, 2 * height);
}

TEST(GdiText, WordBreakDrawsEveryLineInsideTheWidth)
{
    Canvas canvas(200, 120);
    canvas.UseFont(-14);
    RECT rect {10, 0, 100, 120};
    int height = DrawTextW(canvas.Dc(), u"one two three four five six", -1, &rect, DT_WORDBREAK);
    RECT ink = canvas.InkBox();
    EXPECT_LE(ink.right, 100);
    EXPECT_GT(ink.bottom, 2 * height / 3);
    TEXTMETRICW tm {};
    GetTextMetricsW(canvas.Dc(), &tm);
    EXPECT_EQ(height % tm.tmHeight, 0);
    EXPECT_GE(height / tm.tmHeight, 2);
}

TEST(GdiText, CountLimitsTheTextAndMinusOneMeansNulTerminated)
{
    Canvas canvas(100, 30);
    canvas.UseFont(-14);
    RECT a {0, 0, 0, 0};
    RECT b {0, 0, 0, 0};
    DrawTextW(canvas.Dc(), u"Hello", 3, &a, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(canvas.Dc(), u"Hel", -1, &b, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(a.right, b.right);
    EXPECT_GT(CalcRect(canvas.Dc(), u"Hello", {0, 0, 0, 0}, DT_SINGLELINE).right, a.right);
    SIZE size {};
    EXPECT_FALSE(GetTextExtentPoint32W(canvas.Dc(), u"x", -1, &size));
    EXPECT_EQ(DrawTextW(canvas.Dc(), nullptr, -1, &a, 0), 0);
}

TEST(GdiText, ChineseTextRendersGlyphsAboutOneEmWideEach)
{
    Canvas canvas(300, 50);
    canvas.UseFont(-20, FW_NORMAL, u"宋体", GB2312_CHARSET);
    const WCHAR* label = u"摄像头设置";
    SIZE size = ExtentOf(canvas.Dc(), label);
    EXPECT_GE(size.cx, 5 * 18);
    EXPECT_LE(size.cx, 5 * 22);
    RECT rect {5, 5, 295, 45};
    DrawTextW(canvas.Dc(), label, -1, &rect, DT_SINGLELINE);
    int inked = 0;
    RECT ink = canvas.InkBox(&inked);
    EXPECT_GT(inked, 5 * 40);
    EXPECT_GT(ink.right - ink.left, 4 * 20);

    // Each ideograph's cell holds its own ink, different from its neighbours: no repeated box shapes.
    int lastCount = -1;
    for (int i = 0; i < 5; ++i) {
        int count = 0;
        for (int y = 5; y < 45; ++y) {
            for (int x = 5 + i * size.cx / 5; x < 5 + (i + 1) * size.cx / 5; ++x)
                count += canvas.Pixel(x, y) != 0xFFFFFF;
        }
        EXPECT_GT(count, 20) << "character " << i;
        EXPECT_NE(count, lastCount);
        lastCount = count;
    }

    // Chinese text in a Latin face finds the CJK font too.
    canvas.UseFont(-20);
    SIZE inTahoma = ExtentOf(canvas.Dc(), label);
    EXPECT_NEAR(inTahoma.cx, size.cx, 10);
}

TEST(GdiText, BoldIsWiderAndDarkerThanRegular)
{
    Canvas canvas(300, 40);
    canvas.UseFont(-16, FW_NORMAL);
    SIZE regular = ExtentOf(canvas.Dc(), u"Take a photo");
    RECT rect {0, 0, 300, 40};
    DrawTextW(canvas.Dc(), u"Take a photo", -1, &rect, DT_SINGLELINE);
    int regularInk = 0;
    canvas.InkBox(&regularInk);

    canvas.Clear();
    canvas.UseFont(-16, FW_BOLD);
    SIZE bold = ExtentOf(canvas.Dc(), u"Take a photo");
    DrawTextW(canvas.Dc(), u"Take a photo", -1, &rect, DT_SINGLELINE);
    int boldInk = 0;
    canvas.InkBox(&boldInk);
    EXPECT_GT(bold.cx, regular.cx);
    EXPECT_GT(boldInk, regularInk * 11 / 10);
    TEXTMETRICW tm {};
    GetTextMetricsW(canvas.Dc(), &tm);
    EXPECT_EQ(tm.tmWeight, FW_BOLD);
}

TEST(GdiText, AmpersandMarksAnUnderlinedLetterUnlessNoPrefix)
{
    Canvas canvas(200, 40);
    canvas.UseFont(-16);
    RECT origin {0, 0, 0, 0};
    int plain = CalcRect(canvas.Dc(), u"File", origin, DT_SINGLELINE).right;
    EXPECT_EQ(CalcRect(canvas.Dc(), u"&File", origin, DT_SINGLELINE).right, plain);
    EXPECT_GT(CalcRect(canvas.Dc(), u"&File", origin, DT_SINGLELINE | DT_NOPREFIX).right, plain);
    EXPECT_EQ(CalcRect(canvas.Dc(), u"A&&B", origin, DT_SINGLELINE).right,
        CalcRect(canvas.Dc(), u"A&B", origin, DT_SINGLELINE | DT_NOPREFIX).right);
    EXPECT_EQ(CalcRect(canvas.Dc(), u"File&", origin, DT_SINGLELINE).right, plain);

    // The marked letter gains an underline below the baseline; the others do not.
    RECT rect {10, 5, 190, 35};
    DrawTextW(canvas.Dc(), u"File", -1, &rect, DT_SINGLELINE | DT_NOPREFIX);
    RECT withoutMark = canvas.InkBox();
    canvas.Clear();
    DrawTextW(canvas.Dc(), u"Fil&e", -1, &rect, DT_SINGLELINE);
    RECT withMark = canvas.InkBox();
    EXPECT_GT(withMark.bottom, withoutMark.bottom);
    int underlineRow = withMark.bottom - 1;
    int firstInk = -1;
    for (int x = 0; x < 200 && firstInk < 0; ++x) {
        if (canvas.Pixel(x, underlineRow) != 0xFFFFFF)
            firstInk = x;
    }
    EXPECT_GT(firstInk, 10 + plain / 2) << "only the last letter is underlined";
}

TEST(GdiText, OpaqueModeFillsTheTextExtentWithTheBackgroundColour)
{
    Canvas canvas(200, 50);
    canvas.UseFont(-16);
    SetTextColor(canvas.Dc(), RGB(0, 0, 255));
    SetBkColor(canvas.Dc(), RGB(255, 0, 0));
    RECT rect {20, 10, 180, 40};
    DrawTextW(canvas.Dc(), u"Label", -1, &rect, DT_SINGLELINE);
    EXPECT_EQ(canvas.CountPixels(0xFF0000), 0) << "transparent mode leaves the background";
    EXPECT_GT(canvas.CountPixels(0x0000FF), 10) << "glyph cores are in the text colour";

    SetBkMode(canvas.Dc(), OPAQUE);
    DrawTextW(canvas.Dc(), u"Label", -1, &rect, DT_SINGLELINE);
    SIZE extent = ExtentOf(canvas.Dc(), u"Label");
    EXPECT_EQ(canvas.Pixel(20, 10), 0xFF0000u);
    EXPECT_EQ(canvas.Pixel(20 + extent.cx - 1, 10 + extent.cy - 1), 0xFF0000u);
    EXPECT_EQ(canvas.Pixel(20 + extent.cx + 1, 12), 0xFFFFFFu) << "only the text's extent";
    EXPECT_EQ(canvas.Pixel(19, 12), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(25, 10 + extent.cy + 1), 0xFFFFFFu);
}

TEST(GdiText, TextOutDrawsFromTheTopLeftPoint)
{
    Canvas canvas(200, 60);
    canvas.UseFont(-18);
    ASSERT_TRUE(TextOutW(canvas.Dc(), 50, 20, u"Mode", 4));
    RECT ink = canvas.InkBox();
    SIZE extent = ExtentOf(canvas.Dc(), u"Mode");
    EXPECT_GE(ink.left, 50);
    EXPECT_LT(ink.left, 53);
    EXPECT_GE(ink.top, 20);
    EXPECT_LE(ink.bottom, 20 + extent.cy);
    EXPECT_LE(ink.right, 50 + extent.cx + 1);
    EXPECT_FALSE(TextOutW(canvas.Dc(), 0, 0, u"x", -1));
}

TEST(GdiText, MetricsMatchTheDrawnLines)
{
    Canvas canvas(100, 40);
    canvas.UseFont(-20);
    TEXTMETRICW tm {};
    ASSERT_TRUE(GetTextMetricsW(canvas.Dc(), &tm));
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20) << "a negative height is the character height";
    EXPECT_GT(tm.tmAveCharWidth, 4);
    EXPECT_LT(tm.tmAveCharWidth, 16);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    EXPECT_EQ(ExtentOf(canvas.Dc(), u"Hg").cy, tm.tmHeight);
    RECT rect {0, 0, 100, 40};
    EXPECT_EQ(DrawTextW(canvas.Dc(), u"Hg", -1, &rect, DT_SINGLELINE | DT_CALCRECT), tm.tmHeight);
    EXPECT_EQ(ExtentOf(canvas.Dc(), u"").cy, tm.tmHeight);
    EXPECT_EQ(ExtentOf(canvas.Dc(), u"").cx, 0);

    // A positive height is the cell height.
    canvas.UseFont(24);
    GetTextMetricsW(canvas.Dc(), &tm);
    EXPECT_NEAR(tm.tmHeight, 24, 1);
    EXPECT_GT(tm.tmInternalLeading, 0);
}

TEST(GdiText, EndEllipsisKeepsTheTextInsideTheWidth)
{
    Canvas canvas(200, 30);
    canvas.UseFont(-14);
    const WCHAR* text = u"A very long camera name that does not fit";
    RECT calc = CalcRect(canvas.Dc(), text, {0, 0, 120, 30}, DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(calc.right, 120);
    EXPECT_GT(calc.right, 90);
    RECT rect {0, 0, 120, 30};
    DrawTextW(canvas.Dc(), text, -1, &rect, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    EXPECT_LE(canvas.InkBox().right, 121);
    // An empty rectangle measures the whole text, and a short text is left as it is.
    EXPECT_EQ(CalcRect(canvas.Dc(), text, {0, 0, 0, 0}, DT_SINGLELINE | DT_END_ELLIPSIS).right,
        ExtentOf(canvas.Dc(), text).cx);
    EXPECT_EQ(CalcRect(canvas.Dc(), u"Cam", {0, 0, 120, 30}, DT_SINGLELINE | DT_END_ELLIPSIS).right,
        ExtentOf(canvas.Dc(), u"Cam").cx);
}

class GdiWindowText : public UiTest { };

TEST_F(GdiWindowText, TextInAChildWindowStaysInsideTheChild)
{
    RecordingClass windows(u"GdiTextWindow");
    HWND top = CreateWindowExW(0, windows.Name(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 60, nullptr, nullptr, nullptr,
        nullptr);
    HWND child = CreateWindowExW(0, windows.Name(), u"", WS_CHILD | WS_VISIBLE, 50, 10, 60, 40, top, nullptr, nullptr,
        nullptr);
    PumpPending();
    HDC topDc = GetDC(top);
    RECT whole {0, 0, 200, 60};
    FillRect(topDc, &whole, GetStockObject(WHITE_BRUSH));
    ReleaseDC(top, topDc);

    HDC dc = GetDC(child);
    HFONT font = CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Tahoma");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    RECT rect {0, 0, 60, 40};
    DrawTextW(dc, u"WWWWWWWWWW", -1, &rect, DT_SINGLELINE | DT_NOCLIP);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(child, dc);

    int inside = 0;
    int outside = 0;
    int rightmost = -1;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (Presenter().PixelAt(top, x, y) == 0xFFFFFF)
                continue;
            bool inChild = x >= 50 && x < 110 && y >= 10 && y < 50;
            (inChild ? inside : outside)++;
            rightmost = std::max(rightmost, x);
        }
    }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    EXPECT_GE(rightmost, 105) << "the text runs to the child's edge";
    DestroyWindow(top);
}
