#include "tools/host/Loudness.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAbsoluteGate = -70.0;
constexpr double kRelativeGate = -10.0;

double BlockLoudness(double energy) {
    return -0.691 + 10.0 * std::log10(energy);
}

}  // namespace

double LoudnessMeter::Biquad::Run(double x, double& z1, double& z2) const {
    // Transposed direct form II: two states per stage.
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

LoudnessMeter::LoudnessMeter(int32_t sampleRate, int32_t channels)
    : channels_(std::max<int32_t>(channels, 1)),
      hop_(static_cast<size_t>(std::max<int32_t>(sampleRate / 10, 1))),
      state_(static_cast<size_t>(channels_)) {
    // The K-weighting's two stages, worked out for this rate from their analogue prototypes: a
    // high shelf of +4 dB above about 1.7 kHz (the head's effect), then a high pass at 38 Hz.
    const double rate = static_cast<double>(std::max<int32_t>(sampleRate, 1));
    {
        const double f0 = 1681.974450955533;
        const double gainDb = 3.999843853973347;
        const double q = 0.7071752369554196;
        const double k = std::tan(kPi * f0 / rate);
        const double vh = std::pow(10.0, gainDb / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        shelf_.b0 = (vh + vb * k / q + k * k) / a0;
        shelf_.b1 = 2.0 * (k * k - vh) / a0;
        shelf_.b2 = (vh - vb * k / q + k * k) / a0;
        shelf_.a1 = 2.0 * (k * k - 1.0) / a0;
        shelf_.a2 = (1.0 - k / q + k * k) / a0;
    }
    {
        const double f0 = 38.13547087602444;
        const double q = 0.5003270373238773;
        const double k = std::tan(kPi * f0 / rate);
        const double a0 = 1.0 + k / q + k * k;
        highPass_.b0 = 1.0;
        highPass_.b1 = -2.0;
        highPass_.b2 = 1.0;
        highPass_.a1 = 2.0 * (k * k - 1.0) / a0;
        highPass_.a2 = (1.0 - k / q + k * k) / a0;
    }
}

void LoudnessMeter::Add(const int16_t* samples, size_t count) {
    const auto perFrame = static_cast<size_t>(channels_);
    const size_t frames = count / perFrame;
    for (size_t f = 0; f < frames; ++f) {
        for (size_t c = 0; c < perFrame; ++c) {
            const double x = samples[f * perFrame + c] / 32768.0;
            peak_ = std::max(peak_, std::fabs(x));
            ChannelState& s = state_[c];
            const double shelved = shelf_.Run(x, s.z[0], s.z[1]);
            const double weighted = highPass_.Run(shelved, s.z[2], s.z[3]);
            current_ += weighted * weighted;
        }
        if (++inCurrent_ == hop_) {
            hops_.push_back(current_);
            current_ = 0;
            inCurrent_ = 0;
        }
    }
}

std::vector<double> LoudnessMeter::BlockEnergies() const {
    std::vector<double> blocks;
    const double frames = 4.0 * static_cast<double>(hop_);
    for (size_t end = 4; end <= hops_.size(); ++end) {
        blocks.push_back((hops_[end - 4] + hops_[end - 3] + hops_[end - 2] + hops_[end - 1]) / frames);
    }
    if (blocks.empty()) {
        double sum = current_;
        for (double h : hops_) {
            sum += h;
        }
        const size_t count = hops_.size() * hop_ + inCurrent_;
        if (count > 0) {
            blocks.push_back(sum / static_cast<double>(count));
        }
    }
    return blocks;
}

std::optional<double> GatedLoudness(const std::vector<double>& energies) {
    auto meanAbove = [&energies](double gate) -> std::optional<double> {
        double sum = 0;
        size_t n = 0;
        for (double e : energies) {
            if (e > 0 && BlockLoudness(e) > gate) {
                sum += e;
                ++n;
            }
        }
        return n > 0 ? std::optional(sum / static_cast<double>(n)) : std::nullopt;
    };
    const auto loud = meanAbove(kAbsoluteGate);
    if (!loud) {
        return std::nullopt;
    }
    const double relative = std::max(BlockLoudness(*loud) + kRelativeGate, kAbsoluteGate);
    const auto gated = meanAbove(relative);
    return gated ? std::optional(BlockLoudness(*gated)) : std::nullopt;
}
