// MessageBoxW: a modal window of the layer with a caption, an icon, the text and its buttons.
#include "platform/ui/Menu.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageBoxModality.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ThreadQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowObject.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

namespace {

const WCHAR kBoxClass[] = u"LumoMessageBox";
constexpr UINT kIconMask = 0x000000F0;

constexpr int kCaptionHeight = 30;
constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kMaxTextWidth = 420;
constexpr int kMinWidth = 220;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 8;
constexpr int kFooterHeight = kButtonHeight + 24;

constexpr COLORREF kBody = RGB(255, 255, 255);
constexpr COLORREF kCaption = RGB(228, 232, 238);
constexpr COLORREF kFooter = RGB(240, 240, 240);
constexpr COLORREF kFrame = RGB(110, 110, 110);
constexpr COLORREF kText = RGB(0, 0, 0);

enum class Glyph { None, Hand, Question, Exclamation, Information };

struct Box : MessageBoxState {
    WString text; // line breaks as "\n"
    Glyph glyph = Glyph::None;
    HFONT font = nullptr;
    RECT textRect {};
    SIZE size {};
};

Glyph GlyphOf(UINT type)
{
    switch (type & kIconMask) {
    case MB_ICONHAND:
        return Glyph::Hand;
    case MB_ICONQUESTION:
        return Glyph::Question;
    case MB_ICONEXCLAMATION:
        return Glyph::Exclamation;
    case MB_ICONINFORMATION:
        return Glyph::Information;
    default:
        return Glyph::None;
    }
}

WString NormalizeLineBreaks(LPCWSTR text)
{
    WString out;
    WStringView in = ToView(text);
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != u'\r') {
            out.push_back(in[i]);
            continue;
        }
        out.push_back(u'\n');
        if (i + 1 < in.size() && in[i + 1] == u'\n')
            ++i;
    }
    return out;
}

HFONT CreateBoxFont()
{
    return CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, u"Segoe UI");
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

SIZE MeasureText(HDC dc, const WString& text, UINT format, LONG width)
{
    if (text.empty())
        return {0, 0};
    RECT r {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    return {r.right - r.left, r.bottom - r.top};
}

void Layout(Box& box)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, box.font);
    SIZE text = MeasureText(dc, box.text, DT_WORDBREAK | DT_NOPREFIX, kMaxTextWidth);
    SIZE caption = MeasureText(dc, box.caption, DT_SINGLELINE | DT_NOPREFIX, 0);
    SelectObject(dc, oldFont);
    DeleteDC(dc);

    LONG contentLeft = kMargin + (box.glyph != Glyph::None ? kIconSize + kIconGap : 0);
    LONG body = std::max<LONG>(text.cy, box.glyph != Glyph::None ? kIconSize : 0);
    auto count = static_cast<LONG>(box.buttons.size());
    LONG footer = count * kButtonWidth + (count - 1) * kButtonGap + 2 * kMargin;
    LONG width = std::max({contentLeft + text.cx + kMargin, footer, caption.cx + 2 * kMargin, static_cast<LONG>(kMinWidth)});
    LONG textTop = kCaptionHeight + kMargin + (body - text.cy) / 2;
    box.textRect = {contentLeft, textTop, width - kMargin, textTop + text.cy + 2};
    box.size = {width, kCaptionHeight + kMargin + body + kMargin + kFooterHeight};
}

RECT ButtonRect(const Box& box, size_t index)
{
    auto count = static_cast<LONG>(box.buttons.size());
    LONG left = box.size.cx - kMargin - (count * kButtonWidth + (count - 1) * kButtonGap);
    left += static_cast<LONG>(index) * (kButtonWidth + kButtonGap);
    LONG top = box.size.cy - kFooterHeight + (kFooterHeight - kButtonHeight) / 2;
    return {left, top, left + kButtonWidth, top + kButtonHeight};
}

void SetCairoColor(cairo_t* cr, double r, double g, double b)
{
    cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

void DrawGlyph(HDC dc, Glyph glyph, const RECT& r)
{
    if (glyph == Glyph::None)
        return;
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    double cx = r.left + kIconSize / 2.0;
    double cy = r.top + kIconSize / 2.0;
    if (glyph == Glyph::Exclamation) {
        SetCairoColor(cr, 255, 200, 61);
        cairo_move_to(cr, cx, r.top + 2);
        cairo_line_to(cr, r.right - 1, r.bottom - 3);
        cairo_line_to(cr, r.left + 1, r.bottom - 3);
        cairo_close_path(cr);
        cairo_fill(cr);
        SetCairoColor(cr, 0, 0, 0);
        cairo_rectangle(cr, cx - 1.5, cy - 6, 3, 10);
        cairo_arc(cr, cx, cy + 8, 2, 0, 2 * G_PI);
        cairo_fill(cr);
        cairo_restore(cr);
        return;
    }
    if (glyph == Glyph::Hand)
        SetCairoColor(cr, 232, 17, 35);
    else
        SetCairoColor(cr, 0, 120, 215);
    cairo_arc(cr, cx, cy, kIconSize / 2.0 - 1, 0, 2 * G_PI);
    cairo_fill(cr);
    SetCairoColor(cr, 255, 255, 255);
    cairo_set_line_width(cr, 3);
    switch (glyph) {
    case Glyph::Hand:
        cairo_move_to(cr, cx - 6, cy - 6);
        cairo_line_to(cr, cx + 6, cy + 6);
        cairo_move_to(cr, cx + 6, cy - 6);
        cairo_line_to(cr, cx - 6, cy + 6);
        cairo_stroke(cr);
        break;
    case Glyph::Question:
        cairo_arc(cr, cx, cy - 4, 5, G_PI, 2.25 * G_PI);
        cairo_line_to(cr, cx, cy + 3);
        cairo_stroke(cr);
        cairo_arc(cr, cx, cy + 8, 2, 0, 2 * G_PI);
        cairo_fill(cr);
        break;
    default: // information
        cairo_arc(cr, cx, cy - 7, 2, 0, 2 * G_PI);
        cairo_fill(cr);
        cairo_rectangle(cr, cx - 1.5, cy - 3, 3, 11);
        cairo_fill(cr);
        break;
    }
    cairo_restore(cr);
}

void PaintBox(HWND hwnd, const Box& box)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client;
    GetClientRect(hwnd, &client);
    FillColor(dc, client, kBody);
    FillColor(dc, {0, 0, client.right, kCaptionHeight}, kCaption);
    FillColor(dc, {0, client.bottom - kFooterHeight, client.right, client.bottom}, kFooter);
    DrawFrame(dc, client, kFrame);
    DrawGlyph(dc, box.glyph, {kMargin, kCaptionHeight + kMargin, kMargin + kIconSize, kCaptionHeight + kMargin + kIconSize});

    HGDIOBJ oldFont = SelectObject(dc, box.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kText);
    RECT caption {10, 0, client.right - 10, kCaptionHeight};
    DrawTextW(dc, box.caption.c_str(), static_cast<int>(box.caption.size()), &caption,
        DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    RECT text = box.textRect;
    DrawTextW(dc, box.text.c_str(), static_cast<int>(box.text.size()), &text, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

Box* BoxOf(HWND hwnd)
{
    return reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    Box* box = BoxOf(hwnd);
    if (!box)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_PAINT:
        PaintBox(hwnd, *box);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST: {
        LRESULT hit = DefWindowProcW(hwnd, message, wParam, lParam);
        POINT p {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd, &p);
        return hit == HTCLIENT && p.y < kCaptionHeight ? HTCAPTION : hit;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            box->Choose(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        // The caption's close and Alt+F4 answer as Escape does.
        box->Choose(box->escapeId);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void RegisterClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = BoxProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kBoxClass;
        RegisterClassExW(&wc);
    });
}

void CreateButtons(Box& box)
{
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        RECT r = ButtonRect(box, i);
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == box.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        HWND button = CreateWindowExW(0, u"Button", box.buttons[i].text, style, r.left, r.top, r.right - r.left,
            r.bottom - r.top, box.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(box.buttons[i].id)), nullptr, nullptr);
        if (button)
            SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
        box.buttonWindows.push_back(button);
    }
}

} // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    RegisterClasses();
    Box box;
    box.text = NormalizeLineBreaks(text ? text : u"");
    box.caption = caption ? caption : u"Error";
    box.glyph = GlyphOf(type);
    box.SetButtonsOf(type);
    box.font = CreateBoxFont();
    Layout(box);

    MessageBoxModality modality(owner, type);
    POINT at = modality.Place(box.size);
    DWORD exStyle = (type & (MB_TOPMOST | MB_SYSTEMMODAL)) ? WS_EX_TOPMOST : 0;
    box.window = CreateWindowExW(exStyle, kBoxClass, box.caption.c_str(), WS_POPUP | WS_CLIPCHILDREN, at.x, at.y, box.size.cx,
        box.size.cy, modality.Owner(), nullptr, nullptr, &box);
    if (!box.window) {
        modality.Release();
        DeleteObject(box.font);
        return 0;
    }
    CreateButtons(box);
    int result = RunMessageBox(box, modality, owner, text, type);
    DeleteObject(box.font);
    return result;
}
