// The preview graph as the capture engine builds it, on virtual devices: devices and names, stream
// configuration, rendering through the grabber with the smart tee, the frames the grabber holds,
// state changes with their result codes, faults as events, and no reference left at the end.
#include "tests/platform/media/MediaTestSupport.h"

#include "platform/media/DeviceBroadcast.h"

#include <cstring>

namespace {

constexpr const char* kTwoCameras =
    "video:Front Camera|caps=YUY2 640x480@30,MJPG 1280x720@30,YUY2 800x600@20;"
    "video:Nameless|fault=name-unreadable;"
    "audio:Desk Microphone";

struct Pixel {
    int b, g, r;
};

// A pixel of a bottom-up 24-bit frame, `y` counted from the top of the picture.
Pixel At(const std::vector<BYTE>& frame, int width, int height, int x, int y)
{
    LONG stride = ((width * 24 + 31) & ~31) / 8;
    const BYTE* p = frame.data() + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
    return { p[0], p[1], p[2] };
}

bool Near(Pixel p, int r, int g, int b) { return std::abs(p.r - r) < 40 && std::abs(p.g - g) < 40 && std::abs(p.b - b) < 40; }

class CaptureGraphTest : public MediaTest {
protected:
    HWND MakeOwner()
    {
        static RecordingClass ownerClass(u"MediaTestOwner");
        HWND owner = CreateWindowExW(0, ownerClass.Name(), u"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520,
                                     nullptr, nullptr, nullptr, nullptr);
        m_windows.push_back(owner);
        return owner;
    }
    void TearDown() override
    {
        for (HWND window : m_windows)
            DestroyWindow(window);
        MediaTest::TearDown();
    }
    std::vector<HWND> m_windows;
};

TEST_F(CaptureGraphTest, DevicesComeFromTheVirtualListWithTheirNames)
{
    ScopedVirtualDevices devices(kTwoCameras);
    EXPECT_EQ(DeviceNames(CLSID_VideoInputDeviceCategory), (std::vector<std::string> { "Front Camera", "" }));
    EXPECT_EQ(DeviceNames(CLSID_AudioInputDeviceCategory), (std::vector<std::string> { "Desk Microphone" }));

    ComPtr<ICreateDevEnum> enumerator;
    ASSERT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               reinterpret_cast<void**>(&enumerator)),
              S_OK);
    ScopedVirtualDevices none("video:Only Camera");
    ComPtr<IEnumMoniker> monikers;
    EXPECT_EQ(enumerator->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &monikers, 0), S_FALSE);
    EXPECT_EQ(monikers.Get(), nullptr);
    EXPECT_EQ(enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0), S_OK);
    ComPtr<IMoniker> moniker;
    EXPECT_EQ(monikers->Next(1, &moniker, nullptr), S_OK);
    EXPECT_EQ(monikers->Next(1, &moniker, nullptr), S_FALSE);
}

TEST_F(CaptureGraphTest, StreamConfigurationListsTheCapabilitiesAndTakesAFormat)
{
    ScopedVirtualDevices devices(kTwoCameras);
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    ComPtr<IAMStreamConfig> config;
    EXPECT_FAILED(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, g.video, IID_IAMStreamConfig,
                                           reinterpret_cast<void**>(&config)));
    ASSERT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.video, IID_IAMStreamConfig,
                                       reinterpret_cast<void**>(&config)),
              S_OK);
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, 128);

    struct Expected {
        GUID subtype;
        LONG width, height;
        LONGLONG interval;
    } expected[] = { { MEDIASUBTYPE_YUY2, 640, 480, 333333 }, { MEDIASUBTYPE_MJPG, 1280, 720, 333333 },
                     { MEDIASUBTYPE_YUY2, 800, 600, 500000 } };
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        ASSERT_EQ(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
        EXPECT_EQ(type->majortype, MEDIATYPE_Video);
        EXPECT_EQ(type->subtype, expected[i].subtype);
        ASSERT_EQ(type->formattype, FORMAT_VideoInfo);
        ASSERT_GE(type->cbFormat, 88u);
        auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
        EXPECT_EQ(info->bmiHeader.biWidth, expected[i].width);
        EXPECT_EQ(info->bmiHeader.biHeight, expected[i].height);
        EXPECT_NEAR(static_cast<double>(info->AvgTimePerFrame), static_cast<double>(expected[i].interval), 2.0);
        EXPECT_EQ(caps.MaxOutputSize.cx, expected[i].width);
        DeleteMediaType(type);
    }

    // The frame-rate request the engine makes, and a format the device cannot deliver.
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->AvgTimePerFrame = 667111;
    EXPECT_EQ(config->SetFormat(current), S_OK);
    reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->bmiHeader.biWidth = 1024;
    EXPECT_EQ(config->SetFormat(current), VFW_E_INVALIDMEDIATYPE);
    DeleteMediaType(current);
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->AvgTimePerFrame, 667111);
    EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(current->pbFormat)->bmiHeader.biWidth, 640);
    DeleteMediaType(current);

    ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(config.As(IID_ISpecifyPropertyPages, pages), S_OK);
    CAUUID list;
    EXPECT_EQ(pages->GetPages(&list), S_OK);
    CoTaskMemFree(list.pElems);
    config.Reset();
    pages.Reset();
    g.ReleaseAll();
}

TEST_F(CaptureGraphTest, PreviewRunsThroughTheSmartTeeAndTheGrabberHoldsBottomUpFrames)
{
    ScopedVirtualDevices devices(kTwoCameras);
    HWND owner = MakeOwner();
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    // A camera has a capture pin only: the preview is split off it.
    EXPECT_EQ(g.RenderPreview(owner, 640, 480), VFW_S_NOPREVIEWPIN);
    ASSERT_TRUE(g.window);

    AM_MEDIA_TYPE connected {};
    ASSERT_EQ(g.grabber->GetConnectedMediaType(&connected), S_OK);
    EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB24);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat);
    EXPECT_EQ(info->bmiHeader.biWidth, 640);
    EXPECT_EQ(info->bmiHeader.biHeight, 480);
    FreeMediaType(connected);

    LONG size = 0;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE); // nothing has run yet
    ASSERT_EQ(g.control->Run(), S_OK);
    OAFilterState state;
    EXPECT_EQ(g.control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    size = WaitForFrame(g.grabber);
    ASSERT_EQ(size, 640 * 3 * 480);
    std::vector<BYTE> frame(static_cast<size_t>(size));
    ASSERT_EQ(g.grabber->GetCurrentBuffer(&size, reinterpret_cast<LONG*>(frame.data())), S_OK);
    EXPECT_TRUE(Near(At(frame, 640, 480, 4, 4), 255, 0, 0)) << "top left is red";
    EXPECT_TRUE(Near(At(frame, 640, 480, 635, 4), 0, 255, 0)) << "top right is green";
    EXPECT_TRUE(Near(At(frame, 640, 480, 4, 475), 255, 255, 255)) << "bottom left is white";
    EXPECT_TRUE(Near(At(frame, 640, 480, 635, 475), 0, 0, 255)) << "bottom right is blue";
    LONG small = 100;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&small, reinterpret_cast<LONG*>(frame.data())), E_OUTOFMEMORY);

    // The renderer's window is a child of the owner, sized as asked.
    OAHWND windowOwner = 0;
    EXPECT_EQ(g.window->get_Owner(&windowOwner), S_OK);
    EXPECT_EQ(reinterpret_cast<HWND>(windowOwner), owner);
    LONG left, top, width, height;
    EXPECT_EQ(g.window->GetWindowPosition(&left, &top, &width, &height), S_OK);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    // The graph cannot change while it runs.
    EXPECT_EQ(g.graph->RemoveFilter(g.grabberFilter), VFW_E_NOT_STOPPED);
    ASSERT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(g.control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    // Teardown leaves the device filter alone in the graph, ready for the next graph.
    g.TearDown();
    ComPtr<IEnumFilters> filters;
    ASSERT_EQ(g.graph->EnumFilters(&filters), S_OK);
    std::vector<IBaseFilter*> left_over;
    ComPtr<IBaseFilter> filter;
    while (filters->Next(1, &filter, nullptr) == S_OK)
        left_over.push_back(filter.Get());
    filter.Reset();
    filters.Reset();
    ASSERT_EQ(left_over.size(), 1u);
    EXPECT_EQ(left_over[0], g.video.Get());

    // And it builds and runs again from there.
    EXPECT_EQ(g.RenderPreview(owner, 320, 240), VFW_S_NOPREVIEWPIN);
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_GT(WaitForFrame(g.grabber), 0);
    EXPECT_EQ(g.control->Stop(), S_OK);

    // No reference is left: the last releases free the objects.
    g.TearDown();
    IBaseFilter* video = g.video.Detach();
    g.ReleaseAll();
    EXPECT_EQ(video->Release(), 0u);
}

TEST_F(CaptureGraphTest, ChosenFormatDecidesTheGrabbedFrameSize)
{
    ScopedVirtualDevices devices(kTwoCameras);
    HWND owner = MakeOwner();
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.video, IID_IAMStreamConfig,
                                       reinterpret_cast<void**>(&config)),
              S_OK);
    AM_MEDIA_TYPE* hd = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps;
    ASSERT_EQ(config->GetStreamCaps(1, &hd, reinterpret_cast<BYTE*>(&caps)), S_OK);
    ASSERT_EQ(config->SetFormat(hd), S_OK);
    DeleteMediaType(hd);
    EXPECT_EQ(g.RenderPreview(owner, 640, 360), VFW_S_NOPREVIEWPIN);
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(WaitForFrame(g.grabber), 1280 * 3 * 720);
    // The format cannot change under a running graph.
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    EXPECT_EQ(config->SetFormat(current), VFW_E_NOT_STOPPED);
    DeleteMediaType(current);
    EXPECT_EQ(g.control->Stop(), S_OK);
    config.Reset();
    g.TearDown();
    g.ReleaseAll();
}

TEST_F(CaptureGraphTest, ADeviceThatCannotStartFailsRunAndStaysStopped)
{
    ScopedVirtualDevices devices("video:Busy Camera|fault=cannot-start");
    HWND owner = MakeOwner();
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    EXPECT_EQ(g.RenderPreview(owner, 640, 480), VFW_S_NOPREVIEWPIN);
    EXPECT_FAILED(g.control->Run());
    OAFilterState state;
    g.control->GetState(0, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(g.control->Stop(), S_OK);
    // The failed start is not reported again as a stream error later.
    LONG code;
    LONG_PTR p1, p2;
    PumpPending();
    EXPECT_EQ(g.events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
    g.TearDown();
    g.ReleaseAll();
}

TEST_F(CaptureGraphTest, StreamErrorAndDeviceLossBecomeEventsPostedToTheNotifyWindow)
{
    ScopedVirtualDevices devices("video:Flaky|fault=error-after:5;video:Unplugged|fault=removed-after:5");
    HWND owner = MakeOwner();
    constexpr LONG kNotify = WM_USER + 1;
    for (int device = 0; device < 2; ++device) {
        CaptureGraph g;
        ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, device), nullptr), S_OK);
        EXPECT_EQ(g.RenderPreview(owner, 640, 480), VFW_S_NOPREVIEWPIN);
        ASSERT_EQ(g.events->SetNotifyWindow(reinterpret_cast<OAHWND>(owner), kNotify, 0), S_OK);
        RecordingClass::Log().clear();
        ASSERT_EQ(g.control->Run(), S_OK);
        LONG code = 0;
        LONG_PTR p1 = 0, p2 = -1;
        ASSERT_TRUE(WaitForEvent(g.events, &code, &p1, &p2));
        EXPECT_FALSE(RecordingClass::Sequence(owner, { static_cast<UINT>(kNotify) }).empty());
        if (device == 0) {
            EXPECT_EQ(code, EC_ERRORABORT);
        } else {
            EXPECT_EQ(code, EC_DEVICE_LOST);
            EXPECT_EQ(p2, 0);
            ComPtr<IBaseFilter> lost;
            ASSERT_EQ(reinterpret_cast<IUnknown*>(p1)->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&lost)), S_OK);
            EXPECT_EQ(lost.Get(), g.video.Get());
        }
        EXPECT_EQ(g.events->FreeEventParams(code, p1, p2), S_OK);
        if (device == 1) {
            // The program's top-level windows hear of the unplugged camera.
            ASSERT_TRUE(PumpUntil([&] {
                for (const RecordedMessage& m : RecordingClass::Log()) {
                    if (m.hwnd == owner && m.message == WM_DEVICECHANGE && m.wParam == DBT_DEVICEREMOVECOMPLETE)
                        return true;
                }
                return false;
            }));
        }
        // One event for one failure.
        PumpPending();
        EXPECT_EQ(g.events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
        EXPECT_EQ(g.control->Stop(), S_OK);
        g.TearDown();
        IBaseFilter* video = g.video.Detach();
        g.ReleaseAll();
        EXPECT_EQ(video->Release(), 0u);
    }
    // The unplugged camera is no longer listed.
    EXPECT_EQ(DeviceNames(CLSID_VideoInputDeviceCategory), (std::vector<std::string> { "Flaky" }));
}

TEST_F(CaptureGraphTest, AMultiplexedCaptureFormatIsInterleavedAndStillPreviews)
{
    ScopedVirtualDevices devices("video:Tape Camera|fault=not-video");
    HWND owner = MakeOwner();
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(g.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, g.video, IID_IAMStreamConfig,
                                       reinterpret_cast<void**>(&config)),
              S_OK);
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    EXPECT_EQ(current->majortype, MEDIATYPE_Interleaved);
    EXPECT_NE(current->formattype, FORMAT_VideoInfo);
    DeleteMediaType(current);
    config.Reset();
    // The first attempt (Interleaved) renders.
    EXPECT_EQ(g.RenderPreview(owner, 640, 480), VFW_S_NOPREVIEWPIN);
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(WaitForFrame(g.grabber), 640 * 3 * 480);
    EXPECT_EQ(g.control->Stop(), S_OK);
    g.TearDown();
    g.ReleaseAll();
}

TEST_F(CaptureGraphTest, BuilderRefusesWhatItCannotDo)
{
    ScopedVirtualDevices devices("video:Cam;audio:Mic");
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), BindDevice(CLSID_AudioInputDeviceCategory, 0)), S_OK);
    // A second graph for the same builder, sound without a sink, a foreign category for stream control.
    ComPtr<IGraphBuilder> other;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&other)),
              S_OK);
    EXPECT_EQ(g.builder->SetFiltergraph(other), E_UNEXPECTED);
    EXPECT_EQ(g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, g.audio, nullptr, nullptr),
              VFW_E_CANNOT_RENDER);
    EXPECT_EQ(g.builder->ControlStream(&PIN_CATEGORY_PREVIEW, nullptr, nullptr, nullptr, nullptr, 0, 0), E_INVALIDARG);
    IBaseFilter* writer = nullptr;
    EXPECT_EQ(g.builder->SetOutputFileName(&MEDIASUBTYPE_RGB24, u"x.avi", &writer, nullptr), E_INVALIDARG);
    EXPECT_EQ(writer, nullptr);
    // A filter of no graph cannot be rendered into.
    ComPtr<IBaseFilter> loose;
    ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(&loose)),
              S_OK);
    EXPECT_EQ(g.builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, g.video, loose, nullptr), VFW_E_NOT_IN_GRAPH);
    // A filter joins one graph only, and names stay unique.
    EXPECT_EQ(g.graph->AddFilter(loose, u"Video Capture"), S_FALSE);
    EXPECT_EQ(other->AddFilter(loose, nullptr), E_INVALIDARG);
    FILTER_INFO info;
    ASSERT_EQ(loose->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(WString(info.achName), u"Video Capture 0001");
    info.pGraph->Release();
    EXPECT_EQ(g.graph->RemoveFilter(loose), S_OK);
    loose.Reset();
    other.Reset();
    g.ReleaseAll();
}

} // namespace
