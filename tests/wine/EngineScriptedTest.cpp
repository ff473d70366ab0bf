// The engine against a scripted graph: which calls it makes, in which order, with which values,
// and what it does with each answer. The graph comes in through the engine's graph source; the
// notices go into the same log, so a message box shows where it happened.
#include "base/Notify.h"
#include "engine/Morlune.h"
#include "tests/wine/FakeGraph.h"
#include "tests/wine/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <stdexcept>

namespace {

using Lines = std::vector<std::string>;

const HWND kOwner = reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x1234));  // logs as 4660

const Lines kBuild = {
    "CoInitialize",
    "CoCreateInstance",
    "IGraphBuilder::QueryInterface IMediaControl",
    "IGraphBuilder::QueryInterface IMediaSeeking",
    "IGraphBuilder::QueryInterface IBasicAudio",
    "IGraphBuilder::QueryInterface IBasicVideo",
    "IGraphBuilder::QueryInterface IVideoWindow",
    "IGraphBuilder::QueryInterface IMediaEventEx",
    "IMediaEventEx::SetNotifyWindow 4660 45113 54321",
    "IMediaEventEx::SetNotifyFlags 0",
};

// The seven references released in build order after the graph is emptied; no filters here.
const Lines kCloseNoFilters = {
    "IMediaControl::Stop",
    "IGraphBuilder::EnumFilters",
    "IEnumFilters::Skip 1",
    "IEnumFilters::Reset",
    "IEnumFilters::Next 1",
    "IEnumFilters::Release",
    "IVideoWindow::put_Visible 0",
    "IVideoWindow::put_Owner 0",
    "IMediaControl::Release",
    "IMediaSeeking::Release",
    "IBasicAudio::Release",
    "IBasicVideo::Release",
    "IVideoWindow::Release",
    "IMediaEventEx::Release",
    "IGraphBuilder::Release",
    "CoUninitialize",
};

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class EngineScripted : public ::testing::Test {
protected:
    void SetUp() override {
        SetGraphSource(fake.Source());
        SetNoticeHook([this](const std::wstring& text, NoticeKind) { fake.log.push_back("NotifyUser " + Utf8(text)); });
        dir = testsupport::MakeTempDir("engine");
        file = dir + "clip.wav";
        ASSERT_TRUE(testsupport::WriteFileBytes(file, "RIFF"));
        engine.SetOwnerWindow(kOwner);
    }

    void TearDown() override {
        // The references are module-wide: nothing of this graph may outlive the test.
        engine.CloseGraph();
        EXPECT_EQ(fake.OutstandingRefs(), 0);
        SetNoticeHook({});
        SetGraphSource({});
        testsupport::RemoveTree(dir);
    }

    // Opens the scratch file and forgets what that logged.
    void OpenQuietly() {
        engine.OpenFile(file);
        ASSERT_EQ(engine.State, esStopped);
        fake.log.clear();
    }

    Lines RenderStep() const { return {"IGraphBuilder::RenderFile " + file + " null"}; }

    FakeGraph fake;
    TMorlune engine;
    std::string dir;
    std::string file;
};

TEST_F(EngineScripted, CreationValues) {
    EXPECT_EQ(engine.State, esIdle);
    EXPECT_EQ(engine.Duration, -1);
    EXPECT_EQ(TMorlune().OwnerWindow, nullptr);
    EXPECT_EQ(engine.Volume, 7);
    EXPECT_EQ(engine.VideoWidth, 0);
    EXPECT_EQ(engine.VideoHeight, 0);
    EXPECT_EQ(engine.GetFileName(), "");
    EXPECT_EQ(engine.GetDurationMs(), 0);
}

TEST_F(EngineScripted, BuildGraphAsksForTheSixInterfacesInOrderThenSetsUpNotification) {
    EXPECT_TRUE(engine.BuildGraph());
    EXPECT_EQ(fake.log, kBuild);
    EXPECT_EQ(fake.OutstandingRefs(), 7);
}

TEST_F(EngineScripted, BuildGraphStopsAtTheFirstRefusalAndKeepsWhatItGotUntilClose) {
    fake.answers["IGraphBuilder::QueryInterface IBasicVideo"] = E_NOINTERFACE;
    EXPECT_FALSE(engine.BuildGraph());
    EXPECT_EQ(fake.log, Lines(kBuild.begin(), kBuild.begin() + 6));
    EXPECT_EQ(fake.OutstandingRefs(), 4);  // graph, control, seeking, audio

    // The partial set still acts where its interface is there.
    fake.log.clear();
    engine.Pause();
    engine.SetVolume(-300);
    engine.SetVideoRect(0, 0, 10, 10);
    engine.SetFullScreen(-1);
    EXPECT_EQ(fake.log, (Lines{"IMediaControl::Pause", "IBasicAudio::put_Volume -300"}));

    fake.log.clear();
    engine.CloseGraph();
    EXPECT_EQ(fake.log, (Lines{"IMediaControl::Stop", "IGraphBuilder::EnumFilters", "IEnumFilters::Skip 1",
                               "IEnumFilters::Reset", "IEnumFilters::Next 1", "IEnumFilters::Release",
                               "IMediaControl::Release", "IMediaSeeking::Release", "IBasicAudio::Release",
                               "IGraphBuilder::Release", "CoUninitialize"}));
    EXPECT_EQ(fake.OutstandingRefs(), 0);
}

TEST_F(EngineScripted, OpenFileReportsAFailedBuildOnceAndRendersNothing) {
    struct Case {
        const char* step;
        HRESULT answer;
        size_t buildLines;   // of kBuild, up to and including the failing call
        bool uninitializes;  // whether the following close owes CoUninitialize
    };
    const Case cases[] = {
        {"CoInitialize", E_OUTOFMEMORY, 1, false},
        {"CoCreateInstance", REGDB_E_CLASSNOTREG, 2, true},
        {"IGraphBuilder::QueryInterface IMediaControl", E_NOINTERFACE, 3, true},
        {"IGraphBuilder::QueryInterface IMediaEventEx", E_NOINTERFACE, 8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        fake.answers = {{c.step, c.answer}};
        fake.log.clear();
        engine.OpenFile(file);
        EXPECT_EQ(fake.log, Concat({Lines(kBuild.begin(), kBuild.begin() + static_cast<long>(c.buildLines)),
                                    {"NotifyUser 无法创建 DirectShow 界面"}}));
        EXPECT_EQ(engine.State, esIdle);
        EXPECT_EQ(engine.GetFileName(), file);

        fake.log.clear();
        engine.CloseGraph();
        EXPECT_EQ(fake.LinesStartingWith("CoUninitialize").size(), c.uninitializes ? 1u : 0u);
        EXPECT_EQ(fake.OutstandingRefs(), 0);
    }
}

TEST_F(EngineScripted, BuildGraphTakesEveryNonNegativeAnswerAsSuccess) {
    fake.answers = {{"CoInitialize", S_FALSE}, {"IGraphBuilder::QueryInterface IBasicAudio", S_FALSE}};
    EXPECT_TRUE(engine.BuildGraph());
    EXPECT_EQ(fake.log, kBuild);

    // S_FALSE from CoInitialize is still an initialisation to balance.
    fake.log.clear();
    engine.CloseGraph();
    EXPECT_EQ(fake.LinesStartingWith("CoUninitialize").size(), 1u);
}

TEST_F(EngineScripted, MultithreadedApartmentStillBuildsAndOwesNoUninitialize) {
    fake.answers = {{"CoInitialize", RPC_E_CHANGED_MODE}};
    EXPECT_TRUE(engine.BuildGraph());
    EXPECT_EQ(fake.log, kBuild);

    fake.log.clear();
    engine.CloseGraph();
    EXPECT_EQ(fake.log, Lines(kCloseNoFilters.begin(), kCloseNoFilters.end() - 1));
}

TEST_F(EngineScripted, OpenFileStepsInOrderWithTheirValues) {
    fake.duration = 1800000000;  // 3 minutes
    fake.videoWidth = 320;
    fake.videoHeight = 240;
    engine.OpenFile(file);
    EXPECT_EQ(fake.log, Concat({kBuild, RenderStep(),
                                {
                                    "IBasicAudio::put_Volume 7",
                                    "IMediaSeeking::GetDuration",
                                    "IVideoWindow::put_Owner 4660",
                                    "IVideoWindow::put_MessageDrain 4660",
                                    "IVideoWindow::put_WindowStyle 0x46000000",
                                    "IMediaControl::Stop",
                                    "IMediaSeeking::SetPositions 0 1 0 0",
                                    "IMediaControl::Pause",
                                    "IBasicVideo::GetVideoSize",
                                }}));
    EXPECT_EQ(engine.State, esStopped);
    EXPECT_EQ(engine.Duration, 1800000000);
    EXPECT_EQ(engine.GetDurationMs(), 180000);
    EXPECT_EQ(engine.VideoWidth, 320);
    EXPECT_EQ(engine.VideoHeight, 240);
    EXPECT_EQ(engine.GetFileName(), file);

    // A second open closes the first graph (balancing its CoInitialize) and applies the stored volume.
    engine.SetVolume(-2500);
    fake.log.clear();
    engine.OpenFile(file);
    EXPECT_EQ(Lines(fake.log.begin(), fake.log.begin() + 16), kCloseNoFilters);
    EXPECT_EQ(fake.LinesStartingWith("IBasicAudio::put_Volume"), Lines{"IBasicAudio::put_Volume -2500"});
}

TEST_F(EngineScripted, ARenderThatIsNotExactlySOkFailsLikeAnError) {
    // The first open works, runs, and sets what a failed render must leave alone.
    fake.duration = 50000000;
    fake.videoWidth = 176;
    fake.videoHeight = 144;
    OpenQuietly();
    engine.Resume();

    const HRESULT answers[] = {S_FALSE, 0x00040242 /* VFW_S_PARTIAL_RENDER */,
                               0x00040251 /* VFW_S_AUDIO_NOT_RENDERED */, E_FAIL,
                               static_cast<HRESULT>(0x80040218) /* VFW_E_CANNOT_RENDER */};
    for (HRESULT answer : answers) {
        SCOPED_TRACE(answer);
        fake.answers = {{"IGraphBuilder::RenderFile", answer}};
        fake.duration = 70000000;
        fake.videoWidth = 640;
        fake.videoHeight = 480;
        fake.log.clear();
        engine.OpenFile(file);

        const auto render = std::find(fake.log.begin(), fake.log.end(), RenderStep()[0]);
        ASSERT_NE(render, fake.log.end());
        const Lines after(render + 1, fake.log.end());
        EXPECT_EQ(after, Concat({{"NotifyUser 无法执行文件"}, kCloseNoFilters}));
        EXPECT_EQ(engine.State, esRunning);
        EXPECT_EQ(engine.GetDurationMs(), 5000);
        EXPECT_EQ(engine.VideoWidth, 176);
        EXPECT_EQ(engine.VideoHeight, 144);
        EXPECT_EQ(fake.OutstandingRefs(), 0);

        // No graph is open, so nothing acts.
        fake.log.clear();
        engine.Resume();
        engine.Stop();
        EXPECT_EQ(fake.log, Lines{});
    }
}

// A plain OMA file of a codec we serve never meets the machine's filters, even where they would
// render it; an encrypted one, or one of a codec we do not serve, meets them first as any other
// file. The scripted graph cannot take our source, so our road ends in the box here.
TEST_F(EngineScripted, PlainOmaGoesToTheOwnSourceAndOnlyTheRestAsksTheMachine) {
    // The 96-byte header by hand: "EA3", version 1, size 0x60, the encryption id at 6, the codec
    // byte at 32; then one 1024-byte frame (LPCM needs no parameters).
    auto oma = [](uint8_t codec, uint16_t encryption) {
        std::string bytes(96 + 1024, '\0');
        bytes.replace(0, 6, std::string("EA3\x01\x00\x60", 6));
        bytes[6] = static_cast<char>(encryption >> 8);
        bytes[7] = static_cast<char>(encryption);
        bytes[32] = static_cast<char>(codec);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string bytes;
        bool machineAsked;
    };
    const Case cases[] = {
        {"plain LPCM", oma(4, 0xFFFF), false},
        {"plain LPCM, the other plain id", oma(4, 0xFF80), false},
        {"encrypted LPCM", oma(4, 0x0001), true},
        {"WMA", oma(5, 0xFFFF), true},
        {"unknown codec", oma(0x42, 0xFFFF), true},
        {"not OMA", "RIFF", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = dir + "case.oma";
        ASSERT_TRUE(testsupport::WriteFileBytes(name, c.bytes));
        for (const HRESULT machine : {S_OK, E_FAIL}) {
            fake.answers = {{"IGraphBuilder::RenderFile", machine}};
            fake.log.clear();
            engine.OpenFile(name);
            EXPECT_EQ(fake.LinesStartingWith("IGraphBuilder::RenderFile").size(), c.machineAsked ? 1u : 0u);
            EXPECT_EQ(fake.LinesStartingWith("CoCreateInstance").size(), 1u) << "one graph per file";
            if (c.machineAsked && machine == S_OK) {
                EXPECT_EQ(engine.State, esStopped);
                EXPECT_EQ(fake.LinesStartingWith("NotifyUser"), Lines{});
            } else {
                EXPECT_EQ(fake.LinesStartingWith("NotifyUser").size(), 1u);
                EXPECT_FALSE(GraphIsOpen());
            }
            engine.CloseGraph();
        }
    }
}

TEST_F(EngineScripted, AFailedFirstRenderLeavesTheEngineIdle) {
    fake.answers = {{"IGraphBuilder::RenderFile", S_FALSE}};
    engine.OpenFile(file);
    EXPECT_EQ(engine.State, esIdle);
    EXPECT_EQ(engine.GetDurationMs(), 0);
    EXPECT_EQ(fake.LinesStartingWith("NotifyUser"), Lines{"NotifyUser 无法执行文件"});
    EXPECT_EQ(fake.LinesStartingWith("IBasicAudio"), Lines{"IBasicAudio::Release"});
}

TEST_F(EngineScripted, CloseGraphCountsCollectsThenRemovesEachFilter) {
    fake.filterCount = 3;
    fake.duration = 1234;
    fake.videoWidth = 320;
    fake.videoHeight = 240;
    OpenQuietly();
    engine.Resume();
    engine.SetVolume(-100);
    fake.log.clear();
    fake.nextSlots.clear();

    engine.CloseGraph();
    EXPECT_EQ(fake.log, (Lines{
                            "IMediaControl::Stop",
                            "IGraphBuilder::EnumFilters",
                            "IEnumFilters::Skip 1",
                            "IEnumFilters::Skip 1",
                            "IEnumFilters::Skip 1",
                            "IEnumFilters::Skip 1",
                            "IEnumFilters::Reset",
                            "IEnumFilters::Next 1",
                            "IEnumFilters::Next 1",
                            "IEnumFilters::Next 1",
                            "IEnumFilters::Next 1",
                            "IEnumFilters::Release",
                            "IGraphBuilder::RemoveFilter filter0",
                            "filter0::Release",
                            "IGraphBuilder::RemoveFilter filter1",
                            "filter1::Release",
                            "IGraphBuilder::RemoveFilter filter2",
                            "filter2::Release",
                            "IVideoWindow::put_Visible 0",
                            "IVideoWindow::put_Owner 0",
                            "IMediaControl::Release",
                            "IMediaSeeking::Release",
                            "IBasicAudio::Release",
                            "IBasicVideo::Release",
                            "IVideoWindow::Release",
                            "IMediaEventEx::Release",
                            "IGraphBuilder::Release",
                            "CoUninitialize",
                        }));
    // One filter per call, into consecutive slots of one array.
    ASSERT_EQ(fake.nextSlots.size(), 4u);
    for (size_t i = 1; i < fake.nextSlots.size(); ++i) {
        EXPECT_EQ(fake.nextSlots[i], fake.nextSlots[0] + i);
    }
    // Closing touches none of the engine's members.
    EXPECT_EQ(engine.State, esRunning);
    EXPECT_EQ(engine.Duration, 1234);
    EXPECT_EQ(engine.Volume, -100);
    EXPECT_EQ(engine.VideoWidth, 320);
    EXPECT_EQ(engine.VideoHeight, 240);
    EXPECT_EQ(engine.GetFileName(), file);

    // A second close in a row finds nothing to do, and owes no CoUninitialize.
    fake.log.clear();
    engine.CloseGraph();
    EXPECT_EQ(fake.log, Lines{});
}

TEST_F(EngineScripted, CloseGraphRemovesOnlyTheFirstFiftyOfSixtyFilters) {
    fake.filterCount = 60;
    OpenQuietly();
    fake.nextSlots.clear();
    engine.CloseGraph();

    EXPECT_EQ(fake.LinesStartingWith("IEnumFilters::Skip").size(), 61u);
    EXPECT_EQ(fake.LinesStartingWith("IEnumFilters::Next").size(), 50u);
    const Lines removed = fake.LinesStartingWith("IGraphBuilder::RemoveFilter");
    ASSERT_EQ(removed.size(), 50u);
    EXPECT_EQ(removed.front(), "IGraphBuilder::RemoveFilter filter0");
    EXPECT_EQ(removed.back(), "IGraphBuilder::RemoveFilter filter49");
    ASSERT_EQ(fake.nextSlots.size(), 50u);
    EXPECT_EQ(fake.nextSlots.back(), fake.nextSlots.front() + 49);
    for (int i = 0; i < 60; ++i) {
        EXPECT_EQ(fake.FilterRefs(i), 0) << "filter" << i;
    }
    EXPECT_EQ(fake.LinesStartingWith("CoUninitialize").size(), 1u);
}

TEST_F(EngineScripted, CloseGraphWithoutAnEnumeratorStillHidesUnownsAndReleases) {
    fake.filterCount = 2;
    OpenQuietly();
    fake.answers = {{"IGraphBuilder::EnumFilters", E_OUTOFMEMORY}};
    engine.CloseGraph();
    Lines expected = kCloseNoFilters;
    expected.erase(expected.begin() + 2, expected.begin() + 6);  // no Skip, Reset, Next, Release
    EXPECT_EQ(fake.log, expected);
}

TEST_F(EngineScripted, EachInitialisationIsBalancedOnceOverOpensAndCloses) {
    engine.OpenFile(file);
    engine.OpenFile(file);
    engine.CloseGraph();
    engine.CloseGraph();
    engine.OpenFile(file);
    engine.CloseGraph();
    const Lines expected = {"CoInitialize", "CoCreateInstance", "CoUninitialize", "CoInitialize", "CoCreateInstance",
                            "CoUninitialize", "CoInitialize", "CoCreateInstance", "CoUninitialize"};
    EXPECT_EQ(fake.LinesStartingWith("Co"), expected);
}

// Each step: what it does, the calls it must make, and the state after it.
struct Step {
    const char* what;
    std::function<void()> act;
    Lines calls;
    int32_t stateAfter;
};

void RunSteps(TMorlune& engine, FakeGraph& fake, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        fake.log.clear();
        step.act();
        EXPECT_EQ(fake.log, step.calls) << step.what;
        EXPECT_EQ(engine.State, step.stateAfter) << step.what;
    }
}

TEST_F(EngineScripted, GuardsWithoutAGraph) {
    TMorlune& e = engine;
    RunSteps(e, fake,
             {
                 {"Stop", [&] { e.Stop(); }, {}, esIdle},
                 {"Resume", [&] { e.Resume(); }, {}, esIdle},
                 {"Pause", [&] { e.Pause(); }, {}, esIdle},
                 {"Run", [&] { e.Run(); }, {}, esIdle},
                 {"SetPositionMs", [&] { e.SetPositionMs(1000); }, {}, esIdle},
                 {"GetPositionMs", [&] { EXPECT_EQ(e.GetPositionMs(), -1); }, {}, esIdle},
                 {"SetVideoRect", [&] { e.SetVideoRect(0, 22, 320, 240); }, {}, esIdle},
                 {"SetFullScreen", [&] { e.SetFullScreen(-1); }, {}, esIdle},
                 {"SetVolume", [&] { e.SetVolume(-600); }, {}, esIdle},
                 {"CloseGraph", [&] { e.CloseGraph(); }, {}, esIdle},
             });
    EXPECT_EQ(engine.Volume, -600);
}

TEST_F(EngineScripted, GuardsWithAGraphButNoFileOpened) {
    ASSERT_TRUE(engine.BuildGraph());
    TMorlune& e = engine;
    RunSteps(e, fake,
             {
                 {"Stop while idle", [&] { e.Stop(); }, {}, esIdle},
                 {"Resume while idle", [&] { e.Resume(); }, {}, esIdle},
                 {"SetVideoRect while idle", [&] { e.SetVideoRect(0, 22, 320, 240); }, {}, esIdle},
                 {"SetFullScreen on",
                  [&] { e.SetFullScreen(-1); },
                  {"IVideoWindow::put_FullScreenMode -1", "IVideoWindow::SetWindowForeground 4660"},
                  esIdle},
                 {"SetFullScreen off",
                  [&] { e.SetFullScreen(0); },
                  {"IVideoWindow::put_FullScreenMode 0", "IVideoWindow::SetWindowForeground 4660"},
                  esIdle},
                 {"Pause from idle", [&] { e.Pause(); }, {"IMediaControl::Pause"}, esPaused},
             });
}

TEST_F(EngineScripted, GuardsThroughATrack) {
    OpenQuietly();
    TMorlune& e = engine;
    const Lines cue = {"IMediaControl::Stop", "IMediaSeeking::SetPositions 0 1 0 0", "IMediaControl::Pause"};
    RunSteps(e, fake,
             {
                 {"Stop when cued", [&] { e.Stop(); }, {}, esStopped},
                 {"Resume when cued", [&] { e.Resume(); }, {"IMediaControl::Run"}, esRunning},
                 {"Resume when running", [&] { e.Resume(); }, {}, esRunning},
                 {"Run when running", [&] { e.Run(); }, {"IMediaControl::Run"}, esRunning},
                 {"SetVideoRect",
                  [&] { e.SetVideoRect(0, 22, 320, 240); },
                  {"IVideoWindow::SetWindowPosition 0 22 320 240"},
                  esRunning},
                 {"Pause", [&] { e.Pause(); }, {"IMediaControl::Pause"}, esPaused},
                 {"Pause when paused", [&] { e.Pause(); }, {"IMediaControl::Pause"}, esPaused},
                 {"Resume when paused", [&] { e.Resume(); }, {"IMediaControl::Run"}, esRunning},
                 {"Stop when running", [&] { e.Stop(); }, cue, esStopped},
                 {"Stop twice", [&] { e.Stop(); }, {}, esStopped},
                 {"Pause then Stop", [&] { e.Pause(); e.Stop(); }, Concat({{"IMediaControl::Pause"}, cue}), esStopped},
                 {"Run", [&] { e.Run(); }, {"IMediaControl::Run"}, esRunning},
             });

    // Closing leaves the state, and without interfaces every guard holds.
    engine.CloseGraph();
    RunSteps(e, fake,
             {
                 {"Stop after close", [&] { e.Stop(); }, {}, esRunning},
                 {"Pause after close", [&] { e.Pause(); }, {}, esRunning},
                 {"Run after close", [&] { e.Run(); }, {}, esRunning},
                 {"SetPositionMs after close", [&] { e.SetPositionMs(5); }, {}, esRunning},
                 {"GetPositionMs after close", [&] { EXPECT_EQ(e.GetPositionMs(), -1); }, {}, esRunning},
                 {"SetVideoRect after close", [&] { e.SetVideoRect(1, 2, 3, 4); }, {}, esRunning},
                 {"SetFullScreen after close", [&] { e.SetFullScreen(-1); }, {}, esRunning},
             });
}

TEST_F(EngineScripted, SeeksAbsolutelyInReferenceTimeAndLeavesTheStopAlone) {
    OpenQuietly();
    const struct {
        int64_t ms;
        const char* line;
    } rows[] = {
        {90000, "IMediaSeeking::SetPositions 900000000 1 900000000 0"},
        {0, "IMediaSeeking::SetPositions 0 1 0 0"},
        {-1, "IMediaSeeking::SetPositions -10000 1 -10000 0"},
        {INT32_MAX, "IMediaSeeking::SetPositions 21474836470000 1 21474836470000 0"},
        {INT32_MIN, "IMediaSeeking::SetPositions -21474836480000 1 -21474836480000 0"},
    };
    for (const auto& row : rows) {
        fake.log.clear();
        engine.SetPositionMs(row.ms);
        EXPECT_EQ(fake.log, Lines{row.line}) << row.ms;
    }
}

TEST_F(EngineScripted, PositionIsReadOnlyFromAnExactSOk) {
    OpenQuietly();
    const struct {
        HRESULT answer;
        LONGLONG current;
        int32_t ms;
    } rows[] = {
        {S_OK, 12345678, 1234},
        {S_OK, 9999, 0},
        {S_OK, -25000, -2},                      // toward zero, not down
        {S_OK, 21474836480000, INT32_MIN},      // 2^31 ms taken as 32 bits
        {S_FALSE, 12345678, -1},
        {E_FAIL, 12345678, -1},
    };
    for (const auto& row : rows) {
        fake.answers = {{"IMediaSeeking::GetPositions", row.answer}};
        fake.position = row.current;
        EXPECT_EQ(engine.GetPositionMs(), row.ms) << row.answer << " " << row.current;
    }
}

TEST_F(EngineScripted, DurationComesFromTheOpenAndOutlivesTheGraph) {
    fake.duration = 1799999999;
    engine.OpenFile(file);
    EXPECT_EQ(engine.GetDurationMs(), 179999);
    engine.CloseGraph();
    EXPECT_EQ(engine.GetDurationMs(), 179999);

    // A graph that cannot tell writes nothing, and the old duration stays.
    fake.answers = {{"IMediaSeeking::GetDuration", E_NOTIMPL}};
    engine.OpenFile(file);
    EXPECT_EQ(engine.Duration, 1799999999);

    fake.answers.clear();
    fake.duration = -25000000;
    engine.OpenFile(file);
    EXPECT_EQ(engine.GetDurationMs(), 2500);
}

TEST_F(EngineScripted, AFileWithoutAPictureKeepsTheLastVideoSize) {
    fake.videoWidth = 320;
    fake.videoHeight = 240;
    engine.OpenFile(file);
    fake.answers = {{"IBasicVideo::GetVideoSize", E_NOINTERFACE}};
    fake.videoWidth = 1;
    fake.videoHeight = 1;
    engine.OpenFile(file);
    EXPECT_EQ(engine.VideoWidth, 320);
    EXPECT_EQ(engine.VideoHeight, 240);
}

TEST_F(EngineScripted, AMissingNameOrADirectoryOnlyChangesTheName) {
    OpenQuietly();
    engine.Resume();
    const std::string names[] = {dir + "missing.wav", dir, dir.substr(0, dir.size() - 1), ""};
    for (const std::string& name : names) {
        fake.log.clear();
        engine.OpenFile(name);
        EXPECT_EQ(fake.log, Lines{}) << name;
        EXPECT_EQ(engine.GetFileName(), name);
        EXPECT_EQ(engine.State, esRunning);
        EXPECT_EQ(fake.OutstandingRefs(), 7);
    }
}

TEST_F(EngineScripted, TheGraphGetsTheWholeNameConvertedFromTheAnsiCodePage) {
    ASSERT_EQ(GetACP(), 936u) << "the Wine tests run with LC_ALL=zh_CN.GBK";
    // "片段.wav" in code page 936.
    const std::string chinese = dir + "\xC6\xAC\xB6\xCE.wav";
    ASSERT_TRUE(testsupport::WriteFileBytes(chinese, "RIFF"));
    engine.OpenFile(chinese);
    EXPECT_EQ(fake.LinesStartingWith("IGraphBuilder::RenderFile"),
              Lines{"IGraphBuilder::RenderFile " + dir + "片段.wav null"});

    // Past 260 characters, through the long-path prefix: nothing is cut.
    const std::string deep = "\\\\?\\" + dir + std::string(200, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string longName = deep + "\\" + std::string(150, 'f') + ".wav";
    ASSERT_GT(longName.size(), 360u);
    ASSERT_TRUE(testsupport::WriteFileBytes(longName, "RIFF"));
    engine.OpenFile(longName);
    EXPECT_EQ(fake.renderedName.size(), longName.size());
    EXPECT_EQ(Utf8(fake.renderedName), longName);
    EXPECT_EQ(engine.State, esStopped);
    engine.CloseGraph();
    (void)DeleteFileA(longName.c_str());
    (void)RemoveDirectoryA(deep.c_str());
}

TEST_F(EngineScripted, NothingEscapesWhenTheNotifierThrows) {
    SetNoticeHook([](const std::wstring&, NoticeKind) { throw std::runtime_error("notifier"); });
    fake.answers = {{"IGraphBuilder::RenderFile", E_FAIL}};
    EXPECT_NO_THROW(engine.OpenFile(file));
    EXPECT_FALSE(GraphIsOpen()) << "the refused file's graph is closed all the same";
    EXPECT_EQ(fake.OutstandingRefs(), 0);
    fake.answers = {{"CoInitialize", E_FAIL}};
    EXPECT_NO_THROW(engine.OpenFile(file));
    EXPECT_FALSE(GraphIsOpen());
}

// A failure anywhere after the graph is built (here an allocation inside a call) leaves no file
// open: one box, the graph closed and COM balanced, and the previous file's facts as they were,
// as after a refused render.
TEST_F(EngineScripted, AFailureInsideTheOpenLeavesNoFileOpen) {
    fake.duration = 50000000;
    fake.videoWidth = 176;
    fake.videoHeight = 144;
    OpenQuietly();
    engine.Resume();
    engine.CloseGraph();
    for (const char* failing :
         {"IGraphBuilder::RenderFile", "IBasicAudio::put_Volume", "IMediaSeeking::GetDuration",
          "IVideoWindow::put_MessageDrain", "IMediaControl::Pause", "IBasicVideo::GetVideoSize"}) {
        SCOPED_TRACE(failing);
        fake.throws = {failing};
        fake.duration = 70000000;
        fake.videoWidth = 640;
        fake.videoHeight = 480;
        fake.log.clear();
        EXPECT_NO_THROW(engine.OpenFile(file));
        EXPECT_FALSE(GraphIsOpen());
        EXPECT_EQ(fake.OutstandingRefs(), 0);
        EXPECT_EQ(fake.LinesStartingWith("CoUninitialize").size(), 1u);
        EXPECT_EQ(fake.LinesStartingWith("NotifyUser").size(), 1u);
        EXPECT_EQ(engine.State, esRunning);
        EXPECT_EQ(engine.GetDurationMs(), 5000);
        EXPECT_EQ(engine.VideoWidth, 176);
        EXPECT_EQ(engine.VideoHeight, 144);
    }
    // Inside the build: a failed build, whose references stay for the next close, but no file.
    fake.throws = {"IMediaEventEx::SetNotifyFlags"};
    fake.log.clear();
    engine.OpenFile(file);
    EXPECT_FALSE(GraphIsOpen());
    EXPECT_EQ(fake.LinesStartingWith("NotifyUser"), Lines{"NotifyUser 无法创建 DirectShow 界面"});

    // And the next open works as ever.
    fake.throws.clear();
    engine.OpenFile(file);
    EXPECT_TRUE(GraphIsOpen());
    EXPECT_EQ(engine.GetDurationMs(), 7000);
}

}  // namespace
