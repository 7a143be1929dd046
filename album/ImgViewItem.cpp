#include "album/ImgViewItem.h"

#include "album/ShellHandOff.h"
#include "ui/EngineAccess.h"
#include "platform/sys/File.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "ui/StatusText.h"

#include <algorithm>

namespace {

constexpr int kMenuResource = 222;
constexpr int kItemMenu = 2; // "PopImg"
constexpr UINT kDeleteCommand = 32779;
constexpr UINT kOpenFolderCommand = 32780;
constexpr UINT kCaptionString = 129;
constexpr UINT kConfirmDeleteString = 140;
constexpr UINT kConfirmDeleteFlags = 36; // Yes and No, question icon
constexpr int kSlideStep = 10;
constexpr DWORD kChineseCharset = 134;
constexpr DWORD kSwissFamily = 32; // the "×" font's pitch and family

void Hold(EngineImage* image)
{
    if (image)
        image->AddRef();
}

void Drop(EngineImage* image)
{
    if (image)
        image->Release();
}

bool FileExists(const WString& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The "×" answers a release anywhere in its corner, shown or not.
bool InDeleteArea(int x, int y, int width)
{
    return x > 0 && x >= width - 15 && y >= 11 && y <= 25;
}

} // namespace

CImgViewItem::CImgViewItem(WString path, bool isVideo, const StripShared& shared, EngineImage* picture)
    : m_path(std::move(path)), m_isVideo(isVideo), m_shared(shared), m_picture(picture)
{
    Hold(m_shared.background);
    Hold(m_shared.frame);
    Hold(m_shared.size);
    m_font = CreateFontW(12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, kChineseCharset, 0, 0, 0, kSwissFamily, u"宋体");
}

CImgViewItem::~CImgViewItem()
{
    if (IsWindow())
        DestroyWindow();
    Drop(m_picture);
    Drop(m_shared.background);
    Drop(m_shared.frame);
    Drop(m_shared.size);
    if (m_font)
        DeleteObject(m_font);
}

void CImgViewItem::DoPaint(HDC dc)
{
    RECT client;
    GetClientRect(&client);
    int w = client.right;
    int h = client.bottom;
    if (m_shared.background)
        m_shared.background->ImageDraw(dc, 0, 0, w, h, 15, 0, -1, -1, 0);
    EngineImage* print = m_isVideo ? m_picture : m_shared.frame;
    if (print)
        print->ImageDraw(dc, 0, 9, w, h, 0, 0, -1, -1, 0);
    if (!m_isVideo && m_picture && m_picture->ImageWidth() != 0) {
        // Stretched over the print's window; the newest stands one pixel higher.
        SIZE drawn = PictureSize({w, h});
        m_picture->ImageDraw(dc, 5, m_newest ? 13 : 14, drawn.cx, drawn.cy, 0, 0, m_picture->ImageWidth(),
            m_picture->ImageHeight(), 0);
    }
    if (m_hovered) {
        HGDIOBJ oldFont = m_font ? SelectObject(dc, m_font) : nullptr;
        SetTextColor(dc, RGB(255, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        RECT corner = client;
        corner.top += 14;
        corner.right -= 4;
        DrawTextW(dc, u"×", 1, &corner, DT_SINGLELINE | DT_RIGHT);
        if (oldFont)
            SelectObject(dc, oldFont);
    }
}

void CImgViewItem::ItemAction(int action)
{
    switch (action) {
    case kOpen:
        if (!FileExists(m_path)) {
            // Gone behind the program's back: the entry goes as after a deletion.
            DeleteFileW(m_path.c_str());
            RemoveFromStrip();
            return;
        }
        OpenAlbumFile(m_hWnd, m_path.c_str());
        return;
    case kOpenFolder:
        if (FileExists(m_path))
            ShowAlbumFileInFolder(m_hWnd, m_path.c_str());
        return;
    case kDelete: {
        EngineMessageBox* box = GetEngineMessageBox();
        WString text = LoadStringText(m_shared.resources, kConfirmDeleteString);
        WString caption = LoadStringText(m_shared.resources, kCaptionString);
        int answer = box ? box->MessageBox(m_hWnd, text.c_str(), caption.c_str(), kConfirmDeleteFlags)
                         : MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), kConfirmDeleteFlags);
        if (answer != IDYES)
            return;
        DeleteFileW(m_path.c_str()); // a file in use or without rights goes from the strip all the same
        RemoveFromStrip();
        return;
    }
    default:
        return;
    }
}

void CImgViewItem::RemoveFromStrip()
{
    ::PostMessageW(GetParent(), kMessageAlbumItemRemoved, 0, static_cast<LPARAM>(m_id));
}

LRESULT CImgViewItem::OnSetCursor(UINT message, WPARAM wParam, LPARAM lParam, BOOL&)
{
    if (LOWORD(lParam) != HTCLIENT)
        return DefWindowProc(message, wParam, lParam);
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

LRESULT CImgViewItem::OnMouseMove(UINT, WPARAM, LPARAM, BOOL&)
{
    if (m_hovered)
        return 0;
    TRACKMOUSEEVENT track {};
    track.cbSize = sizeof track;
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = m_hWnd;
    track.dwHoverTime = HOVER_DEFAULT;
    TrackMouseEvent(&track);
    m_hovered = true;
    Invalidate();
    return 0;
}

LRESULT CImgViewItem::OnMouseLeave(UINT, WPARAM, LPARAM, BOOL&)
{
    if (m_hovered) {
        m_hovered = false;
        Invalidate();
    }
    return 0;
}

LRESULT CImgViewItem::OnLeftButtonUp(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    RECT client;
    GetClientRect(&client);
    ItemAction(InDeleteArea(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), client.right) ? kDelete : kOpen);
    return 0;
}

LRESULT CImgViewItem::OnRightButtonUp(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    POINT at {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(&at);
    if (!MonitorFromPoint(at, MONITOR_DEFAULTTONULL)) {
        MONITORINFO info {};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &info))
            at.x = std::clamp(at.x, info.rcWork.left, info.rcWork.right - 1);
    }
    HMENU menu = LoadMenuW(m_shared.resources, MAKEINTRESOURCEW(kMenuResource));
    if (!menu)
        return 0;
    HMENU popup = GetSubMenu(menu, kItemMenu);
    UINT command = popup ? static_cast<UINT>(TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, 0,
                                                            m_hWnd, nullptr))
                         : 0;
    DestroyMenu(menu);
    if (command == kDeleteCommand)
        ItemAction(kDelete);
    else if (command == kOpenFolderCommand)
        ItemAction(kOpenFolder);
    return 0;
}

LRESULT CImgViewItem::OnTimer(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled)
{
    if (wParam != kSlideTimer) {
        handled = FALSE;
        return DefWindowProc(message, wParam, lParam);
    }
    RECT rect;
    GetWindowRect(&rect);
    HWND strip = GetParent();
    POINT top {rect.left, rect.top};
    ::ScreenToClient(strip, &top);
    int y = std::min(top.y + kSlideStep, 0);
    SetRedraw(FALSE);
    SetWindowPos(nullptr, top.x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetRedraw(TRUE);
    Invalidate();
    ::InvalidateRect(strip, nullptr, TRUE);
    if (y >= 0) {
        KillTimer(kSlideTimer);
        m_arrived = true;
    }
    return 0;
}
