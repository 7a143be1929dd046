#include "facet/widgets/Toolbar.h"

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

constexpr int kPictureTextGap = 4;
constexpr int kAutoWidthPadding = 16;
constexpr int kWidestButton = 4096;

enum ButtonLook { kNormal = 0, kHover = 1, kPressed = 2 };

struct ToolbarButton {
    UINT command = 0;
    LabelMarkup text; // plain: the toolbar draws it in the skin's button colours
    ImageHandle image;
    int width = 0;
};

struct ToolbarState {
    std::vector<ToolbarButton> buttons;
    ItemPointerState pointer;
};

WidgetRegistry<ToolbarState>& Toolbars()
{
    static WidgetRegistry<ToolbarState> toolbars;
    return toolbars;
}

const ImageCells kStateCells {kToolbarPictureStates, 1};

RECT ButtonRect(HWND hwnd, const ToolbarState& state, int index)
{
    if (index < 0 || index >= static_cast<int>(state.buttons.size()))
        return {};
    RECT client {};
    GetClientRect(hwnd, &client);
    LONG left = 0;
    for (int i = 0; i < index; ++i)
        left += state.buttons[static_cast<size_t>(i)].width;
    return {left, 0, left + state.buttons[static_cast<size_t>(index)].width, client.bottom};
}

int ButtonAt(HWND hwnd, const ToolbarState& state, POINT point)
{
    for (int i = 0; i < static_cast<int>(state.buttons.size()); ++i) {
        RECT r = ButtonRect(hwnd, state, i);
        if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom)
            return i;
    }
    return kNoItem;
}

ButtonLook LookOf(const ToolbarState& state, int index)
{
    if (state.pointer.pressed == index && state.pointer.pressInside)
        return kPressed;
    return state.pointer.hovered == index ? kHover : kNormal;
}

void PaintButton(HDC dc, const ToolbarButton& button, const RECT& r, ButtonLook look)
{
    const Skin& skin = CurrentSkin();
    int cellWidth = kStateCells.CellWidth(button.image);
    int cellHeight = kStateCells.CellHeight(button.image);
    SIZE textSize = MeasureMarkupText(dc, button.text);
    int gap = cellHeight > 0 && textSize.cy > 0 ? kPictureTextGap : 0;
    int total = cellHeight + gap + textSize.cy;
    LONG top = r.top + std::max<LONG>(0, (r.bottom - r.top - total) / 2);
    if (cellHeight > 0)
        DrawImageCell(dc, button.image, kStateCells, look, 0, r.left + (r.right - r.left - cellWidth) / 2, top);
    RECT text {r.left, top + cellHeight + gap, r.right, r.bottom};
    COLORREF color = look == kNormal ? skin.buttonText : skin.buttonHover;
    DrawMarkupText(dc, text, button.text, color, DT_CENTER | DT_TOP | DT_SINGLELINE);
}

void Paint(HWND hwnd, const ToolbarState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client {};
    GetClientRect(hwnd, &client);
    LONG used = 0;
    for (const ToolbarButton& button : state.buttons)
        used += button.width;
    ClipToContent(hwnd, dc, {0, 0, used, client.bottom});
    DrawParentBackdrop(hwnd, dc);
    for (int i = 0; i < static_cast<int>(state.buttons.size()); ++i)
        PaintButton(dc, state.buttons[static_cast<size_t>(i)], ButtonRect(hwnd, state, i), LookOf(state, i));
    EndPaint(hwnd, &ps);
}

void Redraw(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
}

void OnPointer(HWND hwnd, const std::shared_ptr<ToolbarState>& state, UINT message, LPARAM lParam)
{
    int item = ButtonAt(hwnd, *state, ClientPointOf(lParam));
    int clicked = kNoItem;
    PointerEvent event = TrackItemPointer(hwnd, state->pointer, message, item, &clicked);
    if (event == PointerEvent::None)
        return;
    Redraw(hwnd);
    if (event != PointerEvent::Clicked)
        return;
    UINT command = state->buttons[static_cast<size_t>(clicked)].command;
    // The parent may rebuild or destroy the toolbar while it handles the command; nothing is used after.
    SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(static_cast<int>(command), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT ToolbarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        Toolbars().Add(hwnd, std::make_shared<ToolbarState>());
    auto state = Toolbars().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCHITTEST:
        // The space between and beside the buttons belongs to the window underneath (its drag band).
        return ButtonAt(hwnd, *state, ClientPointOfScreen(hwnd, lParam)) == kNoItem ? HTTRANSPARENT : HTCLIENT;
    case WM_SETCURSOR:
        // Asked before the move that brings the pointer here is handled, so the button is found afresh.
        if (ButtonAt(hwnd, *state, CursorInClient(hwnd)) == kNoItem)
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
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd, *state);
        return 0;
    case WM_NCDESTROY:
        Toolbars().Remove(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

int AutomaticWidth(HWND hwnd, const ToolbarButton& button)
{
    HDC dc = GetDC(hwnd);
    SIZE text = MeasureMarkupText(dc, button.text);
    ReleaseDC(hwnd, dc);
    return std::max<int>(text.cx, kStateCells.CellWidth(button.image)) + kAutoWidthPadding;
}

} // namespace

void RegisterToolbarClass()
{
    RegisterWidgetClass(kToolbarClass, ToolbarProc, IDC_ARROW);
}

bool IsToolbar(HWND hwnd)
{
    return Toolbars().Find(hwnd) != nullptr;
}

HRESULT ClearToolbar(HWND hwnd)
{
    auto state = Toolbars().Find(hwnd);
    if (!state)
        return E_INVALIDARG;
    ResetItemPointer(hwnd, state->pointer);
    state->buttons.clear();
    InvalidateUnder(hwnd);
    return S_OK;
}

HRESULT SetToolbarLayout(HWND hwnd, DWORD layout)
{
    auto state = Toolbars().Find(hwnd);
    if (!state)
        return E_INVALIDARG;
    // Picture above text, left to right, is the one layout there is.
    return layout == kToolbarPictureAboveText ? S_OK : E_INVALIDARG;
}

HRESULT AddToolbarButton(HWND hwnd, UINT command, LPCWSTR text, LPCWSTR imageUrl, int width)
{
    auto state = Toolbars().Find(hwnd);
    if (!state)
        return E_INVALIDARG;
    ToolbarButton button;
    button.command = command;
    button.text.text = WString(ToView(text));
    button.image = LoadWidgetImage(imageUrl);
    button.width = width > 0 ? std::min(width, kWidestButton) : AutomaticWidth(hwnd, button);
    bool pictureMissing = imageUrl && *imageUrl && !button.image.Surface();
    state->buttons.push_back(std::move(button));
    InvalidateUnder(hwnd);
    return pictureMissing ? S_FALSE : S_OK;
}
