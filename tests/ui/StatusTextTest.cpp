#include "platform/sys/Module.h"
#include "ui/StatusText.h"

#include <gtest/gtest.h>

namespace {

HINSTANCE Program()
{
    return GetModuleHandleW(nullptr); // this test program carries the program's resources
}

} // namespace

TEST(RecordingClock, ElapsedTimeGrowsPastTwoHourDigitsAndEndsWithASpace)
{
    EXPECT_EQ(FormatElapsed(0), u"");
    EXPECT_EQ(FormatElapsed(-5), u"");
    EXPECT_EQ(FormatElapsed(59), u"00:00:59 ");
    EXPECT_EQ(FormatElapsed(60), u"00:01:00 ");
    EXPECT_EQ(FormatElapsed(3600), u"01:00:00 ");
    EXPECT_EQ(FormatElapsed(3661), u"01:01:01 ");
    EXPECT_EQ(FormatElapsed(100 * 3600 + 59), u"100:00:59 ");
}

TEST(RecordingClock, LabelTextUsesWhiteAndTheSkinColourAsHover)
{
    EXPECT_EQ(FormatRecordingClock(Program(), RGB(255, 0, 0), 0), u"");
    EXPECT_EQ(FormatRecordingClock(Program(), RGB(255, 0, 0), 59),
        u"<.style>underline=false;size=9;color=rgb(255,255,255);hovercolor=rgb(255,0,0);bold=false;</.style>"
        u"录制时间：00:00:59 ");
}

TEST(DeviceLine, PlainTextForOneDeviceAndALinkForSeveral)
{
    COLORREF color = RGB(1, 2, 3);
    EXPECT_EQ(FormatDeviceLine(Program(), color, 1, u"USB Camera"),
        u"[.]hand=true;color=rgb(1,2,3);hovercolor=rgb(1,2,3)[/.]当前摄像头：USB Camera");
    EXPECT_EQ(FormatDeviceLine(Program(), color, 2, u"USB Camera"),
        u"[.]hand=true;color=rgb(1,2,3);hovercolor=rgb(1,2,3);link=100[/.]点击选择设备：USB Camera");
    EXPECT_EQ(FormatDeviceLine(Program(), color, 0, u""), u"[.]hand=true;color=rgb(1,2,3);hovercolor=rgb(1,2,3)[/.]当前摄像头：无设备");
    EXPECT_EQ(FormatDeviceLine(Program(), color, 0, nullptr), u"[.]hand=true;color=rgb(1,2,3);hovercolor=rgb(1,2,3)[/.]当前摄像头：无设备");
}

TEST(SwitchAndCountdown, TextsKeepTheirSpacesAndWhite)
{
    EXPECT_EQ(FormatHdLink(Program(), RGB(0, 0, 0), false), u"[.]hand=true;color=rgb(255,255,255);hovercolor=rgb(0,0,0)[/.]高清");
    EXPECT_EQ(FormatHdLink(Program(), RGB(0, 0, 0), true), u"[.]hand=true;color=rgb(255,255,255);hovercolor=rgb(0,0,0)[/.]默认");
    EXPECT_EQ(FormatDelayCheckBox(Program()), u"[.]color=rgb(255,255,255)[/.] 延时3秒拍照");
    EXPECT_EQ(FormatCountdown(Program(), 3), u" [.]color=rgb(255,255,255)[/.] 3 秒后自动拍照 ...");
}

TEST(SkinTextColour, IsBlackWithoutTheEngine)
{
    // This test program has no UI engine beside it, so no skin can be read.
    EXPECT_EQ(ReadStatusTextColor(), 0u);
}
