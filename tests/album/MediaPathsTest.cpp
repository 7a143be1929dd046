#include "album/MediaPaths.h"

#include "platform/base/Clock.h"
#include "platform/base/Strings.h"
#include "platform/sys/Path.h"

#include "tests/platform/sys/FilesTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// 15:30:45.712 on 7 December 2012.
constexpr SYSTEMTIME kClickTime {2012, 12, 5, 7, 15, 30, 45, 712};

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

class MediaPathsTest : public ::testing::Test {
protected:
    WString Base() const { return m_temp.Wide("Documents"); }
    std::string Native(const std::string& name) const { return m_temp.Native(name); }
    std::string PhotoFolder() const { return Native("Documents/Tern摄像头/照片"); }

    std::string Photo()
    {
        WCHAR path[MAX_PATH] = {};
        MakePhotoPath(Base().c_str(), path, sizeof path);
        return WideToUtf8(path);
    }
    std::string Video()
    {
        WCHAR path[MAX_PATH] = {};
        MakeVideoPath(Base().c_str(), path, sizeof path);
        return WideToUtf8(path);
    }

    TempFolder m_temp;
    ScopedTestClock m_clock {kClickTime, 1000};
};

} // namespace

TEST_F(MediaPathsTest, NamesCarryTheLocalTimeAndFoldersAreMade)
{
    EXPECT_FALSE(Exists(Native("Documents")));
    EXPECT_EQ(Photo(), Native("Documents/Tern摄像头/照片/201212071530457.jpg"));
    EXPECT_EQ(Video(), Native("Documents/Tern摄像头/视频/20121207153045.wmv"));
    // Both levels of each kind's folder are made; the files are not.
    EXPECT_TRUE(IsFolder(Native("Documents/Tern摄像头")));
    EXPECT_TRUE(IsFolder(PhotoFolder()));
    EXPECT_TRUE(IsFolder(Native("Documents/Tern摄像头/视频")));
    EXPECT_FALSE(Exists(PhotoFolder() + "/201212071530457.jpg"));

    // Fields are zero-filled; the tenth is the milliseconds' first digit.
    TestClock::SetLocalTime(SYSTEMTIME {987, 1, 0, 2, 3, 4, 5, 99});
    EXPECT_EQ(Photo(), PhotoFolder() + "/ 98701020304050.jpg");
    TestClock::SetLocalTime(SYSTEMTIME {2013, 1, 0, 2, 3, 4, 5, 999});
    EXPECT_EQ(Photo(), PhotoFolder() + "/201301020304059.jpg");
}

TEST_F(MediaPathsTest, TakenNamesAreNeverReturned)
{
    // A second photo in the same tenth of a second: the clock keeps giving the taken name, so
    // the name is numbered and the first file stays as it was.
    std::string first = Photo();
    ASSERT_TRUE(WriteFileAtomically(first, "first"));
    std::string second = Photo();
    EXPECT_EQ(second, PhotoFolder() + "/201212071530457_1.jpg");
    ASSERT_TRUE(WriteFileAtomically(second, "second"));
    EXPECT_EQ(Photo(), PhotoFolder() + "/201212071530457_2.jpg");
    EXPECT_EQ(ReadAll(first), "first");
    EXPECT_EQ(ReadAll(second), "second");

    // A tenth later the clock's own name is free again.
    TestClock::Advance(100);
    EXPECT_EQ(Photo(), PhotoFolder() + "/201212071530458.jpg");

    // Videos have no tenth: within the same second the name collides.
    std::string video = Video();
    ASSERT_TRUE(WriteFileAtomically(video, "video"));
    TestClock::Advance(150); // 15:30:45.962
    EXPECT_EQ(Video(), Native("Documents/Tern摄像头/视频/20121207153045_1.wmv"));
    EXPECT_EQ(ReadAll(video), "video");
}

TEST_F(MediaPathsTest, LongPathsAreCutAt259Units)
{
    // A base folder of 240 units: the folder takes 252, so the name is cut after 7 of its units.
    std::string base = m_temp.Native();
    while (base.size() < 240)
        base += "/" + std::string(std::min<size_t>(60, 240 - base.size() - 1), 'd');
    ASSERT_EQ(base.size(), 240u);
    WString wideBase = Utf8ToWide(base);

    WCHAR path[MAX_PATH + 40];
    MakePhotoPath(wideBase.c_str(), path, sizeof path);
    EXPECT_EQ(WStringView(path).size(), 259u);
    EXPECT_EQ(WideToUtf8(path), base + "/Tern摄像头/照片/2012120");
    EXPECT_TRUE(IsFolder(base + "/Tern摄像头/照片"));
    EXPECT_FALSE(Exists(base + "/Tern摄像头/照片/2012120"));
}

TEST_F(MediaPathsTest, CapacityIsInBytesAndACutNameMustStillBeFree)
{
    WString folder = Base() + u"/Tern摄像头/视频/";
    std::vector<WCHAR> buffer(folder.size() + 5, u'?');
    int capacity = static_cast<int>(buffer.size() * sizeof(WCHAR));
    MakeVideoPath(Base().c_str(), buffer.data(), capacity);
    EXPECT_EQ(WStringView(buffer.data()), folder + u"2012");

    // Once that cut name is taken, every numbered name is cut to it as well: no name is given.
    ASSERT_TRUE(WriteFileAtomically(WideToUtf8(folder + u"2012"), "taken"));
    MakeVideoPath(Base().c_str(), buffer.data(), capacity);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(ReadAll(WideToUtf8(folder + u"2012")), "taken");

    // Less than one unit of room: the buffer is not touched.
    WCHAR tiny[2] = {u'?', u'?'};
    MakePhotoPath(Base().c_str(), tiny, 1);
    EXPECT_EQ(tiny[0], u'?');
}

TEST_F(MediaPathsTest, WithoutABaseFolderThereIsNoPath)
{
    // Not a path under the file system's root: nothing is named and nothing is made.
    for (LPCWSTR base : { static_cast<LPCWSTR>(nullptr), u"" }) {
        WCHAR path[MAX_PATH] = { u'?' };
        MakePhotoPath(base, path, sizeof path);
        EXPECT_EQ(path[0], 0);
        MakeVideoPath(base, path, sizeof path);
        EXPECT_EQ(path[0], 0);
    }
    EXPECT_FALSE(Exists("/Tern摄像头"));
}

TEST_F(MediaPathsTest, EnsureDirectoriesMakesEveryFolderBeforeASeparator)
{
    std::string root = m_temp.Native();
    EnsureDirectories(Utf8ToWide(root + "/a/b\\c/name.jpg").c_str());
    EXPECT_TRUE(IsFolder(root + "/a"));
    EXPECT_TRUE(IsFolder(root + "/a/b"));
    EXPECT_TRUE(IsFolder(root + "/a/b/c"));
    EXPECT_FALSE(Exists(root + "/a/b/c/name.jpg"));

    // A file in the way is left alone, and what follows it cannot be made.
    ASSERT_TRUE(WriteFileAtomically(root + "/file", "keep"));
    EnsureDirectories(Utf8ToWide(root + "/file/sub/x").c_str());
    EXPECT_EQ(ReadAll(root + "/file"), "keep");

    // Relative paths start at the working folder; without a separator nothing is made.
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(root.c_str()), 0);
    EnsureDirectories(u"plain");
    EnsureDirectories(u"");
    EnsureDirectories(nullptr);
    EnsureDirectories(u"rel/tail");
    EXPECT_EQ(chdir(previous), 0);
    free(previous);
    EXPECT_FALSE(Exists(root + "/plain"));
    EXPECT_TRUE(IsFolder(root + "/rel"));
    EXPECT_FALSE(Exists(root + "/rel/tail"));
}
