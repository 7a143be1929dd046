#include "UiTestSupport.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Screen.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int kFallback = 77; // answered late by the script when the interaction under test fails

WString WindowText(HWND hwnd)
{
    WCHAR buffer[64] = {};
    GetWindowTextW(hwnd, buffer, 64);
    return buffer;
}

struct ButtonSeen {
    int id;
    WString text;
};

// The buttons a box shows, from left to right.
std::vector<ButtonSeen> ButtonsOf(HWND box)
{
    std::vector<std::pair<LONG, ButtonSeen>> found;
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = GetDlgItem(box, id);
        if (!button || !IsWindowVisible(button))
            continue;
        RECT r;
        GetWindowRect(button, &r);
        found.push_back({r.left, {id, WindowText(button)}});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ButtonSeen> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

int CountPixels(HWND window, const std::function<bool(int r, int g, int b)>& wanted)
{
    RECT rect;
    GetClientRect(window, &rect);
    int count = 0;
    for (LONG y = 0; y < rect.bottom; ++y) {
        for (LONG x = 0; x < rect.right; ++x) {
            long p = CurrentHeadlessPresenter()->PixelAt(window, x, y);
            count += p >= 0 && wanted(static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF));
        }
    }
    return count;
}

class MessageBoxTest : public UiTest {
protected:
    RecordingClass m_class {u"MessageBoxOwner"};
    HWND m_owner = nullptr;
    HWND m_button = nullptr;

    void SetUp() override
    {
        UiTest::SetUp();
        ModalScript::Reset();
        m_owner = MakeWindow({300, 200, 900, 700});
        m_button = CreateWindowExW(0, u"MessageBoxOwner", u"", WS_CHILD | WS_VISIBLE, 10, 10, 80, 30, m_owner, nullptr,
            nullptr, nullptr);
        SetActiveWindow(m_owner);
        PumpPending();
        RecordingClass::Log().clear();
    }

    void TearDown() override
    {
        // The handlers may hold the test body's locals, which are gone by now.
        RecordingClass::handler = nullptr;
        ModalScript::Reset();
        if (IsWindow(m_owner))
            DestroyWindow(m_owner);
        UiTest::TearDown();
    }

    HWND MakeWindow(RECT r)
    {
        return CreateWindowExW(0, u"MessageBoxOwner", u"owner", WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
            r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
    }

    int Show(UINT type, const WCHAR* text = u"Text", HWND owner = nullptr)
    {
        ModalWatchdog watchdog;
        return MessageBoxW(owner ? owner : m_owner, text, u"Caption", type);
    }

    void WhenShown(std::function<void(HWND)> action)
    {
        ModalScript::OnShown([action](ModalKind kind, HWND window) {
            if (kind == ModalKind::MessageBox)
                action(window);
        });
    }
};

} // namespace

TEST_F(MessageBoxTest, EachTypeShowsItsButtonsAndAnswersWithItsDefault)
{
    struct Case {
        UINT type;
        std::vector<ButtonSeen> buttons;
        int answer;
    };
    std::vector<Case> cases = {
        {MB_OK, {{IDOK, u"OK"}}, IDOK},
        {MB_OKCANCEL, {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}}, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, {{IDOK, u"OK"}, {IDCANCEL, u"Cancel"}}, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, {{IDYES, u"Yes"}, {IDNO, u"No"}}, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, {{IDYES, u"Yes"}, {IDNO, u"No"}}, IDNO},
        {MB_YESNOCANCEL, {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}}, IDYES},
        {MB_RETRYCANCEL | MB_ICONEXCLAMATION, {{IDRETRY, u"Retry"}, {IDCANCEL, u"Cancel"}}, IDRETRY},
    };
    for (const Case& c : cases) {
        std::vector<ButtonSeen> seen;
        WhenShown([&](HWND box) { seen = ButtonsOf(box); });
        EXPECT_EQ(Show(c.type), c.answer) << std::hex << c.type;
        ASSERT_EQ(seen.size(), c.buttons.size()) << std::hex << c.type;
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].id, c.buttons[i].id) << std::hex << c.type;
            EXPECT_EQ(seen[i].text, c.buttons[i].text) << std::hex << c.type;
        }
    }
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), cases.size());
    EXPECT_EQ(boxes[2].result, IDCANCEL);
}

TEST_F(MessageBoxTest, TheScriptedAnswerIsReturnedAndTheBoxRecorded)
{
    ModalScript::AnswerMessageBox(IDNO);
    EXPECT_EQ(Show(MB_YESNO | MB_ICONQUESTION, u"Delete the photo?\r\nIt cannot be undone."), IDNO);
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Delete the photo?\r\nIt cannot be undone.");
    EXPECT_EQ(boxes[0].caption, u"Caption");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[0].owner, m_owner);
    EXPECT_EQ(boxes[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(boxes[0].result, IDNO);
    EXPECT_FALSE(IsWindow(boxes[0].window));
    EXPECT_EQ(ModalScript::PendingAnswers(ModalKind::MessageBox), 0u);
}

TEST_F(MessageBoxTest, EscapeAnswersCancelOrNoAndEnterTheFocusedButton)
{
    struct Case {
        UINT type;
        std::vector<UINT> keys;
        int answer;
    };
    std::vector<Case> cases = {
        {MB_YESNOCANCEL, {VK_ESCAPE}, IDCANCEL},
        {MB_YESNO, {VK_ESCAPE}, IDNO},
        {MB_OK, {VK_ESCAPE}, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, {VK_RETURN}, IDCANCEL},
        {MB_YESNOCANCEL, {VK_TAB, VK_RETURN}, IDNO},
        {MB_YESNOCANCEL, {VK_LEFT, VK_RETURN}, IDCANCEL},
        {MB_YESNOCANCEL, {VK_DOWN, VK_SPACE}, IDNO},
        {MB_YESNO | MB_DEFBUTTON2, {VK_UP, VK_RETURN}, IDYES},
    };
    for (const Case& c : cases) {
        WhenShown([&](HWND box) {
            for (UINT key : c.keys)
                Presenter().TypeKey(box, key);
        });
        ModalScript::AnswerMessageBox(kFallback, 3000, ScriptClock::Real);
        EXPECT_EQ(Show(c.type), c.answer) << std::hex << c.type;
    }
}

TEST_F(MessageBoxTest, AClickOnAButtonAnswersIt)
{
    WhenShown([&](HWND box) { Presenter().Click(GetDlgItem(box, IDNO), {10, 10}); });
    ModalScript::AnswerMessageBox(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Show(MB_YESNOCANCEL), IDNO);
    // The close request of the desktop answers as Escape does.
    WhenShown([&](HWND box) { Presenter().RequestClose(box); });
    ModalScript::AnswerMessageBox(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Show(MB_RETRYCANCEL), IDCANCEL);
}

TEST_F(MessageBoxTest, TheOwnerIsDisabledWhileTheBoxIsUpAndActiveAgainAfter)
{
    bool ownerEnabled = true;
    HWND active = nullptr;
    HWND box = nullptr;
    WhenShown([&](HWND window) {
        box = window;
        ownerEnabled = IsWindowEnabled(m_owner);
        active = GetActiveWindow();
        // A click on the owner meanwhile reaches nothing.
        Presenter().Click(m_button, {5, 5});
    });
    ModalScript::AnswerMessageBox(IDOK, 100, ScriptClock::Real);
    EXPECT_EQ(Show(MB_OK), IDOK);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_EQ(active, box);
    EXPECT_TRUE(IsWindowEnabled(m_owner));
    EXPECT_EQ(GetActiveWindow(), m_owner);
    PumpPending();
    EXPECT_TRUE(RecordingClass::Sequence(m_button, {WM_LBUTTONDOWN}).empty());

    // An owner that was disabled before stays disabled.
    EnableWindow(m_owner, FALSE);
    Show(MB_OK);
    EXPECT_FALSE(IsWindowEnabled(m_owner));
}

TEST_F(MessageBoxTest, TaskModalWithoutOwnerDisablesTheThreadsWindows)
{
    HWND other = MakeWindow({0, 0, 100, 100});
    std::vector<BOOL> enabled;
    WhenShown([&](HWND) { enabled = {IsWindowEnabled(m_owner), IsWindowEnabled(other)}; });
    {
        ModalWatchdog watchdog;
        EXPECT_EQ(MessageBoxW(nullptr, u"Task", u"Caption", MB_OK | MB_TASKMODAL), IDOK);
    }
    EXPECT_EQ(enabled, (std::vector<BOOL> {FALSE, FALSE}));
    EXPECT_TRUE(IsWindowEnabled(m_owner));
    EXPECT_TRUE(IsWindowEnabled(other));

    // Without MB_TASKMODAL and without owner nothing is disabled.
    WhenShown([&](HWND) { enabled = {IsWindowEnabled(m_owner), IsWindowEnabled(other)}; });
    {
        ModalWatchdog watchdog;
        MessageBoxW(nullptr, u"Plain", u"Caption", MB_OK);
    }
    EXPECT_EQ(enabled, (std::vector<BOOL> {TRUE, TRUE}));
    DestroyWindow(other);
}

TEST_F(MessageBoxTest, TheBoxIsCentredOnItsOwnerOrTheWorkArea)
{
    Show(MB_OK);
    RECT owner;
    GetWindowRect(m_owner, &owner);
    RECT r = ModalScript::MessageBoxes().back().rect;
    EXPECT_LE(std::abs((r.left + r.right) - (owner.left + owner.right)), 2);
    EXPECT_LE(std::abs((r.top + r.bottom) - (owner.top + owner.bottom)), 2);

    {
        ModalWatchdog watchdog;
        MessageBoxW(nullptr, u"No owner", u"Caption", MB_OK);
    }
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    r = ModalScript::MessageBoxes().back().rect;
    EXPECT_LE(std::abs((r.left + r.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((r.top + r.bottom) - (work.top + work.bottom)), 2);

    // An owner near the edge does not push the box off the work area.
    MoveWindow(m_owner, -500, 900, 600, 300, TRUE);
    Show(MB_OK);
    r = ModalScript::MessageBoxes().back().rect;
    EXPECT_GE(r.left, work.left);
    EXPECT_LE(r.bottom, work.bottom);
}

TEST_F(MessageBoxTest, LongTextWrapsAndLineBreaksStartNewLines)
{
    Show(MB_OK, u"One line");
    Show(MB_OK, u"One\r\nTwo\r\nThree");
    WString paragraph;
    for (int i = 0; i < 60; ++i)
        paragraph += u"word ";
    Show(MB_OK, paragraph.c_str());
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    auto height = [](const RECT& r) { return r.bottom - r.top; };
    auto width = [](const RECT& r) { return r.right - r.left; };
    EXPECT_GT(height(boxes[1].rect), height(boxes[0].rect) + 20) << "three lines are taller than one";
    EXPECT_GT(height(boxes[2].rect), height(boxes[0].rect) + 20) << "a long paragraph wraps";
    EXPECT_LT(width(boxes[2].rect), 600);
}

TEST_F(MessageBoxTest, TheIconGlyphIsDrawn)
{
    auto red = [](int r, int g, int b) { return r > 200 && g < 80 && b < 80; };
    auto blue = [](int r, int g, int b) { return r < 40 && g > 90 && g < 150 && b > 190; };
    auto yellow = [](int r, int g, int b) { return r > 230 && g > 170 && b < 100; };
    std::vector<int> counts;
    WhenShown([&](HWND box) { counts = {CountPixels(box, red), CountPixels(box, blue), CountPixels(box, yellow)}; });
    // The box without an icon is the reference: its default button has a blue edge of its own.
    Show(MB_OK);
    std::vector<int> plain = counts;
    EXPECT_EQ(plain[0], 0);
    EXPECT_EQ(plain[2], 0);
    Show(MB_OK | MB_ICONHAND);
    EXPECT_GT(counts[0], 200);
    EXPECT_EQ(counts[1], plain[1]);
    Show(MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(counts[0], 0);
    EXPECT_GT(counts[1], plain[1] + 200);
    Show(MB_OK | MB_ICONQUESTION);
    EXPECT_GT(counts[1], plain[1] + 200);
    Show(MB_OK | MB_ICONEXCLAMATION);
    EXPECT_GT(counts[2], 100);
    EXPECT_EQ(counts[1], plain[1]);
}

TEST_F(MessageBoxTest, ABoxOfAWorkerThreadDisablesAnOwnerOfTheMainThread)
{
    std::atomic<bool> shown {false};
    std::atomic<bool> checked {false};
    std::atomic<bool> finished {false};
    std::atomic<DWORD> boxThread {0};
    WhenShown([&](HWND box) {
        boxThread = GetWindowThreadProcessId(box, nullptr);
        shown = true;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!checked && std::chrono::steady_clock::now() < deadline)
            Sleep(1);
    });
    int ticks = 0;
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        ticks += hwnd == m_owner && message == WM_TIMER ? 1 : 0;
        return false;
    };
    SetTimer(m_owner, 4, 20, nullptr);
    ModalScript::AnswerMessageBox(IDYES, 150, ScriptClock::Real);
    int result = 0;
    DWORD worker = 0;
    std::thread thread([&] {
        worker = GetCurrentThreadId();
        result = MessageBoxW(m_owner, u"From a worker", u"Caption", MB_YESNO);
        finished = true;
    });
    bool sawShown = PumpUntil([&] { return shown.load(); });
    bool disabledWhileShown = !IsWindowEnabled(m_owner);
    checked = true;
    int ticksBefore = ticks;
    bool sawFinished = PumpUntil([&] { return finished.load(); });
    thread.join();
    KillTimer(m_owner, 4);
    EXPECT_TRUE(sawShown);
    EXPECT_TRUE(sawFinished);
    EXPECT_TRUE(disabledWhileShown);
    EXPECT_EQ(result, IDYES);
    EXPECT_EQ(boxThread.load(), worker);
    EXPECT_GT(ticks, ticksBefore) << "the main thread's timers ran while the box was up";
    EXPECT_TRUE(IsWindowEnabled(m_owner));
    PumpUntil([&] { return GetActiveWindow() == m_owner; });
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].threadId, worker);
    EXPECT_NE(boxes[0].threadId, GetCurrentThreadId());
}
