// CDialogResize: moves and stretches registered controls with the dialog's client size.
#pragma once

#include "platform/ui/Window.h"

#include <vector>

inline constexpr DWORD DLSZ_MOVE_X = 0x1;
inline constexpr DWORD DLSZ_MOVE_Y = 0x2;
inline constexpr DWORD DLSZ_SIZE_X = 0x4;
inline constexpr DWORD DLSZ_SIZE_Y = 0x8;

template <class T>
class CDialogResize {
public:
    // Remembers the client size and the rectangles of the controls registered so far.
    void DlgResize_Init()
    {
        HWND hwnd = static_cast<T*>(this)->m_hWnd;
        ::GetClientRect(hwnd, &m_initialClient);
        for (auto& entry : m_entries)
            entry.initial = ControlRect(hwnd, entry.id);
        m_initialized = true;
    }

    void DlgResize_Add(int id, DWORD flags) { m_entries.push_back({id, flags, {}}); }

    // Places the registered controls for a client area of cx × cy.
    void DlgResize_UpdateLayout(int cx, int cy)
    {
        if (!m_initialized)
            return;
        HWND hwnd = static_cast<T*>(this)->m_hWnd;
        LONG dx = cx - m_initialClient.right;
        LONG dy = cy - m_initialClient.bottom;
        for (const auto& entry : m_entries) {
            HWND control = ::GetDlgItem(hwnd, entry.id);
            if (!control)
                continue;
            RECT r = entry.initial;
            if (entry.flags & DLSZ_MOVE_X)
                r.left += dx, r.right += dx;
            if (entry.flags & DLSZ_MOVE_Y)
                r.top += dy, r.bottom += dy;
            if (entry.flags & DLSZ_SIZE_X)
                r.right += dx;
            if (entry.flags & DLSZ_SIZE_Y)
                r.bottom += dy;
            ::SetWindowPos(control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

private:
    struct Entry {
        int id;
        DWORD flags;
        RECT initial;
    };
    static RECT ControlRect(HWND dialog, int id)
    {
        RECT r {};
        HWND control = ::GetDlgItem(dialog, id);
        if (!control || !::GetWindowRect(control, &r))
            return r;
        POINT topLeft {r.left, r.top};
        POINT bottomRight {r.right, r.bottom};
        ::ScreenToClient(dialog, &topLeft);
        ::ScreenToClient(dialog, &bottomRight);
        return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    }

    std::vector<Entry> m_entries;
    RECT m_initialClient {};
    bool m_initialized = false;
};
