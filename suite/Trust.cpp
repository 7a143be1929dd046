#include "suite/Trust.h"

#include "SuitePublicKey.h"
#include "platform/base/Strings.h"
#include "platform/sys/File.h"
#include "platform/sys/Module.h"
#include "platform/sys/NativePath.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxSignedFileSize = size_t(256) << 20;

static_assert(sizeof kSuitePublicKey == crypto_sign_PUBLICKEYBYTES);

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) { }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Up to `size` bytes; fewer only at the end of the file. -1 on a read error.
ssize_t ReadFully(int fd, unsigned char* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// The whole content of a regular file of at most `maxSize` bytes, in one pass. A file that changes
// size while it is read is refused rather than checked in a mixed state.
bool ReadRegularFile(const std::string& path, size_t maxSize, std::vector<unsigned char>& content)
{
    // O_NONBLOCK: a FIFO planted under the name must not keep the caller waiting for a writer.
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0)
        return false;
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return false;
    auto size = static_cast<size_t>(info.st_size);
    if (size > maxSize)
        return false;
    content.resize(size);
    if (ReadFully(file.Get(), content.data(), size) != static_cast<ssize_t>(size))
        return false;
    unsigned char extra = 0;
    return ReadFully(file.Get(), &extra, 1) == 0;
}

bool SodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// dlopen looks a name without a '/' up on the library path, which would load some other file than
// the one that was checked; "./" keeps it the file in the current folder, as it was checked.
WString AnchoredPath(LPCWSTR path)
{
    if (ToNativePath(ToView(path)).find('/') != std::string::npos)
        return WString(ToView(path));
    return u"./" + WString(ToView(path));
}

// FIXME: the loader opens the file again after the check, so a file swapped in between by someone
// who may write to the program's folder is loaded unchecked. Loading a checked private copy (or a
// sealed memory file) would close the gap, but the module's path would then be a temporary one:
// the lookups beside a library through GetModuleFileNameW, $ORIGIN dependencies and the sharing
// of one library loaded twice would all break. Whoever can swap files there can swap the program.
HMODULE LoadCheckedLibrary(const WString& path)
{
    return LoadLibraryW(path.c_str());
}

} // namespace

bool IsSignedFile(LPCWSTR path)
{
    if (!path || !*path || !SodiumReady())
        return false;
    std::string nativePath = ToNativePath(ToView(path));
    std::vector<unsigned char> signature;
    if (!ReadRegularFile(nativePath + ".sig", crypto_sign_BYTES, signature) || signature.size() != crypto_sign_BYTES)
        return false;
    std::vector<unsigned char> content;
    if (!ReadRegularFile(nativePath, kMaxSignedFileSize, content))
        return false;
    return crypto_sign_verify_detached(signature.data(), content.data(), content.size(), kSuitePublicKey) == 0;
}

HMODULE LoadSignedLibrary(LPCWSTR path)
{
    if (!path || !*path)
        return nullptr;
    WString anchored = AnchoredPath(path);
    if (!IsSignedFile(anchored.c_str()))
        return nullptr;
    return LoadCheckedLibrary(anchored);
}

HMODULE LoadSuiteLibrary(LPCWSTR path)
{
    if (!path || !*path)
        return nullptr;
    WString anchored = AnchoredPath(path);
    if (GetFileAttributesW(anchored.c_str()) == INVALID_FILE_ATTRIBUTES)
        return nullptr;
    if (!IsSignedFile(anchored.c_str())) {
        ShowDamagedFilePrompt(path);
        std::exit(0);
    }
    return LoadCheckedLibrary(anchored);
}
