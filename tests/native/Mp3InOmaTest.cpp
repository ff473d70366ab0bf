// MP3 inside OMA: the frame header rules, the Xing/LAME header, the frame walk through junk, and
// real encodes by Debian's ffmpeg served by the stream against ffmpeg's own decode of the plain
// MP3 (the length from the encoder's input, continuous and after random seeks).
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "decode/CpuFeatures.h"
#include "decode/OmaStream.h"
#include "decode/PcmReader.h"
#include "oma/Mp3Frames.h"
#include "oma/OmaFile.h"
#include "tests/native/Mp3MediaFiles.h"

namespace {

using omabytes::Append;
using omabytes::Bytes;

std::optional<Mp3Header> Parse(std::array<uint8_t, 4> b) {
    return ParseMp3Header(std::span<const uint8_t, 4>(b));
}

TEST(Mp3Header, SizesRatesAndChannelsFromTheFourBytes) {
    struct Row {
        std::array<uint8_t, 4> bytes;
        int32_t version, bitRate, sampleRate, channels, samplesPerFrame, size;
        bool crc;
    };
    // Sizes by hand: 144 x bit rate / rate (+1 with the padding bit) for MPEG-1, 72 x for the others.
    const Row rows[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 1, 128000, 44100, 2, 1152, 417, false},   // 417.96
        {{0xFF, 0xFB, 0x92, 0x00}, 1, 128000, 44100, 2, 1152, 418, false},   // padded
        {{0xFF, 0xFA, 0x90, 0xC0}, 1, 128000, 44100, 1, 1152, 417, true},    // CRC, mono
        {{0xFF, 0xFB, 0xE4, 0x40}, 1, 320000, 48000, 2, 1152, 960, false},   // joint stereo
        {{0xFF, 0xFB, 0xEA, 0x00}, 1, 320000, 32000, 2, 1152, 1441, false},  // the largest
        {{0xFF, 0xF3, 0x80, 0x00}, 2, 64000, 22050, 2, 576, 208, false},     // 208.98
        {{0xFF, 0xF3, 0x18, 0xC0}, 2, 8000, 16000, 1, 576, 36, false},
        {{0xFF, 0xF3, 0x14, 0xC0}, 2, 8000, 24000, 1, 576, 24, false},
        {{0xFF, 0xE3, 0x18, 0xC0}, 25, 8000, 8000, 1, 576, 72, false},
        {{0xFF, 0xE3, 0xE6, 0x00}, 25, 160000, 12000, 2, 576, 961, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.bytes));
        const auto h = Parse(r.bytes);
        ASSERT_TRUE(h);
        EXPECT_EQ(h->version, r.version);
        EXPECT_EQ(h->bitRate, r.bitRate);
        EXPECT_EQ(h->sampleRate, r.sampleRate);
        EXPECT_EQ(h->channels, r.channels);
        EXPECT_EQ(h->samplesPerFrame, r.samplesPerFrame);
        EXPECT_EQ(h->size, r.size);
        EXPECT_EQ(h->crc, r.crc);
    }
    const std::array<uint8_t, 4> refused[] = {
        {0xFE, 0xFB, 0x90, 0x00},  // no sync
        {0xFF, 0xDB, 0x90, 0x00},  // sync cut short
        {0xFF, 0xEB, 0x90, 0x00},  // reserved version
        {0xFF, 0xFD, 0x90, 0x00},  // Layer II
        {0xFF, 0xFF, 0x90, 0x00},  // Layer I
        {0xFF, 0xFB, 0x00, 0x00},  // free format
        {0xFF, 0xFB, 0xF0, 0x00},  // bit rate index 15
        {0xFF, 0xFB, 0x9C, 0x00},  // reserved rate
    };
    for (const auto& b : refused) {
        EXPECT_FALSE(Parse(b)) << testing::PrintToString(b);
    }
}

// A frame of a given header: the header, then zeros; a Xing/Info tag written in where asked.
Bytes Frame(std::array<uint8_t, 4> header, uint8_t fill = 0) {
    const auto h = Parse(header);
    Bytes f(static_cast<size_t>(h ? h->size : 4), fill);
    std::copy(header.begin(), header.end(), f.begin());
    return f;
}

// "Info" behind the side information (32 bytes for MPEG-1 stereo), with the fields the flags
// announce, then an extension whose name and delay bytes are given.
Bytes InfoFrame(uint32_t flags, const std::string& name, std::array<uint8_t, 3> delayBytes, size_t sideInfo = 32) {
    Bytes f = Frame({0xFF, 0xFB, 0x90, 0x00});
    size_t at = 4 + sideInfo;
    const char* tag = "Info";
    std::copy(tag, tag + 4, f.begin() + static_cast<ptrdiff_t>(at));
    f[at + 7] = static_cast<uint8_t>(flags);
    at += 8;
    if (flags & 1) {
        f[at + 2] = 0x01;  // 0x100 frames
        f[at + 3] = 0x00;
        at += 4;
    }
    at += (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    std::copy(name.begin(), name.end(), f.begin() + static_cast<ptrdiff_t>(at));
    std::copy(delayBytes.begin(), delayBytes.end(), f.begin() + static_cast<ptrdiff_t>(at + 21));
    return f;
}

TEST(Mp3XingTag, DelayAndPaddingWhereverTheFlagsPutThem) {
    const std::array<uint8_t, 4> header = {0xFF, 0xFB, 0x90, 0x00};
    struct Row {
        uint32_t flags;
        std::string name;
        std::array<uint8_t, 3> delay;
        int64_t frames;
        int32_t encoderDelay, padding;
    };
    const Row rows[] = {
        {0x0F, "LAME3.100", {0x24, 0x04, 0xEC}, 256, 576, 1260},
        {0x01, "Lavc59.37", {0x24, 0x04, 0xEC}, 256, 576, 1260},
        {0x00, "Whatever!", {0x00, 0x10, 0x01}, -1, 1, 1},
        {0x0E, "LAME3.99r", {0xFF, 0xFF, 0xFF}, -1, 4095, 4095},
        {0x0F, std::string(9, '\0'), {0x24, 0x04, 0xEC}, 256, -1, -1},  // no extension
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.flags);
        const Bytes f = InfoFrame(r.flags, r.name, r.delay);
        const auto tag = ReadMp3XingTag(*Parse(header), f);
        ASSERT_TRUE(tag);
        EXPECT_EQ(tag->frames, r.frames);
        EXPECT_EQ(tag->encoderDelay, r.encoderDelay);
        EXPECT_EQ(tag->padding, r.padding);
    }
    // Audio, a tag at the mono offset of a stereo frame, and a frame too short for its fields.
    EXPECT_FALSE(ReadMp3XingTag(*Parse(header), Frame(header, 0x55)));
    EXPECT_FALSE(ReadMp3XingTag(*Parse(header), InfoFrame(0x0F, "LAME3.100", {0x24, 0x04, 0xEC}, 17)));
    const Bytes info = InfoFrame(0x0F, "LAME3.100", {0x24, 0x04, 0xEC});
    const Bytes cut(info.begin(), info.begin() + 60);
    const auto partial = ReadMp3XingTag(*Parse(header), cut);
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->encoderDelay, -1);
}

struct Walked {
    std::vector<int64_t> offsets;
    bool tag = false;
};

// Every frame's offset, through the index as decoding finds them.
std::vector<int64_t> Offsets(FileBytes& file, const Mp3Frames& frames) {
    Mp3Index index(file, frames);
    std::vector<int64_t> offsets;
    for (int64_t i = 0; i < frames.frames; ++i) {
        const auto offset = index.Offset(i);
        if (!offset) {
            break;
        }
        offsets.push_back(*offset);
    }
    return offsets;
}

std::optional<Walked> Walk(const Bytes& bytes) {
    MemoryFileBytes file(bytes);
    const auto frames = ReadMp3Frames(file, 0, static_cast<int64_t>(bytes.size()));
    if (!frames) {
        return std::nullopt;
    }
    return Walked{Offsets(file, *frames), frames->tag.has_value()};
}

TEST(Mp3Walk, FindsEveryFrameAndSkipsWhatIsNotOne) {
    const std::array<uint8_t, 4> a = {0xFF, 0xFB, 0x90, 0x00};      // 417 bytes
    const std::array<uint8_t, 4> b = {0xFF, 0xFB, 0x92, 0x00};      // 418, padded
    const std::array<uint8_t, 4> other = {0xFF, 0xFB, 0x94, 0x00};  // 48 kHz: another stream

    // Plain frames of two sizes, then a frame cut by the end.
    Bytes plain;
    for (int i = 0; i < 5; ++i) {
        Append(plain, Frame(i % 2 ? b : a));
    }
    const Bytes whole = plain;
    const Bytes cutFrame = Frame(a);
    plain.insert(plain.end(), cutFrame.begin(), cutFrame.begin() + 200);
    const auto p = Walk(plain);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->offsets, (std::vector<int64_t>{0, 417, 835, 1252, 1670}));

    // Junk in front and between frames (text, and a lone sync word that no frame follows), a
    // frame of another rate: all skipped. A frame found by searching counts only when one of
    // its stream follows it.
    Bytes junky = {'j', 'u', 'n', 'k', 0xFF, 0xFB};
    Append(junky, Frame(a));  // 6
    Append(junky, Frame(a));  // 423
    Append(junky, {'I', 'D', '3', 0xFF, 0xFB, 0x90, 0x00, 1, 2, 3});
    Append(junky, Frame(b));      // 850
    Append(junky, Frame(b));      // 1268
    Append(junky, Frame(other));  // 1686, 48 kHz, 384 bytes
    Append(junky, Frame(a));      // 2070
    Append(junky, Frame(a));      // 2487
    Append(junky, Frame(b));      // 2904, followed by another stream's frame
    Append(junky, Frame(other));
    const auto j = Walk(junky);
    ASSERT_TRUE(j);
    EXPECT_EQ(j->offsets, (std::vector<int64_t>{6, 423, 850, 1268, 2070, 2487, 2904}));

    // An Info frame ahead of the audio is the tag, not a frame.
    Bytes tagged = InfoFrame(0x0F, "LAME3.100", {0x24, 0x04, 0xEC});
    Append(tagged, whole);
    const auto t = Walk(tagged);
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->tag);
    EXPECT_EQ(t->offsets.size(), 5u);
    EXPECT_EQ(t->offsets.front(), 417);

    // Nothing but junk, or a single frame cut short: no stream.
    EXPECT_FALSE(Walk(Bytes(5000, 0xFF)));
    EXPECT_FALSE(Walk(Bytes(cutFrame.begin(), cutFrame.begin() + 300)));
}

Bytes Frames(std::array<uint8_t, 4> header, int n) {
    Bytes frames;
    for (int i = 0; i < n; ++i) {
        Append(frames, Frame(header));
    }
    return frames;
}

TEST(Mp3Walk, TheSearchTheCountAndTheIndexAreBoundedWhateverTheFileHolds) {
    const std::array<uint8_t, 4> a = {0xFF, 0xFB, 0x90, 0x00};  // 417 bytes
    auto read = [](const Bytes& bytes, int64_t maxFrames = 0) {
        MemoryFileBytes file(bytes);
        return ReadMp3Frames(file, 0, static_cast<int64_t>(bytes.size()), maxFrames);
    };
    // A gap between frames is searched through up to kMaxMp3Skip bytes; past that the frames
    // end there, and noise that long in front of them leaves none.
    for (const int64_t gap : {int64_t{100'000}, kMaxMp3Skip - 8, kMaxMp3Skip + 1000}) {
        SCOPED_TRACE(gap);
        Bytes gapped = Frames(a, 5);
        gapped.resize(gapped.size() + static_cast<size_t>(gap), 0x55);
        Append(gapped, Frames(a, 5));
        const auto frames = read(gapped);
        ASSERT_TRUE(frames);
        EXPECT_EQ(frames->frames, gap < kMaxMp3Skip ? 10 : 5);
        Bytes noisy(static_cast<size_t>(gap), 0x55);
        Append(noisy, Frames(a, 5));
        EXPECT_EQ(read(noisy).has_value(), gap < kMaxMp3Skip);
    }

    // No more frames are counted than asked for; one checkpoint is kept per 64 frames, and the
    // index finds every frame from them, in any order.
    const Bytes many = Frames(a, 300);
    const auto capped = read(many, 100);
    ASSERT_TRUE(capped);
    EXPECT_EQ(capped->frames, 100);
    EXPECT_EQ(capped->checkpoints, (std::vector<int64_t>{0, 64 * 417}));
    const auto all = read(many);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->counted);
    EXPECT_EQ(all->frames, 300);
    EXPECT_EQ(all->walked, 300);
    EXPECT_EQ(all->checkpoints.size(), 5u);
    MemoryFileBytes file(many);
    Mp3Index index(file, *all);
    for (const int64_t i : {299, 65, 0, 64, 63, 200, 201, 128}) {
        EXPECT_EQ(index.Offset(i), i * 417) << i;
    }
    EXPECT_EQ(index.Offset(300), std::nullopt);
    EXPECT_EQ(index.Checkpoints(), 5u);
    EXPECT_FALSE(index.Failed());
}

// An Info frame whose frames and bytes fields are given, then n audio frames.
Bytes CountedStream(uint32_t flags, uint32_t frames, uint32_t bytes, int n) {
    Bytes info = InfoFrame(flags, "LAME3.100", {0x24, 0x04, 0xEC});
    for (int i = 0; i < 4; ++i) {
        info[44 + static_cast<size_t>(i)] = static_cast<uint8_t>(frames >> (24 - 8 * i));
        if (flags & 2) {
            info[48 + static_cast<size_t>(i)] = static_cast<uint8_t>(bytes >> (24 - 8 * i));
        }
    }
    Append(info, Frames({0xFF, 0xFB, 0x90, 0x00}, n));
    return info;
}

TEST(Mp3Walk, AXingCountIsTakenUnwalkedUnlessTheDataCannotHoldIt) {
    struct Row {
        const char* what;
        uint32_t flags, frames, bytes;
        int present;
        int64_t expected;
        bool counted;
    };
    const Row rows[] = {
        {"count and bytes agree", 3, 300, 301 * 417, 300, 300, false},
        {"a count without bytes", 1, 300, 0, 300, 300, false},
        {"cut short of its bytes", 3, 300, 301 * 417, 200, 200, true},
        {"more than the data holds", 1, 100'000, 0, 300, 300, true},
        {"no count", 2, 0, 301 * 417, 300, 300, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const Bytes bytes = CountedStream(r.flags, r.frames, r.bytes, r.present);
        MemoryFileBytes file(bytes);
        const auto frames = ReadMp3Frames(file, 0, static_cast<int64_t>(bytes.size()));
        ASSERT_TRUE(frames);
        EXPECT_EQ(frames->frames, r.expected);
        EXPECT_EQ(frames->counted, r.counted);
        EXPECT_EQ(frames->walked, r.counted ? r.expected : 1);
        Mp3Index index(file, *frames);
        EXPECT_EQ(index.Offset(r.expected - 1), 417 * r.expected);
        EXPECT_EQ(index.Walked(), r.expected);
        EXPECT_EQ(index.Checkpoints(), static_cast<size_t>((r.expected + 63) / 64));
    }

    // A count the frames fall short of: the index finds none past them, and the stream plays
    // the rest as silence rather than failing.
    const Bytes shortOfCount = mp3media::Wrap(CountedStream(1, 400, 0, 300));
    OmaStream::Opened opened = OmaStream::Open(std::make_unique<MemoryFileBytes>(shortOfCount));
    ASSERT_TRUE(opened.stream);
    EXPECT_EQ(opened.stream->Info().frames, 400);
    std::vector<uint8_t> served(static_cast<size_t>(opened.stream->Size()), 0xAA);
    EXPECT_EQ(opened.stream->Read(0, served.data(), static_cast<int32_t>(served.size())),
              static_cast<int32_t>(served.size()));
    EXPECT_TRUE(std::all_of(served.end() - 4 * 50 * 1152, served.end(), [](uint8_t b) { return b == 0; }));
}

TEST(Mp3InOma, TheReaderTakesRateChannelsAndLengthFromTheFrames) {
    // 10 frames of 417 or 418 bytes behind a header whose parameters say nothing.
    Bytes frames;
    for (int i = 0; i < 10; ++i) {
        Append(frames, Frame(i % 3 ? std::array<uint8_t, 4>{0xFF, 0xFB, 0x90, 0xC0}
                                   : std::array<uint8_t, 4>{0xFF, 0xFB, 0x92, 0xC0}));
    }
    Bytes oma = mp3media::Wrap(frames);
    MemoryFileBytes file(oma);
    const OmaRead read = ReadOma(file);
    ASSERT_EQ(read.status, OmaStatus::Ok);
    EXPECT_EQ(read.info.codec, OmaCodec::Mp3);
    EXPECT_EQ(read.info.sampleRate, 44100);
    EXPECT_EQ(read.info.channels, 1);
    EXPECT_EQ(read.info.frames, 10);
    EXPECT_EQ(read.info.samplesPerFrame, 1152);
    EXPECT_EQ(read.info.samples, 10 * 1152 - 529);  // no LAME header: the decoder's delay only
    EXPECT_EQ(read.info.delay, 529);
    EXPECT_EQ(read.info.dataOffset, 96);
    EXPECT_EQ(read.info.frameSize, 417);  // 4174 bytes over 10 frames
    // 4174 x 8 x 44100 / (10 x 1152) = 127828.75 b/s.
    EXPECT_EQ(read.info.bitRate, 127829);

    // With a LAME header: its delay and padding; an encrypted file is not walked.
    Bytes tagged = InfoFrame(0x0F, "LAME3.100", {0x24, 0x00, 0x40}, 17);
    tagged[3] = 0xC0;  // mono, so the tag sits behind 17 bytes of side information
    Append(tagged, frames);
    Bytes taggedOma = mp3media::Wrap(tagged);
    MemoryFileBytes taggedFile(taggedOma);
    const OmaRead withLame = ReadOma(taggedFile);
    ASSERT_EQ(withLame.status, OmaStatus::Ok);
    EXPECT_EQ(withLame.info.frames, 10);
    EXPECT_EQ(withLame.info.delay, 576 + 529);
    EXPECT_EQ(withLame.info.samples, 10 * 1152 - 576 - 64);

    // A TLEN caps the length as for ATRAC: 100 ms at 44.1 kHz.
    const Bytes tlen = omabytes::Frame3("TLEN", omabytes::Latin1(0, "100"));
    Bytes cappedOma = omabytes::Tag(3, 0, {0, 0, 0, static_cast<uint8_t>(tlen.size())}, tlen);
    Append(cappedOma, taggedOma);
    MemoryFileBytes cappedFile(cappedOma);
    const OmaRead capped = ReadOma(cappedFile);
    ASSERT_EQ(capped.status, OmaStatus::Ok);
    EXPECT_EQ(capped.info.samples, 4410);
    EXPECT_EQ(capped.info.delay, 576 + 529);

    Bytes locked = mp3media::Wrap(frames, 0x0001);
    MemoryFileBytes lockedFile(locked);
    EXPECT_EQ(ReadOma(lockedFile).status, OmaStatus::Encrypted);
}

TEST(Mp3InOma, WithoutSse2OnlyTheDecodersThatNeedNoFfmpegOpen) {
    Bytes frames;
    for (int i = 0; i < 4; ++i) {
        Append(frames, Frame({0xFF, 0xFB, 0x90, 0x00}));  // silence: no side information, no data
    }
    const Bytes mp3 = mp3media::Wrap(frames);
    Bytes lpcm = omabytes::Header(4, 0);
    lpcm.resize(lpcm.size() + 4 * 1024, 0);
    struct Row {
        bool sse2;
        OmaStatus mp3, lpcm;
    };
    for (const Row& r : {Row{true, OmaStatus::Ok, OmaStatus::Ok}, Row{false, OmaStatus::NeedsSse2, OmaStatus::Ok}}) {
        SCOPED_TRACE(r.sse2);
        OverrideCpuHasSse2(r.sse2);
        const OmaStream::Opened a = OmaStream::Open(std::make_unique<MemoryFileBytes>(mp3));
        const OmaStream::Opened b = OmaStream::Open(std::make_unique<MemoryFileBytes>(lpcm));
        OverrideCpuHasSse2(std::nullopt);
        EXPECT_EQ(a.status, r.mp3);
        EXPECT_EQ(a.stream != nullptr, r.mp3 == OmaStatus::Ok);
        EXPECT_EQ(b.status, r.lpcm);
        EXPECT_TRUE(b.stream);
    }
}

// ---- Real encodes against the reference decoder ------------------------------------------------

struct Encode {
    const char* name;
    int32_t rate, channels;
    std::string options;
    bool lame;  // written with a LAME-style header
};

int16_t SampleAt(const std::vector<uint8_t>& served, int64_t index) {
    const auto at = static_cast<size_t>(kWavHeaderSize + index * 2);
    return static_cast<int16_t>(static_cast<uint16_t>(served[at] | served[at + 1] << 8));
}

// Served samples [first, first + count) (interleaved) against the reference shifted by skip.
int Mismatches(const std::vector<uint8_t>& served,
               const std::vector<int16_t>& ref,
               int64_t skip,
               int64_t first,
               int64_t count) {
    int bad = 0;
    for (int64_t i = first; i < first + count; ++i) {
        const int64_t r = i + skip;
        const int32_t expected = r < static_cast<int64_t>(ref.size()) ? ref[static_cast<size_t>(r)] : 0;
        if (std::abs(SampleAt(served, i) - expected) > 1 && ++bad <= 3) {
            ADD_FAILURE() << "sample " << i << ": " << SampleAt(served, i) << ", reference " << expected;
        }
    }
    return bad;
}

TEST(Mp3InOma, RealEncodesPlayAsFfmpegDecodesThePlainFile) {
    if (!reference::HaveFfmpeg()) {
        GTEST_SKIP() << "needs Debian's ffmpeg";
    }
    const Encode encodes[] = {
        {"cbr128", 44100, 2, "-b:a 128k", true},
        {"vbr", 44100, 2, "-q:a 4", true},
        {"mono48k", 48000, 1, "-ar 48000 -b:a 96k", true},
        {"lsf22k", 22050, 2, "-ar 22050 -b:a 48k", true},
        {"noxing", 44100, 2, "-b:a 128k -write_xing 0", false},
    };
    std::mt19937 random(7);
    for (const Encode& e : encodes) {
        SCOPED_TRACE(e.name);
        const mp3media::Made made = mp3media::Make(e.name, e.rate, e.channels, 4, e.options);
        ASSERT_FALSE(made.mp3.empty());
        const auto ref = reference::FfmpegDecode(made.mp3);
        ASSERT_TRUE(ref);
        const int64_t frames = static_cast<int64_t>(mp3media::FrameOffsets(made.mp3).size());

        OmaStream::Opened opened = OmaStream::Open(std::make_unique<MemoryFileBytes>(made.oma));
        ASSERT_TRUE(opened.stream) << static_cast<int>(opened.status);
        OmaStream& stream = *opened.stream;
        const OmaInfo& info = stream.Info();
        EXPECT_EQ(info.sampleRate, e.rate);
        EXPECT_EQ(info.channels, e.channels);
        if (e.lame) {
            // The encoder's input, within one sample; ffmpeg trims to the same.
            EXPECT_LE(std::abs(info.samples - made.inputSamples), 1);
        } else {
            EXPECT_EQ(info.samples, frames * info.samplesPerFrame - 529);
        }
        // ffprobe's packets leave the Info frame out, as it holds no audio.
        EXPECT_EQ(info.frames, frames);
        // ffmpeg trims a LAME-headed file itself; without one its output keeps the 529.
        const int64_t skip = e.lame ? 0 : int64_t{529} * e.channels;
        const int64_t total = info.samples * e.channels;

        std::vector<uint8_t> served(static_cast<size_t>(stream.Size()));
        for (int64_t at = 0; at < stream.Size();) {
            const int32_t n = stream.Read(at, served.data() + at, 7001);  // odd: frames split anywhere
            ASSERT_GT(n, 0);
            at += n;
        }
        EXPECT_EQ(Mismatches(served, *ref, skip, 0, total), 0);

        // Random seeks, each read from a fresh position: the sample it lands on is exact.
        std::uniform_int_distribution<int64_t> place(0, info.samples - 1);
        for (int i = 0; i < 20; ++i) {
            const int64_t sample = place(random);
            std::vector<uint8_t> piece(static_cast<size_t>(kWavHeaderSize + 2000 * 2), 0);
            const int64_t offset = kWavHeaderSize + sample * 2 * e.channels;
            const int32_t n = stream.Read(offset, piece.data() + kWavHeaderSize, 4000);
            ASSERT_GT(n, 0);
            const int64_t count = std::min<int64_t>(n / 2, total - sample * e.channels);
            std::vector<uint8_t> shifted(piece);
            int bad = 0;
            for (int64_t k = 0; k < count; ++k) {
                const int64_t r = sample * e.channels + k + skip;
                const int32_t expected = r < static_cast<int64_t>(ref->size()) ? (*ref)[static_cast<size_t>(r)] : 0;
                if (std::abs(SampleAt(piece, k) - expected) > 1) {
                    ++bad;
                }
            }
            EXPECT_EQ(bad, 0) << "after a seek to sample " << sample;
        }
    }
}

// Low bit rates fill the bit reservoir most: a frame's main data reaches back over several
// frames, so a seek must decode from far enough back in main-data bytes, not whole frames.
TEST(Mp3InOma, EverySeekAtLowBitRatesLandsOnWhatContinuousDecodingGives) {
    if (!reference::HaveFfmpeg()) {
        GTEST_SKIP() << "needs Debian's ffmpeg";
    }
    const Encode encodes[] = {
        {"cbr32", 44100, 2, "-b:a 32k", true},
        {"vbr9", 44100, 2, "-q:a 9", true},
        {"lsf16", 22050, 2, "-ar 22050 -b:a 16k", true},  // MPEG-2: a reservoir of 255 bytes
    };
    std::mt19937 random(21);
    for (const Encode& e : encodes) {
        SCOPED_TRACE(e.name);
        const mp3media::Made made = mp3media::Make(e.name, e.rate, e.channels, 8, e.options);
        ASSERT_FALSE(made.mp3.empty());
        OmaStream::Opened opened = OmaStream::Open(std::make_unique<MemoryFileBytes>(made.oma));
        ASSERT_TRUE(opened.stream) << static_cast<int>(opened.status);
        OmaStream& stream = *opened.stream;
        const int64_t blockAlign = 2 * e.channels;
        std::vector<uint8_t> continuous(static_cast<size_t>(stream.Size()));
        ASSERT_EQ(stream.Read(0, continuous.data(), static_cast<int32_t>(continuous.size())),
                  static_cast<int32_t>(continuous.size()));

        // Two frames' samples after each of 200 seek points, anywhere in the file.
        const int64_t samples = stream.Info().samples;
        const int64_t span = 2 * stream.Info().samplesPerFrame;
        std::uniform_int_distribution<int64_t> place(0, samples - 1);
        int wrong = 0;
        for (int i = 0; i < 200; ++i) {
            const int64_t sample = place(random);
            const int64_t offset = kWavHeaderSize + sample * blockAlign;
            const auto length = static_cast<int32_t>(std::min(span, samples - sample) * blockAlign);
            std::vector<uint8_t> piece(static_cast<size_t>(length));
            ASSERT_EQ(stream.Read(offset, piece.data(), length), length);
            if (!std::equal(piece.begin(), piece.end(), continuous.begin() + offset)) {
                ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0) << "of 200 seek points";

        // The extended read's seeks go the same way.
        auto reader = PcmReader::Open(std::make_unique<MemoryFileBytes>(made.oma));
        ASSERT_TRUE(reader);
        std::uniform_int_distribution<int64_t> ms(0, samples * 1000 / e.rate - 1);
        for (int i = 0; i < 20; ++i) {
            const int64_t at = ms(random);
            reader->SeekMs(at);
            const int64_t offset = kWavHeaderSize + at * e.rate / 1000 * blockAlign;
            const auto length = std::min<int64_t>(span * blockAlign, stream.Size() - offset);
            std::vector<uint8_t> piece(static_cast<size_t>(length));
            ASSERT_EQ(reader->Read(piece.data(), piece.size(), [] { return true; }), length);
            EXPECT_TRUE(std::equal(piece.begin(), piece.end(), continuous.begin() + offset)) << "at " << at << " ms";
        }
    }
}

TEST(Mp3InOma, JunkBetweenFramesIsSkipped) {
    if (!reference::HaveFfmpeg()) {
        GTEST_SKIP() << "needs Debian's ffmpeg";
    }
    const mp3media::Made made = mp3media::Make("junk", 44100, 2, 3, "-b:a 128k");
    ASSERT_FALSE(made.mp3.empty());
    const auto ref = reference::FfmpegDecode(made.mp3);
    ASSERT_TRUE(ref);
    const std::vector<int64_t> offsets = mp3media::FrameOffsets(made.mp3);
    ASSERT_GT(offsets.size(), 40u);
    // Junk after the Info frame and before audio frames 10 and 30: text, zeros, a sync word.
    const Bytes mp3 = reference::FileContents(made.mp3);
    const Bytes junk = {'J', 'U', 'N', 'K', 0, 0, 0, 0xFF, 0xFB, 0x90, 'x', 'y', 'z'};
    Bytes spliced;
    size_t from = 0;
    for (const size_t frame : {size_t{0}, size_t{10}, size_t{30}}) {
        const auto cut = static_cast<size_t>(offsets[frame]);
        spliced.insert(spliced.end(), mp3.begin() + static_cast<ptrdiff_t>(from),
                       mp3.begin() + static_cast<ptrdiff_t>(cut));
        Append(spliced, junk);
        from = cut;
    }
    spliced.insert(spliced.end(), mp3.begin() + static_cast<ptrdiff_t>(from), mp3.end());

    const Bytes oma = mp3media::Wrap(spliced);
    OmaStream::Opened opened = OmaStream::Open(std::make_unique<MemoryFileBytes>(oma));
    ASSERT_TRUE(opened.stream);
    OmaStream& stream = *opened.stream;
    EXPECT_EQ(stream.Info().frames, static_cast<int64_t>(offsets.size()));
    EXPECT_LE(std::abs(stream.Info().samples - made.inputSamples), 1);
    std::vector<uint8_t> served(static_cast<size_t>(stream.Size()));
    ASSERT_EQ(stream.Read(0, served.data(), static_cast<int32_t>(served.size())), static_cast<int32_t>(served.size()));
    EXPECT_EQ(Mismatches(served, *ref, 0, 0, stream.Info().samples * 2), 0);
}

TEST(Mp3InOma, TheExtendedReadServesItFromAnyMillisecond) {
    if (!reference::HaveFfmpeg()) {
        GTEST_SKIP() << "needs Debian's ffmpeg";
    }
    const mp3media::Made made = mp3media::Make("extended", 44100, 2, 3, "-q:a 2");
    ASSERT_FALSE(made.mp3.empty());
    const auto ref = reference::FfmpegDecode(made.mp3);
    ASSERT_TRUE(ref);
    OmaStatus status = OmaStatus::NotOma;
    auto reader = PcmReader::Open(std::make_unique<MemoryFileBytes>(made.oma), &status);
    ASSERT_TRUE(reader) << static_cast<int>(status);
    EXPECT_EQ(reader->Bytes(), made.inputSamples * 4);
    for (const int64_t ms : {2500, 10, 1234}) {
        SCOPED_TRACE(ms);
        reader->SeekMs(ms);
        std::vector<uint8_t> pcm(kWavHeaderSize + 4000, 0);
        ASSERT_EQ(reader->Read(pcm.data() + kWavHeaderSize, 4000, [] { return true; }), 4000);
        // ms x 44.1 samples in, two channels each.
        EXPECT_EQ(Mismatches(pcm, *ref, ms * 441 / 10 * 2, 0, 2000), 0);
    }
}

}  // namespace
