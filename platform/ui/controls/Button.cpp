// The button control: push buttons and check boxes.
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/controls/Controls.h"

#include <cairo.h>

namespace {

constexpr UINT kThreeState = 0x0005;     // BS_3STATE
constexpr UINT kAutoThreeState = 0x0006; // BS_AUTO3STATE
constexpr DWORD kLeftText = 0x0020;      // BS_LEFTTEXT: the box to the right of the text
constexpr DWORD kMultiLine = 0x2000;     // BS_MULTILINE
constexpr UINT kIndeterminate = 0x0002;  // BST_INDETERMINATE

// The button's state word, kept in its window data: the check state, whether it shows pressed,
// and what is pressing it.
constexpr int kStateSlot = 0;
constexpr LONG_PTR kCheckMask = 0x0003;
constexpr LONG_PTR kPushed = kButtonPushed;
constexpr LONG_PTR kTracking = 0x0100;     // the left button went down on it and the pointer is captured
constexpr LONG_PTR kSpacePressed = 0x0200; // Space went down while it had the focus

constexpr int kBoxSize = 13;
constexpr int kBoxTextGap = 4;
constexpr COLORREF kGrayText = RGB(109, 109, 109);
constexpr COLORREF kFace = RGB(225, 225, 225);
constexpr COLORREF kFacePushed = RGB(204, 228, 247);
constexpr COLORREF kFrame = RGB(173, 173, 173);
constexpr COLORREF kDefaultFrame = RGB(0, 120, 215);
constexpr COLORREF kBoxFrame = RGB(51, 51, 51);
constexpr COLORREF kBoxFill = RGB(255, 255, 255);
constexpr COLORREF kBoxPushed = RGB(204, 228, 247);
constexpr COLORREF kMark = RGB(0, 0, 0);

DWORD StyleOf(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
}

UINT TypeOf(HWND hwnd)
{
    return StyleOf(hwnd) & BS_TYPEMASK;
}

bool IsCheckBox(UINT type)
{
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == kThreeState || type == kAutoThreeState;
}

LONG_PTR StateOf(HWND hwnd)
{
    return GetWindowLongPtrW(hwnd, kStateSlot);
}

void SetState(HWND hwnd, LONG_PTR state)
{
    if (StateOf(hwnd) == state)
        return;
    SetWindowLongPtrW(hwnd, kStateSlot, state);
    InvalidateRect(hwnd, nullptr, TRUE);
}

bool PointInClient(HWND hwnd, LPARAM lParam)
{
    RECT client;
    GetClientRect(hwnd, &client);
    int x = GET_X_LPARAM(lParam);
    int y = GET_Y_LPARAM(lParam);
    return x >= client.left && x < client.right && y >= client.top && y < client.bottom;
}

// A click: automatic check boxes change state first, so the parent reads the new one.
void Click(HWND hwnd)
{
    UINT type = TypeOf(hwnd);
    LONG_PTR check = StateOf(hwnd) & kCheckMask;
    if (type == BS_AUTOCHECKBOX)
        SendMessageW(hwnd, BM_SETCHECK, check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    else if (type == kAutoThreeState)
        SendMessageW(hwnd, BM_SETCHECK, static_cast<WPARAM>((check + 1) % 3), 0);
    NotifyParent(hwnd, BN_CLICKED);
}

WString TextOf(HWND hwnd)
{
    WString text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    int length = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

void SetSource(cairo_t* cr, COLORREF color)
{
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

void FillBox(HDC dc, const RECT& r, COLORREF fill, COLORREF frame, int frameWidth)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    SetSource(cr, fill);
    cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_fill(cr);
    SetSource(cr, frame);
    cairo_set_line_width(cr, frameWidth);
    double inset = frameWidth / 2.0;
    cairo_rectangle(cr, r.left + inset, r.top + inset, r.right - r.left - frameWidth, r.bottom - r.top - frameWidth);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawFocus(HDC dc, const RECT& r)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    const double dash[] = {1.0, 1.0};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_set_line_width(cr, 1);
    SetSource(cr, kMark);
    cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.right - r.left - 1, r.bottom - r.top - 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void DrawCheckMark(HDC dc, const RECT& box, LONG_PTR check)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    SetSource(cr, check == kIndeterminate ? kGrayText : kMark);
    if (check == kIndeterminate) {
        cairo_rectangle(cr, box.left + 3, box.top + 3, kBoxSize - 6, kBoxSize - 6);
        cairo_fill(cr);
    } else {
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, box.left + 3, box.top + 6.5);
        cairo_line_to(cr, box.left + 5.5, box.top + 9.5);
        cairo_line_to(cr, box.left + 10, box.top + 3.5);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

void DrawLabel(HWND hwnd, HDC dc, RECT area, UINT format, bool focused)
{
    WString text = TextOf(hwnd);
    if (text.empty())
        return;
    if (StyleOf(hwnd) & WS_DISABLED)
        SetTextColor(dc, kGrayText);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format);
    if (focused) {
        RECT extent = area;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent, (format & ~(DT_VCENTER | DT_CENTER)) | DT_CALCRECT);
        LONG width = extent.right - extent.left;
        LONG height = extent.bottom - extent.top;
        LONG left = (format & DT_CENTER) ? area.left + (area.right - area.left - width) / 2 : area.left;
        LONG top = area.top + (area.bottom - area.top - height) / 2;
        DrawFocus(dc, {left - 1, top - 1, left + width + 1, top + height + 1});
    }
    SelectObject(dc, oldFont);
}

void PaintPushButton(HWND hwnd, HDC dc, const RECT& client, LONG_PTR state)
{
    // The parent may set the text colour; the face is the button's own.
    ControlColors(hwnd, dc, WM_CTLCOLORBTN);
    bool pushed = (state & kPushed) != 0;
    bool isDefault = TypeOf(hwnd) == BS_DEFPUSHBUTTON;
    FillBox(dc, client, pushed ? kFacePushed : kFace, isDefault ? kDefaultFrame : kFrame, isDefault ? 2 : 1);
    // A pressed face shows its text one pixel down and to the right.
    LONG shift = pushed ? 1 : 0;
    RECT label {client.left + shift, client.top + shift, client.right + shift, client.bottom + shift};
    DrawLabel(hwnd, dc, label, DT_CENTER | DT_VCENTER | DT_SINGLELINE, GetFocus() == hwnd);
}

void PaintCheckBox(HWND hwnd, HDC dc, const RECT& client, LONG_PTR state)
{
    FillRect(dc, &client, ControlColors(hwnd, dc, WM_CTLCOLORSTATIC));
    bool leftText = (StyleOf(hwnd) & kLeftText) != 0;
    LONG boxLeft = leftText ? client.right - kBoxSize : client.left;
    LONG boxTop = client.top + (client.bottom - client.top - kBoxSize) / 2;
    RECT box {boxLeft, boxTop, boxLeft + kBoxSize, boxTop + kBoxSize};
    FillBox(dc, box, (state & kPushed) ? kBoxPushed : kBoxFill, kBoxFrame, 1);
    if (state & kCheckMask)
        DrawCheckMark(dc, box, state & kCheckMask);
    RECT label = client;
    if (leftText)
        label.right = box.left - kBoxTextGap;
    else
        label.left = box.right + kBoxTextGap;
    UINT format = (StyleOf(hwnd) & kMultiLine) ? DT_LEFT | DT_WORDBREAK | DT_VCENTER : DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    DrawLabel(hwnd, dc, label, format, GetFocus() == hwnd);
}

void Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(hwnd, &client);
    if (IsCheckBox(TypeOf(hwnd)))
        PaintCheckBox(hwnd, dc, client, StateOf(hwnd));
    else
        PaintPushButton(hwnd, dc, client, StateOf(hwnd));
    EndPaint(hwnd, &ps);
}

LRESULT DialogCode(HWND hwnd)
{
    UINT type = TypeOf(hwnd);
    if (type == BS_DEFPUSHBUTTON)
        return DLGC_BUTTON | kDefaultPushButton;
    if (type == BS_PUSHBUTTON)
        return DLGC_BUTTON | kOtherPushButton;
    return DLGC_BUTTON;
}

LRESULT OnMouse(HWND hwnd, UINT message, LPARAM lParam)
{
    LONG_PTR state = StateOf(hwnd);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(hwnd);
        SetCapture(hwnd);
        SetState(hwnd, StateOf(hwnd) | kPushed | kTracking);
        return 0;
    case WM_MOUSEMOVE:
        if (state & kTracking)
            SetState(hwnd, PointInClient(hwnd, lParam) ? state | kPushed : state & ~kPushed);
        return 0;
    case WM_LBUTTONUP: {
        if (!(state & kTracking))
            return 0;
        bool inside = PointInClient(hwnd, lParam);
        SetState(hwnd, state & ~(kPushed | kTracking));
        ReleaseCapture();
        if (inside)
            Click(hwnd);
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LONG_PTR state = StateOf(hwnd);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        return OnMouse(hwnd, message, lParam);
    case WM_CAPTURECHANGED:
        if ((state & kTracking) && reinterpret_cast<HWND>(lParam) != hwnd)
            SetState(hwnd, state & ~(kTracking | kPushed));
        return 0;
    case WM_KEYDOWN:
        // Auto-repeat (bit 30: the key was already down) does not press again.
        if (wParam == VK_SPACE && !(lParam & (1 << 30)))
            SetState(hwnd, state | kPushed | kSpacePressed);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && (state & kSpacePressed)) {
            SetState(hwnd, state & ~(kPushed | kSpacePressed));
            Click(hwnd);
        }
        return 0;
    case WM_SETFOCUS:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_KILLFOCUS:
        SetState(hwnd, state & ~(kPushed | kSpacePressed | kTracking));
        if ((state & kTracking) && GetCapture() == hwnd)
            ReleaseCapture();
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    }
    case WM_GETDLGCODE:
        return DialogCode(hwnd);
    case BM_GETCHECK:
        return IsCheckBox(TypeOf(hwnd)) ? state & kCheckMask : BST_UNCHECKED;
    case BM_SETCHECK: {
        UINT type = TypeOf(hwnd);
        if (!IsCheckBox(type))
            return 0;
        LONG_PTR check = static_cast<LONG_PTR>(wParam) & kCheckMask;
        if (check == kIndeterminate && type != kThreeState && type != kAutoThreeState)
            check = BST_CHECKED;
        SetState(hwnd, (state & ~kCheckMask) | check);
        return 0;
    }
    case kButtonGetState:
        return (state & (kCheckMask | kPushed)) | (GetFocus() == hwnd ? kButtonFocused : 0);
    case kButtonSetState:
        SetState(hwnd, wParam ? state | kPushed : state & ~kPushed);
        return 0;
    case kButtonClick:
        if (IsWindowEnabled(hwnd))
            Click(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint covers the whole client area
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

void RegisterButtonClass()
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = ButtonProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = u"Button";
    RegisterBuiltinClass(wc);
}
