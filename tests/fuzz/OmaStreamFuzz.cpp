// Whole files through the decoders and the stream. The first byte picks how the rest is read:
// as a whole file, or as frames behind a header built from a codec and parameters the reader
// accepts, so that most inputs reach libavcodec. Whatever the frames hold, the stream never
// reads outside the file, serves the header it promised, and fills every read up to its size,
// reading on, back and across frames.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decode/OmaStream.h"
#include "tests/fuzz/CheckedFile.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

struct Codec {
    uint8_t id;
    uint32_t params;
};

// ATRAC3 in each frame size, with and without joint stereo, those of the RealMedia-style set-up
// (272, 512, 1024 bytes) among them; ATRAC3plus stereo and mono in a few frame sizes; LPCM; MP3,
// whose frames carry their own parameters.
constexpr Codec kCodecs[] = {
    {0, 0x002030}, {0, 0x022018}, {0, 0x002026}, {0, 0x022030}, {0, 0x000030}, {0, 0x022022}, {0, 0x002040},
    {0, 0x002080}, {1, 0x0028FF}, {1, 0x00245D}, {1, 0x002817}, {1, 0x00287F}, {4, 0x000000}, {3, 0x000000},
};

std::vector<uint8_t> FileFrom(const uint8_t* data, size_t size) {
    if (size == 0 || data[0] < 0x80) {
        return std::vector<uint8_t>(data + std::min<size_t>(size, 1), data + size);
    }
    const Codec codec = kCodecs[data[0] % std::size(kCodecs)];
    std::vector<uint8_t> file(96, 0);
    std::memcpy(file.data(), "EA3\x01\x00\x60\xFF\xFF", 8);
    file[32] = codec.id;
    file[33] = static_cast<uint8_t>(codec.params >> 16);
    file[34] = static_cast<uint8_t>(codec.params >> 8);
    file[35] = static_cast<uint8_t>(codec.params);
    file.insert(file.end(), data + 1, data + size);
    return file;
}

void Check(OmaStream& stream) {
    const int64_t size = stream.Size();
    const auto header = stream.Layout().Header();
    FUZZ_REQUIRE(size == 44 + stream.Info().samples * stream.Info().channels * 2);

    // On from the start in odd chunks, then back and across frames.
    std::vector<uint8_t> buffer(5000);
    std::vector<uint8_t> first(44);
    FUZZ_REQUIRE(stream.Read(0, first.data(), 44) == 44);
    FUZZ_REQUIRE(std::equal(first.begin(), first.end(), header.begin()));
    std::vector<int64_t> offsets;
    for (int64_t at = 0; at < size && offsets.size() < 64; at += 4999) {
        offsets.push_back(at);
    }
    offsets.push_back(size / 2);
    offsets.push_back(size - 1);
    offsets.push_back(45);
    offsets.push_back(size / 3);
    for (int64_t offset : offsets) {
        const int32_t n = stream.Read(offset, buffer.data(), static_cast<int32_t>(buffer.size()));
        // A stream may be its header alone (a clip within the decoder's delay): past it, nothing.
        FUZZ_REQUIRE(n == std::clamp<int64_t>(size - offset, 0, static_cast<int64_t>(buffer.size())));
    }
    FUZZ_REQUIRE(stream.Read(size, buffer.data(), 10) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Long inputs only make each run slower, not the search wider.
    if (size > 64 * 1024) {
        return 0;
    }
    const std::vector<uint8_t> bytes = FileFrom(data, size);
    auto opened = OmaStream::Open(std::make_unique<CheckedFile>(bytes));
    FUZZ_REQUIRE((opened.status == OmaStatus::Ok) == (opened.stream != nullptr));
    if (opened.stream) {
        Check(*opened.stream);
    }
    return 0;
}
