// Reference counting for the layer's COM objects: the count, and the QueryInterface table.
#pragma once

#include "platform/sys/Com.h"

#include <atomic>
#include <new>
#include <utility>

namespace lumo::media {

// `Interfaces` are the interfaces a class implements; QueryInterface answers each of them and
// IUnknown (through the first one). Deleted when the count reaches zero.
template <class Derived, class First, class... Rest> class ComObject : public First, public Rest... {
public:
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete static_cast<Derived*>(this);
        return left;
    }
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown)
            *object = static_cast<First*>(this);
        else
            *object = static_cast<Derived*>(this)->FindInterface(iid);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

protected:
    // Derived classes give `void* FindInterface(REFIID)` for the interfaces other than IUnknown.
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> m_references { 1 };
};

// Makes an object and hands out its `iid` interface, as class factories do.
template <class T, class... Args> HRESULT CreateAndQuery(REFIID iid, void** object, Args&&... args)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    T* created = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
}

} // namespace lumo::media
