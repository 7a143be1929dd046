#include "facet/widgets/Widgets.h"

#include "facet/widgets/Caption.h"
#include "facet/widgets/CheckBox.h"
#include "facet/widgets/HyperLink.h"
#include "facet/widgets/Label.h"
#include "facet/widgets/SkinnedWindow.h"
#include "facet/widgets/Toolbar.h"
#include "platform/ui/WindowClass.h"

namespace {

bool IsRegistered(LPCWSTR className)
{
    WNDCLASSEXW info {};
    return GetClassInfoExW(nullptr, className, &info) != FALSE;
}

} // namespace

void RegisterWidgetClasses()
{
    // A second start of the engine finds the classes registered already.
    if (!IsRegistered(kToolbarClass))
        RegisterToolbarClass();
    if (!IsRegistered(kHyperLinkClass))
        RegisterHyperLinkClass();
    if (!IsRegistered(kCaptionClass))
        RegisterCaptionClass();
}

HRESULT AttachSkinnedWindow(HWND hwnd)
{
    RegisterWidgetClasses();
    return AttachWindowSkin(hwnd);
}

void RefreshSkinnedWindows()
{
    for (HWND hwnd : SkinnedWindows())
        RefreshSkinnedWindow(hwnd);
}

void DetachSkinnedWindows()
{
    for (HWND hwnd : SkinnedWindows())
        DetachSkinnedWindow(hwnd);
    // Controls skinned through their label or image objects, outside any skinned window.
    for (HWND hwnd : SkinnedLabels())
        UnskinStaticControl(hwnd);
    for (HWND hwnd : SkinnedCheckBoxes())
        UnskinCheckBox(hwnd);
}
