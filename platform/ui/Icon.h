// Icons and cursors.
#pragma once

#include "platform/ui/Presenter.h"
#include "platform/ui/WinUser.h"

#include <cairo.h>

inline const WCHAR* const IDC_ARROW = reinterpret_cast<const WCHAR*>(static_cast<ULONG_PTR>(32512));
inline const WCHAR* const IDC_IBEAM = reinterpret_cast<const WCHAR*>(static_cast<ULONG_PTR>(32513));
inline const WCHAR* const IDC_WAIT = reinterpret_cast<const WCHAR*>(static_cast<ULONG_PTR>(32514));
inline const WCHAR* const IDC_SIZEALL = reinterpret_cast<const WCHAR*>(static_cast<ULONG_PTR>(32646));
inline const WCHAR* const IDC_HAND = reinterpret_cast<const WCHAR*>(static_cast<ULONG_PTR>(32649));
inline constexpr UINT IMAGE_ICON = 1;
inline constexpr UINT IMAGE_CURSOR = 2;
inline constexpr UINT LR_DEFAULTCOLOR = 0;
inline constexpr UINT LR_SHARED = 0x8000;

// System cursors (instance nullptr) by their IDC_ number.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
// An icon resource of a module, at its nearest size to the system's large icon size.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
// An icon resource at the size asked for (0 × 0: the system's large icon size), scaled from the nearest image.
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
BOOL DestroyIcon(HICON icon);
BOOL DestroyCursor(HCURSOR cursor);

// Internal: what the layer needs of an icon or cursor.
cairo_surface_t* IconSurface(HICON icon);
CursorShape CursorShapeOf(HCURSOR cursor);
