// Messages: posting, sending, the message loop primitives and timers.
#pragma once

#include "platform/ui/WinUser.h"

// Thread-safe; wakes the window's thread.
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// On the window's own thread the procedure is called directly; from another thread the call is
// marshalled and waited for, while sends addressed to the waiting thread keep being served.
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Order of retrieval: sent messages are served first, then posted messages, the quit message,
// WM_PAINT and last WM_TIMER, which are synthesised only when nothing was posted.
BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL WaitMessage();
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
void PostQuitMessage(int exitCode);
DWORD GetMessageTime();
POINT GetMessagePosPoint();

// Timers run on GetTickCount, so under the test clock they fire when the test advances it.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Pumps the calling thread's queue until `done` returns true or the queue received WM_QUIT
// (which is put back). Used by modal loops: menus, message boxes, modal dialogs.
template <class Done>
void RunNestedLoop(Done done);

// Drops the timers and queued messages of a destroyed window.
void ForgetWindowMessages(HWND hwnd);

#include "platform/ui/NestedLoop.inl"
