// The text frames of "ea3" tag blocks as the player's library reads them, in every ID3v2 version
// and text encoding, through ReadOma over whole files built byte by byte.
#include <gtest/gtest.h>

#include <string>

#include "oma/OmaFile.h"
#include "tests/native/OmaBytes.h"

namespace {

using omabytes::Append;
using omabytes::Block;
using omabytes::Bytes;
using omabytes::Frame;

// Tag blocks in front of a plain ATRAC3 LP2 header and ten frames.
OmaRead Read(const Bytes& tags) {
    Bytes file = tags;
    Append(file, omabytes::Header(0, 0x002030));
    file.resize(file.size() + 10 * 384, 0);
    MemoryFileBytes bytes(file);
    return ReadOma(bytes);
}

std::u16string Field(const Bytes& tags, TagField field) {
    return Read(tags).tags.Text(field);
}

Bytes Text(uint8_t encoding, const Bytes& bytes) {
    Bytes b{encoding};
    Append(b, bytes);
    return b;
}

Bytes Utf8(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// UTF-16 code units as bytes in the given order.
Bytes Units(const std::u16string& s, bool bigEndian) {
    Bytes b;
    for (char16_t u : s) {
        const auto hi = static_cast<uint8_t>(u >> 8), lo = static_cast<uint8_t>(u);
        Append(b, bigEndian ? Bytes{hi, lo} : Bytes{lo, hi});
    }
    return b;
}

const std::u16string kChinese = u"\u6D4B\u8BD5\u66F2\u76EE";  // 测试曲目
const std::u16string kJapanese = u"\u3053\u3093\u306B\u3061\u306F";
const std::u16string kKorean = u"\uD55C\uAD6D\uC5B4";
const std::u16string kBeyondBmp = u"\U0001F3B5x";  // a surrogate pair, then x

TEST(TagText, EveryEncodingGivesTheSameText) {
    struct Row {
        const char* what;
        Bytes content;
        std::u16string expected;
    };
    Bytes le = {0xFF, 0xFE};
    Append(le, Units(kChinese, false));
    Bytes be = {0xFE, 0xFF};
    Append(be, Units(kJapanese, true));
    const Row rows[] = {
        {"Latin-1 beyond ASCII", Text(0, {'C', 'a', 'f', 0xE9}), u"Caf\u00E9"},
        {"UTF-16 little-endian with its mark", Text(1, le), kChinese},
        {"UTF-16 big-endian with its mark", Text(1, be), kJapanese},
        {"UTF-16 big-endian without a mark", Text(2, Units(kKorean, true)), kKorean},
        {"UTF-8 in three-byte sequences", Text(3, Utf8("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4")), kKorean},
        {"UTF-8 beyond the basic plane", Text(3, Utf8("\xF0\x9F\x8E\xB5x")), kBeyondBmp},
        {"UTF-8 malformed: a lone continuation and a cut sequence",
         Text(3, Utf8("a\x80"
                      "b\xE6\xB5")),
         u"a\uFFFDb\uFFFD\uFFFD"},
        {"UTF-8 overlong", Text(3, Utf8("\xC0\xAF")), u"\uFFFD\uFFFD"},
    };
    for (const Row& row : rows) {
        for (int version : {2, 3, 4}) {
            const std::string id = version == 2 ? "TT2" : "TIT2";
            EXPECT_EQ(Field(Block(version, Frame(version, id, row.content)), TagField::Title), row.expected)
                << row.what << ", version " << version;
        }
    }
}

TEST(TagText, TerminatorsOddBytesAndEmptyFrames) {
    // A terminator ends the text; a second string (a version 4 list) is not part of the first.
    EXPECT_EQ(Field(Block(4, Frame(4, "TPE1", Text(3, Utf8(std::string("A\0B\0", 4))))), TagField::Artist), u"A");
    // No terminator at all.
    EXPECT_EQ(Field(Block(3, Frame(3, "TPE1", Text(0, Utf8("Artist")))), TagField::Artist), u"Artist");
    // An odd last byte of UTF-16 is dropped, not read past.
    Bytes odd = {0xFF, 0xFE, 'A', 0, 'B', 0, 'C'};
    EXPECT_EQ(Field(Block(3, Frame(3, "TALB", Text(1, odd))), TagField::Album), u"AB");
    // A UTF-16 terminator is two zero bytes on a unit boundary, not a zero byte inside a unit.
    Bytes units = {0xFF, 0xFE, 0x00, 0x4E, 0x00, 0x00, 'x', 0};
    EXPECT_EQ(Field(Block(3, Frame(3, "TALB", Text(1, units))), TagField::Album), u"\u4E00");
    // Empty frames, a frame with only its encoding byte, and an unknown encoding are fields the
    // tag lacks, and so is a field no frame gives.
    EXPECT_EQ(Field(Block(3, Frame(3, "TIT2", {})), TagField::Title), u"");
    EXPECT_EQ(Field(Block(3, Frame(3, "TIT2", {0})), TagField::Title), u"");
    EXPECT_EQ(Field(Block(3, Frame(3, "TIT2", Text(7, Utf8("x")))), TagField::Title), u"");
    EXPECT_EQ(Field(Block(3, Frame(3, "TIT2", Text(0, Utf8("T")))), TagField::Composer), u"");
}

TEST(TagText, EveryFieldByItsFramesInEachVersion) {
    struct Row {
        TagField field;
        const char* v2;
        const char* v3;
    };
    const Row rows[] = {
        {TagField::Title, "TT2", "TIT2"},       {TagField::Artist, "TP1", "TPE1"}, {TagField::Album, "TAL", "TALB"},
        {TagField::AlbumArtist, "TP2", "TPE2"}, {TagField::Genre, "TCO", "TCON"},  {TagField::Year, "TYE", "TYER"},
        {TagField::TrackNumber, "TRK", "TRCK"}, {TagField::Disc, "TPA", "TPOS"},   {TagField::Composer, "TCM", "TCOM"},
        {TagField::Publisher, "TPB", "TPUB"},   {TagField::Bpm, "TBP", "TBPM"},
    };
    for (const Row& row : rows) {
        for (int version : {2, 3, 4}) {
            Bytes body;
            // Every other field's frame too, so that a field read from the wrong frame shows.
            for (const Row& other : rows) {
                const std::string value = other.v3;
                Append(body, Frame(version, version == 2 ? other.v2 : other.v3, Text(0, Utf8(value))));
            }
            const std::string expected = row.v3;
            EXPECT_EQ(Field(Block(version, body), row.field), std::u16string(expected.begin(), expected.end()))
                << row.v3 << " version " << version;
        }
    }
    // Genre as stored, numeric reference and all.
    EXPECT_EQ(Field(Block(3, Frame(3, "TCON", Text(0, Utf8("(17)Rock")))), TagField::Genre), u"(17)Rock");
}

TEST(TagText, YearTrackAndCommentFallbacks) {
    // The year of a recording time, and TYER before TDRC whatever their order.
    EXPECT_EQ(Field(Block(4, Frame(4, "TDRC", Text(3, Utf8("2024-05-01T10:00")))), TagField::Year), u"2024");
    Bytes both = Frame(4, "TDRC", Text(3, Utf8("1999")));
    Append(both, Frame(4, "TYER", Text(3, Utf8("2001"))));
    EXPECT_EQ(Field(Block(4, both), TagField::Year), u"2001");
    EXPECT_EQ(Field(Block(4, Frame(4, "TDRC", Text(3, Utf8("20")))), TagField::Year), u"20");

    // The desktop library's own track number, only where there is no TRCK.
    Bytes txxx = Text(0, Utf8("OMG_TRACK"));
    Append(txxx, {0});
    Append(txxx, Utf8("7"));
    EXPECT_EQ(Field(Block(3, Frame(3, "TXXX", txxx)), TagField::TrackNumber), u"7");
    Bytes withTrck = Frame(3, "TXXX", txxx);
    Append(withTrck, Frame(3, "TRCK", Text(0, Utf8("3/12"))));
    EXPECT_EQ(Field(Block(3, withTrck), TagField::TrackNumber), u"3/12");
    Bytes otherTxxx = Text(0, Utf8("OMG_TRLDA"));
    Append(otherTxxx, {0, '9'});
    EXPECT_EQ(Field(Block(3, Frame(3, "TXXX", otherTxxx)), TagField::TrackNumber), u"");

    // A comment's text, not its language or description; one without a description first.
    auto comm = [](const std::string& description, const std::u16string& text) {
        Bytes c = {1, 'z', 'h', 'o', 0xFF, 0xFE};
        Append(c, Units(std::u16string(description.begin(), description.end()), false));
        Append(c, {0, 0, 0xFF, 0xFE});
        Append(c, Units(text, false));
        return c;
    };
    EXPECT_EQ(Field(Block(3, Frame(3, "COMM", comm("", kChinese))), TagField::Comment), kChinese);
    Bytes two = Frame(3, "COMM", comm("iTunNORM", u"0000"));
    Append(two, Frame(3, "COMM", comm("", u"mine")));
    EXPECT_EQ(Field(Block(3, two), TagField::Comment), u"mine");
    EXPECT_EQ(Field(Block(3, Frame(3, "COMM", comm("note", u"only"))), TagField::Comment), u"only");
    Bytes com2 = {0, 'e', 'n', 'g', 0};
    Append(com2, Utf8("v2 comment"));
    EXPECT_EQ(Field(Block(2, Frame(2, "COM", com2)), TagField::Comment), u"v2 comment");
}

TEST(TagText, ReplayGainFromDescribedFramesInAnyCase) {
    auto txxx = [](const std::string& description, const std::string& value) {
        Bytes c = Text(0, Utf8(description));
        Append(c, {0});
        Append(c, Utf8(value));
        return c;
    };
    Bytes body = Frame(3, "TXXX", txxx("REPLAYGAIN_TRACK_GAIN", "-6.54 dB"));
    Append(body, Frame(3, "TXXX", txxx("replaygain_track_peak", "0.988220215")));
    Append(body, Frame(3, "TXXX", txxx("ReplayGain_Album_Gain", "+1.20 dB")));
    Append(body, Frame(3, "TXXX", txxx("replaygain_album_peak_x", "9")));  // not the album peak
    const OmaRead read = Read(Block(3, body));
    EXPECT_EQ(read.tags.Text(TagField::ReplayGainTrackGain), u"-6.54 dB");
    EXPECT_EQ(read.tags.Text(TagField::ReplayGainTrackPeak), u"0.988220215");
    EXPECT_EQ(read.tags.Text(TagField::ReplayGainAlbumGain), u"+1.20 dB");
    EXPECT_EQ(read.tags.Text(TagField::ReplayGainAlbumPeak), u"");
    // v2.2's three-letter id, and the first block that holds a value keeps it.
    Bytes v2 = Block(2, Frame(2, "TXX", txxx("replaygain_album_peak", "0.5")));
    Append(v2, Block(3, Frame(3, "TXXX", txxx("replaygain_album_peak", "0.7"))));
    EXPECT_EQ(Field(v2, TagField::ReplayGainAlbumPeak), u"0.5");
}

TEST(TagText, SizesFlagsAndBlocks) {
    // Version 4 frame sizes are syncsafe: a 200-byte text is 0x01 0x48, not 0x00 0xC8.
    const std::string longTitle(200, 'x');
    Bytes body = Frame(4, "TIT2", Text(0, Utf8(longTitle)));
    Append(body, Frame(4, "TPE1", Text(0, Utf8("after"))));
    EXPECT_EQ(Field(Block(4, body), TagField::Artist), u"after");
    EXPECT_EQ(Field(Block(4, body), TagField::Title).size(), 200u);

    // A frame that runs past its block ends the walk; what came before stays.
    Bytes past = Frame(3, "TIT2", Text(0, Utf8("kept")));
    Bytes cut = Frame(3, "TPE1", Text(0, Utf8("lost")));
    cut[7] = 200;
    Append(past, cut);
    EXPECT_EQ(Field(Block(3, past), TagField::Title), u"kept");
    EXPECT_EQ(Field(Block(3, past), TagField::Artist), u"");

    // Unsynchronisation: 0xFF 0x00 stands for 0xFF, for the whole body before version 4 and per
    // frame (or for every frame, by the header's flag) in version 4.
    const Bytes stuffed = {1, 0xFF, 0x00, 0xFE, 'A', 0};  // UTF-16 LE "A" with its mark
    Bytes whole;  // version 3: the frame is written first, then the whole body is stuffed
    for (uint8_t b : Frame(3, "TIT2", {1, 0xFF, 0xFE, 'A', 0})) {
        whole.push_back(b);
        if (b == 0xFF) {
            whole.push_back(0);
        }
    }
    EXPECT_EQ(Field(Block(3, whole, 0x80), TagField::Title), u"A");
    EXPECT_EQ(Field(Block(4, Frame(4, "TIT2", stuffed, 0x02)), TagField::Title), u"A");
    EXPECT_EQ(Field(Block(4, Frame(4, "TIT2", stuffed), 0x80), TagField::Title), u"A");
    EXPECT_NE(Field(Block(4, Frame(4, "TIT2", stuffed)), TagField::Title), u"A");

    // Compressed frames are passed over; the next one is still read.
    Bytes compressed = Frame(3, "TIT2", Text(0, Utf8("zipped")), 0x80);
    Append(compressed, Frame(3, "TPE1", Text(0, Utf8("plain"))));
    EXPECT_EQ(Field(Block(3, compressed), TagField::Title), u"");
    EXPECT_EQ(Field(Block(3, compressed), TagField::Artist), u"plain");

    // Several blocks in a row: the first that holds a field gives it, the others fill the gaps,
    // and the header behind them is still found.
    Bytes blocks = Block(3, Frame(3, "TIT2", Text(0, Utf8("first"))));
    Bytes second = Frame(4, "TIT2", Text(3, Utf8("second")));
    Append(second, Frame(4, "TALB", Text(3, Utf8("album"))));
    Append(blocks, Block(4, second));
    const OmaRead read = Read(blocks);
    EXPECT_EQ(read.status, OmaStatus::Ok);
    EXPECT_EQ(read.tags.Text(TagField::Title), u"first");
    EXPECT_EQ(read.tags.Text(TagField::Album), u"album");
}

// Counts what the reader reads.
class CountingFile final : public FileBytes {
public:
    explicit CountingFile(const Bytes& bytes) : file_(bytes) {}
    int64_t Size() const override { return file_.Size(); }
    bool ReadAt(int64_t offset, uint8_t* out, int32_t length) override {
        ++reads;
        bytes += length;
        return file_.ReadAt(offset, out, length);
    }
    int64_t reads = 0;
    int64_t bytes = 0;

private:
    MemoryFileBytes file_;
};

TEST(TagText, TextAfterAPictureLargerThanTheWindowIsFoundWithoutReadingThePicture) {
    const Bytes picture(3 << 20, 0xAB);
    for (const int version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        const bool v2 = version == 2;
        Bytes body = Frame(version, v2 ? "TT2" : "TIT2", Text(0, Utf8("before")));
        Append(body, Frame(version, v2 ? "PIC" : "APIC", picture));
        Append(body, Frame(version, v2 ? "TP1" : "TPE1", Text(3, Utf8("after"))));
        Append(body, Frame(version, v2 ? "COM" : "COMM", Text(0, Bytes{'e', 'n', 'g', 0, 'n', 'o', 't', 'e'})));
        Append(body, Frame(version, v2 ? "TLE" : "TLEN", Text(0, Utf8("90"))));
        Bytes file = Block(version, body);
        Append(file, omabytes::Header(0, 0x002030));
        file.resize(file.size() + 10 * 384, 0);
        CountingFile counted(file);
        const OmaRead read = ReadOma(counted);
        EXPECT_EQ(read.status, OmaStatus::Ok);
        EXPECT_EQ(read.tags.Text(TagField::Title), u"before");
        EXPECT_EQ(read.tags.Text(TagField::Artist), u"after");
        EXPECT_EQ(read.tags.Text(TagField::Comment), u"note");
        EXPECT_EQ(read.info.tagLengthMs, 90);
        EXPECT_LT(counted.bytes, 64 * 1024);  // the picture is passed over unread
    }

    // A version 3 block unsynchronised as a whole cannot be walked unread: its first mebibyte
    // stands for it, as before.
    Bytes stuffed = Frame(3, "TIT2", Text(0, Utf8("front")));
    Append(stuffed, Frame(3, "APIC", picture));
    Append(stuffed, Frame(3, "TPE1", Text(0, Utf8("lost"))));
    EXPECT_EQ(Field(Block(3, stuffed, 0x80), TagField::Title), u"front");
    EXPECT_EQ(Field(Block(3, stuffed, 0x80), TagField::Artist), u"");

    // Frames walked one by one are bounded: a large body of empty frames ends the walk, and
    // what came before them stays.
    Bytes empties = Frame(3, "TIT2", Text(0, Utf8("kept")));
    Append(empties, Frame(3, "APIC", picture));
    for (int i = 0; i < kMaxTagFramesWalked + 10; ++i) {
        Append(empties, Frame(3, "PRIV", {}));
    }
    Append(empties, Frame(3, "TPE1", Text(0, Utf8("beyond"))));
    const Bytes walked = Block(3, empties);
    CountingFile counted(walked);
    const OmaRead read = ReadOma(counted);
    EXPECT_EQ(read.tags.Text(TagField::Title), u"kept");
    EXPECT_EQ(read.tags.Text(TagField::Artist), u"");
    EXPECT_LE(counted.reads, kMaxTagFramesWalked + 10);
}

// A version 3 extended header's size leaves its own four bytes out, and comes from the file: a
// size near 4 GiB plus those four must run past the body, not wrap round to the body's start. Each
// such size is followed by what a wrapped start would read as a frame and then a title.
TEST(TagText, ExtendedHeaderSizesUpToTheLargest) {
    const auto withExtended = [](uint32_t size, size_t filler) {
        Bytes body = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                      static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
        body.resize(body.size() + filler, 0);
        Append(body, Frame(3, "TIT2", Text(0, Utf8("kept"))));
        return Block(3, body, 0x40);
    };
    EXPECT_EQ(Field(withExtended(6, 6), TagField::Title), u"kept");
    EXPECT_EQ(Field(withExtended(10, 10), TagField::Title), u"kept");
    EXPECT_NE(Field(withExtended(7, 6), TagField::Title), u"kept");
    // Frames that would start exactly at the body's end: none, and no harm.
    EXPECT_EQ(Field(withExtended(6 + 14, 6), TagField::Title), u"");
    EXPECT_EQ(Field(withExtended(6 + 15, 6), TagField::Title), u"");
    for (uint32_t wrapsTo = 0; wrapsTo < 4; ++wrapsTo) {
        SCOPED_TRACE(wrapsTo);
        // A start of wrapsTo would find a frame of size 0 there, and the title right after it.
        const OmaRead read = Read(withExtended(0xFFFFFFFCu + wrapsTo, wrapsTo + 6));
        EXPECT_EQ(read.status, OmaStatus::Ok) << "the block is skipped whole, the file still plays";
        EXPECT_EQ(read.tags.Text(TagField::Title), u"");
    }
}

TEST(TagText, EncryptedFilesKeepTagsAndLength) {
    Bytes file = Block(3, Frame(3, "TIT2", Text(0, Utf8("locked"))));
    Append(file, omabytes::Header(0, 0x002030, 0x0001));
    file.resize(file.size() + 108 * 384, 0);
    MemoryFileBytes bytes(file);
    const OmaRead read = ReadOma(bytes);
    EXPECT_EQ(read.status, OmaStatus::Encrypted);
    EXPECT_EQ(read.tags.Text(TagField::Title), u"locked");
    EXPECT_EQ(read.info.samples, 108 * 1024 - 1162);
}

}  // namespace
