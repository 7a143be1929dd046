#include "tests/platform/media/MediaTestSupport.h"

#include "platform/media/MediaClasses.h"

#include <cstdlib>

ScopedVirtualDevices::ScopedVirtualDevices(const char* text)
{
    const char* previous = std::getenv("LUMO_VIRTUAL_DEVICES");
    m_hadPrevious = previous != nullptr;
    if (previous)
        m_previous = previous;
    setenv("LUMO_VIRTUAL_DEVICES", text, 1);
}

ScopedVirtualDevices::~ScopedVirtualDevices()
{
    if (m_hadPrevious)
        setenv("LUMO_VIRTUAL_DEVICES", m_previous.c_str(), 1);
    else
        unsetenv("LUMO_VIRTUAL_DEVICES");
}

namespace {

ComPtr<IEnumMoniker> Monikers(REFCLSID category)
{
    ComPtr<ICreateDevEnum> devices;
    EXPECT_EQ(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                               reinterpret_cast<void**>(&devices)),
              S_OK);
    ComPtr<IEnumMoniker> monikers;
    if (devices)
        devices->CreateClassEnumerator(category, &monikers, 0);
    return monikers;
}

} // namespace

ComPtr<IBaseFilter> BindDevice(REFCLSID category, int index)
{
    ComPtr<IEnumMoniker> monikers = Monikers(category);
    if (!monikers)
        return nullptr;
    ComPtr<IMoniker> moniker;
    for (int i = 0; i <= index; ++i) {
        if (monikers->Next(1, &moniker, nullptr) != S_OK)
            return nullptr;
    }
    ComPtr<IBaseFilter> filter;
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
    return filter;
}

std::vector<std::string> DeviceNames(REFCLSID category)
{
    std::vector<std::string> names;
    ComPtr<IEnumMoniker> monikers = Monikers(category);
    if (!monikers)
        return names;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        std::string name;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
            VARIANT value;
            VariantInit(&value);
            if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR)
                name = WideToUtf8(value.bstrVal);
            VariantClear(&value);
        }
        names.push_back(name);
    }
    return names;
}

HRESULT CaptureGraph::Create(IBaseFilter* videoFilter, IBaseFilter* audioFilter)
{
    if (!videoFilter)
        return E_POINTER; // the camera was not found
    HRESULT hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_ICaptureGraphBuilder2,
                                  reinterpret_cast<void**>(&builder));
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&graph));
    if (SUCCEEDED(hr))
        hr = builder->SetFiltergraph(graph);
    video = videoFilter;
    audio = audioFilter;
    if (SUCCEEDED(hr) && video)
        hr = graph->AddFilter(video, u"Video Capture");
    if (SUCCEEDED(hr) && audio)
        hr = graph->AddFilter(audio, u"Audio Capture");
    if (SUCCEEDED(hr))
        hr = graph.As(IID_IMediaControl, control);
    if (SUCCEEDED(hr))
        hr = graph.As(IID_IMediaEventEx, events);
    return hr;
}

HRESULT CaptureGraph::RenderPreview(HWND owner, int width, int height)
{
    HRESULT hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&grabberFilter));
    if (FAILED(hr))
        return hr;
    graph->AddFilter(grabberFilter, u"Grabber");
    grabberFilter.As(IID_ISampleGrabber, grabber);
    AM_MEDIA_TYPE accepted {};
    accepted.majortype = MEDIATYPE_Video;
    accepted.subtype = MEDIASUBTYPE_RGB24;
    grabber->SetMediaType(&accepted);
    hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, video, grabberFilter, nullptr);
    if (FAILED(hr))
        hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, video, grabberFilter, nullptr);
    if (FAILED(hr))
        return hr;
    HRESULT rendered = hr;
    grabber->SetBufferSamples(TRUE);
    grabber->SetOneShot(FALSE);
    if (SUCCEEDED(graph.As(IID_IVideoWindow, window))) {
        window->put_Owner(reinterpret_cast<OAHWND>(owner));
        window->put_WindowStyle(WS_CHILD);
        window->SetWindowPosition(0, 0, width, height);
        window->put_Visible(OATRUE);
        window->put_MessageDrain(reinterpret_cast<OAHWND>(owner));
    }
    return rendered;
}

namespace {

void RemoveDownstream(IGraphBuilder* graph, IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins)))
        return;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> peer;
        PIN_DIRECTION direction;
        pin->QueryDirection(&direction);
        if (direction != PINDIR_OUTPUT || FAILED(pin->ConnectedTo(&peer)))
            continue;
        PIN_INFO info;
        peer->QueryPinInfo(&info);
        RemoveDownstream(graph, info.pFilter);
        graph->Disconnect(peer);
        graph->Disconnect(pin);
        graph->RemoveFilter(info.pFilter);
        info.pFilter->Release();
    }
}

} // namespace

void CaptureGraph::TearDown()
{
    window.Reset();
    grabber.Reset();
    grabberFilter.Reset();
    RemoveDownstream(graph, video);
    RemoveDownstream(graph, audio);
}

void CaptureGraph::ReleaseAll()
{
    window.Reset();
    grabber.Reset();
    grabberFilter.Reset();
    control.Reset();
    events.Reset();
    builder.Reset();
    graph.Reset();
    video.Reset();
    audio.Reset();
}

LONG WaitForFrame(ISampleGrabber* grabber, DWORD watchdogMs)
{
    LONG size = 0;
    PumpUntil([&] { return SUCCEEDED(grabber->GetCurrentBuffer(&size, nullptr)) && size > 0; }, watchdogMs);
    return size;
}

bool WaitForEvent(IMediaEventEx* events, LONG* code, LONG_PTR* param1, LONG_PTR* param2, DWORD watchdogMs)
{
    return PumpUntil([&] { return events->GetEvent(code, param1, param2, 0) == S_OK; }, watchdogMs);
}

void MediaTest::SetUp()
{
    UiTest::SetUp();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RegisterMediaClasses();
}
