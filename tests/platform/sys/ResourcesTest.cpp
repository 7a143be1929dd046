#include "platform/sys/Resources.h"

#include "platform/sys/Module.h"
#include "platform/sys/ResourceTypes.h"
#include "tools/rescomp/Script.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <random>
#include <set>

// This program is linked with the program's resources, as the real executable is.
extern "C" const LumoResourceDirectory lumo_resource_directory;

namespace {

const std::map<UINT, WString> kStrings = {
    {129, u"Lumo"},
    {130, u"拍照"},
    {131, u"摄像"},
    {132, u"打开相册"},
    {134, u"[.]hand=true;color=rgb(%d,%d,%d);hovercolor=rgb(%d,%d,%d)[/.]当前摄像头：%s"},
    {135, u"停止摄像"},
    {136, u"无设备"},
    {138, u"<.style>underline=false;size=9;color=rgb(%d,%d,%d);hovercolor=rgb(%d,%d,%d);bold=false;</.style>录制时间：%s"},
    {139, u"Ternshield 摄像头保护模块"},
    {140, u"确认要删除吗？"},
    {141, u"录像时无法切换视频模式！"},
    {142, u"录像时无法切换设备！"},
    {143, u"Lumo  视频录制中 …"},
    {144, u"[.]hand=true;color=rgb(%d,%d,%d);hovercolor=rgb(%d,%d,%d)[/.]高清"},
    {145, u"[.]hand=true;color=rgb(%d,%d,%d);hovercolor=rgb(%d,%d,%d)[/.]默认"},
    {146, u"[.]color=rgb(%d,%d,%d)[/.] 延时3秒拍照"},
    {147, u"按任意键或双击退出全屏"},
    {148, u" [.]color=rgb(%d,%d,%d)[/.] %d 秒后自动拍照 ..."},
    {149, u"未找到摄像头设备！\r\n请检查摄像头设备安装是否成功。"},
    {150, u"暂时无法录制视频，可能是系统文件丢失。\r\n建议您重新安装 Windows Media Player 尝试解决此问题。"},
    {170, u"[.]hand=true;color=rgb(%d,%d,%d);hovercolor=rgb(%d,%d,%d);link=100[/.]点击选择设备：%s"},
    {171, u"在“我的电脑”中添加摄像头图标"},
    {172, u"无法打开预览画面！\r\n摄像头设备无法启用或已被其他程序打开。"},
    {258, u"该设备暂不支持高清模式！"},
};

WString LoadText(UINT id)
{
    WCHAR buffer[512];
    int length = LoadStringW(nullptr, id, buffer, 512);
    return WString(buffer, static_cast<size_t>(length));
}

std::vector<BYTE> ResourceBytes(LPCWSTR name, LPCWSTR type)
{
    HRSRC resource = FindResourceW(nullptr, name, type);
    if (!resource)
        return {};
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
    return std::vector<BYTE>(bytes, bytes + SizeofResource(nullptr, resource));
}

DWORD BigEndian32(const BYTE* p)
{
    return (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | p[3];
}

WORD Word(const std::vector<BYTE>& bytes, size_t offset)
{
    return static_cast<WORD>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

DWORD Dword(const std::vector<BYTE>& bytes, size_t offset)
{
    return Word(bytes, offset) | (DWORD(Word(bytes, offset + 2)) << 16);
}

// A PNG read independently of the code under test: chunk by chunk, every CRC checked.
struct PngFacts {
    bool wellFormed = false;
    DWORD width = 0;
    DWORD height = 0;
    BYTE colourType = 0;
};

PngFacts InspectPng(const std::vector<BYTE>& png)
{
    static const BYTE kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PngFacts facts;
    if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0)
        return facts;
    size_t offset = 8;
    while (png.size() - offset >= 12) {
        DWORD length = BigEndian32(&png[offset]);
        if (length > png.size() - offset - 12)
            return facts;
        const BYTE* type = &png[offset + 4];
        if (crc32(0, type, length + 4) != BigEndian32(type + 4 + length))
            return facts;
        if (offset == 8 && std::memcmp(type, "IHDR", 4) == 0) {
            facts.width = BigEndian32(type + 4);
            facts.height = BigEndian32(type + 8);
            facts.colourType = type[13];
        }
        offset += 12 + length;
        if (std::memcmp(type, "IEND", 4) == 0) {
            facts.wellFormed = offset == png.size() && facts.width != 0;
            return facts;
        }
    }
    return facts;
}

struct ExpectedControl {
    WORD id;
    WORD classOrdinal;
    const char16_t* className;
    DWORD style;
    RECT rect;
};

// Upper bound on what a parse can have taken from `size` bytes: every text unit costs two.
size_t TextUnits(const std::vector<MenuItemTemplate>& items)
{
    size_t units = 0;
    for (const auto& item : items)
        units += item.text.size() + 1 + TextUnits(item.children);
    return units;
}

} // namespace

TEST(ResourcesTest, EveryStringHasItsExactText)
{
    for (const auto& [id, text] : kStrings)
        EXPECT_EQ(LoadText(id), text) << "string " << id;
    std::set<UINT> compiled;
    for (DWORD i = 0; i < lumo_resource_directory.count; ++i) {
        const LumoResourceEntry& entry = lumo_resource_directory.entries[i];
        if (!entry.typeName && entry.typeId == kResourceTypeString)
            compiled.insert(entry.id);
    }
    std::set<UINT> expected;
    for (const auto& entry : kStrings)
        expected.insert(entry.first);
    EXPECT_EQ(compiled, expected);
}

TEST(ResourcesTest, TrickyBlanksBreaksAndQuotesSurviveCompilation)
{
    WString recording = LoadText(143);
    ASSERT_EQ(recording.size(), 13u);
    EXPECT_EQ(recording.substr(4, 3), u"  视");
    EXPECT_EQ(recording.back(), u'\u2026');
    EXPECT_EQ(LoadText(148).front(), u' ');
    EXPECT_NE(LoadText(146).find(u"[/.] 延"), WString::npos);
    EXPECT_NE(LoadText(148).find(u"[/.] %d 秒"), WString::npos);
    for (UINT id : {149u, 150u, 172u}) {
        WString text = LoadText(id);
        size_t cr = text.find(u'\r');
        ASSERT_NE(cr, WString::npos) << id;
        EXPECT_EQ(text[cr + 1], u'\n') << id;
        EXPECT_EQ(text.find(u'\r', cr + 1), WString::npos) << id;
    }
    WString item = LoadText(171);
    EXPECT_EQ(item[1], u'\u201C');
    EXPECT_EQ(item[6], u'\u201D');
}

TEST(ResourcesTest, LoadStringCutsTerminatesAndLendsTheText)
{
    const WString& expected = kStrings.at(139);
    const int length = static_cast<int>(expected.size());
    WCHAR buffer[64];

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(nullptr, 139, buffer, length + 1), length);
    EXPECT_EQ(WString(buffer), expected);
    EXPECT_EQ(buffer[length + 1], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 139, buffer, length), length - 1);
    EXPECT_EQ(WString(buffer), expected.substr(0, static_cast<size_t>(length - 1)));
    EXPECT_EQ(buffer[length], u'#');

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(nullptr, 139, buffer, 1), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');

    LPCWSTR borrowed = nullptr;
    EXPECT_EQ(LoadStringW(nullptr, 139, reinterpret_cast<LPWSTR>(&borrowed), 0), length);
    ASSERT_NE(borrowed, nullptr);
    EXPECT_EQ(WStringView(borrowed, static_cast<size_t>(length)), expected);
    EXPECT_EQ(borrowed[length], 0);
}

TEST(ResourcesTest, LoadStringOfAMissingStringGivesNothing)
{
    WCHAR buffer[8] = {u'#', u'#'};
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadStringW(nullptr, 133, buffer, 8), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(LoadStringW(nullptr, 0x10000 + 129, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(nullptr, 129, nullptr, 8), 0);
    EXPECT_EQ(LoadStringW(nullptr, 129, buffer, -1), 0);
}

TEST(ResourcesTest, FindResourceReportsWhatIsMissing)
{
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(999), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(129), MAKEINTRESOURCEW(99)), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(201), u"JPEG"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(FindResourceW(nullptr, u"MAIN", RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    // The number of a PNG is not a string's number.
    EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(201), RT_STRING), nullptr);
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(0x12345), MAKEINTRESOURCEW(129), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    EXPECT_TRUE(LoadIconImages(nullptr, 129).empty());
}

TEST(ResourcesTest, ALibraryWithoutResourcesHasNone)
{
    HMODULE library = LoadLibraryW(u"libz.so.1");
    ASSERT_NE(library, nullptr);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindResourceW(library, MAKEINTRESOURCEW(129), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
    WCHAR buffer[8];
    EXPECT_EQ(LoadStringW(library, 129, buffer, 8), 0);
    FreeLibrary(library);
}

TEST(ResourcesTest, NamesAndTypesAreMatchedLikeWindows)
{
    HRSRC byNumber = FindResourceW(nullptr, MAKEINTRESOURCEW(201), u"PNG");
    ASSERT_NE(byNumber, nullptr);
    EXPECT_EQ(FindResourceW(nullptr, u"#201", u"png"), byNumber);
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(129), u"#5"), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, u"#", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(nullptr, u"#70000", RT_DIALOG), nullptr);
}

TEST(ResourcesTest, EveryEntryIsAlignedAndUnique)
{
    std::set<std::pair<WString, WORD>> seen;
    for (DWORD i = 0; i < lumo_resource_directory.count; ++i) {
        const LumoResourceEntry& entry = lumo_resource_directory.entries[i];
        EXPECT_EQ(reinterpret_cast<uintptr_t>(entry.data) % 4, 0u) << entry.id;
        WString type = entry.typeName ? WString(entry.typeName) : u"#" + WString(1, static_cast<WCHAR>(entry.typeId));
        EXPECT_TRUE(seen.insert({type, entry.id}).second) << entry.id;
        if (!entry.typeName && entry.typeId == kResourceTypeString) {
            EXPECT_EQ(static_cast<const WCHAR*>(entry.data)[entry.size / 2], 0) << entry.id;
        }
    }
}

TEST(ResourcesTest, MenuHoldsTheThreePopupsInOrder)
{
    std::vector<BYTE> bytes = ResourceBytes(MAKEINTRESOURCEW(222), RT_MENU);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(Dword(bytes, 0), 0u); // version 0, no extra header
    EXPECT_EQ(Word(bytes, 4), MF_POPUP);

    MenuTemplate menu;
    ASSERT_TRUE(ParseMenuTemplate(bytes.data(), bytes.size(), menu));
    ASSERT_EQ(menu.items.size(), 3u);
    struct Expected {
        const char16_t* popup;
        std::vector<std::pair<WORD, WString>> items;
    };
    const Expected expected[] = {
        {u"PopMenu", {{32772, u"640*480"}, {32773, u"320*240"}, {32774, u"160*120"}}},
        {u"DeviceMenu", {{32776, u"Device"}}},
        {u"PopImg", {{32779, u"删除文件"}, {32780, u"打开文件夹"}}},
    };
    for (size_t i = 0; i < 3; ++i) {
        const MenuItemTemplate& popup = menu.items[i];
        EXPECT_TRUE(popup.IsPopup());
        EXPECT_EQ(popup.flags, MF_POPUP);
        EXPECT_EQ(popup.text, expected[i].popup);
        ASSERT_EQ(popup.children.size(), expected[i].items.size()) << i;
        for (size_t k = 0; k < popup.children.size(); ++k) {
            EXPECT_EQ(popup.children[k].id, expected[i].items[k].first);
            EXPECT_EQ(popup.children[k].text, expected[i].items[k].second);
            EXPECT_EQ(popup.children[k].flags, 0);
            EXPECT_FALSE(popup.children[k].IsSeparator());
        }
    }
}

TEST(ResourcesTest, DialogIsTheMainWindowWithItsSevenControls)
{
    std::vector<BYTE> bytes = ResourceBytes(MAKEINTRESOURCEW(129), RT_DIALOG);
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), dialog));
    EXPECT_EQ(dialog.style, 0x80000040u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 567);
    EXPECT_EQ(dialog.cy, 394);
    EXPECT_EQ(dialog.menuOrdinal, 0);
    EXPECT_TRUE(dialog.menuName.empty());
    EXPECT_EQ(dialog.classOrdinal, 0);
    EXPECT_EQ(dialog.className, u"QTernBoxMain");
    EXPECT_TRUE(dialog.title.empty());
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.faceName, u"MS Sans Serif");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const ExpectedControl expected[] = {
        {1000, 0, u"DynamicToolBar", child, {7, 25, 266, 83}},
        {1021, kDialogClassStatic, u"", child | SS_RIGHT, {287, 67, 412, 80}},
        {1022, kDialogClassStatic, u"", WS_CHILD | SS_RIGHT, {287, 92, 412, 105}},
        {1040, 0, u"HyperLink", child, {377, 368, 427, 381}},
        {1041, 0, u"HyperLink", child, {437, 368, 486, 381}},
        {1042, kDialogClassStatic, u"", child, {11, 371, 257, 384}},
        {1044, kDialogClassButton, u"", child | WS_TABSTOP | BS_AUTOCHECKBOX, {293, 368, 363, 381}},
    };
    ASSERT_EQ(dialog.items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const DialogItemTemplate& item = dialog.items[i];
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(item.id, expected[i].id);
        EXPECT_EQ(item.classOrdinal, expected[i].classOrdinal);
        EXPECT_EQ(item.className, expected[i].className);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(item.exStyle, 0u);
        RECT rect = item.Rect();
        EXPECT_EQ(rect.left, expected[i].rect.left);
        EXPECT_EQ(rect.top, expected[i].rect.top);
        EXPECT_EQ(rect.right, expected[i].rect.right);
        EXPECT_EQ(rect.bottom, expected[i].rect.bottom);
        EXPECT_TRUE(item.title.empty());
        EXPECT_TRUE(item.creationData.empty());
    }
}

// The standard layout, read by offset: the header (18 bytes), no menu (2), the class (13 units),
// no title (1 unit), the point size (2) and the face (14 units) end at 78; the first item starts
// on the next DWORD boundary.
TEST(ResourcesTest, DialogBytesFollowTheStandardLayout)
{
    std::vector<BYTE> bytes = ResourceBytes(MAKEINTRESOURCEW(129), RT_DIALOG);
    ASSERT_GT(bytes.size(), 100u);
    EXPECT_EQ(Dword(bytes, 0), 0x80000040u);
    EXPECT_EQ(Word(bytes, 8), 7);
    EXPECT_EQ(Word(bytes, 14), 567);
    EXPECT_EQ(Word(bytes, 16), 394);
    EXPECT_EQ(Word(bytes, 18), 0);
    EXPECT_EQ(Word(bytes, 20), u'Q');
    EXPECT_EQ(Word(bytes, 48), 8);
    EXPECT_EQ(Word(bytes, 50), u'M');
    EXPECT_EQ(Dword(bytes, 80), WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(Word(bytes, 96), 1000);
    EXPECT_EQ(Word(bytes, 98), u'D');
    // Item 1000: class "DynamicToolBar" (15 units), empty title, no creation data: 98 + 30 + 2 + 2.
    EXPECT_EQ(Dword(bytes, 132), WS_CHILD | WS_VISIBLE | SS_RIGHT);
    EXPECT_EQ(Word(bytes, 148), 1021);
    EXPECT_EQ(Word(bytes, 150), 0xFFFF);
    EXPECT_EQ(Word(bytes, 152), kDialogClassStatic);
}

TEST(ResourcesTest, EveryPictureIsAWholePngOfItsSize)
{
    struct Picture {
        WORD id;
        DWORD width;
        DWORD height;
        bool transparent; // drawn over other pictures, so it needs an alpha channel
    };
    const Picture pictures[] = {
        {201, 642, 618, false},
        {203, 144, 48, true},
        {206, 144, 48, true},
        {256, 144, 48, true},
        {257, 144, 48, true},
        {228, 60, 15, true},
        {237, 160, 120, true},
        {224, 648, 89, false},
        {225, 91, 72, true},
        {226, 91, 80, true},
        {223, 90, 72, true},
    };
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.id);
        PngFacts facts = InspectPng(ResourceBytes(MAKEINTRESOURCEW(picture.id), u"PNG"));
        EXPECT_TRUE(facts.wellFormed);
        EXPECT_EQ(facts.width, picture.width);
        EXPECT_EQ(facts.height, picture.height);
        if (picture.transparent) {
            EXPECT_EQ(facts.colourType, 6) << "RGBA";
        }
    }
}

TEST(ResourcesTest, IconHasEverySize)
{
    std::vector<IconImage> images = LoadIconImages(nullptr, 128);
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    ASSERT_EQ(images.size(), std::size(sizes));
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(images[i].width, sizes[i]);
        EXPECT_EQ(images[i].height, sizes[i]);
        PngFacts facts = InspectPng(images[i].png);
        EXPECT_TRUE(facts.wellFormed) << sizes[i];
        EXPECT_EQ(facts.width, DWORD(sizes[i]));
    }
    std::vector<BYTE> directory = ResourceBytes(MAKEINTRESOURCEW(128), RT_GROUP_ICON);
    ASSERT_GE(directory.size(), 6u + 16 * 7);
    EXPECT_EQ(Word(directory, 0), 0);
    EXPECT_EQ(Word(directory, 2), 1);
    EXPECT_EQ(Word(directory, 4), 7);
    EXPECT_EQ(directory[6 + 16 * 6], 0) << "256 is stored as 0";
}

TEST(ResourcesTest, ParsersRejectEveryTruncation)
{
    std::vector<BYTE> dialogBytes = ResourceBytes(MAKEINTRESOURCEW(129), RT_DIALOG);
    std::vector<BYTE> menuBytes = ResourceBytes(MAKEINTRESOURCEW(222), RT_MENU);
    std::vector<BYTE> iconBytes = ResourceBytes(MAKEINTRESOURCEW(128), RT_GROUP_ICON);
    for (size_t n = 0; n < dialogBytes.size(); ++n) {
        // An exact-size copy, so that a read past the end is caught under AddressSanitizer.
        std::vector<BYTE> prefix(dialogBytes.begin(), dialogBytes.begin() + static_cast<ptrdiff_t>(n));
        DialogTemplate dialog;
        EXPECT_FALSE(ParseDialogTemplate(prefix.data(), n, dialog)) << n;
    }
    for (size_t n = 0; n < menuBytes.size(); ++n) {
        std::vector<BYTE> prefix(menuBytes.begin(), menuBytes.begin() + static_cast<ptrdiff_t>(n));
        MenuTemplate menu;
        EXPECT_FALSE(ParseMenuTemplate(prefix.data(), n, menu)) << n;
    }
    for (size_t n = 0; n < iconBytes.size(); n += (n < 256 ? 1 : 97)) {
        std::vector<BYTE> prefix(iconBytes.begin(), iconBytes.begin() + static_cast<ptrdiff_t>(n));
        std::vector<IconImage> images;
        EXPECT_FALSE(ParseIconDirectory(prefix.data(), n, images)) << n;
    }
    DialogTemplate dialog;
    MenuTemplate menu;
    EXPECT_FALSE(ParseDialogTemplate(nullptr, 100, dialog));
    EXPECT_FALSE(ParseMenuTemplate(nullptr, 100, menu));
}

TEST(ResourcesTest, ParsersRejectHostileTemplates)
{
    // Popups nested far deeper than any menu: each level is flags MF_POPUP and an empty text.
    std::vector<BYTE> nested = {0, 0, 0, 0};
    for (int i = 0; i < 100000; ++i)
        nested.insert(nested.end(), {MF_POPUP, 0, 0, 0});
    MenuTemplate menu;
    EXPECT_FALSE(ParseMenuTemplate(nested.data(), nested.size(), menu));

    std::vector<BYTE> extendedMenu = {1, 0, 4, 0, 0, 0, 0, 0, 0x80, 0, 0, 0};
    EXPECT_FALSE(ParseMenuTemplate(extendedMenu.data(), extendedMenu.size(), menu));
    std::vector<BYTE> longHeader = {0, 0, 0xFF, 0xFF, 0x80, 0, 1, 0, 'A', 0, 0, 0};
    EXPECT_FALSE(ParseMenuTemplate(longHeader.data(), longHeader.size(), menu));

    std::vector<BYTE> dialogBytes = ResourceBytes(MAKEINTRESOURCEW(129), RT_DIALOG);
    DialogTemplate dialog;
    std::vector<BYTE> manyItems = dialogBytes;
    manyItems[8] = 0xFF;
    manyItems[9] = 0xFF;
    EXPECT_FALSE(ParseDialogTemplate(manyItems.data(), manyItems.size(), dialog));
    std::vector<BYTE> extended = dialogBytes;
    std::memcpy(extended.data(), "\x01\x00\xFF\xFF", 4);
    EXPECT_FALSE(ParseDialogTemplate(extended.data(), extended.size(), dialog));

    std::vector<BYTE> icon = ResourceBytes(MAKEINTRESOURCEW(128), RT_GROUP_ICON);
    std::vector<IconImage> images;
    std::vector<BYTE> wrapping = icon;
    std::memcpy(&wrapping[6 + 8], "\x20\x00\x00\x00\xF0\xFF\xFF\xFF", 8); // size 32 at offset 2^32 - 16
    EXPECT_FALSE(ParseIconDirectory(wrapping.data(), wrapping.size(), images));
    std::vector<BYTE> wrongSize = icon;
    wrongSize[6] = 17; // the entry says 17 pixels, its PNG says 16
    EXPECT_FALSE(ParseIconDirectory(wrongSize.data(), wrongSize.size(), images));
    std::vector<BYTE> notPng = icon;
    notPng[Dword(icon, 6 + 12) + 1] = 'X';
    EXPECT_FALSE(ParseIconDirectory(notPng.data(), notPng.size(), images));
}

TEST(ResourcesTest, ParsersSurviveRandomAndCorruptedBytes)
{
    std::mt19937 random(20240611);
    std::vector<BYTE> dialogBytes = ResourceBytes(MAKEINTRESOURCEW(129), RT_DIALOG);
    std::vector<BYTE> menuBytes = ResourceBytes(MAKEINTRESOURCEW(222), RT_MENU);
    for (int round = 0; round < 3000; ++round) {
        std::vector<BYTE> bytes;
        if (round % 3 == 0) {
            bytes.resize(random() % 300);
            for (BYTE& b : bytes)
                b = static_cast<BYTE>(random());
        } else {
            bytes = round % 3 == 1 ? dialogBytes : menuBytes;
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
                bytes[random() % bytes.size()] = static_cast<BYTE>(random());
            bytes.resize(bytes.size() - random() % 8);
        }
        DialogTemplate dialog;
        if (ParseDialogTemplate(bytes.data(), bytes.size(), dialog)) {
            size_t units = dialog.className.size() + dialog.title.size() + dialog.faceName.size();
            for (const auto& item : dialog.items)
                units += item.className.size() + item.title.size() + item.creationData.size() / 2;
            EXPECT_LE(18 + 2 * units + 18 * dialog.items.size(), bytes.size());
        }
        MenuTemplate menu;
        if (ParseMenuTemplate(bytes.data(), bytes.size(), menu)) {
            EXPECT_LE(4 + 2 * TextUnits(menu.items), bytes.size());
        }
        std::vector<IconImage> images;
        ParseIconDirectory(bytes.data(), bytes.size(), images);
    }
}

// The resource compiler, fed scripts directly: what it writes and how it refuses bad sources.
namespace {

std::vector<rescomp::CompiledResource> Compile(const std::string& body)
{
    return rescomp::CompileScript("<resources>\n" + body + "</resources>\n", LUMO_TEST_PICTURE_FOLDER);
}

std::u16string TextOf(const rescomp::CompiledResource& resource)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < resource.bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(resource.bytes[i] | (resource.bytes[i + 1] << 8)));
    return text;
}

} // namespace

TEST(ResourceCompilerTest, StringsKeepBlanksAndWrittenLineBreaks)
{
    auto resources = Compile("<stringtable>\n"
                             "<string id=\"3\">  a&#13;&#10;b </string>\r\n"
                             "<string id=\"4\"> </string>\n"
                             "<string id=\"5\">x\r\ny</string>\n"
                             "</stringtable>\n");
    ASSERT_EQ(resources.size(), 3u);
    EXPECT_EQ(TextOf(resources[0]), u"  a\r\nb ");
    EXPECT_EQ(TextOf(resources[1]), u" ");
    // A line break of the file itself is only a line feed, whatever the file's line ends are.
    EXPECT_EQ(TextOf(resources[2]), u"x\ny");
    EXPECT_TRUE(resources[0].isText);
    EXPECT_EQ(resources[0].typeId, kResourceTypeString);
}

TEST(ResourceCompilerTest, MenuTemplateBytes)
{
    auto resources = Compile("<menu id=\"7\"><popup text=\"P\"><item id=\"5\" text=\"A\"/><separator/></popup>"
                             "<item id=\"9\" text=\"B\" checked=\"true\"/></menu>\n");
    ASSERT_EQ(resources.size(), 1u);
    const std::vector<BYTE> expected = {
        0, 0, 0, 0, // header
        0x10, 0, 'P', 0, 0, 0, // popup
        0, 0, 5, 0, 'A', 0, 0, 0, // item
        0x80, 0, 0, 0, 0, 0, // separator, the popup's last
        0x88, 0, 9, 0, 'B', 0, 0, 0, // checked item, the menu's last
    };
    EXPECT_EQ(resources[0].bytes, expected);
}

TEST(ResourceCompilerTest, DialogWithoutFontAndWithNamedClass)
{
    auto resources = Compile("<dialog id=\"2\" width=\"10\" height=\"20\" style=\"WS_POPUP | 0x4\">"
                             "<control id=\"1\" class=\"Custom\" text=\"T\" style=\"WS_CHILD\" x=\"-1\" y=\"2\" width=\"3\" height=\"4\"/>"
                             "</dialog>\n");
    ASSERT_EQ(resources.size(), 1u);
    const std::vector<BYTE>& bytes = resources[0].bytes;
    EXPECT_EQ(Dword(bytes, 0), WS_POPUP | 0x4);
    EXPECT_EQ(Word(bytes, 8), 1);
    EXPECT_EQ(Dword(bytes, 18), 0u); // no menu, no class
    EXPECT_EQ(Word(bytes, 22), 0); // no title, and no font fields follow
    EXPECT_EQ(Dword(bytes, 24), WS_CHILD);
    EXPECT_EQ(Word(bytes, 32), 0xFFFF); // x = -1
    EXPECT_EQ(Word(bytes, 40), 1);
    EXPECT_EQ(Word(bytes, 42), u'C');
    DialogTemplate dialog;
    ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), dialog));
    ASSERT_EQ(dialog.items.size(), 1u);
    EXPECT_EQ(dialog.items[0].className, u"Custom");
    EXPECT_EQ(dialog.items[0].title, u"T");
    EXPECT_EQ(dialog.faceName, u"");
}

TEST(ResourceCompilerTest, FaultsNameTheirLine)
{
    struct Case {
        std::string body;
        int line; // counted from the "<resources>" line
        std::string message;
    };
    const Case cases[] = {
        {"<stringtable>\n<string id=\"1\">a</string>\n<string id=\"1\">b</string>\n</stringtable>\n", 4, "already declared on line 3"},
        {"<stringtable><string id=\"1\">a</strin></stringtable>\n", 2, "XML"},
        {"<stringtable><string id=\"1\">\xff</string></stringtable>\n", 2, "UTF-8"},
        {"<stringtable><string id=\"0\">a</string></stringtable>\n", 2, "out of range"},
        {"<stringtable><string id=\"12x\">a</string></stringtable>\n", 2, "not a number"},
        {"\n<strings/>\n", 3, "unknown resource <strings>"},
        {"<dialog id=\"1\" width=\"1\" height=\"1\" style=\"WS_POPUP | WS_BOGUS\"/>\n", 2, "unknown style 'WS_BOGUS'"},
        {"<dialog id=\"1\" width=\"1\" height=\"1\" style=\"DS_SETFONT\"/>\n", 2, "DS_SETFONT"},
        {"<dialog id=\"1\" width=\"1\" height=\"1\">\n<control id=\"5\" class=\"static\" x=\"0\" y=\"0\" width=\"1\" height=\"1\" style=\"SS_RIGHT\"/>\n</dialog>\n", 3, "WS_CHILD"},
        {"<dialog id=\"1\" width=\"1\" height=\"1\"><button/></dialog>\n", 2, "unexpected <button>"},
        {"<menu id=\"1\">\n<popup text=\"x\"></popup>\n</menu>\n", 3, "at least one item"},
        {"<menu id=\"1\"><item id=\"2\"/></menu>\n", 2, "needs the attribute 'text'"},
        {"<png id=\"201\" file=\"frame.png\" width=\"640\" height=\"618\"/>\n", 2, "is 642x618 pixels, expected 640x618"},
        {"<png id=\"201\" file=\"nothing-here.png\" width=\"1\" height=\"1\"/>\n", 2, "cannot read"},
        {"<png id=\"201\" file=\"../frame.png\" width=\"1\" height=\"1\"/>\n", 2, "inside the picture folder"},
        {"<png id=\"201\" file=\"frame.png\" width=\"642\" height=\"618\" colour=\"red\"/>\n", 2, "unknown attribute 'colour'"},
        {"<icon id=\"1\"><image file=\"icon-16.png\" size=\"16\"/><image file=\"icon-16.png\" size=\"16\"/></icon>\n", 2, "already has an image"},
    };
    for (const Case& fault : cases) {
        SCOPED_TRACE(fault.body);
        try {
            Compile(fault.body);
            ADD_FAILURE() << "accepted";
        } catch (const rescomp::ScriptError& error) {
            EXPECT_EQ(error.Line(), fault.line);
            EXPECT_NE(std::string(error.what()).find(fault.message), std::string::npos) << error.what();
        }
    }
}
