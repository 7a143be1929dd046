#include "platform/ui/Window.h"

#include "platform/sys/Thread.h"
#include "platform/ui/ForeignWindows.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Presenter.h"
#include "platform/ui/ThreadQueue.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowDirectory.h"
#include "platform/ui/WindowObject.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

constexpr ULONG_PTR kFirstHandle = 0x10010;
constexpr ULONG_PTR kHandleStep = 4;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

// The handle table. Window records are touched by their own thread only; the table itself is
// shared because posting and sending look windows up from any thread.
struct WindowTable {
    std::mutex lock;
    std::unordered_map<ULONG_PTR, std::unique_ptr<WindowObject>> windows;
    std::vector<HWND> topLevels; // creation order
    ULONG_PTR nextHandle = kFirstHandle;
};

WindowTable& Table()
{
    static WindowTable* table = new WindowTable; // windows may outlive static destruction order
    return *table;
}

ULONG_PTR Key(HWND hwnd)
{
    return reinterpret_cast<ULONG_PTR>(hwnd);
}

WindowObject* OwnWindow(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return w;
}

bool IsTopLevel(const WindowObject& w)
{
    return !w.IsChild();
}

LONG BorderOf(const WindowObject& w)
{
    return (w.style & (WS_BORDER | WS_DLGFRAME)) ? 1 : 0;
}

void ResizeSurface(WindowObject& w)
{
    int width = std::max<LONG>(1, w.Width());
    int height = std::max<LONG>(1, w.Height());
    if (w.surface && cairo_image_surface_get_width(w.surface) == width && cairo_image_surface_get_height(w.surface) == height)
        return;
    cairo_surface_t* fresh = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (w.surface) {
        // Keep the old picture until the new one is painted, so a resize does not flash.
        cairo_t* cr = cairo_create(fresh);
        cairo_set_source_surface(cr, w.surface, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(w.surface);
    }
    w.surface = fresh;
}

// Marks the area a child covers (in its parent's client coordinates) for repainting in the parent.
void InvalidateAreaInParent(const WindowObject& w)
{
    if (!w.IsChild())
        return;
    InvalidateRect(w.parent, &w.rect, TRUE);
}

void SendSizeAndMove(HWND hwnd, WindowObject& w, bool sized, bool moved)
{
    if (sized) {
        RECT client;
        GetClientRect(hwnd, &client);
        WPARAM kind = w.minimized ? SIZE_MINIMIZED : SIZE_RESTORED;
        SendMessageW(hwnd, WM_SIZE, kind, MAKELPARAM(client.right, client.bottom));
    }
    if (moved)
        SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(w.rect.left, w.rect.top));
}

void DestroyTree(HWND hwnd);

void SendDestroyMessages(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return;
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    w = FindWindowObject(hwnd);
    if (!w)
        return;
    std::vector<HWND> children = w->children;
    for (HWND child : children)
        SendDestroyMessages(child);
}

void DestroyTree(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return;
    std::vector<HWND> children = w->children;
    for (HWND child : children)
        DestroyTree(child);
    WindowLostByInput(hwnd);
    ForgetWindowMessages(hwnd);
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    w = FindWindowObject(hwnd);
    if (!w)
        return;
    bool topLevel = IsTopLevel(*w);
    if (topLevel)
        CurrentPresenter().WindowDestroyed(hwnd);
    auto& table = Table();
    std::unique_ptr<WindowObject> doomed;
    {
        std::lock_guard guard(table.lock);
        auto it = table.windows.find(Key(hwnd));
        if (it == table.windows.end())
            return;
        doomed = std::move(it->second);
        table.windows.erase(it);
        std::erase(table.topLevels, hwnd);
    }
    if (WindowObject* parent = FindWindowObject(doomed->parent))
        std::erase(parent->children, hwnd);
    doomed->windowClass->windows--;
}

// A top-level popup that covers a whole monitor is shown full screen, as such windows are on Windows:
// above panels and docks.
void UpdateFullScreen(HWND hwnd, WindowObject& w)
{
    bool covers = false;
    if (!w.IsChild() && (w.style & WS_POPUP)) {
        for (const auto& monitor : CurrentPresenter().Monitors()) {
            const RECT& m = monitor.monitor;
            if (w.rect.left == m.left && w.rect.top == m.top && w.rect.right == m.right && w.rect.bottom == m.bottom)
                covers = true;
        }
    }
    if (covers == w.fullScreen)
        return;
    w.fullScreen = covers;
    CurrentPresenter().SetFullScreen(hwnd, covers);
}

void CenterDefault(int& x, int& y, int width, int height)
{
    auto monitors = CurrentPresenter().Monitors();
    RECT work = monitors.empty() ? RECT {0, 0, 1024, 768} : monitors.front().work;
    x = work.left + (work.right - work.left - width) / 2;
    y = work.top + (work.bottom - work.top - height) / 2;
}

} // namespace

WindowObject::~WindowObject()
{
    if (invalid)
        cairo_region_destroy(invalid);
    if (surface)
        cairo_surface_destroy(surface);
}

WindowObject* FindWindowObject(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.windows.find(Key(hwnd));
    return it == table.windows.end() ? nullptr : it->second.get();
}

std::shared_ptr<ThreadQueue> QueueOfWindow(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.windows.find(Key(hwnd));
    return it == table.windows.end() ? nullptr : it->second->queue;
}

HWND TopLevelOf(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    while (w && w->IsChild()) {
        hwnd = w->parent;
        w = FindWindowObject(hwnd);
    }
    return w ? hwnd : nullptr;
}

POINT OffsetInTopLevel(HWND hwnd)
{
    POINT offset {0, 0};
    WindowObject* w = FindWindowObject(hwnd);
    while (w) {
        LONG border = BorderOf(*w);
        offset.x += border;
        offset.y += border;
        if (!w->IsChild())
            break;
        offset.x += w->rect.left;
        offset.y += w->rect.top;
        w = FindWindowObject(w->parent);
    }
    return offset;
}

bool IsReallyVisible(HWND hwnd)
{
    for (WindowObject* w = FindWindowObject(hwnd); w; w = FindWindowObject(w->parent)) {
        if (!w->IsVisible() || w->minimized)
            return false;
        if (!w->IsChild())
            return true;
    }
    return false;
}

std::vector<HWND> WindowsOfThisThreadInPaintOrder()
{
    DWORD self = GetCurrentThreadId();
    std::vector<HWND> tops;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        for (HWND top : table.topLevels) {
            auto it = table.windows.find(Key(top));
            if (it != table.windows.end() && it->second->threadId == self)
                tops.push_back(top);
        }
    }
    std::vector<HWND> order;
    // Parents first; among siblings the bottom of the z-order first, so upper siblings paint last.
    auto visit = [&](auto&& self, HWND hwnd) -> void {
        order.push_back(hwnd);
        WindowObject* w = FindWindowObject(hwnd);
        if (!w)
            return;
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
            self(self, *it);
    };
    for (HWND top : tops)
        visit(visit, top);
    return order;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
    int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    auto windowClass = FindWindowClass(className);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowObject* parentObject = nullptr;
    if (parent && parent != HWND_MESSAGE) {
        parentObject = FindWindowObject(parent);
        if (!parentObject) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
    }
    if ((style & WS_CHILD) && !parentObject) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (!(style & WS_CHILD)) {
        if (width == CW_USEDEFAULT)
            width = kDefaultWidth, height = kDefaultHeight;
        if (x == CW_USEDEFAULT)
            CenterDefault(x, y, width, height);
    } else {
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT)
            width = height = 0;
    }

    auto object = std::make_unique<WindowObject>();
    WindowObject& w = *object;
    w.windowClass = windowClass;
    w.proc = windowClass->info.lpfnWndProc;
    w.style = style & ~WS_VISIBLE;
    w.exStyle = exStyle;
    w.instance = instance;
    w.extra.assign(static_cast<size_t>(std::max(0, windowClass->info.cbWndExtra)), 0);
    w.rect = {x, y, x + std::max(0, width), y + std::max(0, height)};
    w.queue = CurrentQueue();
    w.threadId = GetCurrentThreadId();
    if (style & WS_CHILD) {
        w.parent = parent;
        w.id = reinterpret_cast<LONG_PTR>(menu);
    } else if (parentObject) {
        w.owner = TopLevelOf(parent);
    }

    HWND hwnd;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        hwnd = reinterpret_cast<HWND>(table.nextHandle);
        table.nextHandle += kHandleStep;
        w.handle = hwnd;
        table.windows.emplace(Key(hwnd), std::move(object));
        if (!(style & WS_CHILD))
            table.topLevels.push_back(hwnd);
    }
    windowClass->windows++;
    if (WindowObject* p = FindWindowObject(w.parent))
        p->children.insert(p->children.begin(), hwnd);
    if (!(style & WS_CHILD)) {
        ResizeSurface(w);
        CurrentPresenter().WindowCreated(hwnd, w.rect, style, exStyle);
        ServeWindowDirectory();
        UpdateFullScreen(hwnd, w);
    }

    CREATESTRUCTW create {};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menu;
    create.hwndParent = parent;
    create.cx = w.Width();
    create.cy = w.Height();
    create.x = w.rect.left;
    create.y = w.rect.top;
    create.style = static_cast<LONG>(style);
    create.lpszName = windowName;
    create.lpszClass = className;
    create.dwExStyle = exStyle;
    auto lparam = reinterpret_cast<LPARAM>(&create);
    if (!SendMessageW(hwnd, WM_NCCREATE, 0, lparam) || SendMessageW(hwnd, WM_CREATE, 0, lparam) == -1) {
        DestroyWindow(hwnd);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    WindowObject* created = FindWindowObject(hwnd);
    if (!created)
        return nullptr;
    SendSizeAndMove(hwnd, *created, true, true);
    if (style & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOW);
    return FindWindowObject(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return FALSE;
    if (w->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (w->destroying)
        return TRUE;
    w->destroying = true;
    if (w->IsVisible())
        ShowWindow(hwnd, SW_HIDE);
    // Owned top-level windows go first, as on Windows.
    std::vector<HWND> owned;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        for (HWND top : table.topLevels) {
            auto it = table.windows.find(Key(top));
            if (it != table.windows.end() && it->second->owner == hwnd)
                owned.push_back(top);
        }
    }
    for (HWND o : owned)
        DestroyWindow(o);
    SendDestroyMessages(hwnd);
    DestroyTree(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    if (IsForeignWindow(hwnd))
        return ForeignIsWindow(hwnd);
    return FindWindowObject(hwnd) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int command)
{
    if (IsForeignWindow(hwnd))
        return ForeignShowWindow(hwnd, command);
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return FALSE;
    BOOL wasVisible = w->IsVisible() ? TRUE : FALSE;
    bool wasMinimized = w->minimized;
    if (command == SW_HIDE) {
        if (!wasVisible)
            return FALSE;
        SendMessageW(hwnd, WM_SHOWWINDOW, FALSE, 0);
        if (!(w = FindWindowObject(hwnd)))
            return wasVisible;
        w->style &= ~WS_VISIBLE;
        if (w->IsChild())
            InvalidateAreaInParent(*w);
        else
            CurrentPresenter().WindowHidden(hwnd);
        WindowHiddenForInput(hwnd);
        return wasVisible;
    }
    bool minimize = command == SW_MINIMIZE || command == SW_SHOWMINIMIZED || command == SW_SHOWMINNOACTIVE;
    if (!wasVisible) {
        SendMessageW(hwnd, WM_SHOWWINDOW, TRUE, 0);
        if (!(w = FindWindowObject(hwnd)))
            return wasVisible;
    }
    w->style |= WS_VISIBLE;
    w->minimized = minimize && !w->IsChild();
    if (!w->IsChild()) {
        CurrentPresenter().WindowShown(hwnd, command);
        bool activate = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && command != SW_SHOWMINNOACTIVE && !minimize
            && !(w->exStyle & WS_EX_NOACTIVATE);
        if (activate)
            SetActiveWindow(hwnd);
    }
    if (wasMinimized != w->minimized)
        SendSizeAndMove(hwnd, *w, true, false);
    if (!wasVisible || wasMinimized != w->minimized)
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd)
{
    if (IsForeignWindow(hwnd))
        return ForeignIsWindowVisible(hwnd);
    // A minimised window is still visible, as on Windows.
    WindowObject* w = FindWindowObject(hwnd);
    return IsReallyVisible(hwnd) || (w && !w->IsChild() && w->minimized && w->IsVisible()) ? TRUE : FALSE;
}

BOOL IsIconic(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    return w && w->minimized ? TRUE : FALSE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable == !wasDisabled)
        return wasDisabled;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    SendMessageW(hwnd, WM_ENABLE, enable, 0);
    InvalidateRect(hwnd, nullptr, TRUE);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return FALSE;
    WINDOWPOS pos {hwnd, insertAfter, x, y, cx, cy, flags};
    if (flags & SWP_NOMOVE)
        pos.x = w->rect.left, pos.y = w->rect.top;
    if (flags & SWP_NOSIZE)
        pos.cx = w->Width(), pos.cy = w->Height();
    pos.cx = std::max(0, pos.cx);
    pos.cy = std::max(0, pos.cy);
    if (!(flags & SWP_NOSENDCHANGING))
        SendMessageW(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    if (!(w = FindWindowObject(hwnd)))
        return FALSE;

    bool redraw = !(flags & SWP_NOREDRAW);
    RECT old = w->rect;
    RECT fresh = {pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
    bool moved = fresh.left != old.left || fresh.top != old.top;
    bool sized = (fresh.right - fresh.left) != (old.right - old.left) || (fresh.bottom - fresh.top) != (old.bottom - old.top);

    if (redraw && w->IsChild() && w->IsVisible() && (moved || sized))
        InvalidateAreaInParent(*w);
    w->rect = fresh;

    if (!(flags & SWP_NOZORDER)) {
        if (WindowObject* parent = FindWindowObject(w->parent)) {
            auto& siblings = parent->children;
            std::erase(siblings, hwnd);
            auto at = siblings.begin();
            if (insertAfter == HWND_BOTTOM) {
                at = siblings.end();
            } else if (insertAfter != HWND_TOP && insertAfter != HWND_TOPMOST && insertAfter != HWND_NOTOPMOST) {
                auto it = std::find(siblings.begin(), siblings.end(), insertAfter);
                at = it == siblings.end() ? siblings.begin() : it + 1;
            }
            siblings.insert(at, hwnd);
            if (redraw)
                InvalidateRect(hwnd, nullptr, TRUE);
        } else if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
            if (insertAfter == HWND_TOPMOST)
                w->exStyle |= WS_EX_TOPMOST;
            else
                w->exStyle &= ~WS_EX_TOPMOST;
            CurrentPresenter().SetTopmost(hwnd, insertAfter == HWND_TOPMOST);
        }
    }

    if (!w->IsChild() && (moved || sized)) {
        if (sized)
            ResizeSurface(*w);
        CurrentPresenter().WindowMoved(hwnd, w->rect);
        UpdateFullScreen(hwnd, *w);
    }
    if (sized && redraw)
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    else if (moved && redraw && w->IsChild())
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);

    if (flags & SWP_SHOWWINDOW)
        ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    else if (flags & SWP_HIDEWINDOW)
        ShowWindow(hwnd, SW_HIDE);
    else if (!(flags & SWP_NOACTIVATE) && !w->IsChild() && w->IsVisible() && !(flags & SWP_NOZORDER))
        SetActiveWindow(hwnd);

    if (!(w = FindWindowObject(hwnd)))
        return TRUE;
    pos.flags = flags | (moved ? 0 : SWP_NOMOVE) | (sized ? 0 : SWP_NOSIZE);
    SendMessageW(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW);
    return SetWindowPos(hwnd, nullptr, x, y, width, height, flags);
}

BOOL BringWindowToTop(HWND hwnd)
{
    return SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w || !rect)
        return FALSE;
    LONG border = BorderOf(*w);
    *rect = {0, 0, std::max<LONG>(0, w->Width() - 2 * border), std::max<LONG>(0, w->Height() - 2 * border)};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w || !rect)
        return FALSE;
    *rect = w->rect;
    if (w->IsChild()) {
        POINT origin {0, 0};
        ClientToScreen(w->parent, &origin);
        rect->left += origin.x;
        rect->right += origin.x;
        rect->top += origin.y;
        rect->bottom += origin.y;
    }
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w || !point)
        return FALSE;
    POINT offset = OffsetInTopLevel(hwnd);
    WindowObject* top = FindWindowObject(TopLevelOf(hwnd));
    point->x += offset.x + top->rect.left;
    point->y += offset.y + top->rect.top;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w || !point)
        return FALSE;
    POINT origin {0, 0};
    ClientToScreen(hwnd, &origin);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count)
{
    POINT a {0, 0};
    POINT b {0, 0};
    if (from)
        ClientToScreen(from, &a);
    if (to)
        ClientToScreen(to, &b);
    LONG dx = a.x - b.x;
    LONG dy = a.y - b.y;
    for (UINT i = 0; i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    return static_cast<int>(MAKELPARAM(dx, dy));
}

HWND GetParent(HWND hwnd)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return nullptr;
    return w->IsChild() ? w->parent : w->owner;
}

HWND GetWindow(HWND hwnd, UINT command)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return nullptr;
    if (command == GW_OWNER)
        return w->owner;
    if (command == GW_CHILD)
        return w->children.empty() ? nullptr : w->children.front();
    WindowObject* parent = FindWindowObject(w->parent);
    if (!parent)
        return nullptr;
    auto& siblings = parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), hwnd);
    switch (command) {
    case GW_HWNDFIRST:
        return siblings.front();
    case GW_HWNDLAST:
        return siblings.back();
    case GW_HWNDNEXT:
        return it + 1 < siblings.end() ? *(it + 1) : nullptr;
    case GW_HWNDPREV:
        return it != siblings.begin() ? *(it - 1) : nullptr;
    default:
        return nullptr;
    }
}

HWND GetAncestor(HWND hwnd, UINT flags)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return nullptr;
    switch (flags) {
    case GA_PARENT:
        return w->IsChild() ? w->parent : GetDesktopWindow();
    case GA_ROOT:
        return TopLevelOf(hwnd);
    case GA_ROOTOWNER: {
        HWND root = TopLevelOf(hwnd);
        while (WindowObject* r = FindWindowObject(root)) {
            if (!r->owner)
                break;
            root = r->owner;
        }
        return root;
    }
    default:
        return nullptr;
    }
}

BOOL IsChild(HWND parent, HWND hwnd)
{
    WindowObject* w = FindWindowObject(hwnd);
    while (w && w->IsChild()) {
        if (w->parent == parent)
            return TRUE;
        w = FindWindowObject(w->parent);
    }
    return FALSE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    WindowObject* w = OwnWindow(dialog);
    if (!w)
        return nullptr;
    for (HWND child : w->children) {
        WindowObject* c = FindWindowObject(child);
        if (c && c->id == id)
            return child;
    }
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd)
{
    WindowObject* w = OwnWindow(hwnd);
    return w && w->IsChild() ? static_cast<int>(w->id) : 0;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM lParam)
{
    if (!callback)
        return FALSE;
    std::vector<HWND> tops;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        tops = table.topLevels;
    }
    for (HWND top : tops) {
        if (IsWindow(top) && !callback(top, lParam))
            break;
    }
    return TRUE;
}

HWND GetDesktopWindow()
{
    // The desktop is not a window of the layer; a fixed handle that names no window stands for it.
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x10000));
}

HWND ChildWindowFromPoint(HWND parent, POINT point)
{
    WindowObject* w = FindWindowObject(parent);
    if (!w)
        return nullptr;
    for (HWND child : w->children) {
        WindowObject* c = FindWindowObject(child);
        if (!c || !c->IsVisible() || (c->style & WS_DISABLED))
            continue;
        if (point.x < c->rect.left || point.x >= c->rect.right || point.y < c->rect.top || point.y >= c->rect.bottom)
            continue;
        POINT inner {point.x - c->rect.left - BorderOf(*c), point.y - c->rect.top - BorderOf(*c)};
        return ChildWindowFromPoint(child, inner);
    }
    return parent;
}

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text)
{
    if (!OwnWindow(hwnd))
        return FALSE;
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int capacity)
{
    if (!buffer || capacity <= 0 || !OwnWindow(hwnd))
        return 0;
    buffer[0] = 0;
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(capacity), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND hwnd)
{
    if (!OwnWindow(hwnd))
        return 0;
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? SetWindowTextW(item, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int capacity)
{
    HWND item = GetDlgItem(dialog, id);
    if (!item) {
        if (buffer && capacity > 0)
            buffer[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(item, buffer, capacity));
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return 0;
    switch (index) {
    case GWL_STYLE:
        return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->IsChild() ? w->parent : w->owner);
    case GWLP_ID:
        return w->id;
    case GWLP_USERDATA:
        return w->userData;
    default:
        break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, w->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w)
        return 0;
    LONG_PTR old = GetWindowLongPtrW(hwnd, index);
    switch (index) {
    case GWL_STYLE:
        // WS_VISIBLE changes through ShowWindow only, so the window and the presenter agree.
        w->style = (static_cast<DWORD>(value) & ~WS_VISIBLE) | (w->style & WS_VISIBLE);
        return old;
    case GWL_EXSTYLE:
        w->exStyle = static_cast<DWORD>(value);
        return old;
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWLP_HINSTANCE:
        w->instance = reinterpret_cast<HINSTANCE>(value);
        return old;
    case GWLP_ID:
        w->id = value;
        return old;
    case GWLP_USERDATA:
        w->userData = value;
        return old;
    default:
        break;
    }
    if (index < 0 || static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(w->extra.data() + index, &value, sizeof value);
    return old;
}

LONG GetWindowLongW(HWND hwnd, int index)
{
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG SetWindowLongW(HWND hwnd, int index, LONG value)
{
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

BOOL SetPropW(HWND hwnd, LPCWSTR name, HANDLE data)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w || !name)
        return FALSE;
    w->properties[WString(ToView(name))] = data;
    return TRUE;
}

HANDLE GetPropW(HWND hwnd, LPCWSTR name)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->properties.find(WString(ToView(name)));
    return it == w->properties.end() ? nullptr : it->second;
}

HANDLE RemovePropW(HWND hwnd, LPCWSTR name)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w || !name)
        return nullptr;
    auto it = w->properties.find(WString(ToView(name)));
    if (it == w->properties.end())
        return nullptr;
    HANDLE data = it->second;
    w->properties.erase(it);
    return data;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId)
{
    auto q = QueueOfWindow(hwnd);
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (processId)
        *processId = static_cast<DWORD>(getpid());
    return q->threadId;
}

int GetClassNameW(HWND hwnd, LPWSTR buffer, int capacity)
{
    WindowObject* w = OwnWindow(hwnd);
    if (!w || !buffer || capacity <= 0)
        return 0;
    CopyToBuffer(w->windowClass->name, buffer, static_cast<size_t>(capacity));
    return lstrlenW(buffer);
}

std::vector<HWND> TopLevelWindowsOfProcess()
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return table.topLevels;
}

void ApplyMoveByUser(HWND hwnd, const RECT& rect)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w || w->IsChild())
        return;
    RECT old = w->rect;
    bool moved = rect.left != old.left || rect.top != old.top;
    bool sized = rect.right - rect.left != old.right - old.left || rect.bottom - rect.top != old.bottom - old.top;
    if (!moved && !sized)
        return;
    w->rect = rect;
    if (sized) {
        ResizeSurface(*w);
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    WINDOWPOS pos {hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
        SWP_NOZORDER | SWP_NOACTIVATE | (moved ? 0u : SWP_NOMOVE) | (sized ? 0u : SWP_NOSIZE)};
    SendMessageW(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
}
