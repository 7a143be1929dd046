#include "platform/media/gst/Devices.h"

#include "platform/media/gst/CaptureSupport.h"
#include "platform/media/gst/DeviceCaps.h"
#include "platform/media/gst/GstSupport.h"
#include "platform/media/gst/VirtualDevices.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

namespace lumo::media {

namespace {

void EndStreamsOfNode(GstDevice* device);

// The monitor is started once and kept for the run, so that a device that goes away leaves its
// provider's list. Its bus would only pile up added/removed messages nobody reads, so they are
// dropped as they come; the lists are read from the providers.
class DeviceWatch {
public:
    static DeviceWatch& Get()
    {
        static DeviceWatch* watch = new DeviceWatch(); // kept to the end of the process on purpose
        return *watch;
    }

    // The devices of the class ("Video/Source", "Audio/Source"), as new references.
    std::vector<GstDevice*> Devices(const char* deviceClass)
    {
        std::vector<GstDevice*> devices;
        std::lock_guard guard(m_lock);
        if (!m_monitor)
            return devices;
        GList* list = gst_device_monitor_get_devices(m_monitor);
        for (GList* item = list; item; item = item->next) {
            auto* device = GST_DEVICE(item->data);
            if (gst_device_has_classes(device, deviceClass))
                devices.push_back(GST_DEVICE(gst_object_ref(device)));
        }
        g_list_free_full(list, gst_object_unref);
        return devices;
    }

private:
    DeviceWatch()
    {
        EnsureGstInitialized();
        m_monitor = gst_device_monitor_new();
        gst_device_monitor_add_filter(m_monitor, "Video/Source", nullptr);
        gst_device_monitor_add_filter(m_monitor, "Audio/Source", nullptr);
        GstBus* bus = gst_device_monitor_get_bus(m_monitor);
        gst_bus_set_sync_handler(bus, &DeviceWatch::OnMessage, nullptr, nullptr);
        gst_object_unref(bus);
        // A provider that cannot start (no udev, no sound server) is probed by get_devices on each
        // call instead; the sound server's probe then fails at once.
        gst_device_monitor_start(m_monitor);
    }

    // Arrivals and removals are passed on as they come; nothing is left on the bus.
    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer)
    {
        GstDevice* device = nullptr;
        bool arrived = GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED;
        if (arrived)
            gst_message_parse_device_added(message, &device);
        else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED)
            gst_message_parse_device_removed(message, &device);
        if (device) {
            if (!arrived)
                EndStreamsOfNode(device);
            if (gst_device_has_classes(device, "Video/Source"))
                NotifyDeviceChange(DeviceKind::Video, arrived);
            else if (gst_device_has_classes(device, "Audio/Source"))
                NotifyDeviceChange(DeviceKind::Audio, arrived);
            gst_object_unref(device);
        }
        return GST_BUS_DROP;
    }

    std::mutex m_lock;
    GstDeviceMonitor* m_monitor = nullptr;
};

std::atomic<DeviceChangeListener> g_deviceChangeListener { nullptr };

const char* ClassOf(DeviceKind kind) { return kind == DeviceKind::Video ? "Video/Source" : "Audio/Source"; }

struct Properties {
    GstStructure* structure = nullptr;
    ~Properties()
    {
        if (structure)
            gst_structure_free(structure);
    }
    const char* Get(const char* key) const { return structure ? gst_structure_get_string(structure, key) : nullptr; }
};

bool Contains(const char* text, std::string_view part) { return text && std::string_view(text).find(part) != std::string_view::npos; }

// Monitor sources record what an output plays, and loopback cards echo it back: neither is a
// microphone.
bool IsOutputEcho(GstDevice* device, const Properties& properties)
{
    const char* deviceClass = properties.Get("device.class");
    if (deviceClass && std::string_view(deviceClass) == "monitor")
        return true;
    if (Contains(properties.Get("media.class"), "Sink") || Contains(properties.Get("media.class"), "Monitor"))
        return true;
    if (Contains(properties.Get("alsa.card_name"), "Loopback") || Contains(properties.Get("alsa.driver_name"), "snd_aloop"))
        return true;
    gchar* internalName = nullptr;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name"))
        g_object_get(device, "internal-name", &internalName, nullptr);
    bool monitorName = internalName && g_str_has_suffix(internalName, ".monitor");
    g_free(internalName);
    return monitorName;
}

// The device's identity: its API and the most lasting name the provider gives (the V4L2 node, the
// sound server's source name, the PipeWire object path), else its display name.
std::string BaseIdOf(GstDevice* device, const Properties& properties)
{
    // A PipeWire node's name need not be unique (every client stream of one program shares it);
    // its serial is, for the node's life.
    if (const char* serial = properties.Get("object.serial"); serial && *serial) {
        const char* path = properties.Get("object.path");
        const char* name = properties.Get("node.name");
        return std::string("pipewire:") + (path && *path ? path : name ? name : "") + "@" + serial;
    }
    const char* api = properties.Get("device.api");
    std::string prefix = std::string(api && *api ? api : "device") + ":";
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name")) {
        gchar* internalName = nullptr;
        g_object_get(device, "internal-name", &internalName, nullptr);
        std::string id = internalName && *internalName ? prefix + internalName : std::string();
        g_free(internalName);
        if (!id.empty())
            return id;
    }
    for (const char* key : {"api.v4l2.path", "device.path", "object.path", "node.name", "device.string"}) {
        if (const char* value = properties.Get(key); value && *value)
            return prefix + value;
    }
    gchar* name = gst_device_get_display_name(device);
    std::string id = prefix + (name ? name : "");
    g_free(name);
    return id;
}

// The GStreamer formats a device may produce for a capability of ours.
std::vector<const char*> NativeFormatsOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::RGB24: return {"BGR", "RGB"};
    case PixelFormat::RGB32: return {"BGRx", "BGRA"};
    default: return {DeliveredFormatName(format)};
    }
}

// The V4L2 node behind a camera, when the provider names one.
const char* V4l2NodeOf(const Properties& properties)
{
    for (const char* key : {"api.v4l2.path", "device.path"}) {
        const char* value = properties.Get(key);
        if (value && g_str_has_prefix(value, "/dev/video"))
            return value;
    }
    return nullptr;
}

bool IsDefaultDevice(GstDevice* device)
{
    gboolean isDefault = FALSE;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "is-default"))
        g_object_get(device, "is-default", &isDefault, nullptr);
    return isDefault;
}

std::optional<DeviceDescription> Describe(GstDevice* device, DeviceKind kind)
{
    Properties properties {gst_device_get_properties(device)};
    if (kind == DeviceKind::Audio && IsOutputEcho(device, properties))
        return std::nullopt;
    DeviceDescription description;
    description.kind = kind;
    description.id = BaseIdOf(device, properties);
    gchar* name = gst_device_get_display_name(device);
    if (name && *name && g_utf8_validate(name, -1, nullptr))
        description.friendlyName = name;
    else
        description.faults.nameUnreadable = true;
    g_free(name);
    GstCaps* caps = gst_device_get_caps(device);
    if (kind == DeviceKind::Video) {
        description.videoCaps = VideoCapabilitiesOf(caps);
        // The device's own mode is the format it is set to now, not the provider's first caps
        // structure (V4L2 lists its largest, slowest size first).
        if (auto current = CurrentV4l2Format(V4l2NodeOf(properties)); current && !description.videoCaps.empty())
            PutCurrentFormatFirst(description.videoCaps, *current);
    } else
        description.audioCaps = AudioCapabilitiesOf(caps);
    if (caps)
        gst_caps_unref(caps);
    if (kind == DeviceKind::Video && description.videoCaps.empty())
        return std::nullopt; // a camera with no format we can show (e.g. H.264 or depth only)
    description.native = std::shared_ptr<void>(gst_object_ref(device), gst_object_unref);
    return description;
}

std::vector<DeviceDescription> ListRealDevices(DeviceKind kind)
{
    std::vector<DeviceDescription> descriptions;
    std::map<std::string, int> seen;
    for (GstDevice* device : DeviceWatch::Get().Devices(ClassOf(kind))) {
        if (auto description = Describe(device, kind)) {
            // Two devices that share a name stay apart by their order.
            if (int count = ++seen[description->id]; count > 1)
                description->id += "#" + std::to_string(count);
            descriptions.push_back(std::move(*description));
        }
        gst_object_unref(device);
    }
    // The desktop's chosen microphone comes first: the engine records from the first one.
    if (kind == DeviceKind::Audio) {
        std::stable_partition(descriptions.begin(), descriptions.end(), [](const DeviceDescription& d) {
            return IsDefaultDevice(static_cast<GstDevice*>(d.native.get()));
        });
    }
    return descriptions;
}

const char* VirtualDevicesText() { return std::getenv(kVirtualDevicesVariable); }

GstElement* Make(const char* factory) { return gst_element_factory_make(factory, nullptr); }

GstElement* Discard(GstElement* bin)
{
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
}

// The caps to ask of the camera itself: its native formats for the capability, the size, and the
// rate when one is given.
GstCaps* NativeCaps(const VideoCapability& capability, const FrameRate* rate)
{
    GstCaps* caps = gst_caps_new_empty();
    auto append = [&](GstStructure* structure) {
        gst_structure_set(structure, "width", G_TYPE_INT, capability.width, "height", G_TYPE_INT, capability.height, nullptr);
        if (rate)
            gst_structure_set(structure, "framerate", GST_TYPE_FRACTION, rate->numerator, rate->denominator, nullptr);
        gst_caps_append_structure(caps, structure);
    };
    if (capability.format == PixelFormat::MJPG) {
        append(gst_structure_new_empty("image/jpeg"));
        return caps;
    }
    for (const char* format : NativeFormatsOf(capability.format))
        append(gst_structure_new("video/x-raw", "format", G_TYPE_STRING, format, nullptr));
    return caps;
}

bool Offers(GstDevice* device, const VideoCapability& capability, const FrameRate& rate)
{
    GstCaps* offered = gst_device_get_caps(device);
    if (!offered)
        return true; // a device that does not say is asked for what we want
    GstCaps* wanted = NativeCaps(capability, &rate);
    bool offers = gst_caps_can_intersect(wanted, offered);
    gst_caps_unref(wanted);
    gst_caps_unref(offered);
    return offers;
}

// A camera lends out a few buffers of its own (the driver's or the media server's), and a recording
// holds frames in its queue while the muxer waits for sound: with borrowed buffers that starves the
// camera. A source that can copy its frames out of its pool is asked to.
void KeepPoolFree(GstElement* source)
{
    if (source && g_object_class_find_property(G_OBJECT_GET_CLASS(source), "always-copy"))
        g_object_set(source, "always-copy", TRUE, nullptr);
}

constexpr const char* kServerSourceKey = "lumo-media-server-source";

// The media server's sources inside `bin`, as new references.
std::vector<GstElement*> ServerSourcesIn(GstElement* bin)
{
    std::vector<GstElement*> sources;
    if (!GST_IS_BIN(bin))
        return sources;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (g_object_get_data(G_OBJECT(element), kServerSourceKey))
            sources.push_back(GST_ELEMENT(gst_object_ref(element)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return sources;
}

std::string SerialOf(GstDevice* device)
{
    Properties properties {gst_device_get_properties(device)};
    const char* serial = properties.Get("object.serial");
    return serial ? serial : "";
}

bool IsMediaServerNode(GstDevice* device) { return !SerialOf(device).empty(); }

// A media server's source whose node goes away stops streaming without a word: no error and no end
// of stream, its thread simply pauses. The sources made from each node are kept (weakly) so that
// the node's removal ends their streams, and the graph hears of a device that left.
class NodeSources {
public:
    static NodeSources& Get()
    {
        static NodeSources* sources = new NodeSources(); // kept to the end of the process on purpose
        return *sources;
    }

    void Add(const std::string& serial, GstElement* source)
    {
        std::lock_guard guard(m_lock);
        std::erase_if(m_sources, [](const std::unique_ptr<Entry>& entry) { return !entry->Alive(); });
        auto entry = std::make_unique<Entry>(serial);
        g_weak_ref_set(&entry->source, source);
        m_sources.push_back(std::move(entry));
    }

    // The sources of the node, as new references.
    std::vector<GstElement*> Of(const std::string& serial)
    {
        std::vector<GstElement*> sources;
        std::lock_guard guard(m_lock);
        for (auto& entry : m_sources) {
            if (entry->serial != serial)
                continue;
            if (auto* source = static_cast<GstElement*>(g_weak_ref_get(&entry->source)))
                sources.push_back(source);
        }
        return sources;
    }

private:
    struct Entry {
        explicit Entry(std::string nodeSerial)
            : serial(std::move(nodeSerial))
        {
            g_weak_ref_init(&source, nullptr);
        }
        ~Entry() { g_weak_ref_clear(&source); }
        bool Alive()
        {
            auto* object = static_cast<GObject*>(g_weak_ref_get(&source));
            if (object)
                g_object_unref(object);
            return object != nullptr;
        }
        std::string serial;
        GWeakRef source;
    };

    std::mutex m_lock;
    std::vector<std::unique_ptr<Entry>> m_sources;
};

// How long a source of a removed node has to show that it stopped, and how often it is looked at.
constexpr gint64 kStopWaitUs = 2 * G_USEC_PER_SEC;
constexpr gulong kStopPollUs = 20000;

// Runs on a thread of GStreamer's pool, never the monitor's. A streaming thread holds its pad's
// stream lock for as long as it runs and lets go of it only while paused: once the lock is free the
// stream has stopped, and its end is pushed in its place. A source that keeps streaming (the node
// came back under the same serial) is left alone.
void EndStoppedStream(GstElement* source, gpointer)
{
    GstPad* pad = gst_element_get_static_pad(source, "src");
    if (!pad)
        return;
    gint64 deadline = g_get_monotonic_time() + kStopWaitUs;
    bool stopped = false;
    while (!(stopped = g_rec_mutex_trylock(GST_PAD_GET_STREAM_LOCK(pad))) && g_get_monotonic_time() < deadline)
        g_usleep(kStopPollUs);
    if (stopped) {
        if (GST_PAD_IS_ACTIVE(pad) && !GST_PAD_IS_FLUSHING(pad) && !GST_PAD_IS_EOS(pad)) {
            g_message("media: the node of %s went away", GST_OBJECT_NAME(source));
            gst_pad_push_event(pad, gst_event_new_eos());
        }
        GST_PAD_STREAM_UNLOCK(pad);
    }
    gst_object_unref(pad);
}

void EndStreamsOfNode(GstDevice* device)
{
    std::string serial = SerialOf(device);
    if (serial.empty())
        return;
    for (GstElement* source : NodeSources::Get().Of(serial)) {
        gst_element_call_async(source, EndStoppedStream, nullptr, nullptr);
        gst_object_unref(source);
    }
}

// The media server's frames and samples carry the times of the program that provides the node, in
// that program's own running time (or none at all), which are no times of ours: a recording could
// not place them. Each one is stamped with the pipeline's running time as it arrives, less its own
// length for sound (its last sample was captured then).
GstPadProbeReturn OnServerMedia(GstPad* pad, GstPadProbeInfo* info, gpointer)
{
    GstElement* source = GST_PAD_PARENT(pad);
    GstClock* clock = source ? gst_element_get_clock(source) : nullptr;
    if (!clock)
        return GST_PAD_PROBE_OK;
    GstClockTime now = gst_clock_get_time(clock);
    GstClockTime base = gst_element_get_base_time(source);
    GstClockTime runningTime = now > base ? now - base : 0;
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GstClockTime duration = GST_BUFFER_DURATION(buffer);
    if (GST_CLOCK_TIME_IS_VALID(duration) && g_object_get_data(G_OBJECT(pad), "lumo-sound"))
        runningTime = runningTime > duration ? runningTime - duration : 0;
    GST_BUFFER_PTS(buffer) = runningTime;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    gst_object_unref(clock);
    return GST_PAD_PROBE_OK;
}

// The device's source element, stamping what it delivers when it is a media server's node.
GstElement* MakeDeviceSource(GstDevice* device, DeviceKind kind)
{
    GstElement* source = gst_device_create_element(device, nullptr);
    if (!source || !IsMediaServerNode(device))
        return source;
    // Its clock leaps ahead by its own reading each time the stream is negotiated again (as when the
    // recording restarts its encoder), and every sink would then wait for hours: the pipeline takes
    // another clock.
    GST_OBJECT_FLAG_UNSET(source, GST_ELEMENT_FLAG_PROVIDE_CLOCK);
    NodeSources::Get().Add(SerialOf(device), source);
    g_object_set_data(G_OBJECT(source), kServerSourceKey, GINT_TO_POINTER(1));
    if (GstPad* pad = gst_element_get_static_pad(source, "src")) {
        if (kind == DeviceKind::Audio)
            g_object_set_data(G_OBJECT(pad), "lumo-sound", GINT_TO_POINTER(1));
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnServerMedia, nullptr, nullptr);
        gst_object_unref(pad);
    }
    return source;
}

// camera ! capsfilter(native) ! [jpegdec] ! videoconvert ! [videorate] ! capsfilter(delivered).
// The camera runs at the wanted rate when it offers it, else at the capability's own (fastest)
// rate, or at whatever rate it likes when it does not even offer that, and videorate makes the
// wanted rate from it.
GstElement* CreateCameraBin(GstDevice* device, const VideoCapability& capability, double framesPerSecond)
{
    FrameRate fastest = FrameRateOfInterval(capability.frameInterval);
    FrameRate delivered = framesPerSecond > 0 ? FrameRateOf(framesPerSecond) : fastest;
    const FrameRate* asked = nullptr;
    if (Offers(device, capability, delivered))
        asked = &delivered;
    else if (Offers(device, capability, fastest))
        asked = &fastest;
    bool dropFrames = asked != &delivered;
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* source = MakeDeviceSource(device, DeviceKind::Video);
    KeepPoolFree(source);
    GstElement* native = Make("capsfilter");
    GstElement* output = Make("capsfilter");
    GstCaps* nativeCaps = NativeCaps(capability, asked);
    GstCaps* outputCaps = DeliveredVideoCaps(capability, delivered);
    if (native)
        g_object_set(native, "caps", nativeCaps, nullptr);
    if (output)
        g_object_set(output, "caps", outputCaps, nullptr);
    gst_caps_unref(nativeCaps);
    gst_caps_unref(outputCaps);
    std::vector<GstElement*> chain = {source, native};
    if (capability.format == PixelFormat::MJPG)
        chain.push_back(Make("jpegdec"));
    chain.push_back(Make("videoconvert"));
    if (dropFrames)
        chain.push_back(Make("videorate"));
    chain.push_back(output);
    bool assembled = AssembleSourceBin(bin, chain);
    return assembled ? bin : Discard(bin);
}

// microphone ! audioconvert ! audioresample ! capsfilter(first capability).
GstElement* CreateMicrophoneBin(GstDevice* device, const DeviceDescription& description)
{
    AudioCapability capability = description.audioCaps.empty() ? AudioCapability {} : description.audioCaps.front();
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* output = Make("capsfilter");
    if (output) {
        GstCaps* caps = DeliveredAudioCaps(capability);
        g_object_set(output, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }
    bool assembled = AssembleSourceBin(bin,
        {MakeDeviceSource(device, DeviceKind::Audio), Make("audioconvert"), Make("audioresample"), output});
    return assembled ? bin : Discard(bin);
}

} // namespace

bool WaitsOnMediaServer(GstElement* bin)
{
    std::vector<GstElement*> sources = ServerSourcesIn(bin);
    for (GstElement* source : sources)
        gst_object_unref(source);
    return !sources.empty();
}

void CancelMediaServerWaits(GstElement* bin)
{
    // A flush sent up to a source unblocks whatever it waits in, its start included; the element's
    // own state lock is not taken (the start holds it).
    for (GstElement* source : ServerSourcesIn(bin)) {
        if (GstPad* pad = gst_element_get_static_pad(source, "src")) {
            gst_pad_send_event(pad, gst_event_new_flush_start());
            gst_object_unref(pad);
        }
        gst_object_unref(source);
    }
}

void SetDeviceChangeListener(DeviceChangeListener listener) { g_deviceChangeListener = listener; }

void NotifyDeviceChange(DeviceKind kind, bool arrived)
{
    if (DeviceChangeListener listener = g_deviceChangeListener.load())
        listener(kind, arrived);
}

std::vector<DeviceDescription> ListDevices(DeviceKind kind)
{
    if (const char* text = VirtualDevicesText())
        return ListVirtualDevices(text, kind);
    return ListRealDevices(kind);
}

bool IsDevicePresent(const DeviceDescription& device)
{
    if (device.isVirtual)
        return IsVirtualDevicePresent(device);
    // A V4L2 node disappears with its camera, often before the monitor hears of it.
    if (device.id.starts_with("v4l2:/dev/")) {
        std::string node = device.id.substr(5, device.id.find('#') - 5);
        if (access(node.c_str(), F_OK) != 0)
            return false;
    }
    // A monitoring provider parents the devices it lists and lets go of them when they leave, so
    // a parented device is there without asking every provider (and probing those that cannot
    // monitor). A device let go of may still be there under a new object (its default flag
    // changed), so that one is looked for by its id.
    if (auto* gstDevice = static_cast<GstDevice*>(device.native.get())) {
        GstObject* provider = gst_object_get_parent(GST_OBJECT(gstDevice));
        bool listed = provider && GST_IS_DEVICE_PROVIDER(provider);
        if (provider)
            gst_object_unref(provider);
        if (listed)
            return true;
    }
    auto devices = ListRealDevices(device.kind);
    return std::any_of(devices.begin(), devices.end(), [&](const DeviceDescription& d) { return d.id == device.id; });
}

GstElement* CreateSourceBin(const DeviceDescription& device, const VideoCapability* chosen, double framesPerSecond)
{
    EnsureGstInitialized();
    if (device.isVirtual)
        return CreateVirtualSourceBin(device, chosen, framesPerSecond);
    auto* gstDevice = static_cast<GstDevice*>(device.native.get());
    if (!gstDevice || !GST_IS_DEVICE(gstDevice))
        return nullptr;
    if (device.kind == DeviceKind::Audio)
        return CreateMicrophoneBin(gstDevice, device);
    if (!chosen && device.videoCaps.empty())
        return nullptr;
    const VideoCapability& capability = chosen ? *chosen : device.videoCaps.front();
    if (capability.width <= 0 || capability.height <= 0)
        return nullptr;
    return CreateCameraBin(gstDevice, capability, framesPerSecond);
}

} // namespace lumo::media
