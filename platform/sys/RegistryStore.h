// The registry's file store: its content in memory, its text format and its place on disk.
#pragma once

#include "platform/base/Strings.h"
#include "platform/sys/Registry.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class RegistryHive { CurrentUser, LocalMachine };

struct RegistryValue {
    WString name;
    DWORD type = REG_NONE;
    std::string data; // the bytes RegQueryValueExW returns
};

struct RegistryKey {
    WString path; // components separated by '\', in the case they were created with
    std::vector<RegistryValue> values;

    RegistryValue* FindValue(const WString& name);
};

struct RegistryStore {
    std::vector<RegistryKey> keys;

    RegistryKey* FindKey(const WString& path);
    // A key exists when it has a section of its own or one below it; the root always exists.
    bool KeyExists(const WString& path) const;
};

// Appends `subKey` to `base` with '\' between components, '/' read as '\' and empty components
// dropped; nothing for a name with control characters, which the store cannot hold.
std::optional<WString> JoinKeyPath(const WString& base, WStringView subKey);

// Nothing unless the text is a complete, well-formed store.
std::optional<RegistryStore> ParseRegistryStore(std::string_view text);
std::string SerializeRegistryStore(const RegistryStore& store);

// The hive's store as it is on disk now; empty when missing or unreadable.
RegistryStore LoadRegistryStore(RegistryHive hive);
// Locks the store, applies `change` to its current content and writes it back atomically unless
// the change returns an error.
LSTATUS ModifyRegistryStore(RegistryHive hive, const std::function<LSTATUS(RegistryStore&)>& change);

// Windows texts with the registry's value types and data: REG_SZ data as UTF-16 with terminator.
WString RegistryStringFromData(const std::string& data);
std::string RegistryDataFromString(WStringView text);
