#include "platform/ui/Menu.h"

#include "platform/sys/Resources.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

// Menu handles are never reused, so a stale handle names no menu instead of a newer one.
constexpr ULONG_PTR kFirstMenuHandle = 0x00A00010;
constexpr ULONG_PTR kMenuHandleStep = 4;
// A popup may be put into its own subtree by mistake; searches stop at this depth instead of looping.
constexpr int kMaxDepth = 16;
constexpr UINT kStoredFlags = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR;
constexpr UINT kMissing = 0xFFFFFFFF;

struct MenuItem {
    UINT flags = 0;
    UINT id = 0;
    HMENU popup = nullptr;
    WString text;
};

struct MenuObject {
    bool isPopup = false;
    std::vector<MenuItem> items;
};

struct MenuTable {
    std::mutex lock;
    std::unordered_map<ULONG_PTR, std::unique_ptr<MenuObject>> menus;
    ULONG_PTR nextHandle = kFirstMenuHandle;
};

MenuTable& Table()
{
    static MenuTable* table = new MenuTable; // menus may be destroyed during static destruction
    return *table;
}

ULONG_PTR Key(HMENU menu)
{
    return reinterpret_cast<ULONG_PTR>(menu);
}

// The functions below expect the table's lock to be held.
MenuObject* Find(MenuTable& table, HMENU menu)
{
    auto it = table.menus.find(Key(menu));
    return it == table.menus.end() ? nullptr : it->second.get();
}

MenuObject* FindOrFail(MenuTable& table, HMENU menu)
{
    MenuObject* m = Find(table, menu);
    if (!m)
        SetLastError(ERROR_INVALID_MENU_HANDLE);
    return m;
}

HMENU Create(MenuTable& table, bool isPopup)
{
    auto menu = reinterpret_cast<HMENU>(table.nextHandle);
    table.nextHandle += kMenuHandleStep;
    auto object = std::make_unique<MenuObject>();
    object->isPopup = isPopup;
    table.menus.emplace(Key(menu), std::move(object));
    return menu;
}

void Destroy(MenuTable& table, HMENU menu, int depth)
{
    auto it = table.menus.find(Key(menu));
    if (it == table.menus.end() || depth > kMaxDepth)
        return;
    std::unique_ptr<MenuObject> doomed = std::move(it->second);
    table.menus.erase(it);
    // A popup destroyed earlier on its own is simply not found any more.
    for (const MenuItem& item : doomed->items) {
        if (item.popup)
            Destroy(table, item.popup, depth + 1);
    }
}

struct Location {
    MenuObject* menu = nullptr;
    size_t index = 0;
};

bool FindCommand(MenuTable& table, MenuObject& menu, UINT id, int depth, Location* found)
{
    if (depth > kMaxDepth)
        return false;
    for (size_t i = 0; i < menu.items.size(); ++i) {
        MenuItem& item = menu.items[i];
        if (item.flags & MF_POPUP) {
            MenuObject* sub = Find(table, item.popup);
            if (sub && FindCommand(table, *sub, id, depth + 1, found))
                return true;
            continue;
        }
        if (item.id == id) {
            *found = {&menu, i};
            return true;
        }
    }
    return false;
}

// An item by position in `menu` itself, or by command anywhere in its tree.
bool Locate(MenuTable& table, HMENU menu, UINT item, UINT flags, Location* found)
{
    MenuObject* m = FindOrFail(table, menu);
    if (!m)
        return false;
    if (flags & MF_BYPOSITION) {
        if (item >= m->items.size())
            return false;
        *found = {m, item};
        return true;
    }
    return FindCommand(table, *m, item, 0, found);
}

bool MakeItem(MenuTable& table, HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCWSTR text, MenuItem* item)
{
    item->flags = flags & kStoredFlags;
    if (flags & MF_POPUP) {
        auto popup = reinterpret_cast<HMENU>(idOrPopup);
        if (popup == menu || !Find(table, popup)) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return false;
        }
        item->popup = popup;
        item->flags &= ~MF_SEPARATOR;
    } else {
        item->id = static_cast<UINT>(idOrPopup);
    }
    if (!(flags & MF_SEPARATOR) && text)
        item->text = ToView(text);
    return true;
}

bool Build(MenuTable& table, MenuObject& menu, const std::vector<MenuItemTemplate>& items, int depth)
{
    if (depth > kMaxDepth)
        return false;
    for (const MenuItemTemplate& source : items) {
        MenuItem item;
        item.flags = source.flags & kStoredFlags;
        item.text = source.text;
        if (!source.IsPopup()) {
            item.id = source.id;
            if (source.IsSeparator())
                item.flags |= MF_SEPARATOR;
            menu.items.push_back(std::move(item));
            continue;
        }
        // Attached before it is filled, so a failure part-way is cleaned up with the root.
        HMENU popup = Create(table, true);
        item.popup = popup;
        menu.items.push_back(std::move(item));
        if (!Build(table, *Find(table, popup), source.children, depth + 1))
            return false;
    }
    return true;
}

BOOL Detach(HMENU menu, UINT position, UINT flags, bool destroyPopup)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (!Locate(table, menu, position, flags, &at))
        return FALSE;
    HMENU popup = at.menu->items[at.index].popup;
    at.menu->items.erase(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index));
    if (destroyPopup && popup)
        Destroy(table, popup, 0);
    return TRUE;
}

} // namespace

HMENU CreateMenu()
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return Create(table, false);
}

HMENU CreatePopupMenu()
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return Create(table, true);
}

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name)
{
    HRSRC found = FindResourceW(instance, name, RT_MENU);
    if (!found)
        return nullptr;
    auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(instance, found)));
    MenuTemplate parsed;
    if (!bytes || !ParseMenuTemplate(bytes, SizeofResource(instance, found), parsed)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    auto& table = Table();
    std::lock_guard guard(table.lock);
    HMENU menu = Create(table, false);
    if (!Build(table, *Find(table, menu), parsed.items, 0)) {
        Destroy(table, menu, 0);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return menu;
}

BOOL DestroyMenu(HMENU menu)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    if (!FindOrFail(table, menu))
        return FALSE;
    Destroy(table, menu, 0);
    return TRUE;
}

BOOL IsMenu(HMENU menu)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return Find(table, menu) ? TRUE : FALSE;
}

HMENU GetSubMenu(HMENU menu, int position)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (position < 0 || !Locate(table, menu, static_cast<UINT>(position), MF_BYPOSITION, &at))
        return nullptr;
    HMENU popup = at.menu->items[at.index].popup;
    return Find(table, popup) ? popup : nullptr;
}

int GetMenuItemCount(HMENU menu)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    MenuObject* m = FindOrFail(table, menu);
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (position < 0 || !Locate(table, menu, static_cast<UINT>(position), MF_BYPOSITION, &at))
        return kMissing;
    const MenuItem& item = at.menu->items[at.index];
    return (item.flags & MF_POPUP) ? kMissing : item.id;
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int capacity, UINT flags)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (buffer && capacity > 0)
        buffer[0] = 0;
    if (!Locate(table, menu, item, flags, &at))
        return 0;
    const WString& text = at.menu->items[at.index].text;
    if (!buffer || capacity <= 0)
        return static_cast<int>(text.size());
    CopyToBuffer(text, buffer, static_cast<size_t>(capacity));
    return lstrlenW(buffer);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (!Locate(table, menu, item, flags, &at))
        return kMissing;
    const MenuItem& found = at.menu->items[at.index];
    if (!(found.flags & MF_POPUP))
        return found.flags;
    // For a popup the high byte holds its item count, as on Windows.
    MenuObject* sub = Find(table, found.popup);
    UINT count = sub ? static_cast<UINT>(sub->items.size()) : 0;
    return (count << 8) | (found.flags & 0xFF);
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCWSTR text)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    MenuObject* m = FindOrFail(table, menu);
    MenuItem item;
    if (!m || !MakeItem(table, menu, flags, idOrPopup, text, &item))
        return FALSE;
    m->items.push_back(std::move(item));
    return TRUE;
}

BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, LPCWSTR text)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    MenuObject* m = FindOrFail(table, menu);
    MenuItem item;
    if (!m || !MakeItem(table, menu, flags, idOrPopup, text, &item))
        return FALSE;
    Location at;
    if (!Locate(table, menu, position, flags, &at)) {
        if (!(flags & MF_BYPOSITION))
            return FALSE;
        // A position past the end (such as -1) appends.
        at = {m, m->items.size()};
    }
    at.menu->items.insert(at.menu->items.begin() + static_cast<std::ptrdiff_t>(at.index), std::move(item));
    return TRUE;
}

BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR idOrPopup, LPCWSTR text)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    MenuItem item;
    if (!Locate(table, menu, position, flags, &at) || !MakeItem(table, menu, flags, idOrPopup, text, &item))
        return FALSE;
    HMENU old = at.menu->items[at.index].popup;
    at.menu->items[at.index] = std::move(item);
    // The popup an item opened goes with the item it was replaced in, as on Windows.
    if (old && old != at.menu->items[at.index].popup)
        Destroy(table, old, 0);
    return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags)
{
    return Detach(menu, position, flags, true);
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags)
{
    return Detach(menu, position, flags, false);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (!Locate(table, menu, item, check, &at))
        return kMissing;
    UINT& flags = at.menu->items[at.index].flags;
    DWORD previous = flags & MF_CHECKED;
    flags = (flags & ~MF_CHECKED) | (check & MF_CHECKED);
    return previous;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    Location at;
    if (!Locate(table, menu, item, enable, &at))
        return static_cast<BOOL>(kMissing);
    UINT& flags = at.menu->items[at.index].flags;
    UINT previous = flags & (MF_GRAYED | MF_DISABLED);
    flags = (flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return static_cast<BOOL>(previous);
}
