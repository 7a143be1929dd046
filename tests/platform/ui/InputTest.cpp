#include "UiTestSupport.h"

#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"

namespace {

class InputTest : public UiTest {
protected:
    RecordingClass m_plain {u"InputPlain"};
    RecordingClass m_double {u"InputDoubleClicks", CS_DBLCLKS};
    HWND Make(const WCHAR* cls, HWND parent, RECT r, DWORD style)
    {
        return CreateWindowExW(0, cls, u"", style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent, nullptr,
            nullptr, nullptr);
    }
    std::vector<RecordedMessage> Mouse(HWND hwnd)
    {
        std::vector<RecordedMessage> out;
        for (const auto& m : RecordingClass::Log()) {
            if (m.hwnd == hwnd && m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST)
                out.push_back(m);
        }
        return out;
    }
};

} // namespace

TEST_F(InputTest, ClicksReachTheWindowUnderThePointerInItsClientCoordinates)
{
    HWND top = Make(u"InputPlain", nullptr, {200, 100, 500, 400}, WS_POPUP | WS_VISIBLE);
    HWND child = Make(u"InputPlain", top, {50, 60, 150, 160}, WS_CHILD | WS_VISIBLE);
    PumpPending();
    RecordingClass::Log().clear();
    Presenter().Click(child, {7, 9});
    PumpPending();
    auto seen = Mouse(child);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(seen[1].lParam, MAKELPARAM(7, 9));
    EXPECT_EQ(seen[1].wParam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
    EXPECT_EQ(seen[2].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_TRUE(Mouse(top).empty());
    // WM_SETCURSOR comes before each mouse message, with the hit code and the message.
    EXPECT_EQ(RecordingClass::Sequence(child, {WM_SETCURSOR, WM_LBUTTONDOWN}).front(), static_cast<UINT>(WM_SETCURSOR));
    POINT cursor;
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 200 + 50 + 7);
    DestroyWindow(top);
}

TEST_F(InputTest, DoubleClicksOnlyForClassesThatAskForThem)
{
    HWND top = Make(u"InputPlain", nullptr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
    HWND wants = Make(u"InputDoubleClicks", top, {0, 0, 100, 100}, WS_CHILD | WS_VISIBLE);
    HWND plain = Make(u"InputPlain", top, {150, 0, 250, 100}, WS_CHILD | WS_VISIBLE);
    PumpPending();
    RecordingClass::Log().clear();
    Presenter().DoubleClick(wants, {5, 5});
    Presenter().DoubleClick(plain, {5, 5});
    PumpPending();
    EXPECT_EQ(RecordingClass::Sequence(wants, {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}),
        (std::vector<UINT> {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}));
    EXPECT_EQ(RecordingClass::Sequence(plain, {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}),
        (std::vector<UINT> {WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
    DestroyWindow(top);
}

TEST_F(InputTest, LeaveTrackingReportsWhenThePointerMovesAway)
{
    HWND top = Make(u"InputPlain", nullptr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
    HWND a = Make(u"InputPlain", top, {0, 0, 100, 100}, WS_CHILD | WS_VISIBLE);
    HWND b = Make(u"InputPlain", top, {150, 0, 250, 100}, WS_CHILD | WS_VISIBLE);
    Presenter().MovePointer(a, {10, 10});
    PumpPending();
    TRACKMOUSEEVENT track {sizeof track, TME_LEAVE | TME_HOVER, a, HOVER_DEFAULT};
    ASSERT_TRUE(TrackMouseEvent(&track));
    PumpPending();
    EXPECT_TRUE(RecordingClass::Sequence(a, {WM_MOUSELEAVE}).empty());
    Presenter().MovePointer(b, {10, 10});
    PumpPending();
    EXPECT_EQ(RecordingClass::Sequence(a, {WM_MOUSELEAVE}).size(), 1u);
    Presenter().MovePointer(a, {10, 10});
    Presenter().MovePointer(b, {10, 10});
    PumpPending();
    EXPECT_EQ(RecordingClass::Sequence(a, {WM_MOUSELEAVE}).size(), 1u) << "tracking ends with the report";
    DestroyWindow(top);
}

TEST_F(InputTest, KeysGoToTheFocusAndTranslateToCharacters)
{
    HWND top = Make(u"InputPlain", nullptr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
    HWND child = Make(u"InputPlain", top, {0, 0, 100, 100}, WS_CHILD | WS_VISIBLE);
    PumpPending();
    SetFocus(child);
    EXPECT_EQ(GetFocus(), child);
    EXPECT_EQ(GetActiveWindow(), top);
    RecordingClass::Log().clear();
    Presenter().TypeKey(top, 'Q', u'摄');
    PumpPending();
    EXPECT_EQ(RecordingClass::Sequence(child, {WM_KEYDOWN, WM_CHAR, WM_KEYUP}),
        (std::vector<UINT> {WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    for (const auto& m : RecordingClass::Log()) {
        if (m.message == WM_CHAR) {
            EXPECT_EQ(m.wParam, static_cast<WPARAM>(u'摄'));
        }
    }
    DestroyWindow(top);
}

TEST_F(InputTest, AltF4ClosesThroughTheSystemKeyAndCaptionPressesStartADrag)
{
    HWND top = Make(u"InputPlain", nullptr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
    PumpPending();
    int drags = Presenter().MoveDrags();
    PostMessageW(top, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(10, 10));
    PumpPending();
    EXPECT_EQ(Presenter().MoveDrags(), drags + 1);
    Presenter().TypeKey(top, VK_F4, 0, true);
    PumpUntil([&] { return !IsWindow(top); });
    EXPECT_EQ(RecordingClass::Sequence(top, {WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE}),
        (std::vector<UINT> {WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE}));
}

TEST_F(InputTest, CaptureKeepsThePointerWithOneWindow)
{
    HWND top = Make(u"InputPlain", nullptr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
    HWND a = Make(u"InputPlain", top, {0, 0, 100, 100}, WS_CHILD | WS_VISIBLE);
    HWND b = Make(u"InputPlain", top, {150, 0, 250, 100}, WS_CHILD | WS_VISIBLE);
    PumpPending();
    SetCapture(a);
    RecordingClass::Log().clear();
    Presenter().Click(b, {10, 10});
    PumpPending();
    EXPECT_TRUE(Mouse(b).empty());
    auto seen = Mouse(a);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().lParam, MAKELPARAM(160, 10)) << "coordinates stay in the capturing window's client area";
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
    DestroyWindow(top);
}

TEST_F(InputTest, PeekingUsesUpEventsThatMakeNoMessageSoWaitingLoopsDoNotSpin)
{
    HWND top = Make(u"InputPlain", nullptr, {0, 0, 300, 300}, WS_POPUP | WS_VISIBLE);
    Presenter().MovePointer(top, {10, 10});
    PumpPending();
    TRACKMOUSEEVENT track {sizeof track, TME_LEAVE, top, HOVER_DEFAULT};
    ASSERT_TRUE(TrackMouseEvent(&track));
    DeliverPointerLeave(top);
    MSG msg;
    // The leave event itself makes no message; peeking handles it and finds what it caused.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_MOUSELEAVE));
    EXPECT_EQ(msg.hwnd, top);
    PumpPending();
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    DestroyWindow(top);
}
