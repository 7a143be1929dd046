#include "platform/ui/Gdi.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kRed = 0xFF0000;

// A white 40 × 30 memory bitmap with a black pen and a red brush selected.
class ShapeCanvas : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dc = CreateCompatibleDC(nullptr);
        m_bitmap = CreateCompatibleBitmap(m_dc, 40, 30);
        m_oldBitmap = SelectObject(m_dc, m_bitmap);
        RECT all {0, 0, 40, 30};
        FillRect(m_dc, &all, GetStockObject(WHITE_BRUSH));
        m_brush = CreateSolidBrush(RGB(255, 0, 0));
        m_oldBrush = SelectObject(m_dc, m_brush);
        SelectObject(m_dc, GetStockObject(BLACK_PEN));
    }
    void TearDown() override
    {
        SelectObject(m_dc, m_oldBrush);
        DeleteObject(m_brush);
        SelectObject(m_dc, m_oldBitmap);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    std::uint32_t Pixel(int x, int y) const
    {
        cairo_surface_t* surface = SurfaceOfBitmap(m_bitmap);
        cairo_surface_flush(surface);
        const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        std::uint32_t argb;
        std::memcpy(&argb, row + x * 4, 4);
        return argb & 0xFFFFFF;
    }
    // One row as text: '#' black, 'r' red, '.' white, '?' anything else.
    std::string Row(int y, int from, int to) const
    {
        std::string out;
        for (int x = from; x < to; ++x) {
            std::uint32_t p = Pixel(x, y);
            out += p == kBlack ? '#' : p == kRed ? 'r' : p == kWhite ? '.' : '?';
        }
        return out;
    }
    std::string Column(int x, int from, int to) const
    {
        std::string out;
        for (int y = from; y < to; ++y) {
            std::uint32_t p = Pixel(x, y);
            out += p == kBlack ? '#' : p == kRed ? 'r' : p == kWhite ? '.' : '?';
        }
        return out;
    }

    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
    HBRUSH m_brush = nullptr;
    HGDIOBJ m_oldBrush = nullptr;
};

using GdiShapes = ShapeCanvas;

} // namespace

TEST_F(GdiShapes, RectangleFramesWithThePenAndFillsWithTheBrushExcludingRightAndBottom)
{
    ASSERT_TRUE(Rectangle(m_dc, 2, 2, 8, 6));
    EXPECT_EQ(Row(1, 0, 10), "..........");
    EXPECT_EQ(Row(2, 0, 10), "..######..");
    EXPECT_EQ(Row(3, 0, 10), "..#rrrr#..");
    EXPECT_EQ(Row(5, 0, 10), "..######..");
    EXPECT_EQ(Row(6, 0, 10), "..........");

    // Reversed corners describe the same rectangle.
    ASSERT_TRUE(Rectangle(m_dc, 18, 16, 12, 12));
    EXPECT_EQ(Row(12, 10, 20), "..######..");
    EXPECT_EQ(Row(14, 10, 20), "..#rrrr#..");
    EXPECT_EQ(Column(12, 10, 18), "..####..");
}

TEST_F(GdiShapes, RectangleWithoutAPenIsOnePixelSmallerAndWithoutABrushIsHollow)
{
    SelectObject(m_dc, GetStockObject(NULL_PEN));
    Rectangle(m_dc, 2, 2, 8, 6);
    EXPECT_EQ(Row(2, 0, 10), "..rrrrr...");
    EXPECT_EQ(Row(4, 0, 10), "..rrrrr...");
    EXPECT_EQ(Row(5, 0, 10), "..........");

    SelectObject(m_dc, GetStockObject(BLACK_PEN));
    SelectObject(m_dc, GetStockObject(NULL_BRUSH));
    Rectangle(m_dc, 12, 2, 18, 6);
    EXPECT_EQ(Row(2, 10, 20), "..######..");
    EXPECT_EQ(Row(3, 10, 20), "..#....#..");
    SelectObject(m_dc, m_brush);
}

TEST_F(GdiShapes, LinesLeaveOutTheirLastPointAndKeepTheCurrentPosition)
{
    POINT previous {-1, -1};
    ASSERT_TRUE(MoveToEx(m_dc, 2, 3, &previous));
    EXPECT_EQ(previous.x, 0);
    EXPECT_EQ(previous.y, 0);
    ASSERT_TRUE(LineTo(m_dc, 8, 3));
    EXPECT_EQ(Row(3, 0, 10), "..######..");
    // The next line starts where the last ended.
    LineTo(m_dc, 8, 7);
    EXPECT_EQ(Column(8, 2, 9), ".####..");
    MoveToEx(m_dc, 0, 0, &previous);
    EXPECT_EQ(previous.x, 8);
    EXPECT_EQ(previous.y, 7);

    MoveToEx(m_dc, 20, 10, nullptr);
    LineTo(m_dc, 25, 15);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Pixel(20 + i, 10 + i), kBlack) << i;
    EXPECT_EQ(Pixel(25, 15), kWhite);
    EXPECT_EQ(Pixel(21, 10), kWhite);
}

TEST_F(GdiShapes, PensOfOtherColoursWidthsAndNone)
{
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(m_dc, red);
    MoveToEx(m_dc, 1, 1, nullptr);
    LineTo(m_dc, 5, 1);
    EXPECT_EQ(Row(1, 0, 6), ".rrrr.");
    EXPECT_FALSE(DeleteObject(red)) << "a selected pen stays";

    HPEN wide = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    SelectObject(m_dc, wide);
    MoveToEx(m_dc, 10, 10, nullptr);
    LineTo(m_dc, 30, 10);
    EXPECT_EQ(Column(20, 7, 14), "..###..");

    HPEN none = CreatePen(PS_NULL, 1, RGB(0, 0, 0));
    SelectObject(m_dc, none);
    MoveToEx(m_dc, 0, 20, nullptr);
    EXPECT_TRUE(LineTo(m_dc, 30, 20));
    EXPECT_EQ(Row(20, 0, 30), std::string(30, '.'));
    POINT previous {};
    MoveToEx(m_dc, 0, 0, &previous);
    EXPECT_EQ(previous.x, 30) << "a null pen still moves the position";

    SelectObject(m_dc, old);
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_TRUE(DeleteObject(wide));
    EXPECT_TRUE(DeleteObject(none));
    EXPECT_FALSE(LineTo(nullptr, 1, 1));
    EXPECT_FALSE(Rectangle(nullptr, 0, 0, 1, 1));
}
