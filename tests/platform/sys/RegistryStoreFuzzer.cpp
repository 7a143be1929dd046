// libFuzzer target: the registry's store text. A store that reads must write back to a text that
// reads as the same store, and writing that again changes nothing.
#include "platform/sys/RegistryStore.h"
#include "support/FuzzSupport.h"

namespace {

bool SameStore(const RegistryStore& a, const RegistryStore& b)
{
    if (a.keys.size() != b.keys.size())
        return false;
    for (size_t k = 0; k < a.keys.size(); ++k) {
        const RegistryKey& x = a.keys[k];
        const RegistryKey& y = b.keys[k];
        if (x.path != y.path || x.values.size() != y.values.size())
            return false;
        for (size_t v = 0; v < x.values.size(); ++v) {
            if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type
                || x.values[v].data != y.values[v].data)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::optional<RegistryStore> store = ParseRegistryStore(fuzz::Text(data, size));
    if (!store)
        return 0;
    for (RegistryKey& key : store->keys) {
        fuzz::Check(store->KeyExists(key.path), "a key of the store exists");
        fuzz::Check(store->FindKey(key.path) != nullptr, "a key of the store is found");
        for (RegistryValue& value : key.values)
            fuzz::Check(key.FindValue(value.name) != nullptr, "a value of a key is found");
    }
    std::string written = SerializeRegistryStore(*store);
    std::optional<RegistryStore> again = ParseRegistryStore(written);
    fuzz::Check(again.has_value(), "a written store reads back");
    fuzz::Check(SameStore(*store, *again), "a written store reads back unchanged");
    fuzz::Check(SerializeRegistryStore(*again) == written, "writing a store read back gives the same text");
    return 0;
}
