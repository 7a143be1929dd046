// Loadable modules: the executable and the shared libraries loaded at run time.
#pragma once

#include "platform/base/WinTypes.h"

// Module handles are small numbers (the executable is 0x400000, libraries follow it), so a handle
// fits the 32-bit decimal field of a "res://%d/%s/%d" URL.
HMODULE LoadLibraryW(LPCWSTR path);
// Loads the library file open at `fd`, the very file whatever its name leads to by now; `path`
// is the name it is known by, which GetModuleFileNameW gives back. The caller keeps the
// descriptor and may close it afterwards.
HMODULE LoadLibraryFromDescriptor(int fd, LPCWSTR path);
// Exported C symbol of a module, or nullptr (GetLastError: ERROR_PROC_NOT_FOUND).
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
// nullptr gives the executable's handle; a file name or path gives an already loaded library.
HMODULE GetModuleHandleW(LPCWSTR name);
// Full path of the module's file; nullptr means the executable. Cut at size - 1 units like Windows;
// returns the number of units written (size when cut, with ERROR_INSUFFICIENT_BUFFER).
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// The dlopen handle behind a module handle (for the executable, the main program's handle),
// or nullptr for a handle that names no loaded module.
void* ModuleNativeHandle(HMODULE module);
