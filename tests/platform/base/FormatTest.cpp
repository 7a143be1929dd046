#include "platform/base/Format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

TEST(FormatW, FormatsTheProgramsTexts)
{
    EXPECT_EQ(FormatW(u"%s%4d%02d%02d%02d%02d%02d%01d.jpg", u"/home/u/照片/", 2012, 12, 7, 15, 30, 5, 7),
        u"/home/u/照片/201212071530057.jpg");
    EXPECT_EQ(FormatW(u"%s%4d%02d%02d%02d%02d%02d%01d.jpg", u"", 12345, 1, 2, 3, 4, 5, 0), u"1234501020304050.jpg");
    EXPECT_EQ(FormatW(u"%s\\%s\\", WString(u"Tern"), WStringView(u"Camlet")), u"Tern\\Camlet\\");
    EXPECT_EQ(FormatW(u"%02d:%02d:%02d ", 9, 5, 0), u"09:05:00 ");
    EXPECT_EQ(FormatW(u"res://%d/%s/%d", 42, u"PNG", 101), u"res://42/PNG/101");
    EXPECT_EQ(FormatW(u"[.]hand=true;color=rgb(%d,%d,%d);hovercolor=rgb(%d,%d,%d)[/.]当前摄像头：%s", 0, 102, 204,
                  255, 128, 0, u"USB 摄像头"),
        u"[.]hand=true;color=rgb(0,102,204);hovercolor=rgb(255,128,0)[/.]当前摄像头：USB 摄像头");
    EXPECT_EQ(FormatW(u"\"%s\"", u"/home/u/a b.jpg"), u"\"/home/u/a b.jpg\"");
    EXPECT_EQ(FormatW(u"/select,\"%s\"", u"x.jpg"), u"/select,\"x.jpg\"");
    EXPECT_EQ(FormatW(u"%d * %d", 640u, 480L), u"640 * 480");
}

TEST(FormatW, PadsAndSignsIntegersLikePrintf)
{
    EXPECT_EQ(FormatW(u"%02d|%03d|%01d|%4d", -1, -1, 0, 12345), u"-1|-01|0|12345");
    EXPECT_EQ(FormatW(u"[%-4d][%4d][%-04d]", 5, -5, 5), u"[5   ][  -5][5   ]");
    EXPECT_EQ(FormatW(u"%.3d|%5.3d|%05.3d|%.0d|%+d|% d", 7, -7, 7, 0, 5, 5), u"007| -007|  007||+5| 5");
    EXPECT_EQ(FormatW(u"%08X|%x|%#x|%#X|%#x|%o|%#o", 0xBEEF, 0xBEEF, 255, 255, 0, 8, 8), u"0000BEEF|beef|0xff|0XFF|0|10|010");
    EXPECT_EQ(FormatW(u"%*d|%-*d|%.*d", 4, 7, 3, 7, 2, 7), u"   7|7  |07");
}

TEST(FormatW, PrintsIntegersAtTheirOwnWidth)
{
    // 32-bit values reinterpret as a 32-bit int would; 64-bit ones print in full.
    EXPECT_EQ(FormatW(u"%u %x %X", -1, -2, std::int16_t{-1}), u"4294967295 fffffffe FFFFFFFF");
    EXPECT_EQ(FormatW(u"%d", DWORD{0xFFFFFFFF}), u"-1");
    EXPECT_EQ(FormatW(u"%d|%u", INT64_MIN, UINT64_MAX), u"-9223372036854775808|18446744073709551615");
    EXPECT_EQ(FormatW(u"%I64X|%llx|%lld", LONGLONG{-1}, 0x123456789ULL, LONGLONG{-5}), u"FFFFFFFFFFFFFFFF|123456789|-5");
    EXPECT_EQ(FormatW(u"%hd %hu %hhx %I32x", 70000, -1, 0x1FF, LONGLONG{-1}), u"4464 65535 ff ffffffff");
    enum class Color : BYTE { Red = 200 };
    EXPECT_EQ(FormatW(u"%d %d %c", Color::Red, u'A', u'A'), u"200 65 A");
}

TEST(FormatW, TreatsSAsAWideText)
{
    const WCHAR* none = nullptr;
    EXPECT_EQ(FormatW(u"%s|%ls|%ws|%S", none, u"l", u"w", u"S"), u"(null)|l|w|S");
    EXPECT_EQ(FormatW(u"[%.3s][%-5s][%5s][%.0s]", u"abcdef", u"ab", u"ab", u"ab"), u"[abc][ab   ][   ab][]");
    // A precision never splits a surrogate pair.
    EXPECT_EQ(FormatW(u"[%.1s][%.2s]", u"\U0001F4F7x", u"\U0001F4F7x"), u"[][\U0001F4F7]");
    EXPECT_EQ(FormatW(u"%c%c%3c", WCHAR{u'中'}, 0x6587, u'x'), u"中文  x");

    WCHAR unterminated[3] = {u'a', u'b', u'c'};
    EXPECT_EQ(FormatW(u"%s|", unterminated), u"abc|");
    WCHAR buffer[8] = u"xy";
    EXPECT_EQ(FormatW(u"%s|", buffer), u"xy|");
}

TEST(FormatW, NeverMisreadsArguments)
{
    EXPECT_EQ(FormatW(u"a%db%sc%%"), u"abc%");
    EXPECT_EQ(FormatW(u"%d=%s", u"text", 42), u"text=42");
    EXPECT_EQ(FormatW(u"%s|%s|%5s", -5, 7u, LONGLONG{-3}), u"-5|7|   -3");
    EXPECT_EQ(FormatW(u"%y|%5q|%n|%f|%p", 1), u"%y|%5q|%n|%f|%p");
    EXPECT_EQ(FormatW(u"100%"), u"100%");
    EXPECT_EQ(FormatW(u"end %-0"), u"end %-0");
    EXPECT_EQ(FormatW(u"%d", 1, 2, 3), u"1");
    EXPECT_EQ(FormatW(nullptr, 1), u"");
}

TEST(StringCchPrintfW, CutsAtTheCapacityAndAlwaysTerminates)
{
    WCHAR buffer[8];
    auto fill = [&] { std::fill(std::begin(buffer), std::end(buffer), u'#'); };

    fill();
    EXPECT_EQ(StringCchPrintfW(buffer, 1, u"%d", 5), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');

    fill();
    EXPECT_EQ(StringCchPrintfW(buffer, 1, u"%s", u""), S_OK);
    EXPECT_EQ(buffer[0], 0);

    fill();
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"%s", u"abc"), S_OK);
    EXPECT_EQ(WString(buffer), u"abc");

    fill();
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"ab%s", u"cd"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WString(buffer), u"abc");
    EXPECT_EQ(buffer[4], u'#');

    fill();
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"%5d", 1), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WString(buffer), u"   ");
    EXPECT_EQ(buffer[4], u'#');
}

TEST(StringCchPrintfW, NeverSplitsASurrogatePairAtTheCut)
{
    WCHAR buffer[4];
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"ab%s", u"\U0001F4F7"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WString(buffer), u"ab");
    EXPECT_EQ(StringCchPrintfW(buffer, 4, u"a\U0001F4F7"), S_OK);
    EXPECT_EQ(WString(buffer), u"a\U0001F4F7");
    EXPECT_EQ(StringCchPrintfW(buffer, 3, u"a%c%c", WCHAR{0xD83D}, WCHAR{0xDCF7}), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WString(buffer), u"a");
}

TEST(StringCchPrintfW, RejectsBadParameters)
{
    WCHAR buffer[4] = u"xyz";
    EXPECT_EQ(StringCchPrintfW(nullptr, 4, u"%d", 1), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchPrintfW(buffer, 0, u"%d", 1), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(WString(buffer), u"xyz");
    EXPECT_EQ(StringCchPrintfW(buffer, STRSAFE_MAX_CCH + 1, u"%d", 1), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(StringCchPrintfW(buffer, 4, nullptr), STRSAFE_E_INVALID_PARAMETER);
    EXPECT_EQ(buffer[0], 0);
}
