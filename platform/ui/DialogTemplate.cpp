// Dialogs made from RT_DIALOG templates: the dialog font, dialog units and the controls.
#include "platform/ui/Dialog.h"

#include "platform/sys/Resources.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/controls/Controls.h"

#include <algorithm>

namespace {

constexpr int kScreenDpi = 96;
constexpr int kPointsPerInch = 72;
constexpr DWORD kAbsoluteAlign = 0x0001; // DS_ABSALIGN: the position is in screen coordinates

struct PredefinedClass {
    WORD ordinal;
    const WCHAR* name;
};
constexpr PredefinedClass kPredefinedClasses[] = {
    {0x0080, u"Button"},
    {0x0081, u"Edit"},
    {0x0082, u"Static"},
    {0x0083, u"ListBox"},
    {0x0084, u"ScrollBar"},
    {0x0085, u"ComboBox"},
};

// The horizontal base unit is the average width of these 52 letters, as the classic dialog manager
// measures it; the vertical one is the font's character height.
constexpr WCHAR kAlphabet[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLength = 52;
// What the classic 8-point dialog font measures; used only when a font cannot be measured.
constexpr SIZE kClassicBaseUnits {6, 13};

// value * numerator / denominator, rounded half away from zero.
LONG MulDivRounded(LONG value, LONG numerator, LONG denominator)
{
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<LONG>((product >= 0 ? product + half : product - half) / denominator);
}

LONG HorizontalPixels(LONG units, SIZE base)
{
    return MulDivRounded(units, base.cx, 4);
}

LONG VerticalPixels(LONG units, SIZE base)
{
    return MulDivRounded(units, base.cy, 8);
}

bool LoadTemplate(HINSTANCE instance, LPCWSTR name, DialogTemplate& result)
{
    HRSRC resource = FindResourceW(instance, name, RT_DIALOG);
    if (!resource)
        return false;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(instance, resource)));
    DWORD size = SizeofResource(instance, resource);
    if (!bytes || !ParseDialogTemplate(bytes, size, result)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

LPCWSTR ControlClassName(const DialogItemTemplate& item)
{
    if (item.classOrdinal == 0)
        return item.className.c_str();
    for (const auto& predefined : kPredefinedClasses) {
        if (predefined.ordinal == item.classOrdinal)
            return predefined.name;
    }
    return nullptr;
}

LPCWSTR DialogClassName(const DialogTemplate& t)
{
    if (t.classOrdinal != 0)
        return MAKEINTRESOURCEW(t.classOrdinal);
    return t.className.empty() ? WC_DIALOG : t.className.c_str();
}

HFONT CreateTemplateFont(const DialogTemplate& t)
{
    if (!(t.style & DS_SETFONT) || t.faceName.empty())
        return nullptr;
    int height = -MulDivRounded(t.pointSize, kScreenDpi, kPointsPerInch);
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, t.faceName.c_str());
}

RECT WorkAreaNear(HWND owner)
{
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    HMONITOR handle = owner ? MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY) : MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
    if (GetMonitorInfoW(handle, &monitor))
        return monitor.rcWork;
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// Where a top-level dialog goes: centred on its owner (or the work area) with DS_CENTER, else at
// the template's position in the owner's client coordinates; always kept inside the work area.
POINT PlaceTopLevel(const DialogTemplate& t, HWND owner, SIZE size, SIZE base)
{
    RECT work = WorkAreaNear(owner);
    POINT at {HorizontalPixels(t.x, base), VerticalPixels(t.y, base)};
    if (t.style & DS_CENTER) {
        RECT around = work;
        if (owner && IsWindowVisible(owner))
            GetWindowRect(owner, &around);
        at.x = around.left + (around.right - around.left - size.cx) / 2;
        at.y = around.top + (around.bottom - around.top - size.cy) / 2;
    } else if (owner && !(t.style & kAbsoluteAlign)) {
        ClientToScreen(owner, &at);
    }
    at.x = std::max(work.left, std::min(at.x, work.right - size.cx));
    at.y = std::max(work.top, std::min(at.y, work.bottom - size.cy));
    return at;
}

bool CreateControl(HWND dialog, HINSTANCE instance, const DialogItemTemplate& item, SIZE base, HFONT font)
{
    LPCWSTR className = ControlClassName(item);
    if (!className) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return false;
    }
    LPCWSTR title = item.titleOrdinal == 0 ? item.title.c_str() : u"";
    LPVOID creationData = item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data());
    HWND control = CreateWindowExW(item.exStyle, className, title, item.style | WS_CHILD, HorizontalPixels(item.x, base),
        VerticalPixels(item.y, base), HorizontalPixels(item.cx, base), VerticalPixels(item.cy, base), dialog,
        reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(item.id)), instance, creationData);
    if (!control)
        return false;
    // Each control goes below the ones before it, so the z-order is the template's tab order.
    SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    if (font)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return true;
}

void GiveBackOwner(DialogInfo& info)
{
    if (info.disabledOwner)
        EnableWindow(info.disabledOwner, TRUE);
    info.disabledOwner = nullptr;
}

// The control that gets the focus when the dialog procedure asks for the default: the first tab
// stop, else the first control that can take the focus at all.
HWND DefaultFocus(HWND dialog)
{
    if (HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE))
        return first;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        auto style = static_cast<DWORD>(GetWindowLongPtrW(c, GWL_STYLE));
        if ((style & WS_VISIBLE) && !(style & WS_DISABLED))
            return c;
    }
    return nullptr;
}

HWND CreateFromTemplate(HINSTANCE instance, const DialogTemplate& t, HWND parent, DLGPROC proc, LPARAM param, bool modal)
{
    bool child = (t.style & WS_CHILD) != 0;
    HWND owner = parent && !child ? GetAncestor(parent, GA_ROOT) : nullptr;
    HFONT font = CreateTemplateFont(t);
    SIZE base = DialogBaseUnitsOfTemplate(t, font);
    LONG frame = (t.style & (WS_BORDER | WS_DLGFRAME)) ? 2 : 0;
    SIZE size {HorizontalPixels(t.cx, base) + frame, VerticalPixels(t.cy, base) + frame};
    POINT at = child ? POINT {HorizontalPixels(t.x, base), VerticalPixels(t.y, base)} : PlaceTopLevel(t, owner, size, base);

    HWND dialog = CreateWindowExW(t.exStyle, DialogClassName(t), t.title.c_str(), t.style & ~WS_VISIBLE, at.x, at.y,
        size.cx, size.cy, child ? parent : owner, nullptr, instance, reinterpret_cast<LPVOID>(param));
    if (!dialog) {
        if (font)
            DeleteObject(font);
        return nullptr;
    }
    auto info = DialogInfoOf(dialog);
    info->ownedFont = font;
    info->font = font;
    info->baseUnits = base;
    info->modal = modal;
    if (modal && owner && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        info->disabledOwner = owner;
    }
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    if (font)
        SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    for (const auto& item : t.items) {
        if (IsWindow(dialog) && CreateControl(dialog, instance, item, base, font))
            continue;
        DWORD error = GetLastError();
        GiveBackOwner(*info);
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        SetLastError(error);
        return nullptr;
    }

    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    bool defaultFocus = SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param) != 0;
    if (!IsWindow(dialog)) {
        GiveBackOwner(*info);
        return nullptr;
    }
    if (defaultFocus) {
        // The initialisation may have hidden, disabled or added controls, so look again. A hidden
        // dialog takes the focus when it is first activated, which keeps it from activating unseen.
        info->savedFocus = DefaultFocus(dialog);
        if (info->savedFocus && IsWindowVisible(dialog))
            SetFocus(info->savedFocus);
    }
    if ((t.style & WS_VISIBLE) && !IsWindowVisible(dialog)) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
    }
    return IsWindow(dialog) ? dialog : nullptr;
}

} // namespace

// Templates made for the classic 8-point dialog faces were laid out for their 6 × 13 units. The faces
// that stand in for them here are wider, so measuring them would stretch every such dialog; the
// layout keeps the units it was made for, and only the text is drawn in the stand-in face.
SIZE DialogBaseUnitsOfTemplate(const DialogTemplate& t, HFONT font)
{
    static const WCHAR* const kClassicFaces[] = {u"MS Sans Serif", u"MS Shell Dlg", u"MS Shell Dlg 2", u"Microsoft Sans Serif"};
    if ((t.style & DS_SETFONT) && t.pointSize == 8) {
        for (const WCHAR* face : kClassicFaces) {
            if (lstrcmpiW(t.faceName.c_str(), face) == 0)
                return kClassicBaseUnits;
        }
    }
    return DialogBaseUnitsOfFont(font);
}

SIZE DialogBaseUnitsOfFont(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return kClassicBaseUnits;
    SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent {0, 0};
    TEXTMETRICW metrics {};
    bool measured = GetTextExtentPoint32W(dc, kAlphabet, kAlphabetLength, &extent) && GetTextMetricsW(dc, &metrics);
    DeleteDC(dc);
    if (!measured || extent.cx <= 0 || metrics.tmHeight <= 0)
        return kClassicBaseUnits;
    return {(extent.cx / (kAlphabetLength / 2) + 1) / 2, metrics.tmHeight};
}

HWND CreateDialogFromResource(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam, bool modal)
{
    DialogTemplate t;
    if (!LoadTemplate(instance, templateName, t))
        return nullptr;
    return CreateFromTemplate(instance, t, parent, proc, initParam, modal);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    return CreateDialogFromResource(instance, templateName, parent, proc, initParam, false);
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    if (!rect || !IsWindow(dialog))
        return FALSE;
    auto info = DialogInfoOf(dialog);
    if (info->baseUnits.cx == 0)
        info->baseUnits = DialogBaseUnitsOfFont(info->font);
    SIZE base = info->baseUnits;
    *rect = {HorizontalPixels(rect->left, base), VerticalPixels(rect->top, base), HorizontalPixels(rect->right, base),
        VerticalPixels(rect->bottom, base)};
    return TRUE;
}

LONG GetDialogBaseUnits()
{
    static const SIZE base = DialogBaseUnitsOfFont(nullptr);
    return static_cast<LONG>(MAKELPARAM(base.cx, base.cy));
}
