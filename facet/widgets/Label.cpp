#include "facet/widgets/Label.h"

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

namespace {

constexpr DWORD kSimple = 0x000B;     // SS_SIMPLE
constexpr DWORD kLeftNoWrap = 0x000C; // SS_LEFTNOWORDWRAP

struct LabelState {
    WNDPROC previous = nullptr;
    LabelMarkup markup;
    PointerState pointer;
    int setup = 0;
};

WidgetRegistry<LabelState>& Labels()
{
    static WidgetRegistry<LabelState> labels;
    return labels;
}

// The pointer matters to a label only when it reacts to it.
bool IsInteractive(const LabelMarkup& markup)
{
    bool hoverChanges = markup.hasHoverColor && (!markup.hasColor || markup.hoverColor != markup.color);
    return markup.hand || markup.link != 0 || hoverChanges;
}

UINT TextFormat(HWND hwnd, int setup)
{
    auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    UINT format = DT_LEFT;
    if ((style & SS_TYPEMASK) == SS_RIGHT)
        format = DT_RIGHT;
    else if ((style & SS_TYPEMASK) == SS_CENTER)
        format = DT_CENTER;
    if ((setup & kLabelSingleLine) || (style & SS_CENTERIMAGE))
        return format | DT_SINGLELINE | DT_VCENTER;
    return format | DT_WORDBREAK;
}

void Paint(HWND hwnd, const LabelState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    RECT client {};
    GetClientRect(hwnd, &client);
    const Skin& skin = CurrentSkin();
    UINT format = TextFormat(hwnd, state.setup);
    if (state.setup & kLabelTransparent) {
        ClipToContent(hwnd, dc, MarkupTextBounds(dc, state.markup, client, format));
        DrawParentBackdrop(hwnd, dc);
    } else {
        HBRUSH brush = CreateSolidBrush(skin.windowBackground);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    // A static without markup shows its text plainly in the skin's text colour.
    TextColors colors = MarkupColors(state.markup, {skin.statusText, skin.statusText});
    bool hovered = state.pointer.hovered && IsInteractive(state.markup);
    DrawMarkupText(dc, client, state.markup, hovered ? colors.hover : colors.normal, format);
    EndPaint(hwnd, &ps);
}

void Redraw(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
}

// The label stops reacting to the pointer, maybe in the middle of a press.
void ForgetPointer(HWND hwnd, LabelState& state)
{
    bool captured = state.pointer.pressed && GetCapture() == hwnd;
    state.pointer = {};
    if (captured)
        ReleaseCapture();
}

LRESULT OnPointer(HWND hwnd, const std::shared_ptr<LabelState>& state, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsInteractive(state->markup))
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    PointerEvent event = TrackPointer(hwnd, state->pointer, message, lParam);
    if (event == PointerEvent::None)
        return 0;
    Redraw(hwnd);
    if (event == PointerEvent::Clicked && state->markup.link != 0) {
        HWND parent = GetParent(hwnd);
        PostMessageW(parent, state->markup.link, static_cast<WPARAM>(GetDlgCtrlID(hwnd)), reinterpret_cast<LPARAM>(hwnd));
    }
    return 0;
}

LRESULT LabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = Labels().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SETTEXT: {
        LRESULT result = CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
        state->markup = ParseLabelMarkup(WindowText(hwnd));
        if (!IsInteractive(state->markup))
            ForgetPointer(hwnd, *state);
        InvalidateUnder(hwnd);
        return result;
    }
    case WM_ERASEBKGND:
        return 1; // WM_PAINT draws the backdrop with the text
    case WM_PAINT:
        Paint(hwnd, *state);
        return 0;
    case WM_NCHITTEST:
        if (IsInteractive(state->markup))
            return HTCLIENT;
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    case WM_SETCURSOR:
        if (!state->markup.hand)
            return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        return OnPointer(hwnd, state, message, wParam, lParam);
    case WM_NCDESTROY:
        Labels().Remove(hwnd);
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    default:
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    }
}

} // namespace

bool IsTextStatic(HWND hwnd)
{
    if (lstrcmpiW(ClassNameOf(hwnd).c_str(), u"Static") != 0)
        return false;
    DWORD type = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & SS_TYPEMASK;
    return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == kSimple || type == kLeftNoWrap;
}

bool SkinStaticControl(HWND hwnd, int setup)
{
    if (!IsTextStatic(hwnd))
        return false;
    if (auto existing = Labels().Find(hwnd)) {
        AddLabelSetup(hwnd, setup & kLabelSetupMask);
        return true;
    }
    auto state = std::make_shared<LabelState>();
    state->setup = setup & kLabelSetupMask;
    state->markup = ParseLabelMarkup(WindowText(hwnd));
    Labels().Add(hwnd, state);
    state->previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LabelProc)));
    InvalidateUnder(hwnd);
    return true;
}

HRESULT AddLabelSetup(HWND hwnd, int value)
{
    auto state = Labels().Find(hwnd);
    if (!state)
        return E_FAIL;
    if (value & ~kLabelSetupMask)
        return E_INVALIDARG;
    // The clock sets its label up again every second; only a change is drawn.
    if ((state->setup | value) == state->setup)
        return S_OK;
    state->setup |= value;
    InvalidateUnder(hwnd);
    return S_OK;
}

void UnskinStaticControl(HWND hwnd)
{
    if (UnsubclassWidget(Labels(), hwnd, LabelProc) && IsWindow(hwnd))
        InvalidateUnder(hwnd);
}

std::vector<HWND> SkinnedLabels()
{
    return Labels().Windows();
}
