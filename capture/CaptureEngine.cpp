#include "capture/CaptureEngine.h"

// FIXME: the media layer (devices, preview graph, grabber, recorder) is not built yet. Until it is,
// the engine finds no capture device: the window shows "no device", the photo, record and HD
// commands are refused as they are without a device, and nothing is recorded or written.

CCaptureEngine::CCaptureEngine() = default;

CCaptureEngine::~CCaptureEngine()
{
    Shutdown();
}

void CCaptureEngine::Initialize(HWND videoWindow)
{
    m_videoWindow = videoWindow;
    m_videoCount = 0;
    m_haveVideoDevices = FALSE;
    m_currentDeviceName.clear();
}

int CCaptureEngine::SelectDevice(int videoIndex, int)
{
    return videoIndex >= 0 && videoIndex < m_videoCount ? 1 : 0;
}

void CCaptureEngine::GetDeviceCounts(int* videoCount, int* audioCount) const
{
    if (videoCount)
        *videoCount = m_videoCount;
    if (audioCount)
        *audioCount = 0;
}

int CCaptureEngine::GetDeviceName(int position, LPWSTR buffer, int capacity) const
{
    if (position < 1 || position > m_videoCount || !buffer || capacity <= 0)
        return 0;
    return 0;
}

LPCWSTR CCaptureEngine::GetCurrentDeviceName() const
{
    return m_currentDeviceName.c_str();
}

int CCaptureEngine::OnDeviceChange(WPARAM, LPARAM)
{
    return 0;
}

int CCaptureEngine::IsUsable() const
{
    return !m_deviceLost && m_haveVideoDevices ? 1 : 0;
}

int CCaptureEngine::EnterFullScreen()
{
    return 0;
}

int CCaptureEngine::LeaveFullScreen()
{
    return 0;
}

int CCaptureEngine::OnGraphEvent()
{
    return 1;
}

int CCaptureEngine::TakeSnapshot(LPCWSTR)
{
    return 0;
}

int CCaptureEngine::StartRecording(LPCWSTR)
{
    return 0;
}

int CCaptureEngine::StopRecording()
{
    return 0;
}

int CCaptureEngine::GetModeSize(int, int*, int*) const
{
    return 0;
}

int CCaptureEngine::SetResolution(int)
{
    return 0;
}

void CCaptureEngine::Shutdown()
{
    m_videoWindow = nullptr;
}
