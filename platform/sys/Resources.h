// The resources of a module: strings, menus, dialogs, icons and pictures compiled into it.
//
// A module carries its resources as one exported C symbol, lumo_resource_directory, written by
// the build's resource compiler. Entry formats:
// - RT_STRING: one entry per string id (not the 16-string bundles of other systems) holding the
//   text as UTF-16LE without terminator; the bytes are followed by a NUL unit that the size
//   does not count, so a pointer to the text is also a terminated string.
// - RT_MENU: a normal menu template (MENUITEMTEMPLATEHEADER, then the items).
// - RT_DIALOG: a DLGTEMPLATE followed by its DLGITEMTEMPLATEs.
// - RT_GROUP_ICON: an icon directory laid out as an .ico file whose images are PNG streams:
//   WORD reserved 0, WORD type 1, WORD count, then count entries of 16 bytes (BYTE width,
//   BYTE height (0 means 256), BYTE colours 0, BYTE reserved 0, WORD planes 1, WORD bits 32,
//   DWORD size, DWORD offset from the start of the entry), then the PNG streams.
// - "PNG": the bytes of a PNG file.
// Every entry's bytes start on a 4-byte boundary.
#pragma once

#include "platform/base/Strings.h"
#include "platform/base/WinTypes.h"

#include <cstddef>
#include <vector>

using HGLOBAL = void*;

struct LumoResourceEntry {
    WORD typeId; // the type's ordinal, or 0 when typeName is set
    const char16_t* typeName; // a named type such as u"PNG", upper case, or nullptr
    WORD id;
    const void* data; // BYTEs; strings are stored as char16_t arrays
    DWORD size;
};

struct LumoResourceDirectory {
    DWORD count;
    const LumoResourceEntry* entries;
};

inline constexpr char kResourceDirectorySymbol[] = "lumo_resource_directory";

// The numbers behind these are in ResourceTypes.h, which this header leaves out so that the
// windowing layer's own style constants never meet a second definition.
#ifndef RT_MENU
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#endif

// name and type are MAKEINTRESOURCEW ordinals, "#123" texts or (types only) names such as u"PNG",
// compared without case. nullptr module means the executable. Not found: nullptr with
// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND (ERROR_RESOURCE_DATA_NOT_FOUND
// when the module has no resources, ERROR_INVALID_HANDLE when it is not loaded).
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// Resources are never unloaded, so the handle is simply the address of the bytes.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// Copies string `id` cut at capacity - 1 units and terminated; returns the units copied.
// capacity 0: *(LPCWSTR*)buffer receives a read-only pointer to the text and the full length is
// returned. A missing string returns 0.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity);

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    WORD id = 0;
    WORD classOrdinal = 0; // a predefined class (0x80 button, 0x82 static...), or 0 when className is set
    WString className;
    WORD titleOrdinal = 0; // a resource number as title (an icon's), or 0 when title is set
    WString title;
    std::vector<BYTE> creationData;

    RECT Rect() const { return {x, y, x + cx, y + cy}; }
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    WORD menuOrdinal = 0;
    WString menuName;
    WORD classOrdinal = 0;
    WString className;
    WString title;
    WORD pointSize = 0; // with faceName, only when style has DS_SETFONT
    WString faceName;
    std::vector<DialogItemTemplate> items;

    RECT Rect() const { return {x, y, x + cx, y + cy}; }
};

struct MenuItemTemplate {
    WORD flags = 0; // MF_* as stored, without MF_END
    WORD id = 0; // 0 for popups and separators
    WString text;
    std::vector<MenuItemTemplate> children; // a popup's items

    bool IsPopup() const { return (flags & 0x10) != 0; } // MF_POPUP
    bool IsSeparator() const { return !IsPopup() && id == 0 && text.empty(); }
};

struct MenuTemplate {
    std::vector<MenuItemTemplate> items;
};

// Bounds-checked readers of the templates: malformed or truncated bytes give false.
// Only the classic layouts are read; the extended ones (DLGTEMPLATEEX, MENUEX) give false.
bool ParseDialogTemplate(const BYTE* data, size_t size, DialogTemplate& result);
bool ParseMenuTemplate(const BYTE* data, size_t size, MenuTemplate& result);

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<BYTE> png;
};

// The images of icon `id`, smallest first; empty when the icon is missing or malformed.
std::vector<IconImage> LoadIconImages(HMODULE module, WORD id);
bool ParseIconDirectory(const BYTE* data, size_t size, std::vector<IconImage>& result);
