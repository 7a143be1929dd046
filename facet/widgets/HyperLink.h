// The "HyperLink" control: its window text (label markup) drawn in the link colours with a hand cursor;
// a click sends WM_COMMAND with the control's id to the parent.
#pragma once

#include "platform/ui/WinUser.h"

inline const WCHAR* const kHyperLinkClass = u"HyperLink";

void RegisterHyperLinkClass();
bool IsHyperLink(HWND hwnd);
