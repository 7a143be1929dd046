// The main window's initialisation, skinned parts, title, toolbar, device line, skin reload and
// background painting.
#include "ui/EngineAccess.h"
#include "app/MainDlg.h"
#include "app/SkinSelector.h"
#include "app/StartUp.h"
#include "platform/sys/SpecialFolders.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Screen.h"
#include "suite/SuiteServices.h"
#include "ui/StatusText.h"

namespace {

constexpr int kCaptionId = 32700;
constexpr int kToolbarId = 1000;

// While it lives the engine's display scaling is in mode 1; the mode before is restored at its end.
class DisplayScalingScope {
public:
    DisplayScalingScope() : m_scaling(GetEngineDisplayScaling())
    {
        if (!m_scaling)
            return;
        m_previous = m_scaling->GetMode();
        m_scaling->SetMode(1);
    }
    ~DisplayScalingScope()
    {
        if (m_scaling)
            m_scaling->SetMode(m_previous);
    }
    DisplayScalingScope(const DisplayScalingScope&) = delete;
    DisplayScalingScope& operator=(const DisplayScalingScope&) = delete;
    bool Exists() const { return m_scaling != nullptr; }

private:
    EngineDisplayScaling* m_scaling;
    int m_previous = 0;
};

} // namespace

WString CMainDlg::ResourceUrl(int number) const
{
    return EngineResourceUrl(m_instance, number);
}

EngineObject* CMainDlg::WindowObject(HWND hwnd, int number) const
{
    EngineMain* engine = GetEngineMain();
    if (!engine || !hwnd)
        return nullptr;
    EngineObject* object = nullptr;
    if (FAILED(engine->GetWindowObject(hwnd, number, &object)))
        return nullptr;
    return object;
}

LRESULT CMainDlg::OnInitDialog(UINT, WPARAM, LPARAM, BOOL&)
{
    m_instance = g_module.GetResourceInstance();
    m_iconBig = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(128), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
        GetSystemMetrics(SM_CYICON), 0));
    m_iconSmall = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(128), IMAGE_ICON,
        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SetIcon(m_iconBig, TRUE);
    SetIcon(m_iconSmall, FALSE);

    if (CMessageLoop* loop = g_module.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    m_strip.SetResourceInstance(m_instance);
    m_strip.Create(m_hWnd, RECT {0, 0, 0, 0}, nullptr, WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);

    DisplayScalingScope scaling; // until the end of the initialisation
    {
        if (scaling.Exists())
            SetWindowPos(nullptr, 0, 0, 650, 620, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyCommandLine();
        m_view.Create(m_hWnd, RECT {1, 111, 648, 592}, nullptr, CViewWnd::kStyle);
        m_view.SetCaptureEngine(&m_engine);
        SetupSkin();
        m_view.SetLogo(m_background);

        PIDLIST_ABSOLUTE documents = nullptr;
        WCHAR path[MAX_PATH] = {};
        // The user's documents folder is made when the desktop has not made it yet.
        if (SUCCEEDED(SHGetSpecialFolderLocation(m_hWnd, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, &documents)) && SHGetPathFromIDListW(documents, path))
            m_documents = path;
        ILFree(documents);

        ReportStart(m_statSender);

        m_tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, 0, 0, 0, 0, m_hWnd, nullptr, m_instance, nullptr);
        WString tip = LoadStringText(m_instance, 147);
        TOOLINFOW tool {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND;
        tool.hwnd = m_hWnd;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(1041));
        tool.lpszText = tip.data();
        ::SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SendMessageW(m_tooltip, TTM_ACTIVATE, TRUE, 0);

        ::ShowWindow(GetDlgItem(1041), SW_HIDE);
        ::ShowWindow(GetDlgItem(1040), SW_HIDE);
        m_textColor = ReadStatusTextColor();
        SetDlgItemText(1040, FormatHdLink(m_instance, m_textColor, false).c_str());

        if (EngineObject* checkBox = WindowObject(GetDlgItem(1044), kEngineControl)) {
            checkBox->SetProperty(kPropertyImage, ResourceUrl(228).c_str(), MAKELPARAM(4, 1));
            checkBox->Release();
        }
        SetDlgItemText(1044, FormatDelayCheckBox(m_instance).c_str());
        ::ShowWindow(GetDlgItem(1044), SW_HIDE);
    }

    CenterWindow();
    SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_SHOWWINDOW);

    m_engine.Initialize(m_view);
    int width = 0;
    int height = 0;
    if (m_engine.GetModeSize(1, &width, &height))
        SizeWindowForPicture(width, height);

    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Invalidate();
    SetTimer(3, 1000);
    return TRUE;
}

void CMainDlg::SetupSkin()
{
    EngineMain* engine = GetEngineMain();
    if (!engine)
        return;
    engine->AttachWindow(m_hWnd);
    if (EngineObject* binding = WindowObject(m_hWnd, kEngineWindowBinding)) {
        binding->Setup(1, 1);
        binding->Setup(9, 0);
        RECT stretch {120, 337, 200, 357};
        binding->SetFrameImage(ResourceUrl(201).c_str(), 7, &stretch);
        binding->Release();
    }
    if (!m_background && SUCCEEDED(CreateEngineBitmap(&m_background)) && m_background)
        m_background->ImageLoad(ResourceUrl(237).c_str(), 0);
    ModifyStyle(0, WS_MINIMIZEBOX);
    HWND captionWindow = GetDlgItem(kCaptionId);
    if (EngineObject* caption = WindowObject(captionWindow ? captionWindow : m_hWnd, kEngineCaption)) {
        caption->SetCaptionIcon(m_iconSmall);
        if (!IsCameraItemPresent()) {
            RECT place {0, 0, 10, 10};
            caption->AddCaptionCommand(101, LoadStringText(m_instance, 171).c_str(), &place);
        }
        caption->Release();
    }
    RewriteTitle();
    BuildToolbar();
}

void CMainDlg::BuildToolbar()
{
    EngineObject* control = WindowObject(GetDlgItem(kToolbarId), kEngineControl);
    if (!control)
        return;
    control->SetProperty(kPropertyClearButtons, nullptr, 0);
    control->SetProperty(kPropertyButtonLayout, nullptr, 4);
    EngineObject* toolbar = nullptr;
    if (SUCCEEDED(control->QueryObject(kEngineToolbar, &toolbar)) && toolbar) {
        if (HWND window = toolbar->GetToolbarWindow())
            ::MoveWindow(window, 12, 28, 400, 80, FALSE);
        toolbar->AddButton(10000, LoadStringText(m_instance, 130).c_str(), ResourceUrl(203).c_str(), 80);
        toolbar->AddButton(10001, LoadStringText(m_instance, m_notRecording ? 131 : 135).c_str(),
            ResourceUrl(m_notRecording ? 256 : 257).c_str(), 80);
        toolbar->AddButton(10002, LoadStringText(m_instance, 132).c_str(), ResourceUrl(206).c_str(), 80);
        toolbar->Release();
    }
    control->Release();
}

void CMainDlg::RewriteTitle()
{
    HWND captionWindow = GetDlgItem(kCaptionId);
    if (!captionWindow)
        return;
    WString title = LoadStringText(m_instance, m_notRecording ? 129 : 143);
    ::SetWindowTextW(captionWindow, title.c_str());
    SetWindowText(title.c_str());
    if (EngineObject* caption = WindowObject(captionWindow, kEngineCaption)) {
        caption->SetCaptionIcon(m_iconSmall);
        caption->Release();
    }
}

void CMainDlg::RewriteDeviceLabel()
{
    m_textColor = ReadStatusTextColor();
    int videoCount = 0;
    m_engine.GetDeviceCounts(&videoCount, nullptr);
    SetDlgItemText(1042, FormatDeviceLine(m_instance, m_textColor, videoCount, m_engine.GetCurrentDeviceName()).c_str());
    int width = 0;
    int height = 0;
    bool hd = m_engine.GetModeSize(3, &width, &height) && width > 0 && height > 0;
    ::ShowWindow(GetDlgItem(1040), hd ? SW_SHOW : SW_HIDE);
    Layout(0, 0);
}

void CMainDlg::ReloadSkin()
{
    SetRedraw(FALSE);
    CSkinSelector::ReloadSkin(m_instance);
    if (EngineObject* base = WindowObject(m_hWnd, kEngineBase)) {
        base->Refresh();
        base->Release();
    }
    SetupSkin();
    // The labels carry the skin's status text colour in their markup: written again, they take the
    // new skin's. The device line is left alone until the start check first writes it.
    m_textColor = ReadStatusTextColor();
    SetDlgItemText(1040, FormatHdLink(m_instance, m_textColor, m_hd != 0).c_str());
    if (::GetWindowTextLengthW(GetDlgItem(1042)) > 0)
        RewriteDeviceLabel();
    SetRedraw(TRUE);
    RedrawWindow(nullptr, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

LRESULT CMainDlg::OnCopyData(UINT, WPARAM, LPARAM lParam, BOOL& handled)
{
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (data && data->dwData == kSkinChangedData)
        ReloadSkin();
    handled = FALSE;
    return 0;
}

LRESULT CMainDlg::OnPaint(UINT, WPARAM, LPARAM, BOOL&)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    if (m_background && dc) {
        RECT client;
        GetClientRect(&client);
        int x = client.right / 2 - m_background->ImageWidth() / 2;
        int y = client.bottom / 2 - m_background->ImageHeight() / 2;
        m_background->ImageDraw(dc, x, y, -1, -1, 0, 0, -1, -1, 0);
    }
    EndPaint(m_hWnd, &ps);
    return 0;
}
