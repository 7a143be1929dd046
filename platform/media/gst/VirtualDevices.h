// Virtual capture devices: test cameras on videotestsrc and test microphones on audiotestsrc, for
// tests, demos and machines without a camera.
//
// LUMO_VIRTUAL_DEVICES, when set (even to ""), is the only source of devices; "" means none.
// It lists devices separated by ';', each a kind and a friendly name followed by options:
//
//     devices    = entry { ";" entry }
//     entry      = kind ":" name { "|" option }
//     kind       = "video" | "audio"
//     option     = "caps=" capability { "," capability }
//                | "fault=" fault { "," fault }
//     capability = FORMAT " " WIDTH "x" HEIGHT [ "@" FPS ]     (camera)   e.g.  MJPG 1280x720@30
//                | RATE "/" CHANNELS [ "/" BITS ]              (microphone) e.g. 48000/1/16
//     fault      = "cannot-start" | "error-after:" N | "removed-after:" N
//                | "name-unreadable" | "not-video"
//
//   video:Lumo Virtual Camera;audio:Lumo Virtual Microphone
//   video:Desk Cam|caps=YUY2 640x480@30,MJPG 1280x720@30|fault=error-after:45;audio:Mic|caps=48000/1
//   video:Other|fault=removed-after:30,cannot-start
//
// - Kinds, option names, formats and faults are read in any case; spaces around names, options
//   and values are ignored. A backslash takes the next character as it is, so a name can hold
//   ';', '|' or '\' ("video:A\;B" is the camera "A;B"). Names are UTF-8 and not empty.
// - FORMAT is YUY2, UYVY, MJPG, NV12, I420, YV12, RGB24 or RGB32; WIDTH and HEIGHT are even,
//   32..8192; FPS is a decimal number in (0, 240], 30 when left out. The capabilities are listed in
//   the order given. A camera without caps has: YUY2 640x480@30, YUY2 320x240@30, YUY2 800x600@20,
//   YUY2 1280x720@10, MJPG 640x480@30, MJPG 800x600@30, MJPG 1280x720@30.
// - RATE is 8000..192000, CHANNELS 1 or 2, BITS 8, 16, 24 or 32 (16 when left out). A microphone
//   without caps has 44100/2/16. It delivers its first capability, in buffers of 10 ms.
// - Faults (several may be given, in one option or in several):
//     cannot-start      going to PLAYING fails: the state change answers FAILURE and the bin
//                       posts a RESOURCE/BUSY error, as for a camera another program holds;
//     error-after:N     N frames (10 ms buffers for a microphone) are delivered, then a
//                       STREAM/FAILED error is posted and the stream stops; the device stays;
//     removed-after:N   N frames are delivered, then the device is gone: IsDevicePresent() turns
//                       false, a RESOURCE/NOT_FOUND error is posted (in that order) and the stream
//                       stops; ListDevices() no longer lists it and CreateSourceBin() gives nullptr;
//     name-unreadable   the description says its friendly name cannot be read (the name is kept);
//     not-video         the description says its capture format is a multiplexed stream.
//   N is 0..1000000. The counts start again in each new source bin. Like a real source, the
//   source then reports the failed flow as a second error ("Internal data stream error") and the
//   stream ends; the faults' own errors come first, from the bin's videotestsrc/audiotestsrc.
// - Ids are "virtual:video:<n>" and "virtual:audio:<n>", n counting the accepted entries of that
//   kind from 0.
// - An entry that does not follow this is skipped whole and the others stand; one note on stderr
//   names the skipped entries (once for each text of the variable). Empty entries are ignored.
//
// The picture of a virtual camera is made at the chosen size and rate directly: a moving zone plate
// (videotestsrc; detailed like a real scene, without noise) with a 16x16 marker in each corner, top-left
// pure red (255,0,0), top-right pure green (0,255,0), bottom-left white (255,255,255), bottom-right
// pure blue (0,0,255), and a black square (an eighth of the height) that crosses the middle from
// left to right in about two seconds. In YUV formats the markers hold the colours' exact YUV values
// under the caps' colorimetry, so a converted frame shows them within a few levels (the marker's
// innermost row and column may blend with the bars where chroma is resampled). MJPG capabilities
// are produced as I420 directly, as a decoded camera stream would be, not through an encoder.
#pragma once

#include "platform/media/gst/Devices.h"

#include <string>
#include <string_view>
#include <vector>

namespace lumo::media {

inline constexpr const char* kVirtualDevicesVariable = "LUMO_VIRTUAL_DEVICES";

struct VirtualDeviceList {
    std::vector<DeviceDescription> devices; // both kinds, in the order of the text
    std::vector<std::string> skipped;       // each skipped entry with the reason, for the note
};

// Reads the text of LUMO_VIRTUAL_DEVICES. Never fails: what cannot be read is skipped.
VirtualDeviceList ParseVirtualDevices(std::string_view text);

// The devices of one kind that the text describes and that have not been removed by their fault;
// writes the note about skipped entries to stderr the first time a text is seen.
std::vector<DeviceDescription> ListVirtualDevices(std::string_view text, DeviceKind kind);

bool IsVirtualDevicePresent(const DeviceDescription& device);
GstElement* CreateVirtualSourceBin(const DeviceDescription& device, const VideoCapability* chosen,
                                   double framesPerSecond);

// Called by a virtual source when its removal fault fires.
void MarkVirtualDeviceRemoved(const std::string& id, const std::string& friendlyName);
// Brings back every device removed by its fault, for tests that run several cases in one process.
void ForgetVirtualDeviceRemovals();

} // namespace lumo::media
