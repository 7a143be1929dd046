#include "platform/sys/SpecialFolders.h"

#include "platform/base/Strings.h"
#include "platform/sys/AtomicFile.h"
#include "platform/sys/Module.h"
#include "platform/sys/NativePath.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

struct ITEMIDLIST {
    WCHAR path[MAX_PATH];
};

namespace {

std::string TrimTrailingSeparators(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return TrimTrailingSeparators(home);
    if (passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return TrimTrailingSeparators(entry->pw_dir);
    return {};
}

std::string ConfigFolder()
{
    // The XDG rules ignore a relative $XDG_CONFIG_HOME.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return TrimTrailingSeparators(config);
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

std::string ApplicationsFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return TrimTrailingSeparators(data) + "/applications";
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.local/share/applications";
}

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

// One line of user-dirs.dirs: XDG_DOCUMENTS_DIR="$HOME/Documents" or an absolute path in quotes.
std::optional<std::string> ParseDocumentsLine(std::string_view line, const std::string& home)
{
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR";
    line = TrimLeft(line);
    if (line.substr(0, kKey.size()) != kKey)
        return std::nullopt;
    line = TrimLeft(line.substr(kKey.size()));
    if (line.empty() || line.front() != '=')
        return std::nullopt;
    line = TrimLeft(line.substr(1));
    if (line.empty() || line.front() != '"')
        return std::nullopt;
    line.remove_prefix(1);
    std::string value;
    if (line.substr(0, 5) == "$HOME" && (line.size() == 5 || line[5] == '/' || line[5] == '"')) {
        value = home;
        line.remove_prefix(5);
    } else if (line.empty() || line.front() != '/') {
        return std::nullopt;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            return TrimTrailingSeparators(value);
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        // A path cannot hold a NUL: the folder would be cut short to another one.
        if (line[i] == '\0')
            return std::nullopt;
        value += line[i];
    }
    return std::nullopt;
}

std::string DocumentsFolder()
{
    std::string home = HomeFolder();
    if (home.empty())
        return {};
    std::string documents;
    std::string config = ConfigFolder();
    if (auto content = ReadFileContents(config + "/user-dirs.dirs")) {
        std::string_view rest = *content;
        while (!rest.empty()) {
            size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
            if (auto value = ParseDocumentsLine(line, home))
                documents = *value;
        }
    }
    // As with xdg-user-dirs, a documents folder that is the home folder itself means "not set".
    if (documents.empty() || documents == home)
        return home + "/Documents";
    return documents;
}

std::string ShellFolder()
{
    WCHAR module[4096];
    DWORD length = GetModuleFileNameW(nullptr, module, sizeof module / sizeof module[0]);
    if (length == 0 || length >= sizeof module / sizeof module[0])
        return {};
    std::string executable = ToNativePath(WStringView(module, length));
    size_t slash = executable.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return executable.substr(0, slash) + "/shell";
}

std::optional<std::string> FolderFor(int csidl)
{
    switch (csidl & ~CSIDL_FLAG_MASK) {
    case CSIDL_PERSONAL:
        return DocumentsFolder();
    case CSIDL_APPDATA:
        return ConfigFolder();
    case CSIDL_NETHOOD:
        return ApplicationsFolder();
    case CSIDL_WINDOWS:
        return ShellFolder();
    case CSIDL_SYSTEM: {
        std::string shell = ShellFolder();
        return shell.empty() ? shell : shell + "/system";
    }
    default:
        return std::nullopt;
    }
}

bool IsFolder(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder's wide path; E_INVALIDARG for an unknown csidl, E_FAIL when it cannot be had.
HRESULT ResolveFolder(int csidl, WString& path)
{
    std::optional<std::string> folder = FolderFor(csidl);
    if (!folder)
        return E_INVALIDARG;
    if (folder->empty())
        return E_FAIL;
    bool exists = IsFolder(*folder);
    if (!exists && (csidl & CSIDL_FLAG_CREATE))
        exists = CreateDirectoryTree(*folder);
    if (!exists && !(csidl & CSIDL_FLAG_DONT_VERIFY))
        return E_FAIL;
    path = FromNativePath(*folder);
    return path.size() < MAX_PATH ? S_OK : E_FAIL;
}

} // namespace

BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create)
{
    return SHGetFolderPathW(owner, csidl | (create ? CSIDL_FLAG_CREATE : 0), nullptr, SHGFP_TYPE_CURRENT, path) == S_OK
               ? TRUE
               : FALSE;
}

HRESULT SHGetFolderPathW(HWND /*owner*/, int csidl, HANDLE /*token*/, DWORD /*flags*/, LPWSTR path)
{
    if (!path)
        return E_INVALIDARG;
    path[0] = 0;
    WString folder;
    HRESULT hr = ResolveFolder(csidl, folder);
    if (FAILED(hr))
        return hr;
    CopyToBuffer(folder, path, MAX_PATH);
    return S_OK;
}

HRESULT SHGetSpecialFolderLocation(HWND /*owner*/, int csidl, PIDLIST_ABSOLUTE* idList)
{
    if (!idList)
        return E_INVALIDARG;
    *idList = nullptr;
    WString folder;
    HRESULT hr = ResolveFolder(csidl, folder);
    if (FAILED(hr))
        return hr;
    // malloc, not new: the caller may release it with CoTaskMemFree.
    auto* list = static_cast<ITEMIDLIST*>(std::malloc(sizeof(ITEMIDLIST)));
    if (!list)
        return E_OUTOFMEMORY;
    CopyToBuffer(folder, list->path, MAX_PATH);
    *idList = list;
    return S_OK;
}

BOOL SHGetPathFromIDListW(PCIDLIST_ABSOLUTE idList, LPWSTR path)
{
    if (!path)
        return FALSE;
    path[0] = 0;
    if (!idList)
        return FALSE;
    CopyToBuffer(ToView(idList->path), path, MAX_PATH);
    return TRUE;
}

void ILFree(ITEMIDLIST* idList)
{
    std::free(idList);
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size)
{
    WString folder = FromNativePath(ShellFolder());
    if (folder.empty())
        return 0;
    auto length = static_cast<UINT>(folder.size());
    if (!buffer || size <= length)
        return length + 1;
    CopyToBuffer(folder, buffer, size);
    return length;
}
