#include "tests/support/RecordedFile.h"

#include "tests/support/ToolRunner.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

// A full decode of a few seconds takes well under this even on a loaded machine.
constexpr int kToolTimeoutMs = 60000;

// What the tool wrote to its standard output and standard error.
std::string Run(const std::vector<std::string>& argv)
{
    std::string output;
    RunTool(argv, &output, kToolTimeoutMs, ToolErrors::Kept);
    return output;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream text(line);
    for (std::string field; std::getline(text, field, ',');)
        fields.push_back(field);
    return fields;
}

std::string Unquote(std::string value)
{
    if (value.size() >= 2 && value.front() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

} // namespace

const RecordedFile::Stream* RecordedFile::Of(const std::string& type) const
{
    for (const Stream& stream : streams) {
        if (stream.type == type)
            return &stream;
    }
    return nullptr;
}

int RecordedFile::Count(const std::string& type) const
{
    int count = 0;
    for (const Stream& stream : streams)
        count += stream.type == type;
    return count;
}

RecordedFile ProbeRecording(const std::string& path)
{
    RecordedFile file;
    std::istringstream lines(Run({ "ffprobe", "-v", "error", "-show_entries",
                                   "stream=codec_type,codec_name,width,height,start_time,duration", "-show_entries",
                                   "format=duration,start_time,format_name", "-of", "flat", path }));
    std::string line;
    while (std::getline(lines, line)) {
        // streams.stream.0.codec_name="wmv2"   format.duration="2.040000"
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        std::string value = Unquote(line.substr(equals + 1));
        if (key == "format.duration") {
            file.duration = std::atof(value.c_str());
        } else if (key == "format.start_time") {
            file.start = std::atof(value.c_str());
        } else if (key == "format.format_name") {
            file.readable = !value.empty();
        } else if (key.rfind("streams.stream.", 0) == 0) {
            size_t index = static_cast<size_t>(std::atoi(key.c_str() + 15));
            if (file.streams.size() <= index)
                file.streams.resize(index + 1);
            RecordedFile::Stream& stream = file.streams[index];
            std::string field = key.substr(key.find('.', 15) + 1);
            if (field == "codec_type")
                stream.type = value;
            else if (field == "codec_name")
                stream.codec = value;
            else if (field == "width")
                stream.width = std::atoi(value.c_str());
            else if (field == "height")
                stream.height = std::atoi(value.c_str());
            else if (field == "start_time")
                stream.start = std::atof(value.c_str());
            else if (field == "duration")
                stream.duration = std::atof(value.c_str());
        }
    }
    // Packets: "stream_index,pts_time,duration_time,size" per line; the duration may be "N/A".
    std::istringstream packets(Run({ "ffprobe", "-v", "error", "-show_entries",
                                     "packet=stream_index,pts_time,duration_time,size", "-of", "csv=p=0", path }));
    std::vector<double> previous(file.streams.size(), -1);
    while (std::getline(packets, line)) {
        std::vector<std::string> fields = Fields(line);
        if (fields.size() < 4)
            continue;
        int index = std::atoi(fields[0].c_str());
        if (fields[0].empty() || index < 0 || static_cast<size_t>(index) >= file.streams.size())
            continue;
        RecordedFile::Stream& stream = file.streams[static_cast<size_t>(index)];
        double time = std::atof(fields[1].c_str());
        double length = std::atof(fields[2].c_str());
        if (length <= 0 && previous[static_cast<size_t>(index)] >= 0)
            length = time - previous[static_cast<size_t>(index)];
        if (stream.packets == 0)
            stream.firstPacket = time;
        stream.packetEnd = std::max(stream.packetEnd, time + std::max(length, 0.0));
        stream.bytes += std::atoll(fields[3].c_str());
        previous[static_cast<size_t>(index)] = time;
        ++stream.packets;
    }
    if (const RecordedFile::Stream* video = file.Of("video"); video && video->packetEnd > video->firstPacket)
        file.videoBitRate = video->bytes * 8 / (video->packetEnd - video->firstPacket);
    int decoded = RunTool({ "ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-" }, &file.decodeErrors,
        kToolTimeoutMs, ToolErrors::Kept);
    if (decoded != 0)
        file.decodeErrors = "ffmpeg failed (" + std::to_string(decoded) + "): " + file.decodeErrors;
    std::string frames = Run({ "ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                               "stream=nb_read_frames", "-of", "csv=p=0", path });
    file.videoFrames = std::atoi(frames.c_str());
    return file;
}
