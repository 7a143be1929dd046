#include "imaging/CxImage.h"
#include "imaging/SaveFrame.h"
#include "platform/base/Strings.h"

#include "JpegTestSupport.h"
#include "tests/platform/sys/FilesTestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

namespace {

constexpr Bgr kRed {0x10, 0x20, 0xF0};
constexpr Bgr kBlue {0xF0, 0x30, 0x10};
constexpr Bgr kWhite {0xFF, 0xFF, 0xFF};
constexpr Bgr kBlack {0x00, 0x00, 0x00};

// Lossy coding moves a flat colour by a few levels at quality 90.
void ExpectNear(Bgr actual, Bgr expected, int tolerance, const std::string& where)
{
    EXPECT_NEAR(actual.red, expected.red, tolerance) << where;
    EXPECT_NEAR(actual.green, expected.green, tolerance) << where;
    EXPECT_NEAR(actual.blue, expected.blue, tolerance) << where;
}

class SaveFrameTest : public ::testing::Test {
protected:
    // Every name in the test's folder (or a sub-folder), hidden ones included.
    std::set<std::string> FolderEntries(const std::string& sub = {}) const
    {
        std::set<std::string> names;
        DIR* dir = opendir(sub.empty() ? m_temp.Native().c_str() : Native(sub).c_str());
        if (!dir)
            return names;
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.insert(name);
        }
        closedir(dir);
        return names;
    }

    std::string Native(const std::string& name) const { return m_temp.Native(name); }
    WString Wide(const std::string& name) const { return m_temp.Wide(name); }

    void Save(const TestFrame& frame, const std::string& name)
    {
        SaveFrameAsJpeg(frame.Data(), frame.Size(), frame.Width(), frame.Height(), Wide(name).c_str());
    }

    TempFolder m_temp;
};

} // namespace

TEST_F(SaveFrameTest, WritesBaselineJfifOfQuality90At96Dpi)
{
    TestFrame frame(640, 480);
    frame.FillNoise(1);
    Save(frame, "photo.jpg");
    std::string bytes = ReadBytes(Native("photo.jpg"));
    auto markers = ReadJpegMarkers(bytes);
    ASSERT_TRUE(markers);
    EXPECT_TRUE(markers->startsWithSoi);
    EXPECT_TRUE(markers->endsWithEoi);
    EXPECT_TRUE(markers->jfif);
    EXPECT_TRUE(markers->baseline);
    EXPECT_FALSE(markers->hasExif);
    EXPECT_EQ(markers->width, 640);
    EXPECT_EQ(markers->height, 480);
    EXPECT_EQ(markers->components, 3);
    EXPECT_EQ(markers->densityUnit, 1);
    EXPECT_EQ(markers->xDensity, 96);
    EXPECT_EQ(markers->yDensity, 96);
    // 4:2:0: luminance sampled 2 x 2 against each chrominance component.
    EXPECT_EQ(markers->sampling[0][0], 2);
    EXPECT_EQ(markers->sampling[0][1], 2);
    EXPECT_EQ(markers->sampling[1][0], 1);
    EXPECT_EQ(markers->sampling[1][1], 1);
    EXPECT_EQ(markers->sampling[2][0], 1);
    EXPECT_EQ(markers->sampling[2][1], 1);
    EXPECT_EQ(markers->quantTables[0], ExpectedQuantTable(0, 90));
    EXPECT_EQ(markers->quantTables[1], ExpectedQuantTable(1, 90));
}

TEST_F(SaveFrameTest, TopRowIsTheLastRowOfTheFrameInItsColours)
{
    // The top 240 rows of the picture (the last rows in memory) red, the rest blue.
    TestFrame frame(640, 480);
    frame.FillRows(0, 240, kRed);
    frame.FillRows(240, 240, kBlue);
    Save(frame, "photo.jpg");
    auto picture = DecodeWithDjpeg(Native("photo.jpg"));
    ASSERT_TRUE(picture) << "djpeg could not decode the file";
    ASSERT_EQ(picture->width, 640);
    ASSERT_EQ(picture->height, 480);
    for (int x : {0, 320, 639}) {
        ExpectNear(picture->At(x, 0), kRed, 6, "top row");
        ExpectNear(picture->At(x, 200), kRed, 6, "upper half");
        ExpectNear(picture->At(x, 300), kBlue, 6, "lower half");
        ExpectNear(picture->At(x, 479), kBlue, 6, "bottom row");
    }
}

TEST_F(SaveFrameTest, PaddedRowsEncodeOnlyTheirPixels)
{
    // Width 5 has a 16-byte stride; the pad byte is bright and must not show anywhere.
    TestFrame frame(5, 4, 0xFF);
    EXPECT_EQ(frame.Stride(), 16u);
    frame.Fill(kBlack);
    frame.Set(4, 0, kWhite);
    Save(frame, "narrow.jpg");
    auto markers = ReadJpegMarkers(ReadBytes(Native("narrow.jpg")));
    ASSERT_TRUE(markers);
    EXPECT_EQ(markers->width, 5);
    EXPECT_EQ(markers->height, 4);
    auto picture = DecodeWithDjpeg(Native("narrow.jpg"));
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width, 5);
    ASSERT_EQ(picture->height, 4);
    // The one white pixel is the top right corner; the rows below stay dark, so no row was read
    // with the wrong stride.
    EXPECT_GT(picture->At(4, 0).green, 160);
    EXPECT_LT(picture->At(0, 0).green, 60);
    for (int y = 2; y < 4; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_LT(picture->At(x, y).green, 60) << x << ", " << y;
    }
}

// The name a photo is given must be free: an existing file keeps its bytes, and a planted link
// (dangling or to someone's file) is never written through.
TEST_F(SaveFrameTest, NeverReplacesAFileOrWritesThroughALink)
{
    ASSERT_TRUE(WriteFileAtomically(Native("photo.jpg"), std::string(200000, 'x')));
    ASSERT_TRUE(WriteFileAtomically(Native("victim"), "keep"));
    ASSERT_EQ(symlink(Native("victim").c_str(), Native("linked.jpg").c_str()), 0);
    ASSERT_EQ(symlink(Native("elsewhere.jpg").c_str(), Native("dangling.jpg").c_str()), 0);
    TestFrame frame(64, 48);
    frame.Fill(kBlue);
    for (const char* name : {"photo.jpg", "linked.jpg", "dangling.jpg"})
        Save(frame, name);

    EXPECT_EQ(ReadBytes(Native("photo.jpg")), std::string(200000, 'x'));
    EXPECT_EQ(ReadBytes(Native("victim")), "keep");
    EXPECT_FALSE(FileExists(Native("elsewhere.jpg")));
    struct stat info {};
    ASSERT_EQ(lstat(Native("dangling.jpg").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(FolderEntries(), (std::set<std::string> {"dangling.jpg", "linked.jpg", "photo.jpg", "victim"}));

    // The next free name is written as usual.
    Save(frame, "free.jpg");
    auto decoded = DecodeWithDjpeg(Native("free.jpg"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 64);
}

TEST_F(SaveFrameTest, RefusedFramesLeaveNoFile)
{
    TestFrame frame(640, 480);
    frame.Fill(kRed);
    SaveFrameAsJpeg(frame.Data(), frame.Size(), 0, 0, Wide("empty.jpg").c_str());
    SaveFrameAsJpeg(frame.Data(), frame.Size(), 0, 480, Wide("nowidth.jpg").c_str());
    SaveFrameAsJpeg(frame.Data(), frame.Size(), 640, 0, Wide("noheight.jpg").c_str());
    SaveFrameAsJpeg(nullptr, frame.Size(), 640, 480, Wide("nopixels.jpg").c_str());
    SaveFrameAsJpeg(frame.Data(), frame.Size() - 1, 640, 480, Wide("short.jpg").c_str());
    SaveFrameAsJpeg(frame.Data(), -1, 640, 480, Wide("negative.jpg").c_str());
    for (const char* name : {"empty.jpg", "nowidth.jpg", "noheight.jpg", "nopixels.jpg", "short.jpg", "negative.jpg"})
        EXPECT_FALSE(FileExists(Native(name))) << name;

    // A buffer longer than needed is fine.
    TestFrame larger(640, 481);
    SaveFrameAsJpeg(larger.Data(), larger.Size(), 640, 480, Wide("longer.jpg").c_str());
    EXPECT_TRUE(FileExists(Native("longer.jpg")));
}

TEST_F(SaveFrameTest, OversizedFrameLeavesNoFile)
{
    // 10000 x 9000 is 270,000,000 bytes of pixels, over the limit. The frame is untouched
    // address space: the refusal must come before any row is read.
    const size_t size = 30000u * 9000u;
    void* pixels = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pixels, MAP_FAILED);
    SaveFrameAsJpeg(static_cast<const BYTE*>(pixels), static_cast<LONG>(size), 10000, 9000, Wide("huge.jpg").c_str());
    munmap(pixels, size);
    EXPECT_FALSE(FileExists(Native("huge.jpg")));
}

TEST_F(SaveFrameTest, UnwritablePathLeavesNoFile)
{
    TestFrame frame(16, 16);
    Save(frame, "missing/photo.jpg");
    EXPECT_FALSE(FileExists(Native("missing")));
}

// The write runs in a child whose files may not grow past 20,000 bytes, as on a full disk. The
// child reports the encoder's message through its exit code. Neither a truncated photo nor the
// temporary file may stay behind.
TEST_F(SaveFrameTest, FullDiskLeavesNoFileAndTheWriteMessage)
{
    constexpr rlim_t kLimit = 20000;
    TestFrame frame(640, 480);
    frame.FillNoise(3);
    std::string snapshotPath = Native("snapshot.jpg");
    std::string imagePath = Native("image.jpg");
    int result = RunInChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit {kLimit, kLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        SaveFrameAsJpeg(frame.Data(), frame.Size(), frame.Width(), frame.Height(), Utf8ToWide(snapshotPath).c_str());
        CxImage image;
        if (!image.CreateFromPixels(frame.Data(), frame.Width(), frame.Height(), 24, frame.Stride(), CxImage::FlipRows::No))
            return 11;
        if (image.SaveFile(Utf8ToWide(imagePath).c_str(), 3))
            return 12;
        return std::strcmp(image.GetLastErrorText(), "Output file write error --- out of disk space?") == 0 ? 0 : 13;
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(FolderEntries().empty());

    // A photo that fits the same limit is written whole.
    TestFrame small(64, 48);
    small.Fill(kRed);
    result = RunInChild([&] {
        rlimit limit {kLimit, kLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        SaveFrameAsJpeg(small.Data(), small.Size(), small.Width(), small.Height(), Utf8ToWide(snapshotPath).c_str());
        return 0;
    });
    EXPECT_EQ(result, 0);
    auto decoded = DecodeWithDjpeg(snapshotPath);
    ASSERT_TRUE(decoded);
    ExpectNear(decoded->At(10, 10), kRed, 6, "small photo");
}

// A child writes photos one after another and is killed at some point of a write. Every name
// that looks like a photo must then hold a complete JPEG that an independent decoder reads.
TEST_F(SaveFrameTest, KilledWriterLeavesOnlyCompletePhotos)
{
    TestFrame frame(1600, 1200);
    frame.FillNoise(9);
    for (int round = 0; round < 4; ++round) {
        std::string folder = Native("round" + std::to_string(round));
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        pid_t pid = StartChild([&] {
            for (int i = 0; i < 1000; ++i) {
                std::string path = folder + "/" + std::to_string(i) + ".jpg";
                SaveFrameAsJpeg(frame.Data(), frame.Size(), frame.Width(), frame.Height(), Utf8ToWide(path).c_str());
            }
            return 0;
        });
        ASSERT_GT(pid, 0);
        // Once the first photo is there the child is always inside a write; kill it at a
        // different point of one each round.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!FileExists(folder + "/0.jpg") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + 17 * round));
        kill(pid, SIGKILL);
        EXPECT_EQ(WaitForChild(pid), -1);

        int photos = 0;
        for (const std::string& name : FolderEntries("round" + std::to_string(round))) {
            if (name.size() < 4 || name.compare(name.size() - 4, 4, ".jpg") != 0) {
                EXPECT_EQ(name[0], '.') << "unfinished file under a visible name: " << name;
                continue;
            }
            ++photos;
            std::string path = folder + "/" + name;
            auto markers = ReadJpegMarkers(ReadBytes(path));
            ASSERT_TRUE(markers) << path;
            EXPECT_TRUE(markers->endsWithEoi) << path;
            auto decoded = DecodeWithDjpeg(path);
            ASSERT_TRUE(decoded) << path;
            EXPECT_EQ(decoded->width, 1600) << path;
        }
        EXPECT_GT(photos, 0) << "the child was killed before its first photo; the test proves nothing";
    }
}

// What a killed writer left behind is cleared by the next photo in that folder once it is old;
// a fresh one may belong to a writer still at work, and other hidden files are not ours.
TEST_F(SaveFrameTest, LeftoversOfKilledWritersAreClearedWhenOld)
{
    std::string folder = Native("photos");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string old = ".1.jpg.abcdefgh.part";
    const std::string fresh = ".2.jpg.ijklmnop.part";
    const std::string other = ".settings";
    for (const std::string& name : {old, fresh, other})
        ASSERT_TRUE(WriteFileAtomically(folder + "/" + name, "partial"));
    timespec twoHoursAgo[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/" + old).c_str(), twoHoursAgo, 0), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, (folder + "/" + other).c_str(), twoHoursAgo, 0), 0);

    TestFrame frame(32, 32);
    frame.Fill(kBlue);
    Save(frame, "photos/3.jpg");
    EXPECT_EQ(FolderEntries("photos"), (std::set<std::string> {fresh, other, "3.jpg"}));
}

TEST_F(SaveFrameTest, APhotoFrameFilledInPlaceWritesWhatTheFrameWouldAndIsRemadeForAnotherSize)
{
    PhotoFrame photo;
    for (auto [width, height] : {std::pair {641u, 481u}, std::pair {641u, 481u}, std::pair {320u, 240u}}) {
        TestFrame frame(width, height);
        frame.FillNoise(width * 7 + height);
        frame.FillRows(0, 16, kRed);
        LONG size = 0;
        BYTE* rows = photo.Rows(width, height, &size);
        ASSERT_NE(rows, nullptr);
        ASSERT_EQ(size, frame.Size()) << width << "x" << height;
        std::memcpy(rows, frame.Data(), static_cast<size_t>(size));
        photo.Save(Wide("in-place.jpg").c_str());
        Save(frame, "copied.jpg");
        std::string written = ReadAll(Native("in-place.jpg"));
        EXPECT_GT(written.size(), 1000u);
        EXPECT_TRUE(written == ReadAll(Native("copied.jpg"))) << width << "x" << height << ": the two files differ";
        std::remove(Native("in-place.jpg").c_str());
        std::remove(Native("copied.jpg").c_str());
    }
    LONG size = 1;
    EXPECT_EQ(photo.Rows(0, 480, &size), nullptr);
    EXPECT_EQ(size, 0);
}
