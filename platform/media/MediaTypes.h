// Media types of the layer: freeing and copying AM_MEDIA_TYPE, and the types of the formats the
// devices and filters offer.
#pragma once

#include "platform/media/DirectShow.h"
#include "platform/media/gst/Devices.h"

#include <memory>

namespace lumo::media {

// An owned AM_MEDIA_TYPE whose format block is freed with it.
class MediaType {
public:
    MediaType();
    explicit MediaType(const AM_MEDIA_TYPE& type);
    MediaType(const MediaType& other);
    MediaType& operator=(const MediaType& other);
    ~MediaType();

    AM_MEDIA_TYPE& Get() { return m_type; }
    const AM_MEDIA_TYPE& Get() const { return m_type; }
    const VIDEOINFOHEADER* VideoInfo() const;
    // A CoTaskMemAlloc'ed copy, as GetFormat and GetStreamCaps hand out.
    AM_MEDIA_TYPE* Detach() const;

private:
    AM_MEDIA_TYPE m_type;
};

// Gives a type its format: a CoTaskMemAlloc'ed copy of `block` (left empty when out of memory).
void SetFormatBlock(AM_MEDIA_TYPE& type, const GUID& formatType, const void* block, ULONG size);

GUID SubtypeOf(PixelFormat format);
WORD BitCountOf(PixelFormat format);
DWORD CompressionOf(PixelFormat format);

// The type of a video capability: Video/VideoInfo, or Interleaved/DvInfo for a device whose
// capture format is a multiplexed stream.
MediaType VideoCapabilityType(const VideoCapability& capability, bool interleaved, LONGLONG frameInterval);
MediaType AudioCapabilityType(const AudioCapability& capability);
// 24-bit BGR frames of the given size as the sample grabber delivers them.
MediaType Rgb24Type(int width, int height);
// Bytes of one bottom-up 24-bit row padded to 4 bytes.
inline LONG Rgb24Stride(LONG width) { return ((width * 24 + 31) & ~31) / 8; }

} // namespace lumo::media
