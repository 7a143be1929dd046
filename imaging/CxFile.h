// The byte stream the image codecs read from and write to. Operations follow the standard C
// stream functions: Write returns the number of items written, as fwrite does.
#pragma once

#include <cstddef>

class CxFile {
public:
    virtual ~CxFile() = default;

    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    // origin is SEEK_SET, SEEK_CUR or SEEK_END.
    virtual bool Seek(long offset, int origin) = 0;
    virtual long Tell() = 0;
    virtual long Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    // The stream's error indicator: non-zero once a read or write failed.
    virtual long Error() = 0;
    virtual bool PutC(unsigned char c) = 0;
    // The next byte, or EOF.
    virtual long GetC() = 0;
    virtual char* GetS(char* string, int maxCount) = 0;
    // One formatted read of a single item; the format comes from the calling code, never from the data.
    virtual long Scanf(const char* format, void* output) = 0;
};
