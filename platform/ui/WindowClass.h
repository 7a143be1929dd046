// Window classes.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <memory>

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
// The built-in classes ("#32770", "Static", "Button", "tooltips_class32") answer for any instance.
BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR className, WNDCLASSEXW* windowClass);
ULONG_PTR GetClassLongPtrW(HWND hwnd, int index);
ULONG_PTR SetClassLongPtrW(HWND hwnd, int index, LONG_PTR value);

// The dialog class, also reachable as the atom 0x8002.
inline const WCHAR* const WC_DIALOG = u"#32770";

// Internal to platform/ui.
struct WindowClassRecord {
    WString name;
    WNDCLASSEXW info {};
    ATOM atom = 0;
    bool builtin = false;
    int windows = 0;
};
// A class by name (case-insensitive) or by integer atom; built-in classes are registered on first use.
std::shared_ptr<WindowClassRecord> FindWindowClass(LPCWSTR nameOrAtom);
// Built-in classes register themselves through this, once, from RegisterBuiltinClasses.
void RegisterBuiltinClass(const WNDCLASSEXW& windowClass);
