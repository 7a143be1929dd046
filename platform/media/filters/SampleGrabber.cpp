#include "platform/media/filters/SampleGrabber.h"
#include "platform/media/filters/PixelRows.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <bit>
#include <cstdint>
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

// Blue, green, red of each BGRx pixel: four pixels at a time as three words, the rest one by one.
void PackBgrxRow(const BYTE* source, BYTE* line, int width)
{
    static_assert(std::endian::native == std::endian::little, "the words are put together little-endian");
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        std::uint32_t p[4];
        std::memcpy(p, source + x * 4, sizeof p);
        // Little-endian: byte 0 of each word is blue.
        std::uint32_t words[3] = {
            (p[0] & 0xFFFFFFu) | (p[1] << 24),
            ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
            ((p[2] >> 16) & 0xFFu) | (p[3] << 8),
        };
        std::memcpy(line + x * 3, words, sizeof words);
    }
    for (; x < width; ++x) {
        line[x * 3] = source[x * 4];
        line[x * 3 + 1] = source[x * 4 + 1];
        line[x * 3 + 2] = source[x * 4 + 2];
    }
}

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
    } else {
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
            result = E_FAIL;
        } else {
            // The pipeline holds BGRx top row first; the caller wants the bottom row first.
            auto* out = reinterpret_cast<BYTE*>(target);
            const auto* pixels = static_cast<const BYTE*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            const int sourceStride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
            for (int row = 0; row < height; ++row) {
                const BYTE* source = pixels + static_cast<size_t>(height - 1 - row) * sourceStride;
                BYTE* line = out + static_cast<size_t>(row) * stride;
                if (rgb32) {
                    std::memcpy(line, source, static_cast<size_t>(width) * 4);
                    continue;
                }
                PackBgrxRow(source, line, width);
                std::memset(line + width * 3, 0, static_cast<size_t>(stride - width * 3));
            }
            gst_video_frame_unmap(&frame);
            *size = needed;
        }
    }
    gst_buffer_unref(buffer);
    return result;
}

GstElement* SampleGrabber::CreateElement(const RunContext&)
{
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    // One conversion serves the picture and the grabbed frame: BGRx is what the renderer draws.
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), convert, filter, nullptr);
    gst_element_link(convert, filter);
    GstPad* sink = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink));
    gst_object_unref(sink);

    GstPad* source = gst_element_get_static_pad(filter, "src");
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
        gst_element_link(filter, end);
    }
    gst_object_unref(source);
    return bin;
}

} // namespace lumo::media
