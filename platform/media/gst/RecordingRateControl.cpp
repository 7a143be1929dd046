#include "platform/media/gst/RecordingRateControl.h"

#include <algorithm>
#include <cmath>

namespace lumo::media {

namespace {

// How a frame's size falls with the quantizer, as q^-exponent. For the first quantizer, judged on
// a whole detailed picture with its key frame, the exponent is about 0.75 and a frame takes
// kBitsPerPixel bits per pixel at quantizer 1 (measured on moving test pictures). Between periods 1
// is assumed: detailed pictures come close to it and plain ones change less with q; a change that
// falls short is made up by the next period, while one that goes too far would overshoot.
constexpr double kBitsPerPixel = 0.6;
constexpr double kPictureExponent = 0.75;
constexpr double kPeriodExponent = 1.0;
constexpr double kAssumedFrameRate = 30.0;
// Frames further apart than this have a pause between them.
constexpr uint64_t kLongestFrameGapNs = 500'000'000;
// How far one period may go to make up for the periods before it, as a share of its own budget.
constexpr double kLeastShare = 0.5;
constexpr double kMostShare = 1.5;

int ClampQuantizer(double quantizer)
{
    if (!(quantizer > RecordingRateControl::kMinQuantizer))
        return RecordingRateControl::kMinQuantizer;
    return std::min(RecordingRateControl::kMaxQuantizer, static_cast<int>(std::lround(quantizer)));
}

} // namespace

RecordingRateControl::RecordingRateControl(int targetBitRate, int width, int height)
    : m_targetBitRate(std::max(1, targetBitRate))
    , m_pixels(std::max(1.0, static_cast<double>(width) * height))
{
}

int RecordingRateControl::InitialQuantizer(double framesPerSecond) const
{
    double rate = framesPerSecond > 0 ? framesPerSecond : kAssumedFrameRate;
    double bitsPerFrame = m_targetBitRate / rate;
    return ClampQuantizer(std::pow(kBitsPerPixel * m_pixels / bitsPerFrame, 1.0 / kPictureExponent));
}

void RecordingRateControl::BeginPeriod(uint64_t timeNs, int quantizer)
{
    if (m_started)
        m_creditedTime += CreditedSpan(timeNs);
    m_started = true;
    m_quantizer = quantizer;
    m_periodStart = timeNs;
    m_periods++;
    m_periodKeyBits = 0;
    m_periodKeyFrames = 0;
    m_periodDeltaBits.clear();
}

double RecordingRateControl::CreditedSpan(uint64_t timeNs) const
{
    int frames = m_periodKeyFrames + static_cast<int>(m_periodDeltaBits.size());
    if (frames == 0 || m_lastFrameTime < m_periodStart || timeNs < m_lastFrameTime)
        return 0;
    double covered = static_cast<double>(m_lastFrameTime - m_periodStart);
    uint64_t gap = timeNs - m_lastFrameTime;
    if (gap <= kLongestFrameGapNs)
        return covered + static_cast<double>(gap);
    // A pause in the frames (the stream was held back) is no time to spend bits on later.
    return frames > 1 ? covered * frames / (frames - 1) : 0;
}

bool RecordingRateControl::PeriodEnded(uint64_t timeNs) const
{
    return m_started && timeNs >= m_periodStart && timeNs - m_periodStart >= PeriodLength();
}

int RecordingRateControl::NextQuantizer(uint64_t timeNs) const
{
    int frames = m_periodKeyFrames + static_cast<int>(m_periodDeltaBits.size());
    if (frames == 0 || timeNs <= m_periodStart)
        return m_quantizer;
    double span = CreditedSpan(timeNs);
    if (span <= 0)
        return m_quantizer;
    double nextFrames = std::max(1.0, frames * kPeriodNs / span);
    // The next period opens with a key frame as this one did. The frames after it cost what the
    // later half of this period's other frames cost: the first ones after a key frame run larger.
    double deltaBits = 0;
    if (!m_periodDeltaBits.empty()) {
        size_t from = m_periodDeltaBits.size() / 2;
        for (size_t i = from; i < m_periodDeltaBits.size(); i++)
            deltaBits += m_periodDeltaBits[i];
        deltaBits /= static_cast<double>(m_periodDeltaBits.size() - from);
    }
    double keyBits = m_periodKeyFrames > 0 ? m_periodKeyBits / m_periodKeyFrames : deltaBits;
    if (m_periodDeltaBits.empty())
        deltaBits = keyBits;
    double expected = keyBits + (nextFrames - 1) * deltaBits;

    double share = m_targetBitRate * kPeriodNs / 1e9;
    double elapsed = (m_creditedTime + span) / 1e9;
    double wanted = m_targetBitRate * elapsed + share - m_totalBits;
    wanted = std::clamp(wanted, share * kLeastShare, share * kMostShare);
    return ClampQuantizer(m_quantizer * std::pow(expected / wanted, 1.0 / kPeriodExponent));
}

void RecordingRateControl::OnEncoded(uint64_t timeNs, size_t bytes, bool keyFrame)
{
    m_lastFrameTime = timeNs;
    double bits = static_cast<double>(bytes) * 8;
    m_totalBits += bits;
    if (keyFrame) {
        m_periodKeyBits += bits;
        m_periodKeyFrames++;
        return;
    }
    m_periodDeltaBits.push_back(bits);
}

} // namespace lumo::media
