#include "decode/PcmReader.h"

#include <algorithm>

std::unique_ptr<PcmReader> PcmReader::Open(std::unique_ptr<FileBytes> file, OmaStatus* status) {
    OmaStream::Opened opened = OmaStream::Open(std::move(file));
    if (status) {
        *status = opened.status;
    }
    if (!opened.stream) {
        return nullptr;
    }
    return std::make_unique<PcmReader>(std::move(opened.stream));
}

PcmReader::PcmReader(std::unique_ptr<OmaStream> stream) : stream_(std::move(stream)) {}

int64_t PcmReader::ReadChunk(uint8_t* out, int32_t length) {
    std::lock_guard lock(mutex_);
    const int32_t got = stream_->Read(kWavHeaderSize + position_, out, length);
    if (got > 0) {
        position_ += got;
    }
    return got;
}

void PcmReader::SeekMs(int64_t ms) {
    const OmaInfo& info = stream_->Info();
    // In 64 bits: hours of milliseconds times the rate pass 32 bits.
    const int64_t sample = std::clamp<int64_t>(ms, 0, int64_t{1} << 40) * info.sampleRate / 1000;
    std::lock_guard lock(mutex_);
    position_ = std::min(sample, info.samples) * stream_->Layout().BlockAlign();
}
