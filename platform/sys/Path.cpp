#include "platform/sys/Path.h"

#include "platform/base/Strings.h"
#include "platform/sys/NativePath.h"

#include <sys/stat.h>

namespace {

WString CombinedPath(WStringView dir, WStringView file)
{
    if (file.empty())
        return WString(dir);
    if (dir.empty() || IsPathSeparator(file.front()))
        return WString(file);
    size_t end = dir.size();
    while (end > 0 && IsPathSeparator(dir[end - 1]))
        --end;
    WString result(dir.substr(0, end));
    result += u'/';
    result += file;
    return result;
}

} // namespace

BOOL PathFileExistsW(LPCWSTR path)
{
    if (!path || !*path)
        return FALSE;
    struct stat info;
    return stat(ToNativePath(ToView(path)).c_str(), &info) == 0 ? TRUE : FALSE;
}

LPWSTR PathCombineW(LPWSTR dest, LPCWSTR dir, LPCWSTR file)
{
    if (!dest)
        return nullptr;
    if (!dir && !file) {
        dest[0] = 0;
        return nullptr;
    }
    WString combined = CombinedPath(ToView(dir), ToView(file));
    if (combined.size() >= MAX_PATH) {
        dest[0] = 0;
        return nullptr;
    }
    CopyToBuffer(combined, dest, MAX_PATH);
    return dest;
}

BOOL PathAppendW(LPWSTR path, LPCWSTR more)
{
    if (!path || !more)
        return FALSE;
    WStringView tail = ToView(more);
    while (!tail.empty() && IsPathSeparator(tail.front()))
        tail.remove_prefix(1);
    WString combined = CombinedPath(ToView(path), tail);
    if (combined.size() >= MAX_PATH)
        return FALSE;
    CopyToBuffer(combined, path, MAX_PATH);
    return TRUE;
}

BOOL PathRemoveFileSpecW(LPWSTR path)
{
    if (!path || !*path)
        return FALSE;
    WStringView view = ToView(path);
    size_t last = view.find_last_of(u"/\\");
    if (last == WStringView::npos) {
        path[0] = 0;
        return TRUE;
    }
    // The root separator stays: "/a" becomes "/", and "/" itself cannot lose anything.
    if (last == 0) {
        if (view.size() == 1)
            return FALSE;
        path[1] = 0;
        return TRUE;
    }
    path[last] = 0;
    return TRUE;
}

LPWSTR PathFindFileNameW(LPCWSTR path)
{
    if (!path)
        return nullptr;
    LPCWSTR name = path;
    for (LPCWSTR p = path; *p; ++p) {
        if (IsPathSeparator(*p) && p[1] && !IsPathSeparator(p[1]))
            name = p + 1;
    }
    return const_cast<LPWSTR>(name);
}

LPWSTR PathFindExtensionW(LPCWSTR path)
{
    if (!path)
        return nullptr;
    LPCWSTR dot = nullptr;
    LPCWSTR p = path;
    for (; *p; ++p) {
        // As on Windows, a space after the last dot means the name has no extension.
        if (IsPathSeparator(*p) || *p == u' ')
            dot = nullptr;
        else if (*p == u'.')
            dot = p;
    }
    return const_cast<LPWSTR>(dot ? dot : p);
}

BOOL PathIsRelativeW(LPCWSTR path)
{
    if (!path || !*path)
        return TRUE;
    return IsPathSeparator(path[0]) ? FALSE : TRUE;
}
