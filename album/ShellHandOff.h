// Handing album files and folders to the desktop shell: the file's default program, the file
// manager with a file selected, and the file manager started on a folder or a shell location.
// Nothing here waits for the shell or reports whether it did anything.
#pragma once

#include "platform/base/WinTypes.h"

// The shell location of the computer view, for OpenFolderSelect without select.
inline constexpr const WCHAR* kComputerLocation = u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

// Opens `path` with its default program.
void OpenAlbumFile(HWND owner, LPCWSTR path);
// Starts the file manager (the program's own helper, by CreateProcessW) on the folder of `path`
// with the file selected.
void ShowAlbumFileInFolder(HWND owner, LPCWSTR path);
// Starts the file manager of the system folder's parent on `target`: with `select`, the file
// manager shows the target selected in its parent folder, else it opens the target itself.
void OpenFolderSelect(LPCWSTR target, BOOL select);
