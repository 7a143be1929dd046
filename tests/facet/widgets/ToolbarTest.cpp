#include "WidgetTestSupport.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kCyan = RGB(0, 255, 255);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kAccent = RGB(0x3D, 0x8B, 0xFD); // the default skin's hover colour
constexpr int kButtonWidth = 80;
// Inside the 48 × 48 picture of a button of an 80 pixels high toolbar, whatever the text height.
constexpr int kPictureY = 30;

class ToolbarTest : public WidgetTest {
protected:
    HWND m_host = nullptr;
    HWND m_toolbar = nullptr;
    ObjectHolder m_control;
    ObjectHolder m_buttons;
    WString m_photo;
    WString m_record;

    void SetUp() override
    {
        WidgetTest::SetUp();
        m_host = MakeWindow(500, 200);
        m_toolbar = MakeChild(m_host, u"DynamicToolBar", u"", WS_VISIBLE, {12, 40, 412, 120}, 1000);
        ASSERT_EQ(m_engine->AttachWindow(m_host), S_OK);
        m_photo = m_pictures.WriteCells("photo.png", 48, 48, {kRed, kGreen, kBlue});
        m_record = m_pictures.WriteCells("record.png", 48, 48, {kYellow, kCyan, kMagenta});
        Object(m_toolbar, kEngineControl, m_control);
        ASSERT_EQ(m_control->SetProperty(kPropertyClearButtons, nullptr, 0), S_OK);
        ASSERT_EQ(m_control->SetProperty(kPropertyButtonLayout, nullptr, 4), S_OK);
        ASSERT_EQ(m_control->QueryObject(kEngineToolbar, m_buttons.Out()), S_OK);
        ASSERT_EQ(m_buttons->GetToolbarWindow(), m_toolbar);
        ASSERT_EQ(m_buttons->AddButton(10000, u"拍照", m_photo.c_str(), kButtonWidth), S_OK);
        ASSERT_EQ(m_buttons->AddButton(10001, u"摄像", m_record.c_str(), kButtonWidth), S_OK);
        Settle();
    }

    long Background() { return Pixel(m_host, 450, 180); }
    long Picture(int button) { return Pixel(m_toolbar, button * kButtonWidth + kButtonWidth / 2, kPictureY); }
    RECT TextArea(int button) { return {button * kButtonWidth, 56, (button + 1) * kButtonWidth, 80}; }

    std::vector<UINT> Commands()
    {
        std::vector<UINT> commands;
        for (const auto& m : Messages(m_host, WM_COMMAND))
            commands.push_back(LOWORD(m.wParam));
        return commands;
    }
};

TEST_F(ToolbarTest, ButtonsShowPictureAboveTextLeftToRight)
{
    EXPECT_EQ(Picture(0), AsPixel(kRed));
    EXPECT_EQ(Picture(1), AsPixel(kYellow));
    EXPECT_EQ(Picture(2), Background()) << "no third button";
    // The picture is centred in its 80 pixels: 16 pixels of backdrop on each side.
    EXPECT_EQ(Pixel(m_toolbar, 15, kPictureY), Background());
    EXPECT_EQ(Pixel(m_toolbar, 16, kPictureY), AsPixel(kRed));
    EXPECT_EQ(Pixel(m_toolbar, 63, kPictureY), AsPixel(kRed));
    EXPECT_EQ(Pixel(m_toolbar, 64, kPictureY), Background());
    // Each button's text is drawn in white under its picture, away from the button's edges.
    for (int button = 0; button < 2; ++button) {
        RECT text = TextArea(button);
        EXPECT_GT(CountNear(m_toolbar, kWhite, 8, &text), 10) << "button " << button;
        RECT edges[] = {{text.left, text.top, text.left + 10, text.bottom}, {text.right - 10, text.top, text.right, text.bottom}};
        for (const RECT& edge : edges)
            EXPECT_EQ(CountNear(m_toolbar, kWhite, 8, &edge), 0) << "button " << button;
    }
}

TEST_F(ToolbarTest, PointerAndPressShowTheOtherStates)
{
    RECT text = TextArea(0);
    EXPECT_EQ(CountNear(m_toolbar, kAccent, 30, &text), 0);
    Presenter().MovePointer(m_toolbar, {40, kPictureY});
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(kGreen));
    EXPECT_EQ(Picture(1), AsPixel(kYellow));
    EXPECT_GT(CountNear(m_toolbar, kAccent, 30, &text), 5) << "the text takes the hover colour";

    Presenter().Press(m_toolbar, {40, kPictureY}, PointerButton::Left, true);
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(kBlue));
    // Dragged off the pressed button, it shows normal again; back on it, pressed.
    Presenter().MovePointer(m_toolbar, {300, kPictureY});
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(kRed));
    Presenter().MovePointer(m_toolbar, {41, kPictureY});
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(kBlue));
    Presenter().Press(m_toolbar, {41, kPictureY}, PointerButton::Left, false);
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(kGreen));

    // Leaving the toolbar for its window returns every button to normal.
    Presenter().MovePointer(m_host, {450, 180});
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(kRed));
    EXPECT_EQ(CountNear(m_toolbar, kAccent, 30, &text), 0);
}

TEST_F(ToolbarTest, ClickSendsTheButtonsCommandToTheParent)
{
    Presenter().Click(m_toolbar, {40, kPictureY});
    Settle();
    auto commands = Messages(m_host, WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0].wParam), 10000);
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), m_toolbar);

    Presenter().Click(m_toolbar, {120, 70});
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {10000, 10001}));

    // Pressed on one button and released on the other: no command.
    Presenter().Press(m_toolbar, {40, kPictureY}, PointerButton::Left, true);
    Presenter().MovePointer(m_toolbar, {120, kPictureY});
    Presenter().Press(m_toolbar, {120, kPictureY}, PointerButton::Left, false);
    Settle();
    EXPECT_EQ(Commands().size(), 2u);
}

TEST_F(ToolbarTest, SpaceBesideTheButtonsBelongsToTheWindowUnderneath)
{
    Presenter().Click(m_toolbar, {300, kPictureY});
    Settle();
    EXPECT_TRUE(Commands().empty());
    auto presses = Messages(m_host, WM_LBUTTONDOWN);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(presses[0].lParam), 312);
    EXPECT_EQ(GET_Y_LPARAM(presses[0].lParam), 40 + kPictureY);
}

TEST_F(ToolbarTest, ParentRebuildsTheToolbarWhileHandlingItsCommand)
{
    WString stop = m_pictures.WriteCells("stop.png", 48, 48, {RGB(0, 0, 0), RGB(0, 0, 0), RGB(0, 0, 0)});
    EngineObject* control = m_control.Get();
    EngineObject* buttons = m_buttons.Get();
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        if (hwnd != m_host || message != WM_COMMAND || LOWORD(wParam) != 10001)
            return false;
        control->SetProperty(kPropertyClearButtons, nullptr, 0);
        control->SetProperty(kPropertyButtonLayout, nullptr, 4);
        buttons->AddButton(10001, u"停止摄像", stop.c_str(), kButtonWidth);
        *result = 0;
        return true;
    };
    Presenter().Click(m_toolbar, {120, kPictureY});
    Settle();
    EXPECT_EQ(Picture(0), AsPixel(RGB(0, 0, 0)));
    EXPECT_EQ(Picture(1), Background());
    Presenter().Click(m_toolbar, {40, kPictureY});
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {10001, 10001}));
}

TEST_F(ToolbarTest, ClearingRemovesEveryButton)
{
    ASSERT_EQ(m_control->SetProperty(kPropertyClearButtons, nullptr, 0), S_OK);
    Settle();
    EXPECT_EQ(Picture(0), Background());
    EXPECT_EQ(Picture(1), Background());
    Presenter().Click(m_toolbar, {40, kPictureY});
    Settle();
    EXPECT_TRUE(Commands().empty());
}

TEST_F(ToolbarTest, ButtonWithoutItsPictureStillShowsItsTextAndWorks)
{
    ASSERT_EQ(m_control->SetProperty(kPropertyClearButtons, nullptr, 0), S_OK);
    EXPECT_EQ(m_buttons->AddButton(10002, u"打开相册", m_pictures.Missing("none.png").c_str(), kButtonWidth), S_FALSE);
    Settle();
    EXPECT_GT(CountNear(m_toolbar, kWhite, 8), 10);
    Presenter().Click(m_toolbar, {40, 40});
    Settle();
    EXPECT_EQ(Commands(), (std::vector<UINT> {10002}));
}

TEST_F(ToolbarTest, ObjectsAnswerOnlyForTheirOwnNumbers)
{
    EXPECT_EQ(m_control->GetToolbarWindow(), nullptr);
    EXPECT_EQ(m_control->AddButton(1, u"x", nullptr, 80), E_NOTIMPL);
    EXPECT_EQ(m_buttons->SetProperty(kPropertyClearButtons, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(m_control->SetProperty(kPropertyButtonLayout, nullptr, 2), E_INVALIDARG);
    EXPECT_EQ(m_control->SetProperty(kPropertyImage, m_photo.c_str(), 3), E_INVALIDARG);
    ObjectHolder none;
    EXPECT_EQ(m_engine->GetWindowObject(m_toolbar, kEngineWindowBinding, none.Out()), S_FALSE);
    EXPECT_FALSE(none);
    EXPECT_EQ(m_engine->GetWindowObject(m_toolbar, kEngineLabel, none.Out()), S_FALSE);
    EXPECT_EQ(m_buttons->QueryObject(10002, none.Out()), S_FALSE);
    EXPECT_FALSE(none);

    // An object kept after its window is gone refuses politely.
    DestroyWindow(m_toolbar);
    EXPECT_LT(m_buttons->AddButton(1, u"x", nullptr, 80), 0);
    EXPECT_EQ(m_buttons->GetToolbarWindow(), nullptr);
    EXPECT_LT(m_engine->GetWindowObject(m_toolbar, kEngineBase, none.Out()), 0);
    EXPECT_FALSE(none);
}

} // namespace
