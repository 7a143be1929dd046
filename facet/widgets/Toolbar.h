// The "DynamicToolBar" control: buttons laid out left to right, each a picture of three states side by
// side (normal, under the pointer, pressed) centred above its text. A click (press and release on the
// same button) sends WM_COMMAND with the button's command to the toolbar's parent.
#pragma once

#include "platform/ui/WinUser.h"

inline const WCHAR* const kToolbarClass = u"DynamicToolBar";
inline constexpr DWORD kToolbarPictureAboveText = 4; // the one layout of kPropertyButtonLayout
inline constexpr int kToolbarPictureStates = 3;

void RegisterToolbarClass();
bool IsToolbar(HWND hwnd);
HRESULT ClearToolbar(HWND hwnd);
HRESULT SetToolbarLayout(HWND hwnd, DWORD layout);
// S_FALSE: the button was added without a picture because the picture could not be read.
HRESULT AddToolbarButton(HWND hwnd, UINT command, LPCWSTR text, LPCWSTR imageUrl, int width);
