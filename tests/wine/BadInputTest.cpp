// What users hand a player: names that are no file, files that are no media, and settings files
// that are damaged, locked or taken away while the plug-in runs. Each case runs the real DLL in the
// stand-in player, in a folder of its own (the settings file lives beside the player's program),
// with message boxes printed and closed by the player so that nothing waits for a person.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/wine/MediaDir.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"

namespace {

using testsupport::Quote;

using Line = testsupport::HostLine;
using testsupport::Only;
using testsupport::ReadFileBytes;

std::string Ansi(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.resize(strlen(s.c_str()));
    return s;
}

// A folder holding its own copy of the player and the plug-in, and so its own settings file.
class PlayerFolder {
public:
    PlayerFolder() : dir_(testsupport::MakeProgramFolder("badinput", {"host.exe", "in_atrac3ds.dll"})) {}
    ~PlayerFolder() { testsupport::RemoveTree(dir_); }

    const std::string& Dir() const { return dir_; }
    std::string Settings() const { return dir_ + "MorlunePlugin.ini"; }
    std::string Tone() {
        const std::string path = dir_ + "tone.wav";
        testsupport::WriteFileBytes(path, MakeToneWav(3000));
        return path;
    }

    // Runs the player with the options and files (already quoted as needed); the exit code is
    // kept in exitCode.
    std::vector<Line> Run(const std::string& arguments) {
        std::string output;
        exitCode =
            testsupport::RunCapture(Quote(dir_ + "host.exe") + " --auto-close-boxes " + arguments, output, 60000);
        SCOPED_TRACE(output);
        lastOutput = output;
        return testsupport::ParseHostOutput(output);
    }

    int exitCode = -1;
    std::string lastOutput;

private:
    std::string dir_;
};

// The player reached its own end: no crash, no hang.
void ExpectCleanExit(const PlayerFolder& player, const std::vector<Line>& lines) {
    EXPECT_EQ(player.exitCode, 0) << player.lastOutput;
    EXPECT_FALSE(lines.empty() || lines.back().word != "unload") << player.lastOutput;
}

// ---- Names that are no playable file -----------------------------------------------------------

TEST(BadPathTest, NamesOfNoFileReturnMinusOneWithoutABoxAndPlaybackStillWorks) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    const std::string folder = player.Dir() + "folder.oma";
    CreateDirectoryA(folder.c_str(), nullptr);
    // 300 and 5000 characters in all; neither exists.
    std::string long300 = player.Dir();
    long300.append(300 - long300.size() - 4, 'a').append(".oma");
    std::string long5000 = player.Dir();
    long5000.append(5000 - long5000.size() - 4, 'b').append(".oma");
    ASSERT_EQ(long300.size(), 300u);

    const auto lines = player.Run("--script \"play 0; play 1; play 2; info; play 3; play 4; wait 1200; quit\" \"\" " +
                                  Quote(long300) + " " + Quote(long5000) + " " + Quote(folder) + " " + Quote(tone));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    const auto plays = Only(lines, "play");
    ASSERT_EQ(plays.size(), 5u) << player.lastOutput;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(plays[static_cast<size_t>(i)].Number("result"), -1) << plays[i].text;
    EXPECT_EQ(plays[4].Number("result"), 0) << plays[4].text;

    // The title of the 5000-character name is cut to fit the player's 2048-byte buffer.
    const auto infos = Only(lines, "info");
    ASSERT_EQ(infos.size(), 1u);
    std::string cutName;
    for (int i = 0; i < 2047; ++i)
        cutName += "62";  // 'b'
    EXPECT_EQ(infos[0].Field("title.hex"), cutName);

    // After all that, the tone plays.
    bool advanced = false;
    for (const Line& l : Only(lines, "pos"))
        advanced = advanced || l.Number("ms") > 0;
    EXPECT_TRUE(advanced) << player.lastOutput;
}

// ---- Files that exist but hold no media this machine can render --------------------------------

TEST(BadFileTest, UnrenderableFilesShowTheBoxReturnFailureAndLeaveThePlugInWorking) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    const std::string empty = player.Dir() + "empty.wav";
    const std::string cutHeader = player.Dir() + "cut-header.wav";
    const std::string noise = player.Dir() + "noise.oma";
    testsupport::WriteFileBytes(empty, "");
    testsupport::WriteFileBytes(cutHeader, MakeToneWav(3000).substr(0, 30));
    testsupport::WriteFileBytes(noise, testsupport::NoiseBytes(4096, 7));

    const auto lines = player.Run("--script \"play 0; play 1; play 2; play 3; wait 1200; quit\" " + Quote(empty) + " " +
                                  Quote(cutHeader) + " " + Quote(noise) + " " + Quote(tone));
    ExpectCleanExit(player, lines);
    // Each failed file shows the render box once, before its play line.
    std::vector<std::string> boxesBefore;
    std::vector<int64_t> results;
    std::string pending;
    for (const Line& l : lines) {
        if (l.word == "box")
            pending += l.Field("text") + "|";
        if (l.word == "play") {
            boxesBefore.push_back(pending);
            results.push_back(l.Number("result"));
            pending.clear();
        }
    }
    ASSERT_EQ(results.size(), 4u) << player.lastOutput;
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(boxesBefore[i], "无法执行文件|") << "file " << i << "\n" << player.lastOutput;
        EXPECT_NE(results[i], 0) << "file " << i;
        EXPECT_NE(results[i], -1) << "file " << i << " exists, so it is not reported as missing";
    }
    EXPECT_EQ(boxesBefore[3], "");
    EXPECT_EQ(results[3], 0);
    bool advanced = false;
    for (const Line& l : Only(lines, "pos"))
        advanced = advanced || l.Number("ms") > 0;
    EXPECT_TRUE(advanced) << player.lastOutput;
}

TEST(BadFileTest, AWavCutInItsSamplesPlaysWhatIsThere) {
    PlayerFolder player;
    const std::string wav = MakeToneWav(3000);
    const std::string cut = player.Dir() + "cut-data.wav";
    testsupport::WriteFileBytes(cut, wav.substr(0, wav.size() / 2));
    const auto lines = player.Run("--seconds 2.5 " + Quote(cut));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    const auto plays = Only(lines, "play");
    ASSERT_FALSE(plays.empty());
    EXPECT_EQ(plays[0].Number("result"), 0);
    bool advanced = false;
    for (const Line& l : Only(lines, "pos"))
        advanced = advanced || l.Number("ms") > 0;
    EXPECT_TRUE(advanced) << player.lastOutput;
}

TEST(BadFileTest, ARealAtrac3FileTheMachineCannotRenderPlaysThroughOurOwnSource) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    PlayerFolder player;
    const auto lines = player.Run("--seconds 1.5 " + Quote(testmedia::Path("atrac3_lp2_2500ms.oma")));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    const auto plays = Only(lines, "play");
    ASSERT_FALSE(plays.empty()) << player.lastOutput;
    EXPECT_EQ(plays[0].Number("result"), 0);
    // 108 frames of 1024 samples less the decoder's 1162 at 44.1 kHz.
    EXPECT_EQ(plays[0].Number("length"), 2481);
    bool advanced = false;
    for (const auto& l : Only(lines, "pos")) advanced = advanced || l.Number("ms") > 0;
    EXPECT_TRUE(advanced) << player.lastOutput;
}

// ---- The settings file -------------------------------------------------------------------------

// Bar texts seen while a track played, times only.
std::vector<std::string> BarTimes(const std::vector<Line>& lines) {
    std::vector<std::string> times;
    for (const Line& l : Only(lines, "bar")) {
        const std::string text = l.Field("text");
        if (!text.empty() && text[0] >= '0' && text[0] <= '9')
            times.push_back(text);
    }
    return times;
}

// Elapsed time alone is "hh:nn:ss"; with the length after a slash it is 17 characters. The first
// polls can come before the settings start-up (50 ms after Init), so only the last text tells
// which format the file chose.
size_t LastTimeLength(const std::vector<std::string>& times) {
    return times.empty() ? 0 : times.back().size();
}

bool AllElapsedOnly(const std::vector<std::string>& times) {
    if (times.empty())
        return false;
    for (const std::string& t : times) {
        if (t.size() != 8)
            return false;
    }
    return true;
}

// Holds a file open with no sharing, as an editor or a backup program might.
class FileLock {
public:
    explicit FileLock(const std::string& path)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~FileLock() { Release(); }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release() {
        if (Held())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

std::string SaveAndClose() {
    return "config; wait 400; click " + Ansi(L"保存(&S)") + "; wait 400; click " + Ansi(L"关闭(&C)") + "; wait 300";
}

TEST(BadSettingsTest, ASettingsPathThatIsAFolderGivesTheWriteErrorOnce) {
    PlayerFolder player;
    ASSERT_TRUE(CreateDirectoryA(player.Settings().c_str(), nullptr));
    const auto lines = player.Run("--seconds 1");
    ExpectCleanExit(player, lines);
    const auto boxes = Only(lines, "box");
    ASSERT_EQ(boxes.size(), 1u) << player.lastOutput;
    const std::string expected = "Unable to write to " + player.Dir() + "MorlunePlugin.INI.";
    EXPECT_EQ(
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, boxes[0].Field("text").c_str(), -1, expected.c_str(), -1),
        CSTR_EQUAL)
        << boxes[0].text << "\nexpected " << expected;
    EXPECT_NE(GetFileAttributesA(player.Settings().c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(BadSettingsTest, AReadOnlyFileIsLoadedAndASaveLosesNothingTheUserWrote) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    const std::string mine = "; written by hand\r\n[Integers]\r\nTime=1\r\n[Mine]\r\nKeep=this\r\n";
    ASSERT_TRUE(testsupport::WriteFileBytes(player.Settings(), mine));
    SetFileAttributesA(player.Settings().c_str(), FILE_ATTRIBUTE_READONLY);

    const auto lines = player.Run("--script \"play 0; wait 1200; " + SaveAndClose() + "; quit\" " + Quote(tone));
    ExpectCleanExit(player, lines);
    EXPECT_EQ(LastTimeLength(BarTimes(lines)), 17u) << "format 1 from the file\n" << player.lastOutput;
    SetFileAttributesA(player.Settings().c_str(), FILE_ATTRIBUTE_NORMAL);
    const auto boxes = Only(lines, "box");
    if (!boxes.empty()) {
        // The platform refused the write: the file is as the user left it.
        ASSERT_EQ(boxes.size(), 1u) << player.lastOutput;
        EXPECT_EQ(boxes[0].Field("text").rfind("Unable to write to ", 0), 0u) << boxes[0].text;
        EXPECT_EQ(ReadFileBytes(player.Settings()), mine);
    } else {
        // Wine lets an administrator write a read-only file: the save then keeps the user's own lines.
        const std::string now = ReadFileBytes(player.Settings());
        EXPECT_NE(now.find("; written by hand"), std::string::npos) << now;
        EXPECT_NE(now.find("[Mine]\r\nKeep=this"), std::string::npos) << now;
        EXPECT_EQ(GetPrivateProfileIntA("Integers", "Time", -7, player.Settings().c_str()), 1);
    }
}

TEST(BadSettingsTest, AFileLockedByAnotherProgramRefusesTheSaveAndKeepsEveryByte) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    const std::string mine = "[Integers]\r\nTime=1\r\n[Mine]\r\nKeep=this\r\n";
    ASSERT_TRUE(testsupport::WriteFileBytes(player.Settings(), mine));
    FileLock lock(player.Settings());
    ASSERT_TRUE(lock.Held());

    const auto lines = player.Run("--script \"play 0; wait 1200; " + SaveAndClose() + "; quit\" " + Quote(tone));
    lock.Release();
    ExpectCleanExit(player, lines);
    // The load could not read the file either: the defaults stay in force.
    EXPECT_TRUE(AllElapsedOnly(BarTimes(lines))) << player.lastOutput;
    const auto boxes = Only(lines, "box");
    ASSERT_EQ(boxes.size(), 1u) << player.lastOutput;
    const std::string expected = "Unable to write to " + player.Dir() + "MorlunePlugin.INI.";
    EXPECT_EQ(
        CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, boxes[0].Field("text").c_str(), -1, expected.c_str(), -1),
        CSTR_EQUAL)
        << boxes[0].text << "\nexpected " << expected;
    EXPECT_EQ(ReadFileBytes(player.Settings()), mine);
}

TEST(BadSettingsTest, BinaryGarbageLoadsAsDefaultsAndIsLeftAlone) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    std::string garbage = testsupport::NoiseBytes(65536, 11);
    garbage[100] = '\0';
    ASSERT_TRUE(testsupport::WriteFileBytes(player.Settings(), garbage));
    const auto lines = player.Run("--seconds 4 " + Quote(tone));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    EXPECT_TRUE(AllElapsedOnly(BarTimes(lines))) << player.lastOutput;
    EXPECT_EQ(ReadFileBytes(player.Settings()), garbage);
}

TEST(BadSettingsTest, LinesOf100000CharactersDoNotHideTheKeysAfterThem) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    std::string text = "[Strings]\r\nFont=" + std::string(100000, 'A') + "\r\n[Integers]\r\nJunk=";
    text.append(100000, '9').append("\r\n").append(100000, 'x').append("\r\nTime=3\r\n");
    ASSERT_TRUE(testsupport::WriteFileBytes(player.Settings(), text));
    const auto lines = player.Run("--seconds 4 " + Quote(tone));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    // Format 3 (remaining/length) was read from behind the long lines.
    EXPECT_EQ(LastTimeLength(BarTimes(lines)), 17u) << player.lastOutput;
}

TEST(BadSettingsTest, OutOfRangeNumbersAreNotNumbers) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    ASSERT_TRUE(testsupport::WriteFileBytes(player.Settings(),
                                            "[Integers]\r\nTime=99999999999\r\nColor=-99999999999\r\nFontSz=0\r\n"));
    const auto lines = player.Run("--seconds 4 " + Quote(tone));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    // "Time" does not fit 32 bits, so the format stays at elapsed time (a wrapped or clamped
    // value would have chosen another).
    EXPECT_TRUE(AllElapsedOnly(BarTimes(lines))) << player.lastOutput;
}

TEST(BadSettingsTest, AFileDeletedWhileRunningIsWrittenAgainByTheNextSave) {
    PlayerFolder player;
    const std::string tone = player.Tone();
    ASSERT_TRUE(testsupport::WriteFileBytes(player.Settings(), "[Integers]\r\nTime=1\r\n[Mine]\r\nKeep=this\r\n"));
    const auto lines = player.Run("--script \"play 0; wait 800; delete " + player.Settings() + "; wait 300; " +
                                  SaveAndClose() + "; quit\" " + Quote(tone));
    ExpectCleanExit(player, lines);
    EXPECT_TRUE(Only(lines, "box").empty()) << player.lastOutput;
    const auto deletes = Only(lines, "delete");
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].Number("result"), 1);
    // The settings in force, loaded from the first file, are what the save writes.
    EXPECT_EQ(GetPrivateProfileIntA("Integers", "Time", -7, player.Settings().c_str()), 1);
    EXPECT_EQ(GetPrivateProfileIntA("Boolean", "TimeBar", -7, player.Settings().c_str()), 1);
    char caption[64] = {};
    GetPrivateProfileStringA("VideoForm", "TmPanel", "none", caption, sizeof caption, player.Settings().c_str());
    EXPECT_STREQ(caption, "1");
}

}  // namespace
