#include "imaging/CxIOFile.h"

#include "platform/sys/File.h"

CxIOFile::CxIOFile(FILE* stream, Ownership ownership) : m_stream(stream), m_ownership(ownership) { }

CxIOFile::~CxIOFile()
{
    Close();
}

bool CxIOFile::Open(LPCWSTR path, LPCWSTR mode)
{
    if (m_stream)
        return false;
    m_stream = _wfopen(path, mode);
    m_ownership = Ownership::Owned;
    return m_stream != nullptr;
}

// A borrowed stream is only let go; closing it is its owner's business.
bool CxIOFile::Close()
{
    if (!m_stream)
        return false;
    int result = 0;
    if (m_ownership == Ownership::Owned)
        result = std::fclose(m_stream);
    m_stream = nullptr;
    return result == 0;
}

size_t CxIOFile::Read(void* buffer, size_t size, size_t count)
{
    if (!m_stream)
        return 0;
    return std::fread(buffer, size, count, m_stream);
}

size_t CxIOFile::Write(const void* buffer, size_t size, size_t count)
{
    if (!m_stream)
        return 0;
    return std::fwrite(buffer, size, count, m_stream);
}

bool CxIOFile::Seek(long offset, int origin)
{
    if (!m_stream)
        return false;
    return std::fseek(m_stream, offset, origin) == 0;
}

long CxIOFile::Tell()
{
    if (!m_stream)
        return 0;
    return std::ftell(m_stream);
}

long CxIOFile::Size()
{
    if (!m_stream)
        return -1;
    long position = std::ftell(m_stream);
    if (position < 0 || std::fseek(m_stream, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(m_stream);
    std::fseek(m_stream, position, SEEK_SET);
    return size;
}

bool CxIOFile::Flush()
{
    if (!m_stream)
        return false;
    return std::fflush(m_stream) == 0;
}

bool CxIOFile::Eof()
{
    if (!m_stream)
        return true;
    return std::feof(m_stream) != 0;
}

long CxIOFile::Error()
{
    if (!m_stream)
        return -1;
    return std::ferror(m_stream);
}

bool CxIOFile::PutC(unsigned char c)
{
    if (!m_stream)
        return false;
    return std::fputc(c, m_stream) == c;
}

long CxIOFile::GetC()
{
    if (!m_stream)
        return EOF;
    return std::fgetc(m_stream);
}

char* CxIOFile::GetS(char* string, int maxCount)
{
    if (!m_stream)
        return nullptr;
    return std::fgets(string, maxCount, m_stream);
}

long CxIOFile::Scanf(const char* format, void* output)
{
    if (!m_stream)
        return EOF;
    return std::fscanf(m_stream, format, output);
}
