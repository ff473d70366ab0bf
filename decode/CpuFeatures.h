// What the processor offers that FFmpeg's build relies on. The i686 decoders are compiled for
// SSE2 floating point (scripts/ffmpeg), so on a processor without it not one of their
// instructions may run: the stream asks here before it opens one. Pure: no Windows header.
#pragma once

#include <optional>

bool CpuHasSse2();

// For the tests: answer as a processor without (or with) SSE2 would; nullopt asks the real one.
void OverrideCpuHasSse2(std::optional<bool> answer);
