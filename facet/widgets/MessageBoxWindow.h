// The engine's message box: a modal window drawn with the skin like the program's main window. The
// skinned caption shows the caption text and a close button, the skin's message-box frame picture (or
// the skin's plain window) is the background, and the box shows an icon, the message wrapped to a
// width limit, and skinned push buttons. It behaves as the layer's MessageBoxW does: the same button
// sets, defaults and answers, Enter, Escape, Tab and the arrows, the owner disabled while it runs,
// centred on the owner or the work area, and its answers taken from the layer's modal script while
// the headless presenter shows the windows.
#pragma once

#include "facet/widgets/MessageBoxLook.h"
#include "platform/ui/WinUser.h"

// The box's window class; its buttons carry the ids of their answers (IDOK, IDCANCEL, ...).
inline const WCHAR* const kMessageBoxClass = u"FacetMessageBox";

// The button the user chose (IDOK, IDCANCEL, IDYES, IDNO, IDRETRY, IDABORT, IDIGNORE); 0 when the
// owner is not a window or the box could not be made.
int ShowSkinnedMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags, const MessageBoxLook& look);
