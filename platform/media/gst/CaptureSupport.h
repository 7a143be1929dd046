// What the source bins of real and virtual capture devices share: the caps they deliver for a
// capability, so that both deliver the same formats, and their assembly.
#pragma once

#include "platform/media/gst/Devices.h"

#include <gst/gst.h>

#include <vector>

namespace lumo::media {

struct FrameRate {
    int numerator = 30;
    int denominator = 1;
};

// The raw format a capability is delivered in: its own, except MJPG (decoded to I420), RGB24 (BGR,
// the byte order of a bottom-up DIB row) and RGB32 (BGRx).
const char* DeliveredFormatName(PixelFormat format);

// Rates as exact fractions where a usual one is meant: 333333 (100 ns) is 30/1, 333667 is
// 30000/1001, 1333333 is 15/2. Out of range input gives 30/1.
FrameRate FrameRateOf(double framesPerSecond);
FrameRate FrameRateOfInterval(long long frameInterval);
long long FrameIntervalOf(double framesPerSecond);

// video/x-raw of the delivered format, size and rate; audio/x-raw interleaved of the capability.
GstCaps* DeliveredVideoCaps(const VideoCapability& capability, FrameRate rate);
GstCaps* DeliveredAudioCaps(const AudioCapability& capability);
// "U8", "S16LE", "S24LE", "S32LE", or nullptr for other sample sizes.
const char* AudioFormatName(int bitsPerSample);

// Adds `elements` to `bin`, links them in order and exposes the last one's source pad as the bin's
// "src" ghost pad. False when an element is missing or a link fails; the caller drops the bin.
bool AssembleSourceBin(GstElement* bin, const std::vector<GstElement*>& elements);

} // namespace lumo::media
