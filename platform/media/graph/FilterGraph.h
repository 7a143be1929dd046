// The filter graph: its filters and connections, its control (a graph becomes one GStreamer
// pipeline when it runs or pauses, torn down to nothing when it stops) and its event queue, fed from
// the pipeline's bus on the thread that made the graph and announced to a notify window.
#pragma once

#include "platform/media/graph/ComObject.h"
#include "platform/media/graph/Filter.h"

#include <deque>
#include <memory>
#include <vector>

typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

namespace lumo::media {

class FilterGraph final : public ComObject<FilterGraph, IGraphBuilder, IMediaControl, IMediaEventEx> {
public:
    FilterGraph();

    void* FindInterface(REFIID iid);
    // The renderer's window interface is answered by the renderer filter in the graph.
    HRESULT QueryInterface(REFIID iid, void** object) override;

    // IFilterGraph / IGraphBuilder
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override;
    HRESULT RemoveFilter(IBaseFilter* filter) override;
    HRESULT EnumFilters(IEnumFilters** filters) override;
    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
    HRESULT Disconnect(IPin* pin) override;
    HRESULT Connect(IPin* output, IPin* input) override;

    // IMediaControl
    HRESULT Run() override;
    HRESULT Pause() override;
    HRESULT Stop() override;
    HRESULT GetState(LONG timeout, OAFilterState* state) override;

    // IMediaEventEx
    HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout) override;
    HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override;
    HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instance) override;

    IFilterGraph* AsFilterGraph() { return static_cast<IGraphBuilder*>(this); }
    bool IsActive() const { return m_state != State_Stopped; }
    const std::vector<Filter*>& Filters() const { return m_filters; }
    bool Contains(const Filter& filter) const;
    // Holds back or lets through the capture streams (the ones that end in a file).
    void HoldCaptureStreams(bool held) { m_captureHeld->store(held); }
    bool CaptureStreamsHeld() const { return m_captureHeld->load(); }

    // Queues an event (taking a reference on an interface parameter the event carries) and
    // notifies the window.
    void QueueEvent(LONG code, LONG_PTR param1, LONG_PTR param2);

    ~FilterGraph() override;

private:

    HRESULT BuildPipeline();
    void TearDownPipeline();
    HRESULT ChangeState(OAFilterState target);
    static int OnBusMessage(GstBus* bus, GstMessage* message, void* self);
    void HandleBusMessage(GstMessage* message);
    void OnStreamFailed(Filter* source, HRESULT failure = E_FAIL);
    void EndStreamOf(const Filter& source);
    Filter* FilterOfElement(void* element) const;
    void FinishStreaming();
    static int OnSuspectCheck(void* self);
    void DecideSuspect();

    std::vector<Filter*> m_filters; // each held by a reference
    OAFilterState m_state = State_Stopped;
    GstElement* m_pipeline = nullptr;
    unsigned m_busWatch = 0;
    std::vector<std::pair<Filter*, GstElement*>> m_elements; // of the current run
    bool m_errorReported = false;
    bool m_starting = false; // Run answered before the pipeline reached PLAYING, and it has not yet
    Filter* m_suspect = nullptr; // a device filter whose stream failed, held while its loss is weighed
    unsigned m_suspectCheck = 0;
    std::shared_ptr<std::atomic<bool>> m_captureHeld;

    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    std::deque<Event> m_events;
    OAHWND m_notifyWindow = 0;
    LONG m_notifyMessage = 0;
    LONG_PTR m_notifyInstance = 0;
};

// The graph's object behind an interface the layer handed out, or nullptr for a foreign one.
FilterGraph* GraphOf(IUnknown* graph);
Filter* FilterOf(IUnknown* filter);
Pin* PinOf(IUnknown* pin);

} // namespace lumo::media
