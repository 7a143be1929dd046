// The capture engine: the capture devices, the one filter graph, the live preview with its frame
// grabber, snapshots, recording and the resolution modes. Owned by the main window.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

class CCaptureEngine {
public:
    CCaptureEngine();
    ~CCaptureEngine();
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // Devices.
    void Initialize(HWND videoWindow);
    int SelectDevice(int videoIndex, int audioIndex);
    void GetDeviceCounts(int* videoCount, int* audioCount) const;
    int GetDeviceName(int position, LPWSTR buffer, int capacity) const;
    LPCWSTR GetCurrentDeviceName() const;
    int OnDeviceChange(WPARAM event, LPARAM header);
    int IsUsable() const;
    BOOL PreviewStartFailed() const { return m_previewStartFailed; }

    // Preview and full screen.
    int EnterFullScreen();
    int LeaveFullScreen();
    int OnGraphEvent();
    BOOL IsFullScreen() const { return m_fullScreen; }

    // Photos, recording, modes.
    int TakeSnapshot(LPCWSTR path);
    int StartRecording(LPCWSTR path);
    int StopRecording();
    int GetModeSize(int mode, int* width, int* height) const;
    int SetResolution(int mode);

    void Shutdown();

private:
    HWND m_videoWindow = nullptr;
    WString m_currentDeviceName;
    BOOL m_previewStartFailed = FALSE;
    BOOL m_fullScreen = FALSE;
    BOOL m_deviceLost = TRUE;
    BOOL m_haveVideoDevices = TRUE;
    int m_videoCount = 0;
};
