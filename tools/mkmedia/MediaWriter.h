// Test and demo media made from nothing: a PCM tone WAV and an uncompressed AVI whose picture
// moves, so that playback can be watched and measured without any file from outside.
#pragma once

#include <cstdint>
#include <string>

// 16-bit PCM, a 440 Hz sine; exactly durationMs * sampleRate / 1000 sample frames.
std::string MakeToneWav(int32_t durationMs, int32_t sampleRate = 22050, int32_t channels = 1);

// RIFF AVI 1.0 with one 24-bit bottom-up DIB stream (durationMs * fps / 1000 frames, at least
// one, a bar moving across them) and, with withAudio, a 22050 Hz mono 16-bit PCM stream
// interleaved one chunk per frame; idx1 marks every chunk as a key frame.
std::string MakeAvi(int32_t durationMs, int32_t width = 320, int32_t height = 240, int32_t fps = 10,
                    bool withAudio = true);
