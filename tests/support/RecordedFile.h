// A recorded file as independent decoders see it: ffprobe for the streams and the duration, ffmpeg
// decoding the whole file for errors.
#pragma once

#include <map>
#include <string>
#include <vector>

struct RecordedFile {
    struct Stream {
        std::string type;  // "video" or "audio"
        std::string codec; // "wmv2", "wmav2"
        int width = 0;
        int height = 0;
        double start = 0;    // start time in seconds
        double duration = 0; // 0 when the container does not say
        // From the packets themselves: the first time, and the last time plus its duration (or plus
        // the spacing of the last two when the packet does not say). Both 0 without packets.
        double firstPacket = 0;
        double packetEnd = 0;
        int packets = 0;
        long long bytes = 0; // of all its packets
    };
    std::vector<Stream> streams;
    double duration = 0;      // of the whole file, seconds
    double start = 0;         // the file's start time, seconds
    std::string decodeErrors; // what `ffmpeg -v error` said while decoding every frame
    int videoFrames = 0;      // frames decoded from the first video stream
    double videoBitRate = 0;  // the first video stream's packet bytes over its packets' span, bits a second
    bool readable = false;    // ffprobe found a container

    const Stream* Of(const std::string& type) const;
    int Count(const std::string& type) const;
};

// Probes `path` (ffprobe and ffmpeg run as child processes).
RecordedFile ProbeRecording(const std::string& path);
