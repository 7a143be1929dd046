#include "platform/media/gst/VirtualDevices.h"

#include "platform/media/gst/CaptureSupport.h"

#include <glib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace lumo::media {

namespace {

constexpr int kSmallestSide = 32;
constexpr int kLargestSide = 8192;
constexpr double kFastestVirtualRate = 240.0;
constexpr int kLargestFaultCount = 1000000;

template <typename T>
struct Parsed {
    std::optional<T> value;
    std::string error;
    static Parsed Fail(std::string why) { return {std::nullopt, std::move(why)}; }
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    // A trailing escaped space belongs to the text.
    while (!text.empty() && IsSpace(text.back()) && !(text.size() >= 2 && text[text.size() - 2] == '\\'))
        text.remove_suffix(1);
    return text;
}

std::string Lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// Splits at `separator`, keeping escapes in the pieces so that a later split still honours them.
std::vector<std::string_view> SplitEscaped(std::string_view text, char separator)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
            continue;
        }
        if (text[i] == separator) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(text.substr(std::min(start, text.size())));
    return pieces;
}

std::string Unescape(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        result += text[i];
    }
    return result;
}

std::optional<int> ReadInt(std::string_view text)
{
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> ReadDecimal(std::string_view text)
{
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<PixelFormat> ReadPixelFormat(std::string_view text)
{
    static constexpr std::pair<const char*, PixelFormat> kFormats[] = {
        {"yuy2", PixelFormat::YUY2}, {"uyvy", PixelFormat::UYVY}, {"mjpg", PixelFormat::MJPG},
        {"nv12", PixelFormat::NV12}, {"i420", PixelFormat::I420}, {"yv12", PixelFormat::YV12},
        {"rgb24", PixelFormat::RGB24}, {"rgb32", PixelFormat::RGB32},
    };
    std::string name = Lower(text);
    for (const auto& [known, format] : kFormats) {
        if (name == known)
            return format;
    }
    return std::nullopt;
}

bool IsGoodSide(int side) { return side >= kSmallestSide && side <= kLargestSide && side % 2 == 0; }

// FORMAT WIDTHxHEIGHT[@FPS]
Parsed<VideoCapability> ReadVideoCapability(std::string_view text)
{
    auto space = std::find_if(text.begin(), text.end(), IsSpace);
    if (space == text.end())
        return Parsed<VideoCapability>::Fail("capability '" + std::string(text) + "' is not FORMAT WIDTHxHEIGHT[@FPS]");
    auto format = ReadPixelFormat(text.substr(0, static_cast<size_t>(space - text.begin())));
    if (!format)
        return Parsed<VideoCapability>::Fail("unknown format in '" + std::string(text) + "'");
    std::string rest;
    for (auto it = space; it != text.end(); ++it) {
        if (!IsSpace(*it))
            rest += *it;
    }
    std::string_view size = rest;
    double framesPerSecond = 30.0;
    if (size_t at = size.find('@'); at != std::string_view::npos) {
        auto rate = ReadDecimal(size.substr(at + 1));
        if (!rate || !(*rate > 0 && *rate <= kFastestVirtualRate))
            return Parsed<VideoCapability>::Fail("bad frame rate in '" + std::string(text) + "'");
        framesPerSecond = *rate;
        size = size.substr(0, at);
    }
    size_t cross = size.find_first_of("xX");
    if (cross == std::string_view::npos)
        return Parsed<VideoCapability>::Fail("bad size in '" + std::string(text) + "'");
    auto width = ReadInt(size.substr(0, cross));
    auto height = ReadInt(size.substr(cross + 1));
    if (!width || !height || !IsGoodSide(*width) || !IsGoodSide(*height))
        return Parsed<VideoCapability>::Fail("bad size in '" + std::string(text) + "' (even, 32..8192)");
    return {VideoCapability {*format, *width, *height, FrameIntervalOf(framesPerSecond)}, {}};
}

// RATE/CHANNELS[/BITS]
Parsed<AudioCapability> ReadAudioCapability(std::string_view text)
{
    auto parts = SplitEscaped(text, '/');
    if (parts.size() < 2 || parts.size() > 3)
        return Parsed<AudioCapability>::Fail("capability '" + std::string(text) + "' is not RATE/CHANNELS[/BITS]");
    auto rate = ReadInt(Trim(parts[0]));
    auto channels = ReadInt(Trim(parts[1]));
    auto bits = parts.size() == 3 ? ReadInt(Trim(parts[2])) : std::optional<int>(16);
    if (!rate || *rate < 8000 || *rate > 192000)
        return Parsed<AudioCapability>::Fail("bad sample rate in '" + std::string(text) + "'");
    if (!channels || *channels < 1 || *channels > 2)
        return Parsed<AudioCapability>::Fail("bad channel count in '" + std::string(text) + "'");
    if (!bits || !AudioFormatName(*bits))
        return Parsed<AudioCapability>::Fail("bad sample size in '" + std::string(text) + "'");
    return {AudioCapability {*rate, *channels, *bits}, {}};
}

std::optional<std::string> ReadFault(std::string_view text, DeviceFaults& faults)
{
    std::string fault = Lower(Trim(text));
    auto count = [&](std::string_view prefix) -> std::optional<int> {
        auto value = ReadInt(Trim(std::string_view(fault).substr(prefix.size())));
        if (!value || *value < 0 || *value > kLargestFaultCount)
            return std::nullopt;
        return value;
    };
    if (fault == "cannot-start") {
        faults.cannotStart = true;
        return std::nullopt;
    }
    if (fault == "name-unreadable") {
        faults.nameUnreadable = true;
        return std::nullopt;
    }
    if (fault == "not-video") {
        faults.notVideoMajorType = true;
        return std::nullopt;
    }
    if (fault.starts_with("error-after:")) {
        auto frames = count("error-after:");
        if (!frames)
            return "bad count in fault '" + fault + "'";
        faults.streamErrorAfterFrames = *frames;
        return std::nullopt;
    }
    if (fault.starts_with("ends-after:")) {
        auto frames = count("ends-after:");
        if (!frames)
            return "bad count in fault '" + fault + "'";
        faults.endsAfterFrames = *frames;
        return std::nullopt;
    }
    if (fault.starts_with("first-frame-after:")) {
        auto milliseconds = count("first-frame-after:");
        if (!milliseconds)
            return "bad time in fault '" + fault + "'";
        faults.firstFrameAfterMs = *milliseconds;
        return std::nullopt;
    }
    if (fault.starts_with("removed-after:")) {
        auto frames = count("removed-after:");
        if (!frames)
            return "bad count in fault '" + fault + "'";
        faults.removedAfterFrames = *frames;
        return std::nullopt;
    }
    return "unknown fault '" + fault + "'";
}

std::optional<std::string> ReadOption(std::string_view text, DeviceDescription& device)
{
    size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return "option '" + std::string(text) + "' has no '='";
    std::string key = Lower(Trim(text.substr(0, equals)));
    std::string value = Unescape(Trim(text.substr(equals + 1)));
    if (key == "fault") {
        for (std::string_view fault : SplitEscaped(value, ',')) {
            if (auto error = ReadFault(fault, device.faults))
                return error;
        }
        return std::nullopt;
    }
    if (key != "caps")
        return "unknown option '" + key + "'";
    for (std::string_view item : SplitEscaped(value, ',')) {
        item = Trim(item);
        if (device.kind == DeviceKind::Video) {
            auto capability = ReadVideoCapability(item);
            if (!capability.value)
                return capability.error;
            device.videoCaps.push_back(*capability.value);
            continue;
        }
        auto capability = ReadAudioCapability(item);
        if (!capability.value)
            return capability.error;
        device.audioCaps.push_back(*capability.value);
    }
    return std::nullopt;
}

std::vector<VideoCapability> DefaultCameraCapabilities()
{
    auto cap = [](PixelFormat format, int width, int height, double rate) {
        return VideoCapability {format, width, height, FrameIntervalOf(rate)};
    };
    return {
        cap(PixelFormat::YUY2, 640, 480, 30), cap(PixelFormat::YUY2, 320, 240, 30),
        cap(PixelFormat::YUY2, 800, 600, 20), cap(PixelFormat::YUY2, 1280, 720, 10),
        cap(PixelFormat::MJPG, 640, 480, 30), cap(PixelFormat::MJPG, 800, 600, 30),
        cap(PixelFormat::MJPG, 1280, 720, 30),
    };
}

Parsed<DeviceDescription> ReadEntry(std::string_view entry)
{
    auto pieces = SplitEscaped(entry, '|');
    std::string_view head = pieces.front();
    size_t colon = head.find(':');
    if (colon == std::string_view::npos)
        return Parsed<DeviceDescription>::Fail("no 'kind:' before the name");
    DeviceDescription device;
    device.isVirtual = true;
    std::string kind = Lower(Trim(head.substr(0, colon)));
    if (kind == "audio")
        device.kind = DeviceKind::Audio;
    else if (kind != "video")
        return Parsed<DeviceDescription>::Fail("unknown kind '" + kind + "'");
    device.friendlyName = Unescape(Trim(head.substr(colon + 1)));
    if (device.friendlyName.empty())
        return Parsed<DeviceDescription>::Fail("empty name");
    if (!g_utf8_validate(device.friendlyName.data(), static_cast<gssize>(device.friendlyName.size()), nullptr))
        return Parsed<DeviceDescription>::Fail("name is not UTF-8");
    for (size_t i = 1; i < pieces.size(); ++i) {
        std::string_view option = Trim(pieces[i]);
        if (option.empty())
            continue;
        if (auto error = ReadOption(option, device))
            return Parsed<DeviceDescription>::Fail(*error);
    }
    if (device.kind == DeviceKind::Video && device.videoCaps.empty())
        device.videoCaps = DefaultCameraCapabilities();
    if (device.kind == DeviceKind::Audio && device.audioCaps.empty())
        device.audioCaps.push_back(AudioCapability {});
    return {std::move(device), {}};
}

// Devices removed by their fault (by id and name, so a new text with other devices is not
// affected), and the texts whose skipped entries have been noted.
struct VirtualState {
    std::mutex lock;
    std::set<std::string> removed;
    std::set<std::string> notedTexts;
};

VirtualState& State()
{
    static VirtualState state;
    return state;
}

std::string RemovalKey(const std::string& id, const std::string& friendlyName) { return id + '\n' + friendlyName; }

void NoteSkipped(std::string_view text, const std::vector<std::string>& skipped)
{
    if (skipped.empty())
        return;
    VirtualState& state = State();
    {
        std::lock_guard guard(state.lock);
        if (!state.notedTexts.emplace(text).second)
            return;
    }
    std::string note = std::string("lumo: ") + kVirtualDevicesVariable + ": skipped " + std::to_string(skipped.size())
        + (skipped.size() == 1 ? " entry" : " entries") + " that could not be read:\n";
    for (const auto& entry : skipped)
        note += "  " + entry + "\n";
    std::fputs(note.c_str(), stderr);
}

} // namespace

VirtualDeviceList ParseVirtualDevices(std::string_view text)
{
    VirtualDeviceList list;
    int videoCount = 0;
    int audioCount = 0;
    for (std::string_view raw : SplitEscaped(text, ';')) {
        std::string_view entry = Trim(raw);
        if (entry.empty())
            continue;
        auto parsed = ReadEntry(entry);
        if (!parsed.value) {
            list.skipped.push_back("'" + std::string(entry) + "': " + parsed.error);
            continue;
        }
        DeviceDescription& device = *parsed.value;
        bool video = device.kind == DeviceKind::Video;
        device.id = std::string("virtual:") + (video ? "video:" : "audio:") + std::to_string(video ? videoCount++ : audioCount++);
        list.devices.push_back(std::move(device));
    }
    return list;
}

std::vector<DeviceDescription> ListVirtualDevices(std::string_view text, DeviceKind kind)
{
    VirtualDeviceList list = ParseVirtualDevices(text);
    NoteSkipped(text, list.skipped);
    std::vector<DeviceDescription> devices;
    for (auto& device : list.devices) {
        if (device.kind == kind && IsVirtualDevicePresent(device))
            devices.push_back(std::move(device));
    }
    return devices;
}

bool IsVirtualDevicePresent(const DeviceDescription& device)
{
    VirtualState& state = State();
    std::lock_guard guard(state.lock);
    return !state.removed.contains(RemovalKey(device.id, device.friendlyName));
}

void MarkVirtualDeviceRemoved(const std::string& id, const std::string& friendlyName)
{
    VirtualState& state = State();
    std::lock_guard guard(state.lock);
    state.removed.insert(RemovalKey(id, friendlyName));
}

void ForgetVirtualDeviceRemovals()
{
    VirtualState& state = State();
    std::lock_guard guard(state.lock);
    state.removed.clear();
}

} // namespace lumo::media
