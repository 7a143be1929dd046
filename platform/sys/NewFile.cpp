#include "platform/sys/NewFile.h"

#include "platform/sys/File.h"
#include "platform/sys/NativePath.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <set>
#include <string_view>

namespace {

constexpr size_t kSuffixLength = 8;
constexpr std::string_view kTemporaryEnd = ".part";
// A writer that was killed leaves its temporary file behind; one this old belongs to nobody.
constexpr time_t kStaleSeconds = 60 * 60;

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix()
{
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned char bytes[kSuffixLength] = {};
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        unsigned mix = static_cast<unsigned>(getpid()) * 2654435761u + ++counter;
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(mix);
            mix = mix * 1103515245u + 12345u;
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes)
        suffix += kDigits[byte % (sizeof kDigits - 1)];
    return suffix;
}

// A hidden name beside the target, so a folder listing never shows a half-written file under
// a name that looks finished.
int CreateTemporary(const std::string& finalPath, std::string& tempPath)
{
    std::string prefix = FolderOf(finalPath) + "/." + NameOf(finalPath) + ".";
    for (int attempt = 0; attempt < 16; ++attempt) {
        tempPath = prefix + RandomSuffix() + std::string(kTemporaryEnd);
        int fd = open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the temporary file the final name unless something, a link included, already has it.
bool Publish(const std::string& tempPath, const std::string& finalPath)
{
    if (renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, finalPath.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // File systems without the exclusive rename: a hard link is never made over an existing
    // name and does not follow a link there.
    if (link(tempPath.c_str(), finalPath.c_str()) != 0)
        return false;
    unlink(tempPath.c_str());
    return true;
}

void SyncFolder(const std::string& folder)
{
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

bool IsTemporaryName(std::string_view name)
{
    if (name.size() < 2 + 1 + kSuffixLength + kTemporaryEnd.size() || name.front() != '.' || !name.ends_with(kTemporaryEnd))
        return false;
    std::string_view suffix = name.substr(name.size() - kTemporaryEnd.size() - kSuffixLength, kSuffixLength);
    char dot = name[name.size() - kTemporaryEnd.size() - kSuffixLength - 1];
    return dot == '.' && std::all_of(suffix.begin(), suffix.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

// Removes what killed writers left in a folder, once per folder and process.
void RemoveStaleTemporaries(const std::string& folder)
{
    static std::mutex lock;
    static std::set<std::string> cleaned;
    {
        std::lock_guard guard(lock);
        if (!cleaned.insert(folder).second)
            return;
    }
    int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return;
    }
    time_t now = time(nullptr);
    while (dirent* entry = readdir(dir)) {
        struct stat info;
        if (!IsTemporaryName(entry->d_name) || fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(info.st_mode) && info.st_uid == geteuid() && now - info.st_mtime > kStaleSeconds)
            unlinkat(dirFd, entry->d_name, 0);
    }
    closedir(dir);
}

} // namespace

NewFileWriter::NewFileWriter(LPCWSTR finalPath)
{
    if (!finalPath || !*finalPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    m_finalPath = ToNativePath(ToView(finalPath));
    RemoveStaleTemporaries(FolderOf(m_finalPath));
    int fd = CreateTemporary(m_finalPath, m_tempPath);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        m_tempPath.clear();
        return;
    }
    m_stream = fdopen(fd, "wb");
    if (m_stream)
        return;
    SetLastError(ErrorFromErrno(errno));
    close(fd);
    unlink(m_tempPath.c_str());
    m_tempPath.clear();
}

NewFileWriter::~NewFileWriter()
{
    Discard();
}

void NewFileWriter::Discard()
{
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

BOOL NewFileWriter::Commit()
{
    if (!m_stream) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool written = std::fflush(m_stream) == 0 && !std::ferror(m_stream) && fsync(fileno(m_stream)) == 0;
    int error = errno;
    if (std::fclose(m_stream) != 0 && written) {
        written = false;
        error = errno;
    }
    m_stream = nullptr;
    if (written && !Publish(m_tempPath, m_finalPath)) {
        written = false;
        error = errno;
    }
    if (!written) {
        Discard();
        SetLastError(error == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(error));
        return FALSE;
    }
    m_tempPath.clear();
    SyncFolder(FolderOf(m_finalPath));
    return TRUE;
}
