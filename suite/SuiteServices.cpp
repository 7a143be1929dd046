#include "suite/SuiteServices.h"

#include "platform/base/Format.h"
#include "platform/base/Strings.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/Handle.h"
#include "platform/sys/Module.h"
#include "platform/sys/Path.h"
#include "platform/sys/Process.h"
#include "platform/sys/Registry.h"
#include "suite/Trust.h"
#include "ui/EngineAccess.h"

static_assert(sizeof kFallbackMachineId / sizeof kFallbackMachineId[0] == 33);

namespace {

constexpr DWORD kSuiteFolderBytes = 520;
constexpr int kGetCIDWSize = 100;
constexpr DWORD kLenswardPathLimit = 210;
constexpr WCHAR kIdentifierLibrary[] = u"Dizivevivu.so";
constexpr WCHAR kCommonLibrary[] = u"TernCommon.so";
constexpr WCHAR kLenswardProgram[] = u"TernLensward";

WCHAR g_machineId[kMachineIdCapacity] = {};
HMODULE g_commonLibrary = nullptr;
GetTernCommonInstanceFunction g_getCommonInstance = nullptr;
HMODULE g_resourceModule = nullptr;

// The App Paths "Path" value; empty when it is missing or no text.
WString ReadSuiteFolder()
{
    WCHAR folder[kSuiteFolderBytes / sizeof(WCHAR) + 1] = {};
    DWORD type = 0;
    DWORD size = kSuiteFolderBytes;
    if (SHGetValueW(HKEY_LOCAL_MACHINE, kSuiteAppPathsKey, u"Path", &type, folder, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {};
    return WString(ToView(folder));
}

bool FileExists(const WString& path)
{
    return PathFileExistsW(path.c_str()) != FALSE;
}

WString FindIdentifierLibrary()
{
    WString suite = ReadSuiteFolder();
    if (!suite.empty()) {
        WString path = FormatW(u"%s/%s", suite.c_str(), kIdentifierLibrary);
        if (FileExists(path))
            return path;
    }
    WCHAR folder[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(g_resourceModule, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    PathRemoveFileSpecW(folder);
    WString path = FormatW(u"%s/../%s", folder, kIdentifierLibrary);
    return FileExists(path) ? path : WString();
}

void FillMachineId()
{
    WString path = FindIdentifierLibrary();
    bool filled = false;
    if (!path.empty()) {
        if (HMODULE library = LoadSignedLibrary(path.c_str())) {
            if (auto getCIDW = reinterpret_cast<GetCIDWFunction>(GetProcAddress(library, "GetCIDW")))
                filled = getCIDW(g_machineId, kGetCIDWSize) != 0;
            FreeLibrary(library);
        }
    }
    // An identifier the library could not make, or made empty, is never used half-written.
    g_machineId[kMachineIdCapacity - 1] = 0;
    if (!filled || !g_machineId[0])
        lstrcpynW(g_machineId, kFallbackMachineId, kMachineIdCapacity);
}

} // namespace

void SetResourceModule(HMODULE module)
{
    g_resourceModule = module;
}

LPCWSTR GetMachineId()
{
    if (!g_machineId[0])
        FillMachineId();
    return g_machineId;
}

TernStatSender* GetStatSender()
{
    if (!g_getCommonInstance) {
        if (!g_commonLibrary) {
            WCHAR path[MAX_PATH];
            if (!MakeSharedLibraryPath(kCommonLibrary, path))
                return nullptr;
            g_commonLibrary = LoadSuiteLibrary(path);
            if (!g_commonLibrary)
                return nullptr;
        }
        g_getCommonInstance =
            reinterpret_cast<GetTernCommonInstanceFunction>(GetProcAddress(g_commonLibrary, "GetTernCommonInstance"));
    }
    if (!g_getCommonInstance)
        return nullptr;
    TernCommonServices* services = g_getCommonInstance();
    if (!services)
        return nullptr;
    return services->GetStatSender();
}

void SendStat(TernStatSender* sender, LPCWSTR url)
{
    if (sender && url)
        sender->Send(url);
}

void ApplyCommandLine()
{
    LPCWSTR commandLine = GetCommandLineW();
    if (!commandLine || !StrStrW(commandLine, u"/advtools"))
        return;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    LSTATUS read = SHGetValueW(HKEY_LOCAL_MACHINE, kLenswardSwitchKey, u"openglint", &type, &value, &size);
    if (read != ERROR_SUCCESS || value == 0)
        LaunchLensward();
}

bool LaunchLensward()
{
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || length > kLenswardPathLimit)
        return false;
    PathRemoveFileSpecW(path);
    if (!PathAppendW(path, kLenswardProgram))
        return false;
    if (!IsSignedFile(path))
        return false;
    WCHAR commandLine[MAX_PATH] = {};
    StringCchPrintfW(commandLine, MAX_PATH, u"\"%s\" \"%s\"", path, u"OpenGlint");
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}
