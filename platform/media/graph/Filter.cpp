#include "platform/media/graph/Filter.h"

#include "platform/media/graph/SnapshotEnumerator.h"
#include "platform/media/graph/FilterGraph.h"

#include <cstring>

namespace lumo::media {

void CopyName(WCHAR* target, size_t capacity, const WString& name)
{
    if (capacity == 0)
        return;
    size_t length = name.size() < capacity - 1 ? name.size() : capacity - 1;
    std::memcpy(target, name.data(), length * sizeof(WCHAR));
    target[length] = 0;
}

Pin::Pin(Filter& owner, WString name, PIN_DIRECTION direction, const GUID& category, std::string padName)
    : m_owner(owner)
    , m_name(std::move(name))
    , m_direction(direction)
    , m_category(category)
    , m_padName(std::move(padName))
{
}

Pin::~Pin() { Detach(); }

HRESULT Pin::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPin)
        *object = static_cast<IPin*>(this);
    else
        *object = FindInterface(iid);
    if (!*object)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

void* Pin::FindInterface(REFIID) { return nullptr; }

ULONG Pin::AddRef() { return m_owner.AddRef(); }
ULONG Pin::Release() { return m_owner.Release(); }

HRESULT Pin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = m_peer;
    if (!m_peer)
        return VFW_E_NOT_CONNECTED;
    m_peer->AddRef();
    return S_OK;
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    if (!m_peer) {
        std::memset(type, 0, sizeof *type);
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_connection.Get());
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = &m_owner;
    m_owner.AddRef();
    info->dir = m_direction;
    CopyName(info->achName, std::size(info->achName), m_name);
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = m_direction;
    return S_OK;
}

HRESULT Pin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc((m_name.size() + 1) * sizeof(WCHAR)));
    if (!*id)
        return E_OUTOFMEMORY;
    CopyName(*id, m_name.size() + 1, m_name);
    return S_OK;
}

HRESULT Pin::Disconnect()
{
    if (m_owner.GraphIsActive())
        return VFW_E_NOT_STOPPED;
    if (!m_peer)
        return S_FALSE;
    Detach();
    return S_OK;
}

bool Pin::OutputType(MediaType*) const { return false; }

bool Pin::Accepts(const Pin&, const MediaType&, MediaType*) const { return false; }

bool Pin::FrameSize(LONG* width, LONG* height) const
{
    if (const VIDEOINFOHEADER* info = m_connection.VideoInfo()) {
        *width = info->bmiHeader.biWidth;
        *height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
        return true;
    }
    // A type without a picture size (a multiplexed stream): ask upstream.
    if (m_direction == PINDIR_INPUT && m_peer)
        return m_peer->FrameSize(width, height);
    return false;
}

GUID Pin::MajorType() const
{
    MediaType type;
    if (m_direction == PINDIR_OUTPUT && OutputType(&type))
        return type.Get().majortype;
    return m_connection.Get().majortype;
}

void Pin::Attach(Pin& peer, const MediaType& connection)
{
    Detach();
    m_peer = &peer;
    m_peer->AddRef();
    m_connection = connection;
}

void Pin::Detach()
{
    if (Pin* peer = std::exchange(m_peer, nullptr)) {
        m_connection = MediaType();
        peer->Release();
    }
}

bool VideoInputPin::Accepts(const Pin&, const MediaType& offered, MediaType* connection) const
{
    const GUID& major = offered.Get().majortype;
    if (major != MEDIATYPE_Video && major != MEDIATYPE_Interleaved)
        return false;
    *connection = offered;
    return true;
}

Filter::Filter(const CLSID& clsid, WString defaultName)
    : m_clsid(clsid)
    , m_defaultName(std::move(defaultName))
{
}

Filter::~Filter() = default;

void Filter::RemovePins()
{
    for (auto& pin : m_pins)
        pin->Detach();
    m_pins.clear();
}

HRESULT Filter::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter)
        *object = static_cast<IBaseFilter*>(this);
    else
        *object = FindInterface(iid);
    if (!*object)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

void* Filter::FindInterface(REFIID) { return nullptr; }

ULONG Filter::AddRef() { return ++m_references; }

ULONG Filter::Release()
{
    ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT Filter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    std::vector<ComPtr<IPin>> snapshot;
    for (const auto& pin : m_pins)
        snapshot.emplace_back(pin.get());
    *pins = new (std::nothrow) SnapshotEnumerator<IEnumPins, IPin, IID_IEnumPins>(std::move(snapshot));
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    for (const auto& candidate : m_pins) {
        if (candidate->Name() == ToView(id)) {
            *pin = candidate.get();
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    CopyName(info->achName, std::size(info->achName), m_name);
    info->pGraph = m_graph ? m_graph->AsFilterGraph() : nullptr;
    if (info->pGraph)
        info->pGraph->AddRef();
    return S_OK;
}

void Filter::JoinGraph(FilterGraph* graph, const WString& name)
{
    m_graph = graph;
    m_name = graph ? name : WString();
}

bool Filter::GraphIsActive() const { return m_graph && m_graph->IsActive(); }

bool Filter::HasConnection() const
{
    for (const auto& pin : m_pins) {
        if (pin->Peer())
            return true;
    }
    return false;
}

Pin* Filter::FirstPin(PIN_DIRECTION direction, bool unconnected) const
{
    for (const auto& pin : m_pins) {
        if (pin->Direction() == direction && (!unconnected || !pin->Peer()))
            return pin.get();
    }
    return nullptr;
}

Pin& Filter::AddPin(std::unique_ptr<Pin> pin)
{
    m_pins.push_back(std::move(pin));
    return *m_pins.back();
}

} // namespace lumo::media
