#include "app/ViewWnd.h"

#include "capture/CaptureEngine.h"

CViewWnd::~CViewWnd()
{
    SetLogo(nullptr);
}

void CViewWnd::SetLogo(EngineImage* logo)
{
    if (logo)
        logo->AddRef();
    if (m_logo)
        m_logo->Release();
    m_logo = logo;
}

LRESULT CViewWnd::OnKeyOrDoubleClick(UINT, WPARAM, LPARAM, BOOL& handled)
{
    if (m_engine)
        m_engine->LeaveFullScreen();
    // The message then takes its normal course.
    handled = FALSE;
    return 0;
}

void CViewWnd::DoPaint(HDC dc)
{
    if (!m_logo)
        return;
    RECT client;
    GetClientRect(&client);
    HBRUSH ground = CreateSolidBrush(RGB(217, 218, 220));
    FillRect(dc, &client, ground);
    DeleteObject(ground);
    int x = client.right / 2 - m_logo->ImageWidth() / 2;
    int y = client.bottom / 2 - m_logo->ImageHeight() / 2 - 40;
    m_logo->ImageDraw(dc, x, y, -1, -1, 0, 0, -1, -1, 0);
}
