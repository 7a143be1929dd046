// The registry as a file-backed store.
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/lumo/registry/user.reg
//   HKEY_LOCAL_MACHINE  $LUMO_MACHINE_REGISTRY/machine.reg, else /etc/lumo/registry/machine.reg
// Key paths and value names ignore case; '\' and '/' both separate keys. Every read goes to the
// file, so values written by another process are seen at once; every write locks the store,
// reads it, changes it and replaces it atomically. A store that does not parse reads as empty.
#pragma once

#include "platform/base/WinTypes.h"

using LSTATUS = LONG;
using REGSAM = DWORD;
using PHKEY = HKEY*;

inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000001)));
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000002)));

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// ERROR_FILE_NOT_FOUND when the key does not exist.
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Opens the key, creating it (and the keys above it) when missing.
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                        LPVOID securityAttributes, PHKEY result, LPDWORD disposition);
// The Windows buffer rules: no data buffer gives the size only; a buffer too small gives
// ERROR_MORE_DATA with the size needed. REG_SZ and REG_EXPAND_SZ data are UTF-16 including the
// terminator. A null or empty name is the key's default value.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
// Strings are stored up to their first NUL, whether or not dataSize counted the terminator.
LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name);
LSTATUS RegCloseKey(HKEY key);

// Open, query or set, and close in one call; SHSetValueW creates the key.
LSTATUS SHGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD* type, void* data, DWORD* dataSize);
LSTATUS SHSetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD type, LPCVOID data, DWORD dataSize);
LSTATUS SHDeleteValueW(HKEY key, LPCWSTR subKey, LPCWSTR value);
