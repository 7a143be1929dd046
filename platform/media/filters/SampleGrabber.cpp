#include "platform/media/filters/SampleGrabber.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace lumo::media {

// Shared by the filter and the streaming thread's probe, so that either may go first.
struct GrabberSlot {
    std::mutex lock;
    GstBuffer* last = nullptr; // one reference
    GstVideoInfo info {};
    bool haveInfo = false;
    std::atomic<bool> bufferSamples { false };
    std::atomic<bool> oneShot { false };
    std::atomic<bool> shotTaken { false };

    ~GrabberSlot()
    {
        if (last)
            gst_buffer_unref(last);
    }
};

namespace {

bool IsRgb32(const MediaType& type) { return type.Get().subtype == MEDIASUBTYPE_RGB32; }

class GrabberInput final : public Pin {
public:
    explicit GrabberInput(SampleGrabber& owner)
        : Pin(owner, u"Input", PINDIR_INPUT, GUID {}, "sink")
        , m_grabber(owner)
    {
    }
    bool Accepts(const Pin& output, const MediaType& offered, MediaType* connection) const override
    {
        const AM_MEDIA_TYPE& accepted = m_grabber.Accepted().Get();
        const GUID& major = offered.Get().majortype;
        if (major != MEDIATYPE_Video && major != MEDIATYPE_Interleaved)
            return false;
        if (accepted.majortype != GUID {} && accepted.majortype != MEDIATYPE_Video)
            return false;
        if (accepted.subtype != GUID {} && accepted.subtype != MEDIASUBTYPE_RGB24
            && accepted.subtype != MEDIASUBTYPE_RGB32)
            return false; // the grabber converts to these only
        LONG width = 0;
        LONG height = 0;
        if (!output.FrameSize(&width, &height))
            return false;
        *connection = Rgb24Type(width, height);
        if (accepted.subtype == MEDIASUBTYPE_RGB32) {
            AM_MEDIA_TYPE& type = connection->Get();
            auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat);
            type.subtype = MEDIASUBTYPE_RGB32;
            info->bmiHeader.biBitCount = 32;
            info->bmiHeader.biSizeImage = static_cast<DWORD>(width * 4 * height);
            type.lSampleSize = info->bmiHeader.biSizeImage;
        }
        return true;
    }

private:
    SampleGrabber& m_grabber;
};

class GrabberOutput final : public Pin {
public:
    explicit GrabberOutput(Filter& owner)
        : Pin(owner, u"Output", PINDIR_OUTPUT, GUID {}, "src")
    {
    }
    bool OutputType(MediaType* type) const override
    {
        const Pin& input = *Owner().Pins()[0];
        if (!input.Peer())
            return false;
        *type = input.Connection();
        return true;
    }
};

GstPadProbeReturn OnData(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto& slot = **static_cast<std::shared_ptr<GrabberSlot>*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            std::lock_guard guard(slot.lock);
            slot.haveInfo = gst_video_info_from_caps(&slot.info, caps);
        }
        return GST_PAD_PROBE_OK;
    }
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (slot.oneShot.load() && slot.shotTaken.exchange(true))
        return GST_PAD_PROBE_DROP; // one frame only, then nothing flows
    if (slot.bufferSamples.load()) {
        std::lock_guard guard(slot.lock);
        gst_buffer_replace(&slot.last, buffer);
    }
    return GST_PAD_PROBE_OK;
}

void DeleteSlotReference(gpointer data) { delete static_cast<std::shared_ptr<GrabberSlot>*>(data); }

} // namespace

SampleGrabber::SampleGrabber()
    : Filter(CLSID_SampleGrabber, u"SampleGrabber")
    , m_slot(std::make_shared<GrabberSlot>())
{
    AddPin(std::make_unique<GrabberInput>(*this));
    AddPin(std::make_unique<GrabberOutput>(*this));
}

SampleGrabber::~SampleGrabber() = default;

void* SampleGrabber::FindInterface(REFIID iid)
{
    return iid == IID_ISampleGrabber ? static_cast<ISampleGrabber*>(this) : nullptr;
}

HRESULT SampleGrabber::SetOneShot(BOOL oneShot)
{
    m_slot->oneShot = oneShot != FALSE;
    m_slot->shotTaken = false;
    return S_OK;
}

HRESULT SampleGrabber::SetMediaType(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    m_accepted = MediaType(*type);
    return S_OK;
}

HRESULT SampleGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    const Pin& input = *Pins()[0];
    if (!input.Peer())
        return VFW_E_NOT_CONNECTED;
    return CopyMediaType(type, &input.Connection().Get());
}

HRESULT SampleGrabber::SetBufferSamples(BOOL buffer)
{
    m_slot->bufferSamples = buffer != FALSE;
    if (!buffer) {
        std::lock_guard guard(m_slot->lock);
        gst_buffer_replace(&m_slot->last, nullptr);
    }
    return S_OK;
}

namespace {

// The camera's frame, as it came, in the bitmap the caller asked for: 24 or 32 bits a pixel,
// blue first, rows `stride` bytes apart with the bottom row first. The frames are held as the
// camera sends them and converted only here, when a photo asks for one.
bool ConvertFrame(const GstVideoInfo& info, GstBuffer* buffer, bool rgb32, BYTE* out, LONG stride)
{
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    GstVideoInfo converted;
    if (!gst_video_info_set_format(&converted, rgb32 ? GST_VIDEO_FORMAT_BGRx : GST_VIDEO_FORMAT_BGR, width, height))
        return false;
    // The converter only changes the format: the rest is the frame's own.
    converted.fps_n = info.fps_n;
    converted.fps_d = info.fps_d;
    converted.par_n = info.par_n;
    converted.par_d = info.par_d;
    converted.interlace_mode = info.interlace_mode;
    // Written from the bottom row up, the frame lands the way round the caller wants it.
    converted.stride[0] = -stride;
    converted.offset[0] = static_cast<gsize>(stride) * static_cast<gsize>(height - 1);
    converted.size = static_cast<gsize>(stride) * static_cast<gsize>(height);
    GstBuffer* wrapped = gst_buffer_new_wrapped_full(GstMemoryFlags(0), out, converted.size, 0, converted.size, nullptr, nullptr);
    GstVideoFrame source;
    GstVideoFrame target;
    bool done = false;
    if (gst_video_frame_map(&source, const_cast<GstVideoInfo*>(&info), buffer, GST_MAP_READ)) {
        if (gst_video_frame_map(&target, &converted, wrapped, GST_MAP_WRITE)) {
            GstStructure* options = gst_structure_new("options", GST_VIDEO_CONVERTER_OPT_DITHER_METHOD,
                GST_TYPE_VIDEO_DITHER_METHOD, GST_VIDEO_DITHER_NONE, GST_VIDEO_CONVERTER_OPT_THREADS, G_TYPE_UINT,
                std::max(1u, std::min(4u, g_get_num_processors())), nullptr);
            if (GstVideoConverter* converter = gst_video_converter_new(const_cast<GstVideoInfo*>(&info), &converted, options)) {
                gst_video_converter_frame(converter, &source, &target);
                gst_video_converter_free(converter);
                done = true;
            }
            gst_video_frame_unmap(&target);
        }
        gst_video_frame_unmap(&source);
    }
    gst_buffer_unref(wrapped);
    if (!done)
        return false;
    // The bytes past each row are zero.
    const size_t used = static_cast<size_t>(width) * (rgb32 ? 4 : 3);
    for (int y = 0; y < height; ++y)
        std::memset(out + static_cast<size_t>(y) * stride + used, 0, static_cast<size_t>(stride) - used);
    return true;
}

} // namespace

HRESULT SampleGrabber::GetCurrentBuffer(LONG* size, LONG* target)
{
    if (!size)
        return E_POINTER;
    GstBuffer* buffer = nullptr;
    GstVideoInfo info;
    {
        std::lock_guard guard(m_slot->lock);
        if (!m_slot->last || !m_slot->haveInfo)
            return VFW_E_WRONG_STATE;
        buffer = gst_buffer_ref(m_slot->last);
        info = m_slot->info;
    }
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    const bool rgb32 = IsRgb32(m_accepted);
    const LONG stride = rgb32 ? width * 4 : Rgb24Stride(width);
    const LONG needed = stride * height;
    HRESULT result = S_OK;
    if (!target) {
        *size = needed;
    } else if (*size < needed) {
        result = E_OUTOFMEMORY;
    } else if (!ConvertFrame(info, buffer, rgb32, reinterpret_cast<BYTE*>(target), stride)) {
        result = E_FAIL;
    } else {
        *size = needed;
    }
    gst_buffer_unref(buffer);
    return result;
}

GstElement* SampleGrabber::CreateElement(const RunContext&)
{
    // Frames pass as they are: the picture converts what it paints, and a photo converts its one frame.
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* pass = gst_element_factory_make("identity", nullptr);
    g_object_set(pass, "silent", TRUE, nullptr);
    gst_bin_add(GST_BIN(bin), pass);
    GstPad* sink = gst_element_get_static_pad(pass, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink));
    gst_object_unref(sink);

    GstPad* source = gst_element_get_static_pad(pass, "src");
    {
        std::lock_guard guard(m_slot->lock);
        m_slot->haveInfo = false;
        m_slot->shotTaken = false;
    }
    gst_pad_add_probe(source,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      OnData, new std::shared_ptr<GrabberSlot>(m_slot), DeleteSlotReference);
    if (Pins()[1]->Peer()) {
        gst_element_add_pad(bin, gst_ghost_pad_new("src", source));
    } else {
        GstElement* end = gst_element_factory_make("fakesink", nullptr);
        g_object_set(end, "sync", FALSE, "async", FALSE, nullptr);
        gst_bin_add(GST_BIN(bin), end);
        gst_element_link(pass, end);
    }
    gst_object_unref(source);
    return bin;
}

} // namespace lumo::media
