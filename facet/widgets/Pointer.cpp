#include "facet/widgets/Pointer.h"

#include "facet/widgets/WidgetPaint.h"
#include "platform/ui/Input.h"

namespace {

PointerEvent SetHovered(PointerState& state, bool hovered)
{
    if (state.hovered == hovered)
        return PointerEvent::None;
    state.hovered = hovered;
    return PointerEvent::Changed;
}

PointerEvent OnItemMove(HWND hwnd, ItemPointerState& state, int item)
{
    bool inside = state.pressed != kNoItem && item == state.pressed;
    if (item == state.hovered && inside == state.pressInside)
        return PointerEvent::None;
    if (item != kNoItem && state.hovered == kNoItem)
        TrackPointerLeave(hwnd);
    state.hovered = item;
    state.pressInside = inside;
    return PointerEvent::Changed;
}

PointerEvent OnItemUp(HWND hwnd, ItemPointerState& state, int item, int* clicked)
{
    if (state.pressed == kNoItem)
        return PointerEvent::None;
    int pressed = state.pressed;
    state.pressed = kNoItem;
    state.pressInside = false;
    state.hovered = item;
    if (GetCapture() == hwnd)
        ReleaseCapture();
    if (item == kNoItem || item != pressed)
        return PointerEvent::Changed;
    TrackPointerLeave(hwnd);
    if (clicked)
        *clicked = item;
    return PointerEvent::Clicked;
}

} // namespace

PointerEvent TrackPointer(HWND hwnd, PointerState& state, UINT message, LPARAM lParam)
{
    switch (message) {
    case WM_MOUSEMOVE: {
        bool inside = PointInClient(hwnd, ClientPointOf(lParam));
        if (inside && !state.hovered)
            TrackPointerLeave(hwnd);
        return SetHovered(state, inside);
    }
    case WM_MOUSELEAVE:
        return SetHovered(state, false);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        state.pressed = true;
        state.hovered = true;
        TrackPointerLeave(hwnd);
        SetCapture(hwnd);
        return PointerEvent::Changed;
    case WM_LBUTTONUP: {
        if (!state.pressed)
            return PointerEvent::None;
        bool inside = PointInClient(hwnd, ClientPointOf(lParam));
        state.pressed = false;
        state.hovered = inside;
        if (GetCapture() == hwnd)
            ReleaseCapture();
        if (inside)
            TrackPointerLeave(hwnd);
        return inside ? PointerEvent::Clicked : PointerEvent::Changed;
    }
    case WM_CAPTURECHANGED:
        if (!state.pressed || reinterpret_cast<HWND>(lParam) == hwnd)
            return PointerEvent::None;
        state.pressed = false;
        return PointerEvent::Changed;
    default:
        return PointerEvent::None;
    }
}

PointerEvent TrackItemPointer(HWND hwnd, ItemPointerState& state, UINT message, int itemAtPoint, int* clicked)
{
    switch (message) {
    case WM_MOUSEMOVE:
        return OnItemMove(hwnd, state, itemAtPoint);
    case WM_MOUSELEAVE:
        // A press keeps its item until the button goes up.
        if (state.hovered == kNoItem || state.pressed != kNoItem)
            return PointerEvent::None;
        state.hovered = kNoItem;
        return PointerEvent::Changed;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (itemAtPoint == kNoItem)
            return PointerEvent::None;
        state.pressed = itemAtPoint;
        state.pressInside = true;
        state.hovered = itemAtPoint;
        TrackPointerLeave(hwnd);
        SetCapture(hwnd);
        return PointerEvent::Changed;
    case WM_LBUTTONUP:
        return OnItemUp(hwnd, state, itemAtPoint, clicked);
    case WM_CAPTURECHANGED:
        // Only a window that loses the capture hears of it.
        if (state.pressed == kNoItem)
            return PointerEvent::None;
        state.pressed = kNoItem;
        state.pressInside = false;
        return PointerEvent::Changed;
    default:
        return PointerEvent::None;
    }
}

void ResetItemPointer(HWND hwnd, ItemPointerState& state)
{
    bool captured = state.pressed != kNoItem && GetCapture() == hwnd;
    state = {};
    if (captured)
        ReleaseCapture();
}
