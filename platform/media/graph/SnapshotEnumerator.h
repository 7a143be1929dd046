// The enumerators the layer hands out (pins, filters, monikers): a snapshot of the items taken when
// the enumerator is made, each held by a reference.
#pragma once

#include "platform/media/graph/ComObject.h"

#include <vector>

namespace lumo::media {

template <class Interface, class Item, const IID& kIid>
class SnapshotEnumerator final : public ComObject<SnapshotEnumerator<Interface, Item, kIid>, Interface> {
public:
    explicit SnapshotEnumerator(std::vector<ComPtr<Item>> items)
        : m_items(std::move(items))
    {
    }
    void* FindInterface(REFIID iid) { return iid == kIid ? static_cast<Interface*>(this) : nullptr; }

    HRESULT Next(ULONG count, Item** items, ULONG* fetched) override
    {
        if (!items || (count > 1 && !fetched))
            return E_POINTER;
        ULONG taken = 0;
        while (taken < count && m_position < m_items.size()) {
            items[taken] = m_items[m_position++].Get();
            items[taken]->AddRef();
            ++taken;
        }
        if (fetched)
            *fetched = taken;
        return taken == count ? S_OK : S_FALSE;
    }
    HRESULT Reset() override
    {
        m_position = 0;
        return S_OK;
    }

private:
    std::vector<ComPtr<Item>> m_items;
    size_t m_position = 0;
};

} // namespace lumo::media
