// The stand-in player's ReplayGain analysis against tones whose loudness is known: a 1 kHz sine
// of peak A in both channels measures 20 log10(A) LUFS, because the weighting's gain at 1 kHz is
// what the formula's -0.691 takes back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/native/ReferenceDecode.h"
#include "tools/host/Loudness.h"

namespace {

std::vector<int16_t> Sine(double frequency, double amplitude, int32_t rate, int32_t channels, double seconds) {
    const auto frames = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> samples(frames * static_cast<size_t>(channels));
    for (size_t f = 0; f < frames; ++f) {
        const double v = amplitude * std::sin(2 * 3.14159265358979323846 * frequency * static_cast<double>(f) / rate);
        for (int32_t c = 0; c < channels; ++c) {
            samples[f * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(v * 32767));
        }
    }
    return samples;
}

double Measure(const std::vector<int16_t>& samples, int32_t rate, int32_t channels, size_t chunk = 4096) {
    LoudnessMeter meter(rate, channels);
    for (size_t at = 0; at < samples.size(); at += chunk) {
        meter.Add(samples.data() + at, std::min(chunk, samples.size() - at));
    }
    const auto loudness = GatedLoudness(meter.BlockEnergies());
    return loudness ? *loudness : -999;
}

TEST(Loudness, KnownTonesAtTheRatesOfTheMedia) {
    for (const int32_t rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        EXPECT_NEAR(Measure(Sine(1000, 0.1, rate, 2, 3), rate, 2), -20.0, 0.05);
        EXPECT_NEAR(Measure(Sine(1000, 0.05, rate, 2, 3), rate, 2), -26.02, 0.05) << "half the level, 6 dB";
        EXPECT_NEAR(Measure(Sine(1000, 0.1, rate, 1, 3), rate, 1), -23.01, 0.05) << "one channel of two";
        // Below the high pass the ear hears less, above the shelf more.
        EXPECT_LT(Measure(Sine(20, 0.1, rate, 2, 3), rate, 2), -26.0);
        EXPECT_NEAR(Measure(Sine(8000, 0.1, rate, 2, 3), rate, 2), -16.7, 0.3);
    }
    EXPECT_NEAR(ReplayGainDb(-20.0), 2.0, 1e-12);
}

TEST(Loudness, GatesSilenceAndQuietPartsAndTakesAnyChunking) {
    const int32_t rate = 44100;
    std::vector<int16_t> toneThenSilence = Sine(1000, 0.1, rate, 2, 2);
    toneThenSilence.resize(toneThenSilence.size() * 3, 0);  // four seconds of silence after it
    // Silence lies below the absolute gate; of the blocks that reach into it, the three that still
    // hold 3/4, 1/2 and 1/4 of a tone block's energy count beside the tone's 17 whole ones.
    const double edges = 10 * std::log10((17 + 0.75 + 0.5 + 0.25) / 20);
    EXPECT_NEAR(Measure(toneThenSilence, rate, 2), -20.0 + edges, 0.02);
    // A part 30 dB below the rest is gated out by the relative gate, edges as before.
    std::vector<int16_t> loudThenQuiet = Sine(1000, 0.1, rate, 2, 2);
    const auto quiet = Sine(1000, 0.00316, rate, 2, 2);
    loudThenQuiet.insert(loudThenQuiet.end(), quiet.begin(), quiet.end());
    EXPECT_NEAR(Measure(loudThenQuiet, rate, 2), -20.0 + edges, 0.02);
    // Odd chunks, part frames among them, measure the same as whole ones.
    const auto tone = Sine(1000, 0.1, rate, 2, 1);
    EXPECT_NEAR(Measure(tone, rate, 2, 333 * 2), Measure(tone, rate, 2, 16384), 1e-9);

    EXPECT_FALSE(GatedLoudness(LoudnessMeter(rate, 2).BlockEnergies())) << "nothing added";
    std::vector<int16_t> silence(rate * 2, 0);
    LoudnessMeter silent(rate, 2);
    silent.Add(silence.data(), silence.size());
    EXPECT_FALSE(GatedLoudness(silent.BlockEnergies()));
    EXPECT_EQ(silent.Peak(), 0.0);
    // Shorter than a block: still measured, from what there is.
    EXPECT_NEAR(Measure(Sine(1000, 0.1, rate, 2, 0.3), rate, 2), -20.0, 0.2);
}

TEST(Loudness, PeakIsTheLargestMagnitude) {
    LoudnessMeter meter(44100, 2);
    const int16_t samples[] = {0, 100, -32768, 5, 16384, 0};
    meter.Add(samples, 6);
    EXPECT_EQ(meter.Peak(), 1.0);
    LoudnessMeter half(44100, 1);
    half.Add(samples + 4, 1);
    EXPECT_EQ(half.Peak(), 0.5);
}

// FFmpeg's own loudness meter, as a second opinion: its integrated loudness of a file, as printed
// (to a tenth of a LU).
std::optional<double> FfmpegLoudness(const std::filesystem::path& path) {
    const std::string command = "ffmpeg -nostdin -i '" + path.string() + "' -af ebur128 -f null - 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    (void)pclose(pipe);
    const size_t summary = output.rfind("Integrated loudness:");
    const size_t at = summary == std::string::npos ? summary : output.find("I:", summary);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    return std::stod(output.substr(at + 2));
}

TEST(Loudness, TheRealMediaMeasureAsFfmpegsMeterDoes) {
    if (!reference::HaveFfmpeg() || !std::filesystem::exists(reference::MediaDir() / "atrac3_lp4_mix_20s.oma")) {
        GTEST_SKIP() << "needs Debian's ffmpeg and the media in " << reference::MediaDir().string();
    }
    for (const char* name : {"atrac3_lp2_2500ms.oma", "atrac3_lp4_mix_20s.oma", "atrac3plus_352k_tone_10s.oma"}) {
        SCOPED_TRACE(name);
        const auto path = reference::MediaDir() / name;
        const auto pcm = reference::FfmpegDecode(path);
        const auto theirs = FfmpegLoudness(path);
        ASSERT_TRUE(pcm && theirs);
        EXPECT_NEAR(Measure(*pcm, 44100, 2), *theirs, 0.1);
    }
}

}  // namespace
