// Recording: the capture graph with the ASF writer and a preview branch, the writer's profile,
// and starting and stopping the capture stream.
#include "capture/CaptureEngine.h"

#include "platform/sys/SleepInhibitor.h"
#include "platform/sys/DiskSpace.h"
#include "platform/ui/MessageQueue.h"

#include <cstdlib>
#include <cstring>

namespace {

// The sound stream of the writer's profile, which the profile edit leaves as it is.
constexpr ULONGLONG kAudioBitRate = 64000;
// A recording starts only with room for this long at its bit rate: a few seconds of video beside what
// the writer keeps free to complete its file (about four seconds' worth), so it never starts only to
// stop at once.
constexpr ULONGLONG kLeastSecondsOfRoom = 12;

DWORD BitRateFor(int width)
{
    if (width == 640)
        return 480000;
    return width < 1000 ? 640000 : 960000;
}

// The folder part of a file path, with its closing separator.
WString FolderOf(LPCWSTR path)
{
    WString folder = path ? WString(path) : WString();
    size_t end = folder.find_last_of(u"/\\");
    return end == WString::npos ? WString() : folder.substr(0, end + 1);
}

} // namespace

bool CCaptureEngine::HasRoomToRecord(LPCWSTR path) const
{
    int width = 640;
    int height = 480;
    if (m_currentMode >= 1 && m_currentMode <= 3)
        GetCurrentModeSize(&width, &height);
    ULONGLONG bitRate = BitRateFor(width) + (m_audioFilter ? kAudioBitRate : 0);
    WString folder = FolderOf(path);
    ULARGE_INTEGER available {};
    // A folder that cannot be asked (not made yet, say) is left to the writer, which reports its own
    // failure.
    if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr))
        return true;
    return available.QuadPart >= kLeastSecondsOfRoom * bitRate / 8;
}

int CCaptureEngine::StartRecording(LPCWSTR path)
{
    // Asked before the preview stops: a refused recording leaves the picture running.
    if (!m_capturing && !HasRoomToRecord(path)) {
        ShowError(u"磁盘空间不足，无法录制视频。");
        return 0;
    }
    if (m_previewing)
        StopPreview();
    if (m_previewGraphBuilt)
        TearDownGraph();
    size_t length = 0;
    for (; path && path[length] && length + 1 < MAX_PATH; ++length)
        m_recordFile[length] = path[length];
    m_recordFile[length] = 0;
    BuildCaptureGraph();
    return StartCapture();
}

int CCaptureEngine::StopRecording()
{
    StopCapture();
    if (m_wantPreview) {
        BuildPreviewGraph();
        StartPreview();
    }
    return 1;
}

int CCaptureEngine::BuildCaptureGraph()
{
    if (m_captureGraphBuilt)
        return 1;
    if (m_capturing || m_previewing || !m_videoFilter || (!m_audioFilter && m_captureAudio))
        return 0;
    if (m_previewGraphBuilt)
        TearDownGraph();

    HRESULT hr = m_builder->SetOutputFileName(&MEDIASUBTYPE_Asf, m_recordFile, &m_writer, &m_sink);
    if (hr == REGDB_E_CLASSNOTREG || hr == NS_E_WMP_FILE_NOT_PLAYABLE) {
        HWND main = MainWindow();
        SendMessageW(main, kMessageRecordFailed, 0, 0);
        SendMessageW(main, kMessageRecordComponentMissing, 1, 2);
        TearDownGraph();
        return 0;
    }
    if (FAILED(hr)) {
        ShowError(u"视频录制初始化失败。");
        TearDownGraph();
        return 0;
    }

    int width = 640;
    int height = 480;
    if (m_currentMode >= 1 && m_currentMode <= 3)
        GetCurrentModeSize(&width, &height);
    ComPtr<IConfigAsfWriter2> config;
    if (SUCCEEDED(m_writer.As(IID_IConfigAsfWriter2, config)))
        ConfigureWriterProfile(config, width, height, m_audioFilter ? TRUE : FALSE);

    if (FAILED(m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_videoFilter, nullptr, m_writer))
        && FAILED(m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_videoFilter, nullptr, m_writer))) {
        ShowError(u"无法打开视频设备。");
        TearDownGraph();
        return 0;
    }
    if (m_audioFilter
        && FAILED(m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, m_audioFilter, nullptr, m_writer))) {
        ShowError(u"无法打开音频设备。");
        TearDownGraph();
        return 0;
    }
    if (m_wantPreview) {
        if (FAILED(RenderPreviewBranch())) {
            ShowError(u"创建视频预览失败。");
            TearDownGraph();
            return 0;
        }
        if (FAILED(m_graph.As(IID_IVideoWindow, m_window)))
            ShowError(u"无法打开预览画面。");
        else
            SetUpVideoWindow();
    }
    ApplyFrameRate();
    NotifyMainWindow();
    m_captureGraphBuilt = TRUE;
    return 1;
}

HRESULT CCaptureEngine::ConfigureWriterProfile(IConfigAsfWriter2* writer, int width, int height, BOOL hasAudio)
{
    ComPtr<IWMProfile> profile;
    HRESULT hr = writer->GetCurrentProfile(&profile);
    if (FAILED(hr))
        return hr;
    DWORD count = 0;
    profile->GetStreamCount(&count);
    if (count > 2)
        return 1; // a profile of its own making is used as it is
    if (count == 2 && !hasAudio)
        profile->RemoveStreamByNumber(1);
    DWORD bitRate = BitRateFor(width);
    for (DWORD index = 0; index < count; ++index) {
        ComPtr<IWMStreamConfig> stream;
        if (FAILED(profile->GetStream(index, &stream)))
            continue;
        stream->SetBitrate(bitRate);
        ComPtr<IWMMediaProps> props;
        if (FAILED(stream.As(IID_IWMMediaProps, props)))
            continue;
        DWORD size = 0;
        if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE))
            continue;
        std::unique_ptr<BYTE[]> block(new BYTE[size]);
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.get());
        if (FAILED(props->GetMediaType(type, &size)))
            continue;
        if (type->majortype != MEDIATYPE_Video || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat)
            continue;
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
        info->bmiHeader.biWidth = width;
        info->bmiHeader.biHeight = height;
        DWORD imageSize = static_cast<DWORD>(((width * info->bmiHeader.biBitCount + 31) & ~31) / 8 * std::abs(height));
        info->bmiHeader.biSizeImage = imageSize;
        type->lSampleSize = imageSize;
        info->rcSource = { 0, 0, width, height };
        info->rcTarget = info->rcSource;
        info->dwBitRate = bitRate;
        props->SetMediaType(type);
        profile->ReconfigStream(stream);
        writer->ConfigureFilterUsingProfile(profile);
    }
    return S_OK;
}

int CCaptureEngine::StartCapture()
{
    if (m_capturing)
        return 1;
    if (m_previewing)
        StopPreview();
    if (!m_captureGraphBuilt)
        return 0;
    REFERENCE_TIME never = MAXLONGLONG;
    bool streamControl = SUCCEEDED(m_builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &never, nullptr, 0, 0));
    ComPtr<IMediaControl> control;
    if (FAILED(m_graph.As(IID_IMediaControl, control))) {
        ShowError(u"设置视频失败。");
        return 0;
    }
    if (FAILED(streamControl ? control->Run() : control->Pause())) {
        control->Stop();
        ShowError(u"无法录制视频。");
        return 0;
    }
    if (streamControl) {
        REFERENCE_TIME now = 0;
        REFERENCE_TIME end = MAXLONGLONG;
        m_builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &now, &end, 0, 0);
    } else if (FAILED(control->Run())) {
        control->Stop();
        ShowError(u"录制视频失败。");
        return 0;
    }
    m_capturing = TRUE;
    InhibitSleep();
    return 1;
}

int CCaptureEngine::StopCapture()
{
    if (!m_capturing)
        return 0;
    AllowSleep();
    ComPtr<IMediaControl> control;
    if (m_graph && SUCCEEDED(m_graph.As(IID_IMediaControl, control)) && SUCCEEDED(control->Stop())) {
        m_capturing = FALSE;
        return 1;
    }
    ShowError(u"关闭视频画面失败。");
    return 0;
}
