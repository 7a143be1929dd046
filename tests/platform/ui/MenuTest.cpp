#include "UiTestSupport.h"

#include "platform/sys/Module.h"
#include "platform/ui/Menu.h"

namespace {

constexpr UINT kMissing = 0xFFFFFFFF;

WString TextOf(HMENU menu, UINT item, UINT flags)
{
    WCHAR buffer[64];
    GetMenuStringW(menu, item, buffer, 64, flags);
    return buffer;
}

struct ExpectedItem {
    UINT id;
    WString text;
};

void ExpectItems(HMENU menu, const std::vector<ExpectedItem>& expected)
{
    ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        auto position = static_cast<int>(i);
        EXPECT_EQ(GetMenuItemID(menu, position), expected[i].id) << i;
        EXPECT_EQ(TextOf(menu, static_cast<UINT>(i), MF_BYPOSITION), expected[i].text) << i;
    }
}

HMENU LoadProgramMenu()
{
    return LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(222));
}

} // namespace

TEST(MenuTest, TheProgramMenuLoadsWithItsThreePopups)
{
    HMENU menu = LoadProgramMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    const WCHAR* names[] = {u"PopMenu", u"DeviceMenu", u"PopImg"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(TextOf(menu, static_cast<UINT>(i), MF_BYPOSITION), names[i]);
        EXPECT_EQ(GetMenuItemID(menu, i), kMissing) << "a popup has no command";
        EXPECT_TRUE(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_POPUP);
    }
    EXPECT_EQ(GetSubMenu(menu, 3), nullptr);
    ExpectItems(GetSubMenu(menu, 0), {{32772, u"640*480"}, {32773, u"320*240"}, {32774, u"160*120"}});
    ExpectItems(GetSubMenu(menu, 1), {{32776, u"Device"}});
    ExpectItems(GetSubMenu(menu, 2), {{32779, u"删除文件"}, {32780, u"打开文件夹"}});
    // The popup's state carries its item count in the high byte.
    EXPECT_EQ(GetMenuState(menu, 0, MF_BYPOSITION) >> 8, 3u);
    EXPECT_TRUE(DestroyMenu(menu));
}

TEST(MenuTest, EveryLoadIsAFreshCopy)
{
    HMENU first = LoadProgramMenu();
    HMENU second = LoadProgramMenu();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(GetSubMenu(first, 0), GetSubMenu(second, 0));
    EXPECT_TRUE(DeleteMenu(first, 32772, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(first, 0)), 2);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(second, 0)), 3);
    DestroyMenu(first);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(second, 0)), 3);
    DestroyMenu(second);
}

TEST(MenuTest, AMissingMenuResourceGivesNull)
{
    SetLastError(0);
    EXPECT_EQ(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(4321)), nullptr);
    EXPECT_NE(GetLastError(), 0u);
}

// The program's own edits: the resolution popup loses a size, renames one, the device popup gets
// the devices appended and one of them checked.
TEST(MenuTest, EditingByCommandReachesNestedPopups)
{
    HMENU menu = LoadProgramMenu();
    ASSERT_NE(menu, nullptr);
    HMENU sizes = GetSubMenu(menu, 0);
    HMENU devices = GetSubMenu(menu, 1);

    EXPECT_TRUE(DeleteMenu(menu, 32773, MF_BYCOMMAND));
    EXPECT_TRUE(ModifyMenuW(menu, 32774, MF_BYCOMMAND | MF_STRING, 32774, u"1280*720"));
    ExpectItems(sizes, {{32772, u"640*480"}, {32774, u"1280*720"}});
    EXPECT_FALSE(DeleteMenu(menu, 32773, MF_BYCOMMAND)) << "already gone";

    EXPECT_TRUE(AppendMenuW(devices, MF_STRING, 32777, u"USB Camera"));
    EXPECT_TRUE(AppendMenuW(devices, MF_STRING, 32778, u"虚拟摄像头"));
    ExpectItems(devices, {{32776, u"Device"}, {32777, u"USB Camera"}, {32778, u"虚拟摄像头"}});

    EXPECT_EQ(CheckMenuItem(devices, 1, MF_BYPOSITION | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(devices, 1, MF_BYPOSITION | MF_CHECKED), static_cast<DWORD>(MF_CHECKED));
    EXPECT_TRUE(GetMenuState(menu, 32777, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(devices, 32778, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(CheckMenuItem(devices, 32777, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));

    EXPECT_EQ(CheckMenuItem(devices, 40000, MF_BYCOMMAND | MF_CHECKED), 0xFFFFFFFF);
    EXPECT_EQ(CheckMenuItem(devices, 7, MF_BYPOSITION | MF_CHECKED), 0xFFFFFFFF);
    EXPECT_EQ(GetMenuState(devices, 40000, MF_BYCOMMAND), kMissing);
    DestroyMenu(menu);
}

TEST(MenuTest, InsertingEnablingAndReadingText)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, u"One");
    AppendMenuW(menu, MF_STRING, 3, u"Three");
    EXPECT_TRUE(InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, 2, u"Two"));
    EXPECT_TRUE(InsertMenuW(menu, 1, MF_BYCOMMAND | MF_STRING, 0, u"Zero"));
    EXPECT_TRUE(InsertMenuW(menu, static_cast<UINT>(-1), MF_BYPOSITION | MF_SEPARATOR, 0, nullptr));
    EXPECT_FALSE(InsertMenuW(menu, 99, MF_BYCOMMAND | MF_STRING, 4, u"Four")) << "no such command";
    ExpectItems(menu, {{0, u"Zero"}, {1, u"One"}, {2, u"Two"}, {3, u"Three"}, {0, u""}});
    EXPECT_TRUE(GetMenuState(menu, 4, MF_BYPOSITION) & MF_SEPARATOR);

    EXPECT_EQ(EnableMenuItem(menu, 2, MF_BYCOMMAND | MF_GRAYED), static_cast<BOOL>(MF_ENABLED));
    EXPECT_EQ(EnableMenuItem(menu, 2, MF_BYCOMMAND | MF_ENABLED), static_cast<BOOL>(MF_GRAYED));
    EXPECT_EQ(EnableMenuItem(menu, 77, MF_BYCOMMAND | MF_GRAYED), -1);

    // Text is cut to the buffer and terminated; without a buffer the length is told.
    WCHAR small[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(GetMenuStringW(menu, 3, small, 3, MF_BYCOMMAND), 2);
    EXPECT_EQ(WString(small), u"Th");
    EXPECT_EQ(GetMenuStringW(menu, 3, nullptr, 0, MF_BYCOMMAND), 5);
    EXPECT_EQ(GetMenuStringW(menu, 42, small, 3, MF_BYCOMMAND), 0);
    EXPECT_EQ(small[0], u'\0');
    DestroyMenu(menu);
}

TEST(MenuTest, DeleteDestroysTheRemovedPopupRemoveKeepsIt)
{
    HMENU bar = CreateMenu();
    HMENU kept = CreatePopupMenu();
    HMENU doomed = CreatePopupMenu();
    AppendMenuW(kept, MF_STRING, 10, u"Kept item");
    ASSERT_TRUE(AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(kept), u"Kept"));
    ASSERT_TRUE(AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(doomed), u"Doomed"));

    EXPECT_TRUE(RemoveMenu(bar, 0, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(kept));
    EXPECT_EQ(GetMenuItemCount(kept), 1);
    EXPECT_TRUE(DeleteMenu(bar, 0, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(doomed));
    EXPECT_EQ(GetMenuItemCount(bar), 0);

    // Replacing a popup item destroys the popup it opened.
    HMENU replaced = CreatePopupMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(replaced), u"Sub");
    EXPECT_TRUE(ModifyMenuW(bar, 0, MF_BYPOSITION | MF_STRING, 5, u"Plain"));
    EXPECT_FALSE(IsMenu(replaced));
    EXPECT_EQ(GetMenuItemID(bar, 0), 5u);
    DestroyMenu(bar);
    DestroyMenu(kept);
}

TEST(MenuTest, DestroyingTakesNestedPopupsAndStaleHandlesStayDead)
{
    HMENU root = CreatePopupMenu();
    HMENU middle = CreatePopupMenu();
    HMENU inner = CreatePopupMenu();
    AppendMenuW(inner, MF_STRING, 300, u"Deep");
    AppendMenuW(middle, MF_POPUP, reinterpret_cast<UINT_PTR>(inner), u"Inner");
    AppendMenuW(root, MF_POPUP, reinterpret_cast<UINT_PTR>(middle), u"Middle");
    EXPECT_EQ(GetMenuState(root, 300, MF_BYCOMMAND), static_cast<UINT>(MF_STRING)) << "found two levels down";

    // A popup destroyed while still attached is skipped when its parent goes.
    EXPECT_TRUE(DestroyMenu(inner));
    EXPECT_EQ(GetMenuState(root, 300, MF_BYCOMMAND), kMissing);
    EXPECT_EQ(GetSubMenu(middle, 0), nullptr);
    EXPECT_TRUE(DestroyMenu(root));
    EXPECT_FALSE(IsMenu(middle));

    SetLastError(0);
    EXPECT_FALSE(DestroyMenu(root));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
    EXPECT_EQ(GetMenuItemCount(root), -1);
    EXPECT_FALSE(AppendMenuW(root, MF_STRING, 1, u"late"));
    HMENU fresh = CreatePopupMenu();
    EXPECT_NE(fresh, root) << "handles are not reused";
    EXPECT_NE(fresh, middle);
    EXPECT_NE(fresh, inner);
    EXPECT_FALSE(AppendMenuW(fresh, MF_POPUP, reinterpret_cast<UINT_PTR>(fresh), u"itself"));
    EXPECT_FALSE(AppendMenuW(fresh, MF_POPUP, reinterpret_cast<UINT_PTR>(inner), u"dead popup"));
    EXPECT_EQ(GetMenuItemCount(fresh), 0);
    DestroyMenu(fresh);
}
