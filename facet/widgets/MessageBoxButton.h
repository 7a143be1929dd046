// The push buttons of the engine's message box: skinned like the toolbar's buttons, with a look for
// the pointer over them and for a press, and a focus ring. A click (press and release on the button)
// sends WM_COMMAND with the button's id and BN_CLICKED to the box; the box itself takes the keys.
#pragma once

#include "facet/widgets/WidgetPaint.h"
#include "platform/ui/WinUser.h"

#include <memory>

inline const WCHAR* const kMessageBoxButtonClass = u"FacetMessageBoxButton";

// Registers the class once for every module (a second engine start finds it registered).
void RegisterMessageBoxButtonClass();
// A visible button child of `box` with the id and text; `picture` (may be empty) is the skin's button
// picture of three states side by side.
HWND CreateMessageBoxButton(HWND box, int id, LPCWSTR text, const RECT& rect, std::shared_ptr<const ImageHandle> picture);
bool IsMessageBoxButton(HWND hwnd);
