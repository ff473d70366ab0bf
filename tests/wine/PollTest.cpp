// The position poll and the end of a track, end to end: the stand-in player plays generated WAVs
// through the DLL, polling every 100 ms as the player does, and its output is read back line by line. Each run
// works in a scratch copy of the player, so the settings file it reads is the one written here.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"

namespace {

using Line = testsupport::HostLine;

class Poll : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testsupport::MakeProgramFolder("poll", {"host.exe", "in_atrac3ds.dll"}); }
    void TearDown() override { testsupport::RemoveTree(dir_); }

    std::string Tone(const char* name, int32_t ms) {
        const std::string path = dir_ + name;
        EXPECT_TRUE(testsupport::WriteFileBytes(path, MakeToneWav(ms)));
        return path;
    }
    // Runs the player with the arguments and returns its lines; the output goes to the log.
    std::vector<Line> Run(const std::string& arguments) {
        std::string output;
        const int code =
            testsupport::RunCapture(testsupport::Quote(dir_ + "host.exe") + " " + arguments, output, 60000);
        printf("--- host %s\n%s", arguments.c_str(), output.c_str());
        EXPECT_EQ(code, 0);
        EXPECT_EQ(output.find("[timed out]"), std::string::npos);
        return testsupport::ParseHostOutput(output);
    }
    static size_t Count(const std::vector<Line>& lines,
                        const std::string& word,
                        const std::string& key = "",
                        const std::string& value = "") {
        size_t n = 0;
        for (const auto& line : lines)
            n += line.Is(word, key, value) ? 1 : 0;
        return n;
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

TEST_F(Poll, PositionsAdvanceAndTheEndingPollStopsHidesAndWritesZero) {
    const auto lines = Run(testsupport::Quote(Tone("a.wav", 2500)));

    // Positions rise through the track, and the bar follows them.
    int64_t last = -1;
    size_t rising = 0;
    size_t i = Find(lines, "pos");
    for (; i < lines.size() && !lines[i].Is("pos", "ms", "-1"); ++i) {
        if (!lines[i].Is("pos"))
            continue;
        EXPECT_GE(lines[i].Number("ms"), last);
        last = lines[i].Number("ms");
        ++rising;
    }
    EXPECT_GE(rising, 10u);
    EXPECT_GE(last, 1700);
    EXPECT_LT(last, 2500) << "the last 500 ms are not played";
    EXPECT_EQ(Count(lines, "bar", "text", "00:00:01"), 1u);

    // The ending poll: shuffle asked before repeat, once; the window hidden; -1 and 00:00:00.
    const size_t shuffle = Find(lines, "query", 0, "what", "shuffle");
    ASSERT_LT(shuffle, lines.size());
    EXPECT_TRUE(lines[shuffle + 1].Is("query", "what", "repeat"));
    EXPECT_TRUE(lines[shuffle + 2].Is("window", "visible", "0"));
    EXPECT_TRUE(lines[shuffle + 3].Is("pos", "ms", "-1"));
    EXPECT_TRUE(lines[shuffle + 4].Is("bar", "text", "00:00:00"));
    EXPECT_EQ(Count(lines, "query", "what", "shuffle"), 1u) << "a longer track ends once";
    EXPECT_EQ(Count(lines, "next-track"), 0u) << "shuffle and repeat both off";
    // A second later the end-of-track message, once; the player finds no next entry and stops.
    ASSERT_EQ(Count(lines, "eof"), 1u);
    const size_t eof = Find(lines, "eof");
    EXPECT_EQ(lines[eof].Number("wParam"), 0);
    EXPECT_EQ(lines[eof].Number("lParam"), 0);
    EXPECT_NEAR(lines[eof].Number("t") - lines[shuffle + 1].Number("t"), 1000, 300);
    EXPECT_TRUE(lines[eof + 1].Is("stop", "reason", "end-of-playlist"));
    EXPECT_EQ(Count(lines, "end", "reason", "end-of-playlist"), 1u);
}

TEST_F(Poll, NextTrackComesOnceASecondAfterEachEndWithShuffleOrRepeat) {
    const std::string a = testsupport::Quote(Tone("a.wav", 1500));
    const std::string b = testsupport::Quote(Tone("b.wav", 1500));
    for (const std::string& arguments : {"--shuffle " + a + " " + b, "--repeat --passes 1 " + a + " " + b}) {
        const auto lines = Run(arguments);
        EXPECT_EQ(Count(lines, "next-track"), 2u) << arguments;
        EXPECT_EQ(Count(lines, "eof"), 0u) << "never both: the player would skip an entry";
        EXPECT_EQ(Count(lines, "query", "what", "shuffle"), 2u);
        // The next track's name stays on the bar only until its first poll writes a time.
        const size_t named = Find(lines, "bar", Find(lines, "play", 0, "index", "1"), "text", "b.wav");
        EXPECT_LT(Find(lines, "bar", named, "text", "00:00:00"), lines.size()) << arguments;
        for (size_t at = 0; (at = Find(lines, "next-track", at)) < lines.size(); ++at) {
            size_t query = at;
            while (query > 0 && !lines[query].Is("query", "what", "repeat"))
                --query;
            const int64_t wait = lines[at].Number("t") - lines[query].Number("t");
            EXPECT_GE(wait, 950) << arguments;
            EXPECT_LE(wait, 2000) << arguments;
        }
    }
}

TEST_F(Poll, AHostStopOrPlayWithinTheSecondCancelsWhatFollowsTheEnd) {
    const std::string a = testsupport::Quote(Tone("a.wav", 1500));
    const std::string b = testsupport::Quote(Tone("b.wav", 6000));
    for (const char* settings : {"--shuffle ", ""}) {
        for (const char* choice : {"stop", "play 1"}) {
            const auto lines = Run(std::string(settings) + "--script \"play 0; wait 1700; " + choice +
                                   "; wait 1600; quit\" " + a + " " + b);
            const size_t end = Find(lines, "query", 0, "what", "shuffle");
            ASSERT_LT(end, lines.size()) << choice << ": the track ended before the host's command";
            EXPECT_LT(end, choice[0] == 's' ? Find(lines, "stop", 0, "reason", "script")
                                            : Find(lines, "play", 0, "index", "1"));
            EXPECT_EQ(Count(lines, "next-track"), 0u) << settings << choice;
            EXPECT_EQ(Count(lines, "eof"), 0u) << settings << choice;
        }
    }
}

TEST_F(Poll, UnderHalfASecondEveryPollEndsAndTheWaitIsNotRestarted) {
    const std::string tone = testsupport::Quote(Tone("short.wav", 300));
    auto lines = Run("--shuffle " + tone);
    EXPECT_GE(Count(lines, "query", "what", "shuffle"), 8u) << "each poll runs the end rule again";
    EXPECT_EQ(Count(lines, "next-track"), 1u);
    const size_t first = Find(lines, "query", 0, "what", "shuffle");
    const size_t next = Find(lines, "next-track");
    ASSERT_LT(next, lines.size());
    EXPECT_GE(lines[next].Number("t") - lines[first].Number("t"), 950);
    EXPECT_LE(lines[next].Number("t") - lines[first].Number("t"), 2000);
    for (const auto& line : lines) {
        if (line.Is("pos")) {
            EXPECT_EQ(line.Number("ms"), -1);
        }
    }

    lines = Run("--script \"play 0; wait 1500; quit\" " + tone);
    EXPECT_GE(Count(lines, "query", "what", "repeat"), 8u);
    EXPECT_EQ(Count(lines, "next-track"), 0u) << "shuffle and repeat both off";
}

TEST_F(Poll, TheBarUsesTheFormatOfTheSettingsFile) {
    ASSERT_TRUE(testsupport::WriteFileBytes(dir_ + "MorlunePlugin.ini", "[Integers]\r\nTime=3\r\n"));
    const auto lines = Run(testsupport::Quote(Tone("a.wav", 2500)));
    EXPECT_EQ(Count(lines, "bar", "text", "00:00:01/00:00:02"), 1u) << "remaining time and length";
    const size_t end = Find(lines, "pos", 0, "ms", "-1");
    ASSERT_LT(end + 1, lines.size());
    // After the end the position reads -1: the remaining time is the length plus 1 ms.
    EXPECT_TRUE(lines[end + 1].Is("bar", "text", "00:00:02/00:00:02"));
}

}  // namespace
