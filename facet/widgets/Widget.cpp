#include "facet/widgets/Widget.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

LRESULT Widget::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_previous)
        return CallWindowProcW(m_previous, m_hwnd, message, wParam, lParam);
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT Widget::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCHITTEST:
        if (PassesThroughBetweenItems() && ItemAt(ClientPointOfScreen(m_hwnd, lParam)) == kNoItem)
            return HTTRANSPARENT;
        return OnMessage(message, wParam, lParam);
    case WM_SETCURSOR: {
        // Asked before the move that brings the pointer here is handled, so the item is found afresh.
        LPCWSTR cursor = CursorOver(ItemAt(CursorInClient(m_hwnd)));
        if (!cursor)
            return OnMessage(message, wParam, lParam);
        SetCursor(LoadCursorW(nullptr, cursor));
        return TRUE;
    }
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        return OnPointerMessage(message, wParam, lParam);
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hwnd, &ps);
        if (!dc)
            return 0;
        Paint(dc);
        EndPaint(m_hwnd, &ps);
        return 0;
    }
    default:
        return OnMessage(message, wParam, lParam);
    }
}

LRESULT Widget::OnPointerMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    OnMouseMessage(message, wParam, lParam);
    if (Use() == PointerUse::HoverOnly) {
        // Under capture the control keeps getting moves from outside; those are not hovering.
        int item = message == WM_MOUSEMOVE ? ItemAt(ClientPointOf(lParam)) : kNoItem;
        if (message == WM_MOUSEMOVE || message == WM_MOUSELEAVE) {
            if (item != m_pointer.hovered) {
                if (item != kNoItem && m_pointer.hovered == kNoItem)
                    TrackPointerLeave(m_hwnd);
                m_pointer.hovered = item;
                OnPointerChanged();
            }
        }
        // The control's own handling of the mouse (a check box's click) goes on as before; a leave
        // asked for by the widget is the widget's.
        return message == WM_MOUSELEAVE ? 0 : Default(message, wParam, lParam);
    }
    // A capture that moves to this same window is no loss of the press.
    if (message == WM_CAPTURECHANGED && reinterpret_cast<HWND>(lParam) == m_hwnd)
        return 0;
    int item = message == WM_MOUSELEAVE || message == WM_CAPTURECHANGED ? kNoItem : ItemAt(ClientPointOf(lParam));
    if ((message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) && item != kNoItem)
        OnPressed(item);
    int clicked = kNoItem;
    PointerEvent event = TrackItemPointer(m_hwnd, m_pointer, message, item, &clicked);
    if (event == PointerEvent::None)
        return 0;
    OnPointerChanged();
    if (event == PointerEvent::Clicked)
        OnClicked(clicked);
    return 0;
}
