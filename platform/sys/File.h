// Files and folders with the Windows names and results; paths are wide, '/' or '\' separated.
#pragma once

#include "platform/base/WinTypes.h"

#include <cstdio>

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

// ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND when the parent is missing, ERROR_ACCESS_DENIED.
BOOL CreateDirectoryW(LPCWSTR path, LPVOID securityAttributes);
// Files only: a folder is refused with ERROR_ACCESS_DENIED.
BOOL DeleteFileW(LPCWSTR path);
// FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_NORMAL or FILE_ATTRIBUTE_READONLY (no write bit) of
// what the path leads to, with FILE_ATTRIBUTE_REPARSE_POINT added when the path itself is a
// symbolic link; INVALID_FILE_ATTRIBUTES when the path does not exist (a dangling link included).
DWORD GetFileAttributesW(LPCWSTR path);
// The user's runtime folder ($XDG_RUNTIME_DIR, when it is a folder of this user closed to
// everyone else), else $TMPDIR, else /tmp, ending with '/'. Returns the length copied, or, when the buffer is too
// small, the size needed including the terminator.
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// "<path>/<first 3 units of prefix><hex>.tmp" into a MAX_PATH buffer. A non-zero `unique` only
// makes the name; 0 picks a free number and creates the file exclusively. Returns the number
// used, 0 on failure.
UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefix, UINT unique, LPWSTR tempFileName);
// fopen with a wide path; the mode is "r", "w" or "a", optionally with '+', 'b' and 't'.
FILE* _wfopen(LPCWSTR path, LPCWSTR mode);

// '*' and '?' wildcards in the last component, matched ignoring case; "." and ".." are listed
// for "*". Entries come in name order. INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND; FindNextFileW ends with ERROR_NO_MORE_FILES.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE find);

// The Windows error code for an errno value of a failed file operation.
DWORD ErrorFromErrno(int error);
