#include "platform/sys/Registry.h"

#include "platform/base/Strings.h"
#include "platform/sys/RegistryStore.h"

#include <cstring>
#include <optional>

namespace {

constexpr std::uint32_t kKeyMagic = 0x5245474B; // "REGK"

// What an HKEY other than a predefined one points to.
struct OpenKey {
    std::uint32_t magic = kKeyMagic;
    RegistryHive hive = RegistryHive::CurrentUser;
    WString path;
    REGSAM access = 0;
};

struct KeyRef {
    RegistryHive hive;
    WString path;
    REGSAM access;
};

LSTATUS Status(DWORD error)
{
    return static_cast<LSTATUS>(error);
}

constexpr LSTATUS kSuccess = static_cast<LSTATUS>(ERROR_SUCCESS);

std::optional<KeyRef> Resolve(HKEY key)
{
    if (key == HKEY_CURRENT_USER)
        return KeyRef{RegistryHive::CurrentUser, {}, KEY_ALL_ACCESS};
    if (key == HKEY_LOCAL_MACHINE)
        return KeyRef{RegistryHive::LocalMachine, {}, KEY_ALL_ACCESS};
    if (!key)
        return std::nullopt;
    auto* open = reinterpret_cast<OpenKey*>(key);
    if (open->magic != kKeyMagic)
        return std::nullopt;
    return KeyRef{open->hive, open->path, open->access};
}

HKEY NewHandle(RegistryHive hive, const WString& path, REGSAM access)
{
    auto* open = new OpenKey;
    open->hive = hive;
    open->path = path;
    open->access = access;
    return reinterpret_cast<HKEY>(open);
}

WString ValueName(LPCWSTR name)
{
    return WString(ToView(name));
}

} // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM access, PHKEY result)
{
    if (!result)
        return Status(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    auto base = Resolve(key);
    if (!base)
        return Status(ERROR_INVALID_HANDLE);
    auto path = JoinKeyPath(base->path, ToView(subKey));
    if (!path || !LoadRegistryStore(base->hive)->KeyExists(*path))
        return Status(ERROR_FILE_NOT_FOUND);
    *result = NewHandle(base->hive, *path, access);
    return kSuccess;
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD /*reserved*/, LPWSTR /*keyClass*/, DWORD /*options*/,
                        REGSAM access, LPVOID /*securityAttributes*/, PHKEY result, LPDWORD disposition)
{
    if (!result || !subKey)
        return Status(ERROR_INVALID_PARAMETER);
    *result = nullptr;
    auto base = Resolve(key);
    if (!base)
        return Status(ERROR_INVALID_HANDLE);
    auto path = JoinKeyPath(base->path, ToView(subKey));
    if (!path)
        return Status(ERROR_INVALID_PARAMETER);
    bool created = false;
    if (!LoadRegistryStore(base->hive)->KeyExists(*path)) {
        LSTATUS status = ModifyRegistryStore(base->hive, [&](RegistryStore& store) {
            created = !store.KeyExists(*path);
            if (created)
                store.AddKey(*path);
            return kSuccess;
        });
        if (status != kSuccess)
            return status;
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(base->hive, *path, access);
    return kSuccess;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    if (reserved || (data && !dataSize))
        return Status(ERROR_INVALID_PARAMETER);
    auto ref = Resolve(key);
    if (!ref)
        return Status(ERROR_INVALID_HANDLE);
    if (!(ref->access & KEY_QUERY_VALUE))
        return Status(ERROR_ACCESS_DENIED);
    auto store = LoadRegistryStore(ref->hive);
    const RegistryKey* found = store->FindKey(ref->path);
    const RegistryValue* value = found ? found->FindValue(ValueName(name)) : nullptr;
    if (!value)
        return Status(ERROR_FILE_NOT_FOUND);
    if (type)
        *type = value->type;
    if (!dataSize)
        return kSuccess;
    DWORD capacity = *dataSize;
    auto size = static_cast<DWORD>(value->data.size());
    *dataSize = size;
    if (!data)
        return kSuccess;
    if (capacity < size)
        return Status(ERROR_MORE_DATA);
    std::memcpy(data, value->data.data(), size);
    return kSuccess;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD dataSize)
{
    if (!data && dataSize != 0)
        return Status(ERROR_INVALID_PARAMETER);
    auto ref = Resolve(key);
    if (!ref)
        return Status(ERROR_INVALID_HANDLE);
    if (!(ref->access & KEY_SET_VALUE))
        return Status(ERROR_ACCESS_DENIED);
    RegistryValue value;
    value.name = ValueName(name);
    value.type = type;
    if (data)
        value.data.assign(reinterpret_cast<const char*>(data), dataSize);
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        value.data = RegistryDataFromString(RegistryStringFromData(value.data));
    return ModifyRegistryStore(ref->hive, [&](RegistryStore& store) {
        store.AddKey(ref->path).SetValue(value);
        return kSuccess;
    });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name)
{
    auto ref = Resolve(key);
    if (!ref)
        return Status(ERROR_INVALID_HANDLE);
    if (!(ref->access & KEY_SET_VALUE))
        return Status(ERROR_ACCESS_DENIED);
    WString wanted = ValueName(name);
    auto current = LoadRegistryStore(ref->hive);
    const RegistryKey* found = current->FindKey(ref->path);
    if (!found || !found->FindValue(wanted))
        return Status(ERROR_FILE_NOT_FOUND);
    return ModifyRegistryStore(ref->hive, [&](RegistryStore& store) {
        RegistryKey* target = store.FindKey(ref->path);
        if (!target || !target->RemoveValue(wanted))
            return Status(ERROR_FILE_NOT_FOUND);
        return kSuccess;
    });
}

LSTATUS RegCloseKey(HKEY key)
{
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE)
        return kSuccess;
    if (!Resolve(key))
        return Status(ERROR_INVALID_HANDLE);
    auto* open = reinterpret_cast<OpenKey*>(key);
    open->magic = 0;
    delete open;
    return kSuccess;
}

LSTATUS SHGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD* type, void* data, DWORD* dataSize)
{
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(key, subKey, 0, KEY_QUERY_VALUE, &opened);
    if (status != kSuccess)
        return status;
    // Stored strings always carry their terminator, so a string that fits is terminated.
    status = RegQueryValueExW(opened, value, nullptr, type, static_cast<LPBYTE>(data), dataSize);
    RegCloseKey(opened);
    return status;
}

LSTATUS SHSetValueW(HKEY key, LPCWSTR subKey, LPCWSTR value, DWORD type, LPCVOID data, DWORD dataSize)
{
    HKEY opened = nullptr;
    LSTATUS status = RegCreateKeyExW(key, subKey ? subKey : u"", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                     nullptr, &opened, nullptr);
    if (status != kSuccess)
        return status;
    status = RegSetValueExW(opened, value, 0, type, static_cast<const BYTE*>(data), dataSize);
    RegCloseKey(opened);
    return status;
}

LSTATUS SHDeleteValueW(HKEY key, LPCWSTR subKey, LPCWSTR value)
{
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(key, subKey, 0, KEY_SET_VALUE, &opened);
    if (status != kSuccess)
        return status;
    status = RegDeleteValueW(opened, value);
    RegCloseKey(opened);
    return status;
}
