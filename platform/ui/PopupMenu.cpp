// TrackPopupMenu: the menu windows, their drawing and the loop that runs while they are open.
#include "platform/ui/Menu.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

const WCHAR kMenuClass[] = u"#32768";
constexpr DWORD ERROR_POPUP_ALREADY_ACTIVE = 1446;

constexpr int kBorder = 1;
constexpr int kPadding = 3; // above the first item and below the last
constexpr int kItemHeight = 24;
constexpr int kSeparatorHeight = 9;
constexpr int kGutter = 28; // the column of check marks
constexpr int kArrowWidth = 22;
constexpr int kAcceleratorGap = 24;
constexpr int kMinWidth = 140;
constexpr int kSubmenuOverlap = 2;

constexpr COLORREF kBackground = RGB(249, 249, 249);
constexpr COLORREF kFrame = RGB(151, 151, 151);
constexpr COLORREF kHighlight = RGB(204, 232, 255);
constexpr COLORREF kSeparator = RGB(215, 215, 215);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kGrayText = RGB(128, 128, 128);

struct Item {
    UINT id = 0;
    UINT state = 0;
    HMENU popup = nullptr;
    WString label;
    WString accelerator; // what follows a tab in the text, drawn at the right
    RECT rect {};

    bool IsSeparator() const { return (state & MF_SEPARATOR) && !popup; }
    bool IsEnabled() const { return !(state & (MF_GRAYED | MF_DISABLED)); }
};

struct Level {
    HMENU menu = nullptr;
    HWND window = nullptr;
    std::vector<Item> items;
    int highlight = -1;
    SIZE size {};
};

struct Hit {
    int level = -1;
    int item = -1;
};

HFONT CreateMenuFont()
{
    return CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, u"Segoe UI");
}

WString MenuText(HMENU menu, int position)
{
    int length = GetMenuStringW(menu, static_cast<UINT>(position), nullptr, 0, MF_BYPOSITION);
    if (length <= 0)
        return {};
    WString text(static_cast<size_t>(length) + 1, u'\0');
    GetMenuStringW(menu, static_cast<UINT>(position), text.data(), length + 1, MF_BYPOSITION);
    text.resize(static_cast<size_t>(length));
    return text;
}

std::vector<Item> SnapshotItems(HMENU menu)
{
    std::vector<Item> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        Item item;
        item.popup = GetSubMenu(menu, i);
        UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        // A popup's state carries its item count in the high byte.
        item.state = item.popup ? (state & 0xFF) : state;
        item.id = item.popup ? 0 : GetMenuItemID(menu, i);
        WString text = MenuText(menu, i);
        size_t tab = text.find(u'\t');
        item.label = text.substr(0, tab);
        if (tab != WString::npos)
            item.accelerator = text.substr(tab + 1);
        items.push_back(std::move(item));
    }
    return items;
}

SIZE MeasureText(HDC dc, const WString& text)
{
    if (text.empty())
        return {0, 0};
    RECT r {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_CALCRECT);
    return {r.right - r.left, r.bottom - r.top};
}

// Sizes the menu window and lays its items out in client coordinates.
void Layout(Level& level, HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, font);
    LONG label = 0;
    LONG accelerator = 0;
    for (const Item& item : level.items) {
        if (item.IsSeparator())
            continue;
        label = std::max(label, MeasureText(dc, item.label).cx);
        accelerator = std::max(accelerator, MeasureText(dc, item.accelerator).cx);
    }
    SelectObject(dc, oldFont);
    DeleteDC(dc);

    LONG width = kGutter + label + (accelerator ? kAcceleratorGap + accelerator : 0) + kArrowWidth + 2 * kBorder;
    width = std::max<LONG>(width, kMinWidth);
    LONG y = kBorder + kPadding;
    for (Item& item : level.items) {
        LONG height = item.IsSeparator() ? kSeparatorHeight : kItemHeight;
        item.rect = {kBorder, y, width - kBorder, y + height};
        y += height;
    }
    level.size = {width, y + kPadding + kBorder};
}

RECT WorkAreaAt(POINT point)
{
    MONITORINFO info {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info))
        return info.rcWork;
    RECT work {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

LONG Clamp(LONG value, LONG low, LONG high)
{
    return std::max(low, std::min(value, std::max(low, high)));
}

// The root menu at (x, y): aligned as asked, flipped to the other side of the point when it would
// leave the work area, and kept inside it.
POINT PlaceRoot(int x, int y, SIZE size, UINT flags)
{
    RECT work = WorkAreaAt({x, y});
    LONG left = x;
    if (flags & TPM_CENTERALIGN)
        left = x - size.cx / 2;
    else if (flags & TPM_RIGHTALIGN)
        left = x - size.cx;
    if (left + size.cx > work.right)
        left = left == x ? x - size.cx : work.right - size.cx;
    LONG top = y;
    if (top + size.cy > work.bottom)
        top = y - size.cy;
    return {Clamp(left, work.left, work.right - size.cx), Clamp(top, work.top, work.bottom - size.cy)};
}

// A submenu beside the item that opens it: to the right, or to the left when there is no room.
POINT PlaceSubmenu(const RECT& parentWindow, const RECT& itemOnScreen, SIZE size)
{
    RECT work = WorkAreaAt({itemOnScreen.right, itemOnScreen.top});
    LONG left = parentWindow.right - kSubmenuOverlap;
    if (left + size.cx > work.right)
        left = parentWindow.left - size.cx + kSubmenuOverlap;
    LONG top = itemOnScreen.top - kPadding - kBorder;
    return {Clamp(left, work.left, work.right - size.cx), Clamp(top, work.top, work.bottom - size.cy)};
}

WCHAR MnemonicOf(const WString& label)
{
    for (size_t i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != u'&')
            continue;
        if (label[i + 1] != u'&')
            return FoldCase(label[i + 1]);
        ++i;
    }
    return 0;
}

void FillColor(HDC dc, const RECT& rect, COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void DrawFrame(HDC dc, const RECT& r, COLORREF color)
{
    FillColor(dc, {r.left, r.top, r.right, r.top + 1}, color);
    FillColor(dc, {r.left, r.bottom - 1, r.right, r.bottom}, color);
    FillColor(dc, {r.left, r.top, r.left + 1, r.bottom}, color);
    FillColor(dc, {r.right - 1, r.top, r.right, r.bottom}, color);
}

void SetCairoColor(cairo_t* cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

void DrawCheckMark(HDC dc, const RECT& item, COLORREF color)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    double cx = item.left + kGutter / 2.0;
    double cy = (item.top + item.bottom) / 2.0;
    SetCairoColor(cr, color);
    cairo_set_line_width(cr, 1.6);
    cairo_move_to(cr, cx - 4.5, cy);
    cairo_line_to(cr, cx - 1.5, cy + 3);
    cairo_line_to(cr, cx + 4.5, cy - 4);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawSubmenuArrow(HDC dc, const RECT& item, COLORREF color)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    double x = item.right - kArrowWidth / 2.0;
    double cy = (item.top + item.bottom) / 2.0;
    SetCairoColor(cr, color);
    cairo_move_to(cr, x - 2, cy - 4);
    cairo_line_to(cr, x + 2, cy);
    cairo_line_to(cr, x - 2, cy + 4);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_restore(cr);
}

class Tracker;
thread_local Tracker* t_tracker = nullptr; // the menu this thread tracks; one at a time

LRESULT MenuWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterMenuClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = MenuWindowProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kMenuClass;
        RegisterClassExW(&wc);
    });
}

class Tracker {
public:
    Tracker(HMENU menu, UINT flags, HWND owner) : m_root(menu), m_flags(flags), m_owner(owner), m_font(CreateMenuFont()) { }

    // The menu windows go before the owner hears WM_EXITMENULOOP.
    ~Tracker()
    {
        for (auto it = m_levels.rbegin(); it != m_levels.rend(); ++it) {
            if (IsWindow(it->window))
                DestroyWindow(it->window);
        }
        DeleteObject(m_font);
    }

    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // The chosen command, or 0 when the menu was dismissed or had nothing to show.
    UINT Run(int x, int y);

    void Paint(HWND hwnd);
    void PointerMoved(POINT screen);
    void Pressed(POINT screen);
    void Released(POINT screen, UINT button);
    void Dismiss() { Finish(0); }
    bool IsRootWindow(HWND hwnd) const { return !m_levels.empty() && m_levels.front().window == hwnd; }

private:
    bool Notifies() const { return !(m_flags & TPM_NONOTIFY); }
    bool Finished() const;
    void Finish(UINT command);
    bool OpenLevel(HMENU menu, int parentLevel, int parentItem, POINT rootPoint);
    void CloseLevelsAfter(int level);
    void SetHighlight(int level, int item);
    void InvalidateItem(int level, int item);
    Hit HitTest(POINT screen) const;
    void Activate(int level, int item, bool fromKeyboard);
    void OpenSubmenu(int level, int item, bool selectFirst);
    bool PreviewMessage(const MSG& msg);
    void KeyPressed(UINT key);
    void CharacterTyped(WCHAR character);
    void MoveHighlight(int step);
    void Record(int x, int y);

    HMENU m_root;
    UINT m_flags;
    HWND m_owner;
    HFONT m_font;
    std::vector<Level> m_levels;
    bool m_done = false;
    UINT m_command = 0;
    size_t m_record = static_cast<size_t>(-1);
};

UINT Tracker::Run(int x, int y)
{
    if (Notifies())
        SendMessageW(m_owner, WM_ENTERMENULOOP, TRUE, 0);
    if (!OpenLevel(m_root, -1, -1, {x, y}))
        return 0;
    HWND root = m_levels.front().window;
    // Presses outside the menu must reach it to close it.
    SetCapture(root);
    if (ModalScriptInUse())
        Record(x, y);
    NotifyModalShown(ModalKind::Menu, root);

    int answer = 0;
    auto end = RunModalLoop(root, ModalKind::Menu, 0, [this](MSG& msg) { return PreviewMessage(msg); },
        [this] { return Finished(); }, &answer);
    if (end == ModalLoopEnd::Answered)
        Finish(static_cast<UINT>(answer));
    if (!m_done)
        Finish(0);
    if (GetCapture() == root)
        ReleaseCapture();
    if (m_record != static_cast<size_t>(-1))
        SetShownMenuResult(m_record, m_command);
    return m_command;
}

bool Tracker::Finished() const
{
    return m_done || !IsWindow(m_owner) || m_levels.empty() || !IsWindow(m_levels.front().window);
}

void Tracker::Finish(UINT command)
{
    if (m_done)
        return;
    m_done = true;
    m_command = command;
}

bool Tracker::OpenLevel(HMENU menu, int parentLevel, int parentItem, POINT rootPoint)
{
    if (Notifies()) {
        int position = parentLevel < 0 ? 0 : parentItem;
        SendMessageW(m_owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(position, FALSE));
    }
    if (!IsMenu(menu) || !IsWindow(m_owner))
        return false;
    Level level;
    level.menu = menu;
    level.items = SnapshotItems(menu);
    if (level.items.empty())
        return false;
    Layout(level, m_font);

    POINT at;
    if (parentLevel < 0) {
        at = PlaceRoot(rootPoint.x, rootPoint.y, level.size, m_flags);
    } else {
        const Level& parent = m_levels[static_cast<size_t>(parentLevel)];
        RECT parentWindow;
        GetWindowRect(parent.window, &parentWindow);
        RECT item = parent.items[static_cast<size_t>(parentItem)].rect;
        POINT corner {item.left, item.top};
        ClientToScreen(parent.window, &corner);
        RECT itemOnScreen {corner.x, corner.y, corner.x + item.right - item.left, corner.y + item.bottom - item.top};
        at = PlaceSubmenu(parentWindow, itemOnScreen, level.size);
    }
    RegisterMenuClass();
    level.window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kMenuClass, u"", WS_POPUP, at.x,
        at.y, level.size.cx, level.size.cy, m_owner, nullptr, nullptr, nullptr);
    if (!level.window)
        return false;
    HWND window = level.window;
    m_levels.push_back(std::move(level));
    ShowWindow(window, SW_SHOWNA);
    UpdateWindow(window);
    return true;
}

void Tracker::CloseLevelsAfter(int level)
{
    while (static_cast<int>(m_levels.size()) > level + 1) {
        HWND window = m_levels.back().window;
        m_levels.pop_back();
        if (IsWindow(window))
            DestroyWindow(window);
    }
}

void Tracker::InvalidateItem(int level, int item)
{
    if (level < 0 || item < 0)
        return;
    const Level& l = m_levels[static_cast<size_t>(level)];
    InvalidateRect(l.window, &l.items[static_cast<size_t>(item)].rect, FALSE);
}

void Tracker::SetHighlight(int level, int item)
{
    Level& l = m_levels[static_cast<size_t>(level)];
    if (item >= 0 && l.items[static_cast<size_t>(item)].IsSeparator())
        item = -1;
    if (l.highlight == item)
        return;
    InvalidateItem(level, l.highlight);
    l.highlight = item;
    InvalidateItem(level, item);
}

Hit Tracker::HitTest(POINT screen) const
{
    // The deepest menu lies on top.
    for (int level = static_cast<int>(m_levels.size()) - 1; level >= 0; --level) {
        const Level& l = m_levels[static_cast<size_t>(level)];
        POINT p = screen;
        ScreenToClient(l.window, &p);
        if (p.x < 0 || p.y < 0 || p.x >= l.size.cx || p.y >= l.size.cy)
            continue;
        for (size_t i = 0; i < l.items.size(); ++i) {
            const RECT& r = l.items[i].rect;
            if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom)
                return {level, static_cast<int>(i)};
        }
        return {level, -1};
    }
    return {};
}

void Tracker::OpenSubmenu(int level, int item, bool selectFirst)
{
    CloseLevelsAfter(level);
    const Item& opener = m_levels[static_cast<size_t>(level)].items[static_cast<size_t>(item)];
    if (!opener.popup || !opener.IsEnabled())
        return;
    if (!OpenLevel(opener.popup, level, item, {}) || !selectFirst)
        return;
    int opened = static_cast<int>(m_levels.size()) - 1;
    const auto& items = m_levels.back().items;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].IsSeparator()) {
            SetHighlight(opened, static_cast<int>(i));
            break;
        }
    }
}

void Tracker::Activate(int level, int item, bool fromKeyboard)
{
    const Item& chosen = m_levels[static_cast<size_t>(level)].items[static_cast<size_t>(item)];
    if (chosen.IsSeparator() || !chosen.IsEnabled())
        return;
    if (chosen.popup) {
        bool open = level + 1 < static_cast<int>(m_levels.size()) && m_levels[static_cast<size_t>(level)].highlight == item;
        if (!open || fromKeyboard)
            OpenSubmenu(level, item, fromKeyboard);
        return;
    }
    Finish(chosen.id);
}

void Tracker::PointerMoved(POINT screen)
{
    Hit hit = HitTest(screen);
    if (hit.level < 0) {
        // Away from every menu, only the innermost highlight goes; the path to an open submenu stays.
        int last = static_cast<int>(m_levels.size()) - 1;
        if (last >= 0)
            SetHighlight(last, -1);
        return;
    }
    if (hit.item < 0)
        return;
    if (hit.level + 1 < static_cast<int>(m_levels.size()) && m_levels[static_cast<size_t>(hit.level)].highlight != hit.item)
        CloseLevelsAfter(hit.level);
    SetHighlight(hit.level, hit.item);
    const Item& item = m_levels[static_cast<size_t>(hit.level)].items[static_cast<size_t>(hit.item)];
    if (item.popup && hit.level + 1 == static_cast<int>(m_levels.size()))
        OpenSubmenu(hit.level, hit.item, false);
}

void Tracker::Pressed(POINT screen)
{
    if (HitTest(screen).level < 0)
        Dismiss();
}

void Tracker::Released(POINT screen, UINT button)
{
    if (button == WM_RBUTTONUP && !(m_flags & TPM_RIGHTBUTTON))
        return;
    Hit hit = HitTest(screen);
    if (hit.level < 0 || hit.item < 0)
        return;
    Activate(hit.level, hit.item, false);
}

void Tracker::MoveHighlight(int step)
{
    int level = static_cast<int>(m_levels.size()) - 1;
    const Level& l = m_levels.back();
    int count = static_cast<int>(l.items.size());
    int at = l.highlight;
    for (int tries = 0; tries < count; ++tries) {
        at = at < 0 ? (step > 0 ? 0 : count - 1) : (at + step + count) % count;
        if (!l.items[static_cast<size_t>(at)].IsSeparator()) {
            SetHighlight(level, at);
            return;
        }
    }
}

void Tracker::KeyPressed(UINT key)
{
    int level = static_cast<int>(m_levels.size()) - 1;
    int highlight = m_levels.back().highlight;
    switch (key) {
    case VK_ESCAPE:
        if (level > 0)
            CloseLevelsAfter(level - 1);
        else
            Dismiss();
        return;
    case VK_MENU:
        Dismiss();
        return;
    case VK_DOWN:
        MoveHighlight(1);
        return;
    case VK_UP:
        MoveHighlight(-1);
        return;
    case VK_LEFT:
        if (level > 0)
            CloseLevelsAfter(level - 1);
        return;
    case VK_RIGHT:
        if (highlight >= 0 && m_levels.back().items[static_cast<size_t>(highlight)].popup)
            OpenSubmenu(level, highlight, true);
        return;
    case VK_RETURN:
        if (highlight >= 0)
            Activate(level, highlight, true);
        return;
    default:
        return;
    }
}

void Tracker::CharacterTyped(WCHAR character)
{
    int level = static_cast<int>(m_levels.size()) - 1;
    const auto& items = m_levels.back().items;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].IsSeparator() || MnemonicOf(items[i].label) != FoldCase(character))
            continue;
        SetHighlight(level, static_cast<int>(i));
        Activate(level, static_cast<int>(i), true);
        return;
    }
}

// Every key goes to the menu while it is open, whichever window has the focus.
bool Tracker::PreviewMessage(const MSG& msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
        KeyPressed(static_cast<UINT>(msg.wParam));
        WCHAR character = 0;
        if (!m_done && static_cast<UINT>(msg.wParam) != VK_ESCAPE && static_cast<UINT>(msg.wParam) != VK_RETURN
            && CharacterOfKeyMessage(msg, &character))
            CharacterTyped(character);
    }
    return true;
}

void Tracker::Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    auto level = std::find_if(m_levels.begin(), m_levels.end(), [&](const Level& l) { return l.window == hwnd; });
    RECT client;
    GetClientRect(hwnd, &client);
    FillColor(dc, client, kBackground);
    DrawFrame(dc, client, kFrame);
    if (level == m_levels.end()) {
        EndPaint(hwnd, &ps);
        return;
    }
    HGDIOBJ oldFont = SelectObject(dc, m_font);
    SetBkMode(dc, TRANSPARENT);
    for (size_t i = 0; i < level->items.size(); ++i) {
        const Item& item = level->items[i];
        const RECT& r = item.rect;
        if (item.IsSeparator()) {
            LONG middle = (r.top + r.bottom) / 2;
            FillColor(dc, {r.left + kGutter, middle, r.right - 4, middle + 1}, kSeparator);
            continue;
        }
        if (static_cast<int>(i) == level->highlight)
            FillColor(dc, {r.left + 2, r.top, r.right - 2, r.bottom}, kHighlight);
        COLORREF color = item.IsEnabled() ? kText : kGrayText;
        if (item.state & MF_CHECKED)
            DrawCheckMark(dc, r, color);
        if (item.popup)
            DrawSubmenuArrow(dc, r, color);
        SetTextColor(dc, color);
        RECT text {r.left + kGutter, r.top, r.right - kArrowWidth, r.bottom};
        DrawTextW(dc, item.label.c_str(), static_cast<int>(item.label.size()), &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        if (!item.accelerator.empty())
            DrawTextW(dc, item.accelerator.c_str(), static_cast<int>(item.accelerator.size()), &text,
                DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

void Tracker::Record(int x, int y)
{
    const Level& root = m_levels.front();
    RecordedMenu record;
    record.window = root.window;
    record.owner = m_owner;
    record.menu = m_root;
    record.flags = m_flags;
    record.x = x;
    record.y = y;
    GetWindowRect(root.window, &record.rect);
    for (const Item& item : root.items) {
        RecordedMenuItem recorded;
        recorded.id = item.id;
        recorded.text = item.accelerator.empty() ? item.label : item.label + u"\t" + item.accelerator;
        recorded.checked = (item.state & MF_CHECKED) != 0;
        recorded.grayed = !item.IsEnabled();
        recorded.separator = item.IsSeparator();
        recorded.popup = item.popup != nullptr;
        recorded.rect = item.rect;
        record.items.push_back(std::move(recorded));
    }
    m_record = RecordShownMenu(record);
}

POINT ScreenPointOf(HWND hwnd, LPARAM lParam)
{
    POINT p {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(hwnd, &p);
    return p;
}

LRESULT MenuWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Tracker* tracker = t_tracker;
    if (!tracker)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        tracker->Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        tracker->PointerMoved(ScreenPointOf(hwnd, lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        tracker->Pressed(ScreenPointOf(hwnd, lParam));
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        tracker->Released(ScreenPointOf(hwnd, lParam), message);
        return 0;
    case WM_CANCELMODE:
        tracker->Dismiss();
        return 0;
    case WM_CAPTURECHANGED:
        // Someone else took the pointer: the menu cannot go on.
        if (tracker->IsRootWindow(hwnd) && reinterpret_cast<HWND>(lParam) != hwnd)
            tracker->Dismiss();
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    if (!IsMenu(menu)) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (!IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) {
        SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
        return FALSE;
    }
    if (t_tracker) {
        SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
        return FALSE;
    }
    UINT command = 0;
    {
        Tracker tracker(menu, flags, owner);
        t_tracker = &tracker;
        command = tracker.Run(x, y);
        t_tracker = nullptr;
    }
    if (!(flags & TPM_NONOTIFY) && IsWindow(owner))
        SendMessageW(owner, WM_EXITMENULOOP, TRUE, 0);
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(command);
    if (command)
        PostMessageW(owner, WM_COMMAND, MAKEWPARAM(static_cast<int>(command), 0), 0);
    return TRUE;
}
