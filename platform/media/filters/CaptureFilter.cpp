#include "platform/media/filters/CaptureFilter.h"

#include "platform/media/graph/FilterGraph.h"

#include <cstring>

namespace lumo::media {

namespace {

// The longest frame interval a camera accepts: one frame a second.
constexpr LONGLONG kSlowestFrameInterval = 10000000;

} // namespace

CapturePin::CapturePin(CaptureFilter& owner)
    : Pin(owner, u"Capture", PINDIR_OUTPUT, PIN_CATEGORY_CAPTURE, "src")
{
}

void* CapturePin::FindInterface(REFIID iid)
{
    if (iid == IID_IAMStreamConfig)
        return static_cast<IAMStreamConfig*>(this);
    if (iid == IID_ISpecifyPropertyPages)
        return static_cast<ISpecifyPropertyPages*>(this);
    return nullptr;
}

const DeviceDescription& CapturePin::Device() const { return static_cast<const CaptureFilter&>(Owner()).Device(); }

bool CapturePin::IsVideo() const { return Device().kind == DeviceKind::Video; }

const VideoCapability* CapturePin::Chosen() const
{
    const auto& caps = Device().videoCaps;
    return m_chosen < caps.size() ? &caps[m_chosen] : nullptr;
}

MediaType CapturePin::TypeOf(size_t index, LONGLONG frameInterval) const
{
    const DeviceDescription& device = Device();
    if (!IsVideo()) {
        AudioCapability capability = index < device.audioCaps.size() ? device.audioCaps[index] : AudioCapability {};
        return AudioCapabilityType(capability);
    }
    return VideoCapabilityType(device.videoCaps[index], device.faults.notVideoMajorType, frameInterval);
}

bool CapturePin::OutputType(MediaType* type) const
{
    if (IsVideo() && !Chosen())
        return false;
    *type = TypeOf(m_chosen, m_frameInterval);
    return true;
}

bool CapturePin::FrameSize(LONG* width, LONG* height) const
{
    const VideoCapability* chosen = IsVideo() ? Chosen() : nullptr;
    if (!chosen)
        return false;
    *width = chosen->width;
    *height = chosen->height;
    return true;
}

HRESULT CapturePin::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    MediaType current;
    if (!OutputType(&current)) {
        *type = nullptr;
        return VFW_E_NO_ACCEPTABLE_TYPES;
    }
    *type = current.Detach();
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CapturePin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    if (IsVideo()) {
        *count = static_cast<int>(Device().videoCaps.size());
        *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    } else {
        *count = static_cast<int>(Device().audioCaps.size());
        *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    }
    return S_OK;
}

HRESULT CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    if (!type || !caps)
        return E_POINTER;
    *type = nullptr;
    int count = 0;
    int size = 0;
    GetNumberOfCapabilities(&count, &size);
    if (index < 0 || index >= count)
        return S_FALSE;
    const DeviceDescription& device = Device();
    MediaType mediaType = TypeOf(static_cast<size_t>(index), 0);
    if (IsVideo()) {
        const VideoCapability& capability = device.videoCaps[static_cast<size_t>(index)];
        VIDEO_STREAM_CONFIG_CAPS config {};
        config.guid = mediaType.Get().formattype;
        config.InputSize = { capability.width, capability.height };
        config.MinCroppingSize = config.MaxCroppingSize = config.InputSize;
        config.MinOutputSize = config.MaxOutputSize = config.InputSize;
        config.CropGranularityX = config.CropGranularityY = 1;
        config.CropAlignX = config.CropAlignY = 1;
        config.OutputGranularityX = config.OutputGranularityY = 1;
        config.MinFrameInterval = capability.frameInterval;
        config.MaxFrameInterval = kSlowestFrameInterval;
        LONGLONG bitsPerFrame = static_cast<LONGLONG>(capability.width) * capability.height * BitCountOf(capability.format);
        config.MinBitsPerSecond = static_cast<LONG>(bitsPerFrame * 10000000 / kSlowestFrameInterval);
        config.MaxBitsPerSecond = static_cast<LONG>(
            capability.frameInterval > 0 ? bitsPerFrame * 10000000 / capability.frameInterval : bitsPerFrame);
        std::memcpy(caps, &config, sizeof config);
    } else {
        const AudioCapability& capability = device.audioCaps[static_cast<size_t>(index)];
        AUDIO_STREAM_CONFIG_CAPS config {};
        config.guid = MEDIATYPE_Audio;
        config.MinimumChannels = config.MaximumChannels = static_cast<ULONG>(capability.channels);
        config.ChannelsGranularity = 1;
        config.MinimumBitsPerSample = config.MaximumBitsPerSample = static_cast<ULONG>(capability.bitsPerSample);
        config.BitsPerSampleGranularity = 8;
        config.MinimumSampleFrequency = config.MaximumSampleFrequency = static_cast<ULONG>(capability.sampleRate);
        config.SampleFrequencyGranularity = 1;
        std::memcpy(caps, &config, sizeof config);
    }
    *type = mediaType.Detach();
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    if (Owner().GraphIsActive())
        return VFW_E_NOT_STOPPED;
    const DeviceDescription& device = Device();
    if (!IsVideo()) {
        // A microphone has the one format it lists.
        return type->majortype == MEDIATYPE_Audio ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }
    if (device.faults.notVideoMajorType) {
        return type->majortype == MEDIATYPE_Interleaved ? S_OK : VFW_E_INVALIDMEDIATYPE;
    }
    if (type->majortype != MEDIATYPE_Video || type->formattype != FORMAT_VideoInfo
        || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat)
        return VFW_E_INVALIDMEDIATYPE;
    VIDEOINFOHEADER info;
    std::memcpy(&info, type->pbFormat, sizeof info);
    LONG height = info.bmiHeader.biHeight < 0 ? -info.bmiHeader.biHeight : info.bmiHeader.biHeight;
    for (size_t index = 0; index < device.videoCaps.size(); ++index) {
        const VideoCapability& capability = device.videoCaps[index];
        if (SubtypeOf(capability.format) != type->subtype || capability.width != info.bmiHeader.biWidth
            || capability.height != height)
            continue;
        LONGLONG interval = info.AvgTimePerFrame;
        if (interval != 0 && (interval < capability.frameInterval || interval > kSlowestFrameInterval))
            return VFW_E_INVALIDMEDIATYPE; // a rate the device cannot deliver at this size
        m_chosen = index;
        m_frameInterval = interval;
        return S_OK;
    }
    return VFW_E_INVALIDMEDIATYPE;
}

HRESULT CapturePin::GetPages(CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    return S_OK;
}

CaptureFilter::CaptureFilter(DeviceDescription device)
    : Filter(GUID {}, Utf8ToWide(device.friendlyName))
    , m_device(std::move(device))
{
    AddPin(std::make_unique<CapturePin>(*this));
}

namespace {

// The end of a device's stream is told to the graph; the stream itself goes on to its end.
GstPadProbeReturn OnSourceEvent(GstPad* pad, GstPadProbeInfo* info, gpointer)
{
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS)
        return GST_PAD_PROBE_OK;
    if (GstElement* bin = gst_pad_get_parent_element(pad)) {
        gst_element_post_message(bin, gst_message_new_application(GST_OBJECT(bin), gst_structure_new_empty(kSourceEndedMessage)));
        gst_object_unref(bin);
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

GstElement* CaptureFilter::CreateElement(const RunContext&)
{
    auto& pin = static_cast<CapturePin&>(*Pins().front());
    double framesPerSecond = pin.FrameInterval() > 0 ? 10000000.0 / static_cast<double>(pin.FrameInterval()) : 0.0;
    GstElement* bin = CreateSourceBin(m_device, pin.Chosen(), framesPerSecond);
    if (GstPad* pad = bin ? gst_element_get_static_pad(bin, "src") : nullptr) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, OnSourceEvent, nullptr, nullptr);
        gst_object_unref(pad);
    }
    return bin;
}

bool CaptureFilter::DeviceLost() const { return !IsDevicePresent(m_device); }

bool CaptureFilter::IsSoundDevice() const { return m_device.kind == DeviceKind::Audio; }

} // namespace lumo::media
