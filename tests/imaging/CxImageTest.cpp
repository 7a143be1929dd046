#include "imaging/CxFile.h"
#include "imaging/CxImage.h"
#include "imaging/CxImageJPG.h"

#include "JpegTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr const char* kDiskFull = "Output file write error --- out of disk space?";

// A stream in memory that takes `room` bytes and refuses the rest; it records every write.
class MemoryFile : public CxFile {
public:
    explicit MemoryFile(size_t room = SIZE_MAX) : m_room(room) { }

    bool Close() override { return true; }
    size_t Read(void*, size_t, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t size, size_t count) override
    {
        m_writes.push_back(size * count);
        size_t items = 0;
        for (; items < count && m_bytes.size() + size <= m_room; ++items)
            m_bytes.append(static_cast<const char*>(buffer) + items * size, size);
        if (items < count)
            m_error = 1;
        return items;
    }
    bool Seek(long, int) override { return false; }
    long Tell() override { return static_cast<long>(m_bytes.size()); }
    long Size() override { return static_cast<long>(m_bytes.size()); }
    bool Flush() override
    {
        ++m_flushes;
        return m_error == 0;
    }
    bool Eof() override { return false; }
    long Error() override { return m_error; }
    bool PutC(unsigned char c) override { return Write(&c, 1, 1) == 1; }
    long GetC() override { return -1; }
    char* GetS(char*, int) override { return nullptr; }
    long Scanf(const char*, void*) override { return -1; }

    void FailFromNowOn() { m_error = 1; }

    const std::string& Bytes() const { return m_bytes; }
    const std::vector<size_t>& Writes() const { return m_writes; }
    int Flushes() const { return m_flushes; }

private:
    size_t m_room;
    std::string m_bytes;
    std::vector<size_t> m_writes;
    long m_error = 0;
    int m_flushes = 0;
};

void MakeNoiseImage(unsigned width, unsigned height, CxImage& image)
{
    TestFrame frame(width, height);
    frame.FillNoise(7);
    EXPECT_TRUE(image.CreateFromPixels(frame.Data(), width, height, 24, frame.Stride(), CxImage::FlipRows::No));
}

} // namespace

TEST(CxImageCreate, FillsTheHeaderAndSizesTheBlock)
{
    CxImage image;
    ASSERT_NE(image.Create(640, 480, 24, 0), nullptr);
    const auto* header = static_cast<const CxBitmapInfoHeader*>(image.GetDib());
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, 640);
    EXPECT_EQ(header->biHeight, 480);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, 0u);
    EXPECT_EQ(header->biSizeImage, 640u * 3 * 480);
    EXPECT_EQ(header->biXPelsPerMeter, 3780);
    EXPECT_EQ(header->biYPelsPerMeter, 3780);
    EXPECT_EQ(header->biClrUsed, 0u);
    EXPECT_EQ(image.GetDibSize(), 921640u);
    EXPECT_EQ(image.GetBits(0), static_cast<const BYTE*>(image.GetDib()) + 40);
    EXPECT_EQ(image.GetBits(479), image.GetBits(0) + 479 * 1920);
    EXPECT_EQ(image.GetBits(480), nullptr);
    EXPECT_EQ(image.GetJpegQuality(), 90.0f);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetYDPI(), 96);
}

TEST(CxImageCreate, PadsRowsAndNormalisesTheBitCount)
{
    struct Case {
        DWORD width;
        DWORD bits;
        DWORD stride;
        WORD bitCount;
        DWORD colours;
    };
    for (Case c : {Case {1, 24, 4, 24, 0}, Case {5, 24, 16, 24, 0}, Case {160, 24, 480, 24, 0}, Case {642, 24, 1928, 24, 0},
                   Case {5, 32, 16, 24, 0}, Case {9, 0, 4, 1, 2}, Case {9, 3, 8, 4, 16}, Case {5, 6, 8, 8, 256}}) {
        CxImage image;
        ASSERT_NE(image.Create(c.width, 2, c.bits, 0), nullptr) << c.width << " x " << c.bits;
        EXPECT_EQ(image.GetEffWidth(), c.stride) << c.width << " x " << c.bits;
        EXPECT_EQ(image.GetBpp(), c.bitCount) << c.bits;
        EXPECT_EQ(image.GetNumColors(), c.colours) << c.bits;
        EXPECT_EQ(image.GetDibSize(), 40 + 4 * c.colours + 2 * c.stride);
        // The colour table starts out black.
        for (DWORD i = 0; i < c.colours; ++i)
            EXPECT_EQ(image.GetPalette()[i].rgbRed + image.GetPalette()[i].rgbGreen + image.GetPalette()[i].rgbBlue, 0);
    }
}

TEST(CxImageCreate, RefusesEmptyAndOversizedImagesWithTheirMessages)
{
    CxImage image;
    EXPECT_EQ(image.Create(0, 480, 24, 0), nullptr);
    EXPECT_STREQ(image.GetLastErrorText(), "CxImage::Create : width and height must be greater than zero");
    EXPECT_EQ(image.Create(640, 0, 24, 0), nullptr);
    EXPECT_FALSE(image.IsValid());

    EXPECT_EQ(image.Create(10000, 9000, 24, 0), nullptr);
    EXPECT_STREQ(image.GetLastErrorText(), "CXIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(image.Create(16384, 16385, 8, 0), nullptr);
    EXPECT_STREQ(image.GetLastErrorText(), "CXIMAGE_MAX_MEMORY exceeded");
    // The stride does not count: 4,294,967,295 pixels of one bit are 512 MiB.
    EXPECT_EQ(image.Create(0xFFFFFFFF, 1, 1, 0), nullptr);
    EXPECT_EQ(image.Create(65536, 65536, 1, 0), nullptr);
    EXPECT_STREQ(image.GetLastErrorText(), "CXIMAGE_MAX_MEMORY exceeded");
}

// The rows are not cleared, so these blocks are only address space until someone writes them.
TEST(CxImageCreate, AcceptsExactlyTheMemoryLimit)
{
    CxImage image;
    EXPECT_NE(image.Create(16384, 16384, 8, 0), nullptr);
    EXPECT_NE(image.Create(9000, 9000, 24, 0), nullptr);
    EXPECT_EQ(image.GetDibSize(), 40u + 27000u * 9000u);
}

TEST(CxImage, ResolutionSetsPixelsPerMetre)
{
    CxImage image;
    ASSERT_NE(image.Create(2, 2, 24, 0), nullptr);
    image.SetXDPI(300);
    image.SetYDPI(72);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 11811);
    EXPECT_EQ(image.GetHeader().biYPelsPerMeter, 2835);
    EXPECT_EQ(static_cast<const CxBitmapInfoHeader*>(image.GetDib())->biXPelsPerMeter, 11811);
    image.SetXDPI(0);
    image.SetYDPI(-5);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetYDPI(), 96);
    EXPECT_EQ(image.GetHeader().biYPelsPerMeter, 3780);
}

TEST(CxImage, CreateFromPixelsCopiesRowsWithTheSmallerStride)
{
    // Source rows of 7 bytes into image rows of 8 (width 2): the last byte of each image row is
    // not the source's.
    const BYTE pixels[] = {1, 2, 3, 4, 5, 6, 70, 11, 12, 13, 14, 15, 16, 71, 21, 22, 23, 24, 25, 26, 72};
    CxImage straight;
    ASSERT_TRUE(straight.CreateFromPixels(pixels, 2, 3, 24, 7, CxImage::FlipRows::No));
    EXPECT_EQ(std::memcmp(straight.GetBits(0), pixels, 7), 0);
    EXPECT_EQ(std::memcmp(straight.GetBits(1), pixels + 7, 7), 0);
    EXPECT_EQ(std::memcmp(straight.GetBits(2), pixels + 14, 7), 0);

    CxImage flipped;
    ASSERT_TRUE(flipped.CreateFromPixels(pixels, 2, 3, 24, 7, CxImage::FlipRows::Yes));
    EXPECT_EQ(std::memcmp(flipped.GetBits(2), pixels, 6), 0);
    EXPECT_EQ(std::memcmp(flipped.GetBits(0), pixels + 14, 6), 0);

    CxImage none;
    EXPECT_FALSE(none.CreateFromPixels(nullptr, 2, 3, 24, 8, CxImage::FlipRows::No));
    EXPECT_FALSE(none.CreateFromPixels(pixels, 0, 3, 24, 8, CxImage::FlipRows::No));
    EXPECT_STREQ(none.GetLastErrorText(), "CxImage::Create : width and height must be greater than zero");
}

TEST(CxImageEncode, OnlyJpegIsWritten)
{
    CxImage image;
    MakeNoiseImage(16, 16, image);
    MemoryFile stream;
    EXPECT_FALSE(image.Encode(&stream, 0));
    EXPECT_STREQ(image.GetLastErrorText(), "Encode: Unknown format");
    EXPECT_FALSE(image.Encode(&stream, 4));
    EXPECT_STREQ(image.GetLastErrorText(), "Encode: Unknown format");
    EXPECT_FALSE(image.Encode(&stream, 1));
    EXPECT_FALSE(image.Encode(&stream, 2));
    EXPECT_STREQ(image.GetLastErrorText(), "Encode: Unknown format");
    EXPECT_TRUE(stream.Bytes().empty());
    EXPECT_TRUE(image.Encode(&stream, 3));
    EXPECT_TRUE(image.IsValid()); // the codec borrowed the pixels and left them alone
}

TEST(CxImageEncode, OutputLeavesInBlocksOf4096AndIsFlushed)
{
    CxImage image;
    MakeNoiseImage(320, 240, image);
    MemoryFile stream;
    ASSERT_TRUE(image.Encode(&stream, 3));
    ASSERT_GE(stream.Writes().size(), 3u);
    for (size_t i = 0; i + 1 < stream.Writes().size(); ++i)
        EXPECT_EQ(stream.Writes()[i], 4096u) << "write " << i;
    EXPECT_GT(stream.Writes().back(), 0u);
    EXPECT_LE(stream.Writes().back(), 4096u);
    EXPECT_EQ(stream.Flushes(), 1);
    auto markers = ReadJpegMarkers(stream.Bytes());
    ASSERT_TRUE(markers);
    EXPECT_TRUE(markers->endsWithEoi);
    EXPECT_FALSE(markers->hasExif);
}

TEST(CxImageEncode, WriteFailuresLeaveLibjpegsMessage)
{
    CxImage image;
    MakeNoiseImage(320, 240, image);

    MemoryFile full(10000); // a full block that cannot be written
    EXPECT_FALSE(image.Encode(&full, 3));
    EXPECT_STREQ(image.GetLastErrorText(), kDiskFull);
    EXPECT_EQ(full.Bytes().size(), 10000u);

    // The last, partial block: the error shows when the stream is flushed.
    CxImage small;
    MakeNoiseImage(8, 8, small);
    MemoryFile failing;
    failing.FailFromNowOn();
    EXPECT_FALSE(small.Encode(&failing, 3));
    EXPECT_STREQ(small.GetLastErrorText(), kDiskFull);

    // The image is still whole and encodes again.
    MemoryFile fine;
    EXPECT_TRUE(image.Encode(&fine, 3));
}

TEST(CxImageJPG, RefusesWhatItCannotWrite)
{
    MemoryFile stream;
    CxImageJPG empty;
    EXPECT_FALSE(empty.Encode(nullptr));
    EXPECT_STREQ(empty.GetLastErrorText(), "null file handler");
    EXPECT_FALSE(empty.Encode(&stream));
    EXPECT_STREQ(empty.GetLastErrorText(), "null image!!!");

    CxImageJPG palette;
    ASSERT_NE(palette.Create(8, 8, 8, 3), nullptr);
    EXPECT_FALSE(palette.Encode(&stream));
    EXPECT_STREQ(palette.GetLastErrorText(), "JPEG can save only RGB or GreyScale images");
    CxImageJPG bits4;
    ASSERT_NE(bits4.Create(8, 8, 4, 3), nullptr);
    bits4.SetGrayPalette();
    EXPECT_FALSE(bits4.Encode(&stream));
    EXPECT_TRUE(stream.Bytes().empty());
}

TEST(CxImageJPG, GreyRampImagesAreWrittenWithOneComponent)
{
    CxImageJPG grey;
    ASSERT_NE(grey.Create(16, 16, 8, 3), nullptr);
    grey.SetGrayPalette();
    ASSERT_TRUE(grey.IsGrayScale());
    for (DWORD row = 0; row < 16; ++row)
        std::memset(grey.GetBits(row), static_cast<int>(row * 16), grey.GetEffWidth());
    MemoryFile stream;
    ASSERT_TRUE(grey.Encode(&stream));
    auto markers = ReadJpegMarkers(stream.Bytes());
    ASSERT_TRUE(markers);
    EXPECT_EQ(markers->components, 1);
    EXPECT_EQ(markers->quantTables[0], ExpectedQuantTable(0, 90));
}

TEST(CxImageJPG, QualityIsTheRoundedSetting)
{
    for (auto [setting, expected] : {std::pair {75.4f, 75}, std::pair {49.5f, 50}, std::pair {90.0f, 90}}) {
        CxImage image;
        MakeNoiseImage(16, 16, image);
        image.SetJpegQuality(setting);
        MemoryFile stream;
        ASSERT_TRUE(image.Encode(&stream, 3));
        auto markers = ReadJpegMarkers(stream.Bytes());
        ASSERT_TRUE(markers);
        EXPECT_EQ(markers->quantTables[0], ExpectedQuantTable(0, expected)) << setting;
        EXPECT_EQ(markers->quantTables[1], ExpectedQuantTable(1, expected)) << setting;
    }
}
