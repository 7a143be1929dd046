#include "platform/sys/Com.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

// {6D7E1C30-5A1B-4C2D-9E8F-0A1B2C3D4E5F}
constexpr CLSID kTestClass = { 0x6D7E1C30, 0x5A1B, 0x4C2D, { 0x9E, 0x8F, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F } };
constexpr IID kCounterIid = { 0x6D7E1C31, 0x5A1B, 0x4C2D, { 0x9E, 0x8F, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F } };
constexpr IID kUnsupportedIid = { 0x6D7E1C32, 0x5A1B, 0x4C2D, { 0x9E, 0x8F, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F } };

struct ICounter : IUnknown {
    virtual ULONG References() = 0;
};

int g_liveObjects = 0;

class Counter final : public ICounter {
public:
    Counter() { ++g_liveObjects; }
    ~Counter() { --g_liveObjects; }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != kCounterIid)
            return E_NOINTERFACE;
        *object = static_cast<ICounter*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }
    ULONG References() override { return m_references; }

    static HRESULT Create(REFIID iid, void** object)
    {
        auto* counter = new Counter;
        HRESULT hr = counter->QueryInterface(iid, object);
        counter->Release();
        return hr;
    }

private:
    ULONG m_references = 1;
};

HRESULT CreateOther(REFIID, void**) { return E_OUTOFMEMORY; }

} // namespace

TEST(CoInitialize, CountsPerThreadAndKeepsTheModel)
{
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitialize(reinterpret_cast<LPVOID>(1)), E_INVALIDARG);
}

TEST(CoCreateInstance, CreatesRegisteredClassesOnly)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, kCounterIid, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    RegisterComClass(kTestClass, Counter::Create);
    ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, kCounterIid, &object), S_OK);
    auto* counter = static_cast<ICounter*>(object);
    EXPECT_EQ(counter->References(), 1u);
    EXPECT_EQ(counter->Release(), 0u);
    EXPECT_EQ(g_liveObjects, 0);

    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, kUnsupportedIid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(g_liveObjects, 0);
    EXPECT_EQ(
        CoCreateInstance(kTestClass, counter, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);

    RegisterComClass(kTestClass, CreateOther);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object), E_OUTOFMEMORY);
    UnregisterComClass(kTestClass);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(g_liveObjects, 0);
}

TEST(ComPtr, BalancesEveryReference)
{
    {
        ComPtr<ICounter> first;
        Counter::Create(kCounterIid, reinterpret_cast<void**>(&first));
        ASSERT_NE(first.Get(), nullptr);
        EXPECT_EQ(first->References(), 1u);

        ComPtr<ICounter> copy = first;
        EXPECT_EQ(first->References(), 2u);
        ComPtr<ICounter> moved = std::move(copy);
        EXPECT_EQ(copy.Get(), nullptr);
        EXPECT_EQ(first->References(), 2u);

        ComPtr<IUnknown> unknown;
        EXPECT_EQ(first.As(IID_IUnknown, unknown), S_OK);
        EXPECT_EQ(first->References(), 3u);
        ComPtr<IUnknown> none;
        EXPECT_EQ(first.As(kUnsupportedIid, none), E_NOINTERFACE);
        EXPECT_EQ(none.Get(), nullptr);

        // Taking the address for an out-parameter releases what was held.
        EXPECT_EQ(Counter::Create(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
        EXPECT_EQ(first->References(), 2u);
        EXPECT_EQ(g_liveObjects, 2);

        ICounter* raw = moved.Detach();
        EXPECT_EQ(moved.Get(), nullptr);
        EXPECT_EQ(first->References(), 2u);
        moved.Attach(raw);
        EXPECT_EQ(first->References(), 2u);
        moved = nullptr;
        EXPECT_EQ(first->References(), 1u);
        auto& same = first; // assigned to itself through another name, as aliasing code does
        first = same;
        EXPECT_EQ(first->References(), 1u);
    }
    EXPECT_EQ(g_liveObjects, 0);
}

TEST(ComMemory, AllocatesAndFreesTaskAndLocalMemory)
{
    void* task = CoTaskMemAlloc(0);
    EXPECT_NE(task, nullptr);
    task = CoTaskMemRealloc(task, 64);
    ASSERT_NE(task, nullptr);
    std::memset(task, 0xAB, 64);
    CoTaskMemFree(task);
    CoTaskMemFree(nullptr);

    auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LPTR, 32));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(zeroed[i], 0);
    EXPECT_EQ(LocalFree(zeroed), nullptr);
    EXPECT_EQ(LocalAlloc(0x2, 16), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}
