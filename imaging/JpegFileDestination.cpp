#include "imaging/JpegFileDestination.h"

#include "imaging/CxFile.h"

#include <jerror.h>

namespace {

JpegFileDestination* DestinationOf(j_compress_ptr compressor)
{
    return reinterpret_cast<JpegFileDestination*>(compressor->dest);
}

void InitDestination(j_compress_ptr compressor)
{
    JpegFileDestination* destination = DestinationOf(compressor);
    destination->buffer = static_cast<JOCTET*>((*compressor->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(compressor), JPOOL_IMAGE, JpegFileDestination::kBufferSize * sizeof(JOCTET)));
    destination->manager.next_output_byte = destination->buffer;
    destination->manager.free_in_buffer = JpegFileDestination::kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr compressor)
{
    JpegFileDestination* destination = DestinationOf(compressor);
    if (destination->stream->Write(destination->buffer, 1, JpegFileDestination::kBufferSize) != JpegFileDestination::kBufferSize)
        ERREXIT(compressor, JERR_FILE_WRITE);
    destination->manager.next_output_byte = destination->buffer;
    destination->manager.free_in_buffer = JpegFileDestination::kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr compressor)
{
    JpegFileDestination* destination = DestinationOf(compressor);
    size_t remaining = JpegFileDestination::kBufferSize - destination->manager.free_in_buffer;
    if (remaining > 0 && destination->stream->Write(destination->buffer, 1, remaining) == 0)
        ERREXIT(compressor, JERR_FILE_WRITE);
    destination->stream->Flush();
    if (destination->stream->Error())
        ERREXIT(compressor, JERR_FILE_WRITE);
}

} // namespace

void JpegFileDestination::Install(j_compress_ptr compressor, CxFile* target)
{
    stream = target;
    buffer = nullptr;
    manager.init_destination = InitDestination;
    manager.empty_output_buffer = EmptyOutputBuffer;
    manager.term_destination = TermDestination;
    manager.next_output_byte = nullptr;
    manager.free_in_buffer = 0;
    compressor->dest = &manager;
}
