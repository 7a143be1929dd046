// Hover and press of a widget that acts on a click: a press and a release inside it.
#pragma once

#include "platform/ui/WinUser.h"

struct PointerState {
    bool hovered = false;
    bool pressed = false; // the left button went down inside and the pointer is captured
};

enum class PointerEvent { None, Changed, Clicked };

// Follows the mouse messages of `hwnd`. Changed: the look depends on it and should be redrawn;
// Clicked: the button went up inside after going down inside (the state has changed too).
PointerEvent TrackPointer(HWND hwnd, PointerState& state, UINT message, LPARAM lParam);

// Hover and press over the items of a widget (toolbar buttons, caption buttons and links).
inline constexpr int kNoItem = -1;

struct ItemPointerState {
    int hovered = kNoItem;
    int pressed = kNoItem;
    bool pressInside = false; // the pointer is over the pressed item
};

// Follows the mouse messages of `hwnd`; `itemAtPoint` is the item under the message's point (mouse
// moves and button messages). On Clicked, *clicked is the item pressed and released.
PointerEvent TrackItemPointer(HWND hwnd, ItemPointerState& state, UINT message, int itemAtPoint, int* clicked);
// Forgets a press and the hover, as when the items are replaced.
void ResetItemPointer(HWND hwnd, ItemPointerState& state);
