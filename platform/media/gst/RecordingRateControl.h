// Keeps the video stream of a recording near its bit rate.
//
// The WMV encoder runs at a constant quantizer. Its own one-pass rate control cannot be used: in
// this GStreamer/libav pairing it takes the encoder's nanosecond time base for the frame rate, so
// every frame's share of the bit rate is next to nothing and every frame gets the largest quantizer
// allowed, whatever the bit rate. So the quantizer is chosen here, once per key-frame period: the
// bin restarts the encoder at the start of each period with the quantizer that would spend the
// period's share of the budget (plus what earlier periods left over, or less what they overspent),
// judged from the frames of the period that ended. A short first period measures the picture early.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumo::media {

class RecordingRateControl {
public:
    static constexpr int kMinQuantizer = 2;
    static constexpr int kMaxQuantizer = 31;
    static constexpr uint64_t kFirstPeriodNs = 500'000'000;
    static constexpr uint64_t kPeriodNs = 2'000'000'000;

    RecordingRateControl(int targetBitRate, int width, int height);

    // The quantizer to open the encoder with, before any frame is known: from the bits a frame of
    // this size may take at `framesPerSecond` (<= 0 when the rate is unknown).
    int InitialQuantizer(double framesPerSecond) const;

    // The first frame starts the first period.
    bool Started() const { return m_started; }
    // A period starts with the frame of recording time `timeNs`, encoded with `quantizer`.
    void BeginPeriod(uint64_t timeNs, int quantizer);
    // Whether the frame of recording time `timeNs` is due to start a new period.
    bool PeriodEnded(uint64_t timeNs) const;
    // The quantizer for the period that starts at `timeNs`.
    int NextQuantizer(uint64_t timeNs) const;
    // The encoder produced the frame of recording time `timeNs`, of `bytes`.
    void OnEncoded(uint64_t timeNs, size_t bytes, bool keyFrame);

    int Quantizer() const { return m_quantizer; }

private:
    uint64_t PeriodLength() const { return m_periods <= 1 ? kFirstPeriodNs : kPeriodNs; }
    // The time from the period's start to the frame at `timeNs` that counts for the budget.
    double CreditedSpan(uint64_t timeNs) const;

    double m_targetBitRate;
    double m_pixels;
    bool m_started = false;
    int m_quantizer = kMaxQuantizer;
    int m_periods = 0;
    uint64_t m_periodStart = 0;
    uint64_t m_lastFrameTime = 0;
    double m_creditedTime = 0;
    double m_totalBits = 0;
    double m_periodKeyBits = 0;
    int m_periodKeyFrames = 0;
    std::vector<double> m_periodDeltaBits;
};

} // namespace lumo::media
