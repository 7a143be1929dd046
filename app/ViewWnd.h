// The preview host: the child window the capture engine renders the live picture into. Without a
// picture it shows the program's logo on a light grey ground; any key or a double click over the
// picture ends full screen.
#pragma once

#include "platform/framework/DoubleBuffer.h"
#include "platform/framework/WindowImpl.h"
#include "ui/Engine.h"

class CCaptureEngine;

class CViewWnd : public CWindowImpl<CViewWnd>, public CDoubleBufferImpl<CViewWnd> {
public:
    DECLARE_WND_CLASS_EX(u"LumoPreviewHost", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    static constexpr DWORD kStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; // 0x52000000

    ~CViewWnd() override;

    void SetCaptureEngine(CCaptureEngine* engine) { m_engine = engine; }
    // Keeps a shared reference to the main window's background picture.
    void SetLogo(EngineImage* logo);

    BEGIN_MSG_MAP(CViewWnd)
        MESSAGE_RANGE_HANDLER(WM_KEYFIRST, 0x108, OnKeyOrDoubleClick)
        MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnKeyOrDoubleClick)
        CHAIN_MSG_MAP(CDoubleBufferImpl<CViewWnd>)
    END_MSG_MAP()

    void DoPaint(HDC dc);

private:
    LRESULT OnKeyOrDoubleClick(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);

    CCaptureEngine* m_engine = nullptr;
    EngineImage* m_logo = nullptr;
};
