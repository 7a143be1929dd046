#include "WidgetTestSupport.h"

#include "platform/ui/Dialog.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A dialog-like window holding links and labels, skinned by the engine after its controls exist.
class LabelTest : public WidgetTest {
protected:
    HWND m_host = nullptr;
    HWND m_link = nullptr;
    HWND m_deviceLink = nullptr;
    HWND m_deviceText = nullptr;
    HWND m_clock = nullptr;
    HWND m_countdown = nullptr;
    HWND m_plain = nullptr;

    void SetUp() override
    {
        WidgetTest::SetUp();
        m_host = MakeWindow(600, 300);
        m_link = MakeChild(m_host, u"HyperLink", u"[.]hand=true;color=rgb(255,0,0);hovercolor=rgb(0,0,255)[/.]高清模式",
            WS_VISIBLE, {20, 60, 120, 80}, 1040);
        m_deviceLink = MakeChild(m_host, u"Static",
            u"[.]hand=true;color=rgb(255,0,0);hovercolor=rgb(0,0,255);link=100[/.]点击选择设备：USB", WS_VISIBLE,
            {20, 100, 260, 120}, 1042);
        m_deviceText = MakeChild(m_host, u"Static", u"[.]hand=true;color=rgb(255,0,0);hovercolor=rgb(0,0,255)[/.]当前摄像头：USB",
            WS_VISIBLE, {20, 140, 260, 160}, 1043);
        m_clock = MakeChild(m_host, u"Static", u"", WS_VISIBLE | SS_RIGHT, {300, 60, 580, 80}, 1021);
        m_countdown = MakeChild(m_host, u"Static", u"", SS_RIGHT, {300, 100, 500, 120}, 1022);
        m_plain = MakeChild(m_host, u"Static", u"Plain words", WS_VISIBLE, {20, 180, 260, 200}, 1045);
        ASSERT_EQ(m_engine->AttachWindow(m_host), S_OK);
        Settle();
    }

    int Count(HWND hwnd, COLORREF color) { return CountNear(hwnd, color, 60); }

    int Posted(UINT message)
    {
        return static_cast<int>(Messages(m_host, message).size());
    }
};

TEST_F(LabelTest, LinkIsDrawnInItsColourAndTakesTheHoverColourUnderThePointer)
{
    EXPECT_GT(Count(m_link, kRed), 5);
    EXPECT_EQ(Count(m_link, kBlue), 0);
    Presenter().MovePointer(m_link, {10, 10});
    Settle();
    EXPECT_EQ(Count(m_link, kRed), 0);
    EXPECT_GT(Count(m_link, kBlue), 5);
    EXPECT_EQ(Presenter().Cursor(), CursorShape::Hand);
    // Back over the window: the link leaves its hover colour.
    Presenter().MovePointer(m_host, {580, 280});
    Settle();
    EXPECT_GT(Count(m_link, kRed), 5);
    EXPECT_EQ(Count(m_link, kBlue), 0);
}

TEST_F(LabelTest, LinkClickSendsItsIdToTheParent)
{
    Presenter().Click(m_link, {10, 10});
    Settle();
    auto commands = Messages(m_host, WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0].wParam), 1040);
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), m_link);
    // A press that ends outside the link is no click.
    Presenter().Press(m_link, {10, 10}, PointerButton::Left, true);
    Presenter().MovePointer(m_host, {580, 280});
    Presenter().Press(m_host, {580, 280}, PointerButton::Left, false);
    Settle();
    EXPECT_EQ(Messages(m_host, WM_COMMAND).size(), 1u);
}

TEST_F(LabelTest, LinkTextChangesWithItsWindowText)
{
    SetWindowTextW(m_link, u"[.]color=rgb(0,160,0)[/.]默认");
    Settle();
    EXPECT_EQ(Count(m_link, kRed), 0);
    EXPECT_GT(Count(m_link, kGreen), 5);
    WCHAR text[64] = {};
    GetWindowTextW(m_link, text, 64);
    EXPECT_EQ(WString(text), u"[.]color=rgb(0,160,0)[/.]默认");
}

TEST_F(LabelTest, LabelWithLinkPostsItsMessageToTheParent)
{
    EXPECT_GT(Count(m_deviceLink, kRed), 5);
    Presenter().Click(m_deviceLink, {20, 10});
    Settle();
    EXPECT_EQ(Posted(100), 1);
    EXPECT_TRUE(Messages(m_host, WM_COMMAND).empty());
    Presenter().MovePointer(m_deviceLink, {22, 10});
    Settle();
    EXPECT_GT(Count(m_deviceLink, kBlue), 5);
    EXPECT_EQ(Presenter().Cursor(), CursorShape::Hand);
}

TEST_F(LabelTest, LabelWithoutLinkDoesNothingOnAClick)
{
    Presenter().Click(m_deviceText, {20, 10});
    Settle();
    EXPECT_EQ(Posted(100), 0);
    EXPECT_TRUE(Messages(m_host, WM_COMMAND).empty());
    // It still follows the pointer with its hover colour and the hand it asks for.
    EXPECT_GT(Count(m_deviceText, kBlue), 5);
    EXPECT_EQ(Presenter().Cursor(), CursorShape::Hand);
}

TEST_F(LabelTest, TheDeviceLineTurnsIntoALinkWhenItsTextSaysSo)
{
    SetWindowTextW(m_deviceText, u"[.]hand=true;color=rgb(255,0,0);hovercolor=rgb(0,0,255);link=100[/.]点击选择设备：USB");
    Presenter().Click(m_deviceText, {20, 10});
    Settle();
    EXPECT_EQ(Posted(100), 1);
    SetWindowTextW(m_deviceText, u"[.]color=rgb(255,0,0)[/.]当前摄像头：无设备");
    Presenter().Click(m_deviceText, {20, 10});
    Settle();
    EXPECT_EQ(Posted(100), 1);
    // Without hand, link or hover colour the label lets presses through to its window.
    EXPECT_FALSE(Messages(m_host, WM_LBUTTONDOWN).empty());
}

TEST_F(LabelTest, LabelThatStopsBeingALinkDuringAPressLetsThePointerGo)
{
    Presenter().Press(m_deviceLink, {20, 10}, PointerButton::Left, true);
    Settle();
    EXPECT_EQ(GetCapture(), m_deviceLink);
    SetWindowTextW(m_deviceLink, u"当前摄像头：USB");
    EXPECT_EQ(GetCapture(), nullptr);
    Presenter().Press(m_deviceLink, {20, 10}, PointerButton::Left, false);
    Settle();
    EXPECT_EQ(Posted(100), 0);
}

TEST_F(LabelTest, LabelObjectWritesTheClockRightAligned)
{
    ObjectHolder label;
    Object(m_clock, kEngineLabel, label);
    EXPECT_EQ(label->SetLabelSetup(1), S_OK);
    EXPECT_EQ(label->SetLabelSetup(4), S_OK);
    EXPECT_EQ(label->SetLabelSetup(2), E_INVALIDARG);
    const WCHAR* text = u"<.style>underline=false;size=9;color=rgb(0,160,0);hovercolor=rgb(0,0,0);bold=false;</.style>录制时间：00:00:59 ";
    ASSERT_EQ(label->SetLabelText(text), S_OK);
    Settle();
    WCHAR written[200] = {};
    GetWindowTextW(m_clock, written, 200);
    EXPECT_EQ(WString(written), WString(text));
    RECT left {0, 0, 120, 20};
    RECT right {140, 0, 280, 20};
    EXPECT_EQ(CountNear(m_clock, kGreen, 60, &left), 0);
    EXPECT_GT(CountNear(m_clock, kGreen, 60, &right), 10);

    ASSERT_EQ(label->SetLabelText(u""), S_OK);
    Settle();
    EXPECT_EQ(CountNear(m_clock, kGreen, 60), 0);
}

TEST_F(LabelTest, HiddenLabelsStayHiddenAndPlainTextUsesTheSkinColour)
{
    EXPECT_FALSE(IsWindowVisible(m_countdown));
    SetWindowTextW(m_countdown, u" [.]color=rgb(255,0,0)[/.] 3 秒后自动拍照 ...");
    Settle();
    EXPECT_FALSE(IsWindowVisible(m_countdown));
    ShowWindow(m_countdown, SW_SHOW);
    Settle();
    EXPECT_GT(Count(m_countdown, kRed), 5);
    // The default skin's text colour is black.
    EXPECT_GT(CountNear(m_plain, kBlack, 40), 5);
}

TEST_F(LabelTest, LabelsAreTransparentOverTheSkin)
{
    long backdrop = Pixel(m_host, 580, 280);
    EXPECT_EQ(Pixel(m_plain, 235, 10), backdrop);
    EXPECT_EQ(Pixel(m_link, 95, 2), backdrop);
    EXPECT_EQ(Pixel(m_deviceLink, 235, 2), backdrop);
}

TEST_F(LabelTest, ShorterTextLeavesNothingOfTheLongerOneBehind)
{
    SetWindowTextW(m_plain, u"[.]color=rgb(255,0,0)[/.]A rather long line of words");
    Settle();
    RECT tail {120, 0, 240, 20};
    EXPECT_GT(CountNear(m_plain, kRed, 60, &tail), 5);
    SetWindowTextW(m_plain, u"[.]color=rgb(255,0,0)[/.]A");
    Settle();
    EXPECT_EQ(CountNear(m_plain, kRed, 60, &tail), 0);
    EXPECT_GT(Count(m_plain, kRed), 0);
}

TEST_F(LabelTest, OverlappingControlsKeepEachOthersText)
{
    // The check box reaches 20 pixels into the link, as the delay box and the HD link of the main window do.
    HWND box = MakeChild(m_host, u"Button", u"[.]color=rgb(0,0,255)[/.]box", WS_VISIBLE | BS_AUTOCHECKBOX, {300, 200, 420, 220}, 1044);
    HWND link = MakeChild(m_host, u"HyperLink", u"[.]color=rgb(255,0,0)[/.]高清", WS_VISIBLE, {400, 200, 460, 220}, 1041);
    ASSERT_EQ(m_engine->AttachWindow(m_host), S_OK);
    Settle();
    RECT overlap {0, 0, 20, 20};
    int before = CountNear(link, kRed, 60, &overlap);
    EXPECT_GT(before, 5);
    // The box redraws itself under the pointer; the link's text in the shared part stays.
    Presenter().MovePointer(box, {10, 10});
    Settle();
    Presenter().MovePointer(m_host, {580, 280});
    Settle();
    EXPECT_EQ(CountNear(link, kRed, 60, &overlap), before);
}

TEST_F(LabelTest, PictureStaticsAreNoLabelsButLinksTakeLabelText)
{
    HWND picture = MakeChild(m_host, u"Static", u"", WS_VISIBLE | SS_ICON, {520, 200, 552, 232}, 1050);
    ObjectHolder none;
    EXPECT_EQ(m_engine->GetWindowObject(picture, kEngineLabel, none.Out()), S_FALSE);
    ObjectHolder link;
    Object(m_link, kEngineLabel, link);
    EXPECT_EQ(link->SetLabelSetup(4), S_OK);
    EXPECT_EQ(link->SetLabelText(u"[.]color=rgb(0,0,255)[/.]全屏"), S_OK);
    Settle();
    EXPECT_GT(Count(m_link, kBlue), 5);
}

} // namespace
