// The engine's exports and its process-wide objects: the main object, the message box and the
// display-scaling object.
#include "facet/ClassAliases.h"
#include "facet/Image.h"
#include "facet/Package.h"
#include "facet/Skin.h"
#include "facet/XmlDocument.h"
#include "facet/widgets/MessageBoxWindow.h"
#include "facet/widgets/Widgets.h"
#include "platform/sys/Module.h"
#include "platform/ui/Menu.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

#define FACET_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

bool IsSeparator(WCHAR c) { return c == u'/' || c == u'\\'; }

WString FolderOf(WStringView path)
{
    size_t slash = path.find_last_of(u"/\\");
    return slash == WStringView::npos ? WString() : WString(path.substr(0, slash));
}

// A relative path is taken from the folder of `module` (the executable when null).
WString FromModuleFolder(HMODULE module, WStringView path)
{
    if (path.empty() || IsSeparator(path[0]))
        return WString(path);
    std::vector<WCHAR> buffer(4096);
    DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    WString folder = FolderOf(WStringView(buffer.data(), length));
    return folder.empty() ? WString(path) : folder + u'/' + WString(path);
}

class FacetMain final : public EngineMain, public EngineMain4 {
public:
    HRESULT LoadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder) override
    {
        WString path = FromModuleFolder(module, ToView(facetXmlPath));
        WString folder = skinFolder && *skinFolder ? FromModuleFolder(module, ToView(skinFolder)) : FolderOf(path);
        {
            std::lock_guard guard(m_lock);
            m_skinFolder = folder;
        }
        return LoadCurrentSkin(path.c_str(), folder.c_str());
    }

    HRESULT ReloadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder) override
    {
        HRESULT result = LoadSkin(module, facetXmlPath, skinFolder);
        RefreshSkinnedWindows();
        return result;
    }

    void Terminate() override
    {
        DetachSkinnedWindows();
        CloseEnginePackages();
        ClearEngineClassAliases();
    }

    HRESULT AttachWindow(HWND hwnd) override { return AttachSkinnedWindow(hwnd); }

    HRESULT GetWindowObject(HWND hwnd, int number, EngineObject** object) override
    {
        return GetSkinnedWindowObject(hwnd, number, object);
    }

    HRESULT RegisterClassAlias(LPCWSTR baseClass, LPCWSTR alias) override
    {
        if (!baseClass || !*baseClass || !alias || !*alias)
            return E_INVALIDARG;
        RegisterEngineClassAlias(ToView(baseClass), ToView(alias));
        return S_OK;
    }

    EnginePackage* GetPackage() override { return EnginePackages(); }

    HRESULT CreateXmlDocument(EngineXmlDocument** document) override { return CreateEngineXmlDocument(document); }

    // S_FALSE with an empty text before any skin was loaded.
    HRESULT GetSkinFolder(LPWSTR buffer, int capacity) override
    {
        if (!buffer || capacity <= 0)
            return E_INVALIDARG;
        std::lock_guard guard(m_lock);
        if (!CopyToBuffer(m_skinFolder, buffer, static_cast<size_t>(capacity)))
            return STRSAFE_E_INSUFFICIENT_BUFFER;
        return m_skinFolder.empty() ? S_FALSE : S_OK;
    }

private:
    std::mutex m_lock;
    WString m_skinFolder;
};

// The message box drawn with the skin; before a skin is loaded the layer's own box stands in.
class FacetMessageBox final : public EngineMessageBox {
public:
    int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags) override
    {
        std::optional<MessageBoxLook> look = ReadMessageBoxLook();
        if (!look)
            return MessageBoxW(owner, text, caption, flags);
        return ShowSkinnedMessageBox(owner, text, caption, flags, *look);
    }
};

// The engine draws at one scale; the mode is only kept for the callers that set and restore it.
class FacetDisplayScaling final : public EngineDisplayScaling {
public:
    int GetMode() override { return m_mode; }
    void SetMode(int mode) override { m_mode = mode; }

private:
    std::atomic<int> m_mode { 0 };
};

FacetMain& Main()
{
    static FacetMain main;
    return main;
}

} // namespace

FACET_EXPORT EngineMain* GetFacet()
{
    static std::once_flag widgetClasses;
    std::call_once(widgetClasses, RegisterWidgetClasses);
    return &Main();
}

FACET_EXPORT EngineMessageBox* GetFacet3()
{
    static FacetMessageBox messageBox;
    return &messageBox;
}

FACET_EXPORT EngineMain4* GetFacet4()
{
    return &Main();
}

FACET_EXPORT EngineDisplayScaling* GetDPICompatible()
{
    static FacetDisplayScaling scaling;
    return &scaling;
}

FACET_EXPORT HRESULT CreateFacetBitmap(EngineImage** image)
{
    if (!image)
        return E_POINTER;
    *image = CreateEngineImage();
    return *image ? S_OK : E_OUTOFMEMORY;
}
