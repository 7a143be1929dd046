// Top-level windows skinned by the engine. The window is subclassed (its previous procedure gets every
// message the skin does not take): the frame picture is its background, a caption child runs across
// its top, and its text statics and check boxes draw themselves with the skin.
#pragma once

#include "platform/ui/WinUser.h"

#include <vector>

// Set-up calls of the window binding.
inline constexpr int kSetupSkin = 1;  // value 1: the frame is the background; 0: the window's own background
inline constexpr int kSetupBound = 9; // the binding is complete: everything is drawn afresh

// How the frame picture covers the window.
inline constexpr int kFrameStretch = 0;  // the whole picture stretched over the client area
inline constexpr int kFrameNineGrid = 7; // corners as they are, edges and centre stretched

HRESULT AttachWindowSkin(HWND hwnd);
bool IsSkinnedWindow(HWND hwnd);
// The window's caption child, or nullptr.
HWND CaptionOfSkinnedWindow(HWND hwnd);
HRESULT SetupSkinnedWindow(HWND hwnd, int what, int value);
// `centre`: the centre part of the picture for the nine-grid mode (nullptr: the whole picture).
// No picture, or one that cannot be read (E_FAIL), leaves the skin's plain background.
HRESULT SetSkinnedWindowFrame(HWND hwnd, LPCWSTR imageUrl, int mode, const RECT* centre);
// Reloads the frame picture, fits the caption to the skin and redraws the window and its children.
void RefreshSkinnedWindow(HWND hwnd);
// Gives the window its previous procedure back, removes the caption and unskins its controls.
void DetachSkinnedWindow(HWND hwnd);
std::vector<HWND> SkinnedWindows();
