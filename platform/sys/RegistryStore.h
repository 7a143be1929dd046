// The registry's file store: its content in memory, its text format and its place on disk.
#pragma once

#include "platform/base/Strings.h"
#include "platform/sys/Registry.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

enum class RegistryHive { CurrentUser, LocalMachine };

struct RegistryValue {
    WString name;
    DWORD type = REG_NONE;
    std::string data; // the bytes RegQueryValueExW returns
};

// Names are compared ignoring case; lookups go through an index of the folded names, so a key
// of any size answers in constant time.
class RegistryKey {
public:
    explicit RegistryKey(WString path) : m_path(std::move(path)) { }

    const WString& Path() const { return m_path; } // components separated by '', as created
    const std::vector<RegistryValue>& Values() const { return m_values; }
    const RegistryValue* FindValue(WStringView name) const;
    // Replaces the value of the same name in its place, or appends it.
    void SetValue(RegistryValue value);
    bool RemoveValue(WStringView name);

private:
    WString m_path;
    std::vector<RegistryValue> m_values;
    std::unordered_map<WString, size_t> m_index;
};

class RegistryStore {
public:
    const std::vector<RegistryKey>& Keys() const { return m_keys; }
    const RegistryKey* FindKey(WStringView path) const;
    RegistryKey* FindKey(WStringView path);
    // The key of that path, made (with no values) when there is none.
    RegistryKey& AddKey(const WString& path);
    // A key exists when it has a section of its own or one below it; the root always exists.
    bool KeyExists(WStringView path) const;
    // Keys and values together: what the store's bound counts.
    size_t EntryCount() const;

private:
    std::vector<RegistryKey> m_keys;
    std::unordered_map<WString, size_t> m_index;
    // Every key's folded path and the paths of all its ancestors.
    std::unordered_set<WString> m_existing;
};

// What a store may hold. A file over either bound is not read at all and reads as empty, and a
// change that would pass one is refused.
inline constexpr size_t kRegistryStoreMaxBytes = 64u << 20;
inline constexpr size_t kRegistryStoreMaxEntries = 1000000;

// Appends `subKey` to `base` with '\' between components, '/' read as '\' and empty components
// dropped; nothing for a name with control characters, which the store cannot hold.
std::optional<WString> JoinKeyPath(const WString& base, WStringView subKey);

// Nothing unless the text is a complete, well-formed store.
std::optional<RegistryStore> ParseRegistryStore(std::string_view text);
std::string SerializeRegistryStore(const RegistryStore& store);

// The hive's store as it is on disk now; empty when missing, unreadable, corrupt or too large.
// The parsed store is kept and shared until the file changes, so a run of registry calls reads
// and parses the file once.
std::shared_ptr<const RegistryStore> LoadRegistryStore(RegistryHive hive);
// Locks the store, applies `change` to its current content and writes it back atomically unless
// the change returns an error.
LSTATUS ModifyRegistryStore(RegistryHive hive, const std::function<LSTATUS(RegistryStore&)>& change);

// Windows texts with the registry's value types and data: REG_SZ data as UTF-16 with terminator.
WString RegistryStringFromData(const std::string& data);
std::string RegistryDataFromString(WStringView text);
