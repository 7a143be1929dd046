// libFuzzer entry for the engine's XML documents (built with clang only).
#include "FacetFuzz.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string failure = CheckXmlDocumentOnInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        __builtin_trap();
    }
    return 0;
}
