#include "platform/sys/File.h"

#include "platform/base/Strings.h"
#include "platform/sys/Handle.h"
#include "platform/sys/NativePath.h"
#include "platform/sys/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr ULONGLONG kUnixEpochAsFileTime = 116444736000000000ULL;

// A search lives in the kernel-object table, so a stale or made-up handle is refused, never followed.
struct FindState : KernelObject {
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
    DWORD Wait(DWORD) override { return WAIT_FAILED; }
};

std::string NativeOf(LPCWSTR path)
{
    return ToNativePath(ToView(path));
}

std::string ParentOf(const std::string& native)
{
    size_t end = native.size();
    while (end > 1 && native[end - 1] == '/')
        --end;
    size_t slash = native.find_last_of('/', end - 1);
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : native.substr(0, slash);
}

bool IsDirectory(const std::string& native)
{
    struct stat info;
    return stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Linux says ENOENT whether the file or its folder is missing; Windows tells the two apart.
DWORD MissingPathError(const std::string& native)
{
    return IsDirectory(ParentOf(native)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

DWORD AttributesOf(const struct stat& info)
{
    if (S_ISDIR(info.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    if ((info.st_mode & 0222) == 0)
        return FILE_ATTRIBUTE_READONLY;
    return FILE_ATTRIBUTE_NORMAL;
}

FILETIME ToFileTime(const struct timespec& time)
{
    ULONGLONG ticks = static_cast<ULONGLONG>(time.tv_sec) * 10000000ULL + static_cast<ULONGLONG>(time.tv_nsec) / 100 +
                      kUnixEpochAsFileTime;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
}

bool MatchesWildcard(WStringView pattern, WStringView name)
{
    size_t p = 0;
    size_t n = 0;
    size_t starAt = WStringView::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            starName = n;
            continue;
        }
        if (p < pattern.size() && (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
            continue;
        }
        if (starAt == WStringView::npos)
            return false;
        p = starAt + 1;
        n = ++starName;
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Windows lets a trailing ".*" also match names without an extension, so "*.*" lists everything.
bool MatchesFindPattern(WStringView pattern, WStringView name)
{
    if (MatchesWildcard(pattern, name))
        return true;
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*")
        return MatchesWildcard(pattern.substr(0, pattern.size() - 2), name);
    return false;
}

WIN32_FIND_DATAW MakeFindData(const std::string& folder, const std::string& name)
{
    WIN32_FIND_DATAW data{};
    std::string full = folder == "/" ? "/" + name : folder + "/" + name;
    struct stat info;
    if (stat(full.c_str(), &info) == 0 || lstat(full.c_str(), &info) == 0) {
        data.dwFileAttributes = AttributesOf(info);
        data.ftCreationTime = ToFileTime(info.st_ctim);
        data.ftLastAccessTime = ToFileTime(info.st_atim);
        data.ftLastWriteTime = ToFileTime(info.st_mtim);
        if (!S_ISDIR(info.st_mode)) {
            auto size = static_cast<ULONGLONG>(info.st_size);
            data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
            data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
        }
    } else {
        data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    CopyToBuffer(FromNativePath(name), data.cFileName, MAX_PATH);
    return data;
}

int DotRank(const WIN32_FIND_DATAW& data)
{
    WStringView name(data.cFileName);
    if (name == u".")
        return 0;
    return name == u".." ? 1 : 2;
}

bool ComesBefore(const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b)
{
    if (DotRank(a) != DotRank(b))
        return DotRank(a) < DotRank(b);
    int folded = lstrcmpiW(a.cFileName, b.cFileName);
    if (folded != 0)
        return folded < 0;
    return lstrcmpW(a.cFileName, b.cFileName) < 0;
}

std::shared_ptr<FindState> ToFindState(HANDLE find)
{
    if (!find || find == INVALID_HANDLE_VALUE)
        return nullptr;
    return ReferenceKernelObject<FindState>(find);
}

bool BuildFopenMode(WStringView mode, std::string& out)
{
    if (mode.empty() || (mode[0] != u'r' && mode[0] != u'w' && mode[0] != u'a'))
        return false;
    bool update = false;
    bool exclusive = false;
    for (WCHAR c : mode.substr(1)) {
        if (c == u',')
            break;
        if (c == u'+')
            update = true;
        else if (c == u'x')
            exclusive = true;
    }
    out.assign(1, static_cast<char>(mode[0]));
    if (update)
        out += '+';
    if (exclusive && mode[0] == u'w')
        out += 'x';
    out += 'e';
    return true;
}

unsigned FirstTempNumber()
{
    std::random_device device;
    return device() % 0xFFFF + 1;
}

} // namespace

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

BOOL CreateDirectoryW(LPCWSTR path, LPVOID /*securityAttributes*/)
{
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (mkdir(NativeOf(path).c_str(), 0777) == 0)
        return TRUE;
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
    return FALSE;
}

BOOL DeleteFileW(LPCWSTR path)
{
    if (!path || !*path) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::string native = NativeOf(path);
    if (IsDirectory(native)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(native.c_str()) == 0)
        return TRUE;
    SetLastError(errno == ENOENT ? MissingPathError(native) : ErrorFromErrno(errno));
    return FALSE;
}

DWORD GetFileAttributesW(LPCWSTR path)
{
    if (!path || !*path) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string native = NativeOf(path);
    struct stat info;
    if (stat(native.c_str(), &info) == 0) {
        struct stat link;
        bool isLink = lstat(native.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        return AttributesOf(info) | (isLink ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
    }
    SetLastError(errno == ENOENT ? MissingPathError(native) : ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
}

namespace {

// The user's runtime folder when it is what it should be: a real folder of this user that
// nobody else may enter. Temporary files there cannot be taken or watched by other users.
const char* PrivateRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/')
        return nullptr;
    struct stat info;
    if (lstat(runtime, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0)
        return nullptr;
    return runtime;
}

} // namespace

DWORD GetTempPathW(DWORD size, LPWSTR buffer)
{
    const char* folder = PrivateRuntimeFolder();
    if (!folder) {
        const char* tmpdir = std::getenv("TMPDIR");
        folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
    }
    WString path = FromNativePath(folder);
    if (!IsPathSeparator(path.back()))
        path += u'/';
    auto length = static_cast<DWORD>(path.size());
    if (!buffer || size <= length)
        return length + 1;
    CopyToBuffer(path, buffer, size);
    return length;
}

UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefix, UINT unique, LPWSTR tempFileName)
{
    if (!pathName || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WString base(ToView(pathName));
    if (!base.empty() && !IsPathSeparator(base.back()))
        base += u'/';
    base += ToView(prefix).substr(0, 3);
    auto nameFor = [&base](unsigned number) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", number);
        return base + FromNativePath(hex) + u".tmp";
    };
    if (nameFor(0xFFFF).size() >= MAX_PATH) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    if (unique != 0) {
        unique &= 0xFFFF;
        CopyToBuffer(nameFor(unique), tempFileName, MAX_PATH);
        return unique;
    }
    unsigned number = FirstTempNumber();
    for (unsigned tries = 0; tries < 0xFFFF; ++tries, number = number % 0xFFFF + 1) {
        WString name = nameFor(number);
        int fd = open(ToNativePath(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            CopyToBuffer(name, tempFileName, MAX_PATH);
            return number;
        }
        if (errno != EEXIST) {
            SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

FILE* _wfopen(LPCWSTR path, LPCWSTR mode)
{
    std::string nativeMode;
    if (!path || !BuildFopenMode(ToView(mode), nativeMode)) {
        errno = EINVAL;
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string native = NativeOf(path);
    FILE* file = std::fopen(native.c_str(), nativeMode.c_str());
    if (!file)
        SetLastError(errno == ENOENT ? MissingPathError(native) : ErrorFromErrno(errno));
    return file;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    if (!pattern || !*pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string native = NativeOf(pattern);
    size_t slash = native.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : native.substr(0, slash));
    WString spec = FromNativePath(slash == std::string::npos ? native : native.substr(slash + 1));
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto state = std::make_shared<FindState>();
    while (dirent* entry = readdir(dir)) {
        if (!spec.empty() && MatchesFindPattern(spec, FromNativePath(entry->d_name)))
            state->entries.push_back(MakeFindData(folder, entry->d_name));
    }
    closedir(dir);
    if (state->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(state->entries.begin(), state->entries.end(), ComesBefore);
    *data = state->entries[state->next++];
    return InsertKernelObject(state);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data)
{
    auto state = ToFindState(find);
    if (!state || !data) {
        SetLastError(state ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (state->next >= state->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = state->entries[state->next++];
    return TRUE;
}

BOOL FindClose(HANDLE find)
{
    if (!ToFindState(find)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(find);
}
