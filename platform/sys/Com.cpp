#include "platform/sys/Com.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct ApartmentState {
    int count = 0;
    bool multithreaded = false;
};
thread_local ApartmentState t_apartment;

struct ClassEntry {
    CLSID clsid;
    ComClassFactory create;
};

struct ClassRegistry {
    std::mutex lock;
    std::vector<ClassEntry> classes;
};

ClassRegistry& Registry()
{
    static ClassRegistry registry;
    return registry;
}

ComClassFactory FindFactory(REFCLSID clsid)
{
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (const auto& entry : registry.classes) {
        if (entry.clsid == clsid)
            return entry.create;
    }
    return nullptr;
}

} // namespace

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit)
{
    if (reserved)
        return E_INVALIDARG;
    bool multithreaded = (coInit & COINIT_APARTMENTTHREADED) == 0;
    if (t_apartment.count > 0) {
        if (t_apartment.multithreaded != multithreaded)
            return RPC_E_CHANGED_MODE;
        ++t_apartment.count;
        return S_FALSE;
    }
    t_apartment.count = 1;
    t_apartment.multithreaded = multithreaded;
    return S_OK;
}

void CoUninitialize()
{
    if (t_apartment.count > 0)
        --t_apartment.count;
}

LPVOID CoTaskMemAlloc(SIZE_T bytes)
{
    // A zero-byte request still gives a distinct pointer that CoTaskMemFree accepts.
    return std::malloc(bytes ? bytes : 1);
}

LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T bytes) { return std::realloc(memory, bytes ? bytes : 1); }

void CoTaskMemFree(LPVOID memory) { std::free(memory); }

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes)
{
    if (flags & ~LMEM_ZEROINIT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    SIZE_T size = bytes ? bytes : 1;
    void* memory = (flags & LMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
    if (!memory)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

void RegisterComClass(REFCLSID clsid, ComClassFactory create)
{
    if (!create)
        return UnregisterComClass(clsid);
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    for (auto& entry : registry.classes) {
        if (entry.clsid == clsid) {
            entry.create = create;
            return;
        }
    }
    registry.classes.push_back({ clsid, create });
}

void UnregisterComClass(REFCLSID clsid)
{
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    std::erase_if(registry.classes, [&clsid](const ClassEntry& entry) { return entry.clsid == clsid; });
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    ComClassFactory create = FindFactory(clsid);
    if (!create || (context & CLSCTX_INPROC) == 0)
        return REGDB_E_CLASSNOTREG;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    HRESULT hr = create(iid, object);
    if (FAILED(hr))
        *object = nullptr;
    return hr;
}
