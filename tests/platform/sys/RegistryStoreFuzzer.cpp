// libFuzzer target: the registry's store text. A store that reads must write back to a text that
// reads as the same store, and writing that again changes nothing.
#include "platform/sys/RegistryStore.h"
#include "support/FuzzSupport.h"

namespace {

bool SameStore(const RegistryStore& a, const RegistryStore& b)
{
    if (a.Keys().size() != b.Keys().size())
        return false;
    for (size_t k = 0; k < a.Keys().size(); ++k) {
        const RegistryKey& x = a.Keys()[k];
        const RegistryKey& y = b.Keys()[k];
        if (x.Path() != y.Path() || x.Values().size() != y.Values().size())
            return false;
        for (size_t v = 0; v < x.Values().size(); ++v) {
            if (x.Values()[v].name != y.Values()[v].name || x.Values()[v].type != y.Values()[v].type
                || x.Values()[v].data != y.Values()[v].data)
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
    for (const RegistryKey& key : store->Keys()) {
        fuzz::Check(store->KeyExists(key.Path()), "a key of the store exists");
        fuzz::Check(store->FindKey(key.Path()) != nullptr, "a key of the store is found");
        for (const RegistryValue& value : key.Values())
            fuzz::Check(key.FindValue(value.name) != nullptr, "a value of a key is found");
    }
    std::string written = SerializeRegistryStore(*store);
    std::optional<RegistryStore> again = ParseRegistryStore(written);
    fuzz::Check(again.has_value(), "a written store reads back");
    fuzz::Check(SameStore(*store, *again), "a written store reads back unchanged");
    fuzz::Check(SerializeRegistryStore(*again) == written, "writing a store read back gives the same text");
    return 0;
}
