#include "UiTestSupport.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Screen.h"
#include "platform/ui/WindowObject.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr UINT kFirst = 101;
constexpr UINT kChecked = 102;
constexpr UINT kGrayed = 103;
constexpr UINT kDeep = 201;
constexpr UINT kFallback = 999; // answered late by the script when the interaction under test fails

POINT CenterOf(const RECT& r)
{
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

bool IsDark(long pixel)
{
    return pixel >= 0 && ((pixel >> 16) & 0xFF) < 90 && ((pixel >> 8) & 0xFF) < 90 && (pixel & 0xFF) < 90;
}

int DarkPixels(HWND window, RECT area)
{
    int dark = 0;
    for (LONG y = area.top; y < area.bottom; ++y) {
        for (LONG x = area.left; x < area.right; ++x)
            dark += IsDark(CurrentHeadlessPresenter()->PixelAt(window, x, y)) ? 1 : 0;
    }
    return dark;
}

// The darkest channel sum among the pixels of an area: black text gives 0, gray text more.
int DarkestPixel(HWND window, RECT area)
{
    int darkest = 3 * 255;
    for (LONG y = area.top; y < area.bottom; ++y) {
        for (LONG x = area.left; x < area.right; ++x) {
            long p = CurrentHeadlessPresenter()->PixelAt(window, x, y);
            darkest = std::min<int>(darkest, static_cast<int>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)));
        }
    }
    return darkest;
}

std::vector<HWND> MenuWindows()
{
    std::vector<HWND> found;
    for (HWND top : TopLevelWindowsOfProcess()) {
        WCHAR name[32];
        if (GetClassNameW(top, name, 32) && WString(name) == u"#32768")
            found.push_back(top);
    }
    return found;
}

class PopupMenuTest : public UiTest {
protected:
    RecordingClass m_class {u"PopupMenuOwner"};
    HWND m_owner = nullptr;
    HMENU m_menu = nullptr;
    HMENU m_more = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        ModalScript::Reset();
        m_owner = CreateWindowExW(0, u"PopupMenuOwner", u"owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
            nullptr, nullptr, nullptr);
        m_menu = CreatePopupMenu();
        AppendMenuW(m_menu, MF_STRING, kFirst, u"First");
        AppendMenuW(m_menu, MF_STRING | MF_CHECKED, kChecked, u"Checked");
        AppendMenuW(m_menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(m_menu, MF_STRING | MF_GRAYED, kGrayed, u"Grayed");
        m_more = CreatePopupMenu();
        AppendMenuW(m_more, MF_STRING, kDeep, u"Deep");
        AppendMenuW(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(m_more), u"More");
        PumpPending();
        RecordingClass::Log().clear();
    }

    void TearDown() override
    {
        // The handlers may hold the test body's locals, which are gone by now.
        RecordingClass::handler = nullptr;
        ModalScript::Reset();
        DestroyMenu(m_menu);
        if (IsWindow(m_owner))
            DestroyWindow(m_owner);
        UiTest::TearDown();
    }

    UINT Track(UINT flags = TPM_RETURNCMD, int x = 300, int y = 200)
    {
        ModalWatchdog watchdog;
        return static_cast<UINT>(TrackPopupMenu(m_menu, flags, x, y, 0, m_owner, nullptr));
    }

    // Runs `action` once the menu shows, with the menu window and its record.
    void WhenShown(std::function<void(HWND, const RecordedMenu&)> action)
    {
        ModalScript::OnShown([action](ModalKind kind, HWND window) {
            if (kind == ModalKind::Menu)
                action(window, ModalScript::Menus().back());
        });
    }

    int CommandsPosted()
    {
        int count = 0;
        for (const auto& m : RecordingClass::Log())
            count += m.hwnd == m_owner && m.message == WM_COMMAND ? 1 : 0;
        return count;
    }
};

} // namespace

TEST_F(PopupMenuTest, ReturnCmdGivesTheScriptedCommandAndPostsNothing)
{
    ModalScript::AnswerMenu(kChecked);
    EXPECT_EQ(Track(TPM_RETURNCMD | TPM_RIGHTBUTTON), kChecked);
    PumpPending();
    EXPECT_EQ(CommandsPosted(), 0);
    EXPECT_EQ(RecordingClass::Sequence(m_owner, {WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_EXITMENULOOP}),
        (std::vector<UINT> {WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_EXITMENULOOP}));

    auto menus = ModalScript::Menus();
    ASSERT_EQ(menus.size(), 1u);
    const RecordedMenu& shown = menus[0];
    EXPECT_EQ(shown.owner, m_owner);
    EXPECT_EQ(shown.x, 300);
    EXPECT_EQ(shown.y, 200);
    EXPECT_EQ(shown.rect.left, 300);
    EXPECT_EQ(shown.rect.top, 200);
    EXPECT_EQ(shown.result, kChecked);
    ASSERT_EQ(shown.items.size(), 5u);
    EXPECT_EQ(shown.items[0].id, kFirst);
    EXPECT_EQ(shown.items[0].text, u"First");
    EXPECT_FALSE(shown.items[0].checked);
    EXPECT_TRUE(shown.items[1].checked);
    EXPECT_TRUE(shown.items[2].separator);
    EXPECT_TRUE(shown.items[3].grayed);
    EXPECT_TRUE(shown.items[4].popup);
    EXPECT_EQ(shown.items[4].text, u"More");
    // The menu window is gone and the pointer is free again.
    EXPECT_FALSE(IsWindow(shown.window));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(PopupMenuTest, WithoutReturnCmdTheCommandIsPostedToTheOwner)
{
    ModalScript::AnswerMenu(kFirst);
    EXPECT_EQ(Track(0), static_cast<UINT>(TRUE));
    PumpPending();
    ASSERT_EQ(CommandsPosted(), 1);
    for (const auto& m : RecordingClass::Log()) {
        if (m.message == WM_COMMAND) {
            EXPECT_EQ(m.wParam, MAKEWPARAM(kFirst, 0));
            EXPECT_EQ(m.lParam, 0);
        }
    }
}

TEST_F(PopupMenuTest, DismissalGivesZeroAndPostsNothing)
{
    ModalScript::AnswerMenu(0);
    EXPECT_EQ(Track(), 0u);
    // Without a scripted answer the menu is dismissed too, and still recorded.
    EXPECT_EQ(Track(0), static_cast<UINT>(TRUE));
    PumpPending();
    EXPECT_EQ(CommandsPosted(), 0);
    EXPECT_EQ(ModalScript::Menus().size(), 2u);

    // TPM_NONOTIFY keeps the owner out of it.
    RecordingClass::Log().clear();
    ModalScript::AnswerMenu(kFirst);
    EXPECT_EQ(Track(TPM_RETURNCMD | TPM_NONOTIFY), kFirst);
    EXPECT_TRUE(RecordingClass::Sequence(m_owner, {WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_EXITMENULOOP}).empty());
}

TEST_F(PopupMenuTest, TheOwnerCanFillTheMenuWhenItOpens)
{
    RecordingClass::handler = [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (hwnd == m_owner && message == WM_INITMENUPOPUP)
            CheckMenuItem(reinterpret_cast<HMENU>(wParam), kFirst, MF_BYCOMMAND | MF_CHECKED);
        return false;
    };
    ModalScript::AnswerMenu(0);
    Track();
    ASSERT_EQ(ModalScript::Menus().size(), 1u);
    EXPECT_TRUE(ModalScript::Menus()[0].items[0].checked);
}

TEST_F(PopupMenuTest, TimersKeepTickingOnTheTestClockWhileTheMenuIsOpen)
{
    SYSTEMTIME now {2024, 5, 0, 17, 10, 0, 0, 0};
    ScopedTestClock clock(now, 50000);
    int ticks = 0;
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        ticks += hwnd == m_owner && message == WM_TIMER && wParam == 5 ? 1 : 0;
        return false;
    };
    SetTimer(m_owner, 5, 100, nullptr);
    ModalScript::AnswerMenu(kFirst, 1000, ScriptClock::Test);
    std::atomic<bool> stop {false};
    std::thread advancer([&] {
        while (!stop) {
            TestClock::Advance(20);
            Sleep(1);
        }
    });
    UINT chosen = Track();
    stop = true;
    advancer.join();
    KillTimer(m_owner, 5);
    EXPECT_EQ(chosen, kFirst);
    EXPECT_GE(GetTickCount() - 50000, 1000u) << "the answer waited for its delay";
    EXPECT_GE(ticks, 5);
}

TEST_F(PopupMenuTest, ARealTimeDelayRunsTheLoopToo)
{
    int ticks = 0;
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        ticks += hwnd == m_owner && message == WM_TIMER ? 1 : 0;
        return false;
    };
    SetTimer(m_owner, 6, 20, nullptr);
    ModalScript::AnswerMenu(kChecked, 200, ScriptClock::Real);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Track(), kChecked);
    auto elapsed = std::chrono::steady_clock::now() - start;
    KillTimer(m_owner, 6);
    EXPECT_GE(elapsed, std::chrono::milliseconds(190));
    EXPECT_GE(ticks, 3);
}

TEST_F(PopupMenuTest, AClickOnAnItemChoosesIt)
{
    SetActiveWindow(m_owner);
    WhenShown([](HWND window, const RecordedMenu& shown) {
        CurrentHeadlessPresenter()->Click(window, CenterOf(shown.items[1].rect));
    });
    EXPECT_EQ(Track(), kChecked);
    // The menu never took the activation from its owner.
    EXPECT_EQ(GetActiveWindow(), m_owner);
    EXPECT_TRUE(RecordingClass::Sequence(m_owner, {WM_ACTIVATE}).empty());
}

TEST_F(PopupMenuTest, ClicksOnGrayedItemsAndSeparatorsChooseNothing)
{
    WhenShown([](HWND window, const RecordedMenu& shown) {
        CurrentHeadlessPresenter()->Click(window, CenterOf(shown.items[3].rect));
        CurrentHeadlessPresenter()->Click(window, CenterOf(shown.items[2].rect));
    });
    // Still open after both clicks, so the late scripted answer is what ends it.
    ModalScript::AnswerMenu(kFallback, 150, ScriptClock::Real);
    EXPECT_EQ(Track(), kFallback);
}

TEST_F(PopupMenuTest, APressOutsideTheMenuDismissesIt)
{
    WhenShown([this](HWND, const RecordedMenu&) { CurrentHeadlessPresenter()->Click(m_owner, {5, 5}); });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), 0u);
    PumpPending();
    // The press that closed the menu is not given to the window under it.
    EXPECT_TRUE(RecordingClass::Sequence(m_owner, {WM_LBUTTONDOWN}).empty());
}

TEST_F(PopupMenuTest, KeysMoveChooseAndEscape)
{
    WhenShown([](HWND window, const RecordedMenu&) {
        CurrentHeadlessPresenter()->TypeKey(window, VK_DOWN);
        CurrentHeadlessPresenter()->TypeKey(window, VK_DOWN);
        CurrentHeadlessPresenter()->TypeKey(window, VK_RETURN);
    });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), kChecked);

    // Up from nothing wraps to the last item; Escape closes. The keys go to the menu whichever window
    // has the focus.
    WhenShown([this](HWND, const RecordedMenu&) {
        CurrentHeadlessPresenter()->TypeKey(m_owner, VK_UP);
        CurrentHeadlessPresenter()->TypeKey(m_owner, VK_ESCAPE);
    });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), 0u);
    PumpPending();
    EXPECT_TRUE(RecordingClass::Sequence(m_owner, {WM_KEYDOWN, WM_CHAR}).empty());
}

TEST_F(PopupMenuTest, ATypedMnemonicChoosesItsItem)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 11, u"&Open");
    AppendMenuW(menu, MF_STRING, 12, u"&&Save and E&xit");
    AppendMenuW(menu, MF_STRING, 13, u"&Save");
    WhenShown([this](HWND, const RecordedMenu&) { CurrentHeadlessPresenter()->TypeKey(m_owner, 'S', u's'); });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    {
        ModalWatchdog watchdog;
        EXPECT_EQ(static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD, 10, 10, 0, m_owner, nullptr)), 13u)
            << "\"&&\" is a literal ampersand, not a mnemonic";
    }
    WhenShown([this](HWND, const RecordedMenu&) { CurrentHeadlessPresenter()->TypeKey(m_owner, 'X', u'X'); });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    {
        ModalWatchdog watchdog;
        EXPECT_EQ(static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD, 10, 10, 0, m_owner, nullptr)), 12u);
    }
    DestroyMenu(menu);
}

TEST_F(PopupMenuTest, CancelModeSentToTheOwnerEndsTheMenu)
{
    WhenShown([this](HWND, const RecordedMenu&) { PostMessageW(m_owner, WM_CANCELMODE, 0, 0); });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), 0u);

    WhenShown([](HWND window, const RecordedMenu&) { PostMessageW(window, WM_CANCELMODE, 0, 0); });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), 0u);
}

TEST_F(PopupMenuTest, TheOwnersEndEndsTheMenu)
{
    WhenShown([this](HWND, const RecordedMenu&) { PostMessageW(m_owner, WM_CLOSE, 0, 0); });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(0), static_cast<UINT>(TRUE));
    EXPECT_FALSE(IsWindow(m_owner));
    EXPECT_TRUE(MenuWindows().empty());
}

TEST_F(PopupMenuTest, HoveringAPopupItemOpensItsSubmenuBesideIt)
{
    HWND submenu = nullptr;
    RECT rootRect {};
    WhenShown([&](HWND window, const RecordedMenu& shown) {
        rootRect = shown.rect;
        CurrentHeadlessPresenter()->MovePointer(window, CenterOf(shown.items[4].rect));
    });
    // Once the pointer has been taken, a timer of the owner finds the submenu and clicks its item.
    SetTimer(m_owner, 9, 30, nullptr);
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (hwnd != m_owner || message != WM_TIMER || submenu)
            return false;
        auto windows = MenuWindows();
        if (windows.size() != 2)
            return false;
        submenu = windows[1];
        RECT client;
        GetClientRect(submenu, &client);
        CurrentHeadlessPresenter()->Click(submenu, {client.right / 2, 12});
        return true;
    };
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), kDeep);
    KillTimer(m_owner, 9);
    ASSERT_NE(submenu, nullptr);
    EXPECT_FALSE(IsWindow(submenu));
    // WM_INITMENUPOPUP came for the root and then for the submenu.
    std::vector<WPARAM> opened;
    for (const auto& m : RecordingClass::Log()) {
        if (m.hwnd == m_owner && m.message == WM_INITMENUPOPUP)
            opened.push_back(m.wParam);
    }
    EXPECT_EQ(opened, (std::vector<WPARAM> {reinterpret_cast<WPARAM>(m_menu), reinterpret_cast<WPARAM>(m_more)}));
}

TEST_F(PopupMenuTest, TheKeyboardOpensSubmenusToo)
{
    WhenShown([](HWND window, const RecordedMenu&) {
        CurrentHeadlessPresenter()->TypeKey(window, VK_UP); // "More", the last item
        CurrentHeadlessPresenter()->TypeKey(window, VK_RIGHT);
        CurrentHeadlessPresenter()->TypeKey(window, VK_RETURN);
    });
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), kDeep);
}

TEST_F(PopupMenuTest, TheMenuIsDrawnWithChecksGrayTextAndHoverHighlight)
{
    long plain = -1;
    long hovered = -1;
    int checkInChecked = 0;
    int checkInFirst = 0;
    int firstText = 0;
    int grayedText = 0;
    WhenShown([&](HWND window, const RecordedMenu& shown) {
        const RECT& first = shown.items[0].rect;
        const RECT& checked = shown.items[1].rect;
        auto gutter = [](const RECT& r) { return RECT {r.left, r.top, r.left + 26, r.bottom}; };
        checkInChecked = DarkPixels(window, gutter(checked));
        checkInFirst = DarkPixels(window, gutter(first));
        auto text = [](const RECT& r) { return RECT {r.left + 28, r.top, r.right - 22, r.bottom}; };
        firstText = DarkestPixel(window, text(first));
        grayedText = DarkestPixel(window, text(shown.items[3].rect));
        plain = CurrentHeadlessPresenter()->PixelAt(window, first.left + 6, first.top + 3);
        CurrentHeadlessPresenter()->MovePointer(window, CenterOf(first));
    });
    SetTimer(m_owner, 3, 30, nullptr);
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (hwnd != m_owner || message != WM_TIMER || hovered >= 0)
            return false;
        auto menus = ModalScript::Menus();
        const RECT& first = menus.back().items[0].rect;
        hovered = CurrentHeadlessPresenter()->PixelAt(menus.back().window, first.left + 6, first.top + 3);
        PostMessageW(menus.back().window, WM_CANCELMODE, 0, 0);
        return true;
    };
    ModalScript::AnswerMenu(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Track(), 0u);
    KillTimer(m_owner, 3);
    EXPECT_GT(checkInChecked, 3) << "a check mark is drawn";
    EXPECT_EQ(checkInFirst, 0);
    EXPECT_LT(firstText, 150) << "text is drawn dark";
    EXPECT_GT(grayedText, firstText + 100) << "a grayed item's text is lighter";
    ASSERT_GE(plain, 0);
    ASSERT_GE(hovered, 0);
    EXPECT_NE(hovered, plain) << "the item under the pointer is highlighted";
}

TEST_F(PopupMenuTest, TheMenuStaysOnTheWorkArea)
{
    // Near the bottom-right corner the menu opens to the left of and above the point.
    ModalScript::AnswerMenu(0);
    Track(TPM_RETURNCMD, 1910, 1030);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT r = ModalScript::Menus().back().rect;
    EXPECT_GE(r.left, work.left);
    EXPECT_GE(r.top, work.top);
    EXPECT_LE(r.right, 1910);
    EXPECT_LE(r.bottom, 1030);
    EXPECT_EQ(r.right, 1910);
    EXPECT_EQ(r.bottom, 1030);

    ModalScript::AnswerMenu(0);
    Track(TPM_RETURNCMD | TPM_RIGHTALIGN, 500, 300);
    r = ModalScript::Menus().back().rect;
    EXPECT_EQ(r.right, 500);
    EXPECT_EQ(r.top, 300);

    ModalScript::AnswerMenu(0);
    Track(TPM_RETURNCMD | TPM_CENTERALIGN, 500, 300);
    r = ModalScript::Menus().back().rect;
    EXPECT_LE(std::abs((r.left + r.right) / 2 - 500), 1);

    // On a second monitor the menu keeps to that monitor's work area.
    std::vector<MonitorDescription> two(2);
    two[0] = {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, true};
    two[1] = {{1920, 0, 3200, 1024}, {1920, 30, 3200, 1024}, false};
    Presenter().SetMonitors(two);
    ModalScript::AnswerMenu(0);
    Track(TPM_RETURNCMD, 3190, 5);
    r = ModalScript::Menus().back().rect;
    Presenter().SetMonitors({two[0]});
    EXPECT_GE(r.left, 1920);
    EXPECT_LE(r.right, 3190);
    EXPECT_GE(r.top, 30);
}

TEST_F(PopupMenuTest, BadArgumentsFail)
{
    SetLastError(0);
    EXPECT_FALSE(TrackPopupMenu(reinterpret_cast<HMENU>(0x1234), 0, 10, 10, 0, m_owner, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
    EXPECT_FALSE(TrackPopupMenu(m_menu, 0, 10, 10, 0, reinterpret_cast<HWND>(0x4444), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

    // One menu at a time per thread.
    BOOL nested = TRUE;
    WhenShown([&](HWND, const RecordedMenu&) { nested = TrackPopupMenu(m_more, TPM_RETURNCMD, 0, 0, 0, m_owner, nullptr); });
    ModalScript::AnswerMenu(0);
    Track();
    EXPECT_FALSE(nested);
    EXPECT_TRUE(ModalScript::PendingAnswers(ModalKind::Menu) == 0);
}
