// The numbers that resource templates are written in: resource type ordinals, window and
// control styles, menu item flags and the predefined control classes. The resource compiler
// writes them and the windowing layer reads them, so both take them from here.
#pragma once

#include "platform/base/WinTypes.h"

// Resource type ordinals (the RT_* names are the MAKEINTRESOURCEW forms, in Resources.h).
inline constexpr WORD kResourceTypeMenu = 4;
inline constexpr WORD kResourceTypeDialog = 5;
inline constexpr WORD kResourceTypeString = 6;
inline constexpr WORD kResourceTypeGroupIcon = 14;

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_MINIMIZE = 0x20000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CLIPSIBLINGS = 0x04000000;
inline constexpr DWORD WS_CLIPCHILDREN = 0x02000000;
inline constexpr DWORD WS_MAXIMIZE = 0x01000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_DLGFRAME = 0x00400000;
inline constexpr DWORD WS_VSCROLL = 0x00200000;
inline constexpr DWORD WS_HSCROLL = 0x00100000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;

// Dialog styles.
inline constexpr DWORD DS_ABSALIGN = 0x0001;
inline constexpr DWORD DS_SYSMODAL = 0x0002;
inline constexpr DWORD DS_LOCALEDIT = 0x0020;
inline constexpr DWORD DS_SETFONT = 0x0040;
inline constexpr DWORD DS_MODALFRAME = 0x0080;
inline constexpr DWORD DS_NOIDLEMSG = 0x0100;
inline constexpr DWORD DS_SETFOREGROUND = 0x0200;
inline constexpr DWORD DS_CONTROL = 0x0400;
inline constexpr DWORD DS_CENTER = 0x0800;

// Static control styles.
inline constexpr DWORD SS_LEFT = 0x0000;
inline constexpr DWORD SS_CENTER = 0x0001;
inline constexpr DWORD SS_RIGHT = 0x0002;
inline constexpr DWORD SS_ICON = 0x0003;
inline constexpr DWORD SS_BITMAP = 0x000E;
inline constexpr DWORD SS_TYPEMASK = 0x001F;
inline constexpr DWORD SS_NOPREFIX = 0x0080;
inline constexpr DWORD SS_NOTIFY = 0x0100;
inline constexpr DWORD SS_CENTERIMAGE = 0x0200;

// Button styles.
inline constexpr DWORD BS_PUSHBUTTON = 0x0000;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x0001;
inline constexpr DWORD BS_CHECKBOX = 0x0002;
inline constexpr DWORD BS_AUTOCHECKBOX = 0x0003;
inline constexpr DWORD BS_RADIOBUTTON = 0x0004;
inline constexpr DWORD BS_3STATE = 0x0005;
inline constexpr DWORD BS_AUTO3STATE = 0x0006;
inline constexpr DWORD BS_GROUPBOX = 0x0007;
inline constexpr DWORD BS_AUTORADIOBUTTON = 0x0009;
inline constexpr DWORD BS_OWNERDRAW = 0x000B;
inline constexpr DWORD BS_TYPEMASK = 0x000F;
inline constexpr DWORD BS_LEFTTEXT = 0x0020;

// Menu item flags as a menu template stores them.
inline constexpr WORD MF_STRING = 0x0000;
inline constexpr WORD MF_GRAYED = 0x0001;
inline constexpr WORD MF_DISABLED = 0x0002;
inline constexpr WORD MF_CHECKED = 0x0008;
inline constexpr WORD MF_POPUP = 0x0010;
inline constexpr WORD MF_MENUBARBREAK = 0x0020;
inline constexpr WORD MF_MENUBREAK = 0x0040;
inline constexpr WORD MF_END = 0x0080;
inline constexpr WORD MF_SEPARATOR = 0x0800;

// Ordinals of the predefined control classes in a dialog item template.
inline constexpr WORD kDialogClassButton = 0x0080;
inline constexpr WORD kDialogClassEdit = 0x0081;
inline constexpr WORD kDialogClassStatic = 0x0082;
inline constexpr WORD kDialogClassListBox = 0x0083;
inline constexpr WORD kDialogClassScrollBar = 0x0084;
inline constexpr WORD kDialogClassComboBox = 0x0085;
