// The live preview: its graph (grabber, smart tee, default renderer inside the video window), its
// start and stop, full screen, graph events with recovery after a stream error, and snapshots.
#include "capture/CaptureEngine.h"

#include "imaging/SaveFrame.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

#include <cstdlib>

namespace {

constexpr LONG kGraphEventTimeout = 0;

} // namespace

HRESULT CCaptureEngine::RenderPreviewBranch()
{
    // The grabber is optional: without it the picture still shows, but photos cannot be taken.
    if (SUCCEEDED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&m_grabberFilter)))
        && SUCCEEDED(m_graph->AddFilter(m_grabberFilter, u"Grabber"))
        && SUCCEEDED(m_grabberFilter.As(IID_ISampleGrabber, m_grabber))) {
        AM_MEDIA_TYPE accepted {};
        accepted.majortype = MEDIATYPE_Video;
        accepted.subtype = MEDIASUBTYPE_RGB24;
        m_grabber->SetMediaType(&accepted);
    } else {
        if (m_grabberFilter)
            m_graph->RemoveFilter(m_grabberFilter);
        m_grabberFilter.Reset();
        m_grabber.Reset();
    }
    HRESULT hr = m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, m_videoFilter, m_grabberFilter,
                                         nullptr);
    if (FAILED(hr))
        hr = m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, m_videoFilter, m_grabberFilter, nullptr);
    return hr; // VFW_S_NOPREVIEWPIN counts as success
}

void CCaptureEngine::SetUpVideoWindow()
{
    if (m_grabber) {
        AM_MEDIA_TYPE connected {};
        if (SUCCEEDED(m_grabber->GetConnectedMediaType(&connected))) {
            if (connected.formattype == FORMAT_VideoInfo && connected.cbFormat >= sizeof(VIDEOINFOHEADER)
                && connected.pbFormat) {
                const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat);
                m_frameWidth = info->bmiHeader.biWidth;
                m_frameHeight = info->bmiHeader.biHeight;
            }
            FreeMediaType(connected);
            m_grabber->SetBufferSamples(TRUE);
            m_grabber->SetOneShot(FALSE);
        }
    }
    RECT client {};
    GetClientRect(m_videoWindow, &client);
    m_window->put_Owner(reinterpret_cast<OAHWND>(m_videoWindow));
    m_window->put_WindowStyle(WS_CHILD);
    m_window->SetWindowPosition(0, 0, client.right - client.left, client.bottom - client.top);
    m_window->put_Visible(OATRUE);
    m_window->put_MessageDrain(reinterpret_cast<OAHWND>(m_videoWindow));
}

void CCaptureEngine::ApplyFrameRate()
{
    AM_MEDIA_TYPE* format = nullptr;
    if (!m_videoConfig || !m_useFrameRate || FAILED(m_videoConfig->GetFormat(&format)) || !format)
        return;
    if (format->formattype == FORMAT_VideoInfo && format->cbFormat >= sizeof(VIDEOINFOHEADER) && format->pbFormat) {
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(format->pbFormat);
        info->AvgTimePerFrame = static_cast<REFERENCE_TIME>(10000000.0 / m_frameRate); // 667111 at 14.99
        m_videoConfig->SetFormat(format); // a rate the device refuses is no reason to stop
    }
    DeleteMediaType(format);
}

void CCaptureEngine::NotifyMainWindow()
{
    if (m_graph && SUCCEEDED(m_graph.As(IID_IMediaEventEx, m_events)))
        m_events->SetNotifyWindow(reinterpret_cast<OAHWND>(MainWindow()), kMessageGraphNotify, 0);
}

int CCaptureEngine::BuildPreviewGraph()
{
    if (m_previewGraphBuilt)
        return 1;
    if (m_capturing || m_previewing || !m_videoFilter || (!m_audioFilter && m_captureAudio))
        return 0;
    if (m_captureGraphBuilt)
        TearDownGraph();
    if (FAILED(RenderPreviewBranch())) {
        ShowError(u"无法创建预览视频。");
        return 0;
    }
    if (FAILED(m_graph.As(IID_IVideoWindow, m_window)))
        ShowError(u"无法正确的创建预览。");
    else
        SetUpVideoWindow();
    ApplyFrameRate();
    DiscoverModes();
    NotifyMainWindow();
    m_previewGraphBuilt = TRUE;
    return 1;
}

int CCaptureEngine::StartPreview()
{
    if (m_previewing)
        return 1;
    if (!m_previewGraphBuilt)
        return 0;
    ComPtr<IMediaControl> control;
    bool started = m_graph && SUCCEEDED(m_graph.As(IID_IMediaControl, control));
    if (started && FAILED(control->Run())) {
        control->Stop();
        started = false;
    }
    if (!started) {
        m_previewStartFailed = TRUE;
        return 0;
    }
    m_previewStartFailed = FALSE;
    m_previewing = TRUE;
    m_deviceLost = FALSE;
    return 1;
}

int CCaptureEngine::StopPreview()
{
    if (!m_previewing)
        return 0;
    ComPtr<IMediaControl> control;
    if (!m_graph || FAILED(m_graph.As(IID_IMediaControl, control)) || FAILED(control->Stop()))
        return 0;
    m_previewing = FALSE;
    // The last picture is wiped.
    if (m_videoWindow)
        InvalidateRect(m_videoWindow, nullptr, TRUE);
    return 1;
}

int CCaptureEngine::EnterFullScreen()
{
    if (m_deviceLost)
        return 0;
    if (m_window) {
        m_fullScreen = TRUE;
        m_window->put_FullScreenMode(OATRUE);
    }
    return 1;
}

int CCaptureEngine::LeaveFullScreen()
{
    if (m_window) {
        m_fullScreen = FALSE;
        m_window->put_FullScreenMode(OAFALSE);
    }
    return 1;
}

int CCaptureEngine::OnGraphEvent()
{
    if (!m_events)
        return 1;
    bool restart = false;
    bool diskFull = false;
    LONG code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    // The interface may go while an event is handled (a stream stop tears nothing down, but keep
    // the reference for the loop anyway).
    ComPtr<IMediaEventEx> events = m_events;
    while (events->GetEvent(&code, &param1, &param2, kGraphEventTimeout) == S_OK) {
        bool stop = false;
        if (code == EC_ERRORABORT && GraphStoppedItself()) {
            // The camera failed while it was still starting, after Run had answered: the start
            // has failed. A recording that was starting ends; the preview is not retried in a loop.
            bool wasCapturing = m_capturing;
            if (StopCapture() && m_videoWindow && IsWindow(m_videoWindow))
                PostMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(kRecordCommand, kRecordingEndedNotice), 0);
            if (m_previewing) {
                m_previewing = FALSE;
                m_previewStartFailed = TRUE;
                m_deviceLost = TRUE;
            }
            restart = wasCapturing;
        } else if (code == EC_ERRORABORT) {
            // A recording ended by the error is ended for the window too, as if the user had
            // stopped it: the file is complete, and the window must not go on showing a recording.
            if (StopCapture()) {
                diskFull = diskFull || static_cast<HRESULT>(param1) == HRESULT_FROM_WIN32(ERROR_DISK_FULL);
                if (m_videoWindow && IsWindow(m_videoWindow))
                    PostMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(kRecordCommand, kRecordingEndedNotice), 0);
            }
            restart = true;
        } else if (code == EC_DEVICE_LOST && param2 == 0) {
            ComPtr<IBaseFilter> lost;
            if (param1)
                reinterpret_cast<IUnknown*>(param1)->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&lost));
            if (lost && lost.Get() == m_videoFilter.Get()) {
                StopCapture();
                m_deviceLost = TRUE;
                ShowError(u"停止捕获（设备丢失）。请选择新的摄像头设备。");
                if (m_videoWindow && IsWindow(m_videoWindow))
                    PostMessageW(MainWindow(), kMessageDeviceLost, 0, kDeviceLostCode);
                restart = false;
                stop = true;
            }
        }
        events->FreeEventParams(code, param1, param2);
        if (stop)
            break;
    }
    if (restart && m_wantPreview) {
        // A stopped stream is rebuilt from scratch: the old pipeline is gone with the stop.
        if (m_previewing)
            StopPreview();
        if (m_previewGraphBuilt || m_captureGraphBuilt)
            TearDownGraph();
        BuildPreviewGraph();
        if (!StartPreview())
            ShowError(u"意外错误,视频中断并已尝试恢复通讯。");
    }
    // The writer stopped while there was room left to complete the file: it plays, but it is shorter
    // than the user meant.
    if (diskFull)
        ShowError(u"磁盘空间不足，视频录制已停止。");
    return 1;
}

bool CCaptureEngine::GraphStoppedItself() const
{
    if (!m_graph || (!m_previewing && !m_capturing))
        return false;
    ComPtr<IMediaControl> control;
    OAFilterState state = State_Running;
    return SUCCEEDED(m_graph.As(IID_IMediaControl, control)) && SUCCEEDED(control->GetState(0, &state))
        && state == State_Stopped;
}

int CCaptureEngine::TakeSnapshot(LPCWSTR path)
{
    if (!m_grabber)
        return 0;
    LONG size = 0;
    if (FAILED(m_grabber->GetCurrentBuffer(&size, nullptr)) || size <= 0 || !path || !path[0])
        return 1;
    // The grabber writes the frame straight into the photo's rows.
    LONG room = 0;
    BYTE* rows = m_snapshotFrame.Rows(static_cast<UINT>(m_frameWidth), static_cast<UINT>(m_frameHeight), &room);
    // A frame of another size than the connection's is skipped, not cut or padded.
    if (rows && room == size && SUCCEEDED(m_grabber->GetCurrentBuffer(&size, reinterpret_cast<LONG*>(rows))))
        m_snapshotFrame.Save(path);
    return 1;
}
