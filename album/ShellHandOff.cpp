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

void StartFileManager(WString commandLine)
{
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

} // namespace

void OpenAlbumFile(HWND owner, LPCWSTR path)
{
    WCHAR file[kQuotedCapacity] = {};
    StringCchPrintfW(file, kQuotedCapacity, u"\"%s\"", path);
    ShellExecuteW(owner, nullptr, file, nullptr, nullptr, SW_SHOWDEFAULT);
}

void ShowAlbumFileInFolder(HWND, LPCWSTR path)
{
    // The file manager is the program's own helper and the one thing here that is started; the
    // shell's open would hand it to the desktop as a document.
    WCHAR windows[MAX_PATH] = {};
    if (GetWindowsDirectoryW(windows, MAX_PATH) == 0)
        return;
    PathAppendW(windows, kFileManager);
    WString commandLine = u"\"";
    commandLine += windows;
    commandLine += u"\" /select,\"";
    commandLine += path ? path : u"";
    commandLine += u"\"";
    StartFileManager(commandLine);
}

void OpenFolderSelect(LPCWSTR target, BOOL select)
{
    WCHAR fileManager[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_SYSTEM, nullptr, SHGFP_TYPE_CURRENT, fileManager)))
        return;
    PathRemoveFileSpecW(fileManager);
    PathAppendW(fileManager, kFileManager);

    // Quoted, so a program folder with a space in its path is not split into program and arguments.
    WString commandLine = u"\"";
    commandLine += fileManager;
    commandLine += u"\"";
    commandLine += select ? u" /select, \"" : u" \"";
    commandLine += target ? target : u"";
    commandLine += u"\"";
    StartFileManager(commandLine);
}
