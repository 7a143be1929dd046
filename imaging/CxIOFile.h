// A CxFile over a standard C stream. A stream handed in by the caller stays the caller's to close;
// a stream this object opens itself is closed by it.
#pragma once

#include "imaging/CxFile.h"
#include "platform/base/WinTypes.h"

#include <cstdio>

class CxIOFile : public CxFile {
public:
    enum class Ownership { Borrowed, Owned };

    explicit CxIOFile(FILE* stream = nullptr, Ownership ownership = Ownership::Borrowed);
    ~CxIOFile() override;
    CxIOFile(const CxIOFile&) = delete;
    CxIOFile& operator=(const CxIOFile&) = delete;

    // Opens `path` with the wide-path fopen; the stream is then owned. Fails when a stream is
    // already attached.
    bool Open(LPCWSTR path, LPCWSTR mode);
    FILE* GetStream() const { return m_stream; }

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(long offset, int origin) override;
    long Tell() override;
    long Size() override;
    bool Flush() override;
    bool Eof() override;
    long Error() override;
    bool PutC(unsigned char c) override;
    long GetC() override;
    char* GetS(char* string, int maxCount) override;
    long Scanf(const char* format, void* output) override;

private:
    FILE* m_stream;
    Ownership m_ownership;
};
