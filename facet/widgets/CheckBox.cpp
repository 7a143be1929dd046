#include "facet/widgets/CheckBox.h"

#include "facet/Skin.h"
#include "facet/widgets/WidgetPaint.h"
#include "facet/widgets/WidgetRegistry.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace {

constexpr int kBoxSize = 13; // the drawn box when there is no picture
constexpr int kTextGap = 4;
constexpr DWORD kThreeState = 0x0005;     // BS_3STATE
constexpr DWORD kAutoThreeState = 0x0006; // BS_AUTO3STATE

struct CheckBoxState {
    WNDPROC previous = nullptr;
    LabelMarkup markup;
    bool hovered = false;
    ImageHandle image;
    ImageCells cells {4, 1};
};

WidgetRegistry<CheckBoxState>& CheckBoxes()
{
    static WidgetRegistry<CheckBoxState> boxes;
    return boxes;
}

bool IsChecked(HWND hwnd, WNDPROC previous)
{
    return CallWindowProcW(previous, hwnd, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
}

// Cells of the picture: unchecked, unchecked under the pointer, checked, checked under the pointer.
// Pictures with fewer cells show what they have.
int CellFor(int across, bool checked, bool hovered)
{
    if (across >= 4)
        return (checked ? 2 : 0) + (hovered ? 1 : 0);
    if (across == 3)
        return checked ? 2 : (hovered ? 1 : 0);
    if (across == 2)
        return checked ? 1 : 0;
    return 0;
}

void DrawPlainBox(HDC dc, const RECT& box, COLORREF color, bool checked)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    SetCairoColor(cr, color);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, box.left + 0.5, box.top + 0.5, kBoxSize - 1, kBoxSize - 1);
    cairo_stroke(cr);
    if (checked) {
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, box.left + 3, box.top + 6.5);
        cairo_line_to(cr, box.left + 5.5, box.top + 9.5);
        cairo_line_to(cr, box.left + 10, box.top + 3.5);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void Paint(HWND hwnd, const CheckBoxState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client {};
    GetClientRect(hwnd, &client);
    int boxWidth = state.image.Surface() ? state.cells.CellWidth(state.image) : kBoxSize;
    RECT text {boxWidth + kTextGap, 0, client.right, client.bottom};
    constexpr UINT kFormat = DT_LEFT | DT_SINGLELINE | DT_VCENTER;
    RECT textBounds = MarkupTextBounds(dc, state.markup, text, kFormat);
    ClipToContent(hwnd, dc, {0, 0, std::max<LONG>(textBounds.right, boxWidth), client.bottom});
    DrawParentBackdrop(hwnd, dc);
    const Skin& skin = CurrentSkin();
    TextColors colors = MarkupColors(state.markup, {skin.statusText, skin.statusText});
    COLORREF color = state.hovered ? colors.hover : colors.normal;
    bool checked = IsChecked(hwnd, state.previous);
    if (state.image.Surface()) {
        int cellHeight = state.cells.CellHeight(state.image);
        bool disabled = !IsWindowEnabled(hwnd) && state.cells.down > 1;
        int column = CellFor(state.cells.across, checked, state.hovered);
        DrawImageCell(dc, state.image, state.cells, column, disabled ? 1 : 0, 0, (client.bottom - cellHeight) / 2);
    } else {
        LONG top = (client.bottom - kBoxSize) / 2;
        DrawPlainBox(dc, {0, top, kBoxSize, top + kBoxSize}, color, checked);
    }
    DrawMarkupText(dc, text, state.markup, color, kFormat);
    EndPaint(hwnd, &ps);
}

void SetHovered(HWND hwnd, CheckBoxState& state, bool hovered)
{
    if (state.hovered == hovered)
        return;
    state.hovered = hovered;
    if (hovered)
        TrackPointerLeave(hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT CheckBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = CheckBoxes().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SETTEXT: {
        LRESULT result = CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
        state->markup = ParseLabelMarkup(WindowText(hwnd));
        InvalidateUnder(hwnd);
        return result;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd, *state);
        return 0;
    case WM_SETCURSOR:
        if (!state->markup.hand)
            return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
        // Under capture the button keeps getting moves from outside; those are not hovering.
        SetHovered(hwnd, *state, PointInClient(hwnd, ClientPointOf(lParam)));
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    case WM_MOUSELEAVE:
        SetHovered(hwnd, *state, false);
        return 0;
    case WM_NCDESTROY:
        CheckBoxes().Remove(hwnd);
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    default:
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    }
}

} // namespace

bool IsCheckBoxControl(HWND hwnd)
{
    if (lstrcmpiW(ClassNameOf(hwnd).c_str(), u"Button") != 0)
        return false;
    DWORD type = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == kThreeState || type == kAutoThreeState;
}

bool SkinCheckBox(HWND hwnd)
{
    if (!IsCheckBoxControl(hwnd))
        return false;
    if (CheckBoxes().Find(hwnd))
        return true;
    auto state = std::make_shared<CheckBoxState>();
    state->markup = ParseLabelMarkup(WindowText(hwnd));
    CheckBoxes().Add(hwnd, state);
    state->previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CheckBoxProc)));
    InvalidateUnder(hwnd);
    return true;
}

HRESULT SetCheckBoxImage(HWND hwnd, LPCWSTR pathOrUrl, DWORD cells)
{
    if (!SkinCheckBox(hwnd))
        return E_INVALIDARG;
    auto state = CheckBoxes().Find(hwnd);
    int across = std::max<int>(LOWORD(cells), 1);
    int down = std::max<int>(HIWORD(cells), 1);
    state->cells = {across, down};
    state->image = LoadWidgetImage(pathOrUrl);
    InvalidateUnder(hwnd);
    if (pathOrUrl && *pathOrUrl && !state->image.Surface())
        return E_FAIL;
    return S_OK;
}

void UnskinCheckBox(HWND hwnd)
{
    if (UnsubclassWidget(CheckBoxes(), hwnd, CheckBoxProc) && IsWindow(hwnd))
        InvalidateUnder(hwnd);
}

std::vector<HWND> SkinnedCheckBoxes()
{
    return CheckBoxes().Windows();
}
