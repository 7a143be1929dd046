// Caps as V4L2 and PipeWire cameras report them, read into capabilities.
#include "platform/media/gst/DeviceCaps.h"

#include <gtest/gtest.h>

#include <gst/gst.h>

#include <string>
#include <vector>

using namespace lumo::media;

namespace {

class DeviceCapsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }

    static std::vector<VideoCapability> Video(const char* text)
    {
        GstCaps* caps = gst_caps_from_string(text);
        EXPECT_NE(caps, nullptr) << text;
        auto capabilities = VideoCapabilitiesOf(caps);
        if (caps)
            gst_caps_unref(caps);
        return capabilities;
    }

    static std::vector<AudioCapability> Audio(const char* text)
    {
        GstCaps* caps = gst_caps_from_string(text);
        auto capabilities = AudioCapabilitiesOf(caps);
        if (caps)
            gst_caps_unref(caps);
        return capabilities;
    }
};

std::string Describe(const std::vector<VideoCapability>& capabilities)
{
    static const char* kNames[] = {"YUY2", "UYVY", "MJPG", "NV12", "I420", "YV12", "RGB24", "RGB32"};
    std::string text;
    for (const auto& c : capabilities) {
        text += std::string(kNames[static_cast<int>(c.format)]) + " " + std::to_string(c.width) + "x"
            + std::to_string(c.height) + "@" + std::to_string(c.frameInterval) + "; ";
    }
    return text;
}

} // namespace

// What v4l2src reports for a typical USB webcam: one structure per format and size, the largest raw
// size first, discrete rates as lists, MJPG beside the raw formats.
TEST_F(DeviceCapsTest, AUsbWebcamThroughV4l2)
{
    auto capabilities = Video(
        "video/x-raw, format=(string)YUY2, width=(int)1920, height=(int)1080, pixel-aspect-ratio=(fraction)1/1, framerate=(fraction)5/1; "
        "video/x-raw, format=(string)YUY2, width=(int)1280, height=(int)720, pixel-aspect-ratio=(fraction)1/1, framerate=(fraction)10/1; "
        "video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480, pixel-aspect-ratio=(fraction)1/1, framerate=(fraction){ 30/1, 25/1, 20/1, 15/1, 10/1, 5/1 }; "
        "image/jpeg, width=(int)1920, height=(int)1080, pixel-aspect-ratio=(fraction)1/1, framerate=(fraction){ 30/1, 15/1 }; "
        "image/jpeg, width=(int)1280, height=(int)720, pixel-aspect-ratio=(fraction)1/1, framerate=(fraction)30/1");
    EXPECT_EQ(Describe(capabilities),
              "YUY2 1920x1080@2000000; YUY2 1280x720@1000000; YUY2 640x480@333333; MJPG 1920x1080@333333; MJPG 1280x720@333333; ");
}

// Stepwise sizes (a range with a step) and continuous rates (a fraction range), as some integrated
// cameras and loopback drivers report them; several formats in one structure.
TEST_F(DeviceCapsTest, StepwiseSizesAndRateRanges)
{
    auto capabilities = Video(
        "video/x-raw, format=(string){ NV12, YUY2 }, width=(int)[ 32, 1280, 32 ], height=(int)[ 32, 720, 8 ], framerate=(fraction)[ 1/1, 30/1 ]");
    EXPECT_EQ(Describe(capabilities),
              "NV12 640x480@333333; YUY2 640x480@333333; NV12 320x240@333333; YUY2 320x240@333333; "
              "NV12 800x600@333333; YUY2 800x600@333333; NV12 1280x720@333333; YUY2 1280x720@333333; "
              "NV12 160x120@333333; YUY2 160x120@333333; ");
    // A stepped range holds the multiples of its step: heights of 600, 1080 and 120 are not among them.
    auto coarse = Video("video/x-raw, format=(string)YUY2, width=(int)[ 16, 1920, 16 ], height=(int)[ 16, 1088, 16 ], framerate=(fraction)30/1");
    EXPECT_EQ(Describe(coarse), "YUY2 640x480@333333; YUY2 320x240@333333; YUY2 1280x720@333333; YUY2 1024x768@333333; YUY2 1280x960@333333; ");
}

// PipeWire's enumerated sizes come as a list of widths beside a list of heights, meant pairwise.
TEST_F(DeviceCapsTest, PipeWireSizeListsArePairs)
{
    auto capabilities = Video(
        "video/x-raw, format=(string)YUY2, width=(int){ 1280, 640 }, height=(int){ 720, 480 }, framerate=(fraction){ 30/1, 15/1 }; "
        "image/jpeg, width=(int){ 1920, 1280, 640 }, height=(int){ 1080, 720, 480 }, framerate=(fraction)30/1");
    EXPECT_EQ(Describe(capabilities),
              "YUY2 1280x720@333333; YUY2 640x480@333333; MJPG 1920x1080@333333; MJPG 1280x720@333333; MJPG 640x480@333333; ");
    // Lists of unequal length, or a list beside a fixed value, mean every combination.
    auto crossed = Video("video/x-raw, format=(string)I420, width=(int){ 640, 320 }, height=(int)480, framerate=(fraction)30/1; "
                         "video/x-raw, format=(string)UYVY, width=(int){ 800, 1024 }, height=(int){ 600, 768, 576 }");
    EXPECT_EQ(Describe(crossed),
              "I420 640x480@333333; I420 320x480@333333; UYVY 800x600@333333; UYVY 800x768@333333; UYVY 800x576@333333; "
              "UYVY 1024x600@333333; UYVY 1024x768@333333; UYVY 1024x576@333333; ");
}

// The same size offered by several structures keeps the fastest rate; formats, memory and media
// we cannot show give nothing, and absurd or variable rates read as 30 fps.
TEST_F(DeviceCapsTest, DuplicatesUnusableStructuresAndOddRates)
{
    auto capabilities = Video(
        "video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480, framerate=(fraction)15/1; "
        "video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480, framerate=(fraction)30/1; "
        "video/x-raw(memory:DMABuf), format=(string)NV12, width=(int)1920, height=(int)1080, framerate=(fraction)30/1; "
        "video/x-h264, width=(int)1920, height=(int)1080, framerate=(fraction)30/1; "
        "video/x-bayer, format=(string)bggr, width=(int)1600, height=(int)1200, framerate=(fraction)30/1; "
        "video/x-raw, format=(string)GRAY16_LE, width=(int)640, height=(int)480; "
        "video/x-raw, format=(string){ BGR, BGRx }, width=(int)320, height=(int)240, framerate=(fraction)0/1; "
        "video/x-raw, format=(string)RGB, width=(int)160, height=(int)120, framerate=(fraction)[ 0/1, 2147483647/1 ]; "
        "video/x-raw, format=(string)UYVY, width=(int)1920, height=(int)1080, framerate=(fraction)4/1480; "
        "video/x-raw, format=(string)YUY2, width=(int)0, height=(int)480; "
        "video/x-raw, format=(string)YUY2, width=(int)640");
    EXPECT_EQ(Describe(capabilities), "YUY2 640x480@333333; RGB24 320x240@333333; RGB32 320x240@333333; RGB24 160x120@333333; "
                                      "UYVY 1920x1080@333333; ");

    EXPECT_TRUE(Video("ANY").empty());
    EXPECT_TRUE(Video("EMPTY").empty());
    EXPECT_TRUE(VideoCapabilitiesOf(nullptr).empty());
}

TEST_F(DeviceCapsTest, TheCurrentFormatBecomesTheDevicesOwnMode)
{
    auto capabilities = Video(
        "video/x-raw, format=(string)YUY2, width=(int)1920, height=(int)1080, framerate=(fraction)5/1; "
        "video/x-raw, format=(string)YUY2, width=(int)640, height=(int)480, framerate=(fraction){ 30/1, 15/1 }; "
        "image/jpeg, width=(int)1280, height=(int)720, framerate=(fraction)30/1");
    auto moved = capabilities;
    PutCurrentFormatFirst(moved, {PixelFormat::YUY2, 640, 480, 666666});
    EXPECT_EQ(Describe(moved), "YUY2 640x480@333333; YUY2 1920x1080@2000000; MJPG 1280x720@333333; ");

    // A current size the caps do not list (a stepwise camera set to an unusual size) is added as it is.
    auto added = capabilities;
    PutCurrentFormatFirst(added, {PixelFormat::MJPG, 1280, 800, 400000});
    EXPECT_EQ(Describe(added), "MJPG 1280x800@400000; YUY2 1920x1080@2000000; YUY2 640x480@333333; MJPG 1280x720@333333; ");
    auto noRate = capabilities;
    PutCurrentFormatFirst(noRate, {PixelFormat::MJPG, 1920, 1080, 0});
    EXPECT_EQ(noRate.front().frameInterval, 333333) << "the fastest listed at its size is 5 fps, slower than 30";

    auto unchanged = capabilities;
    PutCurrentFormatFirst(unchanged, {PixelFormat::YUY2, 0, 0, 0});
    EXPECT_EQ(Describe(unchanged), Describe(capabilities));
}

TEST_F(DeviceCapsTest, NoV4l2NodeMeansNoCurrentFormat)
{
    EXPECT_FALSE(CurrentV4l2Format(nullptr));
    EXPECT_FALSE(CurrentV4l2Format(""));
    EXPECT_FALSE(CurrentV4l2Format("/dev/video-lumo-none"));
    EXPECT_FALSE(CurrentV4l2Format("/dev/null")) << "a node that is no capture device has no format";
}

TEST_F(DeviceCapsTest, MicrophonesInTheFormsSoundServersReport)
{
    auto pipewire = Audio("audio/x-raw, format=(string)S16LE, layout=(string)interleaved, rate=(int)48000, channels=(int)1");
    ASSERT_EQ(pipewire.size(), 1U);
    EXPECT_EQ(pipewire[0].sampleRate, 48000);
    EXPECT_EQ(pipewire[0].channels, 1);
    EXPECT_EQ(pipewire[0].bitsPerSample, 16);

    auto pulse = Audio("audio/x-raw, format=(string){ S16LE, F32LE, S32LE }, layout=(string)interleaved, rate=(int)[ 1, 384000 ], channels=(int)[ 1, 32 ]");
    ASSERT_EQ(pulse.size(), 1U);
    EXPECT_EQ(pulse[0].sampleRate, 44100);
    EXPECT_EQ(pulse[0].channels, 2);
    EXPECT_EQ(pulse[0].bitsPerSample, 16);

    auto alsa = Audio("audio/x-raw, format=(string)S32LE, layout=(string)interleaved, rate=(int){ 16000, 96000 }, channels=(int)4; "
                      "audio/x-raw, format=(string)S24LE, rate=(int)8, channels=(int)1");
    ASSERT_EQ(alsa.size(), 1U);
    EXPECT_EQ(alsa[0].sampleRate, 16000);
    EXPECT_EQ(alsa[0].channels, 2);
    EXPECT_EQ(alsa[0].bitsPerSample, 32);

    auto none = Audio("audio/x-opus, channels=(int)2");
    ASSERT_EQ(none.size(), 1U) << "a microphone always has a shape to deliver";
    EXPECT_EQ(none[0].sampleRate, 44100);
}
