// Where the encoder's first sample lands in the decoders' output, measured on the tone media
// (440 Hz left, 660 Hz right, from the first sample) decoded by Debian's ffmpeg:
//   1. fit each channel's steady tone, A sin(wn + theta), over seconds 1 to 8;
//   2. find the onset roughly: the first four-period window whose projection on that tone
//      reaches half its amplitude (the codec spreads the step over a few hundred samples);
//   3. the phase gives the delay exactly but only modulo a period, and the tone's sign after
//      coding is not known: for each sign, take the delay that the phase allows nearest the
//      onset. Only the right sign makes both channels (two periods, 100.2 and 66.8 samples)
//      agree. ATRAC3 comes out at 1162.0 (inverted), ATRAC3plus at 4464.1 (not inverted).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "oma/OmaFile.h"
#include "tests/native/ReferenceDecode.h"

namespace {

struct ChannelDelay {
    double amplitude = 0;
    double delay[2] = {0, 0};  // for the tone kept as it was, and for it inverted
};

ChannelDelay MeasureChannel(const std::vector<int16_t>& pcm, int channel, double frequency) {
    constexpr double kRate = 44100;
    const double w = 2 * std::numbers::pi * frequency / kRate;
    const auto at = [&](size_t n) { return static_cast<double>(pcm[n * 2 + static_cast<size_t>(channel)]); };

    double a = 0;
    double b = 0;
    const size_t first = 44100;
    const size_t last = 44100 * 8;
    for (size_t n = first; n < last; ++n) {
        a += at(n) * std::cos(w * n);
        b += at(n) * std::sin(w * n);
    }
    ChannelDelay result;
    result.amplitude = 2 * std::hypot(a, b) / static_cast<double>(last - first);
    const double theta = std::atan2(a, b);

    const double period = kRate / frequency;
    const auto window = static_cast<size_t>(std::lround(4 * period));
    double onset = -1;
    for (size_t m = 0; m + window < first; ++m) {
        double projection = 0;
        for (size_t n = m; n < m + window; ++n) {
            projection += at(n) * std::sin(w * n + theta);
        }
        if (2 * projection / static_cast<double>(window) >= result.amplitude / 2) {
            onset = static_cast<double>(m) + static_cast<double>(window) / 2;
            break;
        }
    }
    // The source is sign * sin(w (n - D)) = sin(wn - wD + (sign < 0 ? pi : 0)).
    for (int inverted = 0; inverted < 2; ++inverted) {
        const double base = std::fmod((inverted * std::numbers::pi - theta) / w, period);
        const double lifted = base + std::round((onset - base) / period) * period;
        result.delay[inverted] = lifted;
    }
    return result;
}

double MeasureDelay(const std::filesystem::path& file) {
    const auto pcm = reference::FfmpegDecode(file);
    EXPECT_TRUE(pcm.has_value());
    if (!pcm) {
        return -1;
    }
    const ChannelDelay left = MeasureChannel(*pcm, 0, 440);
    const ChannelDelay right = MeasureChannel(*pcm, 1, 660);
    // Half of full scale: the tones are there.
    EXPECT_GT(left.amplitude, 15000);
    EXPECT_GT(right.amplitude, 15000);
    const double kept = std::abs(left.delay[0] - right.delay[0]);
    const double inverted = std::abs(left.delay[1] - right.delay[1]);
    const int sign = kept < inverted ? 0 : 1;
    EXPECT_LT(std::min(kept, inverted), 1.0)
        << "the channels disagree: " << left.delay[sign] << " against " << right.delay[sign];
    // The other sign is far off: otherwise the measurement would not decide.
    EXPECT_GT(std::max(kept, inverted), 10.0);
    return (left.delay[sign] + right.delay[sign]) / 2;
}

TEST(DecoderDelay, MeasuredOnTheToneMedia) {
    if (!reference::HaveFfmpeg() || !std::filesystem::exists(reference::MediaDir())) {
        GTEST_SKIP() << "needs Debian's ffmpeg and the media in " << reference::MediaDir();
    }
    const std::pair<const char*, int32_t> rows[] = {
        {"atrac3_lp2_tone_10s.oma", kAtrac3Delay},
        {"atrac3_lp4_tone_10s.oma", kAtrac3Delay},
        {"atrac3plus_352k_tone_10s.oma", kAtrac3PlusDelay},
    };
    for (const auto& [name, delay] : rows) {
        SCOPED_TRACE(name);
        const double measured = MeasureDelay(reference::MediaDir() / name);
        EXPECT_NEAR(measured, delay, 0.5);
    }
}

}  // namespace
