#include "platform/base/Format.h"
#include "platform/base/Strings.h"

#include <benchmark/benchmark.h>

static void BM_Utf8ToWidePath(benchmark::State& state)
{
    std::string path = "/home/user/Documents/Tern摄像头/照片/201212071530457.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf8ToWide(path));
}
BENCHMARK(BM_Utf8ToWidePath);

static void BM_FormatWPhotoName(benchmark::State& state)
{
    WString folder = u"/home/user/Documents/Tern摄像头/照片/";
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatW(u"%s%4d%02d%02d%02d%02d%02d%01d.jpg", folder, 2012, 12, 7, 15, 30, 45, 7));
}
BENCHMARK(BM_FormatWPhotoName);

static void BM_StringCchPrintfWClock(benchmark::State& state)
{
    WCHAR buffer[16];
    int second = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(StringCchPrintfW(buffer, std::size(buffer), u"%02d:%02d:%02d ", 1, 2, second));
        second = (second + 1) % 60;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StringCchPrintfWClock);

static void BM_StringCchPrintfWCutsLongText(benchmark::State& state)
{
    WString name(4096, u'x');
    WCHAR buffer[MAX_PATH];
    for (auto _ : state) {
        benchmark::DoNotOptimize(StringCchPrintfW(buffer, std::size(buffer), u"/select,\"%s\"", name));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StringCchPrintfWCutsLongText);
