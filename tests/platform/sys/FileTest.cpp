#include "platform/sys/AtomicFile.h"
#include "platform/sys/File.h"
#include "platform/sys/NativePath.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>
#include <thread>
#include <vector>

namespace {

std::vector<WString> FindAll(const WString& pattern)
{
    std::vector<WString> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.emplace_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    return names;
}

} // namespace

TEST(CreateDirectoryW, ResultsAsOnWindows)
{
    TempFolder temp;
    WString folder = temp.Wide("照片");
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryW(temp.Wide("missing\\child").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    ASSERT_TRUE(WriteFileAtomically(temp.Native("file"), ""));
    EXPECT_FALSE(CreateDirectoryW(temp.Wide("file/child").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(DeleteFileW, DeletesFilesOnlyAndTellsMissingFileFromMissingFolder)
{
    TempFolder temp;
    ASSERT_TRUE(WriteFileAtomically(temp.Native("a.jpg"), "jpeg"));
    EXPECT_EQ(GetFileAttributesW(temp.Wide("a.jpg").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(DeleteFileW(temp.Wide("a.jpg").c_str()));
    EXPECT_EQ(GetFileAttributesW(temp.Wide("a.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(temp.Wide("a.jpg").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileW(temp.Wide("nowhere/a.jpg").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    ASSERT_TRUE(CreateDirectoryW(temp.Wide("folder").c_str(), nullptr));
    EXPECT_FALSE(DeleteFileW(temp.Wide("folder").c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetFileAttributesW(temp.Wide("folder").c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(GetFileAttributesW, ReadOnlyWhenNoWriteBit)
{
    TempFolder temp;
    ASSERT_TRUE(WriteFileAtomically(temp.Native("ro"), "x"));
    ASSERT_EQ(chmod(temp.Native("ro").c_str(), 0444), 0);
    EXPECT_EQ(GetFileAttributesW(temp.Wide("ro").c_str()), FILE_ATTRIBUTE_READONLY);
}

TEST(GetTempPathW, EndsWithSeparatorAndFollowsWindowsSizeRules)
{
    TempFolder temp;
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv tmpdir("TMPDIR", temp.Native());
    WString expected = temp.Wide() + u"/";
    WCHAR buffer[MAX_PATH];
    EXPECT_EQ(GetTempPathW(MAX_PATH, buffer), expected.size());
    EXPECT_EQ(WString(buffer), expected);

    WCHAR small[4] = u"abc";
    EXPECT_EQ(GetTempPathW(4, small), expected.size() + 1);
    EXPECT_EQ(WString(small), u"abc");
    auto exact = static_cast<DWORD>(expected.size());
    WString fits(exact + 1, u'?');
    EXPECT_EQ(GetTempPathW(exact, fits.data()), exact + 1);
    EXPECT_EQ(GetTempPathW(exact + 1, fits.data()), exact);

    ScopedEnv unset("TMPDIR", nullptr);
    EXPECT_EQ(GetTempPathW(MAX_PATH, buffer), 5u);
    EXPECT_EQ(WString(buffer), u"/tmp/");
}

// Temporary files go to the user's private runtime folder; a runtime folder that others may
// enter, or a link in its place, is passed over for the ordinary temporary folder.
TEST(GetTempPathW, IsTheUsersPrivateRuntimeFolder)
{
    TempFolder temp;
    ScopedEnv tmpdir("TMPDIR", temp.Native("shared"));
    std::string runtime = temp.Native("runtime");
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime);
    WCHAR buffer[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, buffer), 0u);
    EXPECT_EQ(WString(buffer), Utf8ToWide(runtime + "/"));
    WCHAR name[MAX_PATH];
    ASSERT_NE(GetTempFileNameW(buffer, u"~xm", 0, name), 0u);
    EXPECT_EQ(ToNativePath(ToView(name)).rfind(runtime + "/~xm", 0), 0u);

    ASSERT_EQ(chmod(runtime.c_str(), 0777), 0);
    ASSERT_GT(GetTempPathW(MAX_PATH, buffer), 0u);
    EXPECT_EQ(WString(buffer), Utf8ToWide(temp.Native("shared") + "/"));
    ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);

    std::string link = temp.Native("runtime-link");
    ASSERT_EQ(symlink(runtime.c_str(), link.c_str()), 0);
    ScopedEnv linked("XDG_RUNTIME_DIR", link);
    ASSERT_GT(GetTempPathW(MAX_PATH, buffer), 0u);
    EXPECT_EQ(WString(buffer), Utf8ToWide(temp.Native("shared") + "/"));
}

TEST(GetTempFileNameW, ZeroCreatesDistinctFilesNonZeroOnlyNames)
{
    TempFolder temp;
    WString folder = temp.Wide();
    std::set<WString> names;
    for (int i = 0; i < 40; ++i) {
        WCHAR name[MAX_PATH];
        UINT number = GetTempFileNameW(folder.c_str(), u"snapshot", 0, name);
        ASSERT_NE(number, 0u);
        EXPECT_EQ(GetFileAttributesW(name), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(WString(name).starts_with(folder + u"/sna"));
        EXPECT_TRUE(WString(name).ends_with(u".tmp"));
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 40u);

    WCHAR name[MAX_PATH];
    EXPECT_EQ(GetTempFileNameW((folder + u"/").c_str(), u"ab", 0x1A2B, name), 0x1A2Bu);
    EXPECT_EQ(WString(name), folder + u"/ab1A2B.tmp");
    EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(GetTempFileNameW(temp.Wide("missing").c_str(), u"x", 0, name), 0u);
    WString tooLong(MAX_PATH - 8, u'a');
    EXPECT_EQ(GetTempFileNameW(tooLong.c_str(), u"x", 1, name), 0u);
}

TEST(_wfopen, WideNamesAndWindowsModes)
{
    TempFolder temp;
    WString path = temp.Wide("Tern摄像头\\照片.txt");
    ASSERT_TRUE(CreateDirectoryW(temp.Wide("Tern摄像头").c_str(), nullptr));
    FILE* file = _wfopen(path.c_str(), u"wb");
    ASSERT_NE(file, nullptr);
    std::fputs("one", file);
    std::fclose(file);
    file = _wfopen(path.c_str(), u"a+t");
    ASSERT_NE(file, nullptr);
    std::fputs("two", file);
    std::fclose(file);
    EXPECT_EQ(ReadAll(temp.Native("Tern摄像头/照片.txt")), "onetwo");
    EXPECT_EQ(_wfopen(path.c_str(), u"q"), nullptr);
    EXPECT_EQ(_wfopen(temp.Wide("missing.txt").c_str(), u"rb"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

class FindFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"b.JPG", "a.jpg", "c.txt", "README", "照片.jpg"})
            ASSERT_TRUE(WriteFileAtomically(m_temp.Native(name), name));
        ASSERT_TRUE(CreateDirectoryTree(m_temp.Native("sub.jpg")));
    }
    WString Pattern(const char* spec) { return m_temp.Wide() + u"\\" + Utf8ToWide(spec); }

    TempFolder m_temp;
};

TEST_F(FindFileTest, WildcardsIgnoreCaseAndComeInNameOrder)
{
    EXPECT_EQ(FindAll(Pattern("*.jpg")), (std::vector<WString>{u"a.jpg", u"b.JPG", u"sub.jpg", u"照片.jpg"}));
    EXPECT_EQ(FindAll(Pattern("?.TXT")), (std::vector<WString>{u"c.txt"}));
    EXPECT_EQ(FindAll(Pattern("readme")), (std::vector<WString>{u"README"}));
    EXPECT_EQ(FindAll(Pattern("*")), (std::vector<WString>{u".", u"..", u"a.jpg", u"b.JPG", u"c.txt", u"README",
                                                           u"sub.jpg", u"照片.jpg"}));
    EXPECT_EQ(FindAll(Pattern("*.*")).size(), 8u);
    EXPECT_EQ(FindAll(Pattern("a*b*c")), std::vector<WString>{});
}

TEST_F(FindFileTest, ReportsAttributesAndSizes)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Pattern("照片.jpg").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(data.nFileSizeLow, std::string("照片.jpg").size());
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_FALSE(FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));

    find = FindFirstFileW(Pattern("sub*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    FindClose(find);
}

TEST_F(FindFileTest, FailuresAsOnWindows)
{
    WIN32_FIND_DATAW data;
    EXPECT_EQ(FindFirstFileW(Pattern("*.png").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(FindFirstFileW(Pattern("missing/*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FindFileTest, ClosedAndMadeUpHandlesAreRefusedNotFollowed)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(Pattern("*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindNextFileW(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindClose(find));
    int notAHandle = 0;
    EXPECT_FALSE(FindNextFileW(&notAHandle, &data));
    EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x12345678))));
}

TEST(WriteFileAtomically, ReplacesContentKeepsModeAndLeavesNoTemporaries)
{
    TempFolder temp;
    std::string path = temp.Native("store");
    ASSERT_TRUE(WriteFileAtomically(path, "old"));
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    std::string big(1 << 20, 'x');
    ASSERT_TRUE(WriteFileAtomically(path, big));
    EXPECT_EQ(ReadAll(path), big);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FindAll(temp.Wide() + u"/*").size(), 3u); // ".", "..", "store"
    EXPECT_FALSE(WriteFileAtomically(temp.Native("missing/store"), "x"));
}

TEST(FileLock, SerialisesReadModifyWriteAcrossThreadsAndProcesses)
{
    TempFolder temp;
    std::string path = temp.Native("counter");
    ASSERT_TRUE(WriteFileAtomically(path, "0"));
    auto increment = [&path](int times) {
        for (int i = 0; i < times; ++i) {
            FileLock lock(path);
            if (!lock.IsLocked())
                return 1;
            int value = std::stoi(ReadFileContents(path).value_or("0"));
            if (!WriteFileAtomically(path, std::to_string(value + 1)))
                return 1;
        }
        return 0;
    };
    pid_t child = StartChild([&] { return increment(100); });
    ASSERT_GT(child, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] { EXPECT_EQ(increment(100), 0); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(WaitForChild(child), 0);
    EXPECT_EQ(ReadAll(path), "400");
}
