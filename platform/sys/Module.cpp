#include "platform/sys/Module.h"

#include "platform/base/Strings.h"
#include "platform/sys/NativePath.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr ULONG_PTR kExecutableHandle = 0x400000;
constexpr ULONG_PTR kHandleStep = 0x10000;
// Handles stay below 2^31 so that they survive a signed 32-bit decimal round trip.
constexpr ULONG_PTR kLastHandle = 0x7FFF0000;

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

// The file the loader really opened, also when it was found by a bare name on the library path.
std::string LoadedPath(void* native, const std::string& requested)
{
    link_map* map = nullptr;
    if (dlinfo(native, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0] == '/')
        return CanonicalPath(map->l_name);
    return requested;
}

HMODULE ToHandle(ULONG_PTR value) { return reinterpret_cast<HMODULE>(value); }

LoadedModule* Find(ModuleTable& table, HMODULE module)
{
    auto value = reinterpret_cast<ULONG_PTR>(module);
    for (auto& entry : table.modules) {
        if (entry.handle == value)
            return &entry;
    }
    return nullptr;
}

bool InUse(const ModuleTable& table, ULONG_PTR value)
{
    return std::any_of(table.modules.begin(), table.modules.end(),
        [value](const LoadedModule& entry) { return entry.handle == value; });
}

// Values are handed out in rising order and only reused after wrapping around, so a freed
// handle does not name the next library at once. 0 when every value is taken.
ULONG_PTR TakeHandleValue(ModuleTable& table)
{
    constexpr ULONG_PTR kFirst = kExecutableHandle + kHandleStep;
    constexpr ULONG_PTR kCount = (kLastHandle - kFirst) / kHandleStep + 1;
    ULONG_PTR value = table.nextHandle;
    for (ULONG_PTR tried = 0; tried < kCount; ++tried) {
        if (value > kLastHandle)
            value = kFirst;
        if (!InUse(table, value)) {
            table.nextHandle = value + kHandleStep;
            return value;
        }
        value += kHandleStep;
    }
    return 0;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

namespace {

HMODULE Register(void* native, const std::string& loadedPath);

} // namespace

HMODULE LoadLibraryW(LPCWSTR path)
{
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string requested = ToNativePath(ToView(path));
    if (requested.find('/') != std::string::npos)
        requested = CanonicalPath(requested);
    // The loader runs the library's constructors, which may call back into this table, so it
    // runs outside the lock; it also counts its own references, so a second dlopen is harmless.
    void* native = dlopen(requested.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!native) {
        SetLastError(access(requested.c_str(), F_OK) == 0 ? ERROR_BAD_FORMAT : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Register(native, LoadedPath(native, requested));
}

HMODULE LoadLibraryFromDescriptor(int fd, LPCWSTR path)
{
    if (fd < 0 || !path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The descriptor's entry in /proc leads the loader to the very file that is open, whatever
    // the name leads to by now. A library already loaded from that file is found as such. The
    // loader knows objects by name before it looks at their files, though: a name that an earlier
    // load through a descriptor of the same number left behind would give that other library. So
    // the descriptor is duplicated until its name is one the loader does not know.
    std::vector<int> duplicates;
    std::string open;
    for (int candidate = fd;;) {
        open = "/proc/self/fd/" + std::to_string(candidate);
        void* known = dlopen(open.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        bool nameTaken = false;
        if (known) {
            struct link_map* map = nullptr;
            nameTaken = dlinfo(known, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && open == map->l_name;
            dlclose(known);
        }
        if (!nameTaken)
            break;
        candidate = dup(fd);
        if (candidate < 0 || duplicates.size() >= 64) {
            if (candidate >= 0)
                close(candidate);
            for (int duplicate : duplicates)
                close(duplicate);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        duplicates.push_back(candidate);
    }
    void* native = dlopen(open.c_str(), RTLD_NOW | RTLD_LOCAL);
    for (int duplicate : duplicates)
        close(duplicate);
    if (!native) {
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
    }
    std::string known = ToNativePath(ToView(path));
    if (known.find('/') != std::string::npos)
        known = CanonicalPath(known);
    return Register(native, known);
}

namespace {

HMODULE Register(void* native, const std::string& loadedPath)
{
    auto& table = Table();
    std::unique_lock lock(table.lock);
    for (auto& entry : table.modules) {
        if (entry.native == native) {
            ++entry.references;
            lock.unlock();
            dlclose(native);
            return ToHandle(entry.handle);
        }
    }
    ULONG_PTR value = TakeHandleValue(table);
    if (value == 0) {
        lock.unlock();
        dlclose(native);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    table.modules.push_back({ value, native, loadedPath, 1 });
    return ToHandle(value);
}

} // namespace

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
    void* native = nullptr;
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
        native = entry->native;
        ULONG_PTR handle = entry->handle;
        std::erase_if(table.modules, [handle](const LoadedModule& m) { return m.handle == handle; });
    }
    // Destructors of the library run here, outside the lock, for the same reason as in LoadLibraryW.
    dlclose(native);
    return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR name)
{
    if (!name)
        return ToHandle(kExecutableHandle);
    std::string wanted = ToNativePath(ToView(name));
    bool byPath = wanted.find('/') != std::string::npos;
    if (byPath)
        wanted = CanonicalPath(wanted);
    auto matches = [&](const std::string& path) { return byPath ? path == wanted : BaseName(path) == wanted; };
    if (matches(CanonicalPath(ExecutablePath())))
        return ToHandle(kExecutableHandle);
    auto& table = Table();
    std::lock_guard guard(table.lock);
    for (auto& entry : table.modules) {
        if (matches(entry.path))
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
