// The graph builder the capture engine passes every graph operation through: a thin wrapper of the
// system's capture graph builder with one operation of its own, ConnectFilters.
#pragma once

#include "platform/media/DirectShow.h"

class ISampleCaptureGraphBuilder {
public:
    // Creates the inner capture graph builder; Valid() says whether that worked.
    ISampleCaptureGraphBuilder();
    virtual ~ISampleCaptureGraphBuilder();
    ISampleCaptureGraphBuilder(const ISampleCaptureGraphBuilder&) = delete;
    ISampleCaptureGraphBuilder& operator=(const ISampleCaptureGraphBuilder&) = delete;

    bool Valid() const { return m_builder != nullptr; }

    virtual HRESULT ControlStream(const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
                                  REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie);
    virtual HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid, void** object);
    virtual HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                            BOOL unconnected, int number, IPin** pin);
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph);
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                                 IBaseFilter* sink);
    // Connects the first unconnected output pin of `from` to the first unconnected input pin of `to`.
    virtual HRESULT ConnectFilters(IBaseFilter* from, IBaseFilter* to);
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph);
    // E_INVALIDARG unless all four arguments are there.
    virtual HRESULT SetOutputFileName(const GUID* type, LPCOLESTR fileName, IBaseFilter** multiplexer,
                                      IFileSinkFilter** sink);
    // Drops the auxiliary filters the wrapper holds (it holds none of its own today).
    void ReleaseAuxiliaryFilters() { }

private:
    ComPtr<ICaptureGraphBuilder2> m_builder;
    ComPtr<IGraphBuilder> m_graph;
};
