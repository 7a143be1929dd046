#include "platform/sys/NativePath.h"
#include "platform/sys/Path.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

namespace {

WString Combine(LPCWSTR dir, LPCWSTR file)
{
    WCHAR buffer[MAX_PATH];
    buffer[0] = u'?';
    if (!PathCombineW(buffer, dir, file))
        return buffer[0] == 0 ? u"<null, emptied>" : u"<null, untouched>";
    return buffer;
}

WString RemoveFileSpec(const WString& path, BOOL* removed)
{
    WCHAR buffer[MAX_PATH];
    CopyToBuffer(path, buffer, MAX_PATH);
    *removed = PathRemoveFileSpecW(buffer);
    return buffer;
}

} // namespace

TEST(NativePath, TurnsBackslashesIntoSlashesAndKeepsUnicode)
{
    EXPECT_EQ(ToNativePath(u"C:\\Tern摄像头/照片\\a.jpg"), "C:/Tern摄像头/照片/a.jpg");
    EXPECT_EQ(FromNativePath("/home/ü/照片"), u"/home/ü/照片");
}

TEST(PathCombineW, PutsExactlyOneSeparatorBetween)
{
    EXPECT_EQ(Combine(u"/a/b", u"c.jpg"), u"/a/b/c.jpg");
    EXPECT_EQ(Combine(u"/a/b/", u"c.jpg"), u"/a/b/c.jpg");
    EXPECT_EQ(Combine(u"/a/b\\", u"c.jpg"), u"/a/b/c.jpg");
    EXPECT_EQ(Combine(u"a\\b//", u"c"), u"a\\b/c");
    EXPECT_EQ(Combine(u"/", u"x"), u"/x");
    EXPECT_EQ(Combine(u"Tern摄像头", u"照片"), u"Tern摄像头/照片");
}

TEST(PathCombineW, AbsoluteOrEmptyPartsAndNulls)
{
    EXPECT_EQ(Combine(u"/a/b", u"/etc/x"), u"/etc/x");
    EXPECT_EQ(Combine(u"/a/b", u"\\x"), u"\\x");
    EXPECT_EQ(Combine(u"", u"x"), u"x");
    EXPECT_EQ(Combine(nullptr, u"x"), u"x");
    EXPECT_EQ(Combine(u"/a", u""), u"/a");
    EXPECT_EQ(Combine(u"/a", nullptr), u"/a");
    EXPECT_EQ(Combine(nullptr, nullptr), u"<null, emptied>");
}

TEST(PathCombineW, DestMayBeDir)
{
    WCHAR buffer[MAX_PATH] = u"/photos/";
    EXPECT_EQ(PathCombineW(buffer, buffer, u"2024"), buffer);
    EXPECT_EQ(WString(buffer), u"/photos/2024");
}

TEST(PathCombineW, LimitIsMaxPathMinusOneUnits)
{
    WString dir = u"/" + WString(250, u'd');           // 251 units
    EXPECT_EQ(Combine(dir.c_str(), u"1234567").size(), 259u); // 251 + '/' + 7
    EXPECT_EQ(Combine(dir.c_str(), u"12345678"), u"<null, emptied>");
}

TEST(PathAppendW, AppendsUpToTheBufferAndOtherwiseLeavesThePath)
{
    WCHAR path[MAX_PATH] = u"/a";
    EXPECT_TRUE(PathAppendW(path, u"\\b"));
    EXPECT_EQ(WString(path), u"/a/b");
    EXPECT_TRUE(PathAppendW(path, u"c/"));
    EXPECT_EQ(WString(path), u"/a/b/c/");

    WString base = u"/" + WString(254, u'x'); // 255 units
    CopyToBuffer(base, path, MAX_PATH);
    EXPECT_TRUE(PathAppendW(path, u"abc")); // 259
    EXPECT_EQ(lstrlenW(path), 259);
    CopyToBuffer(base, path, MAX_PATH);
    EXPECT_FALSE(PathAppendW(path, u"abcd")); // 260
    EXPECT_EQ(WString(path), base);
}

TEST(PathRemoveFileSpecW, EdgePaths)
{
    struct Case {
        WString in;
        WString out;
        BOOL removed;
    };
    const Case cases[] = {
        {u"/a/b.jpg", u"/a", TRUE},        {u"/a", u"/", TRUE},         {u"/", u"/", FALSE},
        {u"name", u"", TRUE},              {u"", u"", FALSE},            {u"a/b/", u"a/b", TRUE},
        {u"a\\b", u"a", TRUE},             {u"\\a", u"\\", TRUE},        {u"a/b\\c", u"a/b", TRUE},
        {u"Tern摄像头/照片", u"Tern摄像头", TRUE},
    };
    for (const auto& c : cases) {
        BOOL removed = -1;
        EXPECT_EQ(RemoveFileSpec(c.in, &removed), c.out) << WideToUtf8(c.in);
        EXPECT_EQ(removed, c.removed) << WideToUtf8(c.in);
    }
}

TEST(PathFindFileNameW, PointsIntoThePath)
{
    const WCHAR* path = u"/a/b\\c.jpg";
    EXPECT_EQ(PathFindFileNameW(path), path + 5);
    EXPECT_EQ(WString(PathFindFileNameW(u"a/b/")), u"b/");
    EXPECT_EQ(WString(PathFindFileNameW(u"name")), u"name");
    EXPECT_EQ(WString(PathFindFileNameW(u"/")), u"/");
    EXPECT_EQ(WString(PathFindFileNameW(u"Tern摄像头/照片.jpg")), u"照片.jpg");
}

TEST(PathFindExtensionW, OnlyTheFileNamesLastDot)
{
    EXPECT_EQ(WString(PathFindExtensionW(u"/a/x.tar.gz")), u".gz");
    EXPECT_EQ(WString(PathFindExtensionW(u"/a.d/file")), u"");
    EXPECT_EQ(WString(PathFindExtensionW(u"c:\\a.d\\file")), u"");
    EXPECT_EQ(WString(PathFindExtensionW(u"my.file name")), u"");
    EXPECT_EQ(WString(PathFindExtensionW(u".hidden")), u".hidden");
    const WCHAR* none = u"README";
    EXPECT_EQ(PathFindExtensionW(none), none + 6);
}

TEST(PathIsRelativeW, SeparatorFirstMeansAbsolute)
{
    EXPECT_FALSE(PathIsRelativeW(u"/a"));
    EXPECT_FALSE(PathIsRelativeW(u"\\a"));
    EXPECT_TRUE(PathIsRelativeW(u"a/b"));
    EXPECT_TRUE(PathIsRelativeW(u""));
    EXPECT_TRUE(PathIsRelativeW(nullptr));
}

TEST(PathFileExistsW, FilesAndFoldersWithEitherSeparator)
{
    TempFolder temp;
    ASSERT_TRUE(CreateDirectoryTree(temp.Native("Tern摄像头/照片")));
    WString folder = temp.Wide("Tern摄像头\\照片");
    EXPECT_TRUE(PathFileExistsW(folder.c_str()));
    EXPECT_TRUE(WriteFileAtomically(temp.Native("Tern摄像头/照片/a.jpg"), "x"));
    EXPECT_TRUE(PathFileExistsW((folder + u"\\a.jpg").c_str()));
    EXPECT_FALSE(PathFileExistsW((folder + u"/b.jpg").c_str()));
    EXPECT_FALSE(PathFileExistsW(u""));
}
