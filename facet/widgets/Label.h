// Static controls whose window text is drawn as label markup: transparent over the skin, in the
// markup's colour and hover colour, with a hand cursor for hand=true and a link for link=N.
#pragma once

#include "platform/ui/WinUser.h"

#include <vector>

// Set-up flags of a label (the label object's SetLabelSetup adds one at a time).
inline constexpr int kLabelTransparent = 1; // drawn over the parent's background, else on the skin's window colour
inline constexpr int kLabelSingleLine = 4;  // one line centred vertically, else wrapped from the top
inline constexpr int kLabelSetupMask = kLabelTransparent | kLabelSingleLine;

// Whether the window is a static control showing text (not an icon or picture static).
bool IsTextStatic(HWND hwnd);
// Subclasses a text static so it draws markup; the previous procedure keeps everything else.
bool SkinStaticControl(HWND hwnd, int setup);
// Adds set-up flags; E_INVALIDARG for a value outside kLabelSetupMask.
HRESULT AddLabelSetup(HWND hwnd, int value);
// Gives the previous procedure back.
void UnskinStaticControl(HWND hwnd);
std::vector<HWND> SkinnedLabels();
