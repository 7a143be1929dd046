// Top-level windows of other processes of the same user, reached through a per-user socket folder.
// Their handles are numbers of a range of their own, so the functions of Window.h tell them apart.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

// The top-level window of this user's processes (this process first) with that class name
// (case-insensitive) and, when given, that title. A foreign window gets a handle of the foreign range.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);

// Internal to platform/ui: the window functions hand foreign handles to these.
bool IsForeignWindow(HWND hwnd);
BOOL ForeignShowWindow(HWND hwnd, int command);
BOOL ForeignIsWindowVisible(HWND hwnd);
BOOL ForeignSetForegroundWindow(HWND hwnd);
BOOL ForeignIsWindow(HWND hwnd);
// Only WM_COPYDATA (with its data block) and WM_NULL cross to another process.
LRESULT ForeignSendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
