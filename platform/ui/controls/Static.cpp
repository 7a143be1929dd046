// The static control: a text drawn in the colours its parent gives.
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/controls/Controls.h"

namespace {

constexpr DWORD kTypeMask = 0x001F;      // SS_TYPEMASK
constexpr DWORD kSimple = 0x000B;        // SS_SIMPLE
constexpr DWORD kLeftNoWrap = 0x000C;    // SS_LEFTNOWORDWRAP
constexpr DWORD kNoPrefix = 0x0080;      // SS_NOPREFIX
constexpr DWORD kCenterImage = 0x0200;   // SS_CENTERIMAGE: one line, centred vertically
constexpr COLORREF kGrayText = RGB(109, 109, 109);

WString TextOf(HWND hwnd)
{
    WString text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, u'\0');
    int length = GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// DrawTextW flags for a text style; 0 for the types that show no text.
UINT TextFormat(DWORD style)
{
    UINT format = 0;
    switch (style & kTypeMask) {
    case SS_LEFT:
        format = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS;
        break;
    case SS_CENTER:
        format = DT_CENTER | DT_WORDBREAK | DT_EXPANDTABS;
        break;
    case SS_RIGHT:
        format = DT_RIGHT | DT_WORDBREAK | DT_EXPANDTABS;
        break;
    case kSimple:
    case kLeftNoWrap:
        format = DT_LEFT | DT_EXPANDTABS;
        break;
    default:
        return 0;
    }
    if (style & kNoPrefix)
        format |= DT_NOPREFIX;
    if (style & kCenterImage)
        format = (format & ~DT_WORDBREAK) | DT_VCENTER | DT_SINGLELINE;
    return format;
}

void Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, ControlColors(hwnd, dc, WM_CTLCOLORSTATIC));
    auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    UINT format = TextFormat(style);
    WString text = TextOf(hwnd);
    if (format && !text.empty()) {
        if (style & WS_DISABLED)
            SetTextColor(dc, kGrayText);
        HGDIOBJ oldFont = SelectObject(dc, ControlFont(hwnd));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, format);
        SelectObject(dc, oldFont);
    }
    EndPaint(hwnd, &ps);
}

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    switch (message) {
    case WM_NCHITTEST:
        // Without SS_NOTIFY a static is part of its parent's surface for the pointer.
        return (style & SS_NOTIFY) ? DefWindowProcW(hwnd, message, wParam, lParam) : HTTRANSPARENT;
    case WM_LBUTTONDOWN:
        if (style & SS_NOTIFY)
            NotifyParent(hwnd, STN_CLICKED);
        return 0;
    case WM_LBUTTONDBLCLK:
        if (style & SS_NOTIFY)
            NotifyParent(hwnd, kStaticDoubleClicked);
        return 0;
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

void RegisterStaticClass()
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS | CS_PARENTDC;
    wc.lpfnWndProc = StaticProc;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = u"Static";
    RegisterBuiltinClass(wc);
}
