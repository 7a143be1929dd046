// The one shared accessor of the UI engine library (Facet.so) and the shared folder depth that
// tells where the suite's libraries are looked up.
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

inline constexpr WCHAR kEngineLibraryName[] = u"Facet.so";

// Extra folder levels above the executable's folder where the suite's libraries live: 0 at start,
// 2 once a skin reload created its selector.
int GetSharedFolderDepth();
void SetSharedFolderDepth(int depth);

// The module's folder with `depth` more trailing components removed, into a MAX_PATH buffer;
// nullptr is the executable. FALSE when the module's path cannot be had.
BOOL GetModuleBaseFolder(HMODULE module, int depth, LPWSTR folder);
// The executable's folder raised by the shared folder depth, joined with `fileName`.
BOOL MakeSharedLibraryPath(LPCWSTR fileName, LPWSTR path);

// The engine's objects. The first call loads the library through the suite loader; the main
// object is cached for the rest of the process. All of them are nullptr without the engine.
EngineMain* GetEngineMain();
EngineMessageBox* GetEngineMessageBox();
EngineMain4* GetEngineMain4();
EngineDisplayScaling* GetEngineDisplayScaling();
// E_NOTIMPL without the engine or its export, with *image nullptr.
HRESULT CreateEngineBitmap(EngineImage** image);
// The engine's URL of the PNG resource `number` of `instance`: "res://<module>/PNG/<number>".
WString EngineResourceUrl(HINSTANCE instance, int number);
HMODULE GetEngineModule();

// The library's exports; a missing one is nullptr.
struct EngineExports {
    GetFacetFunction getFacet = nullptr;
    GetFacet3Function getFacet3 = nullptr;
    GetFacet4Function getFacet4 = nullptr;
    GetDPICompatibleFunction getDPICompatible = nullptr;
    CreateFacetBitmapFunction createFacetBitmap = nullptr;
};

// One engine library: loaded on the first request, kept only when it exports GetFacet, its
// exports looked up once and GetFacet's interface cached once it gave one.
class CEngineLibrary {
public:
    using LoadFunction = HMODULE (*)(LPCWSTR path);

    explicit CEngineLibrary(LoadFunction load) : m_load(load) { }
    CEngineLibrary(const CEngineLibrary&) = delete;
    CEngineLibrary& operator=(const CEngineLibrary&) = delete;

    // Loads `path` unless a library is held already; nullptr when it is missing or has no GetFacet
    // (the library is then freed again, and the next call tries anew).
    EngineMain* GetMain(LPCWSTR path);
    // Exports that stand in for a library's (tests run the system against an engine of their own).
    void UseExports(const EngineExports& exports);
    // Forgets the held exports and the cached interface; a loaded library stays loaded.
    void Reset();

    const EngineExports& GetExports() const { return m_exports; }
    HMODULE GetModule() const { return m_module; }

private:
    LoadFunction m_load;
    HMODULE m_module = nullptr;
    EngineExports m_exports;
    EngineMain* m_main = nullptr;
};

// The process's engine library. nullptr goes back to the library on disk.
void UseEngineExportsForTesting(const EngineExports* exports);
