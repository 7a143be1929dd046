// Filters and pins of a graph. A filter is a description until its graph runs: then it makes the
// GStreamer element that does its work, with one pad per connected pin, and the graph links them.
#pragma once

#include "platform/base/Strings.h"
#include "platform/media/DirectShow.h"
#include "platform/media/MediaTypes.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;

namespace lumo::media {

class Filter;
class FilterGraph;

// Posted on the bus (an application message from the device's element) when a device's stream ends
// without an error: a camera that goes away without a word.
inline constexpr const char* kSourceEndedMessage = "lumo-source-ended";

// What every element of one run shares with the graph.
struct RunContext {
    // Capture streams (the ones that end in a file) are held back while set.
    std::shared_ptr<std::atomic<bool>> captureHeld;
};

class Pin : public IPin {
public:
    Pin(Filter& owner, WString name, PIN_DIRECTION direction, const GUID& category, std::string padName);
    virtual ~Pin();
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    // A pin lives as long as its filter: its count is the filter's.
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT Disconnect() override;

    Filter& Owner() const { return m_owner; }
    const WString& Name() const { return m_name; }
    PIN_DIRECTION Direction() const { return m_direction; }
    const GUID& Category() const { return m_category; }
    const std::string& PadName() const { return m_padName; }
    Pin* Peer() const { return m_peer; }
    const MediaType& Connection() const { return m_connection; }

    // Output pins: the type they deliver now. Input pins: whether they take `offered`, and the
    // type of the connection when they do.
    virtual bool OutputType(MediaType* type) const;
    virtual bool Accepts(const Pin& output, const MediaType& offered, MediaType* connection) const;
    // The picture size that flows through the pin, for pins whose type does not carry it.
    virtual bool FrameSize(LONG* width, LONG* height) const;
    // The major type the pin offers or takes, for matching by media type.
    virtual GUID MajorType() const;

    // Links the two pins (the graph has checked them).
    void Attach(Pin& peer, const MediaType& connection);
    void Detach();

protected:
    virtual void* FindInterface(REFIID iid);

private:
    Filter& m_owner;
    WString m_name;
    PIN_DIRECTION m_direction;
    GUID m_category;
    std::string m_padName;
    Pin* m_peer = nullptr; // holds a reference (through its filter) while connected
    MediaType m_connection;
};

// An input pin that takes a picture stream, plain or multiplexed, in the type it is offered.
class VideoInputPin final : public Pin {
public:
    VideoInputPin(Filter& owner, WString name, std::string padName)
        : Pin(owner, std::move(name), PINDIR_INPUT, GUID {}, std::move(padName))
    {
    }
    bool Accepts(const Pin& output, const MediaType& offered, MediaType* connection) const override;
};

class Filter : public IBaseFilter {
public:
    Filter(const CLSID& clsid, WString defaultName);
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;

    const CLSID& ClassId() const { return m_clsid; }
    const WString& Name() const { return m_name; }
    const WString& DefaultName() const { return m_defaultName; }
    FilterGraph* Graph() const { return m_graph; }
    // Called by the graph when the filter joins (a name) or leaves it (nullptr).
    void JoinGraph(FilterGraph* graph, const WString& name);
    bool GraphIsActive() const;

    const std::vector<std::unique_ptr<Pin>>& Pins() const { return m_pins; }
    bool HasConnection() const;
    Pin* FirstPin(PIN_DIRECTION direction, bool unconnected) const;

    // The element of one run, made only for filters with a connected pin; its pads carry the pin
    // pad names. nullptr when it cannot be made.
    virtual GstElement* CreateElement(const RunContext& context) = 0;
    // Right before the graph's pipeline stops, and after a stream error: a writer completes its file.
    virtual void FinishStreaming(GstElement* element) { (void)element; }
    // A filter of a capture device, and whether its device has gone.
    virtual bool IsDevice() const { return false; }
    virtual bool DeviceLost() const { return false; }
    virtual bool IsSoundDevice() const { return false; }

protected:
    virtual ~Filter();
    virtual void* FindInterface(REFIID iid);
    Pin& AddPin(std::unique_ptr<Pin> pin);
    void RemovePins();

private:
    std::atomic<ULONG> m_references { 1 };
    CLSID m_clsid;
    WString m_defaultName;
    WString m_name;
    FilterGraph* m_graph = nullptr; // the graph holds the filter, not the other way round
    std::vector<std::unique_ptr<Pin>> m_pins;
};

// Copies a wide name into a fixed array, cut to fit and terminated.
void CopyName(WCHAR* target, size_t capacity, const WString& name);

} // namespace lumo::media
