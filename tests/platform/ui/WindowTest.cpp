#include "UiTestSupport.h"

#include "platform/ui/Input.h"
#include "platform/ui/Paint.h"

namespace {

class WindowTest : public UiTest {
protected:
    RecordingClass m_class {u"WindowTestWindow"};
    HWND Top(DWORD style = WS_POPUP | WS_VISIBLE, RECT r = {100, 100, 400, 300})
    {
        return CreateWindowExW(0, m_class.Name(), u"top", style, r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr,
            nullptr, nullptr, nullptr);
    }
    HWND Child(HWND parent, int id, RECT r, DWORD style = WS_CHILD | WS_VISIBLE)
    {
        return CreateWindowExW(0, m_class.Name(), u"child", style, r.left, r.top, r.right - r.left, r.bottom - r.top, parent,
            reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(id)), nullptr, nullptr);
    }
};

} // namespace

TEST_F(WindowTest, CreationSendsTheWindowsSequence)
{
    HWND hwnd = Top();
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(RecordingClass::Sequence(hwnd, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}),
        (std::vector<UINT> {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}));
    EXPECT_TRUE(Presenter().IsShown(hwnd));
    WCHAR text[16];
    EXPECT_EQ(GetWindowTextW(hwnd, text, 16), 3);
    EXPECT_EQ(WString(text), u"top");
    DestroyWindow(hwnd);
}

TEST_F(WindowTest, ACreateHandlerCanRefuseTheWindow)
{
    RecordingClass::handler = [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_CREATE)
            return false;
        *result = -1;
        return true;
    };
    EXPECT_EQ(Top(), nullptr);
    EXPECT_EQ(RecordingClass::Sequence(nullptr, {WM_DESTROY, WM_NCDESTROY}), (std::vector<UINT> {WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WindowTest, DestroyingSendsDestroyParentFirstAndNcDestroyChildrenFirst)
{
    HWND top = Top();
    HWND child = Child(top, 5, {0, 0, 10, 10});
    HWND grandchild = Child(child, 6, {0, 0, 5, 5});
    RecordingClass::Log().clear();
    EXPECT_TRUE(DestroyWindow(top));
    std::vector<std::pair<HWND, UINT>> order;
    for (const auto& m : RecordingClass::Log()) {
        if (m.message == WM_DESTROY || m.message == WM_NCDESTROY)
            order.emplace_back(m.hwnd, m.message);
    }
    std::vector<std::pair<HWND, UINT>> expected {{top, WM_DESTROY}, {child, WM_DESTROY}, {grandchild, WM_DESTROY},
        {grandchild, WM_NCDESTROY}, {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_FALSE(Presenter().IsKnown(top));
    EXPECT_FALSE(SetWindowTextW(child, u"gone")) << "a destroyed handle is refused, not dereferenced";
}

TEST_F(WindowTest, ChildrenAreFoundByIdAndPlacedInClientCoordinates)
{
    HWND top = Top();
    HWND outer = Child(top, 1040, {10, 20, 110, 70}, WS_CHILD | WS_VISIBLE | WS_BORDER);
    HWND inner = Child(outer, 7, {5, 6, 25, 26});
    EXPECT_EQ(GetDlgItem(top, 1040), outer);
    EXPECT_EQ(GetDlgItem(top, 7), nullptr) << "only direct children";
    EXPECT_EQ(GetDlgCtrlID(inner), 7);
    RECT client;
    GetClientRect(outer, &client);
    EXPECT_EQ(client.right, 98) << "a border takes one pixel on each side";
    POINT p {0, 0};
    ClientToScreen(inner, &p);
    EXPECT_EQ(p.x, 100 + 10 + 1 + 5);
    EXPECT_EQ(p.y, 100 + 20 + 1 + 6);
    ScreenToClient(inner, &p);
    EXPECT_EQ(p.x, 0);
    RECT screen;
    GetWindowRect(inner, &screen);
    EXPECT_EQ(screen.left, 116);
    EXPECT_EQ(screen.bottom, 127 + 20);
    EXPECT_EQ(ChildWindowFromPoint(top, {20, 30}), inner);
    EXPECT_EQ(ChildWindowFromPoint(top, {15, 30}), outer) << "the border and the margin belong to the outer child";
    EXPECT_EQ(ChildWindowFromPoint(top, {200, 150}), top);
    DestroyWindow(top);
}

TEST_F(WindowTest, SetWindowPosReportsMoveAndSizeAndTellsThePresenter)
{
    HWND top = Top();
    RecordingClass::Log().clear();
    SetWindowPos(top, nullptr, 0, 0, 642, 618, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(RecordingClass::Sequence(top, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
        (std::vector<UINT> {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE}));
    RECT r = Presenter().RectOf(top);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.right - r.left, 642);
    EXPECT_EQ(r.bottom - r.top, 618);
    const auto& size = RecordingClass::Log().back();
    EXPECT_EQ(size.message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(size.lParam, MAKELPARAM(642, 618));
    DestroyWindow(top);
}

TEST_F(WindowTest, ZOrderAndVisibility)
{
    HWND top = Top();
    HWND a = Child(top, 1, {0, 0, 10, 10});
    HWND b = Child(top, 2, {0, 0, 10, 10});
    EXPECT_EQ(GetWindow(top, GW_CHILD), b) << "a new child goes on top";
    SetWindowPos(b, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(top, GW_CHILD), a);
    EXPECT_EQ(ChildWindowFromPoint(top, {5, 5}), a);
    ShowWindow(a, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(a));
    EXPECT_EQ(ChildWindowFromPoint(top, {5, 5}), b);
    ShowWindow(top, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(b)) << "a child of a hidden window is not visible";
    EXPECT_FALSE(Presenter().IsShown(top));
    DestroyWindow(top);
}

TEST_F(WindowTest, WindowDataAndProperties)
{
    HWND top = Top();
    SetWindowLongPtrW(top, GWLP_USERDATA, 1234);
    EXPECT_EQ(GetWindowLongPtrW(top, GWLP_USERDATA), 1234);
    SetWindowLongPtrW(top, 8, 99);
    EXPECT_EQ(GetWindowLongPtrW(top, 8), 99);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrW(top, 16), 0) << "past the class's extra bytes";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_INDEX);
    int value = 5;
    SetPropW(top, u"engine", &value);
    EXPECT_EQ(GetPropW(top, u"engine"), &value);
    EXPECT_EQ(RemovePropW(top, u"engine"), &value);
    EXPECT_EQ(GetPropW(top, u"engine"), nullptr);
    DestroyWindow(top);
}

TEST_F(WindowTest, ClassesAreCaseInsensitiveAndRegisteredOnce)
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"windowtestwindow";
    EXPECT_EQ(RegisterClassExW(&wc), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    WNDCLASSEXW info {};
    ASSERT_TRUE(GetClassInfoExW(nullptr, u"WINDOWTESTWINDOW", &info));
    EXPECT_EQ(WString(info.lpszClassName), u"WindowTestWindow");
    EXPECT_FALSE(CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, CloseRequestFromTheDesktopDestroysThroughDefaultHandling)
{
    HWND top = Top();
    Presenter().RequestClose(top);
    PumpUntil([&] { return !IsWindow(top); });
    EXPECT_EQ(RecordingClass::Sequence(top, {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}),
        (std::vector<UINT> {WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}));
}

TEST_F(WindowTest, APopupCoveringTheMonitorIsShownFullScreenAndLeavesItWhenResized)
{
    HWND top = Top();
    EXPECT_FALSE(Presenter().IsFullScreen(top));
    SetWindowPos(top, HWND_TOPMOST, 0, 0, 1920, 1080, 0);
    EXPECT_TRUE(Presenter().IsFullScreen(top));
    EXPECT_TRUE(Presenter().IsTopmost(top));
    SetWindowPos(top, HWND_NOTOPMOST, 10, 10, 640, 480, 0);
    EXPECT_FALSE(Presenter().IsFullScreen(top));
    DestroyWindow(top);
}
