#include "platform/media/gst/CaptureSupport.h"

#include <cmath>

namespace lumo::media {

namespace {

constexpr double kHundredNanosecondsPerSecond = 10000000.0;
constexpr double kFastestRate = 1000.0;

} // namespace

const char* DeliveredFormatName(PixelFormat format)
{
    switch (format) {
    case PixelFormat::YUY2: return "YUY2";
    case PixelFormat::UYVY: return "UYVY";
    case PixelFormat::MJPG: return "I420";
    case PixelFormat::NV12: return "NV12";
    case PixelFormat::I420: return "I420";
    case PixelFormat::YV12: return "YV12";
    case PixelFormat::RGB24: return "BGR";
    case PixelFormat::RGB32: return "BGRx";
    }
    return "I420";
}

FrameRate FrameRateOf(double framesPerSecond)
{
    if (!(framesPerSecond > 0) || framesPerSecond > kFastestRate)
        return {};
    // The small denominators first, then the NTSC family, so that 29.97 becomes 30000/1001 and
    // not 2997/100.
    static constexpr int kDenominators[] = {1, 2, 3, 4, 5, 6, 8, 10, 12, 1001, 100, 1000};
    for (int denominator : kDenominators) {
        double numerator = std::round(framesPerSecond * denominator);
        if (numerator < 1)
            continue;
        if (std::fabs(numerator / denominator - framesPerSecond) <= framesPerSecond * 1e-4)
            return {static_cast<int>(numerator), denominator};
    }
    int numerator = 0;
    int denominator = 1;
    gst_util_double_to_fraction(framesPerSecond, &numerator, &denominator);
    if (numerator <= 0 || denominator <= 0)
        return {};
    return {numerator, denominator};
}

FrameRate FrameRateOfInterval(long long frameInterval)
{
    if (frameInterval <= 0)
        return {};
    return FrameRateOf(kHundredNanosecondsPerSecond / static_cast<double>(frameInterval));
}

long long FrameIntervalOf(double framesPerSecond)
{
    if (!(framesPerSecond > 0))
        return 0;
    return std::llround(kHundredNanosecondsPerSecond / framesPerSecond);
}

GstCaps* DeliveredVideoCaps(const VideoCapability& capability, FrameRate rate)
{
    return gst_caps_new_simple("video/x-raw",
        "format", G_TYPE_STRING, DeliveredFormatName(capability.format),
        "width", G_TYPE_INT, capability.width,
        "height", G_TYPE_INT, capability.height,
        "framerate", GST_TYPE_FRACTION, rate.numerator, rate.denominator,
        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1,
        nullptr);
}

const char* AudioFormatName(int bitsPerSample)
{
    switch (bitsPerSample) {
    case 8: return "U8";
    case 16: return "S16LE";
    case 24: return "S24LE";
    case 32: return "S32LE";
    default: return nullptr;
    }
}

GstCaps* DeliveredAudioCaps(const AudioCapability& capability)
{
    const char* format = AudioFormatName(capability.bitsPerSample);
    return gst_caps_new_simple("audio/x-raw",
        "format", G_TYPE_STRING, format ? format : "S16LE",
        "layout", G_TYPE_STRING, "interleaved",
        "rate", G_TYPE_INT, capability.sampleRate,
        "channels", G_TYPE_INT, capability.channels,
        nullptr);
}

bool AssembleSourceBin(GstElement* bin, const std::vector<GstElement*>& elements)
{
    bool complete = true;
    for (GstElement* element : elements) {
        if (!element) {
            complete = false;
            continue;
        }
        gst_bin_add(GST_BIN(bin), element);
    }
    if (!complete || elements.empty())
        return false;
    GstElement* previous = nullptr;
    for (GstElement* element : elements) {
        if (previous && !gst_element_link(previous, element))
            return false;
        previous = element;
    }
    GstPad* target = gst_element_get_static_pad(previous, "src");
    if (!target)
        return false;
    GstPad* ghost = gst_ghost_pad_new("src", target);
    gst_object_unref(target);
    return ghost && gst_element_add_pad(bin, ghost);
}

} // namespace lumo::media
