// UTF-16 texts and their conversion to and from UTF-8 at the OS boundary.
#pragma once

#include "platform/base/WinTypes.h"

#include <string>
#include <string_view>

using WString = std::u16string;
using WStringView = std::u16string_view;

// Invalid input (broken UTF-8 sequences, lone surrogates) becomes U+FFFD; conversion never fails.
WString Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(WStringView wide);

// A NUL-terminated wide text as a view; a null pointer is the empty text.
WStringView ToView(LPCWSTR text);

// The C-library style helpers the system's code uses on NUL-terminated buffers.
int lstrlenW(LPCWSTR text);
int lstrcmpW(LPCWSTR a, LPCWSTR b);
// Compares ignoring the case of ASCII and of the Latin, Greek and Cyrillic letters.
int lstrcmpiW(LPCWSTR a, LPCWSTR b);
int StrCmpIW(LPCWSTR a, LPCWSTR b);
// Copies at most capacity - 1 units and always terminates (when capacity > 0).
LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR source, int capacity);
LPCWSTR StrStrW(LPCWSTR haystack, LPCWSTR needle);

// Copies a text into a fixed buffer of `capacity` units, cut at capacity - 1.
// Returns false when the text was cut.
bool CopyToBuffer(WStringView text, WCHAR* buffer, size_t capacity);

// Lowercases one UTF-16 unit the way the case-insensitive comparisons do.
WCHAR FoldCase(WCHAR c);
