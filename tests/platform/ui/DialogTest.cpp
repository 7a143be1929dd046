#include "UiTestSupport.h"

#include "platform/sys/Module.h"
#include "platform/sys/Resources.h"
#include "platform/sys/Thread.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/WindowObject.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// This test program is its own resource module: the dialog templates below are written byte by byte
// and found by CreateDialogParamW through FindResourceW, as the program's compiled resources are.
namespace {

constexpr WORD kSettingsDialog = 100;
constexpr WORD kVisibleSettingsDialog = 101;
constexpr WORD kUnknownClassDialog = 102;
constexpr WORD kMalformedDialog = 103;
constexpr WORD kProbeDialog = 104;
constexpr WORD kMainDialog = 129;
constexpr WORD kFullScreenHint = 147;
constexpr WORD kButtonOrdinal = 0x80;
constexpr WORD kStaticOrdinal = 0x82;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct Item {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD classOrdinal;
    WString className;
    WString title;
};

class TemplateBytes {
public:
    void Word(WORD w)
    {
        m_bytes.push_back(static_cast<BYTE>(w & 0xFF));
        m_bytes.push_back(static_cast<BYTE>(w >> 8));
    }
    void Dword(DWORD d)
    {
        Word(static_cast<WORD>(d & 0xFFFF));
        Word(static_cast<WORD>(d >> 16));
    }
    void Text(const WString& text)
    {
        for (WCHAR c : text)
            Word(c);
        Word(0);
    }
    void NameOrOrdinal(WORD ordinal, const WString& name)
    {
        if (ordinal) {
            Word(0xFFFF);
            Word(ordinal);
            return;
        }
        Text(name);
    }
    void Align()
    {
        while (m_bytes.size() % 4)
            m_bytes.push_back(0);
    }
    std::vector<BYTE>& Bytes() { return m_bytes; }

private:
    std::vector<BYTE> m_bytes;
};

std::vector<BYTE> DialogBytes(DWORD style, RECT dlu, const WString& className, const WString& title,
    const std::vector<Item>& items)
{
    TemplateBytes t;
    t.Dword(style);
    t.Dword(0);
    t.Word(static_cast<WORD>(items.size()));
    for (LONG v : {dlu.left, dlu.top, dlu.right, dlu.bottom})
        t.Word(static_cast<WORD>(v));
    t.Word(0); // no menu
    t.NameOrOrdinal(0, className);
    t.Text(title);
    if (style & DS_SETFONT) {
        t.Word(8);
        t.Text(u"MS Sans Serif");
    }
    for (const Item& item : items) {
        t.Align();
        t.Dword(item.style);
        t.Dword(0);
        for (short v : {item.x, item.y, item.cx, item.cy})
            t.Word(static_cast<WORD>(v));
        t.Word(item.id);
        t.NameOrOrdinal(item.classOrdinal, item.className);
        t.NameOrOrdinal(0, item.title);
        t.Word(0);
    }
    return std::move(t.Bytes());
}

std::vector<Item> SettingsItems()
{
    return {
        {kChild | SS_LEFT, 7, 7, 60, 8, 10, kStaticOrdinal, {}, u"Name:"},
        {kChild | BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 7, 20, 60, 10, 11, kButtonOrdinal, {}, u"Delay"},
        {kChild | BS_AUTOCHECKBOX, 7, 32, 60, 10, 12, kButtonOrdinal, {}, u"Sound"},
        {kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 90, 80, 50, 14, IDOK, kButtonOrdinal, {}, u"OK"},
        {kChild | BS_PUSHBUTTON | WS_TABSTOP, 145, 80, 50, 14, IDCANCEL, kButtonOrdinal, {}, u"Cancel"},
    };
}

// The main window's dialog as the program's resource script declares it.
std::vector<Item> MainItems()
{
    return {
        {kChild, 7, 25, 259, 58, 1000, 0, u"DynamicToolBar", {}},
        {kChild | SS_RIGHT, 287, 67, 125, 13, 1021, 0, u"static", {}},
        {WS_CHILD | SS_RIGHT, 287, 92, 125, 13, 1022, 0, u"static", {}},
        {kChild, 377, 368, 50, 13, 1040, 0, u"HyperLink", {}},
        {kChild, 437, 368, 49, 13, 1041, 0, u"HyperLink", {}},
        {kChild, 11, 371, 246, 13, 1042, 0, u"static", {}},
        {kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 293, 368, 70, 13, 1044, 0, u"button", {}},
    };
}

std::vector<BYTE> Truncated(std::vector<BYTE> bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

constexpr DWORD kSettingsStyle = WS_POPUP | WS_BORDER | DS_SETFONT | DS_MODALFRAME;
const std::u16string kHintText = u"按任意键或双击退出全屏";

std::array<std::vector<BYTE>, 6> g_templates {
    DialogBytes(kSettingsStyle, {10, 10, 200, 100}, {}, u"Settings", SettingsItems()),
    DialogBytes(kSettingsStyle | WS_VISIBLE | DS_CENTER, {10, 10, 200, 100}, {}, u"Settings", SettingsItems()),
    DialogBytes(kSettingsStyle, {0, 0, 100, 50}, {}, u"Broken",
        {{kChild, 0, 0, 10, 10, 1, 0, u"NoSuchControlClass", {}}}),
    Truncated(DialogBytes(kSettingsStyle, {10, 10, 200, 100}, {}, u"Settings", SettingsItems()), 30),
    DialogBytes(WS_POPUP | WS_VISIBLE | DS_SETFONT, {0, 0, 120, 60}, {}, u"Probe",
        {{kChild | WS_TABSTOP, 7, 7, 50, 14, 20, 0, u"DialogProbe", {}},
            {kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 60, 7, 50, 14, IDOK, kButtonOrdinal, {}, u"OK"}}),
    DialogBytes(WS_POPUP | DS_SETFONT, {0, 0, 567, 394}, u"QTernBoxMain", {}, MainItems()),
};

LumoResourceEntry g_entries[] = {
    {5, nullptr, kSettingsDialog, g_templates[0].data(), static_cast<DWORD>(g_templates[0].size())},
    {5, nullptr, kVisibleSettingsDialog, g_templates[1].data(), static_cast<DWORD>(g_templates[1].size())},
    {5, nullptr, kUnknownClassDialog, g_templates[2].data(), static_cast<DWORD>(g_templates[2].size())},
    {5, nullptr, kMalformedDialog, g_templates[3].data(), static_cast<DWORD>(g_templates[3].size())},
    {5, nullptr, kProbeDialog, g_templates[4].data(), static_cast<DWORD>(g_templates[4].size())},
    {5, nullptr, kMainDialog, g_templates[5].data(), static_cast<DWORD>(g_templates[5].size())},
    {6, nullptr, kFullScreenHint, kHintText.c_str(), static_cast<DWORD>(kHintText.size() * 2)},
};

} // namespace

extern "C" [[gnu::visibility("default")]] const LumoResourceDirectory lumo_resource_directory = {
    static_cast<DWORD>(std::size(g_entries)), g_entries};

namespace {

// A dialog procedure that records what it is given; a test may answer through `handler`.
struct DialogLog {
    static std::vector<RecordedMessage>& Messages()
    {
        static std::vector<RecordedMessage> messages;
        return messages;
    }
    static std::vector<WORD> Commands()
    {
        std::vector<WORD> ids;
        for (const auto& m : Messages()) {
            if (m.message == WM_COMMAND)
                ids.push_back(LOWORD(m.wParam));
        }
        return ids;
    }
    static std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
};
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> DialogLog::handler;

INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogLog::Messages().push_back({dialog, message, wParam, lParam});
    if (DialogLog::handler)
        return DialogLog::handler(dialog, message, wParam, lParam);
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

LONG Dlu(LONG units, LONG base, LONG divisor)
{
    return (units * base + divisor / 2) / divisor;
}

// Every queued message, offered first to the dialog's keyboard handling as a modeless dialog's loop does.
void PumpDialog(HWND dialog)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// Ends a modal loop that hangs by posting WM_QUIT to the test's thread after `ms` of real time.
class QuitWatchdog {
public:
    explicit QuitWatchdog(DWORD ms) : m_thread(GetCurrentThreadId())
    {
        m_worker = std::thread([this, ms] {
            std::unique_lock lock(m_lock);
            if (!m_signal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_done; })) {
                m_fired = true;
                PostThreadMessageW(m_thread, WM_QUIT, 0, 0);
            }
        });
    }
    ~QuitWatchdog()
    {
        {
            std::lock_guard lock(m_lock);
            m_done = true;
        }
        m_signal.notify_all();
        m_worker.join();
        MSG msg;
        while (m_fired && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT)
            DispatchMessageW(&msg);
        EXPECT_FALSE(m_fired) << "watchdog: the modal loop did not end";
    }

private:
    DWORD m_thread;
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_worker;
};

class DialogTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        DialogLog::Messages().clear();
        DialogLog::handler = nullptr;
    }
    void TearDown() override
    {
        DialogLog::handler = nullptr;
        UiTest::TearDown();
    }
    static HWND Create(WORD id, HWND parent = nullptr, LPARAM param = 0)
    {
        return CreateDialogParamW(nullptr, MAKEINTRESOURCEW(id), parent, RecordingDialogProc, param);
    }
    static SIZE BaseUnits(HWND dialog)
    {
        RECT r {0, 0, 4, 8};
        MapDialogRect(dialog, &r);
        return {r.right, r.bottom};
    }
    static RECT RectInParent(HWND control)
    {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<LPPOINT>(&r), 2);
        return r;
    }
    static std::vector<UINT> DialogProcSequence(std::initializer_list<UINT> interesting)
    {
        std::vector<UINT> out;
        for (const auto& m : DialogLog::Messages()) {
            if (std::find(interesting.begin(), interesting.end(), m.message) != interesting.end())
                out.push_back(m.message);
        }
        return out;
    }
};

} // namespace

TEST_F(DialogTest, DialogUnitsBecomePixelsByTheDialogFont)
{
    HWND dialog = Create(kSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    SIZE base = BaseUnits(dialog);
    // "MS Sans Serif" 8 is 6 × 13 on the classic desktop, and a template made for it keeps that layout
    // although a wider face stands in for the text.
    EXPECT_EQ(base.cx, 6);
    EXPECT_EQ(base.cy, 13);

    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, Dlu(200, base.cx, 4));
    EXPECT_EQ(client.bottom, Dlu(100, base.cy, 8));
    RECT window;
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.right - window.left, client.right + 2) << "WS_BORDER adds its frame around the client area";
    EXPECT_EQ(window.left, Dlu(10, base.cx, 4)) << "without an owner the position is on the screen";
    EXPECT_EQ(window.top, Dlu(10, base.cy, 8));

    HWND ok = GetDlgItem(dialog, IDOK);
    ASSERT_NE(ok, nullptr);
    RECT r = RectInParent(ok);
    EXPECT_EQ(r.left, Dlu(90, base.cx, 4));
    EXPECT_EQ(r.top, Dlu(80, base.cy, 8));
    EXPECT_EQ(r.right - r.left, Dlu(50, base.cx, 4));
    EXPECT_EQ(r.bottom - r.top, Dlu(14, base.cy, 8));
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the template has no WS_VISIBLE";
    DestroyWindow(dialog);
}

TEST_F(DialogTest, ControlsKeepTheTemplatesClassesStylesFontAndOrder)
{
    HWND dialog = Create(kSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    WCHAR name[32];
    struct Expected {
        int id;
        const WCHAR* className;
        DWORD style;
        const WCHAR* text;
    };
    const Expected expected[] = {
        {10, u"Static", SS_LEFT, u"Name:"},
        {11, u"Button", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, u"Delay"},
        {12, u"Button", BS_AUTOCHECKBOX, u"Sound"},
        {IDOK, u"Button", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, u"OK"},
        {IDCANCEL, u"Button", BS_PUSHBUTTON | WS_TABSTOP, u"Cancel"},
    };
    auto dialogFont = SendMessageW(dialog, WM_GETFONT, 0, 0);
    EXPECT_NE(dialogFont, 0) << "DS_SETFONT gives the dialog its font";
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const auto& e : expected) {
        ASSERT_NE(control, nullptr) << "control " << e.id;
        EXPECT_EQ(GetDlgCtrlID(control), e.id) << "the z-order is the template's order";
        GetClassNameW(control, name, 32);
        EXPECT_EQ(WString(name), WString(e.className));
        auto style = static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE));
        EXPECT_EQ(style, e.style | WS_CHILD | WS_VISIBLE) << "control " << e.id;
        GetWindowTextW(control, name, 32);
        EXPECT_EQ(WString(name), WString(e.text));
        EXPECT_EQ(SendMessageW(control, WM_GETFONT, 0, 0), dialogFont) << "control " << e.id;
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr);
    WCHAR title[32];
    GetWindowTextW(dialog, title, 32);
    EXPECT_EQ(WString(title), u"Settings");
    DestroyWindow(dialog);
}

TEST_F(DialogTest, InitDialogNamesTheFirstTabStopAndCarriesTheParameter)
{
    HWND dialog = Create(kVisibleSettingsDialog, nullptr, 0x5EED);
    ASSERT_NE(dialog, nullptr);
    HWND delay = GetDlgItem(dialog, 11);
    EXPECT_EQ(DialogProcSequence({WM_SETFONT, WM_INITDIALOG}), (std::vector<UINT> {WM_SETFONT, WM_INITDIALOG}));
    for (const auto& m : DialogLog::Messages()) {
        if (m.message != WM_INITDIALOG)
            continue;
        EXPECT_EQ(reinterpret_cast<HWND>(m.wParam), delay);
        EXPECT_EQ(m.lParam, 0x5EED);
        EXPECT_NE(GetDlgItem(dialog, IDCANCEL), nullptr) << "the controls exist before WM_INITDIALOG";
    }
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(Presenter().IsShown(dialog));
    EXPECT_EQ(GetFocus(), delay) << "WM_INITDIALOG answered TRUE";
    DestroyWindow(dialog);

    // A procedure that places the focus itself and answers FALSE keeps its choice.
    DialogLog::handler = [](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG)
            SetFocus(GetDlgItem(d, IDCANCEL));
        return FALSE;
    };
    dialog = Create(kVisibleSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDCANCEL));
    DestroyWindow(dialog);
}

TEST_F(DialogTest, DsCenterCentresOnTheOwnerOrTheWorkArea)
{
    RecordingClass ownerClass(u"DialogOwner");
    HWND owner = CreateWindowExW(0, ownerClass.Name(), u"", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400, nullptr, nullptr, nullptr, nullptr);
    HWND dialog = Create(kVisibleSettingsDialog, owner);
    ASSERT_NE(dialog, nullptr);
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_NEAR((r.left + r.right) / 2, 400, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, 300, 1);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    DestroyWindow(dialog);

    dialog = Create(kVisibleSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    GetWindowRect(dialog, &r);
    EXPECT_NEAR((r.left + r.right) / 2, 960, 1) << "the headless work area is 1920 × 1040";
    EXPECT_NEAR((r.top + r.bottom) / 2, 520, 1);
    DestroyWindow(dialog);
    DestroyWindow(owner);
}

TEST_F(DialogTest, TheClonedDialogClassMakesTheMainWindowRunByDefDlgProc)
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), WC_DIALOG, &wc));
    EXPECT_EQ(wc.lpfnWndProc, DefDlgProcW);
    EXPECT_EQ(wc.cbWndExtra, DLGWINDOWEXTRA);
    EXPECT_EQ(wc.style & CS_DBLCLKS, 0u);
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_BTNFACE + 1)));
    WNDCLASSEXW byAtom {};
    ASSERT_TRUE(GetClassInfoExW(nullptr, MAKEINTRESOURCEW(0x8002), &byAtom));
    EXPECT_EQ(WString(byAtom.lpszClassName), WString(WC_DIALOG));

    wc.lpszClassName = u"QTernBoxMain";
    ASSERT_NE(RegisterClassExW(&wc), 0);
    // Classes that the UI engine registers before the main window is made.
    RecordingClass toolbar(u"DynamicToolBar");
    RecordingClass link(u"HyperLink");

    HWND dialog = Create(kMainDialog);
    ASSERT_NE(dialog, nullptr);
    WCHAR name[32];
    GetClassNameW(dialog, name, 32);
    EXPECT_EQ(WString(name), u"QTernBoxMain");
    EXPECT_EQ(GetWindowLongPtrW(dialog, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(DefDlgProcW));
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_DLGPROC), reinterpret_cast<LONG_PTR>(RecordingDialogProc));
    SetWindowLongPtrW(dialog, DWLP_USER, 77);
    EXPECT_EQ(GetWindowLongPtrW(dialog, DWLP_USER), 77);

    SIZE base = BaseUnits(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, Dlu(567, base.cx, 4));
    EXPECT_EQ(client.bottom, Dlu(394, base.cy, 8));
    const std::pair<int, const WCHAR*> controls[] = {{1000, u"DynamicToolBar"}, {1021, u"Static"}, {1022, u"Static"},
        {1040, u"HyperLink"}, {1041, u"HyperLink"}, {1042, u"Static"}, {1044, u"Button"}};
    for (const auto& [id, className] : controls) {
        HWND control = GetDlgItem(dialog, id);
        ASSERT_NE(control, nullptr) << id;
        GetClassNameW(control, name, 32);
        EXPECT_EQ(lstrcmpiW(name, className), 0) << id;
    }
    EXPECT_FALSE(GetWindowLongPtrW(GetDlgItem(dialog, 1022), GWL_STYLE) & WS_VISIBLE);
    RECT box = RectInParent(GetDlgItem(dialog, 1044));
    EXPECT_EQ(box.left, Dlu(293, base.cx, 4));
    EXPECT_EQ(box.top, Dlu(368, base.cy, 8));

    // A hidden dialog takes its default focus when it is shown and activated.
    ShowWindow(dialog, SW_SHOW);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, 1044));

    // A close request from the desktop becomes the cancel command, as the main window expects.
    Presenter().RequestClose(dialog);
    PumpDialog(dialog);
    EXPECT_EQ(DialogLog::Commands(), (std::vector<WORD> {IDCANCEL}));
    EXPECT_TRUE(IsWindow(dialog));
    DestroyWindow(dialog);
    EXPECT_TRUE(UnregisterClassW(u"QTernBoxMain", nullptr));
}

TEST_F(DialogTest, DefDlgProcAnswersWithMsgResultExceptWhereTheProcedureAnswersItself)
{
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    DialogLog::handler = [&](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        switch (message) {
        case WM_APP:
            SetWindowLongPtrW(d, DWLP_MSGRESULT, 1234);
            return TRUE;
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(brush);
        case WM_INITDIALOG:
            return TRUE;
        default:
            return FALSE;
        }
    };
    HWND dialog = Create(kSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendMessageW(dialog, WM_APP, 0, 0), 1234);
    EXPECT_EQ(SendMessageW(dialog, WM_CTLCOLORSTATIC, 0, 0), reinterpret_cast<LRESULT>(brush));
    EXPECT_EQ(SendMessageW(dialog, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(SendMessageW(dialog, WM_APP + 1, 0, 0), 0) << "unanswered messages get the default handling";
    EXPECT_NE(SendMessageW(dialog, WM_CTLCOLORBTN, 0, 0), 0) << "the default colours come with a brush";
    DestroyWindow(dialog);
    DeleteObject(brush);
}

TEST_F(DialogTest, ActivationGivesTheFocusBackToTheControlThatHadIt)
{
    RecordingClass otherClass(u"DialogRival");
    HWND other = CreateWindowExW(0, otherClass.Name(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND dialog = Create(kVisibleSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    SetFocus(cancel);
    SetActiveWindow(other);
    EXPECT_EQ(GetActiveWindow(), other);
    SetFocus(other);
    SetActiveWindow(dialog);
    EXPECT_EQ(GetFocus(), cancel);
    SetFocus(dialog);
    EXPECT_EQ(GetFocus(), cancel) << "the focus given to the dialog goes on to its control";
    DestroyWindow(dialog);
    DestroyWindow(other);
}

TEST_F(DialogTest, MissingOrBrokenTemplatesMakeNoDialog)
{
    size_t windowsBefore = TopLevelWindowsOfProcess().size();
    EXPECT_EQ(Create(999), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(Create(kMalformedDialog), nullptr);
    EXPECT_EQ(Create(kUnknownClassDialog), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
    EXPECT_EQ(TopLevelWindowsOfProcess().size(), windowsBefore) << "a half-made dialog is destroyed";
    EXPECT_TRUE(DialogProcSequence({WM_INITDIALOG}).empty());
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, RecordingDialogProc, 0), -1);
}

TEST_F(DialogTest, TabAndArrowsMoveTheFocusEnterAndEscapeCommand)
{
    HWND dialog = Create(kVisibleSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    HWND delay = GetDlgItem(dialog, 11);
    HWND sound = GetDlgItem(dialog, 12);
    HWND ok = GetDlgItem(dialog, IDOK);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    ASSERT_EQ(GetFocus(), delay);

    auto type = [&](UINT key) {
        Presenter().TypeKey(dialog, key);
        PumpDialog(dialog);
    };
    type(VK_TAB);
    EXPECT_EQ(GetFocus(), ok) << "the sound box has no WS_TABSTOP";
    type(VK_TAB);
    EXPECT_EQ(GetFocus(), cancel);
    type(VK_TAB);
    EXPECT_EQ(GetFocus(), delay) << "tabbing wraps around";
    DeliverKey(dialog, VK_SHIFT, true, 0, false);
    type(VK_TAB);
    DeliverKey(dialog, VK_SHIFT, false, 0, false);
    PumpDialog(dialog);
    EXPECT_EQ(GetFocus(), cancel) << "Shift-Tab goes back";

    SetFocus(delay);
    type(VK_DOWN);
    EXPECT_EQ(GetFocus(), sound);
    type(VK_DOWN);
    EXPECT_EQ(GetFocus(), delay) << "arrows stay within the WS_GROUP";

    type(VK_RETURN);
    type(VK_ESCAPE);
    SetFocus(cancel);
    type(VK_RETURN);
    EXPECT_EQ(DialogLog::Commands(), (std::vector<WORD> {IDOK, IDCANCEL, IDCANCEL}))
        << "Enter presses the default button, or the focused push button";

    RecordingClass otherClass(u"DialogNeighbour");
    HWND other = CreateWindowExW(0, otherClass.Name(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    MSG foreign {other, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_FALSE(IsDialogMessageW(dialog, &foreign)) << "messages of other windows are not the dialog's";
    EXPECT_EQ(GetFocus(), cancel);
    DestroyWindow(other);
    DestroyWindow(dialog);
}

TEST_F(DialogTest, AControlThatWantsAllKeysGetsThemAndOthersLoseNavigationCharacters)
{
    RecordingClass probeClass(u"DialogProbe");
    HWND dialog = Create(kProbeDialog);
    ASSERT_NE(dialog, nullptr);
    HWND probe = GetDlgItem(dialog, 20);
    ASSERT_EQ(GetFocus(), probe);
    UINT code = DLGC_WANTALLKEYS;
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (hwnd != probe || message != WM_GETDLGCODE)
            return false;
        *result = code;
        return true;
    };
    RecordingClass::Log().clear();
    Presenter().TypeKey(dialog, VK_TAB);
    Presenter().TypeKey(dialog, VK_RETURN);
    PumpDialog(dialog);
    EXPECT_EQ(GetFocus(), probe);
    EXPECT_TRUE(DialogLog::Commands().empty());
    EXPECT_EQ(RecordingClass::Sequence(probe, {WM_KEYDOWN, WM_CHAR}), (std::vector<UINT> {WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR}));

    // A control that wants nothing never sees the characters of the navigation keys.
    code = 0;
    RecordingClass::Log().clear();
    MSG tab {probe, WM_CHAR, u'\t', 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageW(dialog, &tab));
    MSG letter {probe, WM_CHAR, u'a', 0, 0, {0, 0}};
    EXPECT_TRUE(IsDialogMessageW(dialog, &letter));
    EXPECT_EQ(RecordingClass::Sequence(probe, {WM_CHAR}), (std::vector<UINT> {WM_CHAR}));
    DestroyWindow(dialog);
}

TEST_F(DialogTest, DialogBoxRunsModallyAndReturnsTheEndDialogValue)
{
    RecordingClass ownerClass(u"ModalOwner");
    HWND owner = CreateWindowExW(0, ownerClass.Name(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    bool ownerDisabled = false;
    HWND seen = nullptr;
    DialogLog::handler = [&](HWND d, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            seen = d;
            ownerDisabled = !IsWindowEnabled(owner);
            // The user presses Enter once the dialog is up.
            Presenter().TypeKey(d, VK_RETURN);
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            EndDialog(d, 42);
            return TRUE;
        }
        return FALSE;
    };
    INT_PTR result = 0;
    {
        QuitWatchdog watchdog(5000);
        result = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kSettingsDialog), owner, RecordingDialogProc, 0);
    }
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindow(seen)) << "the dialog is destroyed when its loop ends";
    EXPECT_EQ(GetActiveWindow(), owner);

    // Ending during the initialisation returns at once, without showing the dialog.
    DialogLog::Messages().clear();
    DialogLog::handler = [](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG)
            EndDialog(d, IDCANCEL);
        return FALSE;
    };
    {
        QuitWatchdog watchdog(5000);
        result = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kSettingsDialog), owner, RecordingDialogProc, 0);
    }
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(DialogProcSequence({WM_SHOWWINDOW}).empty());
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

TEST_F(DialogTest, CheckDlgButtonAndTheCommonControlsEntry)
{
    HWND dialog = Create(kSettingsDialog);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(CheckDlgButton(dialog, 11, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 11), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 12), BST_UNCHECKED);
    EXPECT_FALSE(CheckDlgButton(dialog, 999, BST_CHECKED));
    DestroyWindow(dialog);
    INITCOMMONCONTROLSEX init {sizeof init, 0x404};
    EXPECT_TRUE(InitCommonControlsEx(&init));
}
