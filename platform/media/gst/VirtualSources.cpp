// The source bins of virtual devices: videotestsrc and audiotestsrc with the test picture and the
// faults of VirtualDevices.h built in.
#include "platform/media/gst/CaptureSupport.h"
#include "platform/media/gst/VirtualDevices.h"

#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace lumo::media {

namespace {

// A bin whose change to PLAYING fails when its device cannot start, as when another program holds
// the camera.
struct SourceBin {
    GstBin parent;
    gboolean cannotStart;
    gchar* deviceName;
};

struct SourceBinClass {
    GstBinClass parent;
};

GstElementClass* g_sourceBinParent = nullptr;

void PostError(GstElement* element, GQuark domain, gint code, const std::string& text, const char* debug)
{
    GError* error = g_error_new_literal(domain, code, text.c_str());
    gst_element_post_message(element, gst_message_new_error(GST_OBJECT(element), error, debug));
    g_error_free(error);
}

GstStateChangeReturn SourceBinChangeState(GstElement* element, GstStateChange transition)
{
    auto* self = reinterpret_cast<SourceBin*>(element);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_PLAYING && self->cannotStart) {
        PostError(element, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY,
            std::string("Device '") + (self->deviceName ? self->deviceName : "") + "' is busy.",
            "the device is held by another program");
        return GST_STATE_CHANGE_FAILURE;
    }
    return g_sourceBinParent->change_state(element, transition);
}

void SourceBinFinalize(GObject* object)
{
    auto* self = reinterpret_cast<SourceBin*>(object);
    g_free(self->deviceName);
    self->deviceName = nullptr;
    G_OBJECT_CLASS(g_sourceBinParent)->finalize(object);
}

void SourceBinClassInit(gpointer klass, gpointer)
{
    g_sourceBinParent = GST_ELEMENT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = SourceBinFinalize;
    GST_ELEMENT_CLASS(klass)->change_state = SourceBinChangeState;
}

GType SourceBinType()
{
    static const GType type = g_type_register_static_simple(GST_TYPE_BIN, "LumoVirtualSourceBin",
        sizeof(SourceBinClass), SourceBinClassInit, sizeof(SourceBin), nullptr, GTypeFlags(0));
    return type;
}

GstElement* NewSourceBin(const DeviceDescription& device)
{
    auto* bin = static_cast<SourceBin*>(g_object_new(SourceBinType(), nullptr));
    bin->cannotStart = device.faults.cannotStart;
    bin->deviceName = g_strdup(device.friendlyName.c_str());
    return GST_ELEMENT(bin);
}

// Counts the frames (or audio buffers) a source delivers and fires the stream faults. Runs on the
// streaming thread only.
class FaultCounter {
public:
    explicit FaultCounter(const DeviceDescription& device)
        : m_id(device.id)
        , m_name(device.friendlyName)
        , m_kind(device.kind)
        , m_errorAfter(device.faults.streamErrorAfterFrames)
        , m_removedAfter(device.faults.removedAfterFrames)
        , m_endsAfter(device.faults.endsAfterFrames)
        , m_firstFrameAfter(device.faults.firstFrameAfterMs)
    {
    }

    enum class Verdict { Pass, Hold, Fail, End };

    // What becomes of the next frame; a fault is posted from `source` before Fail is answered.
    Verdict Judge(GstElement* source)
    {
        if (m_firstFrameAfter > 0) {
            // A slow camera: it streams, but nothing comes out for a while.
            gint64 now = g_get_monotonic_time();
            if (m_heldSince < 0)
                m_heldSince = now;
            if (now - m_heldSince < static_cast<gint64>(m_firstFrameAfter) * 1000)
                return Verdict::Hold;
            m_firstFrameAfter = 0;
        }
        if (m_endsAfter >= 0 && m_frames >= m_endsAfter) {
            MarkVirtualDeviceRemoved(m_id, m_name);
            NotifyDeviceChange(m_kind, false);
            return Verdict::End;
        }
        return Pass(source) ? Verdict::Pass : Verdict::Fail;
    }

    // Whether the next frame may pass; when not, the fault has been posted from `source`.
    bool Pass(GstElement* source)
    {
        long long frame = m_frames++;
        if (m_removedAfter >= 0 && frame >= m_removedAfter) {
            // The device is gone before anyone hears of the error, so that a handler of the error
            // that asks IsDevicePresent() learns the truth.
            MarkVirtualDeviceRemoved(m_id, m_name);
            PostError(source, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                "Device '" + m_name + "' has been removed.", "the virtual device was unplugged");
            NotifyDeviceChange(m_kind, false);
            return false;
        }
        if (m_errorAfter >= 0 && frame >= m_errorAfter) {
            PostError(source, GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED,
                "Device '" + m_name + "' stopped streaming.", "the virtual device failed");
            return false;
        }
        return true;
    }

    long long Frames() const { return m_frames; }

private:
    std::string m_id;
    std::string m_name;
    DeviceKind m_kind;
    int m_errorAfter;
    int m_removedAfter;
    int m_endsAfter;
    int m_firstFrameAfter;
    gint64 m_heldSince = -1;
    long long m_frames = 0;
};

// Stops the stream the way a failing driver does: the frame is consumed and the source is told
// that the flow failed (it pauses its task) or ended (it sends the end of the stream and pauses).
GstPadProbeReturn StopStream(GstPadProbeInfo* info, GstFlowReturn flow)
{
    gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = flow;
    return GST_PAD_PROBE_HANDLED;
}

// The probe's answer for a frame that is not simply passed on; nothing for one that is.
std::optional<GstPadProbeReturn> Obstruct(FaultCounter& faults, GstPad* pad, GstPadProbeInfo* info)
{
    switch (faults.Judge(GST_PAD_PARENT(pad))) {
    case FaultCounter::Verdict::Pass: return std::nullopt;
    case FaultCounter::Verdict::Hold: return GST_PAD_PROBE_DROP;
    case FaultCounter::Verdict::Fail: return StopStream(info, GST_FLOW_ERROR);
    case FaultCounter::Verdict::End: return StopStream(info, GST_FLOW_EOS);
    }
    return std::nullopt;
}

struct Rgb {
    double red;
    double green;
    double blue;
};

constexpr Rgb kRed {1, 0, 0};
constexpr Rgb kGreen {0, 1, 0};
constexpr Rgb kWhite {1, 1, 1};
constexpr Rgb kBlue {0, 0, 1};
constexpr Rgb kBlack {0, 0, 0};
constexpr int kMarkerSide = 16;
constexpr double kCrossingSeconds = 2.0;

using ComponentValues = std::array<uint8_t, 3>;

uint8_t ToByte(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// The colour in the frame's components: R, G, B for RGB formats; Y, U, V for YUV formats under the
// matrix and range of the caps' colorimetry.
ComponentValues ValuesOf(const GstVideoInfo& info, Rgb colour)
{
    if (!GST_VIDEO_INFO_IS_YUV(&info))
        return {ToByte(colour.red * 255), ToByte(colour.green * 255), ToByte(colour.blue * 255)};
    double kr = 0.299;
    double kb = 0.114;
    gst_video_color_matrix_get_Kr_Kb(info.colorimetry.matrix, &kr, &kb);
    double y = kr * colour.red + (1 - kr - kb) * colour.green + kb * colour.blue;
    double pb = (colour.blue - y) / (2 * (1 - kb));
    double pr = (colour.red - y) / (2 * (1 - kr));
    if (info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255)
        return {ToByte(y * 255), ToByte(128 + pb * 255), ToByte(128 + pr * 255)};
    return {ToByte(16 + y * 219), ToByte(128 + pb * 224), ToByte(128 + pr * 224)};
}

// Fills a rectangle of an 8-bit frame component by component, which covers packed, planar and
// semi-planar layouts alike. The rectangle's corners are even, so subsampled chroma covers it
// exactly.
void FillRect(GstVideoFrame& frame, int x, int y, int width, int height, const ComponentValues& values)
{
    const GstVideoFormatInfo* format = frame.info.finfo;
    for (guint c = 0; c < GST_VIDEO_FRAME_N_COMPONENTS(&frame) && c < values.size(); ++c) {
        int left = GST_VIDEO_FORMAT_INFO_SCALE_WIDTH(format, c, x);
        int right = GST_VIDEO_FORMAT_INFO_SCALE_WIDTH(format, c, x + width);
        int top = GST_VIDEO_FORMAT_INFO_SCALE_HEIGHT(format, c, y);
        int bottom = GST_VIDEO_FORMAT_INFO_SCALE_HEIGHT(format, c, y + height);
        auto* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
        int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
        int pixelStride = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, c);
        for (int row = top; row < bottom; ++row) {
            uint8_t* line = data + static_cast<ptrdiff_t>(row) * stride;
            for (int column = left; column < right; ++column)
                line[static_cast<ptrdiff_t>(column) * pixelStride] = values[c];
        }
    }
}

// The test picture's corner markers and moving black square, painted over the colour bars.
class Painter {
public:
    void SetCaps(GstCaps* caps)
    {
        m_ready = gst_video_info_from_caps(&m_info, caps);
        if (!m_ready)
            return;
        m_red = ValuesOf(m_info, kRed);
        m_green = ValuesOf(m_info, kGreen);
        m_white = ValuesOf(m_info, kWhite);
        m_blue = ValuesOf(m_info, kBlue);
        m_black = ValuesOf(m_info, kBlack);
    }

    // Paints in place when the buffer can be made writable; a frame that cannot is left as it is.
    void Paint(GstBuffer* buffer, long long frameNumber) const
    {
        if (!m_ready)
            return;
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, const_cast<GstVideoInfo*>(&m_info), buffer, GST_MAP_WRITE))
            return;
        int width = GST_VIDEO_INFO_WIDTH(&m_info);
        int height = GST_VIDEO_INFO_HEIGHT(&m_info);
        int marker = Even(std::min({kMarkerSide, width / 2, height / 2}));
        int right = Even(width - marker);
        int bottom = Even(height - marker);
        FillRect(frame, 0, 0, marker, marker, m_red);
        FillRect(frame, right, 0, width - right, marker, m_green);
        FillRect(frame, 0, bottom, marker, height - bottom, m_white);
        FillRect(frame, right, bottom, width - right, height - bottom, m_blue);

        int side = std::max(2, Even(height / 8));
        int travel = std::max(2, width - side);
        double rate = m_info.fps_d > 0 && m_info.fps_n > 0 ? static_cast<double>(m_info.fps_n) / m_info.fps_d : 30.0;
        long long period = std::max(2LL, std::llround(rate * kCrossingSeconds));
        int x = Even(static_cast<int>((frameNumber % period) * travel / period));
        FillRect(frame, x, Even((height - side) / 2), std::min(side, width - x), side, m_black);
        gst_video_frame_unmap(&frame);
    }

private:
    static int Even(int value) { return std::max(0, value & ~1); }

    GstVideoInfo m_info {};
    bool m_ready = false;
    ComponentValues m_red {};
    ComponentValues m_green {};
    ComponentValues m_white {};
    ComponentValues m_blue {};
    ComponentValues m_black {};
};

struct VideoStream {
    explicit VideoStream(const DeviceDescription& device)
        : faults(device)
    {
    }
    FaultCounter faults;
    Painter painter;
};

GstPadProbeReturn VideoProbe(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    auto* stream = static_cast<VideoStream*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            stream->painter.SetCaps(caps);
        }
        return GST_PAD_PROBE_OK;
    }
    long long frameNumber = stream->faults.Frames();
    if (auto obstructed = Obstruct(stream->faults, pad, info))
        return *obstructed;
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    stream->painter.Paint(buffer, frameNumber);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn AudioProbe(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    auto* faults = static_cast<FaultCounter*>(data);
    return Obstruct(*faults, pad, info).value_or(GST_PAD_PROBE_OK);
}

template <typename T>
void AddProbe(GstElement* source, GstPadProbeType mask, GstPadProbeCallback callback, T* state)
{
    GstPad* pad = gst_element_get_static_pad(source, "src");
    gst_pad_add_probe(pad, mask, callback, state, [](gpointer data) { delete static_cast<T*>(data); });
    gst_object_unref(pad);
}

GstElement* Make(const char* factory) { return gst_element_factory_make(factory, nullptr); }

GstElement* Discard(GstElement* bin)
{
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
}

GstElement* CreateCameraBin(const DeviceDescription& device, const VideoCapability& capability, double framesPerSecond)
{
    if (capability.width < 2 || capability.height < 2)
        return nullptr;
    FrameRate rate = framesPerSecond > 0 ? FrameRateOf(framesPerSecond) : FrameRateOfInterval(capability.frameInterval);
    GstElement* bin = NewSourceBin(device);
    GstElement* source = Make("videotestsrc");
    GstElement* filter = Make("capsfilter");
    if (!AssembleSourceBin(bin, {source, filter}))
        return Discard(bin);
    g_object_set(source, "is-live", TRUE, nullptr);
    // A moving zone plate: detailed enough that an encoder meets its bit rate on it, and free of the
    // white noise that colour bars carry (noise alone would need more than any recording target).
    gst_util_set_object_arg(G_OBJECT(source), "pattern", "zone-plate");
    g_object_set(source, "kx2", 20, "ky2", 20, "kt", 1, nullptr);
    GstCaps* caps = DeliveredVideoCaps(capability, rate);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    AddProbe(source, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM), VideoProbe,
        new VideoStream(device));
    return bin;
}

GstElement* CreateMicrophoneBin(const DeviceDescription& device)
{
    AudioCapability capability = device.audioCaps.empty() ? AudioCapability {} : device.audioCaps.front();
    if (!AudioFormatName(capability.bitsPerSample) || capability.sampleRate < 100 || capability.channels < 1)
        return nullptr;
    GstElement* bin = NewSourceBin(device);
    GstElement* source = Make("audiotestsrc");
    // audiotestsrc makes 16- and 32-bit samples itself; other sizes go through a converter.
    bool direct = capability.bitsPerSample == 16 || capability.bitsPerSample == 32;
    GstElement* filter = Make("capsfilter");
    bool assembled = direct ? AssembleSourceBin(bin, {source, filter})
                            : AssembleSourceBin(bin, {source, Make("audioconvert"), filter});
    if (!assembled)
        return Discard(bin);
    g_object_set(source, "is-live", TRUE, "samplesperbuffer", capability.sampleRate / 100, "volume", 0.5, nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "wave", "ticks");
    GstCaps* caps = DeliveredAudioCaps(capability);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    AddProbe(source, GST_PAD_PROBE_TYPE_BUFFER, AudioProbe, new FaultCounter(device));
    return bin;
}

} // namespace

GstElement* CreateVirtualSourceBin(const DeviceDescription& device, const VideoCapability* chosen, double framesPerSecond)
{
    if (!IsVirtualDevicePresent(device))
        return nullptr;
    if (device.kind == DeviceKind::Audio)
        return CreateMicrophoneBin(device);
    if (!chosen && device.videoCaps.empty())
        return nullptr;
    return CreateCameraBin(device, chosen ? *chosen : device.videoCaps.front(), framesPerSecond);
}

} // namespace lumo::media
