#include "platform/base/Strings.h"

#include <benchmark/benchmark.h>

static void BM_Utf8ToWidePath(benchmark::State& state)
{
    std::string path = "/home/user/Documents/Tern摄像头/照片/201212071530457.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(Utf8ToWide(path));
}
BENCHMARK(BM_Utf8ToWidePath);
