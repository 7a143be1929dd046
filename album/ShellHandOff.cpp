#include "album/ShellHandOff.h"

#include "platform/base/Format.h"
#include "platform/base/Strings.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Path.h"
#include "platform/sys/Process.h"
#include "platform/sys/SpecialFolders.h"
#include "platform/ui/WinUser.h"

namespace {

constexpr const WCHAR* kFileManager = u"explorer.exe";
// Room for a quoted full path and the switch in front of it.
constexpr size_t kQuotedCapacity = MAX_PATH + 16;

} // namespace

void OpenAlbumFile(HWND owner, LPCWSTR path)
{
    WCHAR file[kQuotedCapacity] = {};
    StringCchPrintfW(file, kQuotedCapacity, u"\"%s\"", path);
    ShellExecuteW(owner, nullptr, file, nullptr, nullptr, SW_SHOWDEFAULT);
}

void ShowAlbumFileInFolder(HWND owner, LPCWSTR path)
{
    WCHAR windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    PathAppendW(windows, kFileManager);
    WCHAR file[kQuotedCapacity] = {};
    StringCchPrintfW(file, kQuotedCapacity, u"\"%s\"", windows);
    WCHAR parameters[kQuotedCapacity] = {};
    StringCchPrintfW(parameters, kQuotedCapacity, u"/select,\"%s\"", path);
    ShellExecuteW(owner, nullptr, file, parameters, nullptr, SW_SHOWDEFAULT);
}

void OpenFolderSelect(LPCWSTR target, BOOL select)
{
    WCHAR fileManager[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, fileManager)))
        return;
    PathRemoveFileSpecW(fileManager);
    PathAppendW(fileManager, kFileManager);

    WString commandLine = fileManager;
    commandLine += select ? u" /select, \"" : u" \"";
    commandLine += target ? target : u"";
    commandLine += u"\"";

    STARTUPINFOW startup {};
    GetStartupInfoW(&startup);
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
