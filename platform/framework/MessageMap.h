// Message maps: a window class lists the messages it handles and the member that handles each.
//
//   BEGIN_MSG_MAP(CViewWnd)
//       MESSAGE_HANDLER(WM_PAINT, OnPaint)            LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL& handled)
//       MESSAGE_RANGE_HANDLER(WM_KEYFIRST, WM_KEYLAST, OnKey)
//       COMMAND_ID_HANDLER(1041, OnFullScreen)        LRESULT OnFullScreen(WORD code, WORD id, HWND control, BOOL& handled)
//       COMMAND_RANGE_HANDLER(10000, 10100, OnToolbar)
//       CHAIN_MSG_MAP(CDoubleBufferImpl<CViewWnd>)
//   END_MSG_MAP()
//
// A handler that clears `handled` lets the message continue down the map and, at the end, to the
// default handling.
#pragma once

#include "platform/ui/WinUser.h"

#define BEGIN_MSG_MAP(theClass)                                                                                     \
public:                                                                                                             \
    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD mapId = 0) \
    {                                                                                                               \
        BOOL bHandled = TRUE;                                                                                       \
        (void)hWnd;                                                                                                 \
        (void)uMsg;                                                                                                 \
        (void)wParam;                                                                                               \
        (void)lParam;                                                                                               \
        (void)lResult;                                                                                              \
        (void)mapId;                                                                                                \
        (void)bHandled;

#define MESSAGE_HANDLER(msg, func)                            \
    if (uMsg == (msg)) {                                      \
        bHandled = TRUE;                                      \
        lResult = func(uMsg, wParam, lParam, bHandled);       \
        if (bHandled)                                         \
            return TRUE;                                      \
    }

#define MESSAGE_RANGE_HANDLER(first, last, func)              \
    if (uMsg >= (first) && uMsg <= (last)) {                  \
        bHandled = TRUE;                                      \
        lResult = func(uMsg, wParam, lParam, bHandled);       \
        if (bHandled)                                         \
            return TRUE;                                      \
    }

#define COMMAND_ID_HANDLER(id, func)                                                                       \
    if (uMsg == WM_COMMAND && LOWORD(wParam) == (id)) {                                                    \
        bHandled = TRUE;                                                                                   \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);         \
        if (bHandled)                                                                                      \
            return TRUE;                                                                                   \
    }

#define COMMAND_RANGE_HANDLER(first, last, func)                                                           \
    if (uMsg == WM_COMMAND && LOWORD(wParam) >= (first) && LOWORD(wParam) <= (last)) {                     \
        bHandled = TRUE;                                                                                   \
        lResult = func(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam), bHandled);         \
        if (bHandled)                                                                                      \
            return TRUE;                                                                                   \
    }

#define CHAIN_MSG_MAP(theChainClass)                                                          \
    if (theChainClass::ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult, mapId))     \
        return TRUE;

#define END_MSG_MAP() \
    return FALSE;     \
    }
