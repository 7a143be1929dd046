// A small loadable library that stands in for the engine library in the loader tests: GetFacet
// answers nullptr until it is enabled, and counts its calls.

#include "ui/Engine.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

class TestEngine final : public EngineMain {
public:
    HRESULT LoadSkin(HMODULE, LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    void Terminate() override { }
    HRESULT AttachWindow(HWND) override { return E_NOTIMPL; }
    HRESULT GetWindowObject(HWND, int, EngineObject** object) override
    {
        *object = nullptr;
        return E_NOTIMPL;
    }
    HRESULT RegisterClassAlias(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT ReloadSkin(HMODULE, LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    EnginePackage* GetPackage() override { return nullptr; }
    HRESULT CreateXmlDocument(EngineXmlDocument** document) override
    {
        *document = nullptr;
        return E_NOTIMPL;
    }
};

class TestMessageBox final : public EngineMessageBox {
public:
    int MessageBox(HWND, LPCWSTR, LPCWSTR, UINT) override { return 6; }
};

TestEngine g_engine;
TestMessageBox g_messageBox;
bool g_enabled = false;
int g_calls = 0;

} // namespace

TEST_EXPORT EngineMain* GetFacet()
{
    ++g_calls;
    return g_enabled ? &g_engine : nullptr;
}

TEST_EXPORT EngineMessageBox* GetFacet3()
{
    return &g_messageBox;
}

TEST_EXPORT void TestEngineEnable()
{
    g_enabled = true;
}

TEST_EXPORT int TestEngineGetFacetCalls()
{
    return g_calls;
}

TEST_EXPORT EngineMain* TestEngineMain()
{
    return &g_engine;
}
