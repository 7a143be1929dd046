#include "tests/capture/ScriptedCaptureBuilder.h"

#include "platform/media/graph/CaptureGraphBuilder.h"
#include "platform/media/graph/ComObject.h"

#include <cstring>

namespace {

AM_MEDIA_TYPE* NewVideoType(const ScriptedCapability& capability)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    std::memset(type, 0, sizeof *type);
    type->majortype = MEDIATYPE_Video;
    type->subtype = capability.subtype;
    type->formattype = FORMAT_VideoInfo;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    VIDEOINFOHEADER info {};
    info.AvgTimePerFrame = capability.frameTime;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = capability.width;
    info.bmiHeader.biHeight = capability.height;
    info.bmiHeader.biBitCount = 16;
    info.bmiHeader.biCompression = capability.subtype.Data1;
    std::memcpy(type->pbFormat, &info, sizeof info);
    return type;
}

ScriptedCapability CapabilityOf(const AM_MEDIA_TYPE& type)
{
    ScriptedCapability capability {type.subtype, 0, 0, 0};
    if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        capability.width = info->bmiHeader.biWidth;
        capability.height = info->bmiHeader.biHeight;
        capability.frameTime = info->AvgTimePerFrame;
    }
    return capability;
}

} // namespace

class ScriptedStreamConfig final
    : public lumo::media::ComObject<ScriptedStreamConfig, IAMStreamConfig, ISpecifyPropertyPages> {
public:
    ScriptedStreamConfig(std::vector<ScriptedCapability> capabilities, int capsSize)
        : m_capabilities(std::move(capabilities))
        , m_capsSize(capsSize)
        , m_current(m_capabilities.empty() ? ScriptedCapability {MEDIASUBTYPE_YUY2, 640, 480} : m_capabilities.front())
    {
    }
    void* FindInterface(REFIID iid)
    {
        if (iid == IID_IAMStreamConfig)
            return static_cast<IAMStreamConfig*>(this);
        if (iid == IID_ISpecifyPropertyPages)
            return static_cast<ISpecifyPropertyPages*>(this);
        return nullptr;
    }
    HRESULT SetFormat(AM_MEDIA_TYPE* type) override
    {
        if (!type)
            return E_POINTER;
        m_current = CapabilityOf(*type);
        m_set.push_back(m_current);
        return S_OK;
    }
    HRESULT GetFormat(AM_MEDIA_TYPE** type) override
    {
        if (!type)
            return E_POINTER;
        *type = NewVideoType(m_current);
        return S_OK;
    }
    HRESULT GetNumberOfCapabilities(int* count, int* size) override
    {
        *count = static_cast<int>(m_capabilities.size());
        *size = m_capsSize;
        return S_OK;
    }
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override
    {
        if (index < 0 || static_cast<size_t>(index) >= m_capabilities.size() || !type)
            return E_INVALIDARG;
        *type = NewVideoType(m_capabilities[static_cast<size_t>(index)]);
        if (caps)
            std::memset(caps, 0, sizeof(VIDEO_STREAM_CONFIG_CAPS));
        return S_OK;
    }
    HRESULT GetPages(CAUUID* pages) override
    {
        pages->cElems = 0;
        pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
        return S_OK;
    }

    std::vector<ScriptedCapability> m_capabilities;
    int m_capsSize;
    ScriptedCapability m_current;
    std::vector<ScriptedCapability> m_set;
};

namespace {

ScriptedStreamConfig* g_config = nullptr;

// The layer's builder with the video capture pin's stream config replaced.
class ScriptedBuilder final : public lumo::media::ComObject<ScriptedBuilder, ICaptureGraphBuilder2> {
public:
    ScriptedBuilder()
    {
        lumo::media::CreateAndQuery<lumo::media::CaptureGraphBuilder>(IID_ICaptureGraphBuilder2,
                                                                      reinterpret_cast<void**>(&m_real));
    }
    void* FindInterface(REFIID iid)
    {
        return iid == IID_ICaptureGraphBuilder2 ? static_cast<ICaptureGraphBuilder2*>(this) : nullptr;
    }
    HRESULT SetFiltergraph(IGraphBuilder* graph) override { return m_real->SetFiltergraph(graph); }
    HRESULT GetFiltergraph(IGraphBuilder** graph) override { return m_real->GetFiltergraph(graph); }
    HRESULT SetOutputFileName(const GUID* type, LPCOLESTR name, IBaseFilter** multiplexer, IFileSinkFilter** sink) override
    {
        return m_real->SetOutputFileName(type, name, multiplexer, sink);
    }
    HRESULT FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid, void** object) override
    {
        bool videoConfig = iid == IID_IAMStreamConfig && category && *category == PIN_CATEGORY_CAPTURE
            && !(type && *type == MEDIATYPE_Audio);
        if (!videoConfig || !g_config)
            return m_real->FindInterface(category, type, filter, iid, object);
        return g_config->QueryInterface(IID_IAMStreamConfig, object);
    }
    HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                         IBaseFilter* sink) override
    {
        return m_real->RenderStream(category, type, source, intermediate, sink);
    }
    HRESULT ControlStream(const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
                          REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie) override
    {
        return m_real->ControlStream(category, type, filter, start, stop, startCookie, stopCookie);
    }
    HRESULT FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type, BOOL unconnected,
                    int number, IPin** pin) override
    {
        return m_real->FindPin(source, direction, category, type, unconnected, number, pin);
    }

private:
    ComPtr<ICaptureGraphBuilder2> m_real;
};

HRESULT CreateScriptedBuilder(REFIID iid, void** object)
{
    return lumo::media::CreateAndQuery<ScriptedBuilder>(iid, object);
}

HRESULT CreateLayerBuilder(REFIID iid, void** object)
{
    return lumo::media::CreateAndQuery<lumo::media::CaptureGraphBuilder>(iid, object);
}

} // namespace

ScopedScriptedCaptureBuilder::ScopedScriptedCaptureBuilder(std::vector<ScriptedCapability> capabilities, int capsSize)
    : m_config(new ScriptedStreamConfig(std::move(capabilities), capsSize))
{
    g_config = m_config;
    RegisterComClass(CLSID_CaptureGraphBuilder2, &CreateScriptedBuilder);
}

ScopedScriptedCaptureBuilder::~ScopedScriptedCaptureBuilder()
{
    RegisterComClass(CLSID_CaptureGraphBuilder2, &CreateLayerBuilder);
    g_config = nullptr;
    m_config->Release();
}

const std::vector<ScriptedCapability>& ScopedScriptedCaptureBuilder::FormatsSet() const { return m_config->m_set; }

ScriptedCapability ScopedScriptedCaptureBuilder::CurrentFormat() const { return m_config->m_current; }

ScriptedAsfWriter::ScriptedAsfWriter(IWMProfile* profile)
    : m_profile(profile)
{
    m_profile->AddRef();
}

ScriptedAsfWriter::~ScriptedAsfWriter() { m_profile->Release(); }

HRESULT ScriptedAsfWriter::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConfigAsfWriter && iid != IID_IConfigAsfWriter2)
        return E_NOINTERFACE;
    *object = static_cast<IConfigAsfWriter2*>(this);
    AddRef();
    return S_OK;
}

ULONG ScriptedAsfWriter::Release()
{
    ULONG left = --m_references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT ScriptedAsfWriter::ConfigureFilterUsingProfile(IWMProfile*)
{
    ++m_configurations;
    return S_OK;
}

HRESULT ScriptedAsfWriter::GetCurrentProfile(IWMProfile** profile)
{
    if (!profile)
        return E_POINTER;
    m_profile->AddRef();
    *profile = m_profile;
    return S_OK;
}
