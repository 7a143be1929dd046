#include "platform/media/graph/CaptureGraphBuilder.h"

#include "platform/media/filters/AsfWriter.h"
#include "platform/media/filters/SmartTee.h"
#include "platform/media/filters/VideoRenderer.h"
#include "platform/media/gst/RecordingBin.h"

namespace lumo::media {

namespace {

SmartTee* TeeOf(Pin* pin) { return pin ? dynamic_cast<SmartTee*>(&pin->Owner()) : nullptr; }

} // namespace

void* CaptureGraphBuilder::FindInterface(REFIID iid)
{
    return iid == IID_ICaptureGraphBuilder2 ? static_cast<ICaptureGraphBuilder2*>(this) : nullptr;
}

HRESULT CaptureGraphBuilder::SetFiltergraph(IGraphBuilder* graph)
{
    if (!graph)
        return E_POINTER;
    if (m_graph)
        return E_UNEXPECTED; // a builder serves one graph
    FilterGraph* own = GraphOf(graph);
    if (!own)
        return E_INVALIDARG;
    m_graphInterface = graph;
    m_graph = own;
    return S_OK;
}

HRESULT CaptureGraphBuilder::GetFiltergraph(IGraphBuilder** graph)
{
    if (!graph)
        return E_POINTER;
    *graph = m_graphInterface.Get();
    if (!*graph)
        return E_UNEXPECTED;
    (*graph)->AddRef();
    return S_OK;
}

HRESULT CaptureGraphBuilder::EnsureGraph()
{
    if (m_graph)
        return S_OK;
    ComPtr<IGraphBuilder> graph;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&graph));
    if (FAILED(hr))
        return hr;
    return SetFiltergraph(graph);
}

Pin* CaptureGraphBuilder::FindOwnPin(Filter& filter, PIN_DIRECTION direction, const GUID* category,
                                     const GUID* type, bool unconnected, int number) const
{
    for (const auto& pin : filter.Pins()) {
        if (pin->Direction() != direction)
            continue;
        if (category && *category != GUID {} && pin->Category() != *category)
            continue;
        if (type && *type != GUID {} && pin->MajorType() != *type)
            continue;
        if (unconnected && pin->Peer())
            continue;
        if (number-- == 0)
            return pin.get();
    }
    return nullptr;
}

HRESULT CaptureGraphBuilder::FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category,
                                     const GUID* type, BOOL unconnected, int number, IPin** pin)
{
    if (!source || !pin)
        return E_POINTER;
    *pin = nullptr;
    Filter* filter = FilterOf(source);
    if (!filter) {
        Pin* given = PinOf(source);
        if (!given)
            return E_INVALIDARG;
        bool matches = given->Direction() == direction && (!category || *category == GUID {} || given->Category() == *category)
            && (!type || *type == GUID {} || given->MajorType() == *type) && (!unconnected || !given->Peer()) && number == 0;
        if (!matches)
            return E_FAIL;
        *pin = given;
        given->AddRef();
        return S_OK;
    }
    Pin* found = FindOwnPin(*filter, direction, category, type, unconnected != FALSE, number);
    if (!found)
        return E_FAIL;
    *pin = found;
    found->AddRef();
    return S_OK;
}

HRESULT CaptureGraphBuilder::FindInterface(const GUID* category, const GUID* type, IBaseFilter* filterInterface,
                                           REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    Filter* filter = FilterOf(filterInterface);
    if (!filter)
        return E_POINTER;
    if (!category || *category == GUID {}) {
        if (SUCCEEDED(filter->QueryInterface(iid, object)))
            return S_OK;
        for (const auto& pin : filter->Pins()) {
            if ((!type || *type == GUID {} || pin->MajorType() == *type) && SUCCEEDED(pin->QueryInterface(iid, object)))
                return S_OK;
        }
        return E_NOINTERFACE;
    }
    // An interface of the filter's output pin of that category (and type).
    for (int number = 0;; ++number) {
        Pin* pin = FindOwnPin(*filter, PINDIR_OUTPUT, category, type, false, number);
        if (!pin)
            return E_NOINTERFACE;
        if (SUCCEEDED(pin->QueryInterface(iid, object)))
            return S_OK;
    }
}

HRESULT CaptureGraphBuilder::ConnectToFilter(Pin& output, Filter& target, Pin** downstream)
{
    for (const auto& pin : target.Pins()) {
        if (pin->Direction() != PINDIR_INPUT || pin->Peer())
            continue;
        if (SUCCEEDED(m_graph->Connect(&output, pin.get()))) {
            if (downstream)
                *downstream = pin.get();
            return S_OK;
        }
    }
    return VFW_E_CANNOT_CONNECT;
}

HRESULT CaptureGraphBuilder::PreviewOutputOf(Pin& capture, Pin** preview)
{
    Pin* peer = capture.Peer();
    if (SmartTee* tee = TeeOf(peer)) {
        if (tee->PreviewOutput().Peer())
            return VFW_E_ALREADY_CONNECTED;
        *preview = &tee->PreviewOutput();
        return S_OK;
    }
    // Split the capture pin: capture -> tee, and whatever it fed now hangs off the tee's capture output.
    SmartTee* tee = new SmartTee();
    HRESULT hr = m_graph->AddFilter(tee, nullptr);
    tee->Release();
    if (FAILED(hr))
        return hr;
    if (peer) {
        peer->AddRef();
        capture.Detach();
        peer->Detach();
    }
    hr = m_graph->Connect(&capture, &tee->Input());
    if (SUCCEEDED(hr) && peer)
        hr = m_graph->Connect(&tee->CaptureOutput(), peer);
    if (peer)
        peer->Release();
    if (FAILED(hr)) {
        m_graph->RemoveFilter(tee);
        return hr;
    }
    *preview = &tee->PreviewOutput();
    return S_OK;
}

HRESULT CaptureGraphBuilder::CaptureOutputOf(Pin& capture, Pin** output)
{
    Pin* peer = capture.Peer();
    if (!peer) {
        *output = &capture;
        return S_OK;
    }
    SmartTee* tee = TeeOf(peer);
    if (!tee || tee->CaptureOutput().Peer())
        return VFW_E_ALREADY_CONNECTED;
    *output = &tee->CaptureOutput();
    return S_OK;
}

HRESULT CaptureGraphBuilder::RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                          IBaseFilter* intermediateInterface, IBaseFilter* sinkInterface)
{
    if (!source)
        return E_POINTER;
    HRESULT hr = EnsureGraph();
    if (FAILED(hr))
        return hr;
    Filter* intermediate = intermediateInterface ? FilterOf(intermediateInterface) : nullptr;
    Filter* sink = sinkInterface ? FilterOf(sinkInterface) : nullptr;
    if ((intermediateInterface && !intermediate) || (sinkInterface && !sink))
        return E_INVALIDARG;
    for (Filter* filter : { intermediate, sink }) {
        if (filter && !m_graph->Contains(*filter))
            return VFW_E_NOT_IN_GRAPH;
    }

    // The output pin the stream starts from.
    Pin* output = nullptr;
    HRESULT success = S_OK;
    Filter* sourceFilter = FilterOf(source);
    if (!sourceFilter) {
        output = PinOf(source);
        if (!output || output->Direction() != PINDIR_OUTPUT || output->Peer())
            return E_INVALIDARG;
    } else {
        if (!m_graph->Contains(*sourceFilter))
            return VFW_E_NOT_IN_GRAPH;
        bool preview = category && *category == PIN_CATEGORY_PREVIEW;
        bool capture = category && *category == PIN_CATEGORY_CAPTURE;
        if (preview && (output = FindOwnPin(*sourceFilter, PINDIR_OUTPUT, category, type, true, 0))) {
            // The device has a preview pin of its own.
        } else if (preview || capture) {
            Pin* capturePin = FindOwnPin(*sourceFilter, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, type, false, 0);
            if (!capturePin)
                return E_FAIL;
            hr = preview ? PreviewOutputOf(*capturePin, &output) : CaptureOutputOf(*capturePin, &output);
            if (FAILED(hr))
                return hr;
            if (preview)
                success = VFW_S_NOPREVIEWPIN;
        } else {
            output = FindOwnPin(*sourceFilter, PINDIR_OUTPUT, nullptr, type, true, 0);
            if (!output)
                return E_FAIL;
        }
    }

    if (intermediate) {
        hr = ConnectToFilter(*output, *intermediate, nullptr);
        if (FAILED(hr))
            return hr;
        output = intermediate->FirstPin(PINDIR_OUTPUT, true);
        if (!output)
            return sink ? VFW_E_CANNOT_CONNECT : success; // the intermediate filter ends the stream
    }
    if (sink) {
        hr = ConnectToFilter(*output, *sink, nullptr);
        return FAILED(hr) ? hr : success;
    }
    // No sink: the default renderer for a picture; sound has no renderer here.
    GUID major = output->MajorType();
    if (major != MEDIATYPE_Video && major != MEDIATYPE_Interleaved)
        return VFW_E_CANNOT_RENDER;
    VideoRenderer* renderer = new VideoRenderer();
    hr = m_graph->AddFilter(renderer, nullptr);
    renderer->Release();
    if (FAILED(hr))
        return hr;
    hr = ConnectToFilter(*output, *renderer, nullptr);
    if (FAILED(hr)) {
        m_graph->RemoveFilter(renderer);
        return hr;
    }
    return success;
}

HRESULT CaptureGraphBuilder::ControlStream(const GUID* category, const GUID*, IBaseFilter* filter,
                                           REFERENCE_TIME* start, REFERENCE_TIME*, WORD, WORD)
{
    if (!m_graph)
        return E_UNEXPECTED;
    // Only capture streams (those ending in a file) are held back and released.
    if (!category || *category != PIN_CATEGORY_CAPTURE)
        return E_INVALIDARG;
    bool any = false;
    for (Filter* candidate : m_graph->Filters()) {
        if (filter && FilterOf(filter) != candidate)
            continue;
        if (FindOwnPin(*candidate, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, false, 0))
            any = true;
    }
    if (!any)
        return E_FAIL;
    // A start of MAXLONGLONG holds the stream; no start (or any other time) lets it run now.
    m_graph->HoldCaptureStreams(start && *start == MAXLONGLONG);
    return S_OK;
}

HRESULT CaptureGraphBuilder::SetOutputFileName(const GUID* type, LPCOLESTR fileName, IBaseFilter** multiplexer,
                                               IFileSinkFilter** sink)
{
    if (!type || !fileName || !multiplexer)
        return E_POINTER;
    *multiplexer = nullptr;
    if (sink)
        *sink = nullptr;
    if (*type != MEDIASUBTYPE_Asf)
        return E_INVALIDARG; // the layer writes ASF files only
    if (!RecordingElementsAvailable())
        return REGDB_E_CLASSNOTREG;
    HRESULT hr = EnsureGraph();
    if (FAILED(hr))
        return hr;
    AsfWriter* writer = new AsfWriter();
    hr = writer->SetFileName(fileName, nullptr);
    if (SUCCEEDED(hr))
        hr = m_graph->AddFilter(writer, fileName);
    if (FAILED(hr)) {
        writer->Release();
        return hr;
    }
    *multiplexer = writer; // the creation reference goes to the caller
    if (sink) {
        *sink = writer;
        writer->AddRef();
    }
    return S_OK;
}

} // namespace lumo::media
