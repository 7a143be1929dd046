#include "platform/media/filters/AsfWriter.h"

#include "platform/media/graph/ComObject.h"
#include "platform/media/gst/RecordingBin.h"
#include "platform/sys/NativePath.h"

#include <gst/gst.h>

#include <chrono>
#include <cstring>

namespace lumo::media {

namespace {

// How long stopping may wait for the encoders and the muxer to complete the file.
constexpr std::chrono::milliseconds kFinishTimeout(5000);

MediaType DefaultVideoType()
{
    MediaType result;
    AM_MEDIA_TYPE& type = result.Get();
    type.majortype = WMMEDIATYPE_Video;
    type.subtype = WMMEDIASUBTYPE_WMV2;
    type.bTemporalCompression = TRUE;
    VIDEOINFOHEADER info {};
    info.rcSource = { 0, 0, 640, 480 };
    info.rcTarget = info.rcSource;
    info.dwBitRate = 480000;
    info.AvgTimePerFrame = 666666;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 640;
    info.bmiHeader.biHeight = 480;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = WMMEDIASUBTYPE_WMV2.Data1;
    info.bmiHeader.biSizeImage = ((640 * 24 + 31) & ~31) / 8 * 480;
    type.lSampleSize = info.bmiHeader.biSizeImage;
    SetFormatBlock(type, WMFORMAT_VideoInfo, &info, sizeof info);
    return result;
}

MediaType DefaultAudioType()
{
    MediaType result;
    AM_MEDIA_TYPE& type = result.Get();
    type.majortype = WMMEDIATYPE_Audio;
    type.subtype = WMMEDIASUBTYPE_WMAudioV8;
    type.bFixedSizeSamples = TRUE;
    WAVEFORMATEX wave {};
    wave.wFormatTag = WAVE_FORMAT_WMAUDIO2;
    wave.nChannels = 2;
    wave.nSamplesPerSec = 44100;
    wave.nAvgBytesPerSec = 64000 / 8;
    wave.nBlockAlign = 2973; // whole packets of a 64 kbit/s WMA stream
    wave.wBitsPerSample = 16;
    type.lSampleSize = wave.nBlockAlign;
    SetFormatBlock(type, WMFORMAT_WaveFormatEx, &wave, sizeof wave);
    return result;
}

// A stream's configuration handed out by a profile: a copy until ReconfigStream takes it back.
class StreamConfig final : public ComObject<StreamConfig, IWMStreamConfig, IWMMediaProps> {
public:
    explicit StreamConfig(ProfileStream stream)
        : m_stream(std::move(stream))
    {
    }
    void* FindInterface(REFIID iid)
    {
        if (iid == IID_IWMStreamConfig)
            return static_cast<IWMStreamConfig*>(this);
        if (iid == IID_IWMMediaProps)
            return static_cast<IWMMediaProps*>(this);
        return nullptr;
    }
    const ProfileStream& Stream() const { return m_stream; }

    HRESULT GetStreamType(GUID* type) override
    {
        if (!type)
            return E_POINTER;
        *type = m_stream.type.Get().majortype;
        return S_OK;
    }
    HRESULT GetStreamNumber(WORD* number) override
    {
        if (!number)
            return E_POINTER;
        *number = m_stream.number;
        return S_OK;
    }
    HRESULT GetBitrate(DWORD* bitRate) override
    {
        if (!bitRate)
            return E_POINTER;
        *bitRate = m_stream.bitRate;
        return S_OK;
    }
    HRESULT SetBitrate(DWORD bitRate) override
    {
        m_stream.bitRate = bitRate;
        return S_OK;
    }
    HRESULT GetType(GUID* type) override { return GetStreamType(type); }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override
    {
        if (!size)
            return E_POINTER;
        const AM_MEDIA_TYPE& own = m_stream.type.Get();
        DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + own.cbFormat);
        if (!type) {
            *size = needed;
            return S_OK;
        }
        if (*size < needed) {
            *size = needed;
            return E_INVALIDARG; // the buffer is too small
        }
        *type = own;
        type->pUnk = nullptr;
        type->pbFormat = own.cbFormat ? reinterpret_cast<BYTE*>(type + 1) : nullptr;
        if (own.cbFormat)
            std::memcpy(type->pbFormat, own.pbFormat, own.cbFormat);
        *size = needed;
        return S_OK;
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE* type) override
    {
        if (!type)
            return E_POINTER;
        if (type->majortype != m_stream.type.Get().majortype)
            return E_INVALIDARG; // a stream keeps its kind
        if (type->majortype == WMMEDIATYPE_Video
            && (type->formattype != WMFORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER) || !type->pbFormat))
            return E_INVALIDARG;
        m_stream.type = MediaType(*type);
        return S_OK;
    }

private:
    ProfileStream m_stream;
};

class Profile final : public ComObject<Profile, IWMProfile> {
public:
    explicit Profile(std::vector<ProfileStream> streams)
        : m_streams(std::move(streams))
    {
    }
    void* FindInterface(REFIID iid) { return iid == IID_IWMProfile ? static_cast<IWMProfile*>(this) : nullptr; }
    const std::vector<ProfileStream>& Streams() const { return m_streams; }

    HRESULT GetStreamCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        *count = static_cast<DWORD>(m_streams.size());
        return S_OK;
    }
    HRESULT GetStream(DWORD index, IWMStreamConfig** config) override
    {
        if (!config)
            return E_POINTER;
        *config = nullptr;
        if (index >= m_streams.size())
            return E_INVALIDARG;
        return CreateAndQuery<StreamConfig>(IID_IWMStreamConfig, reinterpret_cast<void**>(config), m_streams[index]);
    }
    HRESULT RemoveStreamByNumber(WORD number) override
    {
        for (auto it = m_streams.begin(); it != m_streams.end(); ++it) {
            if (it->number == number) {
                m_streams.erase(it);
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }
    HRESULT ReconfigStream(IWMStreamConfig* config) override
    {
        auto* own = dynamic_cast<StreamConfig*>(config);
        if (!own)
            return E_INVALIDARG;
        for (ProfileStream& stream : m_streams) {
            if (stream.number == own->Stream().number) {
                stream = own->Stream();
                return S_OK;
            }
        }
        return E_INVALIDARG; // no stream of that number
    }

private:
    std::vector<ProfileStream> m_streams;
};

class WriterInput final : public Pin {
public:
    WriterInput(Filter& owner, WString name, const GUID& major, std::string padName)
        : Pin(owner, std::move(name), PINDIR_INPUT, GUID {}, std::move(padName))
        , m_major(major)
    {
    }
    bool Accepts(const Pin&, const MediaType& offered, MediaType* connection) const override
    {
        const GUID& major = offered.Get().majortype;
        bool video = m_major == MEDIATYPE_Video && (major == MEDIATYPE_Video || major == MEDIATYPE_Interleaved);
        if (!video && major != m_major)
            return false;
        *connection = offered;
        return true;
    }
    GUID MajorType() const override { return m_major; }

private:
    GUID m_major;
};

const ProfileStream* StreamOfKind(const std::vector<ProfileStream>& streams, const GUID& major)
{
    for (const ProfileStream& stream : streams) {
        if (stream.type.Get().majortype == major)
            return &stream;
    }
    return nullptr;
}

GstPadProbeReturn HoldCapture(GstPad*, GstPadProbeInfo*, gpointer data)
{
    auto& held = **static_cast<std::shared_ptr<std::atomic<bool>>*>(data);
    return held.load() ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

void DeleteHeldReference(gpointer data) { delete static_cast<std::shared_ptr<std::atomic<bool>>*>(data); }

} // namespace

std::vector<ProfileStream> DefaultProfileStreams()
{
    std::vector<ProfileStream> streams(2);
    streams[0].number = 1;
    streams[0].bitRate = 64000;
    streams[0].type = DefaultAudioType();
    streams[1].number = 2;
    streams[1].bitRate = 480000;
    streams[1].type = DefaultVideoType();
    return streams;
}

HRESULT CreateProfile(const std::vector<ProfileStream>& streams, IWMProfile** profile)
{
    return CreateAndQuery<Profile>(IID_IWMProfile, reinterpret_cast<void**>(profile), streams);
}

bool ProfileStreams(IWMProfile* profile, std::vector<ProfileStream>* streams)
{
    auto* own = dynamic_cast<Profile*>(profile);
    if (!own)
        return false;
    *streams = own->Streams();
    return true;
}

AsfWriter::AsfWriter()
    : Filter(CLSID_WMAsfWriter, u"ASF Writer")
    , m_streams(DefaultProfileStreams())
{
    MakePins();
}

AsfWriter::~AsfWriter() = default;

void* AsfWriter::FindInterface(REFIID iid)
{
    if (iid == IID_IFileSinkFilter)
        return static_cast<IFileSinkFilter*>(this);
    if (iid == IID_IConfigAsfWriter || iid == IID_IConfigAsfWriter2)
        return static_cast<IConfigAsfWriter2*>(this);
    return nullptr;
}

void AsfWriter::MakePins()
{
    RemovePins();
    if (StreamOfKind(m_streams, WMMEDIATYPE_Audio))
        AddPin(std::make_unique<WriterInput>(*this, u"Audio Input 01", MEDIATYPE_Audio, "audio"));
    if (StreamOfKind(m_streams, WMMEDIATYPE_Video))
        AddPin(std::make_unique<WriterInput>(*this, u"Video Input 01", MEDIATYPE_Video, "video"));
}

HRESULT AsfWriter::SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE*)
{
    if (!fileName)
        return E_POINTER;
    if (GraphIsActive())
        return VFW_E_NOT_STOPPED;
    m_fileName = WString(ToView(fileName));
    return S_OK;
}

HRESULT AsfWriter::GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type)
{
    if (!fileName)
        return E_POINTER;
    *fileName = static_cast<LPOLESTR>(CoTaskMemAlloc((m_fileName.size() + 1) * sizeof(WCHAR)));
    if (!*fileName)
        return E_OUTOFMEMORY;
    CopyName(*fileName, m_fileName.size() + 1, m_fileName);
    if (type) {
        std::memset(type, 0, sizeof *type);
        type->majortype = MEDIATYPE_Stream;
        type->subtype = MEDIASUBTYPE_Asf;
    }
    return S_OK;
}

HRESULT AsfWriter::GetCurrentProfile(IWMProfile** profile)
{
    if (!profile)
        return E_POINTER;
    return CreateProfile(m_streams, profile);
}

HRESULT AsfWriter::ConfigureFilterUsingProfile(IWMProfile* profile)
{
    std::vector<ProfileStream> streams;
    if (!profile)
        return E_POINTER;
    if (!ProfileStreams(profile, &streams))
        return E_INVALIDARG;
    if (GraphIsActive())
        return VFW_E_NOT_STOPPED;
    const ProfileStream* video = StreamOfKind(streams, WMMEDIATYPE_Video);
    if (video) {
        const VIDEOINFOHEADER* info = video->type.VideoInfo();
        if (!info || info->bmiHeader.biWidth <= 0 || info->bmiHeader.biHeight == 0)
            return E_INVALIDARG;
    }
    // Pins of streams that stay keep their connections; the others go.
    bool hadAudio = StreamOfKind(m_streams, WMMEDIATYPE_Audio) != nullptr;
    bool hadVideo = StreamOfKind(m_streams, WMMEDIATYPE_Video) != nullptr;
    bool hasAudio = StreamOfKind(streams, WMMEDIATYPE_Audio) != nullptr;
    bool hasVideo = video != nullptr;
    m_streams = std::move(streams);
    if (hadAudio != hasAudio || hadVideo != hasVideo) {
        if (HasConnection()) {
            for (const auto& pin : Pins()) {
                if (Pin* peer = pin->Peer())
                    peer->Detach();
            }
        }
        MakePins();
    }
    return S_OK;
}

GstElement* AsfWriter::CreateElement(const RunContext& context)
{
    RecordingSettings settings;
    settings.path = ToNativePath(m_fileName);
    const ProfileStream* video = StreamOfKind(m_streams, WMMEDIATYPE_Video);
    const ProfileStream* audio = StreamOfKind(m_streams, WMMEDIATYPE_Audio);
    if (!video || settings.path.empty())
        return nullptr;
    const VIDEOINFOHEADER* info = video->type.VideoInfo();
    settings.width = info->bmiHeader.biWidth;
    settings.height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    settings.videoBitRate = static_cast<int>(video->bitRate);
    settings.withAudio = false;
    for (const auto& pin : Pins()) {
        if (pin->PadName() == "audio" && pin->Peer())
            settings.withAudio = true;
    }
    if (audio && audio->bitRate > 0)
        settings.audioBitRate = static_cast<int>(audio->bitRate);
    GstElement* bin = CreateRecordingBin(settings);
    if (!bin)
        return nullptr;
    // Capture streams can be held back (stream control): nothing reaches the file meanwhile.
    for (const char* name : { "video", "audio" }) {
        if (GstPad* pad = gst_element_get_static_pad(bin, name)) {
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, HoldCapture,
                              new std::shared_ptr<std::atomic<bool>>(context.captureHeld), DeleteHeldReference);
            gst_object_unref(pad);
        }
    }
    return bin;
}

void AsfWriter::FinishStreaming(GstElement* element) { FinishRecording(element, kFinishTimeout); }

} // namespace lumo::media
