#include "platform/media/gst/Devices.h"

#include "platform/media/gst/CaptureSupport.h"
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

std::optional<PixelFormat> RawFormatOf(std::string_view name)
{
    static const std::map<std::string_view, PixelFormat> kFormats = {
        {"YUY2", PixelFormat::YUY2}, {"UYVY", PixelFormat::UYVY}, {"NV12", PixelFormat::NV12},
        {"I420", PixelFormat::I420}, {"YV12", PixelFormat::YV12}, {"BGR", PixelFormat::RGB24},
        {"RGB", PixelFormat::RGB24}, {"BGRx", PixelFormat::RGB32}, {"BGRA", PixelFormat::RGB32},
    };
    auto found = kFormats.find(name);
    if (found == kFormats.end())
        return std::nullopt;
    return found->second;
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

// Calls `visit` with each string (or each member of a list) of a field.
template <typename Visit>
void ForEachString(const GValue* value, Visit visit)
{
    if (!value)
        return;
    if (G_VALUE_HOLDS_STRING(value)) {
        visit(g_value_get_string(value));
        return;
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            ForEachString(gst_value_list_get_value(value, i), visit);
    }
}

// The sizes of a structure: fixed values, or the usual camera sizes within a range.
std::vector<std::pair<int, int>> SizesOf(const GstStructure* structure)
{
    int width = 0;
    int height = 0;
    if (gst_structure_get_int(structure, "width", &width) && gst_structure_get_int(structure, "height", &height))
        return {{width, height}};
    const GValue* widths = gst_structure_get_value(structure, "width");
    const GValue* heights = gst_structure_get_value(structure, "height");
    if (!widths || !heights || !GST_VALUE_HOLDS_INT_RANGE(widths) || !GST_VALUE_HOLDS_INT_RANGE(heights))
        return {};
    static constexpr std::pair<int, int> kUsualSizes[] = {
        {640, 480}, {320, 240}, {800, 600}, {1280, 720}, {1920, 1080}, {160, 120}};
    std::vector<std::pair<int, int>> sizes;
    for (auto [w, h] : kUsualSizes) {
        if (w >= gst_value_get_int_range_min(widths) && w <= gst_value_get_int_range_max(widths)
            && h >= gst_value_get_int_range_min(heights) && h <= gst_value_get_int_range_max(heights))
            sizes.emplace_back(w, h);
    }
    return sizes;
}

double FractionValue(const GValue* value)
{
    int numerator = gst_value_get_fraction_numerator(value);
    int denominator = gst_value_get_fraction_denominator(value);
    return denominator > 0 ? static_cast<double>(numerator) / denominator : 0.0;
}

// The highest rate of a fixed value, list or range; 0 when none is given or it is variable (0/1).
double HighestRate(const GValue* value)
{
    if (!value)
        return 0.0;
    if (GST_VALUE_HOLDS_FRACTION(value))
        return FractionValue(value);
    if (GST_VALUE_HOLDS_FRACTION_RANGE(value))
        return FractionValue(gst_value_get_fraction_range_max(value));
    double highest = 0.0;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            highest = std::max(highest, HighestRate(gst_value_list_get_value(value, i)));
    }
    return highest;
}

long long IntervalOfRate(double rate)
{
    // Some drivers announce absurd maxima; a camera that says nothing useful gets 30 fps.
    if (!(rate > 0) || rate > 1000.0)
        rate = 30.0;
    return FrameIntervalOf(rate);
}

bool IsSystemMemory(const GstCaps* caps, guint index)
{
    GstCapsFeatures* features = gst_caps_get_features(caps, index);
    return !features || gst_caps_features_is_any(features)
        || gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY);
}

void AddVideoCapability(std::vector<VideoCapability>& capabilities, VideoCapability capability)
{
    for (auto& known : capabilities) {
        if (known.format == capability.format && known.width == capability.width && known.height == capability.height) {
            known.frameInterval = std::min(known.frameInterval, capability.frameInterval);
            return;
        }
    }
    capabilities.push_back(capability);
}

std::vector<VideoCapability> VideoCapabilitiesOf(const GstCaps* caps)
{
    std::vector<VideoCapability> capabilities;
    if (!caps)
        return capabilities;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        if (!IsSystemMemory(caps, i))
            continue;
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        std::vector<PixelFormat> formats;
        if (gst_structure_has_name(structure, "image/jpeg")) {
            formats.push_back(PixelFormat::MJPG);
        } else if (gst_structure_has_name(structure, "video/x-raw")) {
            ForEachString(gst_structure_get_value(structure, "format"), [&](const char* name) {
                if (auto format = RawFormatOf(name); format && std::find(formats.begin(), formats.end(), *format) == formats.end())
                    formats.push_back(*format);
            });
        }
        long long interval = IntervalOfRate(HighestRate(gst_structure_get_value(structure, "framerate")));
        for (auto [width, height] : SizesOf(structure)) {
            if (width <= 0 || height <= 0)
                continue;
            for (PixelFormat format : formats)
                AddVideoCapability(capabilities, {format, width, height, interval});
        }
    }
    return capabilities;
}

// The preferred value of an int field: fixed, or `preferred` when a range or list allows it, else
// the range's top or the list's first.
int PreferredInt(const GstStructure* structure, const char* field, int preferred)
{
    const GValue* value = gst_structure_get_value(structure, field);
    if (!value)
        return preferred;
    if (G_VALUE_HOLDS_INT(value))
        return g_value_get_int(value);
    if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        int low = gst_value_get_int_range_min(value);
        int high = gst_value_get_int_range_max(value);
        return preferred >= low && preferred <= high ? preferred : high;
    }
    if (GST_VALUE_HOLDS_LIST(value) && gst_value_list_get_size(value) > 0) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_INT(item) && g_value_get_int(item) == preferred)
                return preferred;
        }
        const GValue* first = gst_value_list_get_value(value, 0);
        return G_VALUE_HOLDS_INT(first) ? g_value_get_int(first) : preferred;
    }
    return preferred;
}

int BitsOf(const char* format)
{
    std::string_view name = format;
    if (name == "S16LE")
        return 16;
    if (name == "S24LE")
        return 24;
    if (name == "S32LE")
        return 32;
    if (name == "U8")
        return 8;
    return 0;
}

// What a microphone's bin will deliver; the converter inside makes it from whatever the device
// gives, so a device says only which of the usual shapes suits it. Never empty.
std::vector<AudioCapability> AudioCapabilitiesOf(const GstCaps* caps)
{
    std::vector<AudioCapability> capabilities;
    for (guint i = 0; caps && i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(structure, "audio/x-raw"))
            continue;
        // 16-bit samples when the device has them, else its largest integer samples.
        int bits = 0;
        ForEachString(gst_structure_get_value(structure, "format"), [&](const char* name) {
            if (bits != 16)
                bits = BitsOf(name) == 16 ? 16 : std::max(bits, BitsOf(name));
        });
        AudioCapability capability;
        capability.sampleRate = PreferredInt(structure, "rate", 44100);
        capability.channels = std::clamp(PreferredInt(structure, "channels", 2), 1, 2);
        capability.bitsPerSample = bits ? bits : 16;
        if (capability.sampleRate < 1000 || capability.sampleRate > 384000)
            continue;
        bool known = std::any_of(capabilities.begin(), capabilities.end(), [&](const AudioCapability& c) {
            return c.sampleRate == capability.sampleRate && c.channels == capability.channels
                && c.bitsPerSample == capability.bitsPerSample;
        });
        if (!known)
            capabilities.push_back(capability);
    }
    if (capabilities.empty())
        capabilities.push_back(AudioCapability {});
    return capabilities;
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
    if (kind == DeviceKind::Video)
        description.videoCaps = VideoCapabilitiesOf(caps);
    else
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
    GstElement* source = gst_device_create_element(device, nullptr);
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
        {gst_device_create_element(device, nullptr), Make("audioconvert"), Make("audioresample"), output});
    return assembled ? bin : Discard(bin);
}

} // namespace

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
