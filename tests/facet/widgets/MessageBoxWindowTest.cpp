#include "WidgetTestSupport.h"

#include "platform/sys/Module.h"
#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Screen.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

namespace {

constexpr int kFallback = 77; // answered late by the script when the interaction under test fails
constexpr int kCaptionHeight = 30;

constexpr COLORREF kCaptionTop = RGB(40, 20, 60);
constexpr COLORREF kCaptionBottom = RGB(30, 10, 50);
constexpr COLORREF kBackground = RGB(200, 230, 200);
constexpr COLORREF kMessageText = RGB(150, 0, 150);
constexpr COLORREF kHover = RGB(255, 140, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A skin written as a user's skin would be: facet.xml with the colours above and what `extra` adds.
std::string FacetXml(const std::string& extra)
{
    auto hex = [](COLORREF c) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(c));
        return std::string(text);
    };
    return "<?xml version='1.0'?><Facet.Config>"
           "<CAPTION TextColor='0xFFFFFF' Top='" + hex(kCaptionTop) + "' Bottom='" + hex(kCaptionBottom) + "' Height='30'/>"
           "<WINDOW Background='" + hex(kBackground) + "'/>"
           "<TOOLBAR TextColor='0xFFFFFF' HoverColor='" + hex(kHover) + "'/>"
           + extra + "</Facet.Config>";
}

EngineMessageBox* EngineBox()
{
    HMODULE module = LoadLibraryW(Utf8ToWide(LUMO_FACET_LIBRARY).c_str());
    auto getFacet3 = module ? reinterpret_cast<GetFacet3Function>(GetProcAddress(module, "GetFacet3")) : nullptr;
    return getFacet3 ? getFacet3() : nullptr;
}

WString TextOf(HWND hwnd)
{
    WCHAR buffer[128] = {};
    GetWindowTextW(hwnd, buffer, 128);
    return buffer;
}

WString ClassOf(HWND hwnd)
{
    WCHAR buffer[64] = {};
    GetClassNameW(hwnd, buffer, 64);
    return buffer;
}

struct ButtonSeen {
    int id;
    WString text;
    bool operator==(const ButtonSeen&) const = default;
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
        found.push_back({r.left, {id, TextOf(button)}});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ButtonSeen> out;
    for (auto& f : found)
        out.push_back(f.second);
    return out;
}

SIZE SizeOf(const RECT& r)
{
    return {r.right - r.left, r.bottom - r.top};
}

class MessageBoxWindowTest : public WidgetTest {
protected:
    HWND m_owner = nullptr;
    HWND m_ownerChild = nullptr;
    EngineMessageBox* m_box = nullptr;

    void SetUp() override
    {
        WidgetTest::SetUp();
        ModalScript::Reset();
        m_box = EngineBox();
        ASSERT_NE(m_box, nullptr);
        LoadSkin("");
        m_owner = MakeWindow(600, 400, u"owner");
        m_ownerChild = MakeChild(m_owner, m_class.Name(), u"", WS_VISIBLE, {10, 10, 90, 40}, 1);
        SetActiveWindow(m_owner);
        Settle();
        RecordingClass::Log().clear();
    }

    void TearDown() override
    {
        ModalScript::Reset();
        // Back to no skin at all, as the other widget tests expect.
        m_engine->LoadSkin(nullptr, u"", u"");
        WidgetTest::TearDown();
    }

    // Loads a skin whose MESSAGEBOX element (or anything else) is `extra`.
    void LoadSkin(const std::string& extra)
    {
        WString path = m_pictures.Missing("skin/facet.xml");
        std::filesystem::create_directories(std::filesystem::path(WideToUtf8(path)).parent_path());
        std::ofstream(WideToUtf8(path)) << FacetXml(extra);
        ASSERT_EQ(m_engine->LoadSkin(nullptr, path.c_str(), m_pictures.Missing("skin").c_str()), S_OK);
    }

    int Show(UINT flags, const WCHAR* text = u"Text", HWND owner = nullptr)
    {
        ModalWatchdog watchdog;
        return m_box->MessageBox(owner ? owner : m_owner, text, u"Caption", flags);
    }

    void WhenShown(std::function<void(HWND)> action)
    {
        ModalScript::OnShown([action](ModalKind kind, HWND window) {
            if (kind == ModalKind::MessageBox)
                action(window);
        });
    }

    // The answer a box gives to what `act` does to it once shown.
    int Answer(UINT flags, std::function<void(HWND)> act)
    {
        WhenShown(act);
        ModalScript::AnswerMessageBox(kFallback, 3000, ScriptClock::Real);
        return Show(flags);
    }

    RECT ShownRect() { return ModalScript::MessageBoxes().back().rect; }

    // The close button is the caption's rightmost 32 pixels.
    static void ClickClose(HeadlessPresenter& presenter, HWND box)
    {
        HWND caption = GetDlgItem(box, 32700);
        ASSERT_NE(caption, nullptr);
        RECT r;
        GetClientRect(caption, &r);
        presenter.Click(caption, {r.right - 16, r.bottom / 2});
    }
};

} // namespace

TEST_F(MessageBoxWindowTest, EachTypeShowsItsSkinnedButtonsAndAnswersItsDefault)
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
        {MB_YESNOCANCEL | 0x200, {{IDYES, u"Yes"}, {IDNO, u"No"}, {IDCANCEL, u"Cancel"}}, IDCANCEL},
        {MB_RETRYCANCEL | MB_ICONEXCLAMATION, {{IDRETRY, u"Retry"}, {IDCANCEL, u"Cancel"}}, IDRETRY},
        {MB_OK | 0x200, {{IDOK, u"OK"}}, IDOK}, // a default past the last button is the last button
    };
    for (const Case& c : cases) {
        std::vector<ButtonSeen> seen;
        WString boxClass;
        int focused = 0;
        WhenShown([&](HWND box) {
            seen = ButtonsOf(box);
            boxClass = ClassOf(box);
            focused = GetDlgCtrlID(GetFocus());
        });
        EXPECT_EQ(Show(c.type), c.answer) << std::hex << c.type;
        EXPECT_EQ(seen, c.buttons) << std::hex << c.type;
        EXPECT_EQ(boxClass, u"FacetMessageBox") << "the engine's own box, not the layer's";
        EXPECT_EQ(focused, c.answer) << "the default button has the focus";
    }
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), cases.size());
    EXPECT_EQ(boxes[2].result, IDCANCEL);
}

TEST_F(MessageBoxWindowTest, TheScriptedAnswerIsReturnedAndTheBoxRecorded)
{
    ModalScript::AnswerMessageBox(IDNO);
    EXPECT_EQ(Show(MB_YESNO | MB_ICONQUESTION, u"确认要删除吗？\r\nIt cannot be undone."), IDNO);
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"确认要删除吗？\r\nIt cannot be undone.");
    EXPECT_EQ(boxes[0].caption, u"Caption");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[0].owner, m_owner);
    EXPECT_EQ(boxes[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(boxes[0].result, IDNO);
    EXPECT_FALSE(IsWindow(boxes[0].window));
    EXPECT_EQ(ModalScript::PendingAnswers(ModalKind::MessageBox), 0u);
    // An owner that is no window gets no box.
    HWND gone = MakeWindow(10, 10);
    DestroyWindow(gone);
    EXPECT_EQ(Show(MB_OK, u"Text", gone), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(MessageBoxWindowTest, KeysAnswerAsOnTheDesktop)
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
        {MB_OK, {VK_RETURN}, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, {VK_RETURN}, IDCANCEL},
        {MB_YESNOCANCEL, {VK_TAB, VK_RETURN}, IDNO},
        {MB_YESNOCANCEL, {VK_LEFT, VK_RETURN}, IDCANCEL},
        {MB_RETRYCANCEL, {VK_RIGHT, VK_RIGHT, VK_SPACE}, IDRETRY},
        {MB_YESNO, {VK_DOWN, VK_RETURN}, IDNO},
    };
    for (const Case& c : cases) {
        int answer = Answer(c.type, [&](HWND box) {
            for (UINT key : c.keys)
                Presenter().TypeKey(box, key);
        });
        EXPECT_EQ(answer, c.answer) << std::hex << c.type;
    }
    // A box with Abort, Retry and Ignore has no answer for Escape: it waits for a button.
    EXPECT_EQ(Answer(0x2, [&](HWND box) { Presenter().TypeKey(box, VK_ESCAPE); }), kFallback);
}

TEST_F(MessageBoxWindowTest, ClicksOnButtonsAndOnTheCloseButtonAnswer)
{
    EXPECT_EQ(Answer(MB_YESNOCANCEL, [&](HWND box) { Presenter().Click(GetDlgItem(box, IDNO), {10, 10}); }), IDNO);
    EXPECT_EQ(Answer(MB_OKCANCEL, [&](HWND box) { Presenter().Click(GetDlgItem(box, IDCANCEL), {10, 10}); }), IDCANCEL);
    // A press that leaves the button before it is released is no click.
    EXPECT_EQ(Answer(MB_OKCANCEL, [&](HWND box) {
        Presenter().Press(GetDlgItem(box, IDCANCEL), {10, 10}, PointerButton::Left, true);
        Presenter().MovePointer(box, {5, 60});
        Presenter().Press(box, {5, 60}, PointerButton::Left, false);
    }), kFallback);

    // The caption's close button answers as the system's box does.
    struct Case {
        UINT type;
        int answer;
    };
    for (Case c : {Case {MB_OKCANCEL, IDCANCEL}, Case {MB_YESNOCANCEL, IDCANCEL}, Case {MB_OK, IDOK}, Case {MB_YESNO, IDNO},
             Case {MB_RETRYCANCEL, IDCANCEL}}) {
        EXPECT_EQ(Answer(c.type, [&](HWND box) { ClickClose(Presenter(), box); }), c.answer) << std::hex << c.type;
    }
    // The desktop's close request too.
    EXPECT_EQ(Answer(MB_YESNO, [&](HWND box) { Presenter().RequestClose(box); }), IDNO);
}

TEST_F(MessageBoxWindowTest, TheCaptionShowsTheCaptionTextOverTheSkinsBand)
{
    int titlePixels = -1;
    long band = -1;
    WString title;
    WhenShown([&](HWND box) {
        title = TextOf(box);
        RECT titleArea {8, 4, 120, kCaptionHeight - 4};
        titlePixels = CountNear(box, kWhite, 60, &titleArea);
        RECT client;
        GetClientRect(box, &client);
        band = Pixel(box, client.right / 2, kCaptionHeight / 2);
    });
    m_box->MessageBox(m_owner, u"Text", u"Lumo caption", MB_OK);
    EXPECT_EQ(title, u"Lumo caption");
    EXPECT_GT(titlePixels, 15) << "the caption text is drawn in the skin's caption text colour";
    // The band's gradient runs from the skin's top to its bottom colour.
    int red = static_cast<int>((band >> 16) & 0xFF);
    EXPECT_GE(red, GetRValue(kCaptionBottom) - 2);
    EXPECT_LE(red, GetRValue(kCaptionTop) + 2);
    EXPECT_GE(band & 0xFF, GetBValue(kCaptionBottom) - 2);
    EXPECT_LE(band & 0xFF, GetBValue(kCaptionTop) + 2);
}

TEST_F(MessageBoxWindowTest, TheOwnerIsDisabledWhileTheBoxIsUpAndActiveAgainAfter)
{
    bool ownerEnabled = true;
    HWND active = nullptr;
    HWND box = nullptr;
    RECT boxRect {};
    WhenShown([&](HWND window) {
        box = window;
        ownerEnabled = IsWindowEnabled(m_owner);
        active = GetActiveWindow();
        GetWindowRect(window, &boxRect);
        // A click on the owner meanwhile reaches nothing.
        Presenter().Click(m_ownerChild, {5, 5});
    });
    ModalScript::AnswerMessageBox(IDOK, 100, ScriptClock::Real);
    EXPECT_EQ(Show(MB_OK), IDOK);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_EQ(active, box);
    EXPECT_TRUE(IsWindowEnabled(m_owner));
    EXPECT_EQ(GetActiveWindow(), m_owner);
    Settle();
    EXPECT_TRUE(RecordingClass::Sequence(m_ownerChild, {WM_LBUTTONDOWN}).empty());
    // Centred on the owner.
    RECT owner;
    GetWindowRect(m_owner, &owner);
    EXPECT_LE(std::abs((boxRect.left + boxRect.right) - (owner.left + owner.right)), 2);
    EXPECT_LE(std::abs((boxRect.top + boxRect.bottom) - (owner.top + owner.bottom)), 2);

    // An owner that was disabled before stays disabled.
    EnableWindow(m_owner, FALSE);
    Show(MB_OK);
    EXPECT_FALSE(IsWindowEnabled(m_owner));
    EnableWindow(m_owner, TRUE);

    // Task-modal without an owner: every window of the thread, centred on the work area.
    std::vector<BOOL> enabled;
    WhenShown([&](HWND) { enabled = {IsWindowEnabled(m_owner)}; });
    {
        ModalWatchdog watchdog;
        EXPECT_EQ(m_box->MessageBox(nullptr, u"Task", u"Caption", MB_OK | MB_TASKMODAL | MB_ICONEXCLAMATION), IDOK);
    }
    EXPECT_EQ(enabled, std::vector<BOOL> {FALSE});
    EXPECT_TRUE(IsWindowEnabled(m_owner));
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT r = ShownRect();
    EXPECT_LE(std::abs((r.left + r.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((r.top + r.bottom) - (work.top + work.bottom)), 2);
}

TEST_F(MessageBoxWindowTest, ABoxOfAWorkerThreadDisablesAnOwnerOfTheMainThread)
{
    std::atomic<bool> shown {false};
    std::atomic<bool> checked {false};
    std::atomic<bool> finished {false};
    WhenShown([&](HWND) {
        shown = true;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!checked && std::chrono::steady_clock::now() < deadline)
            Sleep(1);
    });
    ModalScript::AnswerMessageBox(IDYES, 150, ScriptClock::Real);
    int result = 0;
    DWORD worker = 0;
    std::thread thread([&] {
        worker = GetCurrentThreadId();
        result = m_box->MessageBox(m_owner, u"From a worker", u"Caption", MB_YESNO);
        finished = true;
    });
    bool sawShown = PumpUntil([&] { return shown.load(); });
    bool disabledWhileShown = !IsWindowEnabled(m_owner);
    checked = true;
    bool sawFinished = PumpUntil([&] { return finished.load(); });
    thread.join();
    EXPECT_TRUE(sawShown);
    EXPECT_TRUE(sawFinished);
    EXPECT_TRUE(disabledWhileShown);
    EXPECT_EQ(result, IDYES);
    EXPECT_TRUE(IsWindowEnabled(m_owner));
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].threadId, worker);
}

TEST_F(MessageBoxWindowTest, LongTextsWrapIntoATallerBoxOfLimitedWidth)
{
    Show(MB_OK, u"One line");
    Show(MB_OK, u"One\r\nTwo\r\nThree");
    WString paragraph;
    for (int i = 0; i < 60; ++i)
        paragraph += u"word ";
    Show(MB_OK, paragraph.c_str());
    WString chinese;
    for (int i = 0; i < 120; ++i)
        chinese += u"暂时无法录制视频";
    Show(MB_OK | MB_ICONINFORMATION, chinese.c_str());
    // A word longer than a line (a long path) breaks where the line ends.
    Show(MB_OK | MB_ICONINFORMATION, (u"/home/user/" + WString(400, u'x') + u".jpg").c_str());
    auto boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 5u);
    SIZE one = SizeOf(boxes[0].rect);
    EXPECT_GT(SizeOf(boxes[1].rect).cy, one.cy + 20) << "three lines are taller than one";
    EXPECT_EQ(SizeOf(boxes[1].rect).cx, one.cx) << "short lines keep the narrowest box";
    for (size_t i = 2; i < boxes.size(); ++i) {
        EXPECT_GT(SizeOf(boxes[i].rect).cy, one.cy + 40) << i;
        EXPECT_LE(SizeOf(boxes[i].rect).cx, 520) << i;
    }
    // Nothing can make the box taller than the work area.
    WString huge;
    for (int i = 0; i < 400; ++i)
        huge += u"line\r\n";
    Show(MB_OK, huge.c_str());
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(SizeOf(ShownRect()).cy, work.bottom - work.top);
}

TEST_F(MessageBoxWindowTest, ThePlainSkinShowsItsColoursAndTheMessageInTheSkinsTextColour)
{
    LoadSkin("<MESSAGEBOX TextColor='" + std::to_string(kMessageText) + "'/>");
    int background = 0;
    int text = 0;
    long corner = -1;
    WhenShown([&](HWND box) {
        RECT client;
        GetClientRect(box, &client);
        RECT body {1, kCaptionHeight, client.right - 1, client.bottom - 1};
        background = CountNear(box, kBackground, 4, &body);
        text = CountNear(box, kMessageText, 50, &body);
        corner = Pixel(box, 0, client.bottom - 1);
    });
    Show(MB_OK, u"Purple words");
    EXPECT_GT(background, 3000) << "the skin's window colour is the body";
    EXPECT_GT(text, 20);
    EXPECT_NE(corner, AsPixel(kBackground)) << "the plain box has an edge";
}

TEST_F(MessageBoxWindowTest, TheSkinsFramePictureIsSpreadOverTheBox)
{
    constexpr COLORREF kEdge = RGB(255, 0, 255);
    constexpr COLORREF kCentre = RGB(0, 128, 128);
    m_pictures.WritePicture("skin/box.png", 40, 40, [&](int x, int y) {
        return x < 4 || y < 4 || x >= 36 || y >= 36 ? kEdge : kCentre;
    });
    LoadSkin("<MESSAGEBOX Frame='box.png' FrameCentre='4,4,36,36'/>");
    std::vector<long> seen;
    WhenShown([&](HWND box) {
        RECT client;
        GetClientRect(box, &client);
        seen = {Pixel(box, 1, client.bottom - 2), Pixel(box, client.right - 2, client.bottom / 2),
            Pixel(box, 8, kCaptionHeight + 8), Pixel(box, client.right / 2, client.bottom - 3)};
    });
    Show(MB_OK);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], AsPixel(kEdge)) << "a corner keeps its size";
    EXPECT_EQ(seen[1], AsPixel(kEdge)) << "the edges stretch along the sides";
    EXPECT_EQ(seen[2], AsPixel(kCentre)) << "the centre fills the body";
    EXPECT_EQ(seen[3], AsPixel(kEdge));

    // A frame picture that cannot be read leaves the plain skin.
    LoadSkin("<MESSAGEBOX Frame='missing.png'/>");
    int background = 0;
    WhenShown([&](HWND box) { background = CountNear(box, kBackground, 4); });
    Show(MB_OK);
    EXPECT_GT(background, 3000);
}

TEST_F(MessageBoxWindowTest, IconsAreDrawnOrTakenFromTheSkin)
{
    auto red = [](long p) { return ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90; };
    auto blue = [](long p) { return ((p >> 16) & 0xFF) < 60 && ((p >> 8) & 0xFF) > 90 && (p & 0xFF) > 180; };
    auto amber = [](long p) { return ((p >> 16) & 0xFF) > 230 && ((p >> 8) & 0xFF) > 160 && (p & 0xFF) < 80; };
    std::vector<int> counts;
    WhenShown([&](HWND box) {
        counts = {0, 0, 0};
        for (int y = kCaptionHeight; y < kCaptionHeight + 80; ++y) {
            for (int x = 0; x < 70; ++x) {
                long p = Pixel(box, x, y);
                counts[0] += red(p);
                counts[1] += blue(p);
                counts[2] += amber(p);
            }
        }
    });
    Show(MB_OK);
    EXPECT_EQ(counts, (std::vector<int> {0, 0, 0}));
    Show(MB_OK | MB_ICONERROR);
    EXPECT_GT(counts[0], 300);
    Show(MB_OK | MB_ICONINFORMATION);
    EXPECT_GT(counts[1], 300);
    Show(MB_YESNO | MB_ICONQUESTION);
    EXPECT_GT(counts[1], 300);
    Show(MB_OK | MB_ICONEXCLAMATION);
    EXPECT_GT(counts[2], 200);
    EXPECT_EQ(counts[0] + counts[1], 0);

    // The skin's picture: error, question, exclamation and information side by side.
    constexpr COLORREF kCells[] = {RGB(10, 200, 10), RGB(200, 10, 200), RGB(10, 10, 90), RGB(90, 60, 10)};
    m_pictures.WriteCells("skin/icons.png", 32, 32, {kCells[0], kCells[1], kCells[2], kCells[3]});
    LoadSkin("<MESSAGEBOX Icons='icons.png'/>");
    const UINT kFlags[] = {MB_ICONERROR, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONINFORMATION};
    for (int i = 0; i < 4; ++i) {
        std::vector<int> cells;
        WhenShown([&](HWND box) {
            for (COLORREF cell : kCells)
                cells.push_back(CountNear(box, cell, 4));
        });
        Show(MB_OK | kFlags[i]);
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(cells[static_cast<size_t>(j)] >= 32 * 32, i == j) << "icon " << i << " cell " << j;
    }
}

TEST_F(MessageBoxWindowTest, ButtonsLightUpUnderThePointerAndTakeTheSkinsPicture)
{
    int before = -1;
    int under = -1;
    WhenShown([&](HWND box) {
        HWND cancel = GetDlgItem(box, IDCANCEL);
        before = CountNear(cancel, kHover, 10);
        Presenter().MovePointer(cancel, {20, 10});
        PumpPending();
        under = CountNear(cancel, kHover, 10);
    });
    Show(MB_OKCANCEL);
    EXPECT_EQ(before, 0);
    EXPECT_GT(under, 500) << "the face takes the skin's hover colour";

    constexpr COLORREF kNormal = RGB(0, 90, 0);
    constexpr COLORREF kUnder = RGB(0, 0, 160);
    constexpr COLORREF kPressed = RGB(160, 0, 0);
    m_pictures.WriteCells("skin/button.png", 20, 20, {kNormal, kUnder, kPressed});
    LoadSkin("<MESSAGEBOX Button='button.png'/>");
    std::vector<int> looks;
    auto count = [&](HWND button) {
        looks.push_back(CountNear(button, kNormal, 4));
        looks.push_back(CountNear(button, kUnder, 4));
        looks.push_back(CountNear(button, kPressed, 4));
    };
    WhenShown([&](HWND box) {
        HWND ok = GetDlgItem(box, IDOK);
        count(ok);
        Presenter().MovePointer(ok, {20, 10});
        PumpPending();
        count(ok);
        Presenter().Press(ok, {20, 10}, PointerButton::Left, true);
        PumpPending();
        count(ok);
    });
    ModalScript::AnswerMessageBox(kFallback, 3000, ScriptClock::Real);
    EXPECT_EQ(Show(MB_OKCANCEL), kFallback);
    ASSERT_EQ(looks.size(), 9u);
    EXPECT_GT(looks[0], 500);
    EXPECT_EQ(looks[1] + looks[2], 0);
    EXPECT_GT(looks[4], 500);
    EXPECT_EQ(looks[3] + looks[5], 0);
    EXPECT_GT(looks[8], 500);
    EXPECT_EQ(looks[6] + looks[7], 0);
}

TEST_F(MessageBoxWindowTest, WithoutASkinTheLayersBoxStandsIn)
{
    WString boxClass;
    WhenShown([&](HWND box) { boxClass = ClassOf(box); });
    ASSERT_EQ(m_engine->LoadSkin(nullptr, u"", u""), E_INVALIDARG);
    EXPECT_EQ(Show(MB_YESNO), IDYES);
    EXPECT_EQ(boxClass, u"LumoMessageBox");
    // A skin whose file cannot be read is no skin either.
    EXPECT_NE(m_engine->LoadSkin(nullptr, m_pictures.Missing("none/facet.xml").c_str(), nullptr), S_OK);
    ModalScript::AnswerMessageBox(IDNO);
    EXPECT_EQ(Show(MB_YESNO), IDNO);
    EXPECT_EQ(boxClass, u"LumoMessageBox");
    EXPECT_EQ(ModalScript::MessageBoxes().size(), 2u);
}
