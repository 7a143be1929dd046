// libFuzzer target: the LUMO_VIRTUAL_DEVICES description. Every device read keeps to the
// documented ranges, and a name written back with escapes reads as the same name.
// The project's Windows types come before GLib's TRUE and FALSE macros.
#include "support/FuzzSupport.h"

#include "platform/media/gst/VirtualDevices.h"

#include <glib.h>

using namespace lumo::media;

namespace {

constexpr long long kFastestInterval = 10000000LL / 240;

std::string Escaped(const std::string& name)
{
    std::string text;
    for (char c : name) {
        if (c == ';' || c == '|' || c == '\\' || static_cast<unsigned char>(c) <= ' ')
            text += '\\';
        text += c;
    }
    return text;
}

void CheckDevice(const DeviceDescription& device, int index)
{
    bool video = device.kind == DeviceKind::Video;
    fuzz::Check(device.isVirtual, "a described device is virtual");
    fuzz::Check(device.id == std::string("virtual:") + (video ? "video:" : "audio:") + std::to_string(index),
        "ids count the devices of each kind");
    fuzz::Check(!device.friendlyName.empty(), "names are not empty");
    fuzz::Check(g_utf8_validate(device.friendlyName.data(), static_cast<gssize>(device.friendlyName.size()), nullptr),
        "names are UTF-8");
    if (video) {
        fuzz::Check(!device.videoCaps.empty() && device.audioCaps.empty(), "a camera has video capabilities only");
        for (const VideoCapability& cap : device.videoCaps) {
            fuzz::Check(cap.width >= 32 && cap.width <= 8192 && cap.width % 2 == 0, "widths are even, 32 to 8192");
            fuzz::Check(cap.height >= 32 && cap.height <= 8192 && cap.height % 2 == 0, "heights are even, 32 to 8192");
            fuzz::Check(cap.frameInterval >= kFastestInterval, "rates are at most 240 per second");
        }
    } else {
        fuzz::Check(!device.audioCaps.empty() && device.videoCaps.empty(), "a microphone has audio capabilities only");
        for (const AudioCapability& cap : device.audioCaps) {
            fuzz::Check(cap.sampleRate >= 8000 && cap.sampleRate <= 192000, "rates are 8000 to 192000");
            fuzz::Check(cap.channels == 1 || cap.channels == 2, "one or two channels");
            fuzz::Check(cap.bitsPerSample == 8 || cap.bitsPerSample == 16 || cap.bitsPerSample == 24 || cap.bitsPerSample == 32,
                "8, 16, 24 or 32 bits");
        }
    }
    for (int count : { device.faults.streamErrorAfterFrames, device.faults.removedAfterFrames })
        fuzz::Check(count == -1 || (count >= 0 && count <= 1000000), "fault counts are 0 to 1000000");

    VirtualDeviceList again = ParseVirtualDevices((video ? "video:" : "audio:") + Escaped(device.friendlyName));
    fuzz::Check(again.devices.size() == 1 && again.devices[0].friendlyName == device.friendlyName,
        "an escaped name reads back as itself");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    VirtualDeviceList list = ParseVirtualDevices(fuzz::Text(data, size));
    int cameras = 0;
    int microphones = 0;
    for (const DeviceDescription& device : list.devices)
        CheckDevice(device, device.kind == DeviceKind::Video ? cameras++ : microphones++);
    return 0;
}
