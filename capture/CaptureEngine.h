// The capture engine: the capture devices, the one filter graph, the live preview with its frame
// grabber, snapshots, recording and the resolution modes. Owned by the main window; every call
// comes from the main window's thread.
#pragma once

#include "capture/SampleCaptureGraphBuilder.h"
#include "imaging/SaveFrame.h"
#include "platform/base/Format.h"
#include "platform/base/Strings.h"
#include "platform/media/DeviceBroadcast.h"
#include "platform/media/DirectShow.h"
#include "platform/media/WindowsMedia.h"
#include "platform/ui/WinUser.h"

#include <memory>

// Messages between the engine and the main window (the parent of the video window).
inline constexpr UINT kMessageGraphNotify = WM_USER + 1;            // graph events are waiting
inline constexpr UINT kMessageRecordFailed = WM_USER + 2;           // send the "recfail" report
inline constexpr UINT kMessageRecordComponentMissing = WM_USER + 3; // the writer cannot be made
inline constexpr UINT kMessageDeviceLost = 5137;                    // lParam kDeviceLostCode
inline constexpr LPARAM kDeviceLostCode = 4319;
inline constexpr WORD kRecordCommand = 10001;       // the window's record toggle, and with the notice
inline constexpr WORD kRecordingEndedNotice = 2;    // code: an error ended the recording

class CCaptureEngine {
public:
    static constexpr int kMaxDevices = 10;
    static constexpr int kNameLength = 120;

    CCaptureEngine();
    ~CCaptureEngine();
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    // Devices.
    void Initialize(HWND videoWindow);
    void EnumerateDevices();
    void ChooseDefaultDevices();
    int SelectDevice(int videoIndex, int audioIndex);
    void ChooseDevices(IMoniker* video, IMoniker* audio);
    void GetDeviceCounts(int* videoCount, int* audioCount) const;
    int GetDeviceName(int position, LPWSTR buffer, int capacity) const;
    LPCWSTR GetCurrentDeviceName() const { return m_currentDeviceName; }
    int OnDeviceChange(WPARAM event, LPARAM header);
    int IsUsable() const;
    LPCWSTR SettingsPath() const { return m_settingsPath; }

    // The filter set.
    int CreateBuilder();
    int BuildFilters();
    void TearDownGraph();
    void ReleaseFilters();
    void Shutdown();

    // Preview and full screen.
    int BuildPreviewGraph();
    int StartPreview();
    int StopPreview();
    BOOL PreviewStartFailed() const { return m_previewStartFailed; }
    int EnterFullScreen();
    int LeaveFullScreen();
    int OnGraphEvent();
    BOOL IsFullScreen() const { return m_fullScreen; }

    // Photos.
    int TakeSnapshot(LPCWSTR path);

    // Recording.
    int StartRecording(LPCWSTR path);
    int StopRecording();
    int BuildCaptureGraph();
    int StartCapture();
    int StopCapture();
    HRESULT ConfigureWriterProfile(IConfigAsfWriter2* writer, int width, int height, BOOL hasAudio);
    BOOL IsCapturing() const { return m_capturing; }
    BOOL IsPreviewing() const { return m_previewing; }

    // Resolution modes.
    void DiscoverModes();
    int GetModeSize(int mode, int* width, int* height) const;
    void GetCurrentModeSize(int* width, int* height) const;
    int SetResolution(int mode);
    void ForceDefaultFormat();
    int CurrentResolutionMode() const { return m_currentMode; }

    // The engine's message box: formatted like printf into 2048 units (cut at 2047), shown with the
    // UI engine's message box over the video window, caption "Lumo", flags 0x2030.
    template <class... Args> void ShowError(LPCWSTR format, const Args&... args)
    {
        WCHAR text[2048];
        StringCchPrintfW(text, 2048, format, args...);
        ShowMessage(text);
    }
    // The frame size the grabber delivers, as read at the last graph build.
    LONG FrameWidth() const { return m_frameWidth; }
    LONG FrameHeight() const { return m_frameHeight; }

private:
    struct ModeEntry {
        BOOL available = FALSE;
        AM_MEDIA_TYPE type {};
        VIDEOINFOHEADER info {};
    };

    // The friendly name in a device's property bag, cut to `capacity`; FALSE when it cannot be read.
    static BOOL ReadFriendlyName(IMoniker* moniker, LPWSTR name, size_t capacity);
    void ShowMessage(LPCWSTR text);
    void ReadSettings();
    void ClearDeviceLists();
    void FillList(IEnumMoniker* monikers, IMoniker** list, int* count, bool matchRemembered);
    void RemoveDownstream(IBaseFilter* filter);
    HRESULT RenderPreviewBranch();
    // Whether the disk of `path` holds a few seconds at the recording's bit rate.
    bool HasRoomToRecord(LPCWSTR path) const;
    void SetUpVideoWindow();
    void ApplyFrameRate();
    void NotifyMainWindow();
    // True when the running graph has stopped on its own: its start failed after Run answered.
    bool GraphStoppedItself() const;
    HWND MainWindow() const;

    // Devices (all references held once).
    IMoniker* m_videoDevices[kMaxDevices] = {};
    IMoniker* m_audioDevices[kMaxDevices] = {};
    int m_videoCount = 0;
    int m_audioCount = 0;
    ComPtr<IMoniker> m_currentVideo;
    ComPtr<IMoniker> m_currentAudio;
    int m_rememberedIndex = 0;
    WCHAR m_currentDeviceName[kNameLength] = {};
    WCHAR m_settingsPath[kNameLength] = {};
    WCHAR m_rememberedName[kNameLength] = {};
    BOOL m_enumerated = FALSE;
    BOOL m_haveVideoDevices = TRUE;
    BOOL m_deviceLost = TRUE;
    HWND m_videoWindow = nullptr;

    // The filter set and the graph.
    std::unique_ptr<ISampleCaptureGraphBuilder> m_builder;
    ComPtr<IVideoWindow> m_window;
    ComPtr<IMediaEventEx> m_events;
    ComPtr<IAMStreamConfig> m_audioConfig;
    ComPtr<IAMStreamConfig> m_videoConfig;
    ComPtr<IBaseFilter> m_writer;
    ComPtr<IBaseFilter> m_videoFilter;
    ComPtr<IBaseFilter> m_audioFilter;
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IFileSinkFilter> m_sink;
    ComPtr<ISampleGrabber> m_grabber;
    // The last photo's frame, kept for the next one.
    PhotoFrame m_snapshotFrame;
    ComPtr<IBaseFilter> m_grabberFilter;

    LONG m_frameWidth = 0;
    LONG m_frameHeight = 0;
    BOOL m_fullScreen = FALSE;
    int m_currentMode = 0;
    BOOL m_formatForced = FALSE;
    ModeEntry m_modes[3];
    WCHAR m_recordFile[MAX_PATH] = {};
    BOOL m_captureGraphBuilt = FALSE;
    BOOL m_previewGraphBuilt = FALSE;
    BOOL m_previewing = FALSE;
    BOOL m_capturing = FALSE;
    BOOL m_previewStartFailed = FALSE;
    BOOL m_wantPreview = TRUE;
    BOOL m_captureAudio = TRUE;
    BOOL m_audioPossible = TRUE;
    double m_frameRate = 14.99;
    BOOL m_useFrameRate = TRUE;
};
