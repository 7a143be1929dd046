// The caption of a skinned window: a child across the top, the skin's caption height high, drawn over
// the frame's caption band. It shows the icon, the title (its own text, else the window's), the caption
// links, the skin's caption buttons (each with its tooltip), a minimise button when the window has
// WS_MINIMIZEBOX, and the close button; a press anywhere else goes through to the window, whose own
// handling drags it.
#pragma once

#include "platform/ui/WinUser.h"

inline constexpr int kCaptionId = 32700;
inline const WCHAR* const kCaptionClass = u"FacetCaption";

void RegisterCaptionClass();
// A new caption child of `window`, laid out across its top.
HWND CreateCaption(HWND window);
bool IsCaption(HWND hwnd);
// Fits the caption to its window's width and the skin's caption height.
void LayoutCaption(HWND caption);
HRESULT SetCaptionWindowIcon(HWND caption, HICON icon);
// A link sending WM_COMMAND `command` to the window; a second link of the same command replaces the
// first. `spacing`: left and top shift the text in its place, its width is the gap kept to the right
// of the link; nullptr for none.
HRESULT AddCaptionLink(HWND caption, UINT command, LPCWSTR text, const RECT* spacing);
