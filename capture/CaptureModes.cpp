// Resolution modes: mode 1 is 640 x 480, mode 2 a size between 640 and 800 wide, mode 3 the widest
// from 800 up that fits the screen; and the one-time forcing of an uncompressed 640 x 480 format.
#include "capture/CaptureEngine.h"

#include "platform/ui/Screen.h"

#include <cstring>

namespace {

// VIDEOINFOHEADER capabilities the modes consider.
bool IsVideoInfo(const AM_MEDIA_TYPE* type)
{
    return type && type->majortype == MEDIATYPE_Video && type->formattype == FORMAT_VideoInfo
        && type->cbFormat >= sizeof(VIDEOINFOHEADER) && type->pbFormat;
}

} // namespace

void CCaptureEngine::DiscoverModes()
{
    ComPtr<IAMStreamConfig> config;
    if (!m_builder
        || FAILED(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, nullptr, m_videoFilter, IID_IAMStreamConfig,
                                           reinterpret_cast<void**>(&config))))
        return;
    int count = 0;
    int size = 0;
    config->GetNumberOfCapabilities(&count, &size);
    for (ModeEntry& mode : m_modes)
        mode.available = FALSE;
    if (size != sizeof(VIDEO_STREAM_CONFIG_CAPS))
        return;
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    int limit = screenHeight > 270 ? screenHeight - 270 : screenHeight;

    bool uncompressedSeen[3] = { false, false, false };
    LONG widestThisPass = 0;
    for (int index = 0; index < count; ++index) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (FAILED(config->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps))) || !type)
            continue;
        if (IsVideoInfo(type)) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
            LONG width = info->bmiHeader.biWidth;
            LONG height = info->bmiHeader.biHeight;
            int mode = 0;
            if (width == 640 && height == 480)
                mode = 1;
            else if (width > 640 && width < 800 && height <= limit)
                mode = 2;
            else if (width >= 800 && height <= limit)
                mode = 3;
            bool mjpg = type->subtype == MEDIASUBTYPE_MJPG;
            if (mode != 0) {
                ModeEntry& entry = m_modes[mode - 1];
                bool skipped = uncompressedSeen[mode - 1] && mjpg;
                bool store = mode == 3 ? !skipped && width >= widestThisPass : !skipped;
                if (store) {
                    FreeMediaType(entry.type);
                    entry.type = *type;
                    entry.type.cbFormat = 0;
                    entry.type.pbFormat = nullptr;
                    entry.type.pUnk = nullptr;
                    std::memcpy(&entry.info, info, sizeof entry.info);
                    entry.available = TRUE;
                    if (mode == 3)
                        widestThisPass = width;
                }
                if (!mjpg)
                    uncompressedSeen[mode - 1] = true;
            }
        }
        DeleteMediaType(type);
    }
}

int CCaptureEngine::GetModeSize(int mode, int* width, int* height) const
{
    if (mode < 1 || mode > 3 || !m_modes[mode - 1].available)
        return 0;
    if (width)
        *width = m_modes[mode - 1].info.bmiHeader.biWidth;
    if (height)
        *height = m_modes[mode - 1].info.bmiHeader.biHeight;
    return 1;
}

void CCaptureEngine::GetCurrentModeSize(int* width, int* height) const { GetModeSize(m_currentMode, width, height); }

int CCaptureEngine::SetResolution(int mode)
{
    if (!m_builder || mode < 1 || mode > 3)
        return 0;
    m_currentMode = mode;
    if (m_previewing)
        StopPreview();
    if (m_previewGraphBuilt || m_captureGraphBuilt)
        TearDownGraph();

    ComPtr<IAMStreamConfig> config;
    if (FAILED(m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_videoFilter, IID_IAMStreamConfig,
                                        reinterpret_cast<void**>(&config))))
        m_builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_videoFilter, IID_IAMStreamConfig,
                                 reinterpret_cast<void**>(&config));
    ComPtr<ISpecifyPropertyPages> pages;
    if (config && SUCCEEDED(config.As(IID_ISpecifyPropertyPages, pages))) {
        CAUUID list {};
        if (SUCCEEDED(pages->GetPages(&list)))
            CoTaskMemFree(list.pElems);
        AM_MEDIA_TYPE* format = nullptr;
        if (m_videoConfig && SUCCEEDED(m_videoConfig->GetFormat(&format)) && format) {
            if (format->formattype == FORMAT_VideoInfo && format->cbFormat >= sizeof(VIDEOINFOHEADER) && format->pbFormat
                && m_modes[mode - 1].available) {
                // The stored header and picture format replace the current ones; the block stays the type's own.
                ULONG cbFormat = format->cbFormat;
                BYTE* pbFormat = format->pbFormat;
                IUnknown* unknown = format->pUnk;
                *format = m_modes[mode - 1].type;
                format->cbFormat = cbFormat;
                format->pbFormat = pbFormat;
                format->pUnk = unknown;
                std::memcpy(pbFormat, &m_modes[mode - 1].info, sizeof(VIDEOINFOHEADER));
            }
            m_videoConfig->SetFormat(format);
            DeleteMediaType(format);
        }
    }
    BuildPreviewGraph();
    StartPreview();
    return 1;
}

void CCaptureEngine::ForceDefaultFormat()
{
    if (m_formatForced || !m_videoConfig)
        return;
    int count = 0;
    int size = 0;
    if (FAILED(m_videoConfig->GetNumberOfCapabilities(&count, &size)) || size != sizeof(VIDEO_STREAM_CONFIG_CAPS))
        return;
    for (int index = 0; index < count; ++index) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (FAILED(m_videoConfig->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps))) || !type)
            continue;
        bool chosen = false;
        if (IsVideoInfo(type) && type->subtype != MEDIASUBTYPE_MJPG) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
            if (info->bmiHeader.biWidth == 640 && info->bmiHeader.biHeight == 480) {
                m_videoConfig->SetFormat(type);
                m_formatForced = TRUE;
                chosen = true;
            }
        }
        DeleteMediaType(type);
        if (chosen)
            return;
    }
}
