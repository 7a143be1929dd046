#include "platform/media/MediaTypes.h"

#include <cstring>

void FreeMediaType(AM_MEDIA_TYPE& type)
{
    if (type.cbFormat != 0 || type.pbFormat) {
        CoTaskMemFree(type.pbFormat);
        type.cbFormat = 0;
        type.pbFormat = nullptr;
    }
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return;
    FreeMediaType(*type);
    CoTaskMemFree(type);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (!target || !source)
        return E_POINTER;
    *target = *source;
    if (source->cbFormat != 0 && source->pbFormat) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (!target->pbFormat) {
            target->cbFormat = 0;
            target->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    } else {
        target->cbFormat = 0;
        target->pbFormat = nullptr;
    }
    if (target->pUnk)
        target->pUnk->AddRef();
    return S_OK;
}

namespace lumo::media {

MediaType::MediaType() { std::memset(&m_type, 0, sizeof m_type); }

MediaType::MediaType(const AM_MEDIA_TYPE& type)
    : MediaType()
{
    CopyMediaType(&m_type, &type);
}

MediaType::MediaType(const MediaType& other)
    : MediaType(other.m_type)
{
}

MediaType& MediaType::operator=(const MediaType& other)
{
    if (this != &other) {
        FreeMediaType(m_type);
        std::memset(&m_type, 0, sizeof m_type);
        CopyMediaType(&m_type, &other.m_type);
    }
    return *this;
}

MediaType::~MediaType() { FreeMediaType(m_type); }

const VIDEOINFOHEADER* MediaType::VideoInfo() const
{
    if (m_type.formattype != FORMAT_VideoInfo || m_type.cbFormat < sizeof(VIDEOINFOHEADER) || !m_type.pbFormat)
        return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(m_type.pbFormat);
}

AM_MEDIA_TYPE* MediaType::Detach() const
{
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!copy)
        return nullptr;
    if (FAILED(CopyMediaType(copy, &m_type))) {
        CoTaskMemFree(copy);
        return nullptr;
    }
    return copy;
}

void SetFormatBlock(AM_MEDIA_TYPE& type, const GUID& formatType, const void* block, ULONG size)
{
    type.formattype = formatType;
    type.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
    if (!type.pbFormat)
        return;
    type.cbFormat = size;
    std::memcpy(type.pbFormat, block, size);
}

GUID SubtypeOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::YUY2: return MEDIASUBTYPE_YUY2;
    case PixelFormat::UYVY: return MEDIASUBTYPE_UYVY;
    case PixelFormat::MJPG: return MEDIASUBTYPE_MJPG;
    case PixelFormat::NV12: return MEDIASUBTYPE_NV12;
    case PixelFormat::I420: return MEDIASUBTYPE_I420;
    case PixelFormat::YV12: return MEDIASUBTYPE_YV12;
    case PixelFormat::RGB24: return MEDIASUBTYPE_RGB24;
    case PixelFormat::RGB32: return MEDIASUBTYPE_RGB32;
    }
    return MEDIASUBTYPE_YUY2;
}

WORD BitCountOf(PixelFormat format)
{
    switch (format) {
    case PixelFormat::YUY2:
    case PixelFormat::UYVY: return 16;
    case PixelFormat::NV12:
    case PixelFormat::I420:
    case PixelFormat::YV12: return 12;
    case PixelFormat::MJPG:
    case PixelFormat::RGB24: return 24;
    case PixelFormat::RGB32: return 32;
    }
    return 16;
}

DWORD CompressionOf(PixelFormat format)
{
    if (format == PixelFormat::RGB24 || format == PixelFormat::RGB32)
        return BI_RGB;
    return SubtypeOf(format).Data1; // the FOURCC
}

namespace {

DWORD ImageSize(int width, int height, WORD bitCount)
{
    return static_cast<DWORD>(((width * bitCount + 31) & ~31) / 8 * (height < 0 ? -height : height));
}

} // namespace

MediaType VideoCapabilityType(const VideoCapability& capability, bool interleaved, LONGLONG frameInterval)
{
    MediaType result;
    AM_MEDIA_TYPE& type = result.Get();
    WORD bitCount = BitCountOf(capability.format);
    DWORD imageSize = ImageSize(capability.width, capability.height, bitCount);
    if (interleaved) {
        type.majortype = MEDIATYPE_Interleaved;
        type.subtype = MEDIASUBTYPE_dvsd;
        type.bFixedSizeSamples = TRUE;
        type.lSampleSize = imageSize;
        DVINFO info {};
        SetFormatBlock(type, FORMAT_DvInfo, &info, sizeof info);
        return result;
    }
    type.majortype = MEDIATYPE_Video;
    type.subtype = SubtypeOf(capability.format);
    bool compressed = capability.format == PixelFormat::MJPG;
    type.bFixedSizeSamples = compressed ? FALSE : TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = imageSize;
    VIDEOINFOHEADER info {};
    info.AvgTimePerFrame = frameInterval > 0 ? frameInterval : capability.frameInterval;
    info.dwBitRate = info.AvgTimePerFrame > 0
        ? static_cast<DWORD>(static_cast<double>(imageSize) * 8 * 10000000.0 / static_cast<double>(info.AvgTimePerFrame))
        : 0;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = capability.width;
    info.bmiHeader.biHeight = capability.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = CompressionOf(capability.format);
    info.bmiHeader.biSizeImage = imageSize;
    SetFormatBlock(type, FORMAT_VideoInfo, &info, sizeof info);
    return result;
}

MediaType AudioCapabilityType(const AudioCapability& capability)
{
    MediaType result;
    AM_MEDIA_TYPE& type = result.Get();
    type.majortype = MEDIATYPE_Audio;
    type.subtype = MEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    WAVEFORMATEX wave {};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = static_cast<WORD>(capability.channels);
    wave.nSamplesPerSec = static_cast<DWORD>(capability.sampleRate);
    wave.wBitsPerSample = static_cast<WORD>(capability.bitsPerSample);
    wave.nBlockAlign = static_cast<WORD>(capability.channels * capability.bitsPerSample / 8);
    wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
    type.lSampleSize = wave.nBlockAlign;
    SetFormatBlock(type, FORMAT_WaveFormatEx, &wave, sizeof wave);
    return result;
}

MediaType Rgb24Type(int width, int height)
{
    MediaType result;
    AM_MEDIA_TYPE& type = result.Get();
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.bFixedSizeSamples = TRUE;
    DWORD imageSize = ImageSize(width, height, 24);
    type.lSampleSize = imageSize;
    VIDEOINFOHEADER info {};
    info.rcSource = { 0, 0, width, height };
    info.rcTarget = info.rcSource;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = imageSize;
    SetFormatBlock(type, FORMAT_VideoInfo, &info, sizeof info);
    return result;
}

} // namespace lumo::media
