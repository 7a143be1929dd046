// The photo writer against a plain libjpeg-turbo encode of the same frame with the same settings
// (TurboJPEG, accurate DCT, 4:2:0, quality 90, bottom-up blue-green-red rows), both writing the
// file. The photo writer may cost at most 1.15 times the plain encode; the "ratio" counter of
// BM_PhotoWriterAgainstTurboJpeg measures the two alternately on the same frame.
#include "imaging/SaveFrame.h"
#include "platform/base/Strings.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <time.h>

namespace {

struct Frame {
    int width;
    int height;
    int stride;
    std::vector<unsigned char> bytes;
};

// Smooth shapes with a little sensor noise, closer to a camera picture than pure noise or flat
// colour, both of which make the entropy coder's share unrealistic.
Frame MakeFrame(int width, int height)
{
    Frame frame {width, height, (width * 3 + 3) / 4 * 4, {}};
    frame.bytes.assign(static_cast<size_t>(frame.stride) * static_cast<size_t>(height), 0);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = frame.bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(frame.stride);
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            int noise = static_cast<int>(state >> 28) - 8;
            double u = static_cast<double>(x) / width;
            double v = static_cast<double>(y) / height;
            int blue = static_cast<int>(128 + 100 * std::sin(6 * u + 2 * v)) + noise;
            int green = static_cast<int>(128 + 90 * std::cos(9 * v - 3 * u)) + noise;
            int red = static_cast<int>(128 + 110 * std::sin(4 * u * v * 10)) + noise;
            row[x * 3] = static_cast<unsigned char>(std::clamp(blue, 0, 255));
            row[x * 3 + 1] = static_cast<unsigned char>(std::clamp(green, 0, 255));
            row[x * 3 + 2] = static_cast<unsigned char>(std::clamp(red, 0, 255));
        }
    }
    return frame;
}

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-jpeg-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~ScratchFolder()
    {
        if (!m_path.empty())
            std::filesystem::remove_all(m_path);
    }
    std::string File(const char* name) const { return m_path + "/" + name; }
    bool Ok() const { return !m_path.empty(); }

private:
    std::string m_path;
};

class TurboEncoder {
public:
    explicit TurboEncoder(const Frame& frame)
        : m_handle(tjInitCompress()), m_capacity(tjBufSize(frame.width, frame.height, TJSAMP_420)),
          m_buffer(tjAlloc(static_cast<int>(m_capacity)))
    {
    }
    ~TurboEncoder()
    {
        tjFree(m_buffer);
        tjDestroy(m_handle);
    }

    // Encodes into the preallocated buffer and writes the file in one go.
    bool Save(const Frame& frame, const std::string& path)
    {
        unsigned long size = m_capacity;
        if (tjCompress2(m_handle, frame.bytes.data(), frame.width, frame.stride, frame.height, TJPF_BGR, &m_buffer, &size,
                TJSAMP_420, 90, TJFLAG_BOTTOMUP | TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC) != 0)
            return false;
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            return false;
        bool written = std::fwrite(m_buffer, 1, size, file) == size;
        return std::fclose(file) == 0 && written;
    }

private:
    tjhandle m_handle;
    unsigned long m_capacity;
    unsigned char* m_buffer;
};

void SavePhoto(const Frame& frame, const WString& path)
{
    SaveFrameAsJpeg(frame.bytes.data(), static_cast<LONG>(frame.bytes.size()), static_cast<UINT>(frame.width),
        static_cast<UINT>(frame.height), path.c_str());
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The two files differ only in the JFIF density (unit and both densities, bytes 13 to 17): the
// photo writer states 96 dots per inch, TurboJPEG leaves libjpeg's 1:1 aspect ratio.
bool SameApartFromDensity(std::string photo, std::string plain)
{
    if (photo.size() != plain.size() || photo.size() < 18)
        return false;
    for (size_t i = 13; i < 18; ++i)
        photo[i] = plain[i];
    return photo == plain;
}

void SetFrameSize(benchmark::State& state, const Frame& frame)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.width * frame.height * 3);
    state.SetLabel(std::to_string(frame.width) + "x" + std::to_string(frame.height));
}

void BM_SaveFrameAsJpeg(benchmark::State& state)
{
    Frame frame = MakeFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ScratchFolder folder;
    WString path = Utf8ToWide(folder.File("photo.jpg"));
    for (auto _ : state)
        SavePhoto(frame, path);
    SetFrameSize(state, frame);
}

void BM_TurboJpegCompress2(benchmark::State& state)
{
    Frame frame = MakeFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ScratchFolder folder;
    TurboEncoder encoder(frame);
    std::string path = folder.File("plain.jpg");
    for (auto _ : state) {
        if (!encoder.Save(frame, path)) {
            state.SkipWithError("tjCompress2 failed");
            break;
        }
    }
    SetFrameSize(state, frame);
}

// The thread's processor time, user and system: on a busy machine the wall clock mostly measures
// the other processes.
std::chrono::nanoseconds ThreadTime()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Both sides in turn on the same frame, so drifts of the machine touch both alike. The ratio is
// of processor time.
void BM_PhotoWriterAgainstTurboJpeg(benchmark::State& state)
{
    Frame frame = MakeFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ScratchFolder folder;
    TurboEncoder encoder(frame);
    std::string photoPath = folder.File("photo.jpg");
    std::string plainPath = folder.File("plain.jpg");
    WString widePhotoPath = Utf8ToWide(photoPath);
    SavePhoto(frame, widePhotoPath);
    if (!encoder.Save(frame, plainPath) || !SameApartFromDensity(ReadBytes(photoPath), ReadBytes(plainPath))) {
        state.SkipWithError("the photo writer's file is not the plain encode's");
        return;
    }
    std::chrono::nanoseconds photo {};
    std::chrono::nanoseconds plain {};
    for (auto _ : state) {
        auto start = ThreadTime();
        SavePhoto(frame, widePhotoPath);
        auto middle = ThreadTime();
        encoder.Save(frame, plainPath);
        auto end = ThreadTime();
        photo += middle - start;
        plain += end - middle;
    }
    auto iterations = static_cast<double>(state.iterations());
    state.counters["photo_ms"] = std::chrono::duration<double, std::milli>(photo).count() / iterations;
    state.counters["turbo_ms"] = std::chrono::duration<double, std::milli>(plain).count() / iterations;
    state.counters["ratio"] = std::chrono::duration<double>(photo).count() / std::chrono::duration<double>(plain).count();
    state.counters["jpeg_bytes"] = static_cast<double>(ReadBytes(photoPath).size());
    state.SetLabel(std::to_string(frame.width) + "x" + std::to_string(frame.height));
}

void FrameSizes(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_SaveFrameAsJpeg)->Apply(FrameSizes);
BENCHMARK(BM_TurboJpegCompress2)->Apply(FrameSizes);
BENCHMARK(BM_PhotoWriterAgainstTurboJpeg)->Apply(FrameSizes);
