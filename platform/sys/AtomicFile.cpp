#include "platform/sys/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<unsigned> g_tempCounter{0};

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Makes the rename durable. When this fails the rename has still happened atomically: a crash
// before the folder reaches the disk leaves the old content, which is allowed.
void SyncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

// Opens a new temporary file beside the target; its name is unique across threads and processes.
int CreateTemporary(const std::string& target, std::string& tempPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = target + ".tmp" + std::to_string(getpid()) + "." + std::to_string(g_tempCounter++);
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool WriteFileAtomically(const std::string& nativePath, std::string_view bytes)
{
    std::string tempPath;
    int fd = CreateTemporary(nativePath, tempPath);
    if (fd < 0)
        return false;
    // Keep the permissions of the file being replaced.
    struct stat existing;
    if (stat(nativePath.c_str(), &existing) == 0)
        fchmod(fd, existing.st_mode & 07777);
    bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    int savedErrno = errno;
    if (close(fd) != 0 && written) {
        written = false;
        savedErrno = errno;
    }
    if (!written || rename(tempPath.c_str(), nativePath.c_str()) != 0) {
        if (written)
            savedErrno = errno;
        unlink(tempPath.c_str());
        errno = savedErrno;
        return false;
    }
    SyncFolder(FolderOf(nativePath));
    return true;
}

std::optional<std::string> ReadFileContents(const std::string& nativePath)
{
    int fd = open(nativePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string content;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int savedErrno = errno;
            close(fd);
            errno = savedErrno;
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return content;
}

bool CreateDirectoryTree(const std::string& nativePath)
{
    struct stat info;
    if (nativePath.empty())
        return false;
    if (stat(nativePath.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    std::string parent = FolderOf(nativePath);
    if (parent != nativePath && parent != "." && !CreateDirectoryTree(parent))
        return false;
    if (mkdir(nativePath.c_str(), 0777) == 0 || errno == EEXIST)
        return stat(nativePath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    return false;
}

FileLock::FileLock(const std::string& nativePath)
{
    std::string lockPath = nativePath + ".lock";
    m_fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return;
    while (flock(m_fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        close(m_fd);
        m_fd = -1;
        return;
    }
}

FileLock::~FileLock()
{
    if (m_fd < 0)
        return;
    flock(m_fd, LOCK_UN);
    close(m_fd);
    m_fd = -1;
}
