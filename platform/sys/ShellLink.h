// Shell links. A link saved by IPersistFile::Save is a desktop entry (the freedesktop.org Desktop
// Entry format) that starts the target: the file's name without ".desktop" is the entry's name, the
// description its comment, and the target with its arguments its Exec line.
#pragma once

#include "platform/base/Strings.h"
#include "platform/sys/Com.h"
#include "platform/sys/OleAuto.h"

#include <string>
#include <vector>

inline constexpr CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IPersist = {0x0000010C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IShellLinkW : IUnknown {
    // E_INVALIDARG for a null or a too small buffer; the path is cut to the buffer.
    virtual HRESULT GetPath(LPWSTR file, int capacity) = 0;
    virtual HRESULT SetPath(LPCWSTR file) = 0;
    virtual HRESULT GetDescription(LPWSTR description, int capacity) = 0;
    virtual HRESULT SetDescription(LPCWSTR description) = 0;
    virtual HRESULT GetArguments(LPWSTR arguments, int capacity) = 0;
    // The arguments split by the command-line rules of CommandLine.h.
    virtual HRESULT SetArguments(LPCWSTR arguments) = 0;
    // Without an icon location the entry takes the target's icon: "<target>.png" when that file
    // exists, else the desktop's icon of programs.
    virtual HRESULT SetIconLocation(LPCWSTR iconPath, int index) = 0;
};

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* classId) = 0;
};

struct IPersistFile : IPersist {
    // Writes the entry atomically; the folder must exist. E_FAIL without a target or when the file
    // cannot be written. `remember` is accepted and not used.
    virtual HRESULT Save(LPCOLESTR fileName, BOOL remember) = 0;
};

// The Exec value of a desktop entry for `argv`: each argument quoted when it holds a reserved
// character, '"', '`', '$' and '\' escaped inside quotes, '%' doubled, and the whole then escaped
// as a string value ('\' doubled, newlines and tabs as \n and \t).
std::string DesktopEntryExec(const std::vector<WString>& argv);
