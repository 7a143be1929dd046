// The GTK presenter on a real X server: windows appear where the layer puts them and show what their
// procedures paint, and real input (xdotool) comes back as messages. Skipped without a display.
#include "UiTestSupport.h"
#include "../../support/DisplayLock.h"
#include "../../support/ToolRunner.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/WindowObject.h"
#include "platform/ui/presenters/GtkPresenter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kToolTimeoutMs = 5000;
constexpr DWORD kWatchdogMs = 5000;
constexpr int kLockWaitMs = 45000;

int MillisecondsUntil(Clock::time_point deadline)
{
    return static_cast<int>(std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count());
}

// Runs a tool from its argv, with the display tests' time limit.
int RunTool(const std::vector<std::string>& argv, std::string* out = nullptr)
{
    int code = ::RunTool(argv, out, kToolTimeoutMs);
    if (code == -1)
        ADD_FAILURE() << "watchdog or start failure: " << argv[0];
    return code;
}

LONG NumberAfter(const std::string& text, const std::string& label)
{
    auto at = text.find(label);
    return at == std::string::npos ? -1 : static_cast<LONG>(std::strtol(text.c_str() + at + label.size(), nullptr, 0));
}

struct XWindow {
    bool found = false;
    bool viewable = false;
    bool overrideRedirect = false;
    RECT rect {};
};

XWindow QueryXWindow(const std::string& title)
{
    XWindow window;
    std::string out;
    if (RunTool({"xwininfo", "-name", title}, &out) != 0)
        return window;
    window.found = true;
    window.viewable = out.find("Map State: IsViewable") != std::string::npos;
    window.overrideRedirect = out.find("Override Redirect State: yes") != std::string::npos;
    LONG x = NumberAfter(out, "Absolute upper-left X:");
    LONG y = NumberAfter(out, "Absolute upper-left Y:");
    window.rect = {x, y, x + NumberAfter(out, "Width:"), y + NumberAfter(out, "Height:")};
    return window;
}

std::string XidOf(const std::string& title)
{
    std::string out;
    RunTool({"xwininfo", "-name", title}, &out);
    return std::to_string(NumberAfter(out, "Window id:"));
}

// A part of the screen, read back by ImageMagick rather than by the layer.
class ScreenGrab {
public:
    explicit ScreenGrab(const RECT& area) : m_area(area)
    {
        std::string geometry = std::to_string(area.right - area.left) + "x" + std::to_string(area.bottom - area.top) + "+"
            + std::to_string(area.left) + "+" + std::to_string(area.top);
        RunTool({"import", "-window", "root", "-crop", geometry, "-depth", "8", "rgb:-"}, &m_rgb);
    }

    // A pixel at a point of the screen as 0xRRGGBB, -1 outside the grabbed part.
    long Pixel(int x, int y) const
    {
        int width = m_area.right - m_area.left;
        if (x < m_area.left || x >= m_area.right || y < m_area.top || y >= m_area.bottom)
            return -1;
        size_t at = (static_cast<size_t>(y - m_area.top) * width + (x - m_area.left)) * 3;
        if (at + 3 > m_rgb.size())
            return -1;
        auto byte = [&](size_t i) { return static_cast<long>(static_cast<unsigned char>(m_rgb[at + i])); };
        return byte(0) << 16 | byte(1) << 8 | byte(2);
    }

private:
    RECT m_area;
    std::string m_rgb;
};

void XdoTool(std::vector<std::string> args)
{
    args.insert(args.begin(), "xdotool");
    EXPECT_EQ(0, RunTool(args)) << args[1];
}

// Pumps the thread's messages and GTK's events between looks at the X server, until `done` holds.
bool WaitFor(const std::function<bool()>& done, DWORD watchdogMs = kWatchdogMs)
{
    auto deadline = Clock::now() + milliseconds(watchdogMs);
    for (;;) {
        if (done())
            return true;
        if (MillisecondsUntil(deadline) <= 0) {
            ADD_FAILURE() << "watchdog: the condition did not hold within " << watchdogMs << " ms";
            return false;
        }
        auto slice = Clock::now() + milliseconds(20);
        while (MillisecondsUntil(slice) > 0) {
            if (PumpPending() == 0)
                Sleep(1);
        }
    }
}

void PumpFor(int ms)
{
    auto end = Clock::now() + milliseconds(ms);
    while (MillisecondsUntil(end) > 0) {
        if (PumpPending() == 0)
            Sleep(1);
    }
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r)
{
    std::ostringstream s;
    s << r.left << "," << r.top << " " << r.right - r.left << "x" << r.bottom - r.top;
    return s.str();
}

std::vector<RecordedMessage> MessagesOf(HWND hwnd, UINT message)
{
    std::vector<RecordedMessage> found;
    for (const auto& m : RecordingClass::Log()) {
        if (m.hwnd == hwnd && m.message == message)
            found.push_back(m);
    }
    return found;
}

bool Logged(HWND hwnd, UINT message)
{
    return !MessagesOf(hwnd, message).empty();
}

// The tests of this program run as parallel processes on one X server, whose pointer, keyboard
// focus and screen they share; one test at a time holds the display.
class GtkPresenterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            GTEST_SKIP() << "needs an X server (DISPLAY)";
        m_lock = std::make_unique<DisplayLock>(display, kLockWaitMs);
        ASSERT_TRUE(m_lock->Held()) << "watchdog: another test kept the display";
        static const bool installed = [] {
            auto presenter = CreateGtkPresenter();
            if (!presenter)
                return false;
            InstallPresenter(std::move(presenter));
            return true;
        }();
        ASSERT_TRUE(installed) << "GTK cannot open " << display;
        m_presenter = CurrentGtkPresenter();
        ASSERT_NE(nullptr, m_presenter);
        RecordingClass::Log().clear();
        RecordingClass::handler = nullptr;
        m_title = "lumo-gtk-" + std::to_string(getpid()) + "-"
            + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    void TearDown() override
    {
        RecordingClass::handler = nullptr;
        for (HWND hwnd : m_windows) {
            if (IsWindow(hwnd))
                DestroyWindow(hwnd);
        }
        PumpPending();
        if (m_presenter)
            m_presenter->Sync();
    }

    HWND Create(const std::string& title, const RECT& r, DWORD style = WS_POPUP | WS_VISIBLE, DWORD exStyle = 0,
        const WCHAR* className = nullptr, HWND owner = nullptr)
    {
        WString text = Utf8ToWide(title);
        HWND hwnd = CreateWindowExW(exStyle, className ? className : m_class.Name(), text.c_str(), style, r.left, r.top,
            r.right - r.left, r.bottom - r.top, owner, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, hwnd);
        m_windows.push_back(hwnd);
        return hwnd;
    }

    XWindow WaitViewable(const std::string& title)
    {
        XWindow window;
        WaitFor([&] {
            window = QueryXWindow(title);
            return window.viewable;
        });
        return window;
    }

    // A WM_PAINT handler filling the client area with `*colour`.
    void PaintWith(const COLORREF* colour)
    {
        RecordingClass::handler = [colour](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
            if (message != WM_PAINT)
                return false;
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT client;
            GetClientRect(hwnd, &client);
            HBRUSH brush = CreateSolidBrush(*colour);
            FillRect(dc, &client, brush);
            DeleteObject(brush);
            RECT mark {10, 10, 30, 30};
            HBRUSH blue = CreateSolidBrush(RGB(20, 40, 220));
            FillRect(dc, &mark, blue);
            DeleteObject(blue);
            EndPaint(hwnd, &ps);
            *result = 0;
            return true;
        };
    }

    RecordingClass m_class {u"LumoGtkPresenterTest"};
    RecordingClass m_doubleClickClass {u"LumoGtkPresenterTestDbl", CS_DBLCLKS};
    std::unique_ptr<DisplayLock> m_lock;
    GtkPresenter* m_presenter = nullptr;
    std::string m_title;
    std::vector<HWND> m_windows;
};

TEST_F(GtkPresenterTest, WindowAppearsAtItsRectangleShowingItsPaint)
{
    COLORREF colour = RGB(200, 30, 40);
    PaintWith(&colour);
    RECT rect {140, 110, 460, 310};
    HWND hwnd = Create(m_title, rect);
    XWindow shown = WaitViewable(m_title);
    EXPECT_TRUE(SameRect(rect, shown.rect)) << Describe(shown.rect);
    EXPECT_FALSE(shown.overrideRedirect);
    std::optional<ScreenGrab> screen;
    ASSERT_TRUE(WaitFor([&] {
        screen.emplace(rect);
        return screen->Pixel(340, 210) == 0xC81E28;
    }));
    EXPECT_EQ(0x1428DC, screen->Pixel(155, 125));
    EXPECT_EQ(0xC81E28, screen->Pixel(459, 309));

    // A later paint of part of the window reaches the screen; the rest keeps its picture.
    colour = RGB(30, 180, 60);
    RECT part {100, 0, 200, 100};
    InvalidateRect(hwnd, &part, FALSE);
    ASSERT_TRUE(WaitFor([&] {
        screen.emplace(rect);
        return screen->Pixel(290, 160) == 0x1EB43C;
    }));
    EXPECT_EQ(0xC81E28, screen->Pixel(340, 260));
    EXPECT_EQ(0x1428DC, screen->Pixel(155, 125));
}

TEST_F(GtkPresenterTest, SetWindowPosMovesTheXWindowAndOtherClientsMovesComeBack)
{
    HWND hwnd = Create(m_title, {100, 100, 300, 250});
    WaitViewable(m_title);
    RecordingClass::Log().clear();
    SetWindowPos(hwnd, nullptr, 400, 300, 250, 150, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT wanted {400, 300, 650, 450};
    XWindow moved;
    EXPECT_TRUE(WaitFor([&] {
        moved = QueryXWindow(m_title);
        return SameRect(moved.rect, wanted);
    })) << Describe(moved.rect);
    // The window system's confirmation is not taken for a move by the user.
    PumpFor(200);
    EXPECT_EQ(1u, MessagesOf(hwnd, WM_WINDOWPOSCHANGED).size());
    RECT layer;
    GetWindowRect(hwnd, &layer);
    EXPECT_TRUE(SameRect(wanted, layer)) << Describe(layer);

    XdoTool({"windowmove", XidOf(m_title), "520", "380"});
    EXPECT_TRUE(WaitFor([&] {
        GetWindowRect(hwnd, &layer);
        return layer.left == 520 && layer.top == 380;
    })) << Describe(layer);
    EXPECT_EQ(250, layer.right - layer.left);
    EXPECT_EQ(150, layer.bottom - layer.top);
}

TEST_F(GtkPresenterTest, ButtonsAndWheelArriveAtClientCoordinates)
{
    HWND hwnd = Create(m_title, {200, 150, 500, 350}, WS_POPUP | WS_BORDER | WS_VISIBLE);
    WaitViewable(m_title);
    XdoTool({"mousemove", "260", "190", "click", "1", "click", "3", "click", "4", "click", "5"});
    ASSERT_TRUE(WaitFor([&] { return MessagesOf(hwnd, WM_MOUSEWHEEL).size() == 2; }));
    std::vector<UINT> expected {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL, WM_MOUSEWHEEL};
    EXPECT_EQ(expected, RecordingClass::Sequence(hwnd, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEWHEEL}));
    // The window has a one-pixel frame, so its client area starts at (201, 151).
    auto down = MessagesOf(hwnd, WM_LBUTTONDOWN).front();
    EXPECT_EQ(59, GET_X_LPARAM(down.lParam));
    EXPECT_EQ(39, GET_Y_LPARAM(down.lParam));
    auto wheels = MessagesOf(hwnd, WM_MOUSEWHEEL);
    EXPECT_EQ(120, static_cast<short>(HIWORD(wheels[0].wParam)));
    EXPECT_EQ(-120, static_cast<short>(HIWORD(wheels[1].wParam)));
    POINT cursor {};
    GetCursorPos(&cursor);
    EXPECT_EQ(260, cursor.x);
    EXPECT_EQ(190, cursor.y);
}

TEST_F(GtkPresenterTest, DoubleClickIsOneDblClkForDoubleClickClasses)
{
    HWND hwnd = Create(m_title, {200, 150, 500, 350}, WS_POPUP | WS_VISIBLE, 0, m_doubleClickClass.Name());
    WaitViewable(m_title);
    XdoTool({"mousemove", "300", "200", "click", "--repeat", "2", "--delay", "80", "1"});
    ASSERT_TRUE(WaitFor([&] { return MessagesOf(hwnd, WM_LBUTTONUP).size() == 2; }));
    PumpFor(100);
    std::vector<UINT> expected {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
    EXPECT_EQ(expected, RecordingClass::Sequence(hwnd, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}));
}

TEST_F(GtkPresenterTest, KeysArriveAsKeyAndCharacterMessages)
{
    HWND hwnd = Create(m_title, {200, 150, 500, 350});
    WaitViewable(m_title);
    // Without a window manager the focus is wherever the presenter put it when it showed the window.
    std::string xid = XidOf(m_title);
    ASSERT_TRUE(WaitFor([&] {
        std::string focus;
        RunTool({"xdotool", "getwindowfocus", "-f"}, &focus);
        return std::to_string(std::strtol(focus.c_str(), nullptr, 0)) == xid;
    }));
    XdoTool({"key", "Escape", "a", "shift+1", "Return"});
    ASSERT_TRUE(WaitFor([&] {
        auto ups = MessagesOf(hwnd, WM_KEYUP);
        return !ups.empty() && ups.back().wParam == VK_RETURN;
    }));
    std::vector<WPARAM> downs;
    for (const auto& m : MessagesOf(hwnd, WM_KEYDOWN))
        downs.push_back(m.wParam);
    std::vector<WPARAM> characters;
    for (const auto& m : MessagesOf(hwnd, WM_CHAR))
        characters.push_back(m.wParam);
    // Shift+1 is the key '1' typing '!'.
    EXPECT_EQ((std::vector<WPARAM> {VK_ESCAPE, 'A', VK_SHIFT, '1', VK_RETURN}), downs);
    EXPECT_EQ((std::vector<WPARAM> {0x1B, 'a', '!', '\r'}), characters);
    EXPECT_EQ(VK_ESCAPE, MessagesOf(hwnd, WM_KEYUP).front().wParam);
}

TEST_F(GtkPresenterTest, CloseRequestIsSysCommandCloseAndTheWindowDecides)
{
    bool refuse = true;
    RecordingClass::handler = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = 0;
        return message == WM_CLOSE && refuse;
    };
    HWND hwnd = Create(m_title, {200, 150, 500, 350});
    WaitViewable(m_title);
    m_presenter->QueueDeleteEvent(hwnd);
    ASSERT_TRUE(WaitFor([&] { return Logged(hwnd, WM_CLOSE); }));
    auto command = MessagesOf(hwnd, WM_SYSCOMMAND);
    ASSERT_EQ(1u, command.size());
    EXPECT_EQ(SC_CLOSE, command[0].wParam & 0xFFF0);
    PumpFor(100);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(QueryXWindow(m_title).viewable);

    refuse = false;
    m_presenter->QueueDeleteEvent(hwnd);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(hwnd); }));
    EXPECT_TRUE(WaitFor([&] { return !QueryXWindow(m_title).found; }));
}

TEST_F(GtkPresenterTest, CaptionDragMovesTheWindow)
{
    RecordingClass::handler = [](HWND hwnd, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        if (message != WM_NCHITTEST)
            return false;
        RECT r;
        GetWindowRect(hwnd, &r);
        *result = GET_Y_LPARAM(lParam) < r.top + 30 ? HTCAPTION : HTCLIENT;
        return true;
    };
    HWND hwnd = Create(m_title, {300, 200, 600, 400});
    WaitViewable(m_title);
    XdoTool({"mousemove", "350", "210", "mousedown", "1"});
    // The drag starts when the layer has taken the press, as it would for a slow hand.
    ASSERT_TRUE(WaitFor([&] { return Logged(hwnd, WM_NCLBUTTONDOWN); }));
    m_presenter->Sync();
    XdoTool({"mousemove", "400", "240"});
    PumpFor(50);
    XdoTool({"mousemove", "450", "260"});
    PumpFor(50);
    XdoTool({"mouseup", "1"});
    RECT layer {};
    EXPECT_TRUE(WaitFor([&] {
        GetWindowRect(hwnd, &layer);
        return layer.left == 400 && layer.top == 250;
    })) << Describe(layer);
    EXPECT_TRUE(SameRect(layer, QueryXWindow(m_title).rect));
    EXPECT_EQ(300, layer.right - layer.left);
}

TEST_F(GtkPresenterTest, MenuPopupIsOverrideRedirectAndTakesInputFromAnywhere)
{
    HWND owner = Create(m_title + "-owner", {100, 100, 400, 300});
    WaitViewable(m_title + "-owner");
    HWND menu = Create(m_title, {600, 400, 760, 520}, WS_POPUP,
        WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, nullptr, owner);
    ShowWindow(menu, SW_SHOWNA);
    XWindow shown = WaitViewable(m_title);
    EXPECT_TRUE(shown.overrideRedirect);
    EXPECT_TRUE(SameRect(shown.rect, RECT {600, 400, 760, 520})) << Describe(shown.rect);
    std::string type;
    RunTool({"xprop", "-name", m_title, "_NET_WM_WINDOW_TYPE"}, &type);
    EXPECT_NE(std::string::npos, type.find("_NET_WM_WINDOW_TYPE_POPUP_MENU")) << type;
    EXPECT_EQ(owner, GetActiveWindow());

    // A press outside every window of the program reaches the menu, which holds the capture.
    SetCapture(menu);
    m_presenter->Sync();
    XdoTool({"mousemove", "20", "30", "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return Logged(menu, WM_LBUTTONDOWN); }));
    auto down = MessagesOf(menu, WM_LBUTTONDOWN).front();
    EXPECT_EQ(20 - 600, GET_X_LPARAM(down.lParam));
    EXPECT_EQ(30 - 400, GET_Y_LPARAM(down.lParam));
    XdoTool({"key", "Escape"});
    ASSERT_TRUE(WaitFor([&] { return Logged(menu, WM_KEYDOWN); }));
    EXPECT_EQ(VK_ESCAPE, MessagesOf(menu, WM_KEYDOWN).front().wParam);
    EXPECT_FALSE(Logged(owner, WM_KEYDOWN));

    // Once the menu is gone the keyboard is the focused window's again.
    ReleaseCapture();
    ShowWindow(menu, SW_HIDE);
    EXPECT_TRUE(WaitFor([&] { return !QueryXWindow(m_title).viewable; }));
    XdoTool({"key", "Escape"});
    EXPECT_TRUE(WaitFor([&] { return Logged(owner, WM_KEYDOWN); }));
    EXPECT_EQ(1u, MessagesOf(menu, WM_KEYDOWN).size());
}

TEST_F(GtkPresenterTest, OwnerTopmostAndTitleReachTheWindowSystem)
{
    HWND owner = Create(m_title + "-owner", {100, 100, 400, 300});
    HWND owned = Create(m_title, {150, 150, 350, 250}, WS_POPUP | WS_VISIBLE, WS_EX_TOPMOST, nullptr, owner);
    WaitViewable(m_title);
    std::string properties;
    ASSERT_EQ(0, RunTool({"xprop", "-name", m_title, "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "WM_TRANSIENT_FOR"}, &properties));
    EXPECT_NE(std::string::npos, properties.find("_NET_WM_WINDOW_TYPE_DIALOG")) << properties;
    EXPECT_NE(std::string::npos, properties.find("_NET_WM_STATE_ABOVE")) << properties;
    EXPECT_EQ(std::stol(XidOf(m_title + "-owner")), NumberAfter(properties, "window id #")) << properties;

    std::string renamed = m_title + "-renamed";
    SetWindowTextW(owned, Utf8ToWide(renamed).c_str());
    EXPECT_TRUE(WaitFor([&] { return QueryXWindow(renamed).viewable; }));
}

TEST_F(GtkPresenterTest, ScreenAndPointerComeFromTheDisplay)
{
    std::string geometry;
    ASSERT_EQ(0, RunTool({"xdotool", "getdisplaygeometry"}, &geometry));
    std::istringstream numbers(geometry);
    int width = 0;
    int height = 0;
    numbers >> width >> height;
    EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(1, GetSystemMetrics(SM_CMONITORS));
    RECT work {};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_GT(work.right - work.left, 0);
    EXPECT_LE(work.bottom - work.top, height);

    XdoTool({"mousemove", "333", "222"});
    POINT cursor {};
    GetCursorPos(&cursor);
    EXPECT_EQ(333, cursor.x);
    EXPECT_EQ(222, cursor.y);
}

LRESULT WorkerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = CreateSolidBrush(RGB(250, 200, 0));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    EndPaint(hwnd, &ps);
    return 0;
}

TEST_F(GtkPresenterTest, WindowOfAnotherThreadIsShownThroughTheMainThread)
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WorkerProc;
    wc.lpszClassName = u"LumoGtkPresenterTestWorker";
    ASSERT_NE(0, RegisterClassExW(&wc));
    std::atomic<bool> stop {false};
    std::atomic<bool> destroyed {false};
    WString title = Utf8ToWide(m_title);
    std::thread worker([&] {
        HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_POPUP | WS_VISIBLE, 700, 500, 200, 120,
            nullptr, nullptr, nullptr, nullptr);
        auto deadline = Clock::now() + milliseconds(2 * kWatchdogMs);
        while (!stop && MillisecondsUntil(deadline) > 0) {
            if (PumpPending() == 0)
                Sleep(1);
        }
        DestroyWindow(hwnd);
        destroyed = true;
    });
    XWindow shown = WaitViewable(m_title);
    EXPECT_TRUE(SameRect(shown.rect, RECT {700, 500, 900, 620})) << Describe(shown.rect);
    EXPECT_TRUE(WaitFor([] { return ScreenGrab({790, 550, 810, 570}).Pixel(800, 560) == 0xFAC800; }));
    stop = true;
    EXPECT_TRUE(WaitFor([&] { return destroyed && !QueryXWindow(m_title).found; }));
    worker.join();
    UnregisterClassW(wc.lpszClassName, nullptr);
}

} // namespace

// The layer draws every window itself, so what the display shows must be the window's own picture,
// the same one the headless presenter keeps: compare them pixel by pixel.
TEST_F(GtkPresenterTest, ScreenShowsTheSamePixelsAsTheLayersOwnPicture)
{
    RecordingClass::handler = [](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_PAINT)
            return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        for (int band = 0; band < 8; ++band) {
            RECT r {0, band * client.bottom / 8, client.right, (band + 1) * client.bottom / 8};
            HBRUSH brush = CreateSolidBrush(RGB(band * 30, 255 - band * 25, 90 + band * 10));
            FillRect(dc, &r, brush);
            DeleteObject(brush);
        }
        HFONT font = CreateFontW(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, u"Microsoft YaHei");
        HGDIOBJ old = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        RECT text {10, 10, client.right - 10, 60};
        DrawTextW(dc, u"拍照 Lumo 摄像", -1, &text, DT_LEFT | DT_SINGLELINE);
        SelectObject(dc, old);
        DeleteObject(font);
        EndPaint(hwnd, &ps);
        *result = 0;
        return true;
    };
    RECT rect {300, 200, 620, 440};
    HWND hwnd = Create(m_title, rect);
    WaitViewable(m_title);
    PumpPending();
    m_presenter->Sync();
    cairo_surface_t* own = FindWindowObject(hwnd)->surface;
    cairo_surface_flush(own);
    const unsigned char* data = cairo_image_surface_get_data(own);
    int stride = cairo_image_surface_get_stride(own);
    auto ownPixel = [&](int x, int y) {
        std::uint32_t argb;
        std::memcpy(&argb, data + y * stride + x * 4, 4);
        return static_cast<long>(argb & 0xFFFFFF);
    };
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int different = 0;
    ASSERT_TRUE(WaitFor([&] {
        ScreenGrab screen(rect);
        different = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                long a = ownPixel(x, y);
                long b = screen.Pixel(rect.left + x, rect.top + y);
                for (int shift = 0; shift < 24; shift += 8) {
                    if (std::abs(((a >> shift) & 0xFF) - ((b >> shift) & 0xFF)) > 2) {
                        ++different;
                        break;
                    }
                }
            }
        }
        return different == 0;
    })) << different << " of " << width * height << " pixels differ";
}

TEST_F(GtkPresenterTest, APopupSizedToTheScreenCoversIt)
{
    COLORREF colour = RGB(10, 200, 120);
    PaintWith(&colour);
    HWND hwnd = Create(m_title, {100, 100, 400, 300});
    WaitViewable(m_title);
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, cx, cy, 0);
    PumpPending();
    m_presenter->Sync();
    XWindow shown;
    ASSERT_TRUE(WaitFor([&] {
        shown = QueryXWindow(m_title);
        return SameRect(shown.rect, RECT {0, 0, cx, cy});
    })) << Describe(shown.rect);
    std::optional<ScreenGrab> screen;
    ASSERT_TRUE(WaitFor([&] {
        screen.emplace(RECT {0, 0, cx, cy});
        return screen->Pixel(cx - 1, cy - 1) == 0x0AC878;
    }));
    EXPECT_EQ(0x0AC878, screen->Pixel(0, cy - 1));
    EXPECT_EQ(0x0AC878, screen->Pixel(cx - 1, 0));
}

TEST_F(GtkPresenterTest, ARealClickReachesTheChildUnderThePointerInItsOwnCoordinates)
{
    HWND top = Create(m_title, {200, 150, 600, 450});
    HWND outer = CreateWindowExW(0, m_class.Name(), u"", WS_CHILD | WS_VISIBLE, 40, 30, 300, 200, top,
        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(7)), nullptr, nullptr);
    HWND inner = CreateWindowExW(0, m_class.Name(), u"", WS_CHILD | WS_VISIBLE, 100, 50, 120, 80, outer,
        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(8)), nullptr, nullptr);
    WaitViewable(m_title);
    // Screen (200 + 40 + 100 + 15, 150 + 30 + 50 + 25) is (15, 25) in the inner child.
    XdoTool({"mousemove", "355", "255", "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return Logged(inner, WM_LBUTTONUP); }));
    auto down = MessagesOf(inner, WM_LBUTTONDOWN);
    ASSERT_EQ(1u, down.size());
    EXPECT_EQ(15, GET_X_LPARAM(down.front().lParam));
    EXPECT_EQ(25, GET_Y_LPARAM(down.front().lParam));
    EXPECT_FALSE(Logged(outer, WM_LBUTTONDOWN));
    EXPECT_FALSE(Logged(top, WM_LBUTTONDOWN));
    // A click on the outer child beside the inner one goes to the outer child.
    XdoTool({"mousemove", "250", "190", "click", "1"});
    ASSERT_TRUE(WaitFor([&] { return Logged(outer, WM_LBUTTONUP); }));
    auto outerDown = MessagesOf(outer, WM_LBUTTONDOWN);
    ASSERT_EQ(1u, outerDown.size());
    EXPECT_EQ(10, GET_X_LPARAM(outerDown.front().lParam));
    EXPECT_EQ(10, GET_Y_LPARAM(outerDown.front().lParam));
}

TEST_F(GtkPresenterTest, ShowingAWindowLoadsNoGlDriverAndLeavesChildrenTheirGl)
{
    COLORREF colour = RGB(10, 20, 30);
    PaintWith(&colour);
    Create(m_title, RECT {100, 100, 300, 260});
    WaitViewable(m_title);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        EXPECT_EQ(line.find("_dri.so"), std::string::npos) << line;
        EXPECT_EQ(line.find("libGLX_mesa"), std::string::npos) << line;
        EXPECT_EQ(line.find("libLLVM"), std::string::npos) << line;
    }
    // The setting that keeps GDK from the driver is not handed on to programs started from here.
    EXPECT_EQ(std::getenv("GDK_GL"), nullptr);
}
