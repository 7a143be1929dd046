#include "platform/sys/DiskSpace.h"

#include "platform/base/Strings.h"
#include "platform/sys/File.h"
#include "platform/sys/NativePath.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <string>

BOOL GetDiskFreeSpaceExW(LPCWSTR directory, PULARGE_INTEGER freeBytesAvailableToCaller, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes)
{
    std::string native = directory && directory[0] ? ToNativePath(ToView(directory)) : std::string(".");
    struct statvfs info {};
    int result = 0;
    do
        result = statvfs(native.c_str(), &info);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return FALSE;
    }
    ULONGLONG unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    if (freeBytesAvailableToCaller)
        freeBytesAvailableToCaller->QuadPart = static_cast<ULONGLONG>(info.f_bavail) * unit;
    if (totalBytes)
        totalBytes->QuadPart = static_cast<ULONGLONG>(info.f_blocks) * unit;
    if (totalFreeBytes)
        totalFreeBytes->QuadPart = static_cast<ULONGLONG>(info.f_bfree) * unit;
    return TRUE;
}
