// The popup menus of the main window: the capture device and the resolution mode.
#include "app/MainDlg.h"

#include "platform/base/Format.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "ui/StatusText.h"

namespace {

constexpr int kMenuResource = 222;
constexpr UINT kFirstModeItem = 32771;   // mode m is item 32771 + m
constexpr UINT kFirstDeviceItem = 32776; // the device at 0-based index i is item 32776 + i

// The menu resource, loaded for one showing and destroyed with this object.
class LoadedMenu {
public:
    explicit LoadedMenu(HINSTANCE instance) : m_menu(LoadMenuW(instance, MAKEINTRESOURCEW(kMenuResource))) { }
    ~LoadedMenu()
    {
        if (m_menu)
            DestroyMenu(m_menu);
    }
    LoadedMenu(const LoadedMenu&) = delete;
    LoadedMenu& operator=(const LoadedMenu&) = delete;
    HMENU Popup(int position) const { return m_menu ? GetSubMenu(m_menu, position) : nullptr; }

private:
    HMENU m_menu;
};

UINT TrackAtCursor(HMENU popup, HWND owner)
{
    POINT cursor;
    GetCursorPos(&cursor);
    return static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD, cursor.x, cursor.y, 0, owner, nullptr));
}

} // namespace

LRESULT CMainDlg::OnDeviceMenuMessage(UINT, WPARAM, LPARAM, BOOL&)
{
    ShowDeviceMenu();
    return 0;
}

void CMainDlg::ShowResolutionMenu()
{
    LoadedMenu menu(m_instance);
    HMENU popup = menu.Popup(0);
    if (!popup)
        return;
    int remaining = 0;
    for (int mode = 1; mode <= 3; ++mode) {
        int width = 0;
        int height = 0;
        UINT item = kFirstModeItem + mode;
        if (m_engine.GetModeSize(mode, &width, &height)) {
            ModifyMenuW(popup, item, MF_BYCOMMAND | MF_STRING, item, FormatW(u"%d * %d", width, height).c_str());
            ++remaining;
        } else {
            DeleteMenu(popup, item, MF_BYCOMMAND);
        }
    }
    if (remaining < 2)
        return;
    CheckMenuItem(popup, kFirstModeItem + m_currentMode, MF_BYCOMMAND | MF_CHECKED);
    UINT chosen = TrackAtCursor(popup, m_hWnd);
    if (chosen < kFirstModeItem + 1 || chosen > kFirstModeItem + 3)
        return;
    m_currentMode = static_cast<int>(chosen - kFirstModeItem);
    ApplyMode(m_currentMode);
}

void CMainDlg::ShowDeviceMenu()
{
    if (!m_notRecording) {
        ShowMessage(142, 0x200);
        return;
    }
    LoadedMenu menu(m_instance);
    HMENU popup = menu.Popup(1);
    if (!popup)
        return;
    // A camera plugged in or out since the lists were made has marked them stale: the menu shows the
    // cameras there are now.
    m_engine.EnumerateDevices();
    int videoCount = 0;
    m_engine.GetDeviceCounts(&videoCount, nullptr);
    WString current = m_engine.GetCurrentDeviceName();
    if (videoCount < 2)
        return;
    DeleteMenu(popup, kFirstDeviceItem, MF_BYCOMMAND);
    m_deviceIndex = 0;
    for (int position = 1; position <= videoCount; ++position) {
        WCHAR name[MAX_PATH] = {};
        if (!m_engine.GetDeviceName(position, name, MAX_PATH))
            continue;
        AppendMenuW(popup, MF_STRING, kFirstDeviceItem - 1 + position, name);
        if (lstrcmpiW(name, current.c_str()) == 0)
            m_deviceIndex = position - 1;
    }
    CheckMenuItem(popup, static_cast<UINT>(m_deviceIndex), MF_BYPOSITION | MF_CHECKED);
    UINT chosen = TrackAtCursor(popup, m_hWnd);
    if (chosen < kFirstDeviceItem || chosen >= kFirstDeviceItem + static_cast<UINT>(videoCount))
        return;
    m_hd = 0;
    m_currentMode = 1;
    m_textColor = ReadStatusTextColor();
    SetDlgItemText(1040, FormatHdLink(m_instance, m_textColor, false).c_str());
    m_view.SetWindowPos(nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_view.ShowWindow(SW_SHOW);
    SetWindowPos(nullptr, 0, 0, 642, 480 + 138 + (m_strip.IsWindowVisible() ? StripHeight() : 0),
        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_deviceIndex = static_cast<int>(chosen - kFirstDeviceItem);
    m_engine.SelectDevice(m_deviceIndex, 0);
    RewriteDeviceLabel();
}
