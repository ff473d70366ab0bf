// An OMA file's PCM for the player's converter, burner and ReplayGain: the very stream that the
// engine's source filter serves (the same decoder, the start-up delay dropped, cut at the length),
// read from its start or from any sample. Each reader owns its own stream and decoder, so readers
// on several threads share nothing. Pure: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "decode/OmaStream.h"
#include "oma/FileBytes.h"

class PcmReader {
public:
    // A reader for a file that the OMA road plays, or null (with the reason in status, when
    // given) for anything else.
    static std::unique_ptr<PcmReader> Open(std::unique_ptr<FileBytes> file, OmaStatus* status = nullptr);

    explicit PcmReader(std::unique_ptr<OmaStream> stream);

    int32_t Channels() const { return stream_->Info().channels; }
    int32_t SampleRate() const { return stream_->Info().sampleRate; }
    int32_t BitsPerSample() const { return 16; }
    // The whole PCM in bytes: samples per channel x channels x 2.
    int64_t Bytes() const { return stream_->Layout().DataSize(); }

    // Up to length bytes of interleaved 16-bit little-endian PCM from where the last read ended,
    // in whole samples; 0 at the end or when length holds no whole sample, -1 when the file fails.
    // keepGoing is asked between chunks of a long read, which ends early when it says no.
    template <class KeepGoing>
    int64_t Read(uint8_t* out, size_t length, KeepGoing keepGoing);

    // The next read starts at sample floor(ms x rate / 1000), or at the end when that lies past it.
    void SeekMs(int64_t ms);

private:
    int64_t ReadChunk(uint8_t* out, int32_t length);

    std::unique_ptr<OmaStream> stream_;
    std::mutex mutex_;      // a host may share a handle between threads; the position is one
    int64_t position_ = 0;  // bytes into the PCM
};

template <class KeepGoing>
int64_t PcmReader::Read(uint8_t* out, size_t length, KeepGoing keepGoing) {
    // Large reads go in pieces, so that a cancelled conversion stops within one of them.
    constexpr size_t kChunk = 1 << 16;
    const auto blockAlign = static_cast<size_t>(stream_->Layout().BlockAlign());
    if (length < blockAlign) {
        // Not one whole sample fits: nothing is read, so the next read still starts on a sample.
        return 0;
    }
    length -= length % blockAlign;
    int64_t done = 0;
    while (static_cast<size_t>(done) < length) {
        if (done > 0 && !keepGoing()) {
            break;
        }
        const size_t piece = std::min(length - static_cast<size_t>(done), kChunk);
        const int64_t got = ReadChunk(out + done, static_cast<int32_t>(piece));
        if (got < 0) {
            return done > 0 ? done : -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}
