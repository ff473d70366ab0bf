// A read-only run of bytes that a source filter serves to DirectShow: the engine's own OMA
// source serves a decoded PCM WAV through it. Pure: no Windows header, so the decoding side is
// tested natively.
#pragma once

#include <cstdint>

class ByteStream {
public:
    virtual ~ByteStream() = default;

    // The exact size: a WAVE parser takes it as the file's length.
    virtual int64_t Size() const = 0;

    // Fills out[0, length) with the bytes at offset and returns how many it wrote; fewer than
    // length only at the end of the stream, -1 on a failure. Called from DirectShow's threads,
    // so an implementation guards its own state. Never throws.
    virtual int32_t Read(int64_t offset, uint8_t* out, int32_t length) = 0;
};
