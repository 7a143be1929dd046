// Helpers for tests of the media layer: virtual devices, the graphs the capture engine builds, and
// waiting on media with a watchdog.
#pragma once

#include "platform/media/DirectShow.h"
#include "platform/media/WindowsMedia.h"
#include "tests/platform/ui/UiTestSupport.h"

#define EXPECT_FAILED(expression) EXPECT_LT((expression), 0)

#include <string>
#include <vector>

// Sets LUMO_VIRTUAL_DEVICES for the test's life and restores what was there.
class ScopedVirtualDevices {
public:
    explicit ScopedVirtualDevices(const char* text);
    ~ScopedVirtualDevices();

private:
    std::string m_previous;
    bool m_hadPrevious;
};

// The filter of the `index`-th device of a category (nullptr when there is none).
ComPtr<IBaseFilter> BindDevice(REFCLSID category, int index);
// Friendly names of the devices of a category, "" for a name that cannot be read.
std::vector<std::string> DeviceNames(REFCLSID category);

// A graph with its capture builder, as the capture engine holds them.
struct CaptureGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IBaseFilter> video;
    ComPtr<IBaseFilter> audio;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IVideoWindow> window;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;

    // The graph and builder, with the device filters added under their names.
    HRESULT Create(IBaseFilter* videoFilter, IBaseFilter* audioFilter);
    // A grabber for RGB24 and the preview stream through it to the default renderer, with the
    // Interleaved-then-Video fallback; the renderer window inside `owner` at `width` x `height`.
    HRESULT RenderPreview(HWND owner, int width, int height);
    // Every filter downstream of the device filters removed, as the engine tears a graph down.
    void TearDown();
    void ReleaseAll();
};

// Waits (pumping) until the grabber holds a frame; 0 when none came within the watchdog.
LONG WaitForFrame(ISampleGrabber* grabber, DWORD watchdogMs = 8000);
// Waits (pumping) for the next graph event; false when none came within the watchdog.
bool WaitForEvent(IMediaEventEx* events, LONG* code, LONG_PTR* param1, LONG_PTR* param2, DWORD watchdogMs = 8000);

class MediaTest : public UiTest {
protected:
    void SetUp() override;
};
