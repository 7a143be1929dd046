#include "platform/sys/Module.h"

#include "platform/base/Strings.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr ULONG_PTR kExecutableHandle = 0x400000;
constexpr ULONG_PTR kHandleStep = 0x10000;

struct LoadedModule {
    ULONG_PTR handle = 0;
    void* native = nullptr;
    std::string path;
    int references = 0;
};

struct ModuleTable {
    std::mutex lock;
    std::vector<LoadedModule> modules;
    ULONG_PTR nextHandle = kExecutableHandle + kHandleStep;
};

ModuleTable& Table()
{
    static ModuleTable table;
    return table;
}

std::string ExecutablePath()
{
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string CanonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

HMODULE ToHandle(ULONG_PTR value)
{
    return reinterpret_cast<HMODULE>(value);
}

LoadedModule* Find(ModuleTable& table, HMODULE module)
{
    auto value = reinterpret_cast<ULONG_PTR>(module);
    for (auto& entry : table.modules) {
        if (entry.handle == value)
            return &entry;
    }
    return nullptr;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ToNativePath(LPCWSTR path)
{
    std::string utf8 = WideToUtf8(ToView(path));
    for (auto& c : utf8) {
        if (c == '\\')
            c = '/';
    }
    return utf8;
}

} // namespace

HMODULE LoadLibraryW(LPCWSTR path)
{
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string native = CanonicalPath(ToNativePath(path));
    auto& table = Table();
    std::lock_guard guard(table.lock);
    for (auto& entry : table.modules) {
        if (entry.path == native) {
            ++entry.references;
            return ToHandle(entry.handle);
        }
    }
    void* handle = dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(access(native.c_str(), F_OK) == 0 ? ERROR_BAD_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    LoadedModule entry;
    entry.handle = table.nextHandle;
    entry.native = handle;
    entry.path = native;
    entry.references = 1;
    table.nextHandle += kHandleStep;
    table.modules.push_back(entry);
    return ToHandle(entry.handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    void* native = ModuleNativeHandle(module);
    if (!native || !name) {
        SetLastError(native ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(native, name);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    LoadedModule* entry = Find(table, module);
    if (!entry) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--entry->references > 0)
        return TRUE;
    ULONG_PTR handle = entry->handle;
    dlclose(entry->native);
    std::erase_if(table.modules, [handle](const LoadedModule& m) { return m.handle == handle; });
    return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR name)
{
    if (!name)
        return ToHandle(kExecutableHandle);
    std::string wanted = ToNativePath(name);
    bool byPath = wanted.find('/') != std::string::npos;
    if (byPath)
        wanted = CanonicalPath(wanted);
    auto& table = Table();
    std::lock_guard guard(table.lock);
    for (auto& entry : table.modules) {
        if (byPath ? entry.path == wanted : BaseName(entry.path) == wanted)
            return ToHandle(entry.handle);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    std::string path;
    if (!module || reinterpret_cast<ULONG_PTR>(module) == kExecutableHandle) {
        path = ExecutablePath();
    } else {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        if (LoadedModule* entry = Find(table, module))
            path = entry->path;
    }
    if (path.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    WString wide = Utf8ToWide(path);
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (CopyToBuffer(wide, buffer, size)) {
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(wide.size());
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

void* ModuleNativeHandle(HMODULE module)
{
    if (reinterpret_cast<ULONG_PTR>(module) == kExecutableHandle) {
        static void* self = dlopen(nullptr, RTLD_NOW);
        return self;
    }
    auto& table = Table();
    std::lock_guard guard(table.lock);
    LoadedModule* entry = Find(table, module);
    return entry ? entry->native : nullptr;
}
