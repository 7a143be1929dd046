// The engine as a whole: construction and settings, the filter set for the current device pair,
// tearing graphs down, releasing everything, and the engine's message box.
#include "capture/CaptureEngine.h"

#include "ui/EngineAccess.h"
#include "platform/sys/File.h"
#include "platform/sys/IniFile.h"
#include "platform/sys/Path.h"
#include "platform/sys/SpecialFolders.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Window.h"

#include <cstring>

namespace {

constexpr WCHAR kSettingsFolder[] = u"Ternsafe/radazadadi";
constexpr WCHAR kSettingsFile[] = u"camera.ini";
constexpr UINT kErrorBoxFlags = 0x2030; // MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL

// Copies at most `capacity` - 1 units and terminates.
void CopyText(LPWSTR target, size_t capacity, LPCWSTR source)
{
    size_t length = 0;
    while (source && source[length] && length + 1 < capacity) {
        target[length] = source[length];
        ++length;
    }
    target[length] = 0;
}

} // namespace

// The friendly name in a device's property bag, cut to `capacity`; FALSE when it cannot be read.
BOOL CCaptureEngine::ReadFriendlyName(IMoniker* moniker, LPWSTR name, size_t capacity)
{
    ComPtr<IPropertyBag> bag;
    if (!moniker || FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag))))
        return FALSE;
    VARIANT value;
    VariantInit(&value);
    BOOL read = SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR;
    if (read)
        CopyText(name, capacity, value.bstrVal);
    VariantClear(&value);
    return read;
}

CCaptureEngine::CCaptureEngine()
{
    ReadSettings();
}

CCaptureEngine::~CCaptureEngine()
{
    Shutdown();
    ClearDeviceLists();
    for (ModeEntry& mode : m_modes)
        FreeMediaType(mode.type);
}

void CCaptureEngine::ReadSettings()
{
    WCHAR folder[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE);
    WCHAR settings[MAX_PATH] = {};
    PathCombineW(settings, folder, kSettingsFolder);
    if (!PathFileExistsW(settings))
        CreateDirectoryW(settings, nullptr); // one level only; a missing suite folder stays missing
    PathAppendW(settings, kSettingsFile);
    CopyText(m_settingsPath, kNameLength, settings);
    GetPrivateProfileStringW(u"CAMERA", u"VideoDevice", u"", m_rememberedName, kNameLength, m_settingsPath);
}

void CCaptureEngine::ShowMessage(LPCWSTR text)
{
    if (EngineMessageBox* box = GetEngineMessageBox())
        box->MessageBox(m_videoWindow, text, u"Lumo", kErrorBoxFlags);
    else
        MessageBoxW(m_videoWindow, text, u"Lumo", kErrorBoxFlags);
}

HWND CCaptureEngine::MainWindow() const { return m_videoWindow ? GetParent(m_videoWindow) : nullptr; }

int CCaptureEngine::CreateBuilder()
{
    if (!m_builder) {
        auto builder = std::make_unique<ISampleCaptureGraphBuilder>();
        // Without the system's capture builder inside, the wrapper could do nothing: count it as
        // not made.
        if (!builder->Valid())
            return 0;
        m_builder = std::move(builder);
    }
    return 1;
}

int CCaptureEngine::BuildFilters()
{
    if (!CreateBuilder()) {
        ShowError(u"图形构造实例化失败");
        return 0;
    }
    if (m_currentVideo) {
        m_currentDeviceName[0] = 0;
        ReadFriendlyName(m_currentVideo, m_currentDeviceName, kNameLength);
        m_currentVideo->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&m_videoFilter));
    }
    if (!m_videoFilter) {
        ShowError(u"无法打开视频设备。");
        ReleaseFilters();
        return 0;
    }
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&m_graph)))
        || FAILED(m_builder->SetFiltergraph(m_graph))) {
        ShowError(u"初始化失败");
        ReleaseFilters();
        return 0;
    }
    if (FAILED(m_graph->AddFilter(m_videoFilter, m_currentDeviceName))) {
        ShowError(u"添加视频设备失败");
        ReleaseFilters();
        return 0;
    }
    if (FAILED(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_videoFilter, IID_IAMStreamConfig,
                                        reinterpret_cast<void**>(&m_videoConfig)))
        && FAILED(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_videoFilter, IID_IAMStreamConfig,
                                           reinterpret_cast<void**>(&m_videoConfig)))) {
        ShowError(u"初始化失败");
    }

    m_audioPossible = TRUE;
    AM_MEDIA_TYPE* format = nullptr;
    if (m_videoConfig && SUCCEEDED(m_videoConfig->GetFormat(&format)) && format) {
        if (format->formattype == FORMAT_VideoInfo)
            ForceDefaultFormat();
        if (format->majortype != MEDIATYPE_Video) {
            m_audioPossible = FALSE;
            m_captureAudio = FALSE;
        }
        DeleteMediaType(format);
    }

    if (m_audioPossible) {
        if (!m_currentAudio) {
            m_captureAudio = FALSE;
        } else if (FAILED(m_currentAudio->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                       reinterpret_cast<void**>(&m_audioFilter)))) {
            m_captureAudio = FALSE;
            ShowError(u"无法打开音频设备。");
        } else {
            WCHAR audioName[256] = {};
            ReadFriendlyName(m_currentAudio, audioName, 256);
            if (FAILED(m_graph->AddFilter(m_audioFilter, audioName))) {
                ShowError(u"加载音频设备失败。");
                ReleaseFilters();
                return 0;
            }
            if (FAILED(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, m_audioFilter,
                                                IID_IAMStreamConfig, reinterpret_cast<void**>(&m_audioConfig))))
                ShowError(u"设置音频设备失败。");
        }
    }
    return 1;
}

void CCaptureEngine::RemoveDownstream(IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    if (!filter || !m_graph || FAILED(filter->EnumPins(&pins)))
        return;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(&peer)))
            continue;
        PIN_DIRECTION direction;
        if (FAILED(peer->QueryDirection(&direction)) || direction != PINDIR_INPUT)
            continue;
        PIN_INFO info {};
        if (FAILED(peer->QueryPinInfo(&info)))
            continue;
        ComPtr<IBaseFilter> downstream;
        downstream.Attach(info.pFilter);
        RemoveDownstream(downstream);
        m_graph->Disconnect(peer);
        m_graph->Disconnect(pin);
        m_graph->RemoveFilter(downstream);
    }
}

void CCaptureEngine::TearDownGraph()
{
    m_sink.Reset();
    m_writer.Reset();
    m_events.Reset();
    m_grabber.Reset();
    m_grabberFilter.Reset();
    m_window.Reset();
    RemoveDownstream(m_videoFilter);
    RemoveDownstream(m_audioFilter);
    if (m_builder)
        m_builder->ReleaseAuxiliaryFilters();
    m_captureGraphBuilt = FALSE;
    m_previewGraphBuilt = FALSE;
}

void CCaptureEngine::ReleaseFilters()
{
    m_graph.Reset();
    m_builder.reset();
    m_videoFilter.Reset();
    m_audioFilter.Reset();
    m_audioConfig.Reset();
    m_videoConfig.Reset();
    m_grabber.Reset();
    m_grabberFilter.Reset();
    m_window.Reset();
    m_events.Reset();
    m_sink.Reset();
    m_writer.Reset();
}

void CCaptureEngine::Shutdown()
{
    StopPreview();
    StopCapture();
    TearDownGraph();
    ReleaseFilters();
}
