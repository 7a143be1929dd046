#include "FacetTestSupport.h"

#include "facet/Image.h"
#include "platform/sys/Com.h"
#include "platform/sys/Module.h"
#include "platform/ui/Gdi.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr Rgba kRed { 255, 0, 0, 255 };
constexpr Rgba kGreen { 0, 255, 0, 255 };
constexpr Rgba kBlue { 0, 0, 255, 255 };
constexpr Rgba kWhite { 255, 255, 255, 255 };
constexpr Rgba kBlack { 0, 0, 0, 255 };

bool Near(Rgba a, Rgba b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string Describe(Rgba c)
{
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// A white memory bitmap to draw on, read back pixel by pixel.
class Canvas {
public:
    Canvas(int width, int height)
        : m_dc(CreateCompatibleDC(nullptr))
        , m_bitmap(CreateCompatibleBitmap(m_dc, width, height))
    {
        m_previous = SelectObject(m_dc, m_bitmap);
        RECT all { 0, 0, width, height };
        HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
        FillRect(m_dc, &all, white);
        DeleteObject(white);
    }
    ~Canvas()
    {
        SelectObject(m_dc, m_previous);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }

    Rgba At(int x, int y) const
    {
        cairo_surface_t* surface = SurfaceOfBitmap(m_bitmap);
        cairo_surface_flush(surface);
        const auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[x];
        return { static_cast<BYTE>(pixel >> 16), static_cast<BYTE>(pixel >> 8), static_cast<BYTE>(pixel), static_cast<BYTE>(pixel >> 24) };
    }

    // Every pixel of the rectangle within `tolerance` of `expected`; the first miss is reported.
    ::testing::AssertionResult Filled(RECT rect, Rgba expected, int tolerance = 0) const
    {
        for (LONG y = rect.top; y < rect.bottom; ++y) {
            for (LONG x = rect.left; x < rect.right; ++x) {
                if (!Near(At(x, y), expected, tolerance))
                    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << Describe(At(x, y))
                                                         << ", expected " << Describe(expected);
            }
        }
        return ::testing::AssertionSuccess();
    }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_previous = nullptr;
};

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Facet().createFacetBitmap, nullptr) << "Facet.so did not load"; }

    ComPtr<EngineImage> NewImage()
    {
        ComPtr<EngineImage> image;
        EXPECT_EQ(Facet().createFacetBitmap(&image), S_OK);
        return image;
    }

    // An image loaded from bytes written to a file; null when ImageLoad failed (and then it must be empty).
    ComPtr<EngineImage> FromBytes(const std::string& bytes, DWORD flags = 0)
    {
        return FromPath(m_scratch.Write("picture", bytes), flags);
    }

    ComPtr<EngineImage> FromPath(const WString& path, DWORD flags = 0)
    {
        auto image = NewImage();
        if (FAILED(image->ImageLoad(path.c_str(), flags))) {
            EXPECT_EQ(image->ImageWidth(), 0);
            EXPECT_EQ(image->ImageHeight(), 0);
            return nullptr;
        }
        return image;
    }

    ScratchFolder m_scratch;
};

WString ResourceUrl(WORD id, const char* type = "PNG")
{
    auto module = reinterpret_cast<ULONG_PTR>(GetModuleHandleW(nullptr));
    return Utf8ToWide("res://" + std::to_string(module) + "/" + type + "/" + std::to_string(id));
}

// Four by two: a row of red, green, blue, white over a row of black, 50% black, clear, blue.
std::string SmallPng()
{
    return MakePng(4, 2, { kRed, kGreen, kBlue, kWhite, kBlack, { 0, 0, 0, 128 }, { 0, 0, 0, 0 }, kBlue });
}

TEST_F(ImageTest, PngAndJpegLoadWithTheirOwnSize)
{
    auto png = FromBytes(SmallPng());
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(png->ImageWidth(), 4);
    EXPECT_EQ(png->ImageHeight(), 2);

    auto jpeg = FromBytes(MakeJpeg(40, 30, [](int, int) { return kRed; }));
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->ImageWidth(), 40);
    EXPECT_EQ(jpeg->ImageHeight(), 30);

    EXPECT_EQ(png->AddRef(), 2u);
    EXPECT_EQ(png->Release(), 1u);
    EXPECT_EQ(Facet().createFacetBitmap(nullptr), E_POINTER);
}

TEST_F(ImageTest, ResourceUrlsReadTheModulesPicturesAndNothingElse)
{
    auto strip = FromPath(ResourceUrl(203));
    ASSERT_NE(strip, nullptr) << WideToUtf8(ResourceUrl(203));
    EXPECT_EQ(strip->ImageWidth(), 144);
    EXPECT_EQ(strip->ImageHeight(), 48);
    auto checkBox = FromPath(Utf8ToWide("RES://" + std::to_string(reinterpret_cast<ULONG_PTR>(GetModuleHandleW(nullptr))) + "/png/228"));
    ASSERT_NE(checkBox, nullptr) << "scheme and type are read without case";
    EXPECT_EQ(checkBox->ImageWidth(), 60);

    std::string module = std::to_string(reinterpret_cast<ULONG_PTR>(GetModuleHandleW(nullptr)));
    for (const std::string& url : std::vector<std::string> { "res://" + module + "/PNG/999", "res://" + module + "/PNG/", "res://" + module + "//203",
             "res://" + module + "/PNG/203/1", "res://" + module + "/PNG/-203", "res://" + module + "/PNG/0x cb",
             "res://" + module + "/../203", "res://" + module + "/PNG/99999999999", "res://" + module + "/PNG",
             "res://12345/PNG/203", "res://abc/PNG/203", "res://-4194304/PNG/203", "res://99999999999/PNG/203",
             "res:///PNG/203", "res://" })
        EXPECT_EQ(FromPath(Utf8ToWide(url)), nullptr) << url;
    // A type the module does not have.
    EXPECT_EQ(FromPath(ResourceUrl(129, "6")), nullptr);
}

TEST_F(ImageTest, DamagedOrForeignFilesFailCleanly)
{
    std::string png = MakePng(64, 64, std::vector<Rgba>(64 * 64, kGreen));
    std::string jpeg = MakeJpeg(64, 64, [](int x, int y) { return Rgba { BYTE(x * 4), BYTE(y * 4), 0, 255 }; });
    std::string hugePng = png;
    hugePng[16] = hugePng[20] = 0x7F; // IHDR now claims about two billion pixels each way
    std::string hugeJpeg = jpeg;
    size_t frame = hugeJpeg.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    for (size_t at : { frame + 5, frame + 7 }) { // height and width: 65000 each
        hugeJpeg[at] = static_cast<char>(0xFD);
        hugeJpeg[at + 1] = static_cast<char>(0xE8);
    }
    for (const std::string& bytes : { png.substr(0, png.size() / 2), png.substr(0, 40), jpeg.substr(0, jpeg.size() / 2),
             jpeg.substr(0, 300), jpeg.substr(0, 3), hugePng, hugeJpeg, std::string("\x89PNG\r\n\x1A\n", 8) + std::string(100, 'z'),
             std::string("GIF89a"), std::string() })
        EXPECT_EQ(FromBytes(bytes), nullptr) << bytes.size() << " bytes";
    EXPECT_EQ(FromPath(m_scratch.Wide("missing.png")), nullptr);
    EXPECT_EQ(FromPath(WidePath(m_scratch.Path())), nullptr);
    EXPECT_EQ(NewImage()->ImageLoad(nullptr, 0), E_INVALIDARG);

    // A failed load empties a loaded image, and an empty image draws nothing.
    auto image = FromBytes(png);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(FAILED(image->ImageLoad(m_scratch.Write("bad.png", png.substr(0, 50)).c_str(), 0)));
    EXPECT_EQ(image->ImageWidth(), 0);
    Canvas canvas(8, 8);
    EXPECT_TRUE(FAILED(image->ImageDraw(canvas.Dc(), 0, 0, -1, -1, 0, 0, -1, -1, 0)));
    EXPECT_TRUE(canvas.Filled({ 0, 0, 8, 8 }, kWhite));
}

TEST_F(ImageTest, MinusOneDrawsThePictureAtItsOwnSizeWithAlphaBlended)
{
    auto image = FromBytes(SmallPng());
    ASSERT_NE(image, nullptr);
    Canvas canvas(12, 12);
    ASSERT_EQ(image->ImageDraw(canvas.Dc(), 3, 5, -1, -1, 0, 0, -1, -1, 0), S_OK);
    EXPECT_TRUE(canvas.Filled({ 3, 5, 4, 6 }, kRed));
    EXPECT_TRUE(canvas.Filled({ 4, 5, 5, 6 }, kGreen));
    EXPECT_TRUE(canvas.Filled({ 5, 5, 6, 6 }, kBlue));
    EXPECT_TRUE(canvas.Filled({ 3, 6, 4, 7 }, kBlack));
    EXPECT_TRUE(canvas.Filled({ 4, 6, 5, 7 }, { 127, 127, 127, 255 }, 1)) << "half-transparent black over white";
    EXPECT_TRUE(canvas.Filled({ 5, 6, 6, 7 }, kWhite)) << "a clear pixel leaves what was there";
    EXPECT_TRUE(canvas.Filled({ 6, 6, 7, 7 }, kBlue));
    EXPECT_TRUE(canvas.Filled({ 0, 0, 12, 5 }, kWhite));
    EXPECT_TRUE(canvas.Filled({ 7, 5, 12, 7 }, kWhite));
    EXPECT_TRUE(canvas.Filled({ 0, 7, 12, 12 }, kWhite));
}

TEST_F(ImageTest, SourceRectangleIsClippedToThePicture)
{
    auto image = FromBytes(SmallPng());
    ASSERT_NE(image, nullptr);
    {
        Canvas canvas(8, 8);
        // From (2, 1) to the picture's edge: clear then blue, at their own size.
        ASSERT_EQ(image->ImageDraw(canvas.Dc(), 0, 0, -1, -1, 2, 1, -1, -1, 0), S_OK);
        EXPECT_TRUE(canvas.Filled({ 0, 0, 1, 1 }, kWhite));
        EXPECT_TRUE(canvas.Filled({ 1, 0, 2, 1 }, kBlue));
        EXPECT_TRUE(canvas.Filled({ 2, 0, 8, 8 }, kWhite));
        EXPECT_TRUE(canvas.Filled({ 0, 1, 2, 8 }, kWhite));
    }
    {
        Canvas canvas(8, 8);
        // Reaching past the right edge and starting left of the picture: only (0..3, 0) remains.
        ASSERT_EQ(image->ImageDraw(canvas.Dc(), 1, 1, -1, -1, -2, 0, 100, 1, 0), S_OK);
        EXPECT_TRUE(canvas.Filled({ 1, 1, 2, 2 }, kRed));
        EXPECT_TRUE(canvas.Filled({ 4, 1, 5, 2 }, kWhite));
        EXPECT_TRUE(canvas.Filled({ 1, 2, 8, 8 }, kWhite));
    }
    Canvas canvas(8, 8);
    EXPECT_EQ(image->ImageDraw(canvas.Dc(), 0, 0, -1, -1, 4, 0, -1, -1, 0), S_FALSE) << "nothing left of the source";
    EXPECT_EQ(image->ImageDraw(canvas.Dc(), 0, 0, 0, 4, 0, 0, -1, -1, 0), S_FALSE);
    EXPECT_EQ(image->ImageDraw(canvas.Dc(), 0, 0, -2, 4, 0, 0, -1, -1, 0), E_INVALIDARG);
    EXPECT_EQ(image->ImageDraw(nullptr, 0, 0, -1, -1, 0, 0, -1, -1, 0), E_INVALIDARG);
    EXPECT_TRUE(canvas.Filled({ 0, 0, 8, 8 }, kWhite));
}

TEST_F(ImageTest, StretchingACellOfAStripFillsTheTargetWithThatCellOnly)
{
    std::vector<Rgba> strip;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 12; ++x)
            strip.push_back(x < 4 ? kRed : x < 8 ? kGreen : kBlue);
    }
    auto image = FromBytes(MakePng(12, 4, strip));
    ASSERT_NE(image, nullptr);
    Canvas canvas(24, 24);
    ASSERT_EQ(image->ImageDraw(canvas.Dc(), 2, 3, 16, 16, 4, 0, 4, 4, 0), S_OK);
    EXPECT_TRUE(canvas.Filled({ 2, 3, 18, 19 }, kGreen)) << "the neighbouring cells bled into the edges";
    EXPECT_TRUE(canvas.Filled({ 0, 0, 24, 3 }, kWhite));
    EXPECT_TRUE(canvas.Filled({ 18, 3, 24, 19 }, kWhite));

    // Shrinking the whole strip keeps the cells in their thirds.
    Canvas small(6, 2);
    ASSERT_EQ(image->ImageDraw(small.Dc(), 0, 0, 6, 2, 0, 0, -1, -1, 0), S_OK);
    EXPECT_TRUE(small.Filled({ 0, 0, 1, 2 }, kRed, 8));
    EXPECT_TRUE(small.Filled({ 5, 0, 6, 2 }, kBlue, 8));
}

TEST_F(ImageTest, WithBothExtentsALargePictureIsKeptAtTheHintedSizeAndWithOneAtMostTwiceIt)
{
    // Left half red, right half blue, 3:2.
    std::string photo = MakeJpeg(2400, 1600, [](int x, int) { return x < 1200 ? kRed : kBlue; });
    auto thumbnail = FromBytes(photo, ImageSizeHint(81, 60));
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->ImageWidth(), 81);
    EXPECT_EQ(thumbnail->ImageHeight(), 60);
    Canvas canvas(81, 60);
    ASSERT_EQ(thumbnail->ImageDraw(canvas.Dc(), 0, 0, -1, -1, 0, 0, -1, -1, 0), S_OK);
    EXPECT_TRUE(canvas.Filled({ 2, 2, 81 / 2 - 3, 58 }, kRed, 12));
    EXPECT_TRUE(canvas.Filled({ 81 / 2 + 3, 2, 79, 58 }, kBlue, 12));

    auto byWidthOnly = FromBytes(photo, ImageSizeHint(300, 0));
    ASSERT_NE(byWidthOnly, nullptr);
    EXPECT_LE(byWidthOnly->ImageWidth(), 600);
    EXPECT_GE(byWidthOnly->ImageWidth(), 300);
    EXPECT_NEAR(byWidthOnly->ImageWidth() * 2.0 / 3.0, byWidthOnly->ImageHeight(), 1.0);

    auto small = FromBytes(MakeJpeg(60, 40, [](int, int) { return kGreen; }), ImageSizeHint(90, 72));
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->ImageWidth(), 60) << "a picture smaller than the hint is left as it is";
    EXPECT_EQ(small->ImageHeight(), 40);

    // Larger one way only: that way comes down to the hint, the other stays.
    auto wide = FromBytes(MakePng(400, 40, std::vector<Rgba>(400 * 40, kGreen)), ImageSizeHint(50, 50));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->ImageWidth(), 50);
    EXPECT_EQ(wide->ImageHeight(), 40);

    auto full = FromBytes(photo);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->ImageWidth(), 2400) << "without a hint nothing is scaled";
}

} // namespace
