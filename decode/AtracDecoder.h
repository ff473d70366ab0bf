// One OMA stream's frame decoder: libavcodec's atrac3, atrac3p or mp3float decoder, or the byte
// swap that LPCM needs, behind one interface. It turns one frame of the file into interleaved 16-bit
// samples and knows nothing of files or offsets. Pure: no Windows header. Not thread-safe: the
// stream that owns it holds the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "oma/OmaFile.h"

class AtracDecoder {
public:
    virtual ~AtracDecoder() = default;

    // Decodes one frame (info.frameSize bytes; for MP3 the frame's own size, at most
    // kMaxMp3FrameSize) into info.samplesPerFrame x info.channels interleaved samples. False
    // when the decoder rejects the frame; out then holds silence, so a damaged frame costs its
    // own samples only.
    virtual bool Decode(std::span<const uint8_t> frame, std::span<int16_t> out) = 0;

    // Forgets everything decoded so far, as after opening: the next frame decodes as if first.
    virtual bool Reset() = 0;
};

// A decoder for what the header describes (info as ReadOma filled it with OmaStatus::Ok), or
// null when the codec or its parameters are refused.
std::unique_ptr<AtracDecoder> OpenAtracDecoder(const OmaInfo& info);
