// The loudness analysis behind the stand-in player's ReplayGain road: the K-weighted, gated
// loudness of the current ReplayGain (400 ms blocks overlapping by 75 %, an absolute gate at
// -70 LUFS and a relative one 10 LU below the mean), its gain to the -18 LUFS reference, and the
// sample peak. Pure: 16-bit PCM in, numbers out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class LoudnessMeter {
public:
    LoudnessMeter(int32_t sampleRate, int32_t channels);

    // Interleaved 16-bit samples, whole frames; a trailing part frame is ignored.
    void Add(const int16_t* samples, size_t count);

    // The mean square of every whole 400 ms block, channels summed; with no whole block, one
    // block of whatever was added (a very short file still gets a loudness).
    std::vector<double> BlockEnergies() const;

    // The largest sample magnitude, 1.0 at full scale.
    double Peak() const { return peak_; }

private:
    struct Biquad {
        double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
        double Run(double x, double& z1, double& z2) const;
    };
    struct ChannelState {
        double z[4] = {};
    };

    int32_t channels_;
    size_t hop_;  // 100 ms of frames
    Biquad shelf_;
    Biquad highPass_;
    std::vector<ChannelState> state_;
    std::vector<double> hops_;  // the weighted sum of squares of each whole 100 ms
    double current_ = 0;        // of the 100 ms being filled
    size_t inCurrent_ = 0;
    double peak_ = 0;
};

// The gated loudness in LUFS over the blocks (of one file, or of an album's files together);
// nothing when every block lies below the absolute gate (silence).
std::optional<double> GatedLoudness(const std::vector<double>& energies);

// The gain that brings a loudness to the reference of -18 LUFS, in dB.
inline double ReplayGainDb(double loudness) {
    return -18.0 - loudness;
}
