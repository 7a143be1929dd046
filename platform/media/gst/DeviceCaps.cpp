#include "platform/media/gst/DeviceCaps.h"

#include "platform/media/gst/CaptureSupport.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

namespace lumo::media {

namespace {

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

// Calls `visit` with each string (or each member of a list) of a field.
template <typename Visit>
void ForEachString(const GValue* value, Visit visit)
{
    if (!value)
        return;
    if (G_VALUE_HOLDS_STRING(value)) {
        if (const char* text = g_value_get_string(value))
            visit(text);
        return;
    }
    if (GST_VALUE_HOLDS_LIST(value) || GST_VALUE_HOLDS_ARRAY(value)) {
        bool isList = GST_VALUE_HOLDS_LIST(value);
        guint size = isList ? gst_value_list_get_size(value) : gst_value_array_get_size(value);
        for (guint i = 0; i < size; ++i)
            ForEachString(isList ? gst_value_list_get_value(value, i) : gst_value_array_get_value(value, i), visit);
    }
}

// One dimension of a structure: fixed, a list of fixed values, or a range (with its step).
struct Dimension {
    std::vector<int> values; // fixed or listed values, in order
    bool isRange = false;
    int low = 0;
    int high = 0;
    int step = 1;

    bool Allows(int value) const
    {
        if (!isRange)
            return std::find(values.begin(), values.end(), value) != values.end();
        return value >= low && value <= high && value % step == 0; // a stepped range holds multiples of its step
    }
};

std::optional<Dimension> DimensionOf(const GValue* value)
{
    if (!value)
        return std::nullopt;
    Dimension dimension;
    if (G_VALUE_HOLDS_INT(value)) {
        dimension.values.push_back(g_value_get_int(value));
        return dimension;
    }
    if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        dimension.isRange = true;
        dimension.low = gst_value_get_int_range_min(value);
        dimension.high = gst_value_get_int_range_max(value);
        dimension.step = std::max(1, gst_value_get_int_range_step(value));
        return dimension;
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_INT(item))
                dimension.values.push_back(g_value_get_int(item));
        }
        if (!dimension.values.empty())
            return dimension;
    }
    return std::nullopt;
}

// Sizes a camera with a stepwise (ranged) size is asked for, in the order they are offered.
constexpr std::pair<int, int> kUsualSizes[] = {
    {640, 480}, {320, 240}, {800, 600}, {1280, 720}, {1920, 1080}, {160, 120}, {1024, 768}, {1280, 960},
};
constexpr int kLargestSide = 16384;

// The sizes of a structure. Two lists of the same length are pairs (that is how enumerated sizes
// come from PipeWire: {1280,640} x {720,480} means 1280x720 and 640x480, not four sizes); other
// combinations are every width with every height; a range offers the usual camera sizes within it.
std::vector<std::pair<int, int>> SizesOf(const GstStructure* structure)
{
    auto widths = DimensionOf(gst_structure_get_value(structure, "width"));
    auto heights = DimensionOf(gst_structure_get_value(structure, "height"));
    if (!widths || !heights)
        return {};
    std::vector<std::pair<int, int>> sizes;
    auto add = [&](int width, int height) {
        if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide)
            return;
        if (std::find(sizes.begin(), sizes.end(), std::pair {width, height}) == sizes.end())
            sizes.emplace_back(width, height);
    };
    if (!widths->isRange && !heights->isRange) {
        if (widths->values.size() == heights->values.size() && widths->values.size() > 1) {
            for (size_t i = 0; i < widths->values.size(); ++i)
                add(widths->values[i], heights->values[i]);
            return sizes;
        }
        for (int width : widths->values) {
            for (int height : heights->values)
                add(width, height);
        }
        return sizes;
    }
    for (auto [width, height] : kUsualSizes) {
        if (widths->Allows(width) && heights->Allows(height))
            add(width, height);
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
    // Some drivers announce absurd maxima, or a frame every few minutes; a camera that says nothing
    // useful gets 30 fps.
    if (!(rate >= 0.1) || rate > 1000.0)
        rate = 30.0;
    return FrameIntervalOf(rate);
}

bool IsSystemMemory(const GstCaps* caps, guint index)
{
    GstCapsFeatures* features = gst_caps_get_features(caps, index);
    return !features || gst_caps_features_is_any(features)
        || gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY);
}

bool SameFormatAndSize(const VideoCapability& a, const VideoCapability& b)
{
    return a.format == b.format && a.width == b.width && a.height == b.height;
}

void AddVideoCapability(std::vector<VideoCapability>& capabilities, VideoCapability capability)
{
    for (auto& known : capabilities) {
        if (SameFormatAndSize(known, capability)) {
            known.frameInterval = std::min(known.frameInterval, capability.frameInterval);
            return;
        }
    }
    capabilities.push_back(capability);
}

std::vector<PixelFormat> FormatsOf(const GstStructure* structure)
{
    std::vector<PixelFormat> formats;
    if (gst_structure_has_name(structure, "image/jpeg"))
        return {PixelFormat::MJPG};
    if (!gst_structure_has_name(structure, "video/x-raw"))
        return formats;
    ForEachString(gst_structure_get_value(structure, "format"), [&](const char* name) {
        if (auto format = RawFormatOf(name); format && std::find(formats.begin(), formats.end(), *format) == formats.end())
            formats.push_back(*format);
    });
    return formats;
}

// The preferred value of an int field: fixed, or `preferred` when a range or list allows it, else
// the range's top or the list's first.
int PreferredInt(const GstStructure* structure, const char* field, int preferred)
{
    auto dimension = DimensionOf(gst_structure_get_value(structure, field));
    if (!dimension)
        return preferred;
    if (dimension->Allows(preferred))
        return preferred;
    return dimension->isRange ? dimension->high : dimension->values.front();
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

} // namespace

std::vector<VideoCapability> VideoCapabilitiesOf(const GstCaps* caps)
{
    std::vector<VideoCapability> capabilities;
    if (!caps || gst_caps_is_any(caps))
        return capabilities;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        if (!IsSystemMemory(caps, i))
            continue;
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        std::vector<PixelFormat> formats = FormatsOf(structure);
        if (formats.empty())
            continue;
        long long interval = IntervalOfRate(HighestRate(gst_structure_get_value(structure, "framerate")));
        for (auto [width, height] : SizesOf(structure)) {
            for (PixelFormat format : formats)
                AddVideoCapability(capabilities, {format, width, height, interval});
        }
    }
    return capabilities;
}

std::vector<AudioCapability> AudioCapabilitiesOf(const GstCaps* caps)
{
    std::vector<AudioCapability> capabilities;
    for (guint i = 0; caps && !gst_caps_is_any(caps) && i < gst_caps_get_size(caps); ++i) {
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

void PutCurrentFormatFirst(std::vector<VideoCapability>& capabilities, const VideoCapability& current)
{
    auto found = std::find_if(capabilities.begin(), capabilities.end(),
                              [&](const VideoCapability& c) { return SameFormatAndSize(c, current); });
    if (found != capabilities.end()) {
        std::rotate(capabilities.begin(), found, found + 1);
        return;
    }
    if (current.width <= 0 || current.height <= 0)
        return;
    VideoCapability added = current;
    if (added.frameInterval <= 0) {
        added.frameInterval = FrameIntervalOf(30.0);
        for (const auto& known : capabilities) {
            if (known.width == current.width && known.height == current.height)
                added.frameInterval = std::min(added.frameInterval, known.frameInterval);
        }
    }
    capabilities.insert(capabilities.begin(), added);
}

} // namespace lumo::media
