#include "facet/FileBytes.h"

#include "platform/sys/NativePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool ReadFileBytes(WStringView path, size_t maxSize, std::vector<BYTE>& bytes)
{
    bytes.clear();
    if (path.empty())
        return false;
    int fd = open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<unsigned long long>(info.st_size) <= maxSize;
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        // A file that shrank while it was read is read as it is now.
        bytes.resize(done);
    }
    close(fd);
    if (!ok)
        bytes.clear();
    return ok;
}
