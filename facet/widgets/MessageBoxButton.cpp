#include "facet/widgets/MessageBoxButton.h"

#include "facet/widgets/MessageBoxLook.h"
#include "facet/widgets/Pointer.h"
#include "facet/widgets/WidgetRegistry.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

namespace {

struct ButtonState {
    PointerState pointer;
    std::shared_ptr<const ImageHandle> picture;
};

WidgetRegistry<ButtonState>& Buttons()
{
    static WidgetRegistry<ButtonState> buttons;
    return buttons;
}

MessageBoxButtonLook LookOf(const PointerState& pointer)
{
    // A press dragged off the button shows it released, as a push button of the desktop does.
    if (!pointer.hovered)
        return MessageBoxButtonLook::Normal;
    return pointer.pressed ? MessageBoxButtonLook::Pressed : MessageBoxButtonLook::Hover;
}

void Paint(HWND hwnd, const ButtonState& state)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc)
        return;
    DrawParentBackdrop(hwnd, dc);
    RECT client {};
    GetClientRect(hwnd, &client);
    DrawMessageBoxButton(dc, state.picture.get(), client, LookOf(state.pointer), GetFocus() == hwnd, WindowText(hwnd));
    EndPaint(hwnd, &ps);
}

void OnPointer(HWND hwnd, ButtonState& state, UINT message, LPARAM lParam)
{
    // A press takes the focus, as a push button of the desktop does.
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK)
        SetFocus(hwnd);
    PointerEvent event = TrackPointer(hwnd, state.pointer, message, lParam);
    if (event == PointerEvent::None)
        return;
    InvalidateRect(hwnd, nullptr, TRUE);
    if (event != PointerEvent::Clicked)
        return;
    // The box may end and destroy the button while it handles the click; nothing is used after.
    SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto state = std::make_shared<ButtonState>();
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (auto* picture = static_cast<std::shared_ptr<const ImageHandle>*>(create->lpCreateParams))
            state->picture = *picture;
        Buttons().Add(hwnd, std::move(state));
    }
    auto state = Buttons().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        OnPointer(hwnd, *state, message, lParam);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
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
        Buttons().Remove(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

void RegisterMessageBoxButtonClass()
{
    WNDCLASSEXW existing {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(nullptr, kMessageBoxButtonClass, &existing))
        RegisterWidgetClass(kMessageBoxButtonClass, ButtonProc, IDC_ARROW);
}

HWND CreateMessageBoxButton(HWND box, int id, LPCWSTR text, const RECT& rect, std::shared_ptr<const ImageHandle> picture)
{
    return CreateWindowExW(0, kMessageBoxButtonClass, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP, rect.left, rect.top,
        rect.right - rect.left, rect.bottom - rect.top, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
        &picture);
}

bool IsMessageBoxButton(HWND hwnd)
{
    return Buttons().Find(hwnd) != nullptr;
}
