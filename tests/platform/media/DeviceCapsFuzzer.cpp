// libFuzzer target: caps as a device provider reports them, read into capabilities. Whatever the
// caps say, the capabilities are shown sizes with a usable rate, one per format and size, and the
// current format put first keeps the list's members.
#include "support/FuzzSupport.h"

#include "platform/media/gst/DeviceCaps.h"

#include <gst/gst.h>

#include <algorithm>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool initialised = (gst_init(nullptr, nullptr), true);
    (void)initialised;
    std::string text = fuzz::Text(data, std::min<std::size_t>(size, 4096));
    GstCaps* caps = gst_caps_from_string(text.c_str());
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
