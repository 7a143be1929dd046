// Check boxes drawn by the skin: a picture of four states side by side (unchecked, unchecked under the
// pointer, checked, checked under the pointer) and the window text as label markup. The button's own
// procedure keeps the clicking, checking and BN_CLICKED.
#pragma once

#include "platform/ui/WinUser.h"

#include <vector>

bool IsCheckBoxControl(HWND hwnd);
bool SkinCheckBox(HWND hwnd);
// The state picture: a path or URL, cells across in the low word and down in the high word of `cells`.
// nullptr removes it. The control is skinned first when it is a check box that is not yet.
HRESULT SetCheckBoxImage(HWND hwnd, LPCWSTR pathOrUrl, DWORD cells);
void UnskinCheckBox(HWND hwnd);
std::vector<HWND> SkinnedCheckBoxes();
