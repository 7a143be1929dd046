#include "platform/media/gst/RecordingRateControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using lumo::media::RecordingRateControl;

constexpr int kFramesPerSecond = 30;
constexpr uint64_t kFrameNs = 1'000'000'000 / kFramesPerSecond;

// An encoder whose frames shrink with the quantizer as q^-0.7 (not the 1/q the control assumes);
// key frames cost eight times a frame between them. `detail` is the size of a frame at quantizer 1.
struct SimulatedPicture {
    double detail;
    size_t Bytes(int quantizer, bool key) const
    {
        double bits = detail * std::pow(quantizer, -0.7) * (key ? 8.0 : 1.0);
        return static_cast<size_t>(bits / 8);
    }
};

// Drives the control as the recording bin does, frame by frame; records each period's quantizer.
class Recorder {
public:
    explicit Recorder(RecordingRateControl& control)
        : m_control(control)
    {
    }

    // Encodes `seconds` more of the picture; the bit rate over those seconds.
    double Run(const SimulatedPicture& picture, double seconds)
    {
        double bits = 0;
        int frames = static_cast<int>(seconds * kFramesPerSecond);
        for (int i = 0; i < frames; i++, m_frame++) {
            uint64_t time = m_frame * kFrameNs;
            bool key = false;
            if (!m_control.Started()) {
                m_quantizer = m_control.InitialQuantizer(kFramesPerSecond);
                m_control.BeginPeriod(time, m_quantizer);
                key = true;
            } else if (m_control.PeriodEnded(time)) {
                m_quantizer = m_control.NextQuantizer(time);
                m_control.BeginPeriod(time, m_quantizer);
                key = true;
            }
            if (key)
                periodStarts.push_back(time);
            size_t bytes = picture.Bytes(m_quantizer, key);
            m_control.OnEncoded(time, bytes, key);
            bits += static_cast<double>(bytes) * 8;
        }
        return bits / seconds;
    }
    // No frames for `seconds`, as while the stream is held back.
    void Pause(double seconds) { m_frame += static_cast<uint64_t>(seconds * kFramesPerSecond); }
    int Quantizer() const { return m_quantizer; }

    std::vector<uint64_t> periodStarts;

private:
    RecordingRateControl& m_control;
    uint64_t m_frame = 0;
    int m_quantizer = 0;
};

TEST(RecordingRateControl, FirstQuantizerFollowsTheBitsAFrameMayTake)
{
    RecordingRateControl vga(480000, 640, 480);
    RecordingRateControl hd(480000, 1280, 720);
    RecordingRateControl generous(2000000, 640, 480);
    int vgaQuantizer = vga.InitialQuantizer(30);
    EXPECT_GT(hd.InitialQuantizer(30), vgaQuantizer);
    EXPECT_LT(generous.InitialQuantizer(30), vgaQuantizer);
    EXPECT_LT(vga.InitialQuantizer(15), vgaQuantizer);
    EXPECT_EQ(vga.InitialQuantizer(0), vgaQuantizer) << "an unknown frame rate counts as 30";

    RecordingRateControl starved(8000, 1920, 1080);
    RecordingRateControl lavish(50000000, 160, 120);
    EXPECT_EQ(starved.InitialQuantizer(30), RecordingRateControl::kMaxQuantizer);
    EXPECT_EQ(lavish.InitialQuantizer(30), RecordingRateControl::kMinQuantizer);
}

TEST(RecordingRateControl, PeriodsAreHalfASecondThenTwoSeconds)
{
    RecordingRateControl control(480000, 640, 480);
    Recorder recorder(control);
    recorder.Run({ 200000 }, 5);
    ASSERT_GE(recorder.periodStarts.size(), 3u);
    EXPECT_EQ(recorder.periodStarts[0], 0u);
    EXPECT_NEAR(static_cast<double>(recorder.periodStarts[1]), 500e6, kFrameNs);
    EXPECT_NEAR(static_cast<double>(recorder.periodStarts[2] - recorder.periodStarts[1]), 2e9, kFrameNs);
}

TEST(RecordingRateControl, SettlesOnTheBitRateForPlainAndDetailedPictures)
{
    // From a picture that needs a fine quantizer to one that needs nearly the coarsest.
    for (double detail : { 40000.0, 80000.0, 150000.0 }) {
        SCOPED_TRACE(detail);
        RecordingRateControl control(480000, 640, 480);
        Recorder recorder(control);
        double firstSeconds = recorder.Run({ detail }, 2);
        // The first quantizer is judged for a detailed picture: a plain one starts below the rate.
        if (detail > 50000) {
            EXPECT_NEAR(firstSeconds, 480000, 480000 * 0.25);
        }
        double later = recorder.Run({ detail }, 20);
        EXPECT_NEAR((firstSeconds * 2 + later * 20) / 22, 480000, 480000 * 0.05);
    }
}

TEST(RecordingRateControl, FollowsAPictureThatBecomesDetailed)
{
    RecordingRateControl control(640000, 640, 480);
    Recorder recorder(control);
    double plain = recorder.Run({ 60000 }, 10);
    int plainQuantizer = recorder.Quantizer();
    double detailed = recorder.Run({ 150000 }, 20);
    EXPECT_GT(recorder.Quantizer(), plainQuantizer + 5);
    EXPECT_NEAR((plain * 10 + detailed * 20) / 30, 640000, 640000 * 0.05);
}

TEST(RecordingRateControl, APauseInTheFramesIsNoBudgetToSpendLater)
{
    RecordingRateControl control(480000, 640, 480);
    Recorder recorder(control);
    recorder.Run({ 80000 }, 10);
    recorder.Pause(20);
    EXPECT_NEAR(recorder.Run({ 80000 }, 10), 480000, 480000 * 0.1);
}

TEST(RecordingRateControl, QuantizerStaysInTheEncodersRange)
{
    RecordingRateControl starved(100000, 640, 480);
    Recorder starvedRecorder(starved);
    double rate = starvedRecorder.Run({ 5000000 }, 10);
    EXPECT_EQ(starvedRecorder.Quantizer(), RecordingRateControl::kMaxQuantizer);
    EXPECT_GT(rate, 100000) << "a picture this detailed cannot fit; the coarsest quantizer is all there is";

    RecordingRateControl lavish(5000000, 640, 480);
    Recorder lavishRecorder(lavish);
    lavishRecorder.Run({ 20000 }, 10);
    EXPECT_EQ(lavishRecorder.Quantizer(), RecordingRateControl::kMinQuantizer);
}

TEST(RecordingRateControl, AFrameBeforeThePeriodStartEndsNothing)
{
    RecordingRateControl control(480000, 640, 480);
    EXPECT_FALSE(control.PeriodEnded(5'000'000'000));
    control.BeginPeriod(1'000'000'000, 12);
    EXPECT_FALSE(control.PeriodEnded(900'000'000));
    EXPECT_EQ(control.NextQuantizer(900'000'000), 12);
    EXPECT_EQ(control.NextQuantizer(2'000'000'000), 12) << "no frame encoded yet: nothing to judge";
}

} // namespace
