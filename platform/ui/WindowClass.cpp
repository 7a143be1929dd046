#include "platform/ui/WindowClass.h"

#include "platform/ui/BuiltinClasses.h"
#include "platform/ui/WindowObject.h"

#include <mutex>
#include <vector>

namespace {

constexpr ATOM kDialogAtom = 0x8002;

struct ClassTable {
    std::recursive_mutex lock;
    std::vector<std::shared_ptr<WindowClassRecord>> classes;
    ATOM nextAtom = 0xC000;
    bool builtinsRegistered = false;
};

ClassTable& Table()
{
    static ClassTable table;
    return table;
}

void EnsureBuiltins(ClassTable& table)
{
    if (table.builtinsRegistered)
        return;
    table.builtinsRegistered = true;
    RegisterBuiltinClasses();
}

std::shared_ptr<WindowClassRecord> Lookup(ClassTable& table, LPCWSTR nameOrAtom)
{
    if (!nameOrAtom)
        return nullptr;
    if (IS_INTRESOURCE(nameOrAtom)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(nameOrAtom));
        for (auto& c : table.classes) {
            if (c->atom == atom)
                return c;
        }
        return nullptr;
    }
    for (auto& c : table.classes) {
        if (lstrcmpiW(c->name.c_str(), nameOrAtom) == 0)
            return c;
    }
    return nullptr;
}

ATOM Register(const WNDCLASSEXW& wc, bool builtin)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    if (!wc.lpszClassName || IS_INTRESOURCE(wc.lpszClassName) || !*wc.lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (Lookup(table, wc.lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto record = std::make_shared<WindowClassRecord>();
    record->name = ToView(wc.lpszClassName);
    record->info = wc;
    record->info.lpszClassName = nullptr; // filled from `name` when read back
    record->info.lpszMenuName = nullptr;
    record->builtin = builtin;
    record->atom = record->name == WC_DIALOG ? kDialogAtom : table.nextAtom++;
    table.classes.push_back(record);
    return record->atom;
}

} // namespace

void RegisterBuiltinClass(const WNDCLASSEXW& windowClass)
{
    Register(windowClass, true);
}

std::shared_ptr<WindowClassRecord> FindWindowClass(LPCWSTR nameOrAtom)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    EnsureBuiltins(table);
    return Lookup(table, nameOrAtom);
}

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass)
{
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& table = Table();
    std::lock_guard guard(table.lock);
    EnsureBuiltins(table);
    return Register(*windowClass, false);
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto record = Lookup(table, className);
    if (!record || record->builtin) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (record->windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    std::erase(table.classes, record);
    return TRUE;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR className, WNDCLASSEXW* windowClass)
{
    auto record = FindWindowClass(className);
    if (!record || !windowClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *windowClass = record->info;
    windowClass->cbSize = sizeof(WNDCLASSEXW);
    windowClass->lpszClassName = record->name.c_str(); // lives as long as the class
    return TRUE;
}

ULONG_PTR GetClassLongPtrW(HWND hwnd, int index)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return 0;
    const WNDCLASSEXW& info = w->windowClass->info;
    switch (index) {
    case GCLP_HCURSOR:
        return reinterpret_cast<ULONG_PTR>(info.hCursor);
    case GCLP_HBRBACKGROUND:
        return reinterpret_cast<ULONG_PTR>(info.hbrBackground);
    case GCLP_HICON:
        return reinterpret_cast<ULONG_PTR>(info.hIcon);
    case GCLP_HICONSM:
        return reinterpret_cast<ULONG_PTR>(info.hIconSm);
    default:
        return 0;
    }
}

ULONG_PTR SetClassLongPtrW(HWND hwnd, int index, LONG_PTR value)
{
    WindowObject* w = FindWindowObject(hwnd);
    if (!w)
        return 0;
    ULONG_PTR old = GetClassLongPtrW(hwnd, index);
    WNDCLASSEXW& info = w->windowClass->info;
    switch (index) {
    case GCLP_HCURSOR:
        info.hCursor = reinterpret_cast<HCURSOR>(value);
        break;
    case GCLP_HBRBACKGROUND:
        info.hbrBackground = reinterpret_cast<HBRUSH>(value);
        break;
    case GCLP_HICON:
        info.hIcon = reinterpret_cast<HICON>(value);
        break;
    case GCLP_HICONSM:
        info.hIconSm = reinterpret_cast<HICON>(value);
        break;
    default:
        return 0;
    }
    return old;
}
