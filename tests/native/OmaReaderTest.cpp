#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "oma/OmaFile.h"
#include "tests/native/OmaBytes.h"

namespace {

using namespace omabytes;

constexpr uint32_t kLp2 = 0x002030;   // ATRAC3, 384-byte frames, 44.1 kHz
constexpr uint32_t kPlus = 0x0028FF;  // ATRAC3plus, 2048-byte frames, stereo, 44.1 kHz

OmaRead Read(const Bytes& bytes) {
    MemoryFileBytes file(bytes);
    return ReadOma(file);
}

Bytes WithFrames(Bytes file, int64_t frameBytes) {
    file.resize(file.size() + static_cast<size_t>(frameBytes), 0x5A);
    return file;
}

struct ParamsRow {
    uint8_t codec;
    uint32_t params;
    OmaStatus status;
    OmaCodec kind;
    int32_t frameSize;
    int32_t sampleRate;
    int32_t channels;
    bool jointStereo;
};

TEST(OmaHeader, ReadsEachCodecsParameters) {
    const ParamsRow rows[] = {
        {0, 0x002030, OmaStatus::Ok, OmaCodec::Atrac3, 384, 44100, 2, false},
        {0, 0x022018, OmaStatus::Ok, OmaCodec::Atrac3, 192, 44100, 2, true},
        {0, 0x002018, OmaStatus::Ok, OmaCodec::Atrac3, 192, 44100, 2, false},
        {0, 0x002026, OmaStatus::Ok, OmaCodec::Atrac3, 304, 44100, 2, false},
        {0, 0x000030, OmaStatus::Ok, OmaCodec::Atrac3, 384, 32000, 2, false},
        {0, 0x004030, OmaStatus::Ok, OmaCodec::Atrac3, 384, 48000, 2, false},
        {1, 0x0028FF, OmaStatus::Ok, OmaCodec::Atrac3Plus, 2048, 44100, 2, false},
        {1, 0x0024FF, OmaStatus::Ok, OmaCodec::Atrac3Plus, 2048, 44100, 1, false},
        {1, 0x00285D, OmaStatus::Ok, OmaCodec::Atrac3Plus, 752, 44100, 2, false},
        {4, 0x000000, OmaStatus::Ok, OmaCodec::Lpcm, 1024, 44100, 2, false},
        // ATRAC3 at the other sizes encoders write: 94 kb/s joint stereo, 146, 176, 265, 353 kb/s.
        {0, 0x022022, OmaStatus::Ok, OmaCodec::Atrac3, 272, 44100, 2, true},
        {0, 0x002035, OmaStatus::Ok, OmaCodec::Atrac3, 424, 44100, 2, false},
        {0, 0x002040, OmaStatus::Ok, OmaCodec::Atrac3, 512, 44100, 2, false},
        {0, 0x002060, OmaStatus::Ok, OmaCodec::Atrac3, 768, 44100, 2, false},
        {0, 0x002080, OmaStatus::Ok, OmaCodec::Atrac3, 1024, 44100, 2, false},
        {0, 0x002200, OmaStatus::Ok, OmaCodec::Atrac3, 4096, 44100, 2, false},
        // Frame sizes no ATRAC3 decoder sets itself up for, and rates and channel ids no encoder
        // writes.
        {0, 0x002000, OmaStatus::BadParameters, OmaCodec::Atrac3, 0, 44100, 2, false},
        {0, 0x002201, OmaStatus::BadParameters, OmaCodec::Atrac3, 4104, 44100, 2, false},
        {0, 0x0023FF, OmaStatus::BadParameters, OmaCodec::Atrac3, 8184, 44100, 2, false},
        {0, 0x00A030, OmaStatus::BadParameters, OmaCodec::Atrac3, 384, 0, 2, false},
        {1, 0x0020FF, OmaStatus::BadParameters, OmaCodec::Atrac3Plus, 2048, 44100, 0, false},
        {1, 0x002CFF, OmaStatus::BadParameters, OmaCodec::Atrac3Plus, 2048, 44100, 3, false},
        {1, 0x00E8FF, OmaStatus::BadParameters, OmaCodec::Atrac3Plus, 2048, 0, 2, false},
    };
    for (const ParamsRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "codec " << int{row.codec} << " params " << std::hex << row.params);
        const OmaRead read = Read(WithFrames(Header(row.codec, row.params), 3 * 8192 + 5));
        EXPECT_EQ(read.status, row.status);
        EXPECT_EQ(read.info.codec, row.kind);
        EXPECT_EQ(read.info.frameSize, row.frameSize);
        EXPECT_EQ(read.info.sampleRate, row.sampleRate);
        EXPECT_EQ(read.info.channels, row.channels);
        EXPECT_EQ(read.info.jointStereo, row.jointStereo);
        EXPECT_EQ(read.info.dataOffset, 96);
    }
}

TEST(OmaHeader, RecognisesCodecsItDoesNotServe) {
    const std::pair<uint8_t, OmaCodec> rows[] = {
        {5, OmaCodec::Wma},     {33, OmaCodec::Atrac3PlusLossless}, {34, OmaCodec::Atrac3Lossless},
        {2, OmaCodec::Unknown}, {0xFF, OmaCodec::Unknown},
    };
    for (const auto& [id, kind] : rows) {
        SCOPED_TRACE(int{id});
        const OmaRead read = Read(WithFrames(Header(id, kLp2), 4096));
        EXPECT_EQ(read.status, OmaStatus::UnsupportedCodec);
        EXPECT_EQ(read.info.codec, kind);
        EXPECT_EQ(read.info.codecId, id);
    }
}

TEST(OmaHeader, EncryptedUnlessTheIdIsOneOfTheTwoPlainOnes) {
    const std::pair<uint16_t, OmaStatus> rows[] = {
        {0xFFFF, OmaStatus::Ok},        {0xFF80, OmaStatus::Ok},        {0x0001, OmaStatus::Encrypted},
        {0x0000, OmaStatus::Encrypted}, {0xFFFE, OmaStatus::Encrypted}, {0xFF7F, OmaStatus::Encrypted},
        {0x7FFF, OmaStatus::Encrypted}, {0x80FF, OmaStatus::Encrypted}, {0xFF00, OmaStatus::Encrypted},
    };
    for (const auto& [id, status] : rows) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Read(WithFrames(Header(0, kLp2, id), 384 * 4)).status, status);
        // An encrypted file is refused before its codec is looked at.
        EXPECT_EQ(Read(WithFrames(Header(5, 0, id), 384 * 4)).status,
                  status == OmaStatus::Ok ? OmaStatus::UnsupportedCodec : status);
    }
}

struct LengthRow {
    uint8_t codec;
    uint32_t params;
    int64_t dataBytes;  // after the header
    OmaStatus status;
    int64_t frames;
    int64_t samples;
};

TEST(OmaLength, WholeFramesTimesSamplesLessTheDelay) {
    const LengthRow rows[] = {
        {0, kLp2, 432 * 384, OmaStatus::Ok, 432, 441206},
        {0, kLp2, 432 * 384 - 1, OmaStatus::Ok, 431, 440182},  // a cut file: its whole frames
        {0, kLp2, 431 * 384 + 383, OmaStatus::Ok, 431, 440182},
        {0, kLp2, 2 * 384, OmaStatus::Ok, 2, 886},
        {0, kLp2, 384 + 383, OmaStatus::Ok, 1, 0},  // one frame is all delay: a file of no length
        {0, kLp2, 383, OmaStatus::NoFrames, 0, 0},
        {0, kLp2, 0, OmaStatus::NoFrames, 0, 0},
        {1, kPlus, 216 * 2048, OmaStatus::Ok, 216, 437904},
        {1, kPlus, 3 * 2048, OmaStatus::Ok, 3, 1680},
        {1, kPlus, 2 * 2048 + 100, OmaStatus::Ok, 2, 0},  // 4096 samples, 4464 of delay
        {1, kPlus, 2047, OmaStatus::NoFrames, 0, 0},
        {0, 0x002022, 135 * 272, OmaStatus::Ok, 135, 137078},
        {0, 0x002080, 10 * 1024 + 1023, OmaStatus::Ok, 10, 9078},
        // LPCM counts whole samples of four bytes, not frames of 1024.
        {4, 0, 10 * 1024 + 1000, OmaStatus::Ok, 11, 2810},
        {4, 0, 10 * 1024 + 1003, OmaStatus::Ok, 11, 2810},
        {4, 0, 10 * 1024, OmaStatus::Ok, 10, 2560},
        {4, 0, 4, OmaStatus::Ok, 1, 1},
        {4, 0, 3, OmaStatus::NoFrames, 0, 0},
    };
    for (const LengthRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "codec " << int{row.codec} << ", " << row.dataBytes << " bytes");
        const OmaRead read = Read(WithFrames(Header(row.codec, row.params), row.dataBytes));
        EXPECT_EQ(read.status, row.status);
        EXPECT_EQ(read.info.frames, row.frames);
        EXPECT_EQ(read.info.samples, row.samples);
    }
}

// A file too long for a RIFF size: only the front is real, the rest reads as zeros.
class SparseFile final : public FileBytes {
public:
    SparseFile(Bytes front, int64_t size) : front_(std::move(front)), size_(size) {}
    int64_t Size() const override { return size_; }
    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        if (offset < 0 || length < 0 || offset + length > size_) {
            return false;
        }
        for (int32_t i = 0; i < length; ++i) {
            const int64_t at = offset + i;
            out[i] = at < static_cast<int64_t>(front_.size()) ? front_[static_cast<size_t>(at)] : 0;
        }
        return true;
    }

private:
    Bytes front_;
    int64_t size_;
};

TEST(OmaLength, StopsWhereTheWavSizesCanNoLongerCount) {
    // 3 GB of 192-byte frames decode to about 16e9 samples; a RIFF size counts
    // (2^32 - 1 - 36) / 4 = 1073741814 stereo samples.
    SparseFile file(Header(0, 0x022018), 96 + int64_t{3'000'000'000});
    const OmaRead read = ReadOma(file);
    EXPECT_EQ(read.status, OmaStatus::Ok);
    EXPECT_EQ(read.info.frames, 15'625'000);
    EXPECT_EQ(read.info.samples, 1'073'741'814);

    // Mono stops there too, though its RIFF sizes could count twice as many samples.
    SparseFile mono(Header(1, 0x002417), 96 + int64_t{3'000'000'000});
    const OmaRead monoRead = ReadOma(mono);
    EXPECT_EQ(monoRead.status, OmaStatus::Ok);
    EXPECT_EQ(monoRead.info.channels, 1);
    EXPECT_EQ(monoRead.info.samples, 1'073'741'814);
}

TEST(OmaFront, NotOmaTruncatedOrCut) {
    const Bytes header = Header(0, kLp2);
    const Bytes cutHeader(header.begin(), header.begin() + 50);
    const Bytes magicOnly(header.begin(), header.begin() + 3);
    Bytes wrongSize = header;
    wrongSize[5] = 0x50;
    Bytes wrongMagic = header;
    wrongMagic[2] = '4';
    const Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    Bytes tagThenNothing = Tag(3, 0, {0, 0, 0, 20}, Bytes(20, 0));
    Bytes tagThenJunk = tagThenNothing;
    Append(tagThenJunk, WithFrames(riff, 200));

    const std::pair<Bytes, OmaStatus> rows[] = {
        {{}, OmaStatus::NotOma},
        {riff, OmaStatus::NotOma},
        {WithFrames(riff, 500), OmaStatus::NotOma},
        {WithFrames(wrongSize, 384), OmaStatus::NotOma},
        {WithFrames(wrongMagic, 384), OmaStatus::NotOma},
        {cutHeader, OmaStatus::TruncatedHeader},
        {magicOnly, OmaStatus::TruncatedHeader},
        {tagThenNothing, OmaStatus::TruncatedHeader},
        {tagThenJunk, OmaStatus::NotOma},
        {{'e', 'a', '3', 3, 0}, OmaStatus::TagPastEnd},
    };
    int row = 0;
    for (const auto& [bytes, status] : rows) {
        SCOPED_TRACE(row++);
        EXPECT_EQ(Read(bytes).status, status);
    }
}

struct TagRow {
    const char* what;
    Bytes front;
    int64_t dataOffset;
};

TEST(OmaTags, SkipsTagBlocksBySyncsafeSizeAndFooter) {
    const TagRow rows[] = {
        // 0x01 0x48 syncsafe is 1 * 128 + 72 = 200, not 0x148.
        {"200-byte body", Tag(3, 0, {0, 0, 0x01, 0x48}, Bytes(200, 0)), 210 + 96},
        {"127-byte body", Tag(3, 0, {0, 0, 0, 0x7F}, Bytes(127, 0)), 137 + 96},
        {"128-byte body", Tag(3, 0, {0, 0, 0x01, 0x00}, Bytes(128, 0)), 138 + 96},
        {"16385-byte body", Tag(3, 0, {0, 0x01, 0x00, 0x01}, Bytes(16385, 0)), 16395 + 96},
        {"footer", Tag(4, 0x10, {0, 0, 0x01, 0x48}, Bytes(200, 0)), 220 + 96},
        {"three in a row",
         [] {
             Bytes b = Tag(3, 0, {0, 0, 0, 0x7F}, Bytes(127, 0));
             Append(b, Tag(3, 0, {0, 0, 0x01, 0x48}, Bytes(200, 0)));
             Append(b, Tag(4, 0x10, {0, 0, 0x01, 0x48}, Bytes(200, 0)));
             return b;
         }(),
         137 + 210 + 220 + 96},
    };
    for (const TagRow& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes file = row.front;
        Append(file, WithFrames(Header(0, kLp2), 432 * 384));
        const OmaRead read = Read(file);
        EXPECT_EQ(read.status, OmaStatus::Ok);
        EXPECT_EQ(read.info.dataOffset, row.dataOffset);
        EXPECT_EQ(read.info.frames, 432);
        EXPECT_EQ(read.info.tagLengthMs, -1);
    }
}

TEST(OmaTags, RefusesATagThatRunsPastTheEnd) {
    // The body is 200 bytes by its size, 150 in the file.
    Bytes cut = Tag(3, 0, {0, 0, 0x01, 0x48}, Bytes(150, 0));
    EXPECT_EQ(Read(cut).status, OmaStatus::TagPastEnd);
    // The largest syncsafe size in a file that has a header and frames after the tag.
    Bytes huge = Tag(3, 0, {0x7F, 0x7F, 0x7F, 0x7F}, Bytes(100, 0));
    Append(huge, WithFrames(Header(0, kLp2), 384 * 10));
    EXPECT_EQ(Read(huge).status, OmaStatus::TagPastEnd);
    // The footer's ten bytes count: the body fits, the footer does not.
    Bytes footerCut = TagHeader(4, 0x10, {0, 0, 0, 20});
    Append(footerCut, Bytes(25, 0));
    EXPECT_EQ(Read(footerCut).status, OmaStatus::TagPastEnd);
    // A size byte with its top bit set is not a tag, and the bytes are no header either.
    Bytes notSyncsafe = Tag(3, 0, {0, 0, 0, 0x80}, Bytes(128, 0));
    Append(notSyncsafe, WithFrames(Header(0, kLp2), 384 * 10));
    EXPECT_EQ(Read(notSyncsafe).status, OmaStatus::NotOma);
}

// A version 3 tag block holding the frames, with its syncsafe size spelled out here.
Bytes Tag3(const Bytes& frames, uint8_t flags = 0) {
    const auto n = static_cast<uint32_t>(frames.size());
    const uint8_t size[4] = {static_cast<uint8_t>(n >> 21 & 0x7F), static_cast<uint8_t>(n >> 14 & 0x7F),
                             static_cast<uint8_t>(n >> 7 & 0x7F), static_cast<uint8_t>(n & 0x7F)};
    return Tag(3, flags, size, frames);
}

int64_t LengthWith(const Bytes& front) {
    Bytes file = front;
    Append(file, WithFrames(Header(0, kLp2), 432 * 384));
    const OmaRead read = Read(file);
    EXPECT_EQ(read.status, OmaStatus::Ok);
    return read.info.samples;
}

struct TlenRow {
    const char* what;
    Bytes content;
    int64_t samples;
};

TEST(OmaTags, TlenEndsTheStreamInEveryTextEncoding) {
    // 432 frames: 442368 decoded, 441206 after the delay. 5000 ms at 44.1 kHz is 220500.
    const TlenRow rows[] = {
        {"Latin-1", Latin1(0, "5000"), 220500},
        {"UTF-8", Latin1(3, "5000"), 220500},
        {"UTF-16, little-endian mark", Utf16(1, {0xFF, 0xFE}, false, "5000"), 220500},
        {"UTF-16, big-endian mark", Utf16(1, {0xFE, 0xFF}, true, "5000"), 220500},
        {"UTF-16BE", Utf16(2, {}, true, "5000"), 220500},
        {"terminated",
         Latin1(0, std::string("5000\0"
                               "99",
                               7)),
         220500},
        // 10031 ms is 442367.1 samples: truncated, and above the delay rule's 441206.
        {"longer than the delay rule", Latin1(0, "10031"), 442367},
        {"longer than the frames", Latin1(0, "10032"), 442368},
        {"UTF-16 without a mark", Utf16(1, {}, false, "5000"), 441206},
        {"zero", Latin1(0, "0"), 441206},
        {"not a number", Latin1(0, "5 s"), 441206},
        {"empty", Latin1(0, ""), 441206},
        {"unknown encoding", Latin1(7, "5000"), 441206},
    };
    for (const TlenRow& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(LengthWith(Tag3(Frame3("TLEN", row.content))), row.samples);
    }
}

TEST(OmaTags, FindsTlenAmongFramesAndBlocks) {
    const Bytes tlen = Frame3("TLEN", Latin1(0, "5000"));
    // Version 3 frame sizes are plain: 200 is 00 00 00 C8, which syncsafe would refuse.
    Bytes v3 = Frame3("PRIV", Bytes(200, 1));
    Append(v3, tlen);
    EXPECT_EQ(LengthWith(Tag3(v3)), 220500);

    // Version 4 frame sizes are syncsafe: 200 is 00 00 01 48, which read plainly is 328.
    Bytes v4 = {'P', 'R', 'I', 'V', 0, 0, 0x01, 0x48, 0, 0};
    Append(v4, Bytes(200, 1));
    Append(v4, tlen);
    EXPECT_EQ(LengthWith(Tag(4, 0, {0, 0, 0x01, 0x61}, v4)), 220500);  // 210 + 15 = 225 = 0x01 0x61

    // In the second of two blocks.
    Bytes two = Tag3(Frame3("TIT2", Latin1(0, "title")));
    Append(two, Tag3(tlen));
    EXPECT_EQ(LengthWith(two), 220500);

    // After padding it is not a frame.
    Bytes padded = Bytes(10, 0);
    Append(padded, tlen);
    EXPECT_EQ(LengthWith(Tag3(padded)), 441206);

    // A whole-tag unsynchronised body: the mark FF FE is stored as FF 00 FE.
    const Bytes content = Utf16(1, {0xFF, 0xFE}, false, "5000");
    Bytes frame = Frame3("TLEN", content);
    Bytes unsynced;
    for (size_t i = 0; i < frame.size(); ++i) {
        unsynced.push_back(frame[i]);
        if (frame[i] == 0xFF) {
            unsynced.push_back(0x00);
        }
    }
    EXPECT_EQ(LengthWith(Tag3(unsynced, 0x80)), 220500);

    // A compressed TLEN is not read.
    EXPECT_EQ(LengthWith(Tag3(Frame3("TLEN", Latin1(0, "5000"), 0x80))), 441206);
}

// Counts the reads the reader makes.
class ReadCounter final : public FileBytes {
public:
    explicit ReadCounter(const Bytes& bytes) : file_(bytes) {}
    int64_t Size() const override { return file_.Size(); }
    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        ++reads;
        return file_.ReadAt(offset, out, length);
    }
    int64_t reads = 0;

private:
    MemoryFileBytes file_;
};

TEST(OmaTags, AFileOfTagBlocksIsRefusedAfterAFewDozenOfThem) {
    const Bytes empty = omabytes::Block(3, {});
    // n empty blocks, doubled up to the count: a byte at a time takes too long for 20 MB.
    auto blocks = [&](int n) {
        Bytes file;
        for (int i = 0; i < n; ++i) {
            if (2 * i <= n && i > 0) {
                file.insert(file.end(), file.begin(), file.end());
                i = 2 * i - 1;
            } else {
                Append(file, empty);
            }
        }
        Append(file, Header(0, 0x002030));
        file.resize(file.size() + 10 * 384, 0);
        return file;
    };
    // As many as a writer might put there still play.
    const Bytes mostBytes = blocks(kMaxTagBlocks);
    ReadCounter most(mostBytes);
    EXPECT_EQ(ReadOma(most).status, OmaStatus::Ok);
    // 20 MB of empty blocks (two million) cost no more reads than the bound allows.
    const Bytes bombBytes = blocks(1 << 21);
    ASSERT_EQ(bombBytes.size(), (size_t{10} << 21) + 96 + 10 * 384);
    ReadCounter bomb(bombBytes);
    EXPECT_EQ(ReadOma(bomb).status, OmaStatus::TooManyTags);
    EXPECT_LE(bomb.reads, 2 * kMaxTagBlocks + 2);
    const Bytes oneBytes = blocks(kMaxTagBlocks + 1);
    ReadCounter one(oneBytes);
    EXPECT_EQ(ReadOma(one).status, OmaStatus::TooManyTags);

    // The bytes read for text are bounded across blocks: past the budget the blocks are still
    // skipped by their sizes, their text unread, and the header behind them is found.
    const Bytes big = omabytes::Block(3, omabytes::Frame(3, "TIT2", Bytes((1 << 20) - 10, 'x')));
    Bytes file;
    for (int i = 0; i < 4; ++i) {
        Append(file, big);
    }
    Append(file, omabytes::Block(3, omabytes::Frame(3, "TPE1", omabytes::Latin1(0, "late"))));
    Append(file, Header(0, 0x002030));
    file.resize(file.size() + 10 * 384, 0);
    MemoryFileBytes bytes(file);
    const OmaRead read = ReadOma(bytes);
    EXPECT_EQ(read.status, OmaStatus::Ok);
    EXPECT_EQ(read.tags.Text(TagField::Artist), u"");
}

}  // namespace
