// The stand-in player calling the DLL the way the player itself does: an album that advances on
// the end-of-track message, repeat through the next-track command that re-enters the plug-in from
// its own timer, failed plays that move on by themselves, and the library, ReplayGain, converter
// and burner reading beside a track the UI thread plays.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "tests/wine/MediaDir.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"

namespace {

using Line = testsupport::HostLine;
using testsupport::Only;
using testsupport::Quote;

// An ID3v2.3 text frame: the id, a 32-bit size, no flags, then Latin-1 text.
std::string TextFrame(const std::string& id, const std::string& text) {
    const std::string content = std::string(1, '\0') + text;
    const auto n = static_cast<uint32_t>(content.size());
    std::string frame = id;
    frame += static_cast<char>(n >> 24);
    frame += static_cast<char>(n >> 16);
    frame += static_cast<char>(n >> 8);
    frame += static_cast<char>(n);
    frame += std::string(2, '\0');
    return frame + content;
}

// An "ea3" block around frames, its size syncsafe.
std::string TagBlock(const std::string& frames) {
    const auto n = static_cast<uint32_t>(frames.size());
    std::string block = "ea3";
    block += '\x03';
    block += std::string(2, '\0');
    for (int shift : {21, 14, 7, 0})
        block += static_cast<char>((n >> shift) & 0x7F);
    return block + frames;
}

// A plain LPCM OMA file: CD audio, big-endian, a 1 kHz sine of the given peak in both channels.
std::string LpcmSine(double peak, int frames1024) {
    std::string file(96, '\0');
    file[0] = 'E';
    file[1] = 'A';
    file[2] = '3';
    file[3] = 1;
    file[5] = 0x60;
    file[6] = '\xFF';
    file[7] = '\xFF';
    file[32] = 4;  // LPCM
    const int frames = frames1024 * 256;
    for (int f = 0; f < frames; ++f) {
        const auto s =
            static_cast<int16_t>(std::lround(peak * 32767 * std::sin(2 * 3.14159265358979 * 1000 * f / 44100)));
        for (int c = 0; c < 2; ++c) {
            file += static_cast<char>((s >> 8) & 0xFF);
            file += static_cast<char>(s & 0xFF);
        }
    }
    return file;
}

class PlayerRoad : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testsupport::MakeProgramFolder("road", {"host.exe", "in_atrac3ds.dll"}); }
    void TearDown() override { testsupport::RemoveTree(dir_); }

    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(testsupport::WriteFileBytes(dir_ + name, bytes));
        return dir_ + name;
    }
    std::string Tone(const char* name, int32_t ms) { return Write(name, MakeToneWav(ms)); }

    // Runs the player to its own end; it must neither crash nor hang.
    std::vector<Line> Run(const std::string& arguments, int expectedCode = 0) {
        std::string output;
        const int code =
            testsupport::RunCapture(Quote(dir_ + "host.exe") + " --auto-close-boxes " + arguments, output, 60000);
        printf("--- host %s\n%s", arguments.c_str(), output.c_str());
        EXPECT_EQ(code, expectedCode);
        EXPECT_EQ(output.find("[timed out]"), std::string::npos);
        const auto lines = testsupport::ParseHostOutput(output);
        EXPECT_TRUE(!lines.empty() && lines.back().word == "unload") << "the player reached its own end";
        return lines;
    }
    static size_t Find(const std::vector<Line>& lines,
                       const std::string& word,
                       size_t from = 0,
                       const std::string& key = "",
                       const std::string& value = "") {
        for (size_t i = from; i < lines.size(); ++i) {
            if (lines[i].Is(word, key, value))
                return i;
        }
        return lines.size();
    }
    std::string dir_;
};

TEST_F(PlayerRoad, AnAlbumPlaysToItsEndWithTheDefaultSettingsSkippingAMissingFile) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string media = testsupport::ReadFileBytes(testmedia::Path("atrac3_lp2_2500ms.oma"));
    const std::string first = Write("a.oma", media);
    const std::string last = Write("c.oma", TagBlock(TextFrame("TIT2", "Last") + TextFrame("TPE1", "Band")) + media);
    const auto lines = Run(Quote(first) + " " + Quote(dir_ + "b.oma") + " " + Quote(last));
    const auto plays = Only(lines, "play");
    ASSERT_EQ(plays.size(), 3u);
    EXPECT_EQ(plays[0].Number("index"), 0);
    EXPECT_EQ(plays[0].Number("result"), 0);
    EXPECT_EQ(plays[1].Number("index"), 1);
    EXPECT_EQ(plays[1].Number("result"), -1);
    EXPECT_EQ(plays[2].Number("index"), 2);
    EXPECT_EQ(plays[2].Number("result"), 0);
    EXPECT_EQ(Only(lines, "next-track").size(), 0u);
    // Each played track tells its end a second after the end rule; the missing one is passed by
    // the player itself, unpolled.
    const auto ends = Only(lines, "eof");
    ASSERT_EQ(ends.size(), 2u);
    size_t endNo = 0;
    for (const Line& l : lines) {
        if (l.Is("query", "what", "repeat") && endNo < ends.size()) {
            EXPECT_NEAR(ends[endNo].Number("t") - l.Number("t"), 1000, 300);
            ++endNo;
        }
    }
    EXPECT_EQ(endNo, 2u) << "one end rule per track";
    const size_t skip = Find(lines, "skip");
    ASSERT_LT(skip, lines.size());
    EXPECT_EQ(Find(lines, "pos", Find(lines, "play", 0, "index", "1")), Find(lines, "pos", skip))
        << "the failed entry is never polled";
    // The player ends stopped, after the last entry.
    const size_t stop = Find(lines, "stop", 0, "reason", "end-of-playlist");
    ASSERT_LT(stop, lines.size());
    EXPECT_GT(stop, Find(lines, "play", 0, "index", "2"));
    EXPECT_EQ(Only(lines, "end").size(), 1u);
    EXPECT_EQ(Only(lines, "end")[0].Field("reason"), "end-of-playlist");

    // The playlist's titles: the extended length for the files, GetFileInfo for the missing one;
    // the playing entry's title through GetFileInfo("").
    const auto entries = Only(lines, "entry");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Number("length"), 2481);
    EXPECT_EQ(entries[0].Field("via"), "extended");
    EXPECT_EQ(entries[0].Field("title"), "a.oma") << "no tag: the file's name";
    EXPECT_EQ(entries[1].Field("via"), "fileinfo");
    EXPECT_EQ(entries[1].Field("title"), "b.oma");
    EXPECT_EQ(entries[2].Field("via"), "extended");
    EXPECT_EQ(entries[2].Field("title"), "Band - Last");
    const auto titles = Only(lines, "title");
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0].Field("text"), "a.oma");
    EXPECT_EQ(titles[1].Field("text"), "c.oma");
    EXPECT_EQ(titles[0].Number("length"), 2481);
}

TEST_F(PlayerRoad, RepeatReentersThePlugInFromItsOwnTimerAndWraps) {
    const std::string a = Quote(Tone("a.wav", 1200));
    const std::string b = Quote(Tone("b.wav", 1200));
    const auto lines = Run("--repeat --passes 2 " + a + " " + b);
    // a, b, a, b: three commands move on, the fourth ends the second pass.
    const auto commands = Only(lines, "next-track");
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_TRUE(Only(lines, "eof").empty()) << "no end-of-track message beside the command";
    const auto plays = Only(lines, "play");
    ASSERT_EQ(plays.size(), 4u);
    for (size_t i = 0; i < plays.size(); ++i) {
        EXPECT_EQ(plays[i].Number("index"), static_cast<int64_t>(i % 2));
        EXPECT_EQ(plays[i].Number("result"), 0);
    }
    // Each command is answered with Stop and Play before anything else happens.
    for (size_t at = 0; (at = Find(lines, "next-track", at)) < lines.size() - 1; ++at) {
        if (lines[at + 1].Is("end"))
            continue;
        EXPECT_TRUE(lines[at + 1].Is("stop", "reason", "next-track")) << lines[at + 1].text;
        if (!lines[at + 2].Is("end")) {
            EXPECT_TRUE(lines[at + 2].Is("play")) << lines[at + 2].text;
        }
    }
    EXPECT_EQ(Only(lines, "end").back().Field("reason"), "passes");
}

TEST_F(PlayerRoad, FailedPlaysMoveOnByThemselvesAndAsManyAsEntriesStop) {
    const auto lines = Run(Quote(dir_ + "x.oma") + " " + Quote(dir_ + "y.oma") + " " + Quote(dir_ + "z.oma"));
    const auto plays = Only(lines, "play");
    ASSERT_EQ(plays.size(), 3u);
    for (const Line& p : plays)
        EXPECT_EQ(p.Number("result"), -1);
    EXPECT_TRUE(Only(lines, "pos").empty()) << "a failed track is never polled";
    EXPECT_EQ(Only(lines, "end").back().Field("reason"), "failures");
}

TEST_F(PlayerRoad, TheLibraryScansInItsOrderWhileTheUiThreadPlays) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string media = testsupport::ReadFileBytes(testmedia::Path("atrac3_lp2_2500ms.oma"));
    const std::string tagged =
        Write("tagged.oma", TagBlock(TextFrame("TIT2", "Song") + TextFrame("TPE1", "Band") + TextFrame("TRCK", "4/9") +
                                     TextFrame("TPUB", "Label") + TextFrame("TBPM", "96") +
                                     TextFrame("TXXX", std::string("REPLAYGAIN_TRACK_GAIN") + '\0' + "-3.10 dB")) +
                                media);
    const std::string plain = Write("plain.oma", media);
    const auto lines =
        Run("--beside " + Quote(Tone("beside.wav", 3000)) + " --fields " + Quote(tagged) + " " + Quote(plain));
    EXPECT_EQ(Only(lines, "play").front().Number("result"), 0);
    const size_t start = Find(lines, "road");
    ASSERT_LT(start, lines.size());
    EXPECT_LT(Find(lines, "pos"), start) << "the scan runs while a track plays";

    std::vector<std::string> names;
    std::map<std::string, std::pair<int64_t, std::string>> of;
    for (const Line& l : Only(lines, "field")) {
        if (l.Field("file").find("tagged.oma") == std::string::npos)
            continue;
        names.push_back(l.Field("name"));
        of[l.Field("name")] = {l.Number("known"), l.Field("value")};
    }
    const std::vector<std::string> order = {"type",
                                            "length",
                                            "bitrate",
                                            "title",
                                            "artist",
                                            "album",
                                            "comment",
                                            "year",
                                            "genre",
                                            "track",
                                            "disc",
                                            "albumartist",
                                            "publisher",
                                            "composer",
                                            "replaygain_album_gain",
                                            "replaygain_track_gain",
                                            "bpm",
                                            "lossless",
                                            "category",
                                            "codec",
                                            "rating",
                                            "mime"};
    EXPECT_EQ(names, order);
    EXPECT_EQ(of["type"], std::make_pair(int64_t{1}, std::string("0")));
    EXPECT_EQ(of["length"], std::make_pair(int64_t{1}, std::string("2481")));
    EXPECT_EQ(of["track"], std::make_pair(int64_t{1}, std::string("4/9")));
    EXPECT_EQ(of["publisher"], std::make_pair(int64_t{1}, std::string("Label")));
    EXPECT_EQ(of["bpm"], std::make_pair(int64_t{1}, std::string("96")));
    EXPECT_EQ(of["codec"], std::make_pair(int64_t{1}, std::string("ATRAC3")));
    EXPECT_EQ(of["replaygain_track_gain"], std::make_pair(int64_t{1}, std::string("-3.10 dB")));
    EXPECT_EQ(of["replaygain_album_gain"], std::make_pair(int64_t{1}, std::string()));
    EXPECT_EQ(of["album"].first, 0);

    // An untagged file: after a title that answers 0 the library asks nothing more.
    size_t plainFields = 0;
    for (const Line& l : Only(lines, "field"))
        plainFields += l.Field("file").find("plain.oma") != std::string::npos ? 1 : 0;
    EXPECT_EQ(plainFields, 4u);
}

TEST_F(PlayerRoad, ReplayGainMeasuresWhatItMayAndSkipsWhatItMayNot) {
    const std::string sine = Write("sine.oma", LpcmSine(0.1, 200));  // 1.16 s at -20 dBFS
    std::string locked = LpcmSine(0.1, 20);
    locked[6] = 0;
    locked[7] = 1;
    const std::string encrypted = Write("locked.oma", locked);
    const auto lines = Run("--beside " + Quote(Tone("beside.wav", 3000)) + " --replaygain " + Quote(sine) + " " +
                           Quote(encrypted) + " " + Quote(dir_ + "missing.oma"));
    const auto results = Only(lines, "replaygain");
    ASSERT_GE(results.size(), 3u);
    EXPECT_EQ(results[0].Field("result"), "ok");
    EXPECT_EQ(results[0].Field("before"), "") << "a plain file without a gain answers empty";
    // A 1 kHz sine at a tenth of full scale is 20 dB below the reference's -18 LUFS, less 2 dB.
    const std::string gain = results[0].Field("gain");
    ASSERT_EQ(gain.substr(gain.size() - 3), " dB");
    EXPECT_NEAR(std::stod(gain), 2.0, 0.05) << gain;
    EXPECT_NEAR(std::stod(results[0].Field("peak")), 0.1, 0.0005);
    EXPECT_EQ(results[0].Number("request-bytes"), 16384);
    EXPECT_EQ(results[1].Field("result"), "skipped") << "encrypted: the gate answers 0";
    EXPECT_EQ(results[2].Field("result"), "skipped") << "missing";
    // The values are stored where the plug-in can write tags, and only printed otherwise.
    if (results.size() > 3) {
        EXPECT_TRUE(results[3].Field("stored") == "1" || results[3].Field("reason") == "no-export") << results[3].text;
    }
    EXPECT_EQ(Only(lines, "play").front().Number("result"), 0);
}

TEST_F(PlayerRoad, TheConvertersKillswitchDuringAReadAndAFailedOpenIsClosed) {
    SKIP_WITHOUT_MEDIA("atrac3_lp4_mix_20s.oma");
    const std::string out = dir_ + "out.wav";
    auto lines = Run("--beside " + Quote(Tone("beside.wav", 3000)) + " --cancel-after 0 --convert " + Quote(out) + " " +
                     Quote(testmedia::Path("atrac3_lp4_mix_20s.oma")));
    const auto set = Only(lines, "cancel");
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(set[0].Number("in-read"), 1) << "set while a getData ran";
    EXPECT_EQ(set[1].Number("in-read"), 1);
    EXPECT_LT(set[1].Number("returned-ms"), 1000) << "that getData returns within a second";
    const auto converted = Only(lines, "convert");
    ASSERT_EQ(converted.size(), 1u);
    EXPECT_EQ(converted[0].Field("result"), "cancelled");
    EXPECT_EQ(converted[0].Number("request-bytes"), 65536);

    // A file that cannot be opened: refused, closed all the same, and nothing breaks.
    lines = Run("--convert " + Quote(out) + " " + Quote(dir_ + "missing.oma"), 1);
    ASSERT_EQ(Only(lines, "convert").size(), 1u);
    EXPECT_EQ(Only(lines, "convert")[0].Field("result"), "refused");
}

TEST_F(PlayerRoad, TheBurnerReadsCdAudio) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const auto lines = Run("--burn " + Quote(testmedia::Path("atrac3_lp2_2500ms.oma")) + " " + Quote(dir_ + "cd.wav"));
    const auto burns = Only(lines, "burn");
    ASSERT_EQ(burns.size(), 1u);
    EXPECT_EQ(burns[0].Field("result"), "ok");
    EXPECT_EQ(burns[0].Number("resampled"), 0);
    EXPECT_EQ(burns[0].Number("request-bytes"), 16384);
    EXPECT_EQ(burns[0].Number("bytes"), 109430 * 4) << "every sample of the stream, as CD audio";
}

TEST_F(PlayerRoad, TheBurnerResamplesWhatIsNotCdAudio) {
    // MP3 inside OMA, mono at 48 kHz, exactly 4 s long (made at build time by ffmpeg).
    std::string mono = std::string("Z:") + ATRAC3DS_MP3_MEDIA_DIR + "/mp3-mono48.oma";
    for (char& c : mono) {
        if (c == '/')
            c = '\\';
    }
    const auto lines = Run("--burn " + Quote(mono));
    const auto burns = Only(lines, "burn");
    ASSERT_EQ(burns.size(), 1u);
    EXPECT_EQ(burns[0].Field("result"), "ok");
    EXPECT_EQ(burns[0].Number("channels"), 1);
    EXPECT_EQ(burns[0].Number("rate"), 48000);
    EXPECT_EQ(burns[0].Number("resampled"), 1);
    EXPECT_EQ(burns[0].Number("request-bytes"), 4096) << "at most 4096 through the resampler";
    // Four seconds of CD audio, give or take the last input frame's interpolation.
    EXPECT_NEAR(burns[0].Number("bytes"), 4 * 44100 * 4, 2 * 4);
}

}  // namespace
