#include "tests/support/DecodedPhoto.h"

#include "tests/support/ToolRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

constexpr int kDecodeTimeoutMs = 10000;

} // namespace

std::string DecodedSize(const std::string& jpeg)
{
    std::string out;
    if (RunTool({"identify", "-format", "%wx%h", jpeg}, &out, kDecodeTimeoutMs) != 0)
        return "not decoded";
    return out;
}

long DecodedPixel(const std::string& jpeg, int x, int y)
{
    std::string out;
    std::string crop = "1x1+" + std::to_string(x) + "+" + std::to_string(y);
    if (RunTool({"convert", jpeg, "-crop", crop, "-depth", "8", "rgb:-"}, &out, kDecodeTimeoutMs) != 0 || out.size() < 3)
        return -1;
    auto byte = [&](size_t i) { return static_cast<long>(static_cast<unsigned char>(out[i])); };
    return byte(0) << 16 | byte(1) << 8 | byte(2);
}

bool IsNearRgb(long pixel, long rgb, int tolerance)
{
    if (pixel < 0)
        return false;
    for (int shift : {16, 8, 0}) {
        if (std::abs(((pixel >> shift) & 0xFF) - ((rgb >> shift) & 0xFF)) > tolerance)
            return false;
    }
    return true;
}

void ExpectCameraPicture(const std::string& jpeg)
{
    EXPECT_EQ(DecodedSize(jpeg), "640x480") << jpeg;
    long topLeft = DecodedPixel(jpeg, 4, 4);
    EXPECT_TRUE(IsNearRgb(topLeft, 0xFF0000)) << "top left red: " << std::hex << topLeft;
    EXPECT_TRUE(IsNearRgb(DecodedPixel(jpeg, 635, 4), 0x00FF00)) << "top right green";
    EXPECT_TRUE(IsNearRgb(DecodedPixel(jpeg, 4, 475), 0xFFFFFF)) << "bottom left white";
    EXPECT_TRUE(IsNearRgb(DecodedPixel(jpeg, 635, 475), 0x0000FF)) << "bottom right blue";
}
