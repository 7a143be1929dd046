#include "UiTestSupport.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/Paint.h"

#include <map>

namespace {

// Each window paints its whole client area in the colour kept for it.
std::map<HWND, COLORREF> g_colors;
std::map<HWND, int> g_paints;

class PaintTest : public UiTest {
protected:
    RecordingClass m_class {u"PaintTestWindow"};
    void SetUp() override
    {
        UiTest::SetUp();
        g_colors.clear();
        g_paints.clear();
        RecordingClass::handler = [](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
            if (message != WM_PAINT)
                return false;
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            HBRUSH brush = CreateSolidBrush(g_colors[hwnd]);
            FillRect(dc, &client, brush);
            DeleteObject(brush);
            EndPaint(hwnd, &ps);
            g_paints[hwnd]++;
            *result = 0;
            return true;
        };
    }
    HWND Make(HWND parent, RECT r, DWORD style, COLORREF color)
    {
        HWND hwnd = CreateWindowExW(0, m_class.Name(), u"", style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
            nullptr, nullptr, nullptr);
        g_colors[hwnd] = color;
        return hwnd;
    }
};

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr long kRedPixel = 0xFF0000;
constexpr long kBluePixel = 0x0000FF;
constexpr long kGreenPixel = 0x00FF00;

} // namespace

TEST_F(PaintTest, ParentsPaintBeforeChildrenAndClipChildrenKeepsThemIntact)
{
    HWND top = Make(nullptr, {0, 0, 100, 80}, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, kRed);
    HWND child = Make(top, {10, 10, 40, 30}, WS_CHILD | WS_VISIBLE, kBlue);
    PumpPending();
    EXPECT_EQ(Presenter().PixelAt(top, 5, 5), kRedPixel);
    EXPECT_EQ(Presenter().PixelAt(top, 20, 20), kBluePixel);
    // Repainting the parent alone leaves the child's pixels, because the parent clips its children.
    int childPaints = g_paints[child];
    InvalidateRect(top, nullptr, TRUE);
    PumpPending();
    EXPECT_EQ(g_paints[child], childPaints);
    EXPECT_EQ(Presenter().PixelAt(top, 20, 20), kBluePixel);
    DestroyWindow(top);
}

TEST_F(PaintTest, AParentThatDoesNotClipRepaintsItsChildrenAfterItself)
{
    HWND top = Make(nullptr, {0, 0, 100, 80}, WS_POPUP | WS_VISIBLE, kRed);
    HWND child = Make(top, {10, 10, 40, 30}, WS_CHILD | WS_VISIBLE, kBlue);
    PumpPending();
    int childPaints = g_paints[child];
    InvalidateRect(top, nullptr, TRUE);
    PumpPending();
    EXPECT_EQ(g_paints[child], childPaints + 1);
    EXPECT_EQ(Presenter().PixelAt(top, 20, 20), kBluePixel);
    DestroyWindow(top);
}

TEST_F(PaintTest, HidingAChildRevealsTheParentAndMovingItRepaintsBothPlaces)
{
    HWND top = Make(nullptr, {0, 0, 100, 80}, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, kRed);
    HWND child = Make(top, {10, 10, 40, 30}, WS_CHILD | WS_VISIBLE, kBlue);
    PumpPending();
    MoveWindow(child, 50, 40, 30, 20, TRUE);
    PumpPending();
    EXPECT_EQ(Presenter().PixelAt(top, 20, 20), kRedPixel);
    EXPECT_EQ(Presenter().PixelAt(top, 60, 50), kBluePixel);
    ShowWindow(child, SW_HIDE);
    PumpPending();
    EXPECT_EQ(Presenter().PixelAt(top, 60, 50), kRedPixel);
    DestroyWindow(top);
}

TEST_F(PaintTest, RedrawOffHoldsPaintingUntilItIsOnAgain)
{
    HWND top = Make(nullptr, {0, 0, 60, 60}, WS_POPUP | WS_VISIBLE, kRed);
    PumpPending();
    SendMessageW(top, WM_SETREDRAW, FALSE, 0);
    g_colors[top] = kGreen;
    InvalidateRect(top, nullptr, TRUE);
    PumpPending();
    EXPECT_EQ(Presenter().PixelAt(top, 5, 5), kRedPixel);
    SendMessageW(top, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(top, nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
    EXPECT_EQ(Presenter().PixelAt(top, 5, 5), kGreenPixel) << "update now paints before returning";
    DestroyWindow(top);
}

TEST_F(PaintTest, InvalidRegionsCoalesceIntoOnePaint)
{
    HWND top = Make(nullptr, {0, 0, 60, 60}, WS_POPUP | WS_VISIBLE, kRed);
    PumpPending();
    int before = g_paints[top];
    RECT a {0, 0, 10, 10};
    RECT b {30, 30, 40, 45};
    InvalidateRect(top, &a, FALSE);
    InvalidateRect(top, &b, FALSE);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(top, &update, FALSE));
    EXPECT_EQ(update.right, 40);
    EXPECT_EQ(update.bottom, 45);
    PumpPending();
    EXPECT_EQ(g_paints[top], before + 1);
    EXPECT_FALSE(GetUpdateRect(top, &update, FALSE));
    DestroyWindow(top);
}

TEST_F(PaintTest, MemoryBitmapsBlitAndStretch)
{
    HWND top = Make(nullptr, {0, 0, 80, 80}, WS_POPUP | WS_VISIBLE, kRed);
    PumpPending();
    HDC screen = GetDC(top);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 4, 4);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all {0, 0, 4, 4};
    HBRUSH blue = CreateSolidBrush(kBlue);
    FillRect(memory, &all, blue);
    StretchBlt(screen, 40, 40, 20, 20, memory, 0, 0, 4, 4, SRCCOPY);
    BitBlt(screen, 0, 0, 4, 4, memory, 0, 0, SRCCOPY);
    ReleaseDC(top, screen);
    EXPECT_EQ(Presenter().PixelAt(top, 2, 2), kBluePixel);
    EXPECT_EQ(Presenter().PixelAt(top, 50, 50), kBluePixel);
    EXPECT_EQ(Presenter().PixelAt(top, 61, 61), kRedPixel);
    EXPECT_FALSE(DeleteObject(bitmap)) << "a selected bitmap is not deleted";
    SelectObject(memory, old);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(blue));
    EXPECT_FALSE(DeleteObject(blue)) << "a deleted handle is refused";
    DestroyWindow(top);
}
