#include "facet/widgets/SkinnedWindow.h"

#include "facet/Skin.h"
#include "facet/widgets/Caption.h"
#include "facet/widgets/CheckBox.h"
#include "facet/widgets/Label.h"
#include "facet/widgets/NineGrid.h"
#include "facet/widgets/WidgetPaint.h"
#include "facet/widgets/WidgetRegistry.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

namespace {

struct SkinnedWindowState {
    WNDPROC previous = nullptr;
    HWND caption = nullptr;
    bool skinOn = true;
    ImageHandle frame;
    WString frameUrl;
    int frameMode = kFrameNineGrid;
    RECT frameCentre {};
    bool hasFrameCentre = false;
};

WidgetRegistry<SkinnedWindowState>& Windows()
{
    static WidgetRegistry<SkinnedWindowState> windows;
    return windows;
}

void DrawPlainSkin(cairo_t* cr, const RECT& client)
{
    const Skin& skin = CurrentSkin();
    cairo_save(cr);
    SetCairoColor(cr, skin.windowBackground);
    cairo_rectangle(cr, client.left, client.top, client.right - client.left, client.bottom - client.top);
    cairo_fill(cr);
    double band = skin.captionHeight;
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, client.top, 0, client.top + band);
    cairo_pattern_add_color_stop_rgb(gradient, 0, GetRValue(skin.captionTop) / 255.0, GetGValue(skin.captionTop) / 255.0,
        GetBValue(skin.captionTop) / 255.0);
    cairo_pattern_add_color_stop_rgb(gradient, 1, GetRValue(skin.captionBottom) / 255.0,
        GetGValue(skin.captionBottom) / 255.0, GetBValue(skin.captionBottom) / 255.0);
    cairo_set_source(cr, gradient);
    cairo_rectangle(cr, client.left, client.top, client.right - client.left, band);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
    cairo_restore(cr);
}

void DrawFrame(HWND hwnd, const SkinnedWindowState& state, HDC dc)
{
    cairo_t* cr = CairoOf(dc);
    if (!cr)
        return;
    RECT client {};
    GetClientRect(hwnd, &client);
    // The plain skin also shows through where the picture is not opaque (its rounded corners).
    DrawPlainSkin(cr, client);
    cairo_surface_t* picture = state.frame.Surface();
    if (!picture)
        return;
    RECT whole {0, 0, state.frame.Width(), state.frame.Height()};
    if (state.frameMode == kFrameNineGrid)
        DrawNineGrid(cr, picture, state.hasFrameCentre ? state.frameCentre : whole, client);
    else
        DrawSurfacePart(cr, picture, whole, client);
}

void RedrawAll(HWND hwnd)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

LRESULT SkinnedWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto state = Windows().Find(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_ERASEBKGND:
        if (!state->skinOn)
            break;
        DrawFrame(hwnd, *state, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_SIZE: {
        LRESULT result = CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
        // The frame's edges stretch with the size, so all of it changes.
        if (wParam != SIZE_MINIMIZED && IsWindow(hwnd)) {
            LayoutCaption(state->caption);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return result;
    }
    case WM_SETTEXT: {
        LRESULT result = CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
        if (state->caption && IsWindow(state->caption))
            InvalidateRect(state->caption, nullptr, TRUE);
        return result;
    }
    case WM_NCDESTROY:
        Windows().Remove(hwnd);
        return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
    default:
        break;
    }
    return CallWindowProcW(state->previous, hwnd, message, wParam, lParam);
}

void SkinControls(HWND hwnd)
{
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsTextStatic(child))
            SkinStaticControl(child, kLabelTransparent | kLabelSingleLine);
        else if (IsCheckBoxControl(child))
            SkinCheckBox(child);
    }
}

void UnskinControls(HWND hwnd)
{
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        UnskinStaticControl(child);
        UnskinCheckBox(child);
    }
}

HWND FindOrCreateCaption(HWND hwnd)
{
    HWND existing = GetDlgItem(hwnd, kCaptionId);
    if (existing)
        return IsCaption(existing) ? existing : nullptr;
    return CreateCaption(hwnd);
}

} // namespace

HRESULT AttachWindowSkin(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    if (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD)
        return E_INVALIDARG;
    if (IsSkinnedWindow(hwnd)) {
        // Attaching again takes in the controls made since.
        SkinControls(hwnd);
        RefreshSkinnedWindow(hwnd);
        return S_OK;
    }
    auto state = std::make_shared<SkinnedWindowState>();
    Windows().Add(hwnd, state);
    state->previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SkinnedWindowProc)));
    SkinControls(hwnd);
    state->caption = FindOrCreateCaption(hwnd);
    RedrawAll(hwnd);
    return S_OK;
}

bool IsSkinnedWindow(HWND hwnd)
{
    return Windows().Find(hwnd) != nullptr;
}

HWND CaptionOfSkinnedWindow(HWND hwnd)
{
    auto state = Windows().Find(hwnd);
    return state && IsWindow(state->caption) ? state->caption : nullptr;
}

HRESULT SetupSkinnedWindow(HWND hwnd, int what, int value)
{
    auto state = Windows().Find(hwnd);
    if (!state)
        return E_INVALIDARG;
    switch (what) {
    case kSetupSkin:
        state->skinOn = value != 0;
        RedrawAll(hwnd);
        return S_OK;
    case kSetupBound:
        RedrawAll(hwnd);
        return S_OK;
    default:
        return E_INVALIDARG;
    }
}

HRESULT SetSkinnedWindowFrame(HWND hwnd, LPCWSTR imageUrl, int mode, const RECT* centre)
{
    auto state = Windows().Find(hwnd);
    if (!state)
        return E_INVALIDARG;
    if (mode != kFrameNineGrid && mode != kFrameStretch)
        return E_INVALIDARG;
    state->frameMode = mode;
    state->hasFrameCentre = centre != nullptr;
    state->frameCentre = centre ? *centre : RECT {};
    state->frameUrl = WString(ToView(imageUrl));
    state->frame = LoadWidgetImage(imageUrl);
    RedrawAll(hwnd);
    bool wanted = imageUrl && *imageUrl;
    return !wanted || state->frame.Surface() ? S_OK : E_FAIL;
}

void RefreshSkinnedWindow(HWND hwnd)
{
    auto state = Windows().Find(hwnd);
    if (!state)
        return;
    // A skin reload may bring a new picture under the same path; a failed reload keeps the old one.
    if (!state->frameUrl.empty()) {
        ImageHandle reloaded = LoadWidgetImage(state->frameUrl.c_str());
        if (reloaded.Surface())
            state->frame = std::move(reloaded);
    }
    LayoutCaption(state->caption);
    RedrawAll(hwnd);
}

void DetachSkinnedWindow(HWND hwnd)
{
    auto state = Windows().Find(hwnd);
    if (!state)
        return;
    if (!IsWindow(hwnd)) {
        Windows().Remove(hwnd);
        return;
    }
    UnskinControls(hwnd);
    if (state->caption && IsCaption(state->caption))
        DestroyWindow(state->caption);
    // Someone subclassed the window after us: our procedure stays in their chain, so the state stays too.
    if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(SkinnedWindowProc)) {
        state->skinOn = false;
        state->caption = nullptr;
        RedrawAll(hwnd);
        return;
    }
    Windows().Remove(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->previous));
    RedrawAll(hwnd);
}

std::vector<HWND> SkinnedWindows()
{
    return Windows().Windows();
}
