// The COM basics: IUnknown, per-thread initialisation, task memory, local memory and an
// in-process class registry behind CoCreateInstance.
#pragma once

#include "platform/base/Guid.h"

#include <cstddef>
#include <utility>

inline constexpr IID IID_IUnknown = { 0x00000000, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
using LPUNKNOWN = IUnknown*;

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
inline constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);

// Counted per thread: S_OK the first time, S_FALSE while already initialised, and
// RPC_E_CHANGED_MODE (not counted) when asked for the other threading model.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

LPVOID CoTaskMemAlloc(SIZE_T bytes);
LPVOID CoTaskMemRealloc(LPVOID memory, SIZE_T bytes);
void CoTaskMemFree(LPVOID memory);

using HLOCAL = HANDLE;
inline constexpr UINT LMEM_FIXED = 0x0;
inline constexpr UINT LMEM_ZEROINIT = 0x40;
inline constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
// Fixed memory only: the result is the pointer. LMEM_MOVEABLE is refused (ERROR_NOT_SUPPORTED).
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// nullptr on success, like the system's LocalFree.
HLOCAL LocalFree(HLOCAL memory);

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Makes a new object of the class and returns its `iid` interface in `object` (one reference),
// or an error with `object` set to nullptr.
using ComClassFactory = HRESULT (*)(REFIID iid, void** object);

// Every class lives in this process, so a class is found only with an in-process context.
// A later registration of the same class replaces the earlier one.
void RegisterComClass(REFCLSID clsid, ComClassFactory create);
void UnregisterComClass(REFCLSID clsid);
// Unknown class: REGDB_E_CLASSNOTREG; an outer object: CLASS_E_NOAGGREGATION. `object` is
// nullptr after every failure.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object);

// Holds one reference to an interface.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) { }
    ComPtr(T* pointer)
        : m_pointer(pointer)
    {
        if (m_pointer)
            m_pointer->AddRef();
    }
    ComPtr(const ComPtr& other)
        : ComPtr(other.m_pointer)
    {
    }
    ComPtr(ComPtr&& other) noexcept
        : m_pointer(std::exchange(other.m_pointer, nullptr))
    {
    }
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* pointer)
    {
        ComPtr(pointer).Swap(*this);
        return *this;
    }

    T* Get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    operator T*() const { return m_pointer; }

    // For out-parameters: whatever was held is released first.
    T** operator&() { return ReleaseAndGetAddressOf(); }
    T** ReleaseAndGetAddressOf()
    {
        Reset();
        return &m_pointer;
    }

    // Takes over a reference the caller owns, without AddRef.
    void Attach(T* pointer)
    {
        Reset();
        m_pointer = pointer;
    }
    // Hands the reference to the caller, without Release.
    T* Detach() { return std::exchange(m_pointer, nullptr); }
    void Reset()
    {
        if (T* pointer = std::exchange(m_pointer, nullptr))
            pointer->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_pointer, other.m_pointer); }

    // Asks for another interface; `out` is released first and stays empty on failure.
    template <class U> HRESULT As(REFIID iid, ComPtr<U>& out) const
    {
        out.Reset();
        if (!m_pointer)
            return E_POINTER;
        return m_pointer->QueryInterface(iid, reinterpret_cast<void**>(out.ReleaseAndGetAddressOf()));
    }

private:
    T* m_pointer = nullptr;
};
