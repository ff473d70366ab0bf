// OMA files end to end, on Wine's real DirectShow, which renders none of them by itself: the real
// media and variants of them made here (a tag block in front, a cut, random frames, damaged
// headers), first through the engine in this process, where the graph's filters, its events and
// the notices can be seen, then through the stand-in player and the DLL, as a user meets them.
#include "base/Notify.h"
#include "decode/CpuFeatures.h"
#include "engine/AsyncSource.h"
#include "engine/Morlune.h"
#include "decode/WinFileBytes.h"
#include "host/ExtendedFields.h"
#include "tests/wine/MediaDir.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Lengths worked out by hand: frames x samples per frame - the decoder's delay (1162 for ATRAC3,
// 4464 for ATRAC3plus), at 44.1 kHz, in whole milliseconds.
struct Medium {
    const char* name;
    int32_t lengthMs;
    int32_t frameMs;  // one frame's duration, rounded up: the seek tolerance
};
const Medium kMedia[] = {
    {"atrac3_lp2_2500ms.oma", 2481, 24},         // 108 x 1024 - 1162 = 109430 samples
    {"atrac3_lp2_tone_10s.oma", 10004, 24},      // 432 x 1024 - 1162 = 441206
    {"atrac3_lp4_tone_10s.oma", 10004, 24},      // the same frame count, joint stereo
    {"atrac3_lp4_mix_20s.oma", 20035, 24},       // 864 x 1024 - 1162 = 883574
    {"atrac3plus_352k_tone_10s.oma", 9929, 47},  // 216 x 2048 - 4464 = 437904
    {"atrac3_94k_js_3100ms.oma", 3108, 24},      // 135 x 1024 - 1162 = 137078, 272-byte frames
    {"atrac3_176k_3100ms.oma", 3108, 24},        // the same, 512-byte frames
};

constexpr size_t kHeader = 96;
constexpr size_t kLp2Frame = 384;  // atrac3_lp2_2500ms.oma
constexpr size_t kPlusFrame = 2048;

// An "ea3" tag block (ID3v2.3 under another magic) holding a title, a TLEN when asked for, and
// padding; the block's size is written syncsafe, or as given when it is to lie.
std::string TagBlock(int32_t tlenMs = -1, uint32_t statedSize = 0) {
    auto frame = [](const std::string& id, const std::string& content) {
        const auto n = static_cast<uint32_t>(content.size());
        return id + std::string{static_cast<char>(n >> 24),
                                static_cast<char>(n >> 16),
                                static_cast<char>(n >> 8),
                                static_cast<char>(n),
                                0,
                                0} +
               content;
    };
    std::string body = frame("TIT2", std::string(1, '\0') + "tone");
    if (tlenMs >= 0)
        body += frame("TLEN", std::string(1, '\0') + std::to_string(tlenMs));
    body.resize(500, '\0');
    const uint32_t size = statedSize ? statedSize : static_cast<uint32_t>(body.size());
    return std::string("ea3\x03\x00\x00", 6) +
           std::string{static_cast<char>((size >> 21) & 0x7F), static_cast<char>((size >> 14) & 0x7F),
                       static_cast<char>((size >> 7) & 0x7F), static_cast<char>(size & 0x7F)} +
           body;
}

std::string WithByte(std::string bytes, size_t at, uint8_t value) {
    bytes[at] = static_cast<char>(value);
    return bytes;
}

// The variants of the real media, by what they should do. Offsets in the header: the encryption
// id at 6-7, the codec byte at 32, the low 10 bits of the parameters at 34-35 are the frame size
// in units of 8 bytes.
struct Variants {
    std::string lp2;   // atrac3_lp2_2500ms.oma: 108 frames of 384 bytes
    std::string plus;  // atrac3plus_352k_tone_10s.oma: 216 frames of 2048 bytes

    std::string TagInFront() const { return TagBlock() + lp2; }
    std::string TaggedLength() const { return TagBlock(1500) + lp2; }
    // 50 whole frames and a third of the next.
    std::string Cut() const { return lp2.substr(0, kHeader + 50 * kLp2Frame + 128); }
    // Ten real frames, then noise to the file's size.
    std::string NoiseAfterGood() const {
        return lp2.substr(0, kHeader + 10 * kLp2Frame) + testsupport::NoiseBytes(98 * kLp2Frame, 3);
    }
    std::string NoiseFrames() const { return lp2.substr(0, kHeader) + testsupport::NoiseBytes(108 * kLp2Frame, 5); }
    std::string PlusNoiseFrames() const {
        return plus.substr(0, kHeader) + testsupport::NoiseBytes(40 * kPlusFrame, 9);
    }
    std::string PlusNoiseAfterGood() const {
        return plus.substr(0, kHeader + 5 * kPlusFrame) + testsupport::NoiseBytes(35 * kPlusFrame, 11);
    }

    std::string HeaderOnly() const { return lp2.substr(0, kHeader); }
    std::string HeaderAndPartOfAFrame() const { return lp2.substr(0, kHeader + kLp2Frame - 1); }
    std::string TagPastEnd() const { return TagBlock(-1, 0x0FFFFFFF) + lp2; }
    std::string UnknownCodec() const { return WithByte(lp2, 32, 0x42); }
    std::string OddFrameSize() const { return WithByte(lp2, 35, 0x20); }  // 256 bytes
    std::string Encrypted() const { return WithByte(WithByte(lp2, 6, 0x00), 7, 0x00); }
};

const std::wstring kCannotPlay = L"无法执行文件";

// MP3 inside OMA, made at build time (tests/media/make-mp3-oma): 4 s of encoder input each, with
// a LAME-style header, so the length is exactly 4000 ms however the frames fall.
const char* const kMp3Media[] = {"mp3-cbr.oma", "mp3-vbr.oma", "mp3-mono48.oma"};

std::string Mp3Path(const char* name) {
    std::string path = std::string("Z:") + ATRAC3DS_MP3_MEDIA_DIR + "/" + name;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

// ---- Through the engine, in this process ------------------------------------------------------

class OmaEngine : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testmedia::Have(kMedia[0].name) || !testmedia::Have("atrac3plus_352k_tone_10s.oma"))
            GTEST_SKIP() << "no media in " << testmedia::Dir() << " (the media beside the tree)";
        SetNoticeHook([this](const std::wstring& text, NoticeKind) { notices.push_back(text); });
        // The real graph, seen: the engine holds it from here until its next CloseGraph.
        SetGraphSource({{}, {}, [this](IGraphBuilder** graph) {
                            const HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                                                IID_IGraphBuilder, reinterpret_cast<void**>(graph));
                            current = SUCCEEDED(hr) ? *graph : nullptr;
                            return hr;
                        }});
        dir = testsupport::MakeTempDir("oma-engine");
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                nullptr);
        engine.SetOwnerWindow(owner);
        variants.lp2 = testsupport::ReadFileBytes(testmedia::Path("atrac3_lp2_2500ms.oma"));
        variants.plus = testsupport::ReadFileBytes(testmedia::Path("atrac3plus_352k_tone_10s.oma"));
        ASSERT_EQ(variants.lp2.size(), kHeader + 108 * kLp2Frame);
        ASSERT_EQ(variants.plus.size(), kHeader + 216 * kPlusFrame);
    }

    void TearDown() override {
        engine.Stop();
        engine.CloseGraph();
        SetGraphSource({});
        SetNoticeHook({});
        if (owner)
            DestroyWindow(owner);
        if (!dir.empty())
            testsupport::RemoveTree(dir);
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir + name;
        EXPECT_TRUE(testsupport::WriteFileBytes(path, bytes));
        return path;
    }

    // The names of the filters in the graph the engine holds now.
    std::vector<std::wstring> Filters() const {
        std::vector<std::wstring> names;
        ComPtr<IEnumFilters> filters;
        if (!current || !GraphIsOpen() || FAILED(current->EnumFilters(&filters)))
            return names;
        ComPtr<IBaseFilter> filter;
        while (filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
            FILTER_INFO info{};
            if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
                names.emplace_back(info.achName);
                if (info.pGraph)
                    info.pGraph->Release();
            }
        }
        return names;
    }
    bool OurSourceIsInTheGraph() const {
        for (const std::wstring& name : Filters()) {
            if (name == kAsyncSourceName)
                return true;
        }
        return false;
    }

    // Waits for the graph's EC_COMPLETE, which nobody else reads; false when it does not come.
    bool WaitForTheEnd(DWORD ms) const {
        ComPtr<IMediaEventEx> events;
        if (!current ||
            FAILED(current->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf()))))
            return false;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            long code = 0;
            LONG_PTR p1 = 0;
            LONG_PTR p2 = 0;
            while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
                (void)events->FreeEventParams(code, p1, p2);
                if (code == EC_COMPLETE)
                    return true;
            }
            testsupport::PumpMessages(50);
        }
        return false;
    }

    TMorlune engine;
    IGraphBuilder* current = nullptr;  // not owned: valid while GraphIsOpen()
    std::vector<std::wstring> notices;
    std::string dir;
    HWND owner = nullptr;
    Variants variants;
};

TEST_F(OmaEngine, EveryMediaFilePlaysWithItsLengthInRealTimeAndSeeksPausesAndStops) {
    for (const Medium& medium : kMedia) {
        SCOPED_TRACE(medium.name);
        notices.clear();
        engine.OpenFile(testmedia::Path(medium.name));
        ASSERT_TRUE(notices.empty()) << "a box for a file that plays";
        EXPECT_EQ(engine.State, esStopped);
        EXPECT_EQ(engine.GetDurationMs(), medium.lengthMs);
        EXPECT_TRUE(OurSourceIsInTheGraph());
        EXPECT_EQ(engine.GetPositionMs(), 0);

        DWORD start = GetTickCount();
        engine.Resume();
        testsupport::PumpMessages(700);
        int32_t played = engine.GetPositionMs();
        int32_t elapsed = static_cast<int32_t>(GetTickCount() - start);
        EXPECT_GE(played, 400);
        EXPECT_LE(played, elapsed + 50);

        // Seek into the middle: the position lands within a frame, and playing goes on from there.
        const int32_t target = medium.lengthMs / 2;
        engine.SetPositionMs(target);
        start = GetTickCount();
        const int32_t landed = engine.GetPositionMs();
        printf("%s: length %lld ms, played %d ms in %d ms, seek to %d landed at %d (error %d ms)\n", medium.name,
               static_cast<long long>(engine.GetDurationMs()), played, elapsed, target, landed, landed - target);
        EXPECT_LE(abs(landed - target), medium.frameMs);
        testsupport::PumpMessages(600);
        played = engine.GetPositionMs() - target;
        elapsed = static_cast<int32_t>(GetTickCount() - start);
        printf("  after the seek: %d ms played in %d ms\n", played, elapsed);
        EXPECT_GE(played, elapsed - medium.frameMs - 50) << "playing went on after the seek";
        EXPECT_LE(played, elapsed + medium.frameMs + 50);

        engine.Pause();
        const int32_t paused = engine.GetPositionMs();
        testsupport::PumpMessages(400);
        EXPECT_EQ(engine.GetPositionMs(), paused);
        engine.Resume();
        testsupport::PumpMessages(300);
        EXPECT_GT(engine.GetPositionMs(), paused);

        // The last 600 ms take their own time: the stream ends where its length says.
        engine.SetPositionMs(medium.lengthMs - 600);
        start = GetTickCount();
        ASSERT_TRUE(WaitForTheEnd(3000));
        const int32_t rest = static_cast<int32_t>(GetTickCount() - start);
        const int32_t end = engine.GetPositionMs();
        printf("  the last 600 ms played in %d ms, ending at %d\n", rest, end);
        // Wine's renderer reports the end up to about 100 ms early or late, more on a busy machine.
        EXPECT_GE(rest, 600 - 150);
        EXPECT_LE(rest, 600 + 400);
        EXPECT_GE(end, medium.lengthMs - medium.frameMs);
        EXPECT_LE(end, medium.lengthMs);

        engine.Stop();
        EXPECT_EQ(engine.GetPositionMs(), 0);
        engine.CloseGraph();
        EXPECT_EQ(engine.GetDurationMs(), medium.lengthMs) << "the length stays for the player";
    }
}

TEST_F(OmaEngine, WavAndAviStillGoThroughTheMachinesOwnFilters) {
    const std::string wav = Write("tone.wav", MakeToneWav(1500));
    const std::string avi = Write("clip.avi", MakeAvi(1500, 160, 120, 10, true));
    for (const std::string& file : {wav, avi}) {
        SCOPED_TRACE(file);
        engine.OpenFile(file);
        ASSERT_TRUE(notices.empty());
        EXPECT_EQ(engine.GetDurationMs(), 1500);
        const auto names = Filters();
        EXPECT_GE(names.size(), 2u);
        EXPECT_FALSE(OurSourceIsInTheGraph());
    }
    // And an OMA file right after, in the same engine, goes through ours.
    engine.OpenFile(testmedia::Path("atrac3_lp2_2500ms.oma"));
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(OurSourceIsInTheGraph());
    EXPECT_EQ(engine.GetDurationMs(), 2481);
}

TEST_F(OmaEngine, TagsInFrontPlayATaggedLengthEndsTheStreamAndFF80IsPlain) {
    engine.OpenFile(Write("tagged.oma", variants.TagInFront()));
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.GetDurationMs(), 2481);
    EXPECT_TRUE(OurSourceIsInTheGraph());

    // TLEN 1500: 66150 samples of the 109430 there are.
    engine.OpenFile(Write("tlen.oma", variants.TaggedLength()));
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.GetDurationMs(), 1500);
    engine.Resume();
    EXPECT_TRUE(WaitForTheEnd(4000));
    EXPECT_LE(engine.GetPositionMs(), 1500);

    // A TLEN past the frames gets no more than they hold: 108 x 1024 = 110592 samples.
    engine.OpenFile(Write("long-tlen.oma", TagBlock(5000) + variants.lp2));
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.GetDurationMs(), 2507);

    // 0xFF80 is the other encryption id of a plain file.
    engine.OpenFile(Write("ff80.oma", WithByte(variants.lp2, 7, 0x80)));
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.GetDurationMs(), 2481);
}

TEST_F(OmaEngine, ACutFilePlaysItsWholeFramesAndEnds) {
    engine.OpenFile(Write("cut.oma", variants.Cut()));
    ASSERT_TRUE(notices.empty());
    // 50 x 1024 - 1162 = 50038 samples; the third of a frame behind them is not audio.
    EXPECT_EQ(engine.GetDurationMs(), 1134);
    engine.SetPositionMs(600);
    const DWORD start = GetTickCount();
    engine.Resume();
    ASSERT_TRUE(WaitForTheEnd(4000));
    // What is left after the seek plays in its own time: the served stream ends where its length says.
    const int32_t rest = static_cast<int32_t>(GetTickCount() - start);
    printf("the last %d ms played in %d ms\n", 1134 - 600, rest);
    EXPECT_GE(rest, 1134 - 600 - 150);
    EXPECT_LE(rest, 1134 - 600 + 400);
    const int32_t end = engine.GetPositionMs();
    EXPECT_GE(end, 1134 - 24);
    EXPECT_LE(end, 1134);
    testsupport::PumpMessages(300);
    EXPECT_EQ(engine.GetPositionMs(), end) << "nothing plays past the end";
}

// A 50 ms clip: three ATRAC3 frames outlast the decoder's delay by 1910 samples, two ATRAC3plus
// frames (4096 samples) fall short of theirs (4464). Both are files that play, the second for no
// time at all: no box, a graph, a length of 0 and an end at once.
TEST_F(OmaEngine, AClipShorterThanTheDecodersDelayPlaysForNoTime) {
    const std::pair<std::string, int32_t> clips[] = {{variants.lp2.substr(0, kHeader + 3 * kLp2Frame), 43},
                                                     {variants.plus.substr(0, kHeader + 2 * kPlusFrame), 0}};
    for (const auto& [bytes, lengthMs] : clips) {
        SCOPED_TRACE(lengthMs);
        notices.clear();
        engine.OpenFile(Write("clip.oma", bytes));
        EXPECT_TRUE(notices.empty());
        ASSERT_TRUE(GraphIsOpen());
        EXPECT_EQ(engine.GetDurationMs(), lengthMs);
        engine.Resume();
        EXPECT_TRUE(WaitForTheEnd(2000));
        EXPECT_LE(engine.GetPositionMs(), lengthMs);
        engine.Stop();
        engine.CloseGraph();
    }
}

TEST_F(OmaEngine, RandomFramesBehindAGoodHeaderNeverTakeThePlayerDown) {
    // Damaged frames after good ones play (as silence) to the end.
    const std::pair<std::string, int32_t> damaged[] = {{variants.NoiseAfterGood(), 2481},
                                                       {variants.PlusNoiseAfterGood(), 1756}};  // 40 x 2048 - 4464
    for (const auto& [bytes, lengthMs] : damaged) {
        engine.OpenFile(Write("noise-after.oma", bytes));
        ASSERT_TRUE(notices.empty());
        EXPECT_EQ(engine.GetDurationMs(), lengthMs);
        engine.SetPositionMs(lengthMs - 700);
        engine.Resume();
        EXPECT_TRUE(WaitForTheEnd(4000));
    }

    // Noise from the first frame on: either refused with the one box, or played to its end.
    const std::pair<std::string, int32_t> noisy[] = {{variants.NoiseFrames(), 2481},
                                                     {variants.PlusNoiseFrames(), 1756}};
    for (const auto& [bytes, lengthMs] : noisy) {
        notices.clear();
        engine.OpenFile(Write("noise.oma", bytes));
        if (!notices.empty()) {
            EXPECT_EQ(notices, std::vector<std::wstring>{kCannotPlay});
            EXPECT_FALSE(GraphIsOpen());
            printf("noise %d ms: refused\n", lengthMs);
            continue;
        }
        printf("noise %d ms: plays\n", lengthMs);
        EXPECT_EQ(engine.GetDurationMs(), lengthMs);
        engine.SetPositionMs(lengthMs - 700);
        engine.Resume();
        EXPECT_TRUE(WaitForTheEnd(4000));
    }

    // And the engine still plays a good file.
    notices.clear();
    engine.OpenFile(testmedia::Path("atrac3_lp4_tone_10s.oma"));
    EXPECT_TRUE(notices.empty());
    engine.Resume();
    testsupport::PumpMessages(400);
    EXPECT_GT(engine.GetPositionMs(), 0);
}

TEST_F(OmaEngine, BrokenHeadersAreRefusedWithOneBoxAndAnEncryptedFileSaysOpenMG) {
    const std::pair<const char*, std::string> refused[] = {
        {"header only", variants.HeaderOnly()},       {"header and part of a frame", variants.HeaderAndPartOfAFrame()},
        {"tag past the end", variants.TagPastEnd()},  {"unknown codec", variants.UnknownCodec()},
        {"256-byte frames", variants.OddFrameSize()},
    };
    for (const auto& [what, bytes] : refused) {
        SCOPED_TRACE(what);
        notices.clear();
        engine.OpenFile(Write("refused.oma", bytes));
        EXPECT_EQ(notices, std::vector<std::wstring>{kCannotPlay});
        EXPECT_FALSE(GraphIsOpen());
        EXPECT_EQ(engine.GetPositionMs(), -1);
    }

    notices.clear();
    engine.OpenFile(Write("locked.oma", variants.Encrypted()));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind(kCannotPlay + L"\n", 0), 0u) << "the usual line first";
    EXPECT_NE(notices[0].find(L"OpenMG"), std::wstring::npos);
    EXPECT_FALSE(GraphIsOpen());

    // After all that a file plays.
    notices.clear();
    engine.OpenFile(testmedia::Path("atrac3_lp2_2500ms.oma"));
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(GraphIsOpen());
}

TEST_F(OmaEngine, WithoutSse2TheFfmpegCodecsAreRefusedWithTheirOwnLine) {
    OverrideCpuHasSse2(false);
    engine.OpenFile(testmedia::Path("atrac3_lp2_2500ms.oma"));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].rfind(kCannotPlay + L"\n", 0), 0u) << "the usual line first";
    EXPECT_NE(notices[0].find(L"SSE2"), std::wstring::npos);
    EXPECT_FALSE(GraphIsOpen());

    // LPCM needs none of FFmpeg: it still plays. Four frames of silence behind its header.
    notices.clear();
    std::string lpcm = variants.lp2.substr(0, kHeader) + std::string(4 * 1024, '\0');
    lpcm[32] = 4;
    engine.OpenFile(Write("lpcm.oma", lpcm));
    OverrideCpuHasSse2(std::nullopt);
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(GraphIsOpen());
}

// The player's length (the graph's duration) and the extended info's "length" are one figure for
// every plain OMA file, MP3 included: both come from the reader's length now that no filter of
// the machine plays these files in its own way.
TEST_F(OmaEngine, TheGraphsLengthIsTheExtendedInfosForEveryPlainFile) {
    std::vector<std::string> files;
    for (const Medium& m : kMedia)
        files.push_back(testmedia::Path(m.name));
    for (const char* name : kMp3Media)
        files.push_back(Mp3Path(name));
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        engine.OpenFile(file);
        ASSERT_TRUE(notices.empty());
        std::unique_ptr<FileBytes> bytes = OpenFileBytes(std::wstring(file.begin(), file.end()));
        ASSERT_TRUE(bytes);
        const auto length = ExtendedField(ReadOma(*bytes), "length");
        ASSERT_TRUE(length);
        EXPECT_EQ(std::to_string(engine.GetDurationMs()), std::string(length->begin(), length->end()));
        engine.CloseGraph();
    }
}

// ---- Through the stand-in player and the DLL --------------------------------------------------

using Line = testsupport::HostLine;
using testsupport::Only;

// A scratch copy of the player and the plug-in, so each run has its own settings file.
class OmaPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testmedia::Have(kMedia[0].name))
            GTEST_SKIP() << "no media in " << testmedia::Dir() << " (the media beside the tree)";
        dir_ = testsupport::MakeProgramFolder("oma-player", {"host.exe", "in_atrac3ds.dll"});
        variants_.lp2 = testsupport::ReadFileBytes(testmedia::Path("atrac3_lp2_2500ms.oma"));
        variants_.plus = testsupport::ReadFileBytes(testmedia::Path("atrac3plus_352k_tone_10s.oma"));
    }
    void TearDown() override {
        if (!dir_.empty())
            testsupport::RemoveTree(dir_);
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(testsupport::WriteFileBytes(dir_ + name, bytes));
        return dir_ + name;
    }

    // Runs the player to its end; it must neither crash nor hang.
    std::vector<Line> Run(const std::string& arguments) {
        const int code = testsupport::RunCapture(
            testsupport::Quote(dir_ + "host.exe") + " --auto-close-boxes " + arguments, output_, 90000);
        printf("--- host %s\n%s", arguments.c_str(), output_.c_str());
        std::vector<Line> lines = testsupport::ParseHostOutput(output_);
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(!lines.empty() && lines.back().word == "unload") << "the player reached its own end";
        return lines;
    }

    // The output between the n-th play line and the one before it: the boxes of that play.
    std::string BeforePlay(size_t n) const {
        size_t from = 0;
        for (size_t i = 0;; ++i) {
            const size_t at = output_.find("\nplay index=", from);
            const size_t end = at == std::string::npos ? output_.size() : at;
            if (i == n)
                return output_.substr(from, end - from);
            if (at == std::string::npos)
                return {};
            from = at + 1;
        }
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
            ++n;
        return n;
    }
    std::string dir_;
    std::string output_;
    Variants variants_;
};

TEST_F(OmaPlayer, EveryMediaFilePlaysWithItsLengthAndItsPositionsAdvanceInRealTime) {
    std::string script = "--script \"";
    std::string files;
    for (size_t i = 0; i < std::size(kMedia); ++i) {
        script += "play " + std::to_string(i) + "; wait 1500; info; ";
        files += " " + testsupport::Quote(testmedia::Path(kMedia[i].name));
    }
    const auto lines = Run(script + "quit\"" + files);
    EXPECT_TRUE(Only(lines, "box").empty());
    const auto plays = Only(lines, "play");
    const auto infos = Only(lines, "info");
    ASSERT_EQ(plays.size(), std::size(kMedia));
    ASSERT_EQ(infos.size(), std::size(kMedia));
    for (size_t i = 0; i < std::size(kMedia); ++i) {
        SCOPED_TRACE(kMedia[i].name);
        EXPECT_EQ(plays[i].Number("result"), 0);
        EXPECT_EQ(plays[i].Number("length"), kMedia[i].lengthMs);
        EXPECT_EQ(infos[i].Number("length"), kMedia[i].lengthMs);
        // Positions of this track: the first above 0 and the last, against the player's clock.
        int firstMs = -1;
        int firstT = 0;
        int lastMs = -1;
        int lastT = 0;
        size_t track = 0;
        for (const Line& l : lines) {
            if (l.word == "play")
                ++track;
            if (track != i + 1 || l.word != "pos" || l.Number("ms") <= 0)
                continue;
            if (firstMs < 0) {
                firstMs = l.Number("ms");
                firstT = l.Number("t");
            }
            EXPECT_GE(l.Number("ms"), lastMs) << l.text;
            lastMs = l.Number("ms");
            lastT = l.Number("t");
        }
        ASSERT_GE(firstMs, 0) << "no position above 0";
        const int advanced = lastMs - firstMs;
        const int clock = lastT - firstT;
        printf("%s: %d ms of positions in %d ms\n", kMedia[i].name, advanced, clock);
        EXPECT_GE(clock, 800);
        EXPECT_NEAR(advanced, clock, 100 + clock / 10);
    }
}

TEST_F(OmaPlayer, SeekPauseAndTheEndOfAShortTrack) {
    const std::string tone = testsupport::Quote(testmedia::Path("atrac3plus_352k_tone_10s.oma"));
    auto lines =
        Run("--script \"play 0; wait 800; seek 6000; wait 1000; pause; wait 800; paused; unpause; "
            "wait 600; quit\" " +
            tone);
    // Positions after the seek start within a frame of 6000 and go on in real time; paused, they
    // stand still (one poll may still see the last few milliseconds before the pause).
    enum { kBefore, kSought, kPaused, kUnpaused } phase = kBefore;
    std::vector<std::pair<int, int>> afterSeek;  // ms, t
    size_t pausedPolls = 0;
    int lastMs = -1;
    for (const Line& l : lines) {
        if (l.word == "seek")
            phase = kSought;
        else if (l.word == "pause")
            phase = kPaused;
        else if (l.word == "unpause")
            phase = kUnpaused;
        else if (l.word == "pos" && phase == kSought)
            afterSeek.emplace_back(l.Number("ms"), l.Number("t"));
        else if (l.word == "pos" && phase == kPaused)
            ++pausedPolls;
        else if (l.word == "pos" && phase == kUnpaused)
            lastMs = l.Number("ms");
    }
    ASSERT_EQ(phase, kUnpaused);
    ASSERT_GE(afterSeek.size(), 5u);
    printf("first position after the seek to 6000: %d\n", afterSeek.front().first);
    EXPECT_GE(afterSeek.front().first, 6000 - 47);
    EXPECT_LE(afterSeek.front().first, 6000 + 47 + 100);  // a frame, and two 50 ms polls at most
    const int advanced = afterSeek.back().first - afterSeek.front().first;
    const int clock = afterSeek.back().second - afterSeek.front().second;
    EXPECT_NEAR(advanced, clock, 100 + clock / 10);
    EXPECT_LE(pausedPolls, 1u) << "the position stands still while paused";
    const auto pausedLines = Only(lines, "paused");
    ASSERT_EQ(pausedLines.size(), 1u);
    EXPECT_EQ(pausedLines[0].Number("value"), 1);
    EXPECT_GT(lastMs, afterSeek.back().first) << "playing again after unpause";

    // A short file played to its end: the player's polls end it, the last 500 ms unplayed.
    lines = Run(testsupport::Quote(testmedia::Path("atrac3_lp2_2500ms.oma")));
    int last = -1;
    for (const Line& l : Only(lines, "pos"))
        last = l.Number("ms") >= 0 ? l.Number("ms") : last;
    // The poll that reaches the last 500 ms stops the track and answers -1, so the last position
    // seen lies before them; how close depends on how often a busy machine lets the player poll.
    EXPECT_GT(last, 1000);
    EXPECT_LT(last, 2481 - 500);
    ASSERT_FALSE(Only(lines, "pos").empty());
    EXPECT_EQ(Only(lines, "pos").back().Number("ms"), -1);
    // A second later the plug-in tells the player, which finds no next entry and stops.
    EXPECT_EQ(Only(lines, "eof").size(), 1u);
    EXPECT_EQ(Only(lines, "end").size(), 1u);
    EXPECT_EQ(Only(lines, "end").front().Field("reason"), "end-of-playlist");
}

TEST_F(OmaPlayer, BadFilesNeverTakeThePlayerDownAndTheRefusedOnesShowOneBox) {
    struct Case {
        const char* name;
        std::string bytes;
        int lengthMs;  // a file that must play; -1 refused; 0 either
    };
    const Case cases[] = {
        {"tagged.oma", variants_.TagInFront(), 2481},          {"cut.oma", variants_.Cut(), 1134},
        {"noise-after.oma", variants_.NoiseAfterGood(), 2481}, {"noise.oma", variants_.NoiseFrames(), 0},
        {"plus-noise.oma", variants_.PlusNoiseFrames(), 0},    {"header-only.oma", variants_.HeaderOnly(), -1},
        {"tag-past-end.oma", variants_.TagPastEnd(), -1},      {"codec.oma", variants_.UnknownCodec(), -1},
        {"frame-size.oma", variants_.OddFrameSize(), -1},      {"locked.oma", variants_.Encrypted(), -1},
    };
    std::string script = "--script \"";
    std::string files;
    for (size_t i = 0; i < std::size(cases); ++i) {
        script += "play " + std::to_string(i) + "; wait 600; ";
        files += " " + testsupport::Quote(Write(cases[i].name, cases[i].bytes));
    }
    // The cut file again, to its end.
    script += "play 1; wait 1400; play " + std::to_string(std::size(cases)) + "; wait 800; quit\"";
    files += " " + testsupport::Quote(testmedia::Path("atrac3_lp4_tone_10s.oma"));
    const auto lines = Run(script + files);

    const auto plays = Only(lines, "play");
    ASSERT_EQ(plays.size(), std::size(cases) + 2);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::string boxes = BeforePlay(i);
        const int result = plays[i].Number("result");
        if (cases[i].lengthMs == 0) {
            printf("%s: result %d\n", cases[i].name, result);
            EXPECT_EQ(Count(boxes, "box title="), result == 0 ? 0u : 1u) << boxes;
            continue;
        }
        if (cases[i].lengthMs > 0) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(plays[i].Number("length"), cases[i].lengthMs);
            EXPECT_EQ(Count(boxes, "box title="), 0u) << boxes;
            continue;
        }
        EXPECT_EQ(result, 1) << "refused: not opened, yet not missing";
        EXPECT_EQ(Count(boxes, "box title="), 1u) << boxes;
        EXPECT_NE(boxes.find("text=\"无法执行文件"), std::string::npos) << boxes;
        const bool encrypted = std::string(cases[i].name) == "locked.oma";
        EXPECT_EQ(boxes.find("OpenMG") != std::string::npos, encrypted) << boxes;
    }

    // The cut file's second play reaches its end: the poll stops it, and its positions never
    // passed its whole frames.
    int last = -1;
    bool ended = false;
    size_t track = 0;
    for (const Line& l : lines) {
        track += l.word == "play" ? 1 : 0;
        if (track == std::size(cases) + 1 && l.word == "pos") {
            ended = ended || l.Number("ms") == -1;
            last = l.Number("ms") >= 0 ? l.Number("ms") : last;
        }
    }
    EXPECT_TRUE(ended) << "the cut file ends";
    EXPECT_GT(last, 500);
    EXPECT_LE(last, 1134);
    EXPECT_EQ(plays.back().Number("result"), 0) << "and a good file plays after all of them";
    EXPECT_EQ(Count(BeforePlay(std::size(cases) + 1), "box title="), 0u);
}

// ---- MP3 inside OMA, through the stand-in player -----------------------------------------------

class Mp3Player : public OmaPlayer {
protected:
    void SetUp() override {
        for (const char* name : kMp3Media) {
            ASSERT_NE(GetFileAttributesA(Mp3Path(name).c_str()), INVALID_FILE_ATTRIBUTES) << Mp3Path(name);
        }
        dir_ = testsupport::MakeProgramFolder("mp3-player", {"host.exe", "in_atrac3ds.dll"});
    }
};

TEST_F(Mp3Player, PlaysSeeksPausesAndEndsWhereItsLengthSays) {
    std::string files;
    for (const char* name : kMp3Media)
        files += " " + testsupport::Quote(Mp3Path(name));
    // Each file plays a while; the first is sought, paused and resumed; the last is sought near
    // its end and left to end.
    const auto lines =
        Run("--script \"play 0; wait 700; info; seek 2000; wait 700; pause; wait 600; paused; unpause; wait 300; "
            "play 1; wait 700; info; play 2; wait 700; info; seek 3000; wait 1600; quit\"" +
            files);
    EXPECT_TRUE(Only(lines, "box").empty());
    const auto plays = Only(lines, "play");
    const auto infos = Only(lines, "info");
    ASSERT_EQ(plays.size(), 3u);
    ASSERT_EQ(infos.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(kMp3Media[i]);
        EXPECT_EQ(plays[i].Number("result"), 0);
        EXPECT_EQ(plays[i].Number("length"), 4000);
        EXPECT_EQ(infos[i].Number("length"), 4000);
    }

    // Positions by phase: after the first seek within a frame (26 ms) and two polls of 2000, in
    // real time; standing still while paused; the last track's poll ends it before 4000.
    enum { kFirst, kSought, kPaused, kUnpaused, kOthers } phase = kFirst;
    std::vector<std::pair<int, int>> afterSeek;  // ms, t
    size_t pausedPolls = 0;
    size_t track = 0;
    int lastOfLast = -1;
    bool lastEnded = false;
    for (const Line& l : lines) {
        if (l.word == "play")
            ++track;
        if (track == 1 && l.word == "seek")
            phase = kSought;
        else if (track == 1 && l.word == "pause")
            phase = kPaused;
        else if (track == 1 && l.word == "unpause")
            phase = kUnpaused;
        else if (track > 1)
            phase = kOthers;
        if (l.word != "pos")
            continue;
        if (phase == kSought)
            afterSeek.emplace_back(l.Number("ms"), l.Number("t"));
        if (phase == kPaused)
            ++pausedPolls;
        if (track == 3) {
            lastEnded = lastEnded || l.Number("ms") == -1;
            lastOfLast = l.Number("ms") >= 0 ? l.Number("ms") : lastOfLast;
        }
    }
    ASSERT_GE(afterSeek.size(), 5u);
    printf("first position after the seek to 2000: %d\n", afterSeek.front().first);
    EXPECT_GE(afterSeek.front().first, 2000 - 27);
    EXPECT_LE(afterSeek.front().first, 2000 + 27 + 100);
    const int advanced = afterSeek.back().first - afterSeek.front().first;
    const int clock = afterSeek.back().second - afterSeek.front().second;
    EXPECT_NEAR(advanced, clock, 100 + clock / 10);
    EXPECT_LE(pausedPolls, 1u) << "the position stands still while paused";
    ASSERT_EQ(Only(lines, "paused").size(), 1u);
    EXPECT_EQ(Only(lines, "paused")[0].Number("value"), 1);
    EXPECT_TRUE(lastEnded) << "the last file ends";
    EXPECT_GT(lastOfLast, 3000);
    EXPECT_LT(lastOfLast, 4000 - 500) << "the poll that reaches the last 500 ms stops it";
}

}  // namespace
