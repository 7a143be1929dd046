// The per-window objects: one object per request, bound to a window and an interface number. The
// state lives with the window, so objects are cheap and any number of them may point at one window.
#include "facet/widgets/Caption.h"
#include "facet/widgets/CheckBox.h"
#include "facet/widgets/HyperLink.h"
#include "facet/widgets/Label.h"
#include "facet/widgets/SkinnedWindow.h"
#include "facet/widgets/Toolbar.h"
#include "facet/widgets/Widgets.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

#include <atomic>
#include <new>

namespace {

const HRESULT kWindowGone = HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);

HWND CaptionFor(HWND hwnd)
{
    return IsCaption(hwnd) ? hwnd : CaptionOfSkinnedWindow(hwnd);
}

bool IsLabelLike(HWND hwnd)
{
    return IsTextStatic(hwnd) || IsHyperLink(hwnd) || IsCheckBoxControl(hwnd);
}

bool Supports(HWND hwnd, int number)
{
    switch (number) {
    case kEngineBase:
        return true;
    case kEngineControl:
        return IsToolbar(hwnd) || IsLabelLike(hwnd);
    case kEngineWindowBinding:
        return IsSkinnedWindow(hwnd);
    case kEngineToolbar:
        return IsToolbar(hwnd);
    case kEngineCaption:
        return CaptionFor(hwnd) != nullptr;
    case kEngineLabel:
        return IsLabelLike(hwnd);
    default:
        return false;
    }
}

class WindowEngineObject final : public EngineObject {
public:
    WindowEngineObject(HWND hwnd, int number) : m_hwnd(hwnd), m_number(number) { }

    ULONG AddRef() override { return ++m_references; }

    ULONG Release() override
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT QueryObject(int number, EngineObject** object) override
    {
        if (!IsWindow(m_hwnd)) {
            if (object)
                *object = nullptr;
            return kWindowGone;
        }
        return GetSkinnedWindowObject(m_hwnd, number, object);
    }

    HRESULT Refresh() override
    {
        if (HRESULT hr = Check(kEngineBase); FAILED(hr))
            return hr;
        if (IsSkinnedWindow(m_hwnd))
            RefreshSkinnedWindow(m_hwnd);
        else
            RedrawWindow(m_hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        return S_OK;
    }

    HRESULT SetProperty(int property, LPCWSTR value, DWORD extra) override
    {
        if (HRESULT hr = Check(kEngineControl); FAILED(hr))
            return hr;
        if (property == kPropertyImage && IsCheckBoxControl(m_hwnd))
            return SetCheckBoxImage(m_hwnd, value, extra);
        if (property == kPropertyButtonLayout && IsToolbar(m_hwnd))
            return SetToolbarLayout(m_hwnd, extra);
        if (property == kPropertyClearButtons && IsToolbar(m_hwnd))
            return ClearToolbar(m_hwnd);
        return E_INVALIDARG;
    }

    HRESULT Setup(int what, int value) override
    {
        if (HRESULT hr = Check(kEngineWindowBinding); FAILED(hr))
            return hr;
        return SetupSkinnedWindow(m_hwnd, what, value);
    }

    HRESULT SetFrameImage(LPCWSTR imageUrl, int mode, const RECT* stretch) override
    {
        if (HRESULT hr = Check(kEngineWindowBinding); FAILED(hr))
            return hr;
        return SetSkinnedWindowFrame(m_hwnd, imageUrl, mode, stretch);
    }

    HWND GetToolbarWindow() override { return SUCCEEDED(Check(kEngineToolbar)) ? m_hwnd : nullptr; }

    HRESULT AddButton(UINT command, LPCWSTR text, LPCWSTR imageUrl, int width) override
    {
        if (HRESULT hr = Check(kEngineToolbar); FAILED(hr))
            return hr;
        return AddToolbarButton(m_hwnd, command, text, imageUrl, width);
    }

    HRESULT SetCaptionIcon(HICON icon) override
    {
        if (HRESULT hr = Check(kEngineCaption); FAILED(hr))
            return hr;
        return SetCaptionWindowIcon(CaptionFor(m_hwnd), icon);
    }

    HRESULT AddCaptionCommand(UINT command, LPCWSTR text, const RECT* rect) override
    {
        if (HRESULT hr = Check(kEngineCaption); FAILED(hr))
            return hr;
        return AddCaptionLink(CaptionFor(m_hwnd), command, text, rect);
    }

    HRESULT SetLabelSetup(int value) override
    {
        if (HRESULT hr = Check(kEngineLabel); FAILED(hr))
            return hr;
        if (value & ~kLabelSetupMask)
            return E_INVALIDARG;
        if (!IsTextStatic(m_hwnd))
            return S_OK; // links and check boxes always draw one line over the skin
        SkinStaticControl(m_hwnd, 0);
        return AddLabelSetup(m_hwnd, value);
    }

    HRESULT SetLabelText(LPCWSTR markup) override
    {
        if (HRESULT hr = Check(kEngineLabel); FAILED(hr))
            return hr;
        if (IsTextStatic(m_hwnd))
            SkinStaticControl(m_hwnd, 0);
        return SetWindowTextW(m_hwnd, markup ? markup : u"") ? S_OK : E_FAIL;
    }

private:
    ~WindowEngineObject() = default;

    HRESULT Check(int number) const
    {
        if (number != m_number)
            return E_NOTIMPL;
        return IsWindow(m_hwnd) ? S_OK : kWindowGone;
    }

    HWND m_hwnd;
    int m_number;
    std::atomic<ULONG> m_references {1};
};

} // namespace

HRESULT GetSkinnedWindowObject(HWND hwnd, int number, EngineObject** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsWindow(hwnd))
        return kWindowGone;
    if (!Supports(hwnd, number))
        return S_FALSE;
    auto* made = new (std::nothrow) WindowEngineObject(hwnd, number);
    if (!made)
        return E_OUTOFMEMORY;
    *object = made;
    return S_OK;
}
