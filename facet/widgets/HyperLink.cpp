#include "facet/widgets/HyperLink.h"

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

namespace {

struct LinkState {
    LabelMarkup markup;
    PointerState pointer;
};

WidgetRegistry<LinkState>& Links()
{
    static WidgetRegistry<LinkState> links;
    return links;
}

void Paint(HWND hwnd, const LinkState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client {};
    GetClientRect(hwnd, &client);
    constexpr UINT kFormat = DT_LEFT | DT_SINGLELINE | DT_VCENTER;
    ClipToContent(hwnd, dc, MarkupTextBounds(dc, state.markup, client, kFormat));
    DrawParentBackdrop(hwnd, dc);
    const Skin& skin = CurrentSkin();
    TextColors colors = MarkupColors(state.markup, {skin.linkText, skin.linkHover});
    DrawMarkupText(dc, client, state.markup, state.pointer.hovered ? colors.hover : colors.normal, kFormat);
    EndPaint(hwnd, &ps);
}

void Click(HWND hwnd, const LabelMarkup& markup)
{
    HWND parent = GetParent(hwnd);
    int id = GetDlgCtrlID(hwnd);
    UINT link = markup.link;
    // The parent may destroy this control while it handles the command; nothing of it is used after.
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    if (link != 0)
        PostMessageW(parent, link, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT HyperLinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        Links().Add(hwnd, std::make_shared<LinkState>());
    auto state = Links().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_NCCREATE:
    case WM_SETTEXT: {
        LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
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
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
        PointerEvent event = TrackPointer(hwnd, state->pointer, message, lParam);
        if (event != PointerEvent::None)
            InvalidateRect(hwnd, nullptr, TRUE);
        if (event == PointerEvent::Clicked)
            Click(hwnd, state->markup);
        return 0;
    }
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_NCDESTROY:
        Links().Remove(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

void RegisterHyperLinkClass()
{
    RegisterWidgetClass(kHyperLinkClass, HyperLinkProc, IDC_HAND);
}

bool IsHyperLink(HWND hwnd)
{
    return Links().Find(hwnd) != nullptr;
}
