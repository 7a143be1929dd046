// INI files with the Windows profile functions. Sections and keys ignore case; values lose their
// surrounding blanks and one pair of surrounding quotes. Files are UTF-8 (a UTF-8 BOM and
// UTF-16LE with BOM are read too, and a rewrite keeps the file's encoding). Writes lock the file,
// keep every other line, byte for byte and in its order, and replace the file atomically. A file
// over 1 MiB is neither read (defaults) nor rewritten (the write fails). A relative file name
// is taken relative to the current folder.
#pragma once

#include "platform/base/WinTypes.h"

// Copies the value, cut at size - 1 units, and returns the units copied; a missing value gives
// the default without its trailing blanks. A null section lists the section names, a null key
// the section's key names, as a list of NUL-terminated names ending with a second NUL; a list
// cut short ends with two NULs and returns size - 2.
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR returned, DWORD size,
                               LPCWSTR fileName);
// The value as a decimal number (a leading sign allowed; no digits gives 0), else the default.
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);
// Creates the file and the section when needed; a null value deletes the key, a null key the
// whole section.
BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName);
