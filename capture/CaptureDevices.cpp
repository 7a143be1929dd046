// The engine's device side: the two device lists, the remembered camera in camera.ini, the pair
// opened at start and from the device menu, device-change broadcasts and the usability test.
#include "capture/CaptureEngine.h"

#include "platform/sys/IniFile.h"

void CCaptureEngine::Initialize(HWND videoWindow)
{
    m_videoWindow = videoWindow;
    EnumerateDevices();
    ChooseDefaultDevices();
}

void CCaptureEngine::ClearDeviceLists()
{
    for (IMoniker*& moniker : m_videoDevices) {
        if (moniker)
            moniker->Release();
        moniker = nullptr;
    }
    for (IMoniker*& moniker : m_audioDevices) {
        if (moniker)
            moniker->Release();
        moniker = nullptr;
    }
}

void CCaptureEngine::FillList(IEnumMoniker* monikers, IMoniker** list, int* count, bool matchRemembered)
{
    monikers->Reset();
    int position = 0;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        // Devices past the list's size are ignored; the positions before them keep every rule.
        if (position >= kMaxDevices)
            break;
        WCHAR name[kNameLength];
        if (ReadFriendlyName(moniker, name, kNameLength)) {
            if (matchRemembered && StrCmpIW(name, m_rememberedName) == 0)
                m_rememberedIndex = position; // among equal names the last one wins
            list[position] = moniker.Get();
            list[position]->AddRef();
        }
        ++position;
    }
    *count = position;
}

void CCaptureEngine::EnumerateDevices()
{
    if (m_enumerated)
        return;
    m_enumerated = TRUE;
    m_videoCount = 0;
    m_audioCount = 0;
    ClearDeviceLists();

    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices)))) {
        ShowError(u"初始化失败");
        return;
    }
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK || !monikers) {
        m_haveVideoDevices = FALSE;
    } else {
        m_haveVideoDevices = TRUE;
        FillList(monikers, m_videoDevices, &m_videoCount, true);
    }
    monikers.Reset();
    HRESULT audio = devices->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0);
    devices.Reset();
    if (audio != S_OK || !monikers)
        return;
    FillList(monikers, m_audioDevices, &m_audioCount, false);
}

void CCaptureEngine::ChooseDefaultDevices()
{
    if (m_videoCount <= 0)
        return;
    IMoniker* video = m_videoDevices[m_rememberedIndex];
    IMoniker* audio = m_audioCount > 0 ? m_audioDevices[0] : nullptr;
    ChooseDevices(video, audio);
}

int CCaptureEngine::SelectDevice(int videoIndex, int audioIndex)
{
    if (videoIndex < 0 || videoIndex >= m_videoCount)
        return 0;
    if (m_audioCount > 0 && (audioIndex < 0 || audioIndex >= m_audioCount))
        return 0;
    m_currentMode = 0;
    int videoSlot = videoIndex < kMaxDevices ? videoIndex : -1;
    IMoniker* video = videoSlot >= 0 ? m_videoDevices[videoSlot] : nullptr;
    IMoniker* audio = m_audioCount > 0 && audioIndex < kMaxDevices ? m_audioDevices[audioIndex] : nullptr;
    ChooseDevices(video, audio);
    return 1;
}

void CCaptureEngine::ChooseDevices(IMoniker* video, IMoniker* audio)
{
    if (video == m_currentVideo.Get() && audio == m_currentAudio.Get())
        return;
    m_currentVideo = video;
    m_currentAudio = audio;
    if (m_previewing)
        StopPreview();
    if (m_previewGraphBuilt || m_captureGraphBuilt)
        TearDownGraph();
    ReleaseFilters();
    // The flags of the previous pair do not carry over: sound is wanted again until the new pair
    // says otherwise.
    m_captureAudio = TRUE;
    BuildFilters();
    WritePrivateProfileStringW(u"CAMERA", u"VideoDevice", m_currentDeviceName, m_settingsPath);
    BuildPreviewGraph();
    StartPreview();
}

void CCaptureEngine::GetDeviceCounts(int* videoCount, int* audioCount) const
{
    if (videoCount)
        *videoCount = m_videoCount;
    if (audioCount)
        *audioCount = m_audioCount;
}

int CCaptureEngine::GetDeviceName(int position, LPWSTR buffer, int capacity) const
{
    if (position < 1 || position > m_videoCount || position > kMaxDevices || !buffer || capacity <= 0)
        return 0;
    IMoniker* moniker = m_videoDevices[position - 1];
    if (!moniker)
        return 0;
    return ReadFriendlyName(moniker, buffer, static_cast<size_t>(capacity)) ? 1 : 0;
}

int CCaptureEngine::OnDeviceChange(WPARAM event, LPARAM header)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return 0;
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_HDR*>(header);
    if (!broadcast || broadcast->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return 0;
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    if (device->dbcc_classguid != KSCATEGORY_CAPTURE)
        return 0;
    m_enumerated = FALSE;
    return 1;
}

int CCaptureEngine::IsUsable() const { return !m_deviceLost && m_haveVideoDevices ? 1 : 0; }
