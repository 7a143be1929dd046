#include "tests/support/SmallFileSystem.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

SmallFileSystem::SmallFileSystem(std::uint64_t bytes)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-small-disk-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        m_problem = std::string("no folder to mount on: ") + std::strerror(errno);
        return;
    }
    m_folder = pattern;
    m_ownFolder = true;
    Mount(bytes);
}

SmallFileSystem::SmallFileSystem(std::uint64_t bytes, const std::string& folder)
    : m_folder(folder)
{
    Mount(bytes);
}

void SmallFileSystem::Mount(std::uint64_t bytes)
{
    std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (mount("lumo-small-disk", m_folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        m_problem = std::string("a tmpfs cannot be mounted here (needs root): ") + std::strerror(errno);
        return;
    }
    m_mounted = true;
}

SmallFileSystem::~SmallFileSystem()
{
    // Detached: a file a test left open does not keep the mount.
    if (m_mounted)
        umount2(m_folder.c_str(), MNT_DETACH);
    if (m_ownFolder)
        rmdir(m_folder.c_str());
}

std::uint64_t SmallFileSystem::Free() const
{
    struct statvfs info {};
    if (!m_mounted || statvfs(m_folder.c_str(), &info) != 0)
        return 0;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

bool SmallFileSystem::LeaveFree(std::uint64_t bytes)
{
    std::uint64_t free = Free();
    if (free < bytes)
        return false;
    int file = open((m_folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    std::vector<char> block(64 * 1024, 'x');
    std::uint64_t left = free - bytes;
    bool written = true;
    while (left > 0 && written) {
        size_t size = static_cast<size_t>(std::min<std::uint64_t>(left, block.size()));
        ssize_t done = write(file, block.data(), size);
        written = done > 0;
        left -= written ? static_cast<std::uint64_t>(done) : 0;
    }
    close(file);
    return written;
}
