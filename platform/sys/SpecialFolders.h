// The shell's special folders, mapped to the XDG folders of the user.
//   CSIDL_PERSONAL  the documents folder: XDG_DOCUMENTS_DIR of user-dirs.dirs, else $HOME/Documents
//   CSIDL_APPDATA   $XDG_CONFIG_HOME, else $HOME/.config
//   CSIDL_NETHOOD   the user's applications folder: $XDG_DATA_HOME/applications, else
//                   $HOME/.local/share/applications (where the desktop's menu finds links)
//   CSIDL_SYSTEM    "shell/system" beside the executable; its parent "shell" is the Windows folder
// Results never end with a separator.
#pragma once

#include "platform/base/WinTypes.h"

inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_MYDOCUMENTS = CSIDL_PERSONAL;
inline constexpr int CSIDL_NETHOOD = 0x0013;
inline constexpr int CSIDL_APPDATA = 0x001A;
inline constexpr int CSIDL_WINDOWS = 0x0024;
inline constexpr int CSIDL_SYSTEM = 0x0025;
inline constexpr int CSIDL_FLAG_DONT_VERIFY = 0x4000;
inline constexpr int CSIDL_FLAG_CREATE = 0x8000;
inline constexpr int CSIDL_FLAG_MASK = 0xFF00;

inline constexpr DWORD SHGFP_TYPE_CURRENT = 0;
inline constexpr DWORD SHGFP_TYPE_DEFAULT = 1;

// An id list holds the folder's path. It is one malloc block, so ILFree and CoTaskMemFree
// both release it.
struct ITEMIDLIST;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

// The folder into a MAX_PATH buffer; `create` makes it (and its parents) when missing.
// FALSE when the folder does not exist and is not to be created.
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);
// S_OK; E_INVALIDARG for an unknown folder or a null buffer; E_FAIL when the folder is missing
// (unless CSIDL_FLAG_CREATE or CSIDL_FLAG_DONT_VERIFY is in csidl) or cannot be made.
HRESULT SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path);
HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* idList);
BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE idList, LPWSTR path);
void ILFree(ITEMIDLIST* idList);

// The folder that plays the Windows folder ("shell" beside the executable). Returns the length
// copied, or the size needed including the terminator when the buffer is too small; 0 on failure.
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
