#include "platform/sys/DiskSpace.h"

#include "FilesTestSupport.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>


namespace {

TEST(DiskSpaceTest, AFolderTellsTheSpaceOfItsDisk)
{
    TempFolder folder;
    ULARGE_INTEGER available {}, total {}, free {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(folder.Wide().c_str(), &available, &total, &free));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(available.QuadPart, free.QuadPart) << "what the caller may use is part of what is free";
    EXPECT_LE(free.QuadPart, total.QuadPart);
    // A folder named with its closing separator, as the engine names it, is the same disk; every
    // argument may be left out.
    ULARGE_INTEGER again {};
    EXPECT_TRUE(GetDiskFreeSpaceExW((folder.Wide() + u"/").c_str(), &again, nullptr, nullptr));
    EXPECT_NEAR(static_cast<double>(again.QuadPart), static_cast<double>(available.QuadPart), 64.0 * 1024 * 1024);
    EXPECT_TRUE(GetDiskFreeSpaceExW(folder.Wide().c_str(), nullptr, nullptr, nullptr));
    struct statvfs info {};
    ASSERT_EQ(statvfs(folder.Native().c_str(), &info), 0);
    EXPECT_EQ(total.QuadPart, static_cast<ULONGLONG>(info.f_blocks) * info.f_frsize);
}

TEST(DiskSpaceTest, AMissingFolderIsAPathNotFound)
{
    TempFolder folder;
    ULARGE_INTEGER available { .QuadPart = 7 };
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExW(folder.Wide("missing/videos/").c_str(), &available, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(available.QuadPart, 7u) << "nothing is written on failure";
}

} // namespace
