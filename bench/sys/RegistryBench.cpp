// The registry at start: the first values read from a large store, then a run of lookups.
#include "platform/sys/AtomicFile.h"
#include "platform/sys/Registry.h"

#include <benchmark/benchmark.h>

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class StoreFolder {
public:
    explicit StoreFolder(size_t values)
    {
        char pattern[] = "/tmp/lumo-registry-bench-XXXXXX";
        if (!mkdtemp(pattern))
            return;
        m_path = pattern;
        setenv("XDG_CONFIG_HOME", m_path.c_str(), 1);
        CreateDirectoryTree(m_path + "/lumo/registry");
        m_text = "LumoRegistry 1\n[Software\\TernSafe]\n";
        char line[64];
        for (size_t i = 0; i < values; ++i) {
            std::snprintf(line, sizeof line, "\"v%zu\"=dword:%08zx\n", i, i);
            m_text += line;
        }
        m_text += "\"DefaultSkin\"=sz:\"blue\"\nLumoRegistryEnd\n";
        Rewrite();
    }
    ~StoreFolder()
    {
        if (!m_path.empty())
            nftw(m_path.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 8, FTW_DEPTH | FTW_PHYS);
    }
    // A new file of the same content, so the next read cannot use what it has kept.
    void Rewrite() { WriteFileAtomically(m_path + "/lumo/registry/user.reg", m_text); }

private:
    std::string m_path;
    std::string m_text;
};

DWORD ReadSkin()
{
    WCHAR buffer[64];
    DWORD size = sizeof buffer;
    return SHGetValueW(HKEY_CURRENT_USER, u"Software\\TernSafe", u"DefaultSkin", nullptr, buffer, &size);
}

// What a start pays: the store read and parsed once, then the few values the program asks for.
void BM_FirstReadOfAStore(benchmark::State& state)
{
    StoreFolder folder(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        folder.Rewrite();
        state.ResumeTiming();
        for (int i = 0; i < 10; ++i)
            benchmark::DoNotOptimize(ReadSkin());
    }
}
BENCHMARK(BM_FirstReadOfAStore)->Arg(40000)->Arg(200000)->Unit(benchmark::kMillisecond);

// Every later call: one look at the file and a lookup in the index.
void BM_LookupInALargeStore(benchmark::State& state)
{
    StoreFolder folder(200000);
    ReadSkin();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadSkin());
}
BENCHMARK(BM_LookupInALargeStore)->Unit(benchmark::kMicrosecond);

} // namespace
