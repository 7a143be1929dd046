#include "WidgetTestSupport.h"

#include "platform/ui/Dialog.h"

namespace {

constexpr COLORREF kUnchecked = RGB(255, 0, 0);
constexpr COLORREF kUncheckedHover = RGB(0, 255, 0);
constexpr COLORREF kChecked = RGB(0, 0, 255);
constexpr COLORREF kCheckedHover = RGB(255, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr DWORD kFourAcrossOneDown = 4 | (1 << 16);
constexpr int kId = 1044;

class CheckBoxTest : public WidgetTest {
protected:
    HWND m_host = nullptr;
    HWND m_box = nullptr;
    WString m_states;

    void SetUp() override
    {
        WidgetTest::SetUp();
        m_host = MakeWindow(400, 200);
        m_box = MakeChild(m_host, u"Button", u"[.]color=rgb(255,255,255)[/.] 延时3秒拍照", WS_VISIBLE | BS_AUTOCHECKBOX,
            {20, 60, 160, 80}, kId);
        ASSERT_EQ(m_engine->AttachWindow(m_host), S_OK);
        m_states = m_pictures.WriteCells("check.png", 15, 15, {kUnchecked, kUncheckedHover, kChecked, kCheckedHover});
        ObjectHolder control;
        Object(m_box, kEngineControl, control);
        ASSERT_EQ(control->SetProperty(kPropertyImage, m_states.c_str(), kFourAcrossOneDown), S_OK);
        Settle();
    }

    // The middle of the state picture, drawn at the left and centred vertically.
    long State() { return Pixel(m_box, 7, 10); }
    void PointerAway()
    {
        Presenter().MovePointer(m_host, {380, 180});
        Settle();
    }
    std::vector<WORD> Clicks()
    {
        std::vector<WORD> codes;
        for (const auto& m : Messages(m_host, WM_COMMAND)) {
            if (LOWORD(m.wParam) == kId)
                codes.push_back(HIWORD(m.wParam));
        }
        return codes;
    }
};

TEST_F(CheckBoxTest, CyclesItsFourPicturesByStateAndHover)
{
    EXPECT_EQ(State(), AsPixel(kUnchecked));
    Presenter().MovePointer(m_box, {60, 10});
    Settle();
    EXPECT_EQ(State(), AsPixel(kUncheckedHover));
    Presenter().Click(m_box, {60, 10});
    Settle();
    EXPECT_EQ(IsDlgButtonChecked(m_host, kId), BST_CHECKED);
    EXPECT_EQ(State(), AsPixel(kCheckedHover));
    PointerAway();
    EXPECT_EQ(State(), AsPixel(kChecked));
    Presenter().Click(m_box, {61, 10});
    Settle();
    EXPECT_EQ(IsDlgButtonChecked(m_host, kId), BST_UNCHECKED);
    EXPECT_EQ(State(), AsPixel(kUncheckedHover));
    PointerAway();
    EXPECT_EQ(State(), AsPixel(kUnchecked));
}

TEST_F(CheckBoxTest, EveryClickReachesTheParentAsBnClicked)
{
    Presenter().Click(m_box, {60, 10});
    Settle();
    PointerAway();
    Presenter().Click(m_box, {8, 10});
    Settle();
    EXPECT_EQ(Clicks(), (std::vector<WORD> {BN_CLICKED, BN_CLICKED}));
    EXPECT_EQ(IsDlgButtonChecked(m_host, kId), BST_UNCHECKED);
}

TEST_F(CheckBoxTest, ProgramSetsTheStateAndThePictureFollows)
{
    CheckDlgButton(m_host, kId, BST_CHECKED);
    Settle();
    EXPECT_EQ(State(), AsPixel(kChecked));
    EXPECT_TRUE(Clicks().empty());
    ShowWindow(m_box, SW_HIDE);
    Settle();
    EXPECT_FALSE(IsWindowVisible(m_box));
}

TEST_F(CheckBoxTest, TextIsDrawnBesideThePicture)
{
    RECT picture {0, 2, 15, 17};
    RECT text {15, 0, 140, 20};
    EXPECT_EQ(CountNear(m_box, kWhite, 8, &picture), 0);
    EXPECT_GT(CountNear(m_box, kWhite, 8, &text), 10);
}

TEST_F(CheckBoxTest, MissingPictureDrawsAPlainBox)
{
    ObjectHolder control;
    Object(m_box, kEngineControl, control);
    EXPECT_EQ(control->SetProperty(kPropertyImage, m_pictures.Missing("gone.png").c_str(), kFourAcrossOneDown), E_FAIL);
    Settle();
    RECT box {0, 0, 13, 20};
    EXPECT_EQ(CountNear(m_box, kUnchecked, 8, &box), 0);
    EXPECT_GT(CountNear(m_box, kWhite, 8, &box), 10) << "the box outline in the text colour";
    Presenter().Click(m_box, {6, 10});
    Settle();
    EXPECT_EQ(IsDlgButtonChecked(m_host, kId), BST_CHECKED);
}

TEST_F(CheckBoxTest, CheckBoxOfAWindowNotSkinnedTakesItsPictureToo)
{
    HWND plain = MakeWindow(200, 100);
    HWND box = MakeChild(plain, u"Button", u"x", WS_VISIBLE | BS_AUTOCHECKBOX, {10, 10, 110, 30}, 7);
    HWND push = MakeChild(plain, u"Button", u"push", WS_VISIBLE | BS_PUSHBUTTON, {10, 50, 110, 80}, 8);
    ObjectHolder control;
    Object(box, kEngineControl, control);
    ASSERT_EQ(control->SetProperty(kPropertyImage, m_states.c_str(), kFourAcrossOneDown), S_OK);
    CheckDlgButton(plain, 7, BST_CHECKED);
    Settle();
    EXPECT_EQ(Pixel(box, 7, 10), AsPixel(kChecked));
    ObjectHolder none;
    EXPECT_EQ(m_engine->GetWindowObject(push, kEngineControl, none.Out()), S_FALSE);
}

} // namespace
