#include "ui/EngineAccess.h"

#include "platform/base/Format.h"
#include "platform/sys/Module.h"
#include "platform/sys/Path.h"
#include "suite/Trust.h"

namespace {

int g_sharedFolderDepth = 0;

CEngineLibrary& ProcessLibrary()
{
    static CEngineLibrary library(LoadSuiteLibrary);
    return library;
}

template <class Function>
Function LookUp(HMODULE module, LPCSTR name)
{
    return reinterpret_cast<Function>(GetProcAddress(module, name));
}

} // namespace

int GetSharedFolderDepth()
{
    return g_sharedFolderDepth;
}

void SetSharedFolderDepth(int depth)
{
    g_sharedFolderDepth = depth;
}

BOOL GetModuleBaseFolder(HMODULE module, int depth, LPWSTR folder)
{
    if (!folder)
        return FALSE;
    folder[0] = 0;
    DWORD length = GetModuleFileNameW(module, folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        folder[0] = 0;
        return FALSE;
    }
    PathRemoveFileSpecW(folder);
    for (int i = 0; i < depth; ++i)
        PathRemoveFileSpecW(folder);
    return TRUE;
}

BOOL MakeSharedLibraryPath(LPCWSTR fileName, LPWSTR path)
{
    if (!GetModuleBaseFolder(nullptr, GetSharedFolderDepth(), path))
        return FALSE;
    return PathAppendW(path, fileName);
}

EngineMain* CEngineLibrary::GetMain(LPCWSTR path)
{
    if (m_main)
        return m_main;
    if (!m_exports.getFacet) {
        if (!m_load || !path || !*path)
            return nullptr;
        HMODULE module = m_load(path);
        if (!module)
            return nullptr;
        auto getFacet = LookUp<GetFacetFunction>(module, "GetFacet");
        if (!getFacet) {
            FreeLibrary(module);
            return nullptr;
        }
        m_module = module;
        m_exports.getFacet = getFacet;
        m_exports.getFacet3 = LookUp<GetFacet3Function>(module, "GetFacet3");
        m_exports.getFacet4 = LookUp<GetFacet4Function>(module, "GetFacet4");
        m_exports.getDPICompatible = LookUp<GetDPICompatibleFunction>(module, "GetDPICompatible");
        m_exports.createFacetBitmap = LookUp<CreateFacetBitmapFunction>(module, "CreateFacetBitmap");
    }
    m_main = m_exports.getFacet();
    return m_main;
}

void CEngineLibrary::UseExports(const EngineExports& exports)
{
    m_exports = exports;
    m_main = nullptr;
}

void CEngineLibrary::Reset()
{
    m_exports = {};
    m_main = nullptr;
}

EngineMain* GetEngineMain()
{
    CEngineLibrary& library = ProcessLibrary();
    if (library.GetExports().getFacet)
        return library.GetMain(nullptr);
    WCHAR path[MAX_PATH];
    if (!MakeSharedLibraryPath(kEngineLibraryName, path))
        return nullptr;
    return library.GetMain(path);
}

EngineMessageBox* GetEngineMessageBox()
{
    GetEngineMain();
    auto getFacet3 = ProcessLibrary().GetExports().getFacet3;
    return getFacet3 ? getFacet3() : nullptr;
}

EngineMain4* GetEngineMain4()
{
    GetEngineMain();
    auto getFacet4 = ProcessLibrary().GetExports().getFacet4;
    return getFacet4 ? getFacet4() : nullptr;
}

EngineDisplayScaling* GetEngineDisplayScaling()
{
    GetEngineMain();
    auto getDPICompatible = ProcessLibrary().GetExports().getDPICompatible;
    return getDPICompatible ? getDPICompatible() : nullptr;
}

HRESULT CreateEngineBitmap(EngineImage** image)
{
    if (!image)
        return E_POINTER;
    *image = nullptr;
    GetEngineMain();
    auto createFacetBitmap = ProcessLibrary().GetExports().createFacetBitmap;
    return createFacetBitmap ? createFacetBitmap(image) : E_NOTIMPL;
}

HMODULE GetEngineModule()
{
    GetEngineMain();
    return ProcessLibrary().GetModule();
}

void UseEngineExportsForTesting(const EngineExports* exports)
{
    CEngineLibrary& library = ProcessLibrary();
    library.Reset();
    if (exports)
        library.UseExports(*exports);
}

WString EngineResourceUrl(HINSTANCE instance, int number)
{
    return FormatW(u"res://%d/%s/%d", static_cast<int>(reinterpret_cast<ULONG_PTR>(instance)), u"PNG", number);
}
