// The main window and the controller of everything the user does: a modeless dialog made from
// dialog 129, drawn by the UI engine, owning the capture engine, the preview host and the strip.
#pragma once

#include "album/ImgScrollView.h"
#include "app/ViewWnd.h"
#include "capture/CaptureEngine.h"
#include "platform/framework/DataExchange.h"
#include "platform/framework/DialogImpl.h"
#include "platform/framework/DialogResize.h"
#include "platform/framework/MessageLoop.h"
#include "platform/framework/UpdateUI.h"
#include "suite/SuiteInterfaces.h"
#include "ui/Engine.h"

// The binding of a window to the UI engine.
class CBaseUI {
public:
    virtual ~CBaseUI() = default;
    virtual HWND GetBoundWindow() const = 0;
};

template <class T>
class CBaseUIImpl : public CBaseUI {
public:
    HWND GetBoundWindow() const override { return static_cast<const T*>(this)->m_hWnd; }
};

inline constexpr UINT kMessageStripItemRemoved = kMessageAlbumItemRemoved;
inline constexpr UINT kMessageDeviceMenu = 100;
inline constexpr ULONG_PTR kSkinChangedData = 0x6402;

class CMainDlg : public CDialogImplEx<CMainDlg>,
                 public CBaseUIImpl<CMainDlg>,
                 public CUpdateUI<CMainDlg>,
                 public CDialogResize<CMainDlg>,
                 public CMessageFilter,
                 public CIdleHandler,
                 public CWinDataExchange<CMainDlg> {
public:
    enum { IDD = 129 };

    CMainDlg();
    ~CMainDlg() override;

    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override;

    BEGIN_MSG_MAP(CMainDlg)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        MESSAGE_HANDLER(WM_PAINT, OnPaint)
        MESSAGE_HANDLER(WM_COPYDATA, OnCopyData)
        MESSAGE_HANDLER(kMessageDeviceMenu, OnDeviceMenuMessage)
        MESSAGE_HANDLER(WM_TIMER, OnTimer)
        MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
        MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLButtonDblClk)
        MESSAGE_HANDLER(WM_DEVICECHANGE, OnDeviceChange)
        MESSAGE_HANDLER(kMessageGraphNotify, OnGraphNotify)
        MESSAGE_HANDLER(kMessageRecordFailed, OnRecordFailed)
        MESSAGE_HANDLER(kMessageRecordComponentMissing, OnRecordComponentMissing)
        MESSAGE_HANDLER(kMessageStripItemRemoved, OnStripItemRemoved)
        MESSAGE_HANDLER(kMessageDeviceLost, OnDeviceLost)
        MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()

    // State the tests and the menus look at.
    bool IsRecording() const { return !m_notRecording; }
    int GetCurrentMode() const { return m_currentMode; }
    CCaptureEngine& GetCaptureEngine() { return m_engine; }
    CViewWnd& GetViewWnd() { return m_view; }
    CImgScrollView& GetStrip() { return m_strip; }

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnPaint(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCopyData(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDeviceMenuMessage(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnTimer(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnLButtonDown(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnLButtonDblClk(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDeviceChange(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnGraphNotify(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnRecordFailed(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnRecordComponentMissing(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnStripItemRemoved(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDeviceLost(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCommand(UINT, WPARAM, LPARAM, BOOL&);

    // Commands.
    void Close(int command);
    void Snapshot();
    void TakeSnapshotNow(const WString& path);
    void ToggleRecording();
    void AddRecordedVideo();
    void ToggleHd();
    void OpenAlbum();
    void ShowDeviceMenu();
    void ShowResolutionMenu();

    // Timers.
    void OnRecordingTick();
    void OnCountdownTick();
    void OnStartCheck();
    void WriteClock();
    void WriteCountdown();

    // Set-up, skinned texts and layout.
    void SetupSkin();
    void BuildToolbar();
    void RewriteTitle();
    void RewriteDeviceLabel();
    void ReloadSkin();
    void Layout(int width, int height);
    void ApplyMode(int mode);
    void ShowStrip();
    void HideStrip();
    int StripHeight() const;
    void SizeWindowForPicture(int width, int height);
    int ShowMessage(UINT stringId, UINT flags);
    WString ResourceUrl(int number) const;
    EngineObject* WindowObject(HWND hwnd, int number) const;

    HINSTANCE m_instance = nullptr;
    int m_recordingSeconds = 0;
    int m_notRecording = 1;
    COLORREF m_textColor = 0;
    int m_currentMode = 1;
    CViewWnd m_view;
    CCaptureEngine m_engine;
    WString m_documents;
    CImgScrollView m_strip;
    EngineImage* m_background = nullptr;
    HWND m_tooltip = nullptr;
    WString m_pendingSnapshot;
    int m_countdown = 3;
    bool m_startChecked = false;
    int m_snapshotBusy = 0;
    int m_hd = 0;
    int m_deviceIndex = 0;
    HICON m_iconBig = nullptr;
    HICON m_iconSmall = nullptr;
    // The suite's statistics sender, replaced by the start and recording-failure reports.
    TernStatSender* m_statSender = nullptr;
};

// The name of the video being recorded.
extern WCHAR g_recordingPath[MAX_PATH];
