// Capture devices as the media layer sees them: the cameras and microphones of the machine
// (through GstDeviceMonitor) or the virtual ones that LUMO_VIRTUAL_DEVICES describes
// (VirtualDevices.h), and the GStreamer source that delivers raw frames or samples of each.
#pragma once

#include <gst/gst.h>

#include <memory>
#include <string>
#include <vector>

namespace lumo::media {

enum class DeviceKind { Video, Audio };
enum class PixelFormat { YUY2, UYVY, MJPG, NV12, I420, YV12, RGB24, RGB32 };

struct VideoCapability {
    PixelFormat format;
    int width;
    int height;
    long long frameInterval; // 100-ns units, e.g. 333333 for 30 fps (the fastest rate at this size)
};

struct AudioCapability {
    int sampleRate = 44100;
    int channels = 2;
    int bitsPerSample = 16;
};

struct DeviceFaults {
    bool cannotStart = false;        // going to PLAYING fails (as for a camera another program holds)
    int streamErrorAfterFrames = -1; // posts a stream error after N frames; the device stays present
    int removedAfterFrames = -1;     // the device vanishes after N frames: it errors like an unplugged
                                     // camera and IsDevicePresent() is false from then on
    int endsAfterFrames = -1;        // the stream ends without an error after N frames and the device is
                                     // gone, as a camera that leaves without a word
    int firstFrameAfterMs = -1;      // delivers nothing for N ms after it starts, like a slow camera
    bool nameUnreadable = false;     // the friendly name cannot be read
    bool notVideoMajorType = false;  // its capture format is a multiplexed stream, not plain video
};

struct DeviceDescription {
    DeviceKind kind = DeviceKind::Video;
    // Stable within the run: "virtual:video:0" for a virtual device, "<api>:<path or name>" for a
    // real one (e.g. "v4l2:/dev/video0", "pulse:alsa_input.usb-...").
    std::string id;
    std::string friendlyName; // UTF-8
    std::vector<VideoCapability> videoCaps; // in the device's order
    std::vector<AudioCapability> audioCaps; // in the device's order; never empty for a microphone
    DeviceFaults faults;
    bool isVirtual = false;
    std::shared_ptr<void> native; // the GstDevice of a real device (one reference); empty for a virtual one
};

// The devices of one kind, in a stable order. When LUMO_VIRTUAL_DEVICES is set (even to ""), it is
// the only source of devices; otherwise the devices come from a GstDeviceMonitor that is started on
// the first call and kept for the run (video: V4L2 and PipeWire cameras; audio: PulseAudio,
// PipeWire or ALSA microphones without the monitor sources of outputs). Initialises GStreamer when
// nobody has yet.
std::vector<DeviceDescription> ListDevices(DeviceKind kind);

// False once the device has gone: a real one no longer listed by the monitor (or whose V4L2 node is
// gone), a virtual one after its removal fault fired. The monitor may learn of an unplugged camera a
// moment after the camera's stream error, so a caller that sees an error may ask again shortly.
bool IsDevicePresent(const DeviceDescription& device);

// A GstBin with one ghost "src" pad and live sources inside. A camera's bin delivers video/x-raw of
// the chosen capability (the first one when `chosen` is null): the capability's own format, with
// MJPG decoded to I420, RGB24 as BGR and RGB32 as BGRx; at `framesPerSecond` when > 0, else at the
// capability's rate. A microphone's bin delivers interleaved audio/x-raw of its first audio
// capability (`chosen` is ignored). The faults of a virtual device are built in. Floating
// reference; nullptr when the device cannot be opened at all (or has been removed).
GstElement* CreateSourceBin(const DeviceDescription& device, const VideoCapability* chosen,
                            double framesPerSecond);

// Whether `bin` holds a source whose start waits on its media server: going to PAUSED lasts until
// the server has linked and started its node, which may take as long as the server takes (up to
// half a minute). Such a pipeline is started away from the UI thread.
bool WaitsOnMediaServer(GstElement* bin);

// Makes every such source inside `bin` give up its wait now (a start in progress then fails), so
// that the pipeline can be stopped at once.
void CancelMediaServerWaits(GstElement* bin);

// Told when a device arrives or goes (a real one through the monitor, a virtual one when its
// removal fault fires), on whatever thread noticed it. One listener; nullptr removes it.
using DeviceChangeListener = void (*)(DeviceKind kind, bool arrived);
void SetDeviceChangeListener(DeviceChangeListener listener);
void NotifyDeviceChange(DeviceKind kind, bool arrived);

} // namespace lumo::media
