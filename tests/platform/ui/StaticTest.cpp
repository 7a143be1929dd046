#include "UiTestSupport.h"

#include "platform/ui/Dialog.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Paint.h"
#include "platform/ui/WindowObject.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

class StaticTest : public UiTest {
protected:
    RecordingClass m_parentClass {u"StaticParent"};
    HWND m_parent = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        m_parent = CreateWindowExW(0, m_parentClass.Name(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_parent);
        UiTest::TearDown();
    }
    HWND Make(DWORD style, const WCHAR* text, RECT r, int id = 7)
    {
        return CreateWindowExW(0, u"Static", text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
            r.bottom - r.top, m_parent, reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(id)), nullptr, nullptr);
    }
    // 0xRRGGBB at a point of the control's client area, as the presenter shows it.
    long Pixel(HWND control, int x, int y)
    {
        POINT origin = OffsetInTopLevel(control);
        return Presenter().PixelAt(TopLevelOf(control), origin.x + x, origin.y + y);
    }
    // The columns of the control where some pixel differs from `background`: first and last, or -1.
    std::pair<int, int> InkColumns(HWND control, long background)
    {
        RECT client;
        GetClientRect(control, &client);
        int first = -1;
        int last = -1;
        for (int x = 0; x < client.right; ++x) {
            for (int y = 0; y < client.bottom; ++y) {
                if (Pixel(control, x, y) != background) {
                    if (first < 0)
                        first = x;
                    last = x;
                    break;
                }
            }
        }
        return {first, last};
    }
    int CountPixels(HWND control, const std::function<bool(long)>& match)
    {
        RECT client;
        GetClientRect(control, &client);
        int count = 0;
        for (int x = 0; x < client.right; ++x) {
            for (int y = 0; y < client.bottom; ++y)
                count += match(Pixel(control, x, y)) ? 1 : 0;
        }
        return count;
    }
};

long Red(long p) { return (p >> 16) & 0xFF; }
long Green(long p) { return (p >> 8) & 0xFF; }
long Blue(long p) { return p & 0xFF; }

} // namespace

TEST_F(StaticTest, TheParentsColoursPaintTextAndBackground)
{
    HBRUSH blue = CreateSolidBrush(kBlue);
    HWND asked = nullptr;
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        if (hwnd != m_parent || message != WM_CTLCOLORSTATIC)
            return false;
        asked = reinterpret_cast<HWND>(lParam);
        auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, kRed);
        SetBkMode(dc, TRANSPARENT);
        *result = reinterpret_cast<LRESULT>(blue);
        return true;
    };
    HWND label = Make(SS_LEFT, u"MMMM", {10, 10, 150, 40});
    PumpPending();
    EXPECT_EQ(asked, label);
    EXPECT_EQ(Pixel(label, 135, 25), 0x0000FF) << "the brush fills what the text leaves";
    int red = CountPixels(label, [](long p) { return Red(p) > 150 && Green(p) < 100 && Blue(p) < 100; });
    EXPECT_GT(red, 20) << "the text is drawn in the parent's colour";

    // A parent that leaves the message alone gets the dialog colours.
    RecordingClass::handler = nullptr;
    InvalidateRect(label, nullptr, TRUE);
    PumpPending();
    EXPECT_EQ(Pixel(label, 135, 25), static_cast<long>(0xF0F0F0));
    int dark = CountPixels(label, [](long p) { return Red(p) < 100 && Green(p) < 100 && Blue(p) < 100; });
    EXPECT_GT(dark, 20);
    DestroyWindow(label);
    DeleteObject(blue);
}

TEST_F(StaticTest, AlignmentStylesPlaceTheText)
{
    HWND left = Make(SS_LEFT, u"Hi", {0, 0, 200, 20}, 1);
    HWND center = Make(SS_CENTER, u"Hi", {0, 30, 200, 50}, 2);
    HWND right = Make(SS_RIGHT, u"Hi", {0, 60, 200, 80}, 3);
    PumpPending();
    auto [leftFirst, leftLast] = InkColumns(left, 0xF0F0F0);
    auto [centerFirst, centerLast] = InkColumns(center, 0xF0F0F0);
    auto [rightFirst, rightLast] = InkColumns(right, 0xF0F0F0);
    ASSERT_GE(leftFirst, 0);
    EXPECT_LT(leftFirst, 4);
    EXPECT_NEAR((centerFirst + centerLast) / 2, 100, 4);
    EXPECT_GT(rightLast, 192);
    EXPECT_EQ(rightLast - rightFirst, leftLast - leftFirst) << "the same text, only moved";
}

TEST_F(StaticTest, ClicksNotifyOnlyWithSsNotifyAndOtherwiseFallThroughToTheParent)
{
    HWND plain = Make(SS_LEFT, u"plain", {10, 10, 110, 30}, 21);
    HWND notifying = Make(SS_LEFT | SS_NOTIFY, u"link", {10, 50, 110, 70}, 22);
    PumpPending();
    RecordingClass::Log().clear();
    Presenter().Click(plain, {5, 5});
    Presenter().Click(notifying, {5, 5});
    PumpPending();
    std::vector<RecordedMessage> commands;
    std::vector<LPARAM> parentPresses;
    for (const auto& m : RecordingClass::Log()) {
        if (m.hwnd == m_parent && m.message == WM_COMMAND)
            commands.push_back(m);
        if (m.hwnd == m_parent && m.message == WM_LBUTTONDOWN)
            parentPresses.push_back(m.lParam);
    }
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(22, STN_CLICKED));
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), notifying);
    EXPECT_EQ(parentPresses, (std::vector<LPARAM> {MAKELPARAM(15, 15)})) << "a plain static is transparent to the pointer";
}

TEST_F(StaticTest, NewTextIsPaintedAndTheDialogCodeSaysStatic)
{
    HWND label = Make(SS_LEFT, u"", {10, 10, 150, 40});
    PumpPending();
    EXPECT_EQ(InkColumns(label, 0xF0F0F0).first, -1);
    SetWindowTextW(label, u"00:01:05");
    PumpPending();
    EXPECT_GE(InkColumns(label, 0xF0F0F0).first, 0);
    EXPECT_EQ(SendMessageW(label, WM_GETDLGCODE, 0, 0), static_cast<LRESULT>(DLGC_STATIC));
}
