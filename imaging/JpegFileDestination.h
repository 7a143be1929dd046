// A libjpeg destination that hands the compressed bytes to a CxFile in blocks of 4096.
#pragma once

// Before jpeglib.h, which defines TRUE and FALSE as macros unless they exist already.
#include "platform/base/WinTypes.h"

#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

class CxFile;

struct JpegFileDestination {
    static constexpr size_t kBufferSize = 4096;

    jpeg_destination_mgr manager; // first, so libjpeg's pointer to it is a pointer to this
    CxFile* stream;
    JOCTET* buffer;

    // Binds the destination to `stream` and installs it on the compressor. The buffer comes from
    // the compressor's image pool when compression starts and goes with it when it ends or fails.
    void Install(j_compress_ptr compressor, CxFile* target);
};
