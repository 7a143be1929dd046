// The version query: the system reports itself as version 10.0 with the kernel's release.
#pragma once

#include "platform/base/WinTypes.h"

#include <string_view>

inline constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
inline constexpr BYTE VER_NT_WORKSTATION = 1;

struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
using LPOSVERSIONINFOW = OSVERSIONINFOW*;

struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
using LPOSVERSIONINFOEXW = OSVERSIONINFOEXW*;

// dwOSVersionInfoSize must be the size of one of the two structures (else ERROR_INVALID_PARAMETER).
// Major 10, minor 0, platform 2; the build number is the kernel's version code and
// szCSDVersion is "Linux " and the kernel's release.
BOOL GetVersionExW(LPOSVERSIONINFOW info);

// A kernel release such as "6.1.0-18-amd64" as the kernel codes its version:
// (major << 16) | (minor << 8) | patch, the patch level capped at 255.
DWORD KernelVersionCode(std::string_view release);
