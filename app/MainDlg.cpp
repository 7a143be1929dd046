#include "app/MainDlg.h"

#include "album/MediaPaths.h"
#include "album/ShellHandOff.h"
#include "ui/EngineAccess.h"
#include "app/StartUp.h"
#include "platform/sys/File.h"
#include "platform/sys/Path.h"
#include "platform/sys/Thread.h"
#include "platform/ui/Menu.h"
#include "suite/SuiteServices.h"
#include "ui/StatusText.h"

WCHAR g_recordingPath[MAX_PATH] = {};

namespace {

constexpr UINT kTimerClock = 1;
constexpr UINT kTimerCountdown = 2;
constexpr UINT kTimerStartCheck = 3;
constexpr UINT kTimerPeriod = 1000;
constexpr int kCheckBoxId = 1044;
constexpr int kCountdownId = 1022;

// The worker of WM_USER + 3: tells the user a component is missing, then undoes the record command.
struct MissingComponentJob {
    HWND window;
    WString caption;
    WString text;
};

DWORD ShowMissingComponent(LPVOID parameter)
{
    auto* job = static_cast<MissingComponentJob*>(parameter);
    if (EngineMessageBox* box = GetEngineMessageBox())
        box->MessageBox(job->window, job->text.c_str(), job->caption.c_str(), MB_OK | 0x200);
    // As the engine's notice of an ended recording: it stops a recording still shown and leaves an
    // idle window alone, so it never starts another.
    SendMessageW(job->window, WM_COMMAND, MAKEWPARAM(10001, kRecordingEndedNotice), 0);
    delete job;
    return 0;
}

// A capture worth an album entry: a file (not a folder) with something in it.
bool IsNonEmptyFile(LPCWSTR path)
{
    if (!path || !*path)
        return false;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    FILE* file = _wfopen(path, u"rb");
    if (!file)
        return false;
    bool hasData = std::fgetc(file) != EOF;
    std::fclose(file);
    return hasData;
}

} // namespace

CMainDlg::CMainDlg() = default;

CMainDlg::~CMainDlg()
{
    if (m_background)
        m_background->Release();
    m_background = nullptr;
    if (m_iconBig)
        DestroyIcon(m_iconBig);
    if (m_iconSmall)
        DestroyIcon(m_iconSmall);
}

BOOL CMainDlg::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_IME_KEYDOWN)
        return TRUE;
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE || msg->wParam == VK_SPACE))
        return TRUE;
    if (msg->message >= WM_MOUSEMOVE && msg->message <= WM_XBUTTONDBLCLK && m_tooltip)
        SendMessageW(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
    if (msg->message == WM_SYSKEYDOWN)
        return TRUE;
    return IsDialogMessageW(m_hWnd, msg);
}

BOOL CMainDlg::OnIdle()
{
    return FALSE;
}

LRESULT CMainDlg::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    WORD command = LOWORD(wParam);
    if (command >= 10000 && command <= 10100) {
        EngineObject* toolbar = WindowObject(GetDlgItem(1000), kEngineControl);
        if (!toolbar)
            return 0;
        toolbar->Release();
    }
    switch (command) {
    case 1:
    case 2:
        Close(command);
        break;
    case 100:
    case 1042:
        ShowDeviceMenu();
        break;
    case 101:
        AddCameraItem(m_statSender);
        break;
    case 1040:
        ToggleHd();
        break;
    case 1041:
        m_engine.EnterFullScreen();
        break;
    case 10000:
        Snapshot();
        break;
    case 10001:
        // The engine's notice that an error ended the recording stops only a recording still shown.
        if (HIWORD(wParam) != kRecordingEndedNotice || IsRecording())
            ToggleRecording();
        break;
    case 10002:
        OpenAlbum();
        break;
    case 10003:
        RedrawWindow(nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
        ShowResolutionMenu();
        break;
    default:
        break;
    }
    return 0;
}

void CMainDlg::Close(int command)
{
    if (m_strip.IsWindow())
        m_strip.DestroyWindow();
    m_engine.Shutdown();
    DestroyWindow();
    PostQuitMessage(command);
}

void CMainDlg::Snapshot()
{
    if (m_snapshotBusy || !m_engine.IsUsable())
        return;
    // The name carries the time of the click, also when the picture is taken after the countdown.
    WCHAR photo[MAX_PATH] = {};
    MakePhotoPath(m_documents.c_str(), photo, sizeof photo);
    WString path = photo;
    m_snapshotBusy = 1;
    if (IsDlgButtonChecked(m_hWnd, kCheckBoxId) == BST_CHECKED) {
        m_pendingSnapshot = path;
        ::ShowWindow(GetDlgItem(kCountdownId), SW_SHOW);
        WriteCountdown();
        SetTimer(kTimerCountdown, kTimerPeriod);
        return;
    }
    TakeSnapshotNow(path);
}

void CMainDlg::TakeSnapshotNow(const WString& path)
{
    m_engine.TakeSnapshot(path.c_str());
    // The writer publishes only complete photos; a link under the name is someone else's file.
    if (IsNonEmptyFile(path.c_str())) {
        ShowStrip();
        m_strip.AddItem(path.c_str(), false);
    }
    m_snapshotBusy = 0;
}

void CMainDlg::ToggleRecording()
{
    int videoCount = 0;
    m_engine.GetDeviceCounts(&videoCount, nullptr);
    if (!m_engine.IsUsable() || videoCount == 0)
        return;
    if (EngineObject* toolbar = WindowObject(GetDlgItem(1000), kEngineControl)) {
        toolbar->SetProperty(kPropertyClearButtons, nullptr, 0);
        toolbar->Release();
    }
    if (m_notRecording) {
        MakeVideoPath(m_documents.c_str(), g_recordingPath, sizeof g_recordingPath);
        if (m_engine.StartRecording(g_recordingPath)) {
            SetTimer(kTimerClock, kTimerPeriod);
            m_notRecording = 0;
        } else {
            // The engine has told the user why; the window stays idle with its preview back, so no
            // stop button stands over a recording that is not there.
            m_engine.StopRecording();
        }
    } else {
        m_recordingSeconds = 0;
        KillTimer(kTimerClock);
        WriteClock();
        m_engine.StopRecording();
        m_notRecording = 1;
        AddRecordedVideo();
    }
    BuildToolbar();
    RewriteTitle();
}

void CMainDlg::AddRecordedVideo()
{
    // Only a video that was written becomes an entry: a start that failed, or a file removed while
    // it was recorded, leaves nothing to open.
    if (!IsNonEmptyFile(g_recordingPath))
        return;
    ShowStrip();
    m_strip.AddItem(g_recordingPath, true);
}

void CMainDlg::ToggleHd()
{
    if (!m_notRecording) {
        ShowMessage(141, 0x200);
        return;
    }
    if (!m_engine.IsUsable())
        return;
    int width = 0;
    int height = 0;
    if (!m_engine.GetModeSize(3, &width, &height)) {
        ShowMessage(258, 0x200);
        return;
    }
    m_textColor = ReadStatusTextColor();
    // The layout sizes the preview host from the current mode while the window takes its new size,
    // so the mode is current before it is applied.
    m_currentMode = m_hd ? 1 : 3;
    ApplyMode(m_currentMode);
    SetDlgItemText(1040, FormatHdLink(m_instance, m_textColor, !m_hd).c_str());
    m_hd = !m_hd;
}

void CMainDlg::OpenAlbum()
{
    // A fresh photo name makes the photo folder too, so the file manager has something to select
    // even before the first photo.
    WCHAR folder[MAX_PATH] = {};
    MakePhotoPath(m_documents.c_str(), folder, sizeof folder);
    PathRemoveFileSpecW(folder);
    OpenFolderSelect(folder, TRUE);
}

LRESULT CMainDlg::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL&)
{
    switch (wParam) {
    case kTimerClock:
        OnRecordingTick();
        break;
    case kTimerCountdown:
        OnCountdownTick();
        break;
    case kTimerStartCheck:
        OnStartCheck();
        break;
    default:
        break;
    }
    return 0;
}

void CMainDlg::OnRecordingTick()
{
    ++m_recordingSeconds;
    WriteClock();
}

void CMainDlg::WriteClock()
{
    EngineObject* label = WindowObject(GetDlgItem(1021), kEngineLabel);
    if (!label)
        return;
    label->SetLabelSetup(1);
    label->SetLabelSetup(4);
    m_textColor = ReadStatusTextColor();
    label->SetLabelText(FormatRecordingClock(m_instance, m_textColor, m_recordingSeconds).c_str());
    label->Release();
}

void CMainDlg::WriteCountdown()
{
    SetDlgItemText(kCountdownId, FormatCountdown(m_instance, m_countdown).c_str());
}

void CMainDlg::OnCountdownTick()
{
    --m_countdown;
    WriteCountdown();
    if (m_countdown > 0)
        return;
    KillTimer(kTimerCountdown);
    m_countdown = 3;
    ::ShowWindow(GetDlgItem(kCountdownId), SW_HIDE);
    TakeSnapshotNow(m_pendingSnapshot);
}

void CMainDlg::OnStartCheck()
{
    KillTimer(kTimerStartCheck);
    m_startChecked = true;
    ::ShowWindow(GetDlgItem(kCheckBoxId), SW_SHOW);
    RewriteDeviceLabel();
    if (m_engine.PreviewStartFailed())
        ShowMessage(172, 0x2030);
    else if (!m_engine.IsUsable())
        ShowMessage(149, 0x2030);
}

LRESULT CMainDlg::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    if (GET_Y_LPARAM(lParam) < 110)
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, lParam);
    return 0;
}

LRESULT CMainDlg::OnLButtonDblClk(UINT, WPARAM, LPARAM, BOOL&)
{
    return 0;
}

LRESULT CMainDlg::OnDeviceChange(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
{
    // A camera plugged in or out marks the engine's lists stale. Once the window has shown its
    // device line, the line is written anew from the cameras there are now, so that a second camera
    // turns it into the link that opens the device menu.
    if (m_engine.OnDeviceChange(wParam, lParam) && m_startChecked) {
        m_engine.EnumerateDevices();
        RewriteDeviceLabel();
    }
    return TRUE;
}

LRESULT CMainDlg::OnGraphNotify(UINT, WPARAM, LPARAM, BOOL&)
{
    BOOL failedBefore = m_engine.PreviewStartFailed();
    m_engine.OnGraphEvent();
    // A camera may fail while it is still starting, after the start check has looked: it is then
    // reported as that check would have.
    if (m_startChecked && !failedBefore && m_engine.PreviewStartFailed())
        ShowMessage(172, 0x2030);
    return 0;
}

LRESULT CMainDlg::OnRecordFailed(UINT, WPARAM, LPARAM, BOOL&)
{
    ReportRecordingFailure(m_statSender);
    return 0;
}

LRESULT CMainDlg::OnRecordComponentMissing(UINT, WPARAM, LPARAM, BOOL&)
{
    auto* job = new MissingComponentJob {m_hWnd, LoadStringText(m_instance, 129), LoadStringText(m_instance, 150)};
    HANDLE thread = CreateThread(nullptr, 0, ShowMissingComponent, job, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete job;
    return 0;
}

LRESULT CMainDlg::OnStripItemRemoved(UINT, WPARAM, LPARAM, BOOL&)
{
    if (m_strip.GetItemCount() == 0)
        HideStrip();
    return 0;
}

LRESULT CMainDlg::OnDeviceLost(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    if (lParam != kDeviceLostCode) {
        handled = FALSE;
        return 0;
    }
    if (!m_notRecording) {
        m_notRecording = 1;
        m_recordingSeconds = 0;
        KillTimer(kTimerClock);
        WriteClock();
        BuildToolbar();
        RewriteTitle();
    }
    m_view.ShowWindow(SW_HIDE);
    m_snapshotBusy = 0;
    HideStrip();
    RewriteDeviceLabel();
    return 0;
}

int CMainDlg::ShowMessage(UINT stringId, UINT flags)
{
    EngineMessageBox* box = GetEngineMessageBox();
    if (!box)
        return 0;
    WString caption = LoadStringText(m_instance, 129);
    WString text = LoadStringText(m_instance, stringId);
    return box->MessageBox(m_hWnd, text.c_str(), caption.c_str(), flags);
}
