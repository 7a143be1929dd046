// libFuzzer target: caps as a device provider reports them, read into capabilities. Whatever the
// caps say, the capabilities are shown sizes with a usable rate, one per format and size, and the
// current format put first keeps the list's members.
#include "support/FuzzSupport.h"

#include "platform/media/gst/DeviceCaps.h"

#include <gst/gst.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

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

// GStreamer keeps every structure, field and feature name it ever parses, for the life of the
// process: millions of made-up names exhaust the memory of a long run while nothing leaks. Inputs
// name only what device providers name; any other name rejects the input before it is parsed.
bool NamesOnlyKnownNames(const std::string& text)
{
    static const std::set<std::string, std::less<>> kNames = {
        // structures
        "video/x-raw", "image/jpeg", "audio/x-raw", "video/x-h264", "video/x-bayer", "video/x-raw-depth",
        "video/x-h265", "video/x-vp8", "ANY", "EMPTY", "NONE",
        // fields
        "format", "width", "height", "framerate", "max-framerate", "pixel-aspect-ratio", "interlace-mode",
        "colorimetry", "chroma-site", "views", "multiview-mode", "rate", "channels", "layout", "channel-mask",
        "parsed", "stream-format", "alignment", "profile",
        // features and types
        "memory:DMABuf", "memory:SystemMemory", "memory:GLMemory", "meta:GstVideoOverlayComposition",
        "string", "int", "fraction", "boolean", "double", "float", "bitmask", "uint", "i", "f", "s", "b", "d",
        "GstFraction", "gint", "gchararray", "gboolean", "gdouble",
    };
    bool quoted = false;
    int depth = 0; // inside parentheses: a type, or a list of features
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '"' && (i == 0 || text[i - 1] != '\\'))
            quoted = !quoted;
        if (!quoted && c == '(')
            ++depth;
        if (!quoted && c == ')' && depth > 0)
            --depth;
        auto word = [](char w) { return std::isalnum(static_cast<unsigned char>(w)) || (w && std::strchr("_:/.+-", w)); };
        if (quoted || !word(c)) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && word(text[end]))
            ++end;
        std::string_view token(text.data() + i, end - i);
        size_t next = text.find_first_not_of(" \t\n\r", end);
        size_t before = text.find_last_not_of(" \t\n\r", i == 0 ? std::string::npos : i - 1);
        bool field = next != std::string::npos && text[next] == '=';
        bool structure = i == 0 || before == std::string::npos || text[before] == ';';
        bool typeOrFeature = depth > 0;
        if ((field || structure || typeOrFeature) && !kNames.count(token))
            return false;
        i = end;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool initialised = (gst_init(nullptr, nullptr), true);
    (void)initialised;
    std::string text = fuzz::Text(data, std::min<std::size_t>(size, 4096));
    if (!NamesOnlyKnownNames(text))
        return 0;
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
