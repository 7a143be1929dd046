#include "platform/media/graph/FilterGraph.h"

#include "platform/media/graph/SnapshotEnumerator.h"
#include "platform/media/gst/Devices.h"
#include "platform/media/gst/GstSupport.h"
#include "platform/ui/MessageQueue.h"

#include <gst/gst.h>

#include <algorithm>
#include <chrono>

namespace lumo::media {

namespace {

// How long Run waits for the pipeline to reach its state before it answers S_FALSE and lets the
// start finish on its own: a camera that is slow to deliver its first frame must not hold the UI
// thread. A start that fails later is reported as an event, with the graph stopped.
constexpr GstClockTime kStateWait = 100 * GST_MSECOND;
// Posted by a start made in the background when the pipeline could not reach its state.
constexpr const char* kStartFailedMessage = "lumo-start-failed";

// Runs on a thread of GStreamer's pool and only posts what came of it.
void ChangeStateInBackground(GstElement* pipeline, gpointer state)
{
    GstStateChangeReturn change = gst_element_set_state(pipeline, static_cast<GstState>(GPOINTER_TO_INT(state)));
    if (change == GST_STATE_CHANGE_FAILURE) {
        gst_element_post_message(pipeline,
            gst_message_new_application(GST_OBJECT(pipeline), gst_structure_new_empty(kStartFailedMessage)));
    }
}

// How long a device whose stream failed has to show that it was unplugged (milliseconds).
constexpr guint kDeviceLossGrace = 500;

} // namespace

FilterGraph* GraphOf(IUnknown* graph) { return dynamic_cast<FilterGraph*>(graph); }
Filter* FilterOf(IUnknown* filter) { return dynamic_cast<Filter*>(filter); }
Pin* PinOf(IUnknown* pin) { return dynamic_cast<Pin*>(pin); }

FilterGraph::FilterGraph()
    : m_captureHeld(std::make_shared<std::atomic<bool>>(false))
{
    EnsureGstInitialized();
}

FilterGraph::~FilterGraph()
{
    TearDownPipeline();
    for (Filter* filter : m_filters) {
        for (const auto& pin : filter->Pins()) {
            if (Pin* peer = pin->Peer())
                peer->Detach();
            pin->Detach();
        }
    }
    for (Filter* filter : m_filters) {
        filter->JoinGraph(nullptr, {});
        filter->Release();
    }
    for (const Event& event : m_events)
        FreeEventParams(event.code, event.param1, event.param2);
}

void* FilterGraph::FindInterface(REFIID iid)
{
    if (iid == IID_IFilterGraph || iid == IID_IGraphBuilder)
        return static_cast<IGraphBuilder*>(this);
    if (iid == IID_IMediaControl)
        return static_cast<IMediaControl*>(this);
    if (iid == IID_IMediaEventEx || iid == IID_IMediaEvent)
        return static_cast<IMediaEventEx*>(this);
    return nullptr;
}

HRESULT FilterGraph::QueryInterface(REFIID iid, void** object)
{
    if (iid == IID_IVideoWindow && object) {
        *object = nullptr;
        for (Filter* filter : m_filters) {
            if (SUCCEEDED(filter->QueryInterface(iid, object)))
                return S_OK;
        }
        return E_NOINTERFACE;
    }
    return ComObject::QueryInterface(iid, object);
}

bool FilterGraph::Contains(const Filter& filter) const
{
    return std::find(m_filters.begin(), m_filters.end(), &filter) != m_filters.end();
}

HRESULT FilterGraph::AddFilter(IBaseFilter* filterInterface, LPCWSTR name)
{
    Filter* filter = FilterOf(filterInterface);
    if (!filterInterface)
        return E_POINTER;
    if (!filter)
        return E_INVALIDARG; // only the layer's own filters can join
    if (filter->Graph())
        return E_INVALIDARG; // already in a graph
    WString wanted = name ? WString(ToView(name)) : filter->DefaultName();
    WString unique = wanted;
    HRESULT result = S_OK;
    for (int suffix = 1; std::any_of(m_filters.begin(), m_filters.end(), [&](Filter* f) { return f->Name() == unique; });
         ++suffix) {
        // Like the system graph: a taken name gets a number.
        char digits[16];
        std::snprintf(digits, sizeof digits, " %04d", suffix);
        unique = wanted + Utf8ToWide(digits);
        result = S_FALSE;
    }
    filter->AddRef();
    m_filters.push_back(filter);
    filter->JoinGraph(this, unique);
    return result;
}

HRESULT FilterGraph::RemoveFilter(IBaseFilter* filterInterface)
{
    Filter* filter = FilterOf(filterInterface);
    if (!filter || !Contains(*filter))
        return VFW_E_NOT_FOUND;
    if (IsActive())
        return VFW_E_NOT_STOPPED;
    for (const auto& pin : filter->Pins()) {
        if (Pin* peer = pin->Peer())
            peer->Detach();
        pin->Detach();
    }
    m_filters.erase(std::find(m_filters.begin(), m_filters.end(), filter));
    filter->JoinGraph(nullptr, {});
    filter->Release();
    return S_OK;
}

HRESULT FilterGraph::EnumFilters(IEnumFilters** filters)
{
    if (!filters)
        return E_POINTER;
    std::vector<ComPtr<IBaseFilter>> snapshot;
    for (Filter* filter : m_filters)
        snapshot.emplace_back(filter);
    *filters = new (std::nothrow) SnapshotEnumerator<IEnumFilters, IBaseFilter, IID_IEnumFilters>(std::move(snapshot));
    return *filters ? S_OK : E_OUTOFMEMORY;
}

HRESULT FilterGraph::FindFilterByName(LPCWSTR name, IBaseFilter** filter)
{
    if (!name || !filter)
        return E_POINTER;
    *filter = nullptr;
    for (Filter* candidate : m_filters) {
        if (candidate->Name() == ToView(name)) {
            *filter = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT FilterGraph::Disconnect(IPin* pinInterface)
{
    Pin* pin = PinOf(pinInterface);
    if (!pin)
        return E_POINTER;
    if (!Contains(pin->Owner()))
        return VFW_E_NOT_IN_GRAPH;
    return pin->Disconnect();
}

HRESULT FilterGraph::Connect(IPin* outputInterface, IPin* inputInterface)
{
    Pin* output = PinOf(outputInterface);
    Pin* input = PinOf(inputInterface);
    if (!output || !input)
        return E_POINTER;
    if (!Contains(output->Owner()) || !Contains(input->Owner()))
        return VFW_E_NOT_IN_GRAPH;
    if (output->Direction() != PINDIR_OUTPUT || input->Direction() != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    if (output->Peer() || input->Peer())
        return VFW_E_ALREADY_CONNECTED;
    if (IsActive())
        return VFW_E_NOT_STOPPED;
    MediaType offered;
    if (!output->OutputType(&offered))
        return VFW_E_NO_ACCEPTABLE_TYPES;
    MediaType connection;
    if (!input->Accepts(*output, offered, &connection))
        return VFW_E_NO_ACCEPTABLE_TYPES;
    output->Attach(*input, connection);
    input->Attach(*output, connection);
    return S_OK;
}

Filter* FilterGraph::FilterOfElement(void* element) const
{
    for (const auto& [filter, owned] : m_elements) {
        if (element == owned || gst_object_has_as_ancestor(GST_OBJECT(element), GST_OBJECT(owned)))
            return filter;
    }
    return nullptr;
}

HRESULT FilterGraph::BuildPipeline()
{
    if (m_pipeline)
        return S_OK;
    GstElement* pipeline = gst_pipeline_new(nullptr);
    RunContext context { m_captureHeld };
    m_elements.clear();
    for (Filter* filter : m_filters) {
        if (!filter->HasConnection())
            continue;
        GstElement* element = filter->CreateElement(context);
        if (!element) {
            gst_object_unref(pipeline);
            m_elements.clear();
            return E_FAIL;
        }
        gst_bin_add(GST_BIN(pipeline), element);
        m_elements.emplace_back(filter, element);
    }
    auto elementOf = [&](const Filter& filter) -> GstElement* {
        for (const auto& [candidate, element] : m_elements) {
            if (candidate == &filter)
                return element;
        }
        return nullptr;
    };
    for (const auto& [filter, element] : m_elements) {
        for (const auto& pin : filter->Pins()) {
            Pin* peer = pin->Peer();
            if (pin->Direction() != PINDIR_OUTPUT || !peer)
                continue;
            GstElement* downstream = elementOf(peer->Owner());
            if (!downstream
                || !gst_element_link_pads(element, pin->PadName().c_str(), downstream, peer->PadName().c_str())) {
                g_warning("media: cannot link %s to %s", pin->PadName().c_str(), peer->PadName().c_str());
                gst_object_unref(pipeline);
                m_elements.clear();
                return VFW_E_CANNOT_CONNECT;
            }
        }
    }
    m_pipeline = pipeline;
    m_errorReported = false;
    GstBus* bus = gst_element_get_bus(m_pipeline);
    m_busWatch = gst_bus_add_watch(bus, reinterpret_cast<GstBusFunc>(&FilterGraph::OnBusMessage), this);
    gst_object_unref(bus);
    return S_OK;
}

void FilterGraph::FinishStreaming()
{
    for (const auto& [filter, element] : m_elements)
        filter->FinishStreaming(element);
}

void FilterGraph::TearDownPipeline()
{
    // An error still being weighed is decided now, before its run goes.
    DecideSuspect();
    if (!m_pipeline)
        return;
    FinishStreaming();
    // A start still waiting on the media server gives up, rather than holding this stop until it ends.
    CancelMediaServerWaits(m_pipeline);
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    if (m_busWatch) {
        g_source_remove(m_busWatch);
        m_busWatch = 0;
    }
    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_flushing(bus, TRUE);
    gst_object_unref(bus);
    gst_object_unref(m_pipeline);
    m_pipeline = nullptr;
    m_elements.clear();
    m_starting = false;
}

HRESULT FilterGraph::ChangeState(OAFilterState target)
{
    if (target == m_state)
        return S_OK;
    if (target == State_Stopped) {
        TearDownPipeline();
        m_state = State_Stopped;
        return S_OK;
    }
    HRESULT hr = BuildPipeline();
    if (FAILED(hr))
        return hr;
    GstState state = target == State_Running ? GST_STATE_PLAYING : GST_STATE_PAUSED;
    if (WaitsOnMediaServer(m_pipeline)) {
        // Its sources hold the state change until the server has started their nodes: that wait is
        // left to another thread, and a start that fails is heard of on the bus.
        gst_element_call_async(m_pipeline, &ChangeStateInBackground, GINT_TO_POINTER(state), nullptr);
        m_state = target;
        m_starting = true;
        return S_FALSE;
    }
    GstStateChangeReturn change = gst_element_set_state(m_pipeline, state);
    if (change == GST_STATE_CHANGE_ASYNC)
        change = gst_element_get_state(m_pipeline, nullptr, nullptr, kStateWait);
    if (change == GST_STATE_CHANGE_FAILURE) {
        // Whatever the failed start posted belongs to this attempt, not to a later run.
        TearDownPipeline();
        m_state = State_Stopped;
        return E_FAIL;
    }
    m_state = target;
    m_starting = change == GST_STATE_CHANGE_ASYNC;
    return m_starting ? S_FALSE : S_OK;
}

HRESULT FilterGraph::Run() { return ChangeState(State_Running); }
HRESULT FilterGraph::Pause() { return ChangeState(State_Paused); }
HRESULT FilterGraph::Stop() { return ChangeState(State_Stopped); }

HRESULT FilterGraph::GetState(LONG, OAFilterState* state)
{
    if (!state)
        return E_POINTER;
    *state = m_state;
    return S_OK;
}

int FilterGraph::OnBusMessage(GstBus*, GstMessage* message, void* self)
{
    static_cast<FilterGraph*>(self)->HandleBusMessage(message);
    return G_SOURCE_CONTINUE;
}

void FilterGraph::HandleBusMessage(GstMessage* message)
{
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        g_message("media: stream error from %s: %s", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)),
                  error ? error->message : "?");
        // A full disk is told apart: the event's first parameter is the failure's result.
        HRESULT failure = g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NO_SPACE_LEFT)
            ? HRESULT_FROM_WIN32(ERROR_DISK_FULL)
            : E_FAIL;
        g_clear_error(&error);
        g_free(debug);
        OnStreamFailed(FilterOfElement(GST_MESSAGE_SRC(message)), failure);
        break;
    }
    case GST_MESSAGE_APPLICATION:
        // A device whose stream ended by itself has stopped delivering as surely as one that failed.
        if (gst_message_has_name(message, kSourceEndedMessage)) {
            g_message("media: the stream of %s ended", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)));
            OnStreamFailed(FilterOfElement(GST_MESSAGE_SRC(message)));
        } else if (gst_message_has_name(message, kStartFailedMessage)) {
            g_message("media: the pipeline did not start");
            OnStreamFailed(nullptr);
        }
        break;
    case GST_MESSAGE_ASYNC_DONE:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(m_pipeline))
            m_starting = false;
        break;
    case GST_MESSAGE_STATE_CHANGED:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(m_pipeline)) {
            GstState state = GST_STATE_NULL;
            gst_message_parse_state_changed(message, nullptr, &state, nullptr);
            if (state == GST_STATE_PLAYING || (state == GST_STATE_PAUSED && m_state == State_Paused))
                m_starting = false;
        }
        break;
    case GST_MESSAGE_EOS:
        // After an error the streams end because of it: that end is no completion.
        if (!m_errorReported)
            QueueEvent(EC_COMPLETE, S_OK, 0);
        break;
    default:
        break;
    }
}

void FilterGraph::OnStreamFailed(Filter* source, HRESULT failure)
{
    if (m_errorReported)
        return; // the first failure of a run says it all; the rest follow from it
    if (source && source->IsSoundDevice()) {
        // The picture goes on without sound: the microphone's branch is ended, so that a file being
        // written keeps every frame and its sound up to the loss.
        EndStreamOf(*source);
        return;
    }
    m_errorReported = true;
    if (m_starting) {
        // The graph never ran: its start has failed after Run returned. The graph stops, and the
        // event tells the owner so (GetState answers State_Stopped).
        bool lost = source && source->IsDevice() && source->DeviceLost();
        TearDownPipeline();
        m_state = State_Stopped;
        if (lost)
            QueueEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(source)), 0);
        else
            QueueEvent(EC_ERRORABORT, E_FAIL, 0);
        return;
    }
    // A file being written is completed now: nothing more will reach it.
    FinishStreaming();
    if (source && source->DeviceLost()) {
        QueueEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(source)), 0);
    } else if (source && source->IsDevice()) {
        // The device monitor may hear of an unplugged camera a moment after its stream failed:
        // the device is asked again before the error is called a stream error.
        m_suspect = source;
        m_suspect->AddRef();
        m_suspectCheck = g_timeout_add(kDeviceLossGrace, &FilterGraph::OnSuspectCheck, this);
    } else {
        QueueEvent(EC_ERRORABORT, failure, 0);
    }
}

void FilterGraph::EndStreamOf(const Filter& source)
{
    for (const auto& [filter, element] : m_elements) {
        if (filter != &source)
            continue;
        GstIterator* pads = gst_element_iterate_src_pads(element);
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
            if (GstPad* peer = gst_pad_get_peer(GST_PAD(g_value_get_object(&item)))) {
                gst_pad_send_event(peer, gst_event_new_eos());
                gst_object_unref(peer);
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(pads);
    }
}

int FilterGraph::OnSuspectCheck(void* self)
{
    auto* graph = static_cast<FilterGraph*>(self);
    graph->m_suspectCheck = 0;
    graph->DecideSuspect();
    return G_SOURCE_REMOVE;
}

void FilterGraph::DecideSuspect()
{
    if (!m_suspect)
        return;
    if (m_suspectCheck) {
        g_source_remove(m_suspectCheck);
        m_suspectCheck = 0;
    }
    Filter* suspect = std::exchange(m_suspect, nullptr);
    if (suspect->DeviceLost())
        QueueEvent(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(suspect)), 0);
    else
        QueueEvent(EC_ERRORABORT, E_FAIL, 0);
    suspect->Release();
}

void FilterGraph::QueueEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (code == EC_DEVICE_LOST && param1)
        reinterpret_cast<IUnknown*>(param1)->AddRef();
    m_events.push_back({ code, param1, param2 });
    if (m_notifyWindow)
        PostMessageW(reinterpret_cast<HWND>(m_notifyWindow), static_cast<UINT>(m_notifyMessage), 0, m_notifyInstance);
}

HRESULT FilterGraph::GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeout)
{
    if (!code || !param1 || !param2)
        return E_POINTER;
    if (m_events.empty() && timeout != 0) {
        // Bus messages arrive through this thread's main context: let it run until the deadline.
        auto deadline = std::chrono::steady_clock::now()
            + (timeout < 0 ? std::chrono::hours(24) : std::chrono::milliseconds(timeout));
        GMainContext* context = g_main_context_get_thread_default();
        while (m_events.empty() && std::chrono::steady_clock::now() < deadline) {
            if (!g_main_context_iteration(context, FALSE))
                g_usleep(2000);
        }
    }
    if (m_events.empty()) {
        *code = 0;
        *param1 = *param2 = 0;
        return E_ABORT;
    }
    Event event = m_events.front();
    m_events.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

HRESULT FilterGraph::FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR)
{
    if (code == EC_DEVICE_LOST && param1)
        reinterpret_cast<IUnknown*>(param1)->Release();
    return S_OK;
}

HRESULT FilterGraph::SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instance)
{
    m_notifyWindow = window;
    m_notifyMessage = message;
    m_notifyInstance = instance;
    if (window && !m_events.empty())
        PostMessageW(reinterpret_cast<HWND>(window), static_cast<UINT>(message), 0, instance);
    return S_OK;
}

} // namespace lumo::media
