// The user's input: focus, activation, capture, the pointer and the keyboard.
#pragma once

#include "platform/ui/WinUser.h"

HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL GetCursorPos(LPPOINT point);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
BOOL TrackMouseEvent(TRACKMOUSEEVENT* track);
short GetKeyState(int virtualKey);
UINT GetDoubleClickTime();

// What a presenter reports, on the thread that runs the presenter. Points are in the top-level
// window's surface coordinates. The events queue up as raw input of the window's thread and turn into
// messages when that thread takes them, so no window procedure runs inside a presenter's callback.
enum class PointerButton { Left, Right, Middle };
void DeliverPointerMotion(HWND topLevel, POINT point);
void DeliverPointerButton(HWND topLevel, POINT point, PointerButton button, bool pressed);
void DeliverPointerWheel(HWND topLevel, POINT point, int delta);
void DeliverPointerLeave(HWND topLevel);
// `character` is what the key types (0 for none); `alt` tells whether Alt is held.
void DeliverKey(HWND topLevel, UINT virtualKey, bool pressed, WCHAR character, bool alt);
void DeliverCloseRequest(HWND topLevel);
void DeliverActivation(HWND topLevel, bool active);
// The user moved or resized the window through the desktop.
void DeliverMovedByUser(HWND topLevel, const RECT& rect);

// Internal to platform/ui.
struct ThreadQueue;
bool TakeRawInput(ThreadQueue& queue, MSG* msg, bool remove);
bool CharacterOfKeyMessage(const MSG& msg, WCHAR* character);
void WindowLostByInput(HWND hwnd);
void WindowHiddenForInput(HWND hwnd);
