#include "UiTestSupport.h"

#include "platform/ui/Dialog.h"
#include "platform/ui/Input.h"
#include "platform/ui/WindowObject.h"

namespace {

constexpr int kBoxId = 1044;
constexpr UINT kGetState = 0x00F2; // BM_GETSTATE
constexpr LRESULT kPushed = 0x0004; // BST_PUSHED

class ButtonTest : public UiTest {
protected:
    RecordingClass m_parentClass {u"ButtonParent"};
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
    HWND Make(DWORD style, const WCHAR* text, int id = kBoxId)
    {
        return CreateWindowExW(0, u"Button", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 10, 10, 120, 20, m_parent,
            reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(id)), nullptr, nullptr);
    }
    std::vector<RecordedMessage> Commands()
    {
        std::vector<RecordedMessage> out;
        for (const auto& m : RecordingClass::Log()) {
            if (m.hwnd == m_parent && m.message == WM_COMMAND)
                out.push_back(m);
        }
        return out;
    }
    int DarkPixelsInBox(HWND box)
    {
        // The box is the 13-pixel square at the left, centred vertically; its frame is left out.
        POINT origin = OffsetInTopLevel(box);
        int count = 0;
        for (int x = 2; x < 11; ++x) {
            for (int y = 5; y < 14; ++y) {
                long p = Presenter().PixelAt(m_parent, origin.x + x, origin.y + y);
                count += (p & 0xFF) < 100 && ((p >> 8) & 0xFF) < 100 ? 1 : 0;
            }
        }
        return count;
    }
};

} // namespace

TEST_F(ButtonTest, AnAutoCheckBoxTogglesOnClickAndTellsItsParentTheNewState)
{
    HWND box = Make(BS_AUTOCHECKBOX, u"Delay");
    PumpPending();
    std::vector<UINT> stateAtNotification;
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (hwnd == m_parent && message == WM_COMMAND)
            stateAtNotification.push_back(IsDlgButtonChecked(m_parent, kBoxId));
        return false;
    };
    RecordingClass::Log().clear();
    Presenter().Click(box, {5, 5});
    PumpPending();
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    auto commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(kBoxId, BN_CLICKED));
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), box);
    EXPECT_EQ(GetFocus(), box) << "a click gives the button the focus";
    EXPECT_EQ(GetCapture(), nullptr);

    Presenter().Click(box, {60, 10});
    PumpPending();
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(stateAtNotification, (std::vector<UINT> {BST_CHECKED, BST_UNCHECKED}));
}

TEST_F(ButtonTest, ReleasingOutsideCancelsThePressAndComingBackRestoresIt)
{
    HWND box = Make(BS_AUTOCHECKBOX, u"Delay");
    PumpPending();
    RecordingClass::Log().clear();
    Presenter().Press(box, {5, 5}, PointerButton::Left, true);
    PumpPending();
    EXPECT_EQ(GetCapture(), box);
    EXPECT_EQ(SendMessageW(box, kGetState, 0, 0) & kPushed, kPushed);
    Presenter().MovePointer(m_parent, {250, 150});
    PumpPending();
    EXPECT_EQ(SendMessageW(box, kGetState, 0, 0) & kPushed, 0) << "out of the button it shows released";
    Presenter().Press(m_parent, {250, 150}, PointerButton::Left, false);
    PumpPending();
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(GetCapture(), nullptr);

    Presenter().Press(box, {5, 5}, PointerButton::Left, true);
    Presenter().MovePointer(m_parent, {250, 150});
    Presenter().MovePointer(box, {6, 6});
    Presenter().Press(box, {6, 6}, PointerButton::Left, false);
    PumpPending();
    EXPECT_EQ(Commands().size(), 1u);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(ButtonTest, SpaceClicksOnceOnReleaseEvenWhenTheKeyRepeats)
{
    HWND box = Make(BS_AUTOCHECKBOX, u"Delay");
    PumpPending();
    SetFocus(box);
    RecordingClass::Log().clear();
    DeliverKey(m_parent, VK_SPACE, true, u' ', false);
    DeliverKey(m_parent, VK_SPACE, true, u' ', false);
    PumpPending();
    EXPECT_TRUE(Commands().empty()) << "nothing happens before the key comes up";
    DeliverKey(m_parent, VK_SPACE, false, 0, false);
    PumpPending();
    EXPECT_EQ(Commands().size(), 1u);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    Presenter().TypeKey(m_parent, VK_SPACE, u' ');
    PumpPending();
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(Commands().size(), 2u);
}

TEST_F(ButtonTest, PlainCheckBoxesAndPushButtonsLeaveTheStateToTheProgram)
{
    HWND box = Make(BS_CHECKBOX, u"Manual", 1);
    HWND push = CreateWindowExW(0, u"Button", u"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 150, 10, 80, 24, m_parent,
        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(IDOK)), nullptr, nullptr);
    PumpPending();
    RecordingClass::Log().clear();
    Presenter().Click(box, {5, 5});
    Presenter().Click(push, {5, 5});
    PumpPending();
    auto commands = Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(LOWORD(commands[0].wParam), 1);
    EXPECT_EQ(LOWORD(commands[1].wParam), IDOK);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "BS_CHECKBOX does not toggle itself";
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(push, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(push, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "a push button has no check state";
    EXPECT_TRUE(SendMessageW(box, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON);
    EXPECT_TRUE(SendMessageW(push, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON);

    EnableWindow(box, FALSE);
    RecordingClass::Log().clear();
    Presenter().Click(box, {5, 5});
    PumpPending();
    EXPECT_TRUE(Commands().empty()) << "a disabled button is not clicked";
}

TEST_F(ButtonTest, TheCheckMarkIsDrawnAndThePartsColoursAreAsked)
{
    HWND box = Make(BS_AUTOCHECKBOX, u"Delay");
    PumpPending();
    EXPECT_EQ(DarkPixelsInBox(box), 0);
    EXPECT_FALSE(RecordingClass::Sequence(m_parent, {WM_CTLCOLORSTATIC}).empty()) << "a check box is coloured as a static";
    SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    PumpPending();
    EXPECT_GT(DarkPixelsInBox(box), 8);
    SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    PumpPending();
    EXPECT_EQ(DarkPixelsInBox(box), 0);
}
