#include "facet/widgets/Caption.h"

#include "facet/Skin.h"
#include "facet/widgets/Pointer.h"
#include "facet/widgets/WidgetPaint.h"
#include "facet/widgets/WidgetRegistry.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int kButtonWidth = 32;
constexpr int kGlyphSize = 10;
constexpr int kIconSize = 16;
constexpr int kMargin = 8;
constexpr int kIconTitleGap = 6;
constexpr int kWidestLinkGap = 200;
// Items: the two buttons, then the links in the order they were added.
constexpr int kCloseItem = 0;
constexpr int kMinimiseItem = 1;
constexpr int kFirstLinkItem = 2;

struct CaptionLink {
    UINT command = 0;
    LabelMarkup text;
    RECT spacing {};
};

struct CaptionState {
    HICON icon = nullptr;
    std::vector<CaptionLink> links;
    ItemPointerState pointer;
};

struct CaptionLayout {
    RECT close {};
    RECT minimise {};
    std::vector<RECT> links;
    LONG titleLeft = 0;
    LONG titleRight = 0;
};

WidgetRegistry<CaptionState>& Captions()
{
    static WidgetRegistry<CaptionState> captions;
    return captions;
}

// Links sit right to left before the buttons, the first one added nearest to them.
CaptionLayout Layout(HWND hwnd, const CaptionState& state)
{
    CaptionLayout layout;
    RECT client {};
    GetClientRect(hwnd, &client);
    LONG height = client.bottom;
    layout.close = {client.right - kButtonWidth, 0, client.right, height};
    // The minimise button shows only for a window with a minimise box, as the system's caption does.
    bool minimiseBox = (GetWindowLongPtrW(GetParent(hwnd), GWL_STYLE) & WS_MINIMIZEBOX) != 0;
    LONG minimiseWidth = minimiseBox ? kButtonWidth : 0;
    layout.minimise = {layout.close.left - minimiseWidth, 0, layout.close.left, height};
    LONG x = layout.minimise.left - kMargin;
    HDC dc = GetDC(hwnd);
    for (const CaptionLink& link : state.links) {
        SIZE size = MeasureMarkupText(dc, link.text);
        LONG gap = std::clamp<LONG>(link.spacing.right - link.spacing.left, 0, kWidestLinkGap);
        LONG shiftX = std::clamp<LONG>(link.spacing.left, -kWidestLinkGap, kWidestLinkGap);
        LONG shiftY = std::clamp<LONG>(link.spacing.top, -kWidestLinkGap, kWidestLinkGap);
        LONG right = x - gap + shiftX;
        LONG top = (height - size.cy) / 2 + shiftY;
        layout.links.push_back({right - size.cx, top, right, top + size.cy});
        x = right - size.cx - shiftX;
    }
    ReleaseDC(hwnd, dc);
    layout.titleLeft = kMargin + (state.icon ? kIconSize + kIconTitleGap : 0);
    layout.titleRight = x - kMargin;
    return layout;
}

bool Contains(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

int ItemAt(HWND hwnd, const CaptionState& state, POINT point)
{
    CaptionLayout layout = Layout(hwnd, state);
    if (Contains(layout.close, point))
        return kCloseItem;
    if (Contains(layout.minimise, point))
        return kMinimiseItem;
    for (size_t i = 0; i < layout.links.size(); ++i) {
        if (Contains(layout.links[i], point))
            return kFirstLinkItem + static_cast<int>(i);
    }
    return kNoItem;
}

COLORREF Darker(COLORREF color)
{
    return RGB(static_cast<BYTE>(GetRValue(color) * 4 / 5), static_cast<BYTE>(GetGValue(color) * 4 / 5),
        static_cast<BYTE>(GetBValue(color) * 4 / 5));
}

void PaintButton(HDC dc, const RECT& r, int item, const ItemPointerState& pointer)
{
    const Skin& skin = CurrentSkin();
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    bool pressed = pointer.pressed == item && pointer.pressInside;
    if (pressed || (pointer.hovered == item && pointer.pressed == kNoItem)) {
        SetCairoColor(cr, pressed ? Darker(skin.buttonHover) : skin.buttonHover);
        cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_fill(cr);
    }
    double cx = (r.left + r.right) / 2.0;
    double cy = (r.top + r.bottom) / 2.0;
    double half = kGlyphSize / 2.0;
    SetCairoColor(cr, skin.captionText);
    cairo_set_line_width(cr, 1.5);
    if (item == kCloseItem) {
        cairo_move_to(cr, cx - half, cy - half);
        cairo_line_to(cr, cx + half, cy + half);
        cairo_move_to(cr, cx + half, cy - half);
        cairo_line_to(cr, cx - half, cy + half);
    } else {
        cairo_move_to(cr, cx - half, cy + half - 1);
        cairo_line_to(cr, cx + half, cy + half - 1);
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void PaintIcon(HDC dc, HICON icon, LONG height)
{
    cairo_surface_t* picture = IconSurface(icon);
    if (!picture)
        return;
    RECT source {0, 0, cairo_image_surface_get_width(picture), cairo_image_surface_get_height(picture)};
    LONG top = (height - kIconSize) / 2;
    DrawSurfacePart(CairoOf(dc), picture, source, {kMargin, top, kMargin + kIconSize, top + kIconSize});
}

void PaintTitle(HWND hwnd, HDC dc, const CaptionLayout& layout, LONG height)
{
    WString title = WindowText(hwnd);
    if (title.empty())
        title = WindowText(GetParent(hwnd));
    if (title.empty() || layout.titleRight <= layout.titleLeft)
        return;
    LabelMarkup text;
    text.text = std::move(title);
    text.bold = true;
    RECT area {layout.titleLeft, 0, layout.titleRight, height};
    DrawMarkupText(dc, area, text, CurrentSkin().captionText, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void Paint(HWND hwnd, const CaptionState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    DrawParentBackdrop(hwnd, dc);
    RECT client {};
    GetClientRect(hwnd, &client);
    CaptionLayout layout = Layout(hwnd, state);
    PaintIcon(dc, state.icon, client.bottom);
    PaintTitle(hwnd, dc, layout, client.bottom);
    const Skin& skin = CurrentSkin();
    for (size_t i = 0; i < state.links.size(); ++i) {
        int item = kFirstLinkItem + static_cast<int>(i);
        LabelMarkup text = state.links[i].text;
        bool hovered = state.pointer.hovered == item;
        text.underline = text.underline || hovered;
        TextColors colors = MarkupColors(text, {skin.linkText, skin.linkHover});
        DrawMarkupText(dc, layout.links[i], text, hovered ? colors.hover : colors.normal, DT_LEFT | DT_TOP | DT_SINGLELINE);
    }
    if (layout.minimise.right > layout.minimise.left)
        PaintButton(dc, layout.minimise, kMinimiseItem, state.pointer);
    PaintButton(dc, layout.close, kCloseItem, state.pointer);
    EndPaint(hwnd, &ps);
}

// The parent may destroy the caption (closing the window) while it handles the command.
void Act(HWND hwnd, const CaptionState& state, int item)
{
    HWND window = GetParent(hwnd);
    if (item == kMinimiseItem) {
        ShowWindow(window, SW_MINIMIZE);
        return;
    }
    UINT command = IDCANCEL;
    if (item >= kFirstLinkItem)
        command = state.links[static_cast<size_t>(item - kFirstLinkItem)].command;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<int>(command), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

void OnPointer(HWND hwnd, const std::shared_ptr<CaptionState>& state, UINT message, LPARAM lParam)
{
    int item = ItemAt(hwnd, *state, ClientPointOf(lParam));
    int clicked = kNoItem;
    PointerEvent event = TrackItemPointer(hwnd, state->pointer, message, item, &clicked);
    if (event == PointerEvent::None)
        return;
    InvalidateRect(hwnd, nullptr, TRUE);
    if (event == PointerEvent::Clicked)
        Act(hwnd, *state, clicked);
}

LRESULT CaptionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        Captions().Add(hwnd, std::make_shared<CaptionState>());
    auto state = Captions().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCHITTEST:
        // The free area lets the press through to the window, which drags itself by its top band.
        return ItemAt(hwnd, *state, ClientPointOfScreen(hwnd, lParam)) == kNoItem ? HTTRANSPARENT : HTCLIENT;
    case WM_SETCURSOR:
        // Asked before the move that brings the pointer here is handled, so the item is found afresh.
        if (ItemAt(hwnd, *state, CursorInClient(hwnd)) < kFirstLinkItem)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        OnPointer(hwnd, state, message, lParam);
        return 0;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd, *state);
        return 0;
    case WM_NCDESTROY:
        Captions().Remove(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

void RegisterCaptionClass()
{
    RegisterWidgetClass(kCaptionClass, CaptionProc, IDC_ARROW);
}

HWND CreateCaption(HWND window)
{
    RECT client {};
    GetClientRect(window, &client);
    HWND caption = CreateWindowExW(0, kCaptionClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, client.right,
        CurrentSkin().captionHeight, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCaptionId)), nullptr, nullptr);
    if (!caption)
        return nullptr;
    // Below every control, so a control that reaches into the band keeps its pointer.
    SetWindowPos(caption, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return caption;
}

bool IsCaption(HWND hwnd)
{
    return Captions().Find(hwnd) != nullptr;
}

void LayoutCaption(HWND caption)
{
    if (!IsCaption(caption))
        return;
    RECT client {};
    GetClientRect(GetParent(caption), &client);
    SetWindowPos(caption, nullptr, 0, 0, client.right, CurrentSkin().captionHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(caption, nullptr, TRUE);
}

HRESULT SetCaptionWindowIcon(HWND caption, HICON icon)
{
    auto state = Captions().Find(caption);
    if (!state)
        return E_INVALIDARG;
    state->icon = icon;
    InvalidateRect(caption, nullptr, TRUE);
    return S_OK;
}

HRESULT AddCaptionLink(HWND caption, UINT command, LPCWSTR text, const RECT* spacing)
{
    auto state = Captions().Find(caption);
    if (!state)
        return E_INVALIDARG;
    if (!text || !*text)
        return E_INVALIDARG;
    CaptionLink link;
    link.command = command;
    link.text = ParseLabelMarkup(ToView(text));
    if (spacing)
        link.spacing = *spacing;
    // Set up again (after a skin reload) a command keeps its one link.
    auto same = std::find_if(state->links.begin(), state->links.end(), [&](const CaptionLink& l) { return l.command == command; });
    if (same != state->links.end())
        *same = std::move(link);
    else
        state->links.push_back(std::move(link));
    InvalidateRect(caption, nullptr, TRUE);
    return S_OK;
}
