#include "MarkupFuzz.h"

#include "facet/widgets/Markup.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::string Utf8(const WString& text)
{
    return WideToUtf8(text);
}

TEST(MarkupTest, BracketFormGivesEveryNameItsMeaning)
{
    LabelMarkup m = ParseLabelMarkup(u"[.]hand=true;color=rgb(12,34,56);hovercolor=rgb(255,0,7);link=100[/.]点击选择设备：USB");
    EXPECT_TRUE(m.hasStyle);
    EXPECT_TRUE(m.hand);
    ASSERT_TRUE(m.hasColor);
    EXPECT_EQ(m.color, RGB(12, 34, 56));
    ASSERT_TRUE(m.hasHoverColor);
    EXPECT_EQ(m.hoverColor, RGB(255, 0, 7));
    EXPECT_EQ(m.link, 100u);
    EXPECT_EQ(Utf8(m.text), "点击选择设备：USB");
}

TEST(MarkupTest, StyleFormOfTheRecordingClock)
{
    LabelMarkup m = ParseLabelMarkup(
        u"<.style>underline=false;size=9;color=rgb(255,255,255);hovercolor=rgb(1,2,3);bold=false;</.style>录制时间：00:00:59 ");
    EXPECT_TRUE(m.hasStyle);
    EXPECT_FALSE(m.underline);
    EXPECT_FALSE(m.bold);
    EXPECT_EQ(m.size, 9);
    EXPECT_EQ(m.color, RGB(255, 255, 255));
    EXPECT_EQ(m.hoverColor, RGB(1, 2, 3));
    EXPECT_FALSE(m.hand);
    EXPECT_EQ(m.link, 0u);
    EXPECT_EQ(Utf8(m.text), "录制时间：00:00:59 ");

    LabelMarkup bold = ParseLabelMarkup(u"<.style>underline=true;bold=true;size=12;</.style>x");
    EXPECT_TRUE(bold.underline);
    EXPECT_TRUE(bold.bold);
    EXPECT_EQ(bold.size, 12);
}

TEST(MarkupTest, BlanksBeforeTheBlockAndAfterItStayVisible)
{
    LabelMarkup countdown = ParseLabelMarkup(u" [.]color=rgb(255,255,255)[/.] 3 秒后自动拍照 ...");
    EXPECT_TRUE(countdown.hasStyle);
    EXPECT_EQ(Utf8(countdown.text), "  3 秒后自动拍照 ...");
    LabelMarkup check = ParseLabelMarkup(u"[.]color=rgb(255,255,255)[/.] 延时3秒拍照");
    EXPECT_EQ(Utf8(check.text), " 延时3秒拍照");
}

TEST(MarkupTest, TextThatIsNoMarkupIsShownAsItIs)
{
    for (const WCHAR* text : {u"", u"plain words", u"[x] not markup", u"a[.]color=rgb(1,2,3)[/.]b", u"[.]color=rgb(1,2,3)no end",
             u"<.style>color=rgb(1,2,3);", u"[/.]closing first", u"[.", u"<.styl>x</.styl>"}) {
        LabelMarkup m = ParseLabelMarkup(text);
        EXPECT_FALSE(m.hasStyle) << Utf8(WString(text));
        EXPECT_FALSE(m.hasColor) << Utf8(WString(text));
        EXPECT_EQ(m.text, WString(text));
    }
}

TEST(MarkupTest, EachFormEndsOnlyWithItsOwnTag)
{
    // A style block is not closed by the bracket tag, nor the other way round.
    EXPECT_FALSE(ParseLabelMarkup(u"<.style>color=rgb(1,2,3);[/.]x").hasStyle);
    EXPECT_FALSE(ParseLabelMarkup(u"[.]color=rgb(1,2,3)</.style>x").hasStyle);
    LabelMarkup upper = ParseLabelMarkup(u"<.STYLE>COLOR=RGB(1,2,3);</.Style>x");
    EXPECT_TRUE(upper.hasStyle);
    EXPECT_EQ(upper.color, RGB(1, 2, 3));
    EXPECT_EQ(Utf8(upper.text), "x");
}

TEST(MarkupTest, OddPairsAreIgnoredAndTheRestStillApplies)
{
    LabelMarkup m = ParseLabelMarkup(u"[.];;unknown=5;novalue;=rgb(1,1,1);color = rgb( 9 , 8 , 7 ) ;hand=maybe;link=abc;link=42[/.]t");
    EXPECT_TRUE(m.hasStyle);
    EXPECT_EQ(m.color, RGB(9, 8, 7));
    EXPECT_FALSE(m.hand);
    EXPECT_EQ(m.link, 42u);
    EXPECT_EQ(Utf8(m.text), "t");
    // No ';' after the last pair of the style form, and a later pair of the same name wins.
    LabelMarkup last = ParseLabelMarkup(u"<.style>color=rgb(1,2,3);color=rgb(4,5,6)</.style>x");
    EXPECT_EQ(last.color, RGB(4, 5, 6));
    EXPECT_TRUE(ParseLabelMarkup(u"[.][/.]").hasStyle);
    EXPECT_TRUE(ParseLabelMarkup(u"[.][/.]").text.empty());
}

TEST(MarkupTest, BadColoursKeepTheDefault)
{
    for (const WCHAR* value : {u"rgb(256,0,0)", u"rgb(1,2)", u"rgb(a,b,c)", u"rgb(1,2,3,4)", u"rgb(1,2,3", u"(1,2,3)", u"rgb()",
             u"rgb(-1,2,3)", u"rgb(1,,3)", u"rgb(0001,2,3)", u"#ff0000", u"rgb(1,2,3)x", u""}) {
        COLORREF color = 0x123456;
        EXPECT_FALSE(ParseRgbColor(value, &color)) << Utf8(WString(value));
        EXPECT_EQ(color, 0x123456u);
        WString text = WString(u"[.]color=") + value + u"[/.]x";
        EXPECT_FALSE(ParseLabelMarkup(text).hasColor) << Utf8(text);
    }
    COLORREF color = 0;
    EXPECT_TRUE(ParseRgbColor(u" RGB (255, 128 ,0) ", &color));
    EXPECT_EQ(color, RGB(255, 128, 0));
}

TEST(MarkupTest, NumbersOutOfRangeAreIgnored)
{
    EXPECT_EQ(ParseLabelMarkup(u"[.]link=0[/.]x").link, 0u);
    EXPECT_EQ(ParseLabelMarkup(u"[.]link=65536[/.]x").link, 0u);
    EXPECT_EQ(ParseLabelMarkup(u"[.]link=-100[/.]x").link, 0u);
    EXPECT_EQ(ParseLabelMarkup(u"[.]link=100abc[/.]x").link, 0u);
    EXPECT_EQ(ParseLabelMarkup(u"[.]link=99999999999999999999[/.]x").link, 0u);
    EXPECT_EQ(ParseLabelMarkup(u"[.]link=65535[/.]x").link, 65535u);
    EXPECT_EQ(ParseLabelMarkup(u"<.style>size=0;</.style>x").size, 0);
    EXPECT_EQ(ParseLabelMarkup(u"<.style>size=73;</.style>x").size, 0);
    EXPECT_EQ(ParseLabelMarkup(u"<.style>size=9pt;</.style>x").size, 0);
    EXPECT_EQ(ParseLabelMarkup(u"<.style>size=72;</.style>x").size, 72);
}

TEST(MarkupTest, BracketsInTheVisibleTextStay)
{
    LabelMarkup m = ParseLabelMarkup(u"[.]color=rgb(1,2,3)[/.]a[b]c [.] [/.]");
    EXPECT_EQ(Utf8(m.text), "a[b]c [.] [/.]");
    EXPECT_EQ(m.color, RGB(1, 2, 3));
}

TEST(MarkupTest, HugeInputIsReadInOnePass)
{
    WString pairs = u"[.]";
    for (int i = 0; i < 200000; ++i)
        pairs += u"unknown=1;";
    pairs += u"link=7[/.]end";
    LabelMarkup m = ParseLabelMarkup(pairs);
    EXPECT_EQ(m.link, 7u);
    EXPECT_EQ(Utf8(m.text), "end");

    WString open(1000000, u'[');
    EXPECT_EQ(ParseLabelMarkup(open).text.size(), open.size());
    WString unclosed = u"[.]" + WString(1000000, u'[');
    EXPECT_FALSE(ParseLabelMarkup(unclosed).hasStyle);
}

// Generated and mutated inputs with a fixed seed: tokens of the markup mixed with text, and the
// texts the program writes with bytes changed, inserted, dropped and repeated.
TEST(MarkupTest, ArbitraryInputKeepsTheRules)
{
    const std::vector<WString> tokens = {u"[.]", u"[/.]", u"<.style>", u"</.style>", u"<.STYLE>", u"color=", u"hovercolor=",
        u"link=", u"size=", u"hand=", u"bold=", u"underline=", u"rgb(", u",", u")", u";", u"=", u"true", u"false", u"255",
        u"100", u"65536", u" ", u"\t", u"[", u"]", u"<", u">", u".", u"/", u"录制时间", u"\xD83D\xDE00", u"\xD800", WString(1, u'\0')};
    const std::vector<WString> seeds = {
        u"[.]hand=true;color=rgb(1,2,3);hovercolor=rgb(4,5,6)[/.]当前摄像头：%s",
        u"[.]hand=true;color=rgb(1,2,3);hovercolor=rgb(4,5,6);link=100[/.]点击选择设备：%s",
        u"<.style>underline=false;size=9;color=rgb(255,255,255);hovercolor=rgb(1,2,3);bold=false;</.style>录制时间：00:01:00 ",
        u" [.]color=rgb(255,255,255)[/.] 3 秒后自动拍照 ...",
        u"[.]color=rgb(255,255,255)[/.] 延时3秒拍照",
    };
    std::mt19937 random(20240611u);
    auto check = [](const WString& input) {
        std::string failure = CheckLabelMarkup(reinterpret_cast<const uint8_t*>(input.data()), input.size() * sizeof(WCHAR));
        EXPECT_EQ(failure, "") << "input: " << WideToUtf8(input);
        return failure.empty();
    };
    for (int round = 0; round < 3000; ++round) {
        WString input;
        int count = static_cast<int>(random() % 24);
        for (int i = 0; i < count; ++i)
            input += tokens[random() % tokens.size()];
        if (!check(input))
            return;
    }
    for (int round = 0; round < 3000; ++round) {
        WString input = seeds[random() % seeds.size()];
        int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !input.empty(); ++e) {
            size_t at = random() % input.size();
            switch (random() % 4) {
            case 0:
                input[at] = static_cast<WCHAR>(random() & 0xFFFF);
                break;
            case 1:
                input.insert(at, tokens[random() % tokens.size()]);
                break;
            case 2:
                input.erase(at, 1 + random() % 8);
                break;
            default:
                input.insert(at, input.substr(at, random() % 16));
                break;
            }
        }
        if (!check(input))
            return;
    }
    // Odd byte counts and raw bytes as well.
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> bytes(random() % 64);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(random());
        std::string failure = CheckLabelMarkup(bytes.data(), bytes.size());
        ASSERT_EQ(failure, "");
    }
}

} // namespace
