#include "facet/widgets/MessageBoxWindow.h"

#include "facet/Skin.h"
#include "facet/widgets/Caption.h"
#include "facet/widgets/MessageBoxButton.h"
#include "platform/ui/MessageBoxModality.h"
#include "facet/widgets/SkinnedWindow.h"
#include "facet/widgets/Widgets.h"
#include "platform/sys/Thread.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
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

constexpr int kBorder = 1;
constexpr int kMargin = 18;
constexpr int kBodyPadding = 20;
constexpr int kIconGap = 14;
constexpr int kMaxTextWidth = 400;
constexpr int kMinWidth = 280;
constexpr int kWidestForCaption = 560;
constexpr int kCaptionChrome = 8 + 8 + 32 + 8; // title margins and the close button
constexpr int kButtonHeight = 28;
constexpr int kButtonMinWidth = 84;
constexpr int kButtonPadding = 24;
constexpr int kButtonGap = 8;
constexpr int kFooterPadding = 12;
constexpr int kFooterHeight = kButtonHeight + 2 * kFooterPadding;
// A message is a few sentences; a huge text is cut so that laying it out cannot stall the box.
constexpr size_t kLongestText = 8192;
// Words up to this many characters stay whole; a longer one may break between any two characters.
constexpr size_t kLongestUnbrokenWord = 30;

using ButtonSpec = MessageBoxButtonSpec;

struct BoxLayout {
    SIZE size {};
    POINT icon {};
    RECT text {};
    bool textCut = false; // the text is taller than the screen allows: its last line ends with "..."
    LONG footerTop = 0;
    std::vector<RECT> buttons;
};

struct Box : MessageBoxState {
    MessageBoxLook look;
    MessageBoxIcon icon = MessageBoxIcon::None;
    WString text; // line breaks as "\n"
    BoxLayout layout;
};

bool IsBlank(WCHAR c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// A word wider than the text (a long path, say) would be cut at the box's edge; it may break anywhere
// instead. Zero-width spaces between its characters give the line breaker those places.
WString BreakLongWords(const WString& text)
{
    WString out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = start;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        if (end - start <= kLongestUnbrokenWord) {
            out.append(text, start, end - start);
        } else {
            for (size_t i = start; i < end; ++i) {
                out.push_back(text[i]);
                bool highSurrogate = text[i] >= 0xD800 && text[i] <= 0xDBFF;
                if (!highSurrogate && i + 1 < end)
                    out.push_back(u'\u200B');
            }
        }
        for (start = end; start < text.size() && IsBlank(text[start]); ++start)
            out.push_back(text[start]);
    }
    return out;
}

WString MessageText(LPCWSTR text)
{
    WStringView in = ToView(text);
    if (in.size() > kLongestText) {
        size_t cut = kLongestText;
        // Never split a surrogate pair.
        if (in[cut - 1] >= 0xD800 && in[cut - 1] <= 0xDBFF)
            --cut;
        in = in.substr(0, cut);
    }
    WString out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != u'\r') {
            out.push_back(in[i]);
            continue;
        }
        out.push_back(u'\n');
        if (i + 1 < in.size() && in[i + 1] == u'\n')
            ++i;
    }
    return BreakLongWords(out);
}

SIZE MeasureText(HDC dc, HFONT font, const WString& text, UINT format, LONG width)
{
    if (text.empty())
        return {0, 0};
    HGDIOBJ previous = SelectObject(dc, font);
    RECT r {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, previous);
    return {r.right - r.left, r.bottom - r.top};
}

LONG WorkAreaHeight()
{
    RECT work {};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) && work.bottom > work.top)
        return work.bottom - work.top;
    return GetSystemMetrics(SM_CYSCREEN);
}

BoxLayout Layout(const Box& box)
{
    const Skin& skin = CurrentSkin();
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateSkinFont(0, false, false);
    HFONT bold = CreateSkinFont(0, true, false);
    SIZE text = MeasureText(dc, font, box.text, DT_WORDBREAK, kMaxTextWidth);
    SIZE title = MeasureText(dc, bold, box.caption, DT_SINGLELINE, 0);
    std::vector<LONG> buttonWidths;
    for (const ButtonSpec& button : box.buttons) {
        SIZE label = MeasureText(dc, font, button.text, DT_SINGLELINE, 0);
        buttonWidths.push_back(std::max<LONG>(kButtonMinWidth, label.cx + kButtonPadding));
    }
    DeleteObject(bold);
    DeleteObject(font);
    DeleteDC(dc);

    BoxLayout layout;
    LONG caption = skin.captionHeight;
    bool hasIcon = box.icon != MessageBoxIcon::None;
    text.cx = std::min<LONG>(text.cx, kMaxTextWidth);
    // A text taller than the screen keeps the lines that fit.
    LONG tallest = WorkAreaHeight() - caption - 2 * kBodyPadding - kFooterHeight - 2 * kBorder;
    if (text.cy > tallest) {
        text.cy = std::max<LONG>(tallest, 0);
        layout.textCut = true;
    }
    LONG row = 0;
    for (LONG width : buttonWidths)
        row += width;
    row += static_cast<LONG>(buttonWidths.size() - 1) * kButtonGap;
    LONG textLeft = kBorder + kMargin + (hasIcon ? kMessageBoxIconSize + kIconGap : 0);
    LONG width = std::max({static_cast<LONG>(kMinWidth), textLeft + text.cx + kMargin + kBorder,
        row + 2 * (kMargin + kBorder), std::min<LONG>(title.cx + kCaptionChrome, kWidestForCaption)});
    LONG body = std::max<LONG>(text.cy, hasIcon ? kMessageBoxIconSize : 0);
    LONG bodyTop = caption + kBodyPadding;
    LONG textTop = bodyTop + (body - text.cy) / 2;
    layout.icon = {kBorder + kMargin, bodyTop};
    // The slack keeps the measured lines from wrapping again on rounding.
    layout.text = {textLeft, textTop, textLeft + text.cx + 2, textTop + text.cy};
    layout.footerTop = bodyTop + body + kBodyPadding;
    layout.size = {width, layout.footerTop + kFooterHeight + kBorder};
    LONG left = width - kBorder - kMargin - row;
    LONG top = layout.footerTop + kFooterPadding;
    for (LONG buttonWidth : buttonWidths) {
        layout.buttons.push_back({left, top, left + buttonWidth, top + kButtonHeight});
        left += buttonWidth + kButtonGap;
    }
    return layout;
}

// A line parts the button row from the message, over the frame picture as over the plain skin.
void PaintFooterLine(cairo_t* cr, const Box& box, const RECT& client)
{
    cairo_save(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.12);
    cairo_rectangle(cr, client.left + kBorder, box.layout.footerTop, client.right - client.left - 2 * kBorder, 1);
    cairo_fill(cr);
    cairo_restore(cr);
}

void PaintText(HDC dc, const Box& box)
{
    if (box.text.empty())
        return;
    HFONT font = CreateSkinFont(0, false, false);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, box.look.text);
    RECT area = box.layout.text;
    UINT format = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | (box.layout.textCut ? DT_END_ELLIPSIS : 0);
    DrawTextW(dc, box.text.c_str(), static_cast<int>(box.text.size()), &area, format);
    SelectObject(dc, previous);
    DeleteObject(font);
}

void Paint(HWND hwnd, const Box& box)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    // Painting without erasing first would draw the text over itself.
    if (ps.fErase)
        SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client {};
    GetClientRect(hwnd, &client);
    cairo_t* cr = CairoOf(dc);
    PaintFooterLine(cr, box, client);
    // The plain skin has no edge of its own; a frame picture brings its own.
    if (box.look.frame.empty())
        DrawMessageBoxEdge(dc, client);
    DrawMessageBoxIcon(dc, box.look, box.icon, box.layout.icon.x, box.layout.icon.y);
    PaintText(dc, box);
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
        Paint(hwnd, *box);
        return 0;
    case WM_NCHITTEST: {
        // The caption band drags the box.
        LRESULT hit = DefWindowProcW(hwnd, message, wParam, lParam);
        POINT p {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd, &p);
        return hit == HTCLIENT && p.y < CurrentSkin().captionHeight ? HTCAPTION : hit;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return 0;
        // The caption's close button answers as Escape does.
        if (IsCaption(reinterpret_cast<HWND>(lParam)))
            box->Choose(box->escapeId);
        else
            box->Choose(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        // So does the desktop's close request (Alt+F4).
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
        wc.lpszClassName = kMessageBoxClass;
        RegisterClassExW(&wc);
    });
    RegisterMessageBoxButtonClass();
}

void CreateButtons(Box& box)
{
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        const ButtonSpec& spec = box.buttons[i];
        box.buttonWindows.push_back(
            CreateMessageBoxButton(box.window, spec.id, spec.text, box.layout.buttons[i], box.look.buttons));
    }
}

} // namespace

int ShowSkinnedMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags, const MessageBoxLook& look)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    RegisterClasses();
    Box box;
    box.look = look;
    box.icon = MessageBoxIconOf(flags);
    box.text = MessageText(text ? text : u"");
    box.caption = caption ? caption : u"Error";
    box.SetButtonsOf(flags);
    box.layout = Layout(box);

    MessageBoxModality modality(owner, flags);
    POINT at = modality.Place(box.layout.size);
    DWORD exStyle = (flags & (MB_TOPMOST | MB_SYSTEMMODAL)) ? WS_EX_TOPMOST : 0;
    box.window = CreateWindowExW(exStyle, kMessageBoxClass, box.caption.c_str(), WS_POPUP | WS_CLIPCHILDREN, at.x, at.y,
        box.layout.size.cx, box.layout.size.cy, modality.Owner(), nullptr, nullptr, &box);
    if (!box.window)
        return 0;
    CreateButtons(box);
    // The skinned window gives the box its caption with the close button and draws its background.
    AttachSkinnedWindow(box.window);
    if (!box.look.frame.empty()) {
        const RECT* centre = box.look.hasFrameCentre ? &box.look.frameCentre : nullptr;
        SetSkinnedWindowFrame(box.window, box.look.frame.c_str(), kFrameNineGrid, centre);
    }
    return RunMessageBox(box, modality, owner, text, flags);
}
