// What a device's caps say it can deliver, as capabilities of ours. Real devices report caps in
// every form GStreamer has: fixed values, lists (PipeWire's enumerated sizes), ranges with or
// without a step (V4L2's stepwise sizes), fraction lists and ranges, several structures, MJPG as
// image/jpeg beside raw formats. The device monitor's caps and those parsed from a caps string take
// the same road.
#pragma once

#include "platform/media/gst/Devices.h"

#include <gst/gst.h>

#include <optional>
#include <vector>

namespace lumo::media {

// The capabilities in the caps' own order: structure by structure, and within one structure its
// sizes in list order, each format of the structure in its order. One capability per format and
// size, with the fastest rate offered for it. Structures we cannot show (other memory than system
// memory, compressed video other than JPEG, bayer, depth) give none.
std::vector<VideoCapability> VideoCapabilitiesOf(const GstCaps* caps);

// The shapes a microphone's converter can deliver, 16-bit where the device has it. Never empty.
std::vector<AudioCapability> AudioCapabilitiesOf(const GstCaps* caps);

// Makes the device's current format the first capability (the device's own mode). A current format
// the list does not hold is put first as it is, with the list's fastest rate for its size or 30 fps.
void PutCurrentFormatFirst(std::vector<VideoCapability>& capabilities, const VideoCapability& current);

// The format a V4L2 capture node is set to now (VIDIOC_G_FMT, VIDIOC_G_PARM), without streaming;
// nothing when the node cannot be opened or its pixel format is not one of ours.
std::optional<VideoCapability> CurrentV4l2Format(const char* node);

} // namespace lumo::media
