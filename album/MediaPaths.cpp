#include "album/MediaPaths.h"

#include "platform/base/Clock.h"
#include "platform/base/Format.h"
#include "platform/base/Strings.h"
#include "platform/sys/File.h"
#include "platform/sys/Path.h"

#include <algorithm>

namespace {

constexpr int kClockAttempts = 4;
// Enough for every photo of one tenth of a second, however busy the folder gets.
constexpr int kMaxSuffix = 9999;

enum class MediaKind { Photo, Video };

struct MediaNaming {
    const WCHAR* folder;
    const WCHAR* name;
    const WCHAR* suffixedName;
};

MediaNaming NamingOf(MediaKind kind)
{
    if (kind == MediaKind::Photo)
        return {kPhotoFolder, u"%s%4d%02d%02d%02d%02d%02d%01d.jpg", u"%s%4d%02d%02d%02d%02d%02d%01d_%d.jpg"};
    return {kVideoFolder, u"%s%4d%02d%02d%02d%02d%02d.wmv", u"%s%4d%02d%02d%02d%02d%02d_%d.wmv"};
}

void FormatName(MediaKind kind, LPCWSTR folder, const SYSTEMTIME& time, int suffix, LPWSTR buffer, size_t units)
{
    MediaNaming naming = NamingOf(kind);
    int tenth = time.wMilliseconds / 100;
    if (kind == MediaKind::Photo && suffix == 0) {
        StringCchPrintfW(buffer, units, naming.name, folder, time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
            time.wSecond, tenth);
    } else if (kind == MediaKind::Photo) {
        StringCchPrintfW(buffer, units, naming.suffixedName, folder, time.wYear, time.wMonth, time.wDay, time.wHour,
            time.wMinute, time.wSecond, tenth, suffix);
    } else if (suffix == 0) {
        StringCchPrintfW(buffer, units, naming.name, folder, time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
            time.wSecond);
    } else {
        StringCchPrintfW(buffer, units, naming.suffixedName, folder, time.wYear, time.wMonth, time.wDay, time.wHour,
            time.wMinute, time.wSecond, suffix);
    }
}

// Takes the name if it is free: its folders are made and true is returned.
bool TakeIfFree(LPCWSTR path)
{
    if (!path[0] || PathFileExistsW(path))
        return false;
    EnsureDirectories(path);
    return true;
}

void MakeMediaPath(MediaKind kind, LPCWSTR baseFolder, LPWSTR buffer, int capacity)
{
    if (!buffer || capacity < static_cast<int>(sizeof(WCHAR)))
        return;
    buffer[0] = 0;
    // Without a base folder the path would start at the file system's root: no path at all.
    if (!baseFolder || !baseFolder[0])
        return;
    size_t units = std::min<size_t>(static_cast<size_t>(capacity) / sizeof(WCHAR), MAX_PATH);
    WCHAR folder[MAX_PATH];
    StringCchPrintfW(folder, MAX_PATH, u"%s/%s/", baseFolder, NamingOf(kind).folder);
    // The folder text ends with a separator, so its last level is made as well.
    if (!PathFileExistsW(folder))
        EnsureDirectories(folder);

    SYSTEMTIME now {};
    for (int attempt = 0; attempt < kClockAttempts; ++attempt) {
        GetLocalTime(&now);
        FormatName(kind, folder, now, 0, buffer, units);
        if (TakeIfFree(buffer))
            return;
    }
    // The clock keeps giving taken names (several files in one tenth of a second, or in one
    // second for videos): number the name of the last reading instead of replacing a file.
    for (int suffix = 1; suffix <= kMaxSuffix; ++suffix) {
        FormatName(kind, folder, now, suffix, buffer, units);
        if (TakeIfFree(buffer))
            return;
    }
    buffer[0] = 0;
}

} // namespace

void MakePhotoPath(LPCWSTR baseFolder, LPWSTR buffer, int capacity)
{
    MakeMediaPath(MediaKind::Photo, baseFolder, buffer, capacity);
}

void MakeVideoPath(LPCWSTR baseFolder, LPWSTR buffer, int capacity)
{
    MakeMediaPath(MediaKind::Video, baseFolder, buffer, capacity);
}

void EnsureDirectories(LPCWSTR path)
{
    if (!path)
        return;
    WString prefix(path);
    for (size_t i = 1; i < prefix.size(); ++i) {
        if (!IsPathSeparator(prefix[i]))
            continue;
        WCHAR separator = prefix[i];
        prefix[i] = 0;
        // A folder that cannot be made shows later, when the file in it cannot be written.
        if (!PathFileExistsW(prefix.c_str()))
            CreateDirectoryW(prefix.c_str(), nullptr);
        prefix[i] = separator;
    }
}
