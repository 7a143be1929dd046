// The ASF writer's configuration: its current profile with one stream configuration per stream and
// the media properties of each. Published names and values; only what the program uses.
#pragma once

#include "platform/media/DirectShow.h"

inline constexpr IID IID_IConfigAsfWriter = { 0x45086030, 0xF7E4, 0x486A, { 0xB5, 0x04, 0x82, 0x6B, 0xB5, 0x79, 0x2A, 0x3B } };
inline constexpr IID IID_IConfigAsfWriter2 = { 0x7989CCAA, 0x53F0, 0x44F0, { 0x88, 0x4A, 0xF3, 0xB0, 0x3F, 0x6A, 0xE0, 0x66 } };
inline constexpr IID IID_IWMProfile = { 0x96406BDB, 0x2B2B, 0x11D3, { 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF } };
inline constexpr IID IID_IWMStreamConfig = { 0x96406BDC, 0x2B2B, 0x11D3, { 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF } };
inline constexpr IID IID_IWMMediaProps = { 0x96406BCE, 0x2B2B, 0x11D3, { 0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF } };

inline constexpr GUID WMMEDIATYPE_Video = MEDIATYPE_Video;
inline constexpr GUID WMMEDIATYPE_Audio = MEDIATYPE_Audio;
inline constexpr GUID WMMEDIASUBTYPE_WMV2 = { 0x32564D57, 0x0000, 0x0010, { 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 } };
inline constexpr GUID WMMEDIASUBTYPE_WMAudioV8 = { 0x00000161, 0x0000, 0x0010, { 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71 } };
inline constexpr GUID WMFORMAT_VideoInfo = FORMAT_VideoInfo;
inline constexpr GUID WMFORMAT_WaveFormatEx = FORMAT_WaveFormatEx;
inline constexpr WORD WAVE_FORMAT_WMAUDIO2 = 0x0161;

using WM_MEDIA_TYPE = AM_MEDIA_TYPE;

struct IWMStreamConfig;

struct IWMMediaProps : IUnknown {
    virtual HRESULT GetType(GUID* type) = 0;
    // With a null `type`, `*size` receives the bytes needed: the structure and its format block,
    // which is copied right behind it.
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) = 0;
    virtual HRESULT SetMediaType(WM_MEDIA_TYPE* type) = 0;
};

struct IWMStreamConfig : IUnknown {
    virtual HRESULT GetStreamType(GUID* type) = 0;
    virtual HRESULT GetStreamNumber(WORD* number) = 0;
    virtual HRESULT GetBitrate(DWORD* bitRate) = 0;
    virtual HRESULT SetBitrate(DWORD bitRate) = 0;
};

struct IWMProfile : IUnknown {
    virtual HRESULT GetStreamCount(DWORD* count) = 0;
    // A copy of the stream's configuration; edits reach the profile through ReconfigStream.
    virtual HRESULT GetStream(DWORD index, IWMStreamConfig** config) = 0;
    virtual HRESULT RemoveStreamByNumber(WORD number) = 0;
    virtual HRESULT ReconfigStream(IWMStreamConfig* config) = 0;
};

struct IConfigAsfWriter : IUnknown {
    virtual HRESULT ConfigureFilterUsingProfile(IWMProfile* profile) = 0;
    virtual HRESULT GetCurrentProfile(IWMProfile** profile) = 0;
};

struct IConfigAsfWriter2 : IConfigAsfWriter { };
