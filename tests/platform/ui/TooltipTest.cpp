#include "UiTestSupport.h"

#include "platform/ui/Dialog.h"
#include "platform/ui/Input.h"

namespace {

constexpr WORD kFullScreenHint = 147; // a string of this program's resources (DialogTest.cpp)

class TooltipTest : public UiTest {
protected:
    ScopedTestClock m_clock {{2012, 12, 5, 7, 15, 30, 45, 0}, 1000};
    RecordingClass m_ownerClass {u"TipOwner"};
    HWND m_owner = nullptr;
    HWND m_tool = nullptr;
    HWND m_tip = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        m_owner = CreateWindowExW(0, m_ownerClass.Name(), u"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
        m_tool = CreateWindowExW(0, m_ownerClass.Name(), u"", WS_CHILD | WS_VISIBLE, 50, 50, 100, 30, m_owner, nullptr, nullptr, nullptr);
        m_tip = MakeTip(TTS_ALWAYSTIP);
        PumpPending();
    }
    void TearDown() override
    {
        DestroyWindow(m_owner);
        UiTest::TearDown();
    }
    HWND MakeTip(DWORD style)
    {
        return CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
            CW_USEDEFAULT, m_owner, nullptr, nullptr, nullptr);
    }
    static BOOL AddTool(HWND tip, UINT flags, HWND hwnd, UINT_PTR id, RECT rect, LPWSTR text)
    {
        TOOLINFOW info {};
        info.cbSize = sizeof info;
        info.uFlags = flags;
        info.hwnd = hwnd;
        info.uId = id;
        info.rect = rect;
        info.lpszText = text;
        return static_cast<BOOL>(SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)));
    }
    void AddWindowTool(LPWSTR text)
    {
        ASSERT_TRUE(AddTool(m_tip, TTF_IDISHWND, m_owner, reinterpret_cast<UINT_PTR>(m_tool), {}, text));
        SendMessageW(m_tip, TTM_ACTIVATE, TRUE, 0);
    }
    // The program's message filter: every mouse message goes to the tooltip, then on its way.
    void PumpRelaying()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST)
                SendMessageW(m_tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    void Move(HWND hwnd, POINT client)
    {
        Presenter().MovePointer(hwnd, client);
        PumpRelaying();
    }
    void Wait(DWORD ms)
    {
        TestClock::Advance(ms);
        PumpRelaying();
    }
    bool Shown() { return IsWindowVisible(m_tip) && Presenter().IsShown(m_tip); }
};

} // namespace

TEST_F(TooltipTest, TheTipShowsAfterThePointerRestsAndHidesWhenItLeaves)
{
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    EXPECT_EQ(SendMessageW(m_tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    SetActiveWindow(m_owner);
    Move(m_tool, {10, 10});
    Wait(499);
    EXPECT_FALSE(Shown());
    Wait(1);
    ASSERT_TRUE(Shown());

    RECT r;
    GetWindowRect(m_tip, &r);
    EXPECT_EQ(r.left, 160) << "at the pointer: owner 100 + tool 50 + 10";
    EXPECT_EQ(r.top, 180) << "just below the pointer";
    EXPECT_GT(r.right - r.left, 20);
    EXPECT_TRUE(Presenter().IsTopmost(m_tip));
    EXPECT_TRUE(GetWindowLongPtrW(m_tip, GWL_EXSTYLE) & WS_EX_NOACTIVATE);
    EXPECT_EQ(GetActiveWindow(), m_owner) << "showing the tip does not take activation";
    EXPECT_EQ(Presenter().PixelAt(m_tip, 2, 2), 0xFFFFE1);
    int ink = 0;
    for (int x = 0; x < r.right - r.left; ++x) {
        for (int y = 2; y < r.bottom - r.top - 2; ++y)
            ink += (Presenter().PixelAt(m_tip, x, y) & 0xFF) < 100 ? 1 : 0;
    }
    EXPECT_GT(ink, 10) << "the tool's text is drawn";

    Move(m_owner, {5, 5});
    EXPECT_FALSE(Shown()) << "leaving the tool hides the tip at once";
    Wait(1000);
    EXPECT_FALSE(Shown());
}

TEST_F(TooltipTest, MovingOnTheToolPostponesTheTip)
{
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    Move(m_tool, {10, 10});
    Wait(300);
    Move(m_tool, {12, 10});
    Wait(300);
    EXPECT_FALSE(Shown());
    Wait(200);
    EXPECT_TRUE(Shown());
    Move(m_tool, {40, 20});
    Wait(100);
    EXPECT_TRUE(Shown()) << "once shown it stays while the pointer is on the tool";
}

TEST_F(TooltipTest, APressHidesTheTipUntilThePointerLeavesTheTool)
{
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    Move(m_tool, {10, 10});
    Wait(500);
    ASSERT_TRUE(Shown());
    Presenter().Click(m_tool, {10, 10});
    PumpRelaying();
    EXPECT_FALSE(Shown());
    Move(m_tool, {11, 11});
    Wait(1000);
    EXPECT_FALSE(Shown());
    Move(m_owner, {5, 5});
    Move(m_tool, {10, 10});
    Wait(500);
    EXPECT_TRUE(Shown());
    Wait(5000);
    EXPECT_FALSE(Shown()) << "a tip goes away by itself after a while";
}

TEST_F(TooltipTest, RectangleToolsAndRemovingTools)
{
    ASSERT_TRUE(AddTool(m_tip, 0, m_owner, 7, {0, 0, 40, 40}, const_cast<LPWSTR>(u"Corner")));
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    EXPECT_EQ(SendMessageW(m_tip, TTM_GETTOOLCOUNT, 0, 0), 2);
    Move(m_owner, {60, 20});
    Wait(600);
    EXPECT_FALSE(Shown()) << "outside the rectangle";
    Move(m_owner, {20, 20});
    Wait(500);
    EXPECT_TRUE(Shown());

    TOOLINFOW info {};
    info.cbSize = sizeof info;
    info.hwnd = m_owner;
    info.uId = 7;
    SendMessageW(m_tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(SendMessageW(m_tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_FALSE(Shown()) << "removing the tool under the pointer hides its tip";
    Move(m_owner, {21, 20});
    Wait(600);
    EXPECT_FALSE(Shown());
}

TEST_F(TooltipTest, LeavingTheOwnersWindowsIsNoticedWithoutRelayedMessages)
{
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    HWND other = CreateWindowExW(0, m_ownerClass.Name(), u"", WS_POPUP | WS_VISIBLE, 700, 100, 100, 100, nullptr, nullptr, nullptr, nullptr);
    Move(m_tool, {10, 10});
    Wait(500);
    ASSERT_TRUE(Shown());
    // The other window's messages are not relayed: its loop knows nothing of the tooltip.
    Presenter().MovePointer(other, {10, 10});
    PumpPending();
    TestClock::Advance(100);
    PumpPending();
    EXPECT_FALSE(Shown());
    DestroyWindow(other);
}

TEST_F(TooltipTest, InactiveTipsAndTipsOfInactiveWindowsStayHidden)
{
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    SendMessageW(m_tip, TTM_ACTIVATE, FALSE, 0);
    Move(m_tool, {10, 10});
    Wait(600);
    EXPECT_FALSE(Shown());
    DestroyWindow(m_tip);

    // Without TTS_ALWAYSTIP the tool's window must be in the active window.
    m_tip = MakeTip(0);
    AddWindowTool(const_cast<LPWSTR>(u"Full screen"));
    HWND other = CreateWindowExW(0, m_ownerClass.Name(), u"", WS_POPUP | WS_VISIBLE, 700, 100, 100, 100, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    Move(m_owner, {5, 5});
    Move(m_tool, {10, 10});
    Wait(600);
    EXPECT_FALSE(Shown());
    SetActiveWindow(m_owner);
    Move(m_tool, {11, 10});
    Wait(500);
    EXPECT_TRUE(Shown());
    DestroyWindow(other);
}

TEST_F(TooltipTest, TextsComeFromTheModulesStringsAndAnEmptyTextShowsNothing)
{
    ASSERT_TRUE(AddTool(m_tip, TTF_IDISHWND, m_owner, reinterpret_cast<UINT_PTR>(m_tool), {}, MAKEINTRESOURCEW(kFullScreenHint)));
    Move(m_tool, {10, 10});
    Wait(500);
    ASSERT_TRUE(Shown());
    RECT withHint;
    GetWindowRect(m_tip, &withHint);
    EXPECT_GT(withHint.right - withHint.left, 100) << "eleven Chinese characters";
    DestroyWindow(m_tip);

    m_tip = MakeTip(TTS_ALWAYSTIP);
    AddWindowTool(const_cast<LPWSTR>(u""));
    Move(m_owner, {5, 5});
    Move(m_tool, {10, 10});
    Wait(600);
    EXPECT_FALSE(Shown());
}
