#include "tests/capture/RecordedFile.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// The standard output and standard error of a program run from its argv, never through a shell.
std::string Run(const std::vector<std::string>& argv)
{
    // The argument vector is made before the fork: the child of a threaded process only calls exec.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return {};
    }
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char block[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], block, sizeof block)) > 0)
        output.append(block, static_cast<size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return output;
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
                                   "format=duration,format_name", "-of", "flat", path }));
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
    // Packets: "stream_index,pts_time,duration_time" per line.
    std::istringstream packets(Run({ "ffprobe", "-v", "error", "-show_entries", "packet=stream_index,pts_time,duration_time",
                                     "-of", "csv=p=0", path }));
    std::vector<double> previous(file.streams.size(), -1);
    while (std::getline(packets, line)) {
        int index = -1;
        double time = 0;
        char duration[32] = {};
        if (std::sscanf(line.c_str(), "%d,%lf,%31s", &index, &time, duration) < 2 || index < 0
            || static_cast<size_t>(index) >= file.streams.size())
            continue;
        RecordedFile::Stream& stream = file.streams[static_cast<size_t>(index)];
        double length = std::atof(duration);
        if (length <= 0 && previous[static_cast<size_t>(index)] >= 0)
            length = time - previous[static_cast<size_t>(index)];
        if (stream.packets == 0)
            stream.firstPacket = time;
        stream.packetEnd = std::max(stream.packetEnd, time + std::max(length, 0.0));
        previous[static_cast<size_t>(index)] = time;
        ++stream.packets;
    }
    file.decodeErrors = Run({ "ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-" });
    std::string frames = Run({ "ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                               "stream=nb_read_frames", "-of", "csv=p=0", path });
    file.videoFrames = std::atoi(frames.c_str());
    return file;
}
