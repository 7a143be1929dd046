// The capture graph builder: finds pins and interfaces of capture filters, renders their streams
// into a grabber, the default renderer or a file writer (splitting a capture pin with a smart tee
// when a preview is asked of a device without a preview pin), holds capture streams back, and makes
// the file writer.
#pragma once

#include "platform/media/graph/ComObject.h"
#include "platform/media/graph/FilterGraph.h"

namespace lumo::media {

class CaptureGraphBuilder final : public ComObject<CaptureGraphBuilder, ICaptureGraphBuilder2> {
public:
    void* FindInterface(REFIID iid);

    HRESULT SetFiltergraph(IGraphBuilder* graph) override;
    HRESULT GetFiltergraph(IGraphBuilder** graph) override;
    HRESULT SetOutputFileName(const GUID* type, LPCOLESTR fileName, IBaseFilter** multiplexer,
                              IFileSinkFilter** sink) override;
    HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                          void** object) override;
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                         IBaseFilter* sink) override;
    HRESULT ControlStream(const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
                          REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie) override;
    HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                    BOOL unconnected, int number, IPin** pin) override;

    ~CaptureGraphBuilder() override = default;

private:

    HRESULT EnsureGraph();
    Pin* FindOwnPin(Filter& filter, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                    bool unconnected, int number) const;
    HRESULT PreviewOutputOf(Pin& capture, Pin** preview);
    HRESULT CaptureOutputOf(Pin& capture, Pin** output);
    HRESULT ConnectToFilter(Pin& output, Filter& target, Pin** downstream);

    ComPtr<IGraphBuilder> m_graphInterface;
    FilterGraph* m_graph = nullptr;
};

} // namespace lumo::media
