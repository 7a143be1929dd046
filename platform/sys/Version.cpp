#include "platform/sys/Version.h"

#include "platform/base/Strings.h"

#include <sys/utsname.h>

#include <cstring>
#include <iterator>

namespace {

// Reads the leading decimal number at `i` and moves past it and one following '.'.
DWORD ReadNumber(std::string_view text, size_t& i)
{
    DWORD value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < 0x10000)
            value = value * 10 + static_cast<DWORD>(text[i] - '0');
        ++i;
    }
    if (i < text.size() && text[i] == '.')
        ++i;
    return value;
}

} // namespace

DWORD KernelVersionCode(std::string_view release)
{
    size_t i = 0;
    DWORD major = ReadNumber(release, i);
    DWORD minor = ReadNumber(release, i);
    DWORD patch = ReadNumber(release, i);
    return ((major & 0xFF) << 16) | ((minor < 0xFF ? minor : 0xFF) << 8) | (patch < 0xFF ? patch : 0xFF);
}

BOOL GetVersionExW(LPOSVERSIONINFOW info)
{
    if (!info
        || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)
            && info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct utsname names;
    std::string_view release = uname(&names) == 0 ? names.release : "";
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = KernelVersionCode(release);
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    CopyToBuffer(Utf8ToWide("Linux " + std::string(release)), info->szCSDVersion, std::size(info->szCSDVersion));
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
        extended->wServicePackMajor = 0;
        extended->wServicePackMinor = 0;
        extended->wSuiteMask = 0;
        extended->wProductType = VER_NT_WORKSTATION;
        extended->wReserved = 0;
    }
    return TRUE;
}
