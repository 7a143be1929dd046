#include "capture/SampleCaptureGraphBuilder.h"

namespace {

// The first pin of a direction that is not connected (ConnectedTo fails), or nullptr.
ComPtr<IPin> FirstUnconnectedPin(IBaseFilter* filter, PIN_DIRECTION wanted)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins)))
        return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (FAILED(pin->QueryDirection(&direction)) || direction != wanted)
            continue;
        ComPtr<IPin> peer;
        if (FAILED(pin->ConnectedTo(&peer)))
            return pin;
    }
    return nullptr;
}

} // namespace

ISampleCaptureGraphBuilder::ISampleCaptureGraphBuilder()
{
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_ICaptureGraphBuilder2,
                     reinterpret_cast<void**>(&m_builder));
}

ISampleCaptureGraphBuilder::~ISampleCaptureGraphBuilder()
{
    ReleaseAuxiliaryFilters();
}

HRESULT ISampleCaptureGraphBuilder::ControlStream(const GUID* category, const GUID* type, IBaseFilter* filter,
                                                  REFERENCE_TIME* start, REFERENCE_TIME* stop, WORD startCookie,
                                                  WORD stopCookie)
{
    if (!m_builder)
        return E_UNEXPECTED;
    return m_builder->ControlStream(category, type, filter, start, stop, startCookie, stopCookie);
}

HRESULT ISampleCaptureGraphBuilder::FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter,
                                                  REFIID iid, void** object)
{
    if (!m_builder)
        return E_UNEXPECTED;
    return m_builder->FindInterface(category, type, filter, iid, object);
}

HRESULT ISampleCaptureGraphBuilder::FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category,
                                            const GUID* type, BOOL unconnected, int number, IPin** pin)
{
    if (!m_builder)
        return E_UNEXPECTED;
    return m_builder->FindPin(source, direction, category, type, unconnected, number, pin);
}

HRESULT ISampleCaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph)
{
    if (!m_builder)
        return E_UNEXPECTED;
    return m_builder->GetFiltergraph(graph);
}

HRESULT ISampleCaptureGraphBuilder::RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                                 IBaseFilter* intermediate, IBaseFilter* sink)
{
    if (!m_builder)
        return E_UNEXPECTED;
    return m_builder->RenderStream(category, type, source, intermediate, sink);
}

HRESULT ISampleCaptureGraphBuilder::ConnectFilters(IBaseFilter* from, IBaseFilter* to)
{
    if (!m_graph)
        return E_UNEXPECTED;
    ComPtr<IPin> output = FirstUnconnectedPin(from, PINDIR_OUTPUT);
    ComPtr<IPin> input = FirstUnconnectedPin(to, PINDIR_INPUT);
    if (!output || !input)
        return E_FAIL;
    return m_graph->Connect(output, input);
}

HRESULT ISampleCaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph)
{
    if (!m_builder)
        return E_UNEXPECTED;
    HRESULT hr = m_builder->SetFiltergraph(graph);
    if (SUCCEEDED(hr))
        m_graph = graph;
    return hr;
}

HRESULT ISampleCaptureGraphBuilder::SetOutputFileName(const GUID* type, LPCOLESTR fileName, IBaseFilter** multiplexer,
                                                      IFileSinkFilter** sink)
{
    if (!type || !fileName || !multiplexer || !sink)
        return E_INVALIDARG;
    if (!m_builder)
        return E_UNEXPECTED;
    return m_builder->SetOutputFileName(type, fileName, multiplexer, sink);
}
