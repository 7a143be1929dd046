// Path helpers on NUL-terminated wide paths in buffers of MAX_PATH units.
// Both '/' and '\' are separators; a separator the helpers add is '/'.
#pragma once

#include "platform/base/WinTypes.h"

// True for an existing file or folder.
BOOL PathFileExistsW(LPCWSTR path);
// dir + '/' + file, with exactly one separator between; an absolute file replaces dir.
// dest may be dir itself. A result longer than MAX_PATH - 1 units leaves dest empty and
// returns nullptr.
LPWSTR PathCombineW(LPWSTR dest, LPCWSTR dir, LPCWSTR file);
// Appends `more` (its leading separators dropped) to the path in a MAX_PATH buffer;
// FALSE and the path unchanged when the result would not fit.
BOOL PathAppendW(LPWSTR path, LPCWSTR more);
// Removes the last component and its separator ("/a" gives "/", "a/b/" gives "a/b");
// TRUE when something was removed.
BOOL PathRemoveFileSpecW(LPWSTR path);
// The last component (with a trailing separator, the one before it), inside `path`.
LPWSTR PathFindFileNameW(LPCWSTR path);
// The '.' of the file name's extension, or the terminating NUL when it has none.
LPWSTR PathFindExtensionW(LPCWSTR path);
// True unless the path starts with a separator.
BOOL PathIsRelativeW(LPCWSTR path);

constexpr bool IsPathSeparator(WCHAR c)
{
    return c == u'/' || c == u'\\';
}
