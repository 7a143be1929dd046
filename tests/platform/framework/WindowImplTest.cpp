#include "../ui/UiTestSupport.h"

#include "platform/framework/DoubleBuffer.h"
#include "platform/framework/WindowImpl.h"
#include "platform/ui/Screen.h"

namespace {

constexpr UINT kAsk = WM_USER + 20;

class CProbe : public CWindowImpl<CProbe> {
public:
    DECLARE_WND_CLASS_EX(u"ProbeWindow", CS_DBLCLKS, COLOR_WINDOW)

    BEGIN_MSG_MAP(CProbe)
        MESSAGE_HANDLER(kAsk, OnAsk)
        COMMAND_ID_HANDLER(1041, OnCommand)
        COMMAND_RANGE_HANDLER(10000, 10100, OnRange)
        MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
    END_MSG_MAP()

    LRESULT OnAsk(UINT, WPARAM wParam, LPARAM, BOOL&) { return static_cast<LRESULT>(wParam) + 1; }
    LRESULT OnCommand(WORD, WORD id, HWND, BOOL&)
    {
        commands.push_back(id);
        return 0;
    }
    LRESULT OnRange(WORD, WORD id, HWND, BOOL&)
    {
        ranged.push_back(id);
        return 0;
    }
    // Sees the text, then lets the default handling store it.
    LRESULT OnSetText(UINT, WPARAM, LPARAM, BOOL& handled)
    {
        ++textsSeen;
        handled = FALSE;
        return 0;
    }
    void OnFinalMessage(HWND hwnd) override { finalFor = hwnd; }

    std::vector<WORD> commands;
    std::vector<WORD> ranged;
    int textsSeen = 0;
    HWND finalFor = nullptr;
};

class CBuffered : public CWindowImpl<CBuffered>, public CDoubleBufferImpl<CBuffered> {
public:
    DECLARE_WND_CLASS_EX(u"BufferedWindow", 0, COLOR_WINDOW)
    BEGIN_MSG_MAP(CBuffered)
        CHAIN_MSG_MAP(CDoubleBufferImpl<CBuffered>)
    END_MSG_MAP()

    // The whole client area in green, and a blue square at (10, 10): drawn in client coordinates
    // whatever part of the window is being painted.
    void DoPaint(HDC dc)
    {
        ++paints;
        RECT client;
        GetClientRect(&client);
        HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
        FillRect(dc, &client, green);
        DeleteObject(green);
        RECT square {10, 10, 20, 20};
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(dc, &square, blue);
        DeleteObject(blue);
    }
    int paints = 0;
};

class CWindowImplTest : public UiTest { };

} // namespace

TEST_F(CWindowImplTest, MessagesGoThroughTheMapAndUnhandledOnesToTheDefault)
{
    CProbe probe;
    HWND hwnd = probe.Create(nullptr, RECT {0, 0, 100, 100}, u"probe", WS_POPUP);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(probe.m_hWnd, hwnd);
    EXPECT_EQ(SendMessageW(hwnd, kAsk, 41, 0), 42);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1041, 0), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(10002, 0), 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(10101, 0), 0);
    EXPECT_EQ(probe.commands, (std::vector<WORD> {1041}));
    EXPECT_EQ(probe.ranged, (std::vector<WORD> {10002}));
    probe.SetWindowText(u"changed");
    EXPECT_GE(probe.textsSeen, 1);
    WCHAR text[16];
    probe.GetWindowText(text, 16);
    EXPECT_EQ(WString(text), u"changed") << "a handler that clears `handled` leaves the message to the default";
    probe.DestroyWindow();
    EXPECT_EQ(probe.finalFor, hwnd);
    EXPECT_EQ(probe.m_hWnd, nullptr);
}

TEST_F(CWindowImplTest, DoubleBufferedPaintingDrawsInClientCoordinatesForAPartialArea)
{
    CBuffered window;
    HWND hwnd = window.Create(nullptr, RECT {0, 0, 60, 40}, u"", WS_POPUP | WS_VISIBLE);
    PumpPending();
    EXPECT_EQ(Presenter().PixelAt(hwnd, 15, 15), 0x0000FF);
    EXPECT_EQ(Presenter().PixelAt(hwnd, 40, 30), 0x00FF00);
    // Repaint only a part that holds half the square: the buffer is that part, drawing stays in place.
    RECT part {15, 0, 60, 40};
    window.InvalidateRect(&part, TRUE);
    int before = window.paints;
    PumpPending();
    EXPECT_EQ(window.paints, before + 1);
    EXPECT_EQ(Presenter().PixelAt(hwnd, 17, 15), 0x0000FF);
    EXPECT_EQ(Presenter().PixelAt(hwnd, 12, 15), 0x0000FF);
    EXPECT_EQ(Presenter().PixelAt(hwnd, 25, 15), 0x00FF00);
    window.DestroyWindow();
}

TEST_F(CWindowImplTest, CenterWindowUsesTheWorkAreaAndStaysInsideIt)
{
    CProbe probe;
    probe.Create(nullptr, RECT {0, 0, 642, 618}, u"", WS_POPUP);
    probe.CenterWindow();
    RECT r;
    probe.GetWindowRect(&r);
    // The headless screen is 1920 × 1080 with a 40-pixel panel at the bottom.
    EXPECT_EQ(r.left, 960 - 321);
    EXPECT_EQ(r.top, 520 - 309);
    EXPECT_EQ(r.right - r.left, 642) << "only the position changes";
    probe.MoveWindow(0, 0, 642, 1200);
    probe.CenterWindow();
    probe.GetWindowRect(&r);
    EXPECT_EQ(r.top, 0) << "a window taller than the work area keeps its top edge on it";
    probe.DestroyWindow();
}

TEST_F(CWindowImplTest, CenterWindowPrefersAVisibleOwner)
{
    CProbe owner;
    owner.Create(nullptr, RECT {100, 100, 500, 400}, u"", WS_POPUP | WS_VISIBLE);
    CProbe owned;
    owned.Create(owner, RECT {0, 0, 200, 100}, u"", WS_POPUP);
    owned.CenterWindow();
    RECT r;
    owned.GetWindowRect(&r);
    EXPECT_EQ(r.left, 300 - 100);
    EXPECT_EQ(r.top, 250 - 50);
    owner.ShowWindow(SW_MINIMIZE);
    owned.CenterWindow();
    owned.GetWindowRect(&r);
    EXPECT_EQ(r.left, 960 - 100) << "a minimised owner is not a reference";
    owned.DestroyWindow();
    owner.DestroyWindow();
}
