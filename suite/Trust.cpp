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

// Opens a file for reading without ever waiting: a FIFO planted under the name must not keep
// the caller waiting for a writer.
int OpenForReading(const std::string& path)
{
    return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

// The whole content of the open regular file, of at most `maxSize` bytes, in one pass. A file
// that changes size while it is read is refused rather than checked in a mixed state.
bool ReadRegularFile(int fd, size_t maxSize, std::vector<unsigned char>& content)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return false;
    auto size = static_cast<size_t>(info.st_size);
    if (size > maxSize)
        return false;
    content.resize(size);
    if (ReadFully(fd, content.data(), size) != static_cast<ssize_t>(size))
        return false;
    unsigned char extra = 0;
    return ReadFully(fd, &extra, 1) == 0;
}

bool ReadRegularFile(const std::string& path, size_t maxSize, std::vector<unsigned char>& content)
{
    FileDescriptor file(OpenForReading(path));
    return file.Get() >= 0 && ReadRegularFile(file.Get(), maxSize, content);
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

// Whether the bytes of the open file `fd`, known as `path`, carry the suite's signature.
bool IsSignedDescriptor(int fd, const std::string& path)
{
    if (!SodiumReady())
        return false;
    std::vector<unsigned char> signature;
    if (!ReadRegularFile(path + ".sig", crypto_sign_BYTES, signature) || signature.size() != crypto_sign_BYTES)
        return false;
    std::vector<unsigned char> content;
    if (!ReadRegularFile(fd, kMaxSignedFileSize, content))
        return false;
    return crypto_sign_verify_detached(signature.data(), content.data(), content.size(), kSuitePublicKey) == 0;
}

enum class Verdict { Missing, Untrusted, Loaded };

// The library is checked and loaded from one open file, so a file swapped under the name
// after the check is never what gets loaded.
Verdict LoadVerified(const WString& path, HMODULE& module)
{
    module = nullptr;
    std::string nativePath = ToNativePath(path);
    FileDescriptor file(OpenForReading(nativePath));
    if (file.Get() < 0)
        return errno == ENOENT || errno == ENOTDIR ? Verdict::Missing : Verdict::Untrusted;
    if (!IsSignedDescriptor(file.Get(), nativePath))
        return Verdict::Untrusted;
    module = LoadLibraryFromDescriptor(file.Get(), path.c_str());
    return Verdict::Loaded;
}

} // namespace

bool IsSignedFile(LPCWSTR path)
{
    if (!path || !*path)
        return false;
    std::string nativePath = ToNativePath(ToView(path));
    FileDescriptor file(OpenForReading(nativePath));
    return file.Get() >= 0 && IsSignedDescriptor(file.Get(), nativePath);
}

HMODULE LoadSignedLibrary(LPCWSTR path)
{
    if (!path || !*path)
        return nullptr;
    HMODULE module = nullptr;
    LoadVerified(AnchoredPath(path), module);
    return module;
}

HMODULE LoadSuiteLibrary(LPCWSTR path)
{
    if (!path || !*path)
        return nullptr;
    HMODULE module = nullptr;
    if (LoadVerified(AnchoredPath(path), module) == Verdict::Untrusted) {
        ShowDamagedFilePrompt(path);
        std::exit(0);
    }
    return module;
}
