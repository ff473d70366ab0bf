// The extended file-info answers worked out from a file's front, and the copy into a caller's
// buffer of limited size.
#include <gtest/gtest.h>

#include <string>

#include "decode/StdioFileBytes.h"
#include "host/ExtendedFields.h"
#include "tests/native/Mp3MediaFiles.h"
#include "tests/native/OmaBytes.h"
#include "tests/native/ReferenceDecode.h"

namespace {

using omabytes::Append;
using omabytes::Bytes;

std::string Narrow(const std::optional<std::u16string>& text) {
    if (!text) {
        return "<none>";
    }
    std::string out;
    for (char16_t c : *text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

OmaRead ReadMedium(const char* name) {
    auto file = OpenStdioFile((reference::MediaDir() / name).c_str());
    return file ? ReadOma(*file) : OmaRead{};
}

TEST(ExtendedFields, HeaderFactsOfTheRealMedia) {
    if (!std::filesystem::exists(reference::MediaDir() / "atrac3_lp2_2500ms.oma")) {
        GTEST_SKIP() << "needs the media in " << reference::MediaDir().string();
    }
    struct Row {
        const char* name;
        const char* length;   // frames x samples per frame - delay, in whole ms at 44.1 kHz
        const char* bitrate;  // frame bytes x 8 x 44100 / samples per frame, rounded
    };
    const Row rows[] = {
        {"atrac3_lp2_2500ms.oma", "2481", "132"},         // 109430 samples; 132.3 kb/s
        {"atrac3_lp4_mix_20s.oma", "20035", "66"},        // 883574; 66.15
        {"atrac3plus_352k_tone_10s.oma", "9929", "353"},  // 437904; 352.8
        {"atrac3_94k_js_3100ms.oma", "3108", "94"},       // 135 x 1024 - 1162 = 137078; 93.7
        {"atrac3_176k_3100ms.oma", "3108", "176"},        // the same; 176.4
    };
    for (const Row& row : rows) {
        const OmaRead read = ReadMedium(row.name);
        EXPECT_EQ(Narrow(ExtendedField(read, "length")), row.length) << row.name;
        EXPECT_EQ(Narrow(ExtendedField(read, "BitRate")), row.bitrate) << row.name;
        EXPECT_EQ(Narrow(ExtendedField(read, "type")), "0");
        EXPECT_EQ(Narrow(ExtendedField(read, "lossless")), "0");
        EXPECT_EQ(Narrow(ExtendedField(read, "title")), "<none>") << "no tag: the player falls back to the name";
        EXPECT_EQ(Narrow(ExtendedField(read, "nosuchfield")), "<none>");
    }
    const auto info = ExtendedField(ReadMedium("atrac3_lp4_mix_20s.oma"), "formatinformation");
    ASSERT_TRUE(info);
    for (const std::u16string& line :
         {std::u16string(u"编码：ATRAC3"), std::u16string(u"比特率：66 kbps"), std::u16string(u"采样率：44100 Hz"),
          std::u16string(u"声道：2（联合立体声）"), std::u16string(u"帧大小：192 字节"), std::u16string(u"帧数：864"),
          std::u16string(u"长度：0:20（20035 毫秒）"), std::u16string(u"加密：否")}) {
        EXPECT_NE(info->find(line), std::u16string::npos) << Narrow(line);
    }
}

// Every ATRAC3 frame size an encoder writes, read from the header's 24-bit parameters alone.
TEST(ExtendedFields, Atrac3BitRateAndLengthAtEveryEncoderFrameSize) {
    struct Row {
        uint32_t params;  // 44.1 kHz; the low ten bits the frame size in units of 8 bytes
        int32_t frameSize;
        const char* bitrate;  // frame bytes x 8 x 44100 / 1024, rounded
    };
    const Row rows[] = {
        {0x022018, 192, "66"},  {0x022022, 272, "94"},  {0x002026, 304, "105"}, {0x002030, 384, "132"},
        {0x002035, 424, "146"}, {0x002040, 512, "176"}, {0x002060, 768, "265"}, {0x002080, 1024, "353"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.frameSize);
        Bytes file = omabytes::Header(0, row.params);
        file.resize(file.size() + 100 * static_cast<size_t>(row.frameSize), 0x5A);
        MemoryFileBytes bytes(file);
        const OmaRead read = ReadOma(bytes);
        EXPECT_EQ(read.status, OmaStatus::Ok);
        EXPECT_EQ(read.info.frameSize, row.frameSize);
        EXPECT_EQ(Narrow(ExtendedField(read, "bitrate")), row.bitrate);
        EXPECT_EQ(Narrow(ExtendedField(read, "length")), "2295");  // 100 x 1024 - 1162 = 101238 samples
    }
}

TEST(ExtendedFields, LpcmEncryptedAndRefusedFiles) {
    auto read = [](const Bytes& front, size_t frameBytes) {
        Bytes file = front;
        file.resize(file.size() + frameBytes, 0);
        MemoryFileBytes bytes(file);
        return ReadOma(bytes);
    };
    const OmaRead lpcm = read(omabytes::Header(4, 0), 441 * 1024);  // 441 frames of 256 samples
    EXPECT_EQ(Narrow(ExtendedField(lpcm, "lossless")), "1");
    EXPECT_EQ(Narrow(ExtendedField(lpcm, "bitrate")), "1411");
    EXPECT_EQ(Narrow(ExtendedField(lpcm, "length")), "2560");  // 112896 samples

    const OmaRead encrypted = read(omabytes::Header(0, 0x002030, 0x0001), 108 * 384);
    EXPECT_EQ(Narrow(ExtendedField(encrypted, "length")), "2481");
    EXPECT_NE(ExtendedField(encrypted, "formatinformation")->find(u"加密：是（OpenMG）"), std::u16string::npos);

    // Not OMA at all: nothing, not even the type.
    EXPECT_EQ(Narrow(ExtendedField(read(Bytes(200, 'x'), 0), "type")), "<none>");
    EXPECT_EQ(Narrow(ExtendedField(read({}, 0), "length")), "<none>");
}

TEST(ExtendedFields, Mp3LengthAndMeanBitRate) {
    if (!reference::HaveFfmpeg()) {
        GTEST_SKIP() << "needs Debian's ffmpeg to make MP3 media";
    }
    struct Row {
        const char* name;
        const char* options;
        int32_t rate;
        const char* bitrate;
    };
    // CBR at 128 kb/s, and VBR whose mean is whatever the encoder chose.
    const Row rows[] = {{"fields-cbr", "-b:a 128k", 44100, "128"}, {"fields-vbr", "-q:a 4", 48000, nullptr}};
    for (const Row& row : rows) {
        const mp3media::Made made = mp3media::Make(row.name, row.rate, 2, 3, row.options);
        ASSERT_FALSE(made.mp3.empty());
        MemoryFileBytes bytes(made.oma);
        const OmaRead read = ReadOma(bytes);
        ASSERT_EQ(read.status, OmaStatus::Ok) << row.name;
        // With the encoder's delay and padding read from its LAME header, the length is the input's.
        EXPECT_EQ(Narrow(ExtendedField(read, "length")), "3000") << row.name;
        const std::string kbps = Narrow(ExtendedField(read, "bitrate"));
        if (row.bitrate) {
            EXPECT_EQ(kbps, row.bitrate);
        } else {
            // The file's bytes over its three seconds, within a few percent (the Xing frame and
            // the encoder's padding frames count in the one and not quite in the other).
            const double overall = static_cast<double>(std::filesystem::file_size(made.mp3)) * 8 / 3 / 1000;
            EXPECT_NEAR(std::stoi(kbps), overall, overall * 0.06) << kbps;
        }
        const auto info = ExtendedField(read, "formatinformation");
        ASSERT_TRUE(info);
        EXPECT_EQ(info->rfind(u"编码：MP3\r\n", 0), 0u);
        EXPECT_NE(info->find(u"帧大小：平均 "), std::u16string::npos);
    }
}

TEST(ExtendedFields, WhatTheLibraryAndTheReplayGainAnalysisAsk) {
    auto file = [](const Bytes& tag, const Bytes& header, size_t frameBytes) {
        Bytes bytes = tag;
        Append(bytes, header);
        bytes.resize(bytes.size() + frameBytes, 0);
        MemoryFileBytes memory(bytes);
        return ReadOma(memory);
    };
    auto text = [](const std::string& id, const std::string& value) {
        Bytes content{0};
        content.insert(content.end(), value.begin(), value.end());
        return omabytes::Frame(3, id, content);
    };
    auto txxx = [&](const std::string& description, const std::string& value) {
        return text("TXXX", description + std::string(1, '\0') + value);
    };
    Bytes body = text("TRCK", "3/12");
    Append(body, text("TPUB", "Label"));
    Append(body, text("TBPM", "120"));
    Append(body, txxx("REPLAYGAIN_TRACK_GAIN", "-6.54 dB"));
    const Bytes lpcmHeader = omabytes::Header(4, 0);
    const OmaRead tagged = file(omabytes::Block(3, body), lpcmHeader, 1024 * 8);
    ASSERT_EQ(tagged.status, OmaStatus::Ok);
    EXPECT_EQ(Narrow(ExtendedField(tagged, "track")), "3/12") << "the library's name";
    EXPECT_EQ(Narrow(ExtendedField(tagged, "tracknumber")), "3/12");
    EXPECT_EQ(Narrow(ExtendedField(tagged, "publisher")), "Label");
    EXPECT_EQ(Narrow(ExtendedField(tagged, "bpm")), "120");
    EXPECT_EQ(Narrow(ExtendedField(tagged, "replaygain_track_gain")), "-6.54 dB");
    EXPECT_EQ(Narrow(ExtendedField(tagged, "codec")), "LPCM");

    // A plain file we serve, without the values: known and empty, so the analysis takes it.
    const OmaRead plain = file({}, lpcmHeader, 1024 * 8);
    for (const char* field :
         {"replaygain_track_gain", "replaygain_track_peak", "replaygain_album_gain", "REPLAYGAIN_ALBUM_PEAK"}) {
        EXPECT_EQ(Narrow(ExtendedField(plain, field)), "") << field;
    }
    EXPECT_EQ(Narrow(ExtendedField(tagged, "replaygain_album_gain")), "") << "the others of a tagged file too";
    EXPECT_EQ(Narrow(ExtendedField(plain, "track")), "<none>");
    EXPECT_EQ(Narrow(ExtendedField(plain, "publisher")), "<none>");
    EXPECT_EQ(Narrow(ExtendedField(plain, "rating")), "<none>");

    // One we cannot decode stays unknown: the analysis would only fail to open it.
    const OmaRead encrypted = file({}, omabytes::Header(0, 0x002030, 0x0001), 108 * 384);
    ASSERT_EQ(encrypted.status, OmaStatus::Encrypted);
    EXPECT_EQ(Narrow(ExtendedField(encrypted, "replaygain_track_gain")), "<none>");
    EXPECT_EQ(Narrow(ExtendedField(encrypted, "codec")), "ATRAC3");
    const OmaRead plus = file({}, omabytes::Header(1, 0x002030), 1024 * 4);
    EXPECT_EQ(Narrow(ExtendedField(plus, "codec")), "ATRAC3plus");
}

TEST(ExtendedFields, NamesThePlayerAsksAboutThatAreNoFile) {
    EXPECT_EQ(FieldOfName(u"Winamp.File.oma", "family"), u"ATRAC 音频文件（OMA）");
    EXPECT_EQ(FieldOfName(u"test.oma", "TYPE"), u"0");
    EXPECT_EQ(FieldOfName(u"test.omg", "type"), u"0");
    // The empty name of the player's load-time question is no file of ours, and no video.
    EXPECT_FALSE(FieldOfName(u"", "type"));
    EXPECT_FALSE(FieldOfName(u"", "family"));
    EXPECT_FALSE(FieldOfName(u"test.mp4", "type"));
    EXPECT_FALSE(FieldOfName(u"test.oma", "length"));
}

TEST(ExtendedFields, FamilyFromTheNameAlone) {
    for (const char16_t* name : {u"oma", u".oma", u"OMA", u"C:\\music\\a.oma", u"a.b.Oma"}) {
        EXPECT_EQ(FamilyOfName(name), u"ATRAC 音频文件（OMA）") << Narrow(std::u16string(name));
    }
    EXPECT_EQ(FamilyOfName(u".omg"), u"ATRAC 音频文件（OMG）");
    for (const char16_t* name : {u"mp3", u"C:\\oma", u"x.oma\\y", u"", u"omax", u"a.om"}) {
        EXPECT_FALSE(FamilyOfName(name)) << Narrow(std::u16string(name));
    }
}

TEST(ExtendedFields, CopyTruncatedNeverSplitsACharacter) {
    const auto never = [](char) { return false; };
    const auto lead = [](char c) { return static_cast<unsigned char>(c) >= 0x81; };
    char buffer[8];
    auto copy = [&](std::string_view text, int capacity, auto isLead) {
        std::fill(std::begin(buffer), std::end(buffer), '#');
        const bool wrote = CopyTruncated(text, buffer, capacity, isLead);
        return std::make_pair(wrote, std::string(buffer, sizeof buffer));
    };
    EXPECT_EQ(copy("abc", 4, never), std::make_pair(true, std::string("abc\0####", 8)));
    EXPECT_EQ(copy("abcdef", 4, never), std::make_pair(true, std::string("abc\0####", 8)));
    EXPECT_EQ(copy("abc", 1, never), std::make_pair(true, std::string("\0#######", 8)));
    EXPECT_EQ(copy("abc", 0, never), std::make_pair(false, std::string("########", 8)));
    EXPECT_EQ(copy("abc", -5, never), std::make_pair(false, std::string("########", 8)));
    // "a" then a double-byte character: with room for two bytes it stops before the pair.
    EXPECT_EQ(copy("a\xB2\xE2", 3, lead), std::make_pair(true, std::string("a\0######", 8)));
    EXPECT_EQ(copy("a\xB2\xE2", 4, lead), std::make_pair(true, std::string("a\xB2\xE2\0####", 8)));
}

}  // namespace
