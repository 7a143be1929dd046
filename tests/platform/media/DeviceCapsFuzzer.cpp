// libFuzzer target: caps as a device provider reports them, read into capabilities. Whatever the
// caps say, the capabilities are shown sizes with a usable rate, one per format and size, and the
// current format put first keeps the list's members.
#include "support/FuzzSupport.h"

#include "platform/media/gst/DeviceCaps.h"
#include "CapsText.h"

#include <gst/gst.h>

#include <algorithm>
#include <string>

using namespace lumo::media;

namespace {

void CheckVideo(const std::vector<VideoCapability>& capabilities)
{
    for (size_t i = 0; i < capabilities.size(); ++i) {
        const VideoCapability& c = capabilities[i];
        fuzz::Check(c.width > 0 && c.width <= 16384 && c.height > 0 && c.height <= 16384, "sizes are shown sizes");
        fuzz::Check(c.frameInterval >= 10000 && c.frameInterval <= 100000000LL, "rates are usable");
        for (size_t j = 0; j < i; ++j) {
            const VideoCapability& d = capabilities[j];
            fuzz::Check(!(c.format == d.format && c.width == d.width && c.height == d.height), "one per format and size");
        }
    }
}

// The reader must build what GStreamer's parser builds from the text of real devices' caps.
void CheckReaderAgreesWithGStreamer()
{
    static const char* const kDeviceCaps[] = {
        "video/x-raw, format=(string)YUY2, width=(int)1920, height=(int)1080, framerate=(fraction)5/1; "
        "image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction){ 30/1, 15/1 }",
        "video/x-raw, format=(string){ NV12, YUY2 }, width=(int)[ 32, 1280, 32 ], height=(int)[ 32, 720, 8 ], "
        "framerate=(fraction)[ 1/1, 30/1 ], pixel-aspect-ratio=1/1",
        "video/x-raw(memory:DMABuf), format=NV12, width=1920, height=1080, colorimetry=\"bt709\"; video/x-h264, "
        "width=(int)<1920, 1280>, height=[ 1, 1080 ], max-framerate=(double)[ 0.5, 60.0 ], parsed=true",
        "audio/x-raw, format=(string){ S16LE, F32LE }, layout=(string)interleaved, rate=(int)[ 1, 384000 ], "
        "channels=(int)[ 1, 32 ], channel-mask=(bitmask)0x3",
        "ANY",
    };
    for (const char* text : kDeviceCaps) {
        GstCaps* read = fuzz::CapsFromText(text);
        GstCaps* parsed = gst_caps_from_string(text);
        fuzz::Check(read && parsed && gst_caps_is_strictly_equal(read, parsed), std::string("the reader reads ") + text);
        gst_caps_unref(read);
        gst_caps_unref(parsed);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool initialised = (gst_init(nullptr, nullptr), CheckReaderAgreesWithGStreamer(), true);
    (void)initialised;
    GstCaps* caps = fuzz::CapsFromText(fuzz::Text(data, std::min<std::size_t>(size, 4096)));
    if (!caps)
        return 0;
    std::vector<VideoCapability> video = VideoCapabilitiesOf(caps);
    CheckVideo(video);
    std::vector<AudioCapability> audio = AudioCapabilitiesOf(caps);
    fuzz::Check(!audio.empty(), "a microphone always has a shape");
    for (const AudioCapability& a : audio) {
        fuzz::Check(a.sampleRate >= 1000 && a.sampleRate <= 384000, "rates are sound rates");
        fuzz::Check(a.channels == 1 || a.channels == 2, "mono or stereo");
        fuzz::Check(a.bitsPerSample == 8 || a.bitsPerSample == 16 || a.bitsPerSample == 24 || a.bitsPerSample == 32,
            "integer samples");
    }
    if (!video.empty()) {
        std::vector<VideoCapability> moved = video;
        PutCurrentFormatFirst(moved, video.back());
        fuzz::Check(moved.size() == video.size(), "a listed current format adds nothing");
        fuzz::Check(moved.front().width == video.back().width && moved.front().height == video.back().height,
            "the current format comes first");
    }
    gst_caps_unref(caps);
    return 0;
}
