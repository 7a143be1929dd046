#include "platform/base/Strings.h"

#include <gtest/gtest.h>

TEST(Utf8ToWide, DecodesAllPlanes)
{
    EXPECT_EQ(Utf8ToWide("Tern摄像头"), u"Tern摄像头");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x93\xB7"), u"\U0001F4F7");
}

TEST(Utf8ToWide, ReplacesInvalidInputInsteadOfFailing)
{
    EXPECT_EQ(Utf8ToWide("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("\xE6\x91"), u"\uFFFD\uFFFD");            // cut sequence
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong '/'
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
}

TEST(WideToUtf8, RoundTripsAndReplacesLoneSurrogates)
{
    EXPECT_EQ(WideToUtf8(u"照片 \U0001F4F7"), "照片 \xF0\x9F\x93\xB7");
    EXPECT_EQ(WideToUtf8(std::u16string(1, u'\xD800') + u"x"), "\xEF\xBF\xBDx");
}

TEST(CopyToBuffer, CutsAtCapacityMinusOneWithoutSplittingAPair)
{
    WCHAR buffer[4];
    EXPECT_FALSE(CopyToBuffer(u"abcdef", buffer, 4));
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_FALSE(CopyToBuffer(u"ab\U0001F4F7", buffer, 4));
    EXPECT_EQ(std::u16string(buffer), u"ab");
    EXPECT_TRUE(CopyToBuffer(u"abc", buffer, 4));
}

TEST(lstrcmpiW, IgnoresCaseBeyondAscii)
{
    EXPECT_EQ(lstrcmpiW(u"USB Camera", u"usb camera"), 0);
    EXPECT_EQ(lstrcmpiW(u"ÉCRAN Камера", u"écran камера"), 0);
    EXPECT_LT(lstrcmpiW(u"abc", u"ABD"), 0);
    EXPECT_GT(lstrcmpiW(u"abcd", u"ABC"), 0);
    EXPECT_EQ(lstrcmpiW(nullptr, u""), 0);
}
