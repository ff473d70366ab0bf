// The tag writer on files built byte by byte: what it writes is read back by the reader, laid out
// as the frames' layout says, and everything it was not asked to change stays where and what it
// was. FFmpeg reads what it writes on a copy of a real file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "oma/Ea3TagWriter.h"
#include "oma/OmaFile.h"
#include "tests/native/OmaBytes.h"
#include "tests/native/ReferenceDecode.h"

namespace {

using namespace omabytes;

constexpr uint32_t kLp2 = 0x002030;  // ATRAC3, 384-byte frames, 44.1 kHz

// Two frames of audio in a recognisable pattern, after the header.
Bytes Audio() {
    Bytes audio = Header(0, kLp2);
    for (int i = 0; i < 2 * 384; ++i) {
        audio.push_back(static_cast<uint8_t>(i * 7 + 3));
    }
    return audio;
}

Bytes Edited(const Bytes& blocks, const std::vector<TagEdit>& edits) {
    const auto written = RewriteTagBlocks(blocks, edits);
    EXPECT_TRUE(written);
    return written ? *written : Bytes{};
}

OmaRead ReadFile(const Bytes& blocks) {
    Bytes file = blocks;
    Append(file, Audio());
    MemoryFileBytes bytes(file);
    return ReadOma(bytes);
}

std::u16string TextOf(const Bytes& blocks, TagField field) {
    return ReadFile(blocks).tags.Text(field);
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// A version 3 block of 3072 bytes holding the frames given, zero padded.
Bytes PaddedBlock(int version, const Bytes& frames, size_t total = 3072) {
    Bytes body = frames;
    body.resize(total - 10, 0);
    return Block(version, body);
}

const std::vector<TagEdit> kEveryField = {
    {TagField::Title, u"Title"},
    {TagField::Artist, u"艺术家 Artist"},
    {TagField::Album, u"Album \U0001F3B5 with a note"},  // outside the BMP
    {TagField::AlbumArtist, u"Caf\u00e9"},               // Latin-1 past ASCII
    {TagField::Year, u"2024"},
    {TagField::Genre, u"(17)Rock"},
    {TagField::TrackNumber, u"3/12"},
    {TagField::Disc, u"1/2"},
    {TagField::Composer, u"作曲"},
    {TagField::Publisher, u"Label"},
    {TagField::Comment, u"注释"},
    {TagField::ReplayGainTrackGain, u"-6.54 dB"},
    {TagField::ReplayGainTrackPeak, u"0.987654321"},
    {TagField::ReplayGainAlbumGain, u"+1.20 dB"},
    {TagField::ReplayGainAlbumPeak, u"1.000000000"},
};

TEST(TagWriter, EveryFieldReadsBackInEveryVersion) {
    for (int version : {2, 3, 4}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        const Bytes blocks =
            Edited(PaddedBlock(version, Frame(version, version == 2 ? "TT2" : "TIT2", Latin1(0, "Old"))), kEveryField);
        EXPECT_EQ(blocks.size(), 3072u);
        const OmaRead read = ReadFile(blocks);
        ASSERT_EQ(read.status, OmaStatus::Ok);
        for (const TagEdit& edit : kEveryField) {
            EXPECT_EQ(read.tags.Text(edit.field), edit.text) << kTagFieldNames[static_cast<size_t>(edit.field)];
        }
    }
}

TEST(TagWriter, TextIsLatin1WhereItFitsAndUtf16WithAMarkElsewhere) {
    const Bytes blocks = Edited(PaddedBlock(3, {}), {{TagField::Title, u"Caf\u00e9"},
                                                     {TagField::Artist, u"中\U0001F3B5"},
                                                     {TagField::ReplayGainTrackGain, u"-1.00 dB"},
                                                     {TagField::Comment, u"é"}});
    EXPECT_TRUE(Contains(blocks, Frame(3, "TIT2", {0, 'C', 'a', 'f', 0xE9})));
    // U+4E2D, then U+1F3B5 as its surrogate pair D83C DFB5, little-endian after FF FE.
    EXPECT_TRUE(Contains(blocks, Frame(3, "TPE1", {1, 0xFF, 0xFE, 0x2D, 0x4E, 0x3C, 0xD8, 0xB5, 0xDF})));
    Bytes txxx = Latin1(0, "replaygain_track_gain");
    Append(txxx, {0, '-', '1', '.', '0', '0', ' ', 'd', 'B'});
    EXPECT_TRUE(Contains(blocks, Frame(3, "TXXX", txxx)));
    EXPECT_TRUE(Contains(blocks, Frame(3, "COMM", {0, 'u', 'n', 'd', 0, 0xE9})));

    // Version 2 frames: three-letter ids and three size bytes; version 4: syncsafe sizes.
    const Bytes v2 = Edited(PaddedBlock(2, {}), {{TagField::Title, u"中"}});
    EXPECT_TRUE(Contains(v2, Frame(2, "TT2", {1, 0xFF, 0xFE, 0x2D, 0x4E})));
    const std::u16string longTitle(200, u'x');
    const Bytes v4 = Edited(PaddedBlock(4, {}), {{TagField::Title, longTitle}, {TagField::Year, u"2024"}});
    EXPECT_TRUE(Contains(v4, {'T', 'I', 'T', '2', 0, 0, 1, 0x49, 0, 0, 0, 'x'}));  // 201 = 1 * 128 + 73
    EXPECT_TRUE(Contains(v4, Frame(4, "TDRC", Latin1(0, "2024"))));
}

TEST(TagWriter, AYearVersion4CannotDateStaysATyerFrame) {
    const Bytes v4 =
        Edited(PaddedBlock(4, Frame(4, "TDRC", Latin1(0, "1999-01-02"))), {{TagField::Year, u"Spring 1999"}});
    EXPECT_TRUE(Contains(v4, Frame(4, "TYER", Latin1(0, "Spring 1999"))));
    EXPECT_FALSE(Contains(v4, {'T', 'D', 'R', 'C'}));
    EXPECT_EQ(TextOf(v4, TagField::Year), u"Spring 1999");
}

TEST(TagWriter, AnEmptyTextRemovesTheFieldAndWhatStandsInForIt) {
    Bytes frames = Frame(3, "TIT2", Latin1(0, "Title"));
    Bytes rg = Latin1(0, "REPLAYGAIN_TRACK_GAIN");
    Append(rg, {0, '-', '2', ' ', 'd', 'B'});
    Append(frames, Frame(3, "TXXX", rg));
    Bytes omgTrack = Latin1(0, "OMG_TRACK");
    Append(omgTrack, {0, '7'});
    Append(frames, Frame(3, "TXXX", omgTrack));
    Append(frames, Frame(3, "COMM", {0, 'e', 'n', 'g', 'n', 'o', 't', 'e', 0, 'x'}));  // described
    Append(frames, Frame(3, "TDRC", Latin1(0, "2001")));
    const Bytes before = PaddedBlock(3, frames);
    ASSERT_EQ(TextOf(before, TagField::TrackNumber), u"7");
    ASSERT_EQ(TextOf(before, TagField::Comment), u"x");
    ASSERT_EQ(TextOf(before, TagField::Year), u"2001");

    const Bytes after = Edited(before, {{TagField::Title, u""},
                                        {TagField::ReplayGainTrackGain, u""},
                                        {TagField::TrackNumber, u""},
                                        {TagField::Comment, u""},
                                        {TagField::Year, u""}});
    EXPECT_EQ(after.size(), before.size());
    for (TagField field :
         {TagField::Title, TagField::ReplayGainTrackGain, TagField::TrackNumber, TagField::Comment, TagField::Year}) {
        EXPECT_EQ(TextOf(after, field), u"") << kTagFieldNames[static_cast<size_t>(field)];
    }
    // Only padding is left.
    EXPECT_TRUE(std::all_of(after.begin() + 10, after.end(), [](uint8_t b) { return b == 0; }));
}

TEST(TagWriter, ANewCommentReplacesPlainCommentsAndKeepsDescribedOnes) {
    const Bytes described = Frame(3, "COMM", {0, 'e', 'n', 'g', 'n', 'o', 't', 'e', 0, 'x'});
    Bytes frames = Frame(3, "COMM", {1, 'e', 'n', 'g', 0xFF, 0xFE, 0, 0, 0xFF, 0xFE, 'o', 0, 'l', 0, 'd', 0});
    Append(frames, described);
    const Bytes after = Edited(PaddedBlock(3, frames), {{TagField::Comment, u"new"}});
    EXPECT_EQ(TextOf(after, TagField::Comment), u"new");
    EXPECT_TRUE(Contains(after, described));
    EXPECT_FALSE(Contains(after, {'o', 0, 'l', 0, 'd', 0}));
}

TEST(TagWriter, KeepsEveryOtherFrameByteForByteAndTheBytesAfterTheBlocks) {
    Bytes kept;
    Append(kept,
           Frame(3, "APIC", {0, 'i', 'm', 'a', 'g', 'e', '/', 'p', 'n', 'g', 0, 3, 0, 0x89, 'P', 'N', 'G', 0xFF}));
    Append(kept, Frame(3, "GEOB", {0, 'a', 0, 'b', 0, 'c', 0, 1, 2, 3}));
    Append(kept, Frame(3, "PRIV", {'o', 'w', 'n', 'e', 'r', 0, 0xDE, 0xAD}));
    Bytes other = Latin1(0, "OTHER");
    Append(other, {0, 'v'});
    Append(kept, Frame(3, "TXXX", other));
    Append(kept, Frame(3, "ZZZZ", {9, 8, 7}, 0x40));                // unknown id, flags of its own
    Append(kept, Frame(3, "TIT2", {0, 'c', 'o', 'm', 'p'}, 0x80));  // compressed: the reader passes it over
    // Dropped as the title's, whatever its encoding; everything else in order.
    Bytes frames = Frame(3, "TIT2", Latin1(0, "Old"));
    Append(frames, kept);
    const Bytes before = PaddedBlock(3, frames);
    const Bytes after = Edited(before, {{TagField::Title, u"New"}, {TagField::Album, u"Album"}});
    ASSERT_EQ(after.size(), before.size());
    EXPECT_FALSE(Contains(after, {'O', 'l', 'd'}));
    EXPECT_FALSE(Contains(after, {'c', 'o', 'm', 'p'}));
    Bytes keptWithoutCompressed(kept.begin(), kept.end() - 15);
    EXPECT_TRUE(Contains(after, keptWithoutCompressed));
    EXPECT_EQ(TextOf(after, TagField::Title), u"New");
    EXPECT_EQ(TextOf(after, TagField::Album), u"Album");

    // A second block loses the edited field's frames and keeps its size and the rest.
    Bytes two = PaddedBlock(3, Frame(3, "TIT2", Latin1(0, "First")), 200);
    Bytes second = Frame(3, "TALB", Latin1(0, "Second album"));
    Append(second, Frame(3, "TCOM", Latin1(0, "Composer")));
    Append(two, PaddedBlock(3, second, 300));
    const Bytes twoAfter = Edited(two, {{TagField::Album, u""}});
    ASSERT_EQ(twoAfter.size(), two.size());
    EXPECT_TRUE(std::equal(two.begin(), two.begin() + 200, twoAfter.begin()));  // nothing of it edited
    EXPECT_EQ(TextOf(twoAfter, TagField::Album), u"");
    EXPECT_EQ(TextOf(twoAfter, TagField::Composer), u"Composer");
    EXPECT_EQ(TextOf(twoAfter, TagField::Title), u"First");
}

TEST(TagWriter, TheHeaderStaysWhereTheFramesFitAndTheBlockGrowsByTheRuleElse) {
    // Fits: same size, zero padded.
    const Bytes small = PaddedBlock(3, Frame(3, "TIT2", Latin1(0, "A long old title")), 64);
    const Bytes fits = Edited(small, {{TagField::Title, u"Short"}});
    ASSERT_EQ(fits.size(), 64u);
    EXPECT_EQ(Bytes(fits.begin(), fits.begin() + 10), Bytes({'e', 'a', '3', 3, 0, 0, 0, 0, 0, 54}));
    EXPECT_TRUE(std::all_of(fits.begin() + 10 + 16, fits.end(), [](uint8_t b) { return b == 0; }));

    // Grows to 3 KiB at least, then to whole KiB with at least 512 bytes to spare.
    const Bytes grown = Edited(small, {{TagField::Title, std::u16string(100, u'中')}});
    EXPECT_EQ(grown.size(), 3072u);
    EXPECT_EQ(Bytes(grown.begin() + 6, grown.begin() + 10), Syncsafe(3062));
    const Bytes bigger = Edited(small, {{TagField::Title, std::u16string(1500, u'中')}});
    // 10 + 10 + 1 + 2 + 3000 = 3023 bytes needed; 3023 + 512 goes up to 4096.
    EXPECT_EQ(bigger.size(), 4096u);
    EXPECT_EQ(TextOf(bigger, TagField::Title), std::u16string(1500, u'中'));
    struct Row {
        int64_t needed;
        int64_t size;
    };
    const Row rows[] = {{1, 3072}, {2560, 3072}, {2561, 4096}, {3584, 4096}, {3585, 5120}};
    for (const auto& [needed, size] : rows) {
        EXPECT_EQ(GrownBlockSize(needed), size) << needed;
    }

    // Without a block, a version 3 block of 3 KiB opens the file.
    const Bytes fresh = Edited({}, {{TagField::Title, u"T"}});
    ASSERT_EQ(fresh.size(), 3072u);
    EXPECT_EQ(Bytes(fresh.begin(), fresh.begin() + 20),
              Bytes({'e', 'a', '3', 3, 0, 0, 0, 0, 0x17, 0x76, 'T', 'I', 'T', '2', 0, 0, 0, 2, 0, 0}));
    EXPECT_EQ(TextOf(fresh, TagField::Title), u"T");
    // Only removals on a file without tags change nothing.
    EXPECT_EQ(Edited({}, {{TagField::Title, u""}}), Bytes{});
}

TEST(TagWriter, ExtendedHeadersAndUnsynchronisationAreWrittenAway) {
    // Version 3, unsynchronised: FF 00 in the body stands for FF; the rewrite keeps the frame as
    // read, without the flag.
    const Bytes body = {'P', 'R', 'I', 'V', 0, 0, 0, 4, 0, 0, 'o', 0, 0xFF, 0x00, 0xE0};
    const Bytes unsync = PaddedBlock(3, body, 64);
    Bytes flagged = unsync;
    flagged[5] = 0x80;
    const Bytes after = Edited(flagged, {{TagField::Title, u"ÿ"}});  // 0xFF in Latin-1
    EXPECT_EQ(after[5], 0);
    EXPECT_TRUE(Contains(after, Frame(3, "PRIV", {'o', 0, 0xFF, 0xE0})));
    EXPECT_EQ(TextOf(after, TagField::Title), u"ÿ");

    // Version 4, unsynchronised as a whole: new frames are unsynchronised as its frames are.
    Bytes v4 = PaddedBlock(4, {}, 64);
    v4[5] = 0x80;
    const Bytes v4After = Edited(v4, {{TagField::Title, u"ÿ"}});
    EXPECT_EQ(v4After[5], 0x80);
    EXPECT_TRUE(Contains(v4After, Frame(4, "TIT2", {0, 0xFF, 0})));
    EXPECT_EQ(TextOf(v4After, TagField::Title), u"ÿ");

    // Version 3 with an extended header (its size leaves itself out): the header goes.
    Bytes extended = {0, 0, 0, 6, 0, 0, 0, 0, 0, 0};
    Append(extended, Frame(3, "TPE1", Latin1(0, "Artist")));
    Bytes ext = PaddedBlock(3, extended, 64);
    ext[5] = 0x40;
    ASSERT_EQ(TextOf(ext, TagField::Artist), u"Artist");
    const Bytes extAfter = Edited(ext, {{TagField::Title, u"T"}});
    EXPECT_EQ(extAfter[5], 0);
    EXPECT_EQ(TextOf(extAfter, TagField::Artist), u"Artist");
    EXPECT_EQ(TextOf(extAfter, TagField::Title), u"T");
}

// Bytes after the last frame that are not padding (a frame cut by the block's end) stay the
// block's last bytes: zeros in front of them end the reader's walk, so a grown block never turns
// them into a frame.
TEST(TagWriter, WhatFollowsTheFramesStaysLast) {
    const Bytes cut = {'T', 'I', 'T', '2', 0, 0, 0, 93, 0, 0, 0, 'O', 'l', 'd'};
    Bytes frames = Frame(3, "TPE1", Latin1(0, "Artist"));
    Append(frames, cut);
    const Bytes before = Block(3, frames);
    ASSERT_EQ(TextOf(before, TagField::Title), u"");
    const Bytes after = Edited(before, {{TagField::Album, u"Album"}});
    ASSERT_EQ(after.size(), 3072u);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), after.end() - static_cast<std::ptrdiff_t>(cut.size())));
    EXPECT_EQ(TextOf(after, TagField::Title), u"");
    EXPECT_EQ(TextOf(after, TagField::Artist), u"Artist");
    EXPECT_EQ(TextOf(after, TagField::Album), u"Album");
}

TEST(TagWriter, RefusesWhatIsNoRunOfWholeBlocks) {
    EXPECT_FALSE(RewriteTagBlocks(Bytes{'e', 'a', '3', 3, 0}, {}));
    Bytes tail = Block(3, Bytes(20, 0));
    Append(tail, {'E', 'A', '3'});
    EXPECT_FALSE(RewriteTagBlocks(tail, {}));
    Bytes cut = Block(3, Bytes(20, 0));
    cut.pop_back();
    EXPECT_FALSE(RewriteTagBlocks(cut, {}));
}

TEST(TagWriter, StoredFieldNames) {
    EXPECT_EQ(StoredTagField("TITLE"), TagField::Title);
    EXPECT_EQ(StoredTagField("Track"), TagField::TrackNumber);
    EXPECT_EQ(StoredTagField("tracknumber"), TagField::TrackNumber);
    EXPECT_EQ(StoredTagField("AlbumArtist"), TagField::AlbumArtist);
    EXPECT_EQ(StoredTagField("REPLAYGAIN_ALBUM_PEAK"), TagField::ReplayGainAlbumPeak);
    EXPECT_FALSE(StoredTagField("bpm"));
    EXPECT_FALSE(StoredTagField("length"));
    EXPECT_FALSE(StoredTagField("title "));
}

// FFmpeg's OMA reader takes the block's frames as its own metadata.
TEST(TagWriterFfprobe, ReadsWhatWeWroteOnARealFile) {
    const auto media = reference::MediaDir() / "atrac3_lp2_2500ms.oma";
    if (std::system("ffprobe -version >/dev/null 2>&1") != 0 || !std::filesystem::exists(media)) {
        GTEST_SKIP() << "needs Debian's ffprobe and the media in " << reference::MediaDir().string();
    }
    const Bytes original = reference::FileContents(media);
    const Bytes blocks = Edited({}, {{TagField::Title, u"标题 Title"},
                                     {TagField::Artist, u"艺术家"},
                                     {TagField::Album, u"Caf\u00e9"},
                                     {TagField::Year, u"2024"},
                                     {TagField::TrackNumber, u"3/12"},
                                     {TagField::Comment, u"注释"},
                                     {TagField::ReplayGainTrackGain, u"-6.54 dB"}});
    Bytes file = blocks;
    Append(file, original);
    const auto path = std::filesystem::temp_directory_path() / ("tagwriter-" + std::to_string(getpid()) + ".oma");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    const std::string command = "ffprobe -v error -show_entries format_tags:format=duration -of flat " + path.string();
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string out;
    char chunk[512];
    while (size_t n = std::fread(chunk, 1, sizeof chunk, pipe)) {
        out.append(chunk, n);
    }
    EXPECT_EQ(pclose(pipe), 0) << out;
    std::filesystem::remove(path);
    for (const char* line : {"format.tags.title=\"标题 Title\"", "format.tags.artist=\"艺术家\"",
                             "format.tags.album=\"Café\"", "format.tags.track=\"3/12\"", "format.tags.comment=\"注释\"",
                             "format.tags.replaygain_track_gain=\"-6.54 dB\""}) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_NE(out.find("format.duration=\"2.50"), std::string::npos) << out;
}

}  // namespace
