// The main window's size follows the picture of the current mode; the controls are placed on every
// size change; the strip grows and shrinks the window.
#include "app/MainDlg.h"

#include "platform/ui/Screen.h"

namespace {

constexpr int kExtraWidth = 2;
constexpr int kExtraHeight = 138;
constexpr UINT kPlace = SWP_NOZORDER | SWP_NOACTIVATE;

} // namespace

int CMainDlg::StripHeight() const
{
    return m_strip.GetStripHeight();
}

void CMainDlg::SizeWindowForPicture(int width, int height)
{
    int extra = kExtraHeight + (m_strip.IsWindowVisible() ? StripHeight() : 0);
    SetWindowPos(nullptr, 0, 0, width + kExtraWidth, height + extra, SWP_NOMOVE | kPlace);
}

LRESULT CMainDlg::OnSize(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    if (wParam != SIZE_MINIMIZED)
        Layout(LOWORD(lParam), HIWORD(lParam));
    return 0;
}

void CMainDlg::Layout(int width, int height)
{
    if (width == 0 || height == 0) {
        RECT client;
        GetClientRect(&client);
        width = client.right;
        height = client.bottom;
    }
    int pictureWidth = 0;
    int pictureHeight = 0;
    // Without a mode (no device yet) the preview host keeps its size, so the logo stays visible.
    if (m_view.IsWindow() && m_engine.GetModeSize(m_currentMode, &pictureWidth, &pictureHeight))
        m_view.SetWindowPos(nullptr, 0, 0, pictureWidth, pictureHeight, SWP_NOMOVE | kPlace);
    if (HWND label = GetDlgItem(1042))
        ::SetWindowPos(label, nullptr, 10, height - 22, 0, 0, SWP_NOSIZE | kPlace);
    bool hdShown = ::IsWindowVisible(GetDlgItem(1040));
    if (HWND checkBox = GetDlgItem(1044))
        ::SetWindowPos(checkBox, nullptr, width - (hdShown ? 140 : 100), height - 24, 100, 20, kPlace);
    if (HWND hd = GetDlgItem(1040))
        ::SetWindowPos(hd, nullptr, width - 50, height - 25, 50, 20, kPlace);
    if (HWND clock = GetDlgItem(1021))
        ::SetWindowPos(clock, nullptr, width - 170, 80, 150, 20, kPlace | SWP_NOREDRAW);
    if (HWND countdown = GetDlgItem(1022))
        ::SetWindowPos(countdown, nullptr, width - 174, 60, 150, 20, kPlace | SWP_NOREDRAW);
    Invalidate(TRUE);
    if (m_strip.IsWindow()) {
        int strip = StripHeight();
        m_strip.SetWindowPos(nullptr, 1, height - strip - 25, width - 2, strip, kPlace);
    }
}

void CMainDlg::ApplyMode(int mode)
{
    m_view.ShowWindow(SW_HIDE);
    int width = 0;
    int height = 0;
    m_engine.GetModeSize(mode, &width, &height);
    SizeWindowForPicture(width, height);
    m_engine.SetResolution(mode);
    CenterWindow();
    m_view.ShowWindow(SW_SHOW);
}

void CMainDlg::ShowStrip()
{
    if (m_strip.IsWindowVisible())
        return;
    m_strip.ShowWindow(SW_SHOW);
    RECT window;
    GetWindowRect(&window);
    RECT work {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int strip = StripHeight();
    int overflow = window.bottom + strip > work.bottom ? window.bottom + strip - work.bottom : 0;
    SetWindowPos(nullptr, 0, 0, window.right - window.left, window.bottom - window.top + strip, SWP_NOMOVE | kPlace);
    if (overflow)
        SetWindowPos(nullptr, window.left, window.top - overflow, 0, 0, SWP_NOSIZE | kPlace);
}

void CMainDlg::HideStrip()
{
    if (!m_strip.IsWindowVisible())
        return;
    m_strip.ShowWindow(SW_HIDE);
    RECT window;
    GetWindowRect(&window);
    SetWindowPos(nullptr, 0, 0, window.right - window.left, window.bottom - window.top - StripHeight(), SWP_NOMOVE | kPlace);
}
