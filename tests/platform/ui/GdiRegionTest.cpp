#include "UiTestSupport.h"

#include "platform/ui/Gdi.h"

#include <cstdint>
#include <cstring>

namespace {

struct RegionGuard {
    explicit RegionGuard(HRGN r) : region(r) { }
    ~RegionGuard() { DeleteObject(region); }
    HRGN region;
};

RECT BoxOf(HRGN region)
{
    RECT box {-1, -1, -1, -1};
    GetRgnBox(region, &box);
    return box;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::uint32_t PixelOf(HBITMAP bitmap, int x, int y)
{
    cairo_surface_t* surface = SurfaceOfBitmap(bitmap);
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    std::uint32_t argb;
    std::memcpy(&argb, row + x * 4, 4);
    return argb & 0xFFFFFF;
}

// A black 40 × 40 memory bitmap and a red brush to fill it through clips.
class ClipCanvas {
public:
    ClipCanvas()
    {
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateCompatibleBitmap(m_dc, 40, 40);
        m_old = SelectObject(m_dc, m_bitmap);
        m_red = CreateSolidBrush(RGB(255, 0, 0));
    }
    ~ClipCanvas()
    {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteObject(m_red);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }
    void FillAll()
    {
        RECT all {0, 0, 40, 40};
        FillRect(m_dc, &all, m_red);
    }
    bool Red(int x, int y) const { return PixelOf(m_bitmap, x, y) == 0xFF0000; }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    HBRUSH m_red;
};

} // namespace

TEST(GdiRegion, RectangleRegionsAreNormalizedAndExcludeTheirRightAndBottomEdges)
{
    RegionGuard r(CreateRectRgn(30, 20, 10, 5));
    EXPECT_EQ(GetRgnBox(r.region, nullptr), RGN_ERROR);
    RECT box {};
    EXPECT_EQ(GetRgnBox(r.region, &box), SIMPLEREGION);
    EXPECT_TRUE(SameRect(box, {10, 5, 30, 20}));
    EXPECT_TRUE(PtInRegion(r.region, 10, 5));
    EXPECT_TRUE(PtInRegion(r.region, 29, 19));
    EXPECT_FALSE(PtInRegion(r.region, 30, 19));
    EXPECT_FALSE(PtInRegion(r.region, 29, 20));

    RECT emptyRect {4, 4, 4, 9};
    RegionGuard empty(CreateRectRgnIndirect(&emptyRect));
    EXPECT_EQ(GetRgnBox(empty.region, &box), NULLREGION);
    EXPECT_TRUE(SameRect(box, {0, 0, 0, 0}));
    EXPECT_EQ(CreateRectRgnIndirect(nullptr), nullptr);
}

TEST(GdiRegion, CombineGivesTheAlgebraAndTheTypeOfTheResult)
{
    RegionGuard a(CreateRectRgn(0, 0, 20, 20));
    RegionGuard b(CreateRectRgn(10, 10, 30, 30));
    RegionGuard out(CreateRectRgn(0, 0, 0, 0));

    EXPECT_EQ(CombineRgn(out.region, a.region, b.region, RGN_AND), SIMPLEREGION);
    EXPECT_TRUE(SameRect(BoxOf(out.region), {10, 10, 20, 20}));

    EXPECT_EQ(CombineRgn(out.region, a.region, b.region, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(SameRect(BoxOf(out.region), {0, 0, 30, 30}));
    EXPECT_FALSE(PtInRegion(out.region, 25, 5));

    EXPECT_EQ(CombineRgn(out.region, a.region, b.region, RGN_XOR), COMPLEXREGION);
    EXPECT_FALSE(PtInRegion(out.region, 15, 15));
    EXPECT_TRUE(PtInRegion(out.region, 5, 15));
    EXPECT_TRUE(PtInRegion(out.region, 25, 25));

    EXPECT_EQ(CombineRgn(out.region, a.region, b.region, RGN_DIFF), COMPLEXREGION);
    EXPECT_TRUE(PtInRegion(out.region, 5, 5));
    EXPECT_FALSE(PtInRegion(out.region, 15, 15));
    EXPECT_FALSE(PtInRegion(out.region, 25, 25));

    EXPECT_EQ(CombineRgn(out.region, b.region, nullptr, RGN_COPY), SIMPLEREGION);
    EXPECT_TRUE(SameRect(BoxOf(out.region), {10, 10, 30, 30}));

    // Side by side rectangles of one height join into one; disjoint ones meet nowhere.
    RegionGuard left(CreateRectRgn(0, 0, 10, 10));
    RegionGuard right(CreateRectRgn(10, 0, 20, 10));
    EXPECT_EQ(CombineRgn(out.region, left.region, right.region, RGN_OR), SIMPLEREGION);
    EXPECT_EQ(CombineRgn(out.region, left.region, right.region, RGN_AND), NULLREGION);
    EXPECT_EQ(CombineRgn(out.region, left.region, left.region, RGN_DIFF), NULLREGION);
}

TEST(GdiRegion, CombineIntoAnOperandAndRefusesBadArguments)
{
    RegionGuard a(CreateRectRgn(0, 0, 20, 20));
    RegionGuard b(CreateRectRgn(10, 0, 30, 20));
    EXPECT_EQ(CombineRgn(a.region, a.region, b.region, RGN_OR), SIMPLEREGION);
    EXPECT_TRUE(SameRect(BoxOf(a.region), {0, 0, 30, 20}));
    EXPECT_EQ(CombineRgn(b.region, a.region, b.region, RGN_DIFF), SIMPLEREGION);
    EXPECT_TRUE(SameRect(BoxOf(b.region), {0, 0, 10, 20}));

    EXPECT_EQ(CombineRgn(a.region, a.region, b.region, 99), RGN_ERROR);
    EXPECT_TRUE(SameRect(BoxOf(a.region), {0, 0, 30, 20})) << "a failed combination leaves the destination";
    EXPECT_EQ(CombineRgn(a.region, a.region, nullptr, RGN_AND), RGN_ERROR);
    EXPECT_EQ(CombineRgn(nullptr, a.region, b.region, RGN_OR), RGN_ERROR);
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_EQ(CombineRgn(a.region, brush, b.region, RGN_OR), RGN_ERROR);
    EXPECT_FALSE(PtInRegion(brush, 0, 0));
    DeleteObject(brush);

    HRGN gone = CreateRectRgn(0, 0, 5, 5);
    EXPECT_TRUE(DeleteObject(gone));
    EXPECT_EQ(GetRgnBox(gone, nullptr), RGN_ERROR);
}

TEST(GdiClip, ClipFunctionsLimitWhatFillRectReaches)
{
    ClipCanvas canvas;
    EXPECT_EQ(IntersectClipRect(canvas.Dc(), 10, 10, 30, 30), SIMPLEREGION);
    EXPECT_EQ(ExcludeClipRect(canvas.Dc(), 15, 15, 20, 20), COMPLEXREGION);
    canvas.FillAll();
    EXPECT_TRUE(canvas.Red(10, 10));
    EXPECT_TRUE(canvas.Red(29, 29));
    EXPECT_FALSE(canvas.Red(30, 29));
    EXPECT_FALSE(canvas.Red(9, 15));
    EXPECT_FALSE(canvas.Red(15, 15));
    EXPECT_FALSE(canvas.Red(19, 19));
    EXPECT_TRUE(canvas.Red(20, 19));

    // Intersections only narrow: a disjoint rectangle leaves nothing to draw on.
    EXPECT_EQ(IntersectClipRect(canvas.Dc(), 0, 0, 5, 5), NULLREGION);
    EXPECT_EQ(SelectClipRgn(canvas.Dc(), nullptr), SIMPLEREGION);
    canvas.FillAll();
    EXPECT_TRUE(canvas.Red(0, 0));
    EXPECT_TRUE(canvas.Red(39, 39));
}

TEST(GdiClip, SelectClipRgnCopiesTheRegion)
{
    ClipCanvas canvas;
    HRGN region = CreateRectRgn(5, 5, 10, 10);
    RegionGuard other(CreateRectRgn(20, 20, 25, 25));
    CombineRgn(region, region, other.region, RGN_OR);
    EXPECT_EQ(SelectClipRgn(canvas.Dc(), region), COMPLEXREGION);
    DeleteObject(region);
    canvas.FillAll();
    EXPECT_TRUE(canvas.Red(5, 5));
    EXPECT_TRUE(canvas.Red(24, 24));
    EXPECT_FALSE(canvas.Red(15, 15));
    EXPECT_FALSE(canvas.Red(10, 10));
    HBRUSH notARegion = CreateSolidBrush(0);
    EXPECT_EQ(SelectClipRgn(canvas.Dc(), notARegion), RGN_ERROR);
    DeleteObject(notARegion);
    EXPECT_EQ(IntersectClipRect(nullptr, 0, 0, 1, 1), RGN_ERROR);
}

class GdiWindowClip : public UiTest { };

TEST_F(GdiWindowClip, ClipsOfAChildAreInItsOwnCoordinatesAndStayInsideIt)
{
    RecordingClass windows(u"GdiClipWindow");
    HWND top = CreateWindowExW(0, windows.Name(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr, nullptr, nullptr,
        nullptr);
    HWND child = CreateWindowExW(0, windows.Name(), u"", WS_CHILD | WS_VISIBLE, 30, 20, 40, 40, top, nullptr, nullptr,
        nullptr);
    PumpPending();
    HDC topDc = GetDC(top);
    RECT whole {0, 0, 100, 80};
    HBRUSH black = CreateSolidBrush(0);
    FillRect(topDc, &whole, black);
    ReleaseDC(top, topDc);

    HDC dc = GetDC(child);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT client {0, 0, 40, 40};
    EXPECT_EQ(IntersectClipRect(dc, 0, 0, 10, 10), SIMPLEREGION);
    FillRect(dc, &client, red);
    EXPECT_EQ(Presenter().PixelAt(top, 30, 20), 0xFF0000);
    EXPECT_EQ(Presenter().PixelAt(top, 39, 29), 0xFF0000);
    EXPECT_EQ(Presenter().PixelAt(top, 40, 29), 0);
    EXPECT_EQ(Presenter().PixelAt(top, 29, 20), 0);

    // Without a clip region the child's context is back to the child, not the whole window.
    SelectClipRgn(dc, nullptr);
    RECT beyond {-30, -20, 70, 60};
    FillRect(dc, &beyond, red);
    EXPECT_EQ(Presenter().PixelAt(top, 69, 59), 0xFF0000);
    EXPECT_EQ(Presenter().PixelAt(top, 29, 19), 0);
    EXPECT_EQ(Presenter().PixelAt(top, 70, 60), 0);
    ReleaseDC(child, dc);
    DeleteObject(red);
    DeleteObject(black);
    DestroyWindow(top);
}
