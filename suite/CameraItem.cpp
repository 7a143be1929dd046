// The camera's entry among the user's programs, the desktop's counterpart of the computer view's
// items. The system version never asks for the registry form, so the entry is a link: a desktop
// entry named after the program in the user's applications folder.
#include "album/ShellHandOff.h"
#include "platform/base/Strings.h"
#include "platform/sys/Com.h"
#include "platform/sys/Module.h"
#include "platform/sys/Path.h"
#include "platform/sys/Registry.h"
#include "platform/sys/ShellLink.h"
#include "platform/sys/SpecialFolders.h"
#include "platform/sys/Version.h"
#include "suite/SuiteServices.h"

namespace {

constexpr DWORD kSuiteFolderBytes = 520;
constexpr WCHAR kDisplayName[] = u"Lumo";
constexpr WCHAR kDescription[] = u"Ternshield 摄像头保护模块";
constexpr WCHAR kProgramRelativePath[] = u"watchcore/CameraProtect/TernCamlet";
constexpr WCHAR kLinkExtension[] = u".desktop";
constexpr WCHAR kClassId[] = u"{6A1E3C5B-9D24-4F07-B8E1-2C7D5A90F3B6}";

bool IsXp()
{
    OSVERSIONINFOW version {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExW(&version) && version.dwMajorVersion == 5 && version.dwMinorVersion == 1;
}

WString NameSpaceKey()
{
    return WString(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\NameSpace\\") + kClassId;
}

WString ClassKey(LPCWSTR below)
{
    return WString(u"SOFTWARE\\Classes\\CLSID\\") + kClassId + below;
}

bool DefaultValueEquals(const WString& key, LPCWSTR expected)
{
    WCHAR value[MAX_PATH] = {};
    DWORD size = sizeof value;
    DWORD type = 0;
    if (SHGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, &type, value, &size) != ERROR_SUCCESS)
        return false;
    return lstrcmpiW(value, expected) == 0;
}

// Bounded appends into MAX_PATH units: an overlong path is cut to MAX_PATH - 1, and the test and the
// save both use the cut path.
bool GetLinkPath(WCHAR (&path)[MAX_PATH])
{
    // The folder need not exist yet: it is made when the link is saved.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_NETHOOD | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, path)))
        return false;
    WString link = WString(ToView(path)) + u"/" + kDisplayName + kLinkExtension;
    lstrcpynW(path, link.c_str(), MAX_PATH);
    return true;
}

void WriteRegistryItem(LPCWSTR programPath)
{
    WCHAR program[MAX_PATH] = {};
    lstrcpynW(program, programPath, MAX_PATH);
    auto nameBytes = static_cast<DWORD>((lstrlenW(kDisplayName) + 1) * sizeof(WCHAR));
    SHSetValueW(HKEY_LOCAL_MACHINE, NameSpaceKey().c_str(), nullptr, REG_SZ, kDisplayName, nameBytes);
    SHSetValueW(HKEY_LOCAL_MACHINE, ClassKey(u"").c_str(), nullptr, REG_SZ, kDisplayName, nameBytes);
    SHSetValueW(HKEY_LOCAL_MACHINE, ClassKey(u"\\DefaultIcon").c_str(), nullptr, REG_SZ, program, sizeof program);
    SHSetValueW(HKEY_LOCAL_MACHINE, ClassKey(u"\\shell\\Open\\Command").c_str(), nullptr, REG_SZ, program, sizeof program);
}

void SaveLink(LPCWSTR programPath)
{
    WCHAR linkPath[MAX_PATH];
    if (!GetLinkPath(linkPath) || PathFileExistsW(linkPath))
        return;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
            reinterpret_cast<void**>(&link))))
        return;
    link->SetPath(programPath);
    link->SetDescription(kDescription);
    link->SetArguments(u"");
    IPersistFile* file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->Release();
        return;
    }
    WCHAR folder[MAX_PATH];
    SHGetSpecialFolderPathW(nullptr, folder, CSIDL_NETHOOD, TRUE);
    file->Save(linkPath, FALSE);
    file->Release();
    link->Release();
}

} // namespace

bool GetSuiteFilePath(LPWSTR out, size_t capacity, LPCWSTR relativePath)
{
    WCHAR folder[kSuiteFolderBytes / sizeof(WCHAR) + 1] = {};
    DWORD type = 0;
    DWORD size = kSuiteFolderBytes;
    bool found = SHGetValueW(HKEY_LOCAL_MACHINE, kSuiteAppPathsKey, u"Path", &type, folder, &size) == ERROR_SUCCESS
                 && (type == REG_SZ || type == REG_EXPAND_SZ) && folder[0];
    if (!found) {
        // The program lives in the suite folder's "watchcore/CameraProtect", so the folder three
        // levels up from its own file is the suite folder that names it again.
        DWORD length = GetModuleFileNameW(nullptr, folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return false;
        for (int level = 0; level < 3; ++level)
            PathRemoveFileSpecW(folder);
        if (!folder[0])
            return false;
    }
    WString path = relativePath && *relativePath ? WString(ToView(folder)) + u"/" + relativePath : WString(ToView(folder));
    CopyToBuffer(path, out, capacity);
    return true;
}

bool IsCameraItemPresent()
{
    WCHAR program[MAX_PATH] = {};
    GetSuiteFilePath(program, MAX_PATH, kProgramRelativePath);
    if (IsXp()) {
        return DefaultValueEquals(NameSpaceKey(), kDisplayName) && DefaultValueEquals(ClassKey(u"\\DefaultIcon"), program)
               && DefaultValueEquals(ClassKey(u"\\shell\\Open\\Command"), program);
    }
    WCHAR linkPath[MAX_PATH];
    return GetLinkPath(linkPath) && PathFileExistsW(linkPath);
}

void AddCameraItem(TernStatSender* kept)
{
    ReportCameraItem(kept);
    WCHAR program[MAX_PATH] = {};
    GetSuiteFilePath(program, MAX_PATH, kProgramRelativePath);
    OpenFolderSelect(kComputerLocation, FALSE);
    if (IsXp()) {
        WriteRegistryItem(program);
        return;
    }
    SaveLink(program);
}
