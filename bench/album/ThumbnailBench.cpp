// What an album entry's photo costs: a 1920 x 1080 photo loaded by the UI engine at the size an entry
// draws it (81 x 60), as the strip loads it, against the whole frame. The "kept_bytes_per_entry"
// counter is the decoded picture an entry holds; 1,000 photos may add at most 20 MB, so it stays
// under 20,000. "resident_growth_per_entry" is what 1,000 kept pictures added to the process.
#include "imaging/SaveFrame.h"
#include "platform/base/Strings.h"
#include "platform/sys/Module.h"
#include "ui/Engine.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kPhotoWidth = 1920;
constexpr int kPhotoHeight = 1080;
constexpr int kDrawnWidth = 81;
constexpr int kDrawnHeight = 60;
constexpr int kEntries = 1000;

CreateFacetBitmapFunction EngineBitmaps()
{
    static CreateFacetBitmapFunction create = [] {
        HMODULE engine = LoadLibraryW(Utf8ToWide(LUMO_FACET_LIBRARY).c_str());
        return engine ? reinterpret_cast<CreateFacetBitmapFunction>(GetProcAddress(engine, "CreateFacetBitmap")) : nullptr;
    }();
    return create;
}

// A camera-like 24-bit frame written as the program writes photos.
const WString& PhotoPath()
{
    static WString path = [] {
        std::string file = (std::filesystem::temp_directory_path() / ("lumo-thumbnail-bench-" + std::to_string(getpid()) + ".jpg")).string();
        int stride = (kPhotoWidth * 3 + 3) / 4 * 4;
        std::vector<BYTE> frame(static_cast<size_t>(stride) * kPhotoHeight);
        for (int y = 0; y < kPhotoHeight; ++y) {
            for (int x = 0; x < kPhotoWidth; ++x) {
                BYTE* pixel = &frame[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
                pixel[0] = static_cast<BYTE>(128 + 100 * std::sin(x / 90.0));
                pixel[1] = static_cast<BYTE>(128 + 90 * std::cos(y / 70.0));
                pixel[2] = static_cast<BYTE>((x ^ y) & 0xFF);
            }
        }
        WString wide = Utf8ToWide(file);
        SaveFrameAsJpeg(frame.data(), static_cast<LONG>(frame.size()), kPhotoWidth, kPhotoHeight, wide.c_str());
        std::atexit([] { std::remove(WideToUtf8(PhotoPath()).c_str()); });
        return wide;
    }();
    return path;
}

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void LoadEntries(benchmark::State& state, DWORD drawnSize)
{
    CreateFacetBitmapFunction create = EngineBitmaps();
    if (!create) {
        state.SkipWithError("the engine did not load");
        return;
    }
    const WString& photo = PhotoPath();
    double keptBytes = 0;
    double growth = 0;
    for (auto _ : state) {
        std::vector<EngineImage*> entries;
        long before = ResidentBytes();
        for (int i = 0; i < kEntries; ++i) {
            EngineImage* image = nullptr;
            if (FAILED(create(&image)) || !image || FAILED(image->ImageLoad(photo.c_str(), drawnSize))) {
                state.SkipWithError("the photo did not load");
                break;
            }
            entries.push_back(image);
        }
        growth = static_cast<double>(ResidentBytes() - before);
        keptBytes = 0;
        for (EngineImage* image : entries) {
            keptBytes += 4.0 * image->ImageWidth() * image->ImageHeight();
            image->Release();
        }
    }
    state.counters["kept_bytes_per_entry"] = keptBytes / kEntries;
    state.counters["resident_growth_per_entry"] = growth / kEntries;
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_ThousandEntriesAtTheirDrawnSize(benchmark::State& state)
{
    LoadEntries(state, static_cast<DWORD>(kDrawnWidth) | static_cast<DWORD>(kDrawnHeight) << 16);
}

// The whole frame per entry, for comparison (only a hundred: it is the cost the strip no longer pays).
void BM_HundredEntriesWithTheWholeFrame(benchmark::State& state)
{
    CreateFacetBitmapFunction create = EngineBitmaps();
    if (!create) {
        state.SkipWithError("the engine did not load");
        return;
    }
    double keptBytes = 0;
    for (auto _ : state) {
        std::vector<EngineImage*> entries;
        for (int i = 0; i < kEntries / 10; ++i) {
            EngineImage* image = nullptr;
            if (FAILED(create(&image)) || !image || FAILED(image->ImageLoad(PhotoPath().c_str(), 0))) {
                state.SkipWithError("the photo did not load");
                break;
            }
            entries.push_back(image);
        }
        keptBytes = 0;
        for (EngineImage* image : entries) {
            keptBytes += 4.0 * image->ImageWidth() * image->ImageHeight();
            image->Release();
        }
    }
    state.counters["kept_bytes_per_entry"] = keptBytes / (kEntries / 10);
}

} // namespace

BENCHMARK(BM_ThousandEntriesAtTheirDrawnSize)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_HundredEntriesWithTheWholeFrame)->Unit(benchmark::kMillisecond)->Iterations(1);
