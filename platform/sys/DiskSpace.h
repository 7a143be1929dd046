// The free space of a disk, with the Windows name and result.
#pragma once

#include "platform/base/WinTypes.h"

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    };
    ULONGLONG QuadPart;
};
using PULARGE_INTEGER = ULARGE_INTEGER*;

// The bytes the caller may still write on the file system of `directory` (an existing folder, or
// nullptr for the current one), its total size and all of its free bytes; any of the three may be
// nullptr. FALSE with the error of the failed look-up (ERROR_PATH_NOT_FOUND for a missing folder).
BOOL GetDiskFreeSpaceExW(LPCWSTR directory, PULARGE_INTEGER freeBytesAvailableToCaller, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes);
