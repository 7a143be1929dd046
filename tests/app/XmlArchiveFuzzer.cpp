// libFuzzer entry for the archive's Find and attribute-number rules (built with clang only).
#include "XmlArchiveFuzz.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string failure = CheckXmlArchiveOnInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        __builtin_trap();
    }
    return 0;
}
