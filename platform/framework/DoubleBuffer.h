// CDoubleBufferImpl: painting through an off-screen buffer of the painted area, copied to the window
// in one transfer, so the window never shows a half-drawn picture. T provides DoPaint(HDC).
#pragma once

#include "platform/framework/MessageMap.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

template <class T>
class CDoubleBufferImpl {
public:
    BEGIN_MSG_MAP(CDoubleBufferImpl)
        MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_PRINTCLIENT, OnPaint)
    END_MSG_MAP()

    LRESULT OnEraseBackground(UINT, WPARAM, LPARAM, BOOL&) { return 1; }

    LRESULT OnPaint(UINT message, WPARAM wParam, LPARAM, BOOL&)
    {
        T* self = static_cast<T*>(this);
        if (wParam) {
            // WM_PRINTCLIENT, or a paint into a device context the caller gives: draw straight into it.
            RECT client;
            ::GetClientRect(self->m_hWnd, &client);
            PaintBuffered(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        if (message == WM_PRINTCLIENT)
            return 0;
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(self->m_hWnd, &ps);
        if (dc)
            PaintBuffered(dc, ps.rcPaint);
        ::EndPaint(self->m_hWnd, &ps);
        return 0;
    }

private:
    void PaintBuffered(HDC dc, const RECT& area)
    {
        int width = area.right - area.left;
        int height = area.bottom - area.top;
        if (width <= 0 || height <= 0)
            return;
        HDC memory = ::CreateCompatibleDC(dc);
        HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::SetViewportOrgEx(memory, -area.left, -area.top, nullptr);
        // The buffer starts in the class's background colour, so a DoPaint that draws nothing shows that.
        auto background = reinterpret_cast<HBRUSH>(::GetClassLongPtrW(static_cast<T*>(this)->m_hWnd, GCLP_HBRBACKGROUND));
        if (background)
            ::FillRect(memory, &area, background);
        static_cast<T*>(this)->DoPaint(memory);
        ::BitBlt(dc, area.left, area.top, width, height, memory, area.left, area.top, SRCCOPY);
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(memory);
    }
};
