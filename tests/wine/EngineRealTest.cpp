// The engine on Wine's real filter graph, with files the test writes itself: what a player sees
// through it (cue at 0, real-time position, seek, duration, picture size), the two failure paths
// of a bad file and a missing one, the real message box, and what 200 tracks cost the process
// against 200 bare graphs.
#include "base/Notify.h"
#include "engine/Morlune.h"
#include "tests/wine/TestSupport.h"
#include "tools/common/ProcessCounters.h"
#include "tools/mkmedia/MediaWriter.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cstdio>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

class EngineReal : public ::testing::Test {
protected:
    void SetUp() override {
        SetNoticeHook([this](const std::wstring& text, NoticeKind) { notices.push_back(text); });
        dir = testsupport::MakeTempDir("engine-real");
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                nullptr);
        engine.SetOwnerWindow(owner);
    }

    void TearDown() override {
        engine.Stop();
        engine.CloseGraph();
        SetNoticeHook({});
        DestroyWindow(owner);
        testsupport::RemoveTree(dir);
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir + name;
        EXPECT_TRUE(testsupport::WriteFileBytes(path, bytes));
        return path;
    }

    // The graph plays on its own threads; this one only has to keep its messages moving.
    static void Wait(DWORD ms) { testsupport::PumpMessages(ms); }

    TMorlune engine;
    std::vector<std::wstring> notices;
    std::string dir;
    HWND owner = nullptr;
};

TEST_F(EngineReal, AWavOpensCuedAtZeroThenPlaysInRealTimeAndSeeks) {
    const std::string wav = Write("tone.wav", MakeToneWav(3000));
    engine.OpenFile(wav);
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.State, esStopped);
    EXPECT_EQ(engine.GetDurationMs(), 3000);
    Wait(300);
    EXPECT_EQ(engine.GetPositionMs(), 0);  // cued, not playing

    const DWORD start = GetTickCount();
    engine.Resume();
    EXPECT_EQ(engine.State, esRunning);
    Wait(700);
    const int32_t played = engine.GetPositionMs();
    const int32_t elapsed = static_cast<int32_t>(GetTickCount() - start);
    printf("played %d ms in %d ms\n", played, elapsed);
    EXPECT_GE(played, 300);
    EXPECT_LE(played, elapsed + 100);

    engine.SetPositionMs(2000);
    const int32_t sought = engine.GetPositionMs();
    EXPECT_GE(sought, 2000);
    EXPECT_LT(sought, 2500);

    engine.Pause();
    EXPECT_EQ(engine.State, esPaused);
    const int32_t paused = engine.GetPositionMs();
    Wait(300);
    EXPECT_EQ(engine.GetPositionMs(), paused);

    engine.Stop();
    EXPECT_EQ(engine.State, esStopped);
    EXPECT_EQ(engine.GetPositionMs(), 0);

    // The length stays for the player after the graph is gone; the position does not.
    engine.CloseGraph();
    EXPECT_EQ(engine.GetDurationMs(), 3000);
    EXPECT_EQ(engine.GetPositionMs(), -1);
}

TEST_F(EngineReal, AnAviGivesItsPictureSizeAndAnAudioFileLeavesItInPlace) {
    const std::string avi = Write("clip.avi", MakeAvi(2000, 320, 240, 10, true));
    const std::string wav = Write("tone.wav", MakeToneWav(1500));
    engine.OpenFile(avi);
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.State, esStopped);
    EXPECT_EQ(engine.VideoWidth, 320);
    EXPECT_EQ(engine.VideoHeight, 240);
    EXPECT_EQ(engine.GetDurationMs(), 2000);
    engine.SetVideoRect(0, 22, 320, 240);
    engine.Resume();
    Wait(300);
    EXPECT_GT(engine.GetPositionMs(), 0);

    engine.OpenFile(wav);
    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(engine.GetDurationMs(), 1500);
    EXPECT_EQ(engine.VideoWidth, 320);
    EXPECT_EQ(engine.VideoHeight, 240);
}

TEST_F(EngineReal, RandomBytesFailToRenderAndAMissingFileIsOnlyNamed) {
    std::string noise(64 * 1024, '\0');
    unsigned seed = 12345;
    for (char& byte : noise) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    const std::string bad = Write("noise.oma", noise);
    engine.OpenFile(bad);
    EXPECT_EQ(notices, std::vector<std::wstring>{L"无法执行文件"});
    EXPECT_EQ(engine.State, esIdle);
    EXPECT_EQ(engine.GetPositionMs(), -1);
    engine.Resume();
    EXPECT_EQ(engine.State, esIdle);

    // A playing track goes on when the next name does not exist.
    const std::string wav = Write("tone.wav", MakeToneWav(3000));
    engine.OpenFile(wav);
    engine.Resume();
    notices.clear();
    const std::string missing = dir + "missing.wav";
    engine.OpenFile(missing);
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(engine.GetFileName(), missing);
    EXPECT_EQ(engine.State, esRunning);
    Wait(300);
    EXPECT_GT(engine.GetPositionMs(), 0);
}

TEST_F(EngineReal, ANameLongerThan260CharactersReachesTheGraphWhole) {
    const std::string deep = "\\\\?\\" + dir + std::string(180, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string longName = deep + "\\" + std::string(120, 't') + ".wav";
    ASSERT_GT(longName.size(), 300u);
    ASSERT_TRUE(testsupport::WriteFileBytes(longName, MakeToneWav(1200)));
    engine.OpenFile(longName);
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(engine.State, esStopped);
    EXPECT_EQ(engine.GetDurationMs(), 1200);
    engine.CloseGraph();
    (void)DeleteFileA(longName.c_str());
    (void)RemoveDirectoryA(deep.c_str());
}

// Finds message boxes of this process, reads their text and presses OK, until told to stop.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { Watch(); }) {}
    ~BoxWatcher() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::vector<std::wstring> Texts() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return texts_;
    }

private:
    struct Search {
        std::vector<HWND> boxes;
    };
    static BOOL CALLBACK Collect(HWND window, LPARAM param) {
        DWORD pid = 0;
        (void)GetWindowThreadProcessId(window, &pid);
        wchar_t cls[32] = {};
        (void)GetClassNameW(window, cls, 32);
        if (pid == GetCurrentProcessId() && wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window)) {
            reinterpret_cast<Search*>(param)->boxes.push_back(window);
        }
        return TRUE;
    }
    static BOOL CALLBACK LongestStatic(HWND child, LPARAM param) {
        wchar_t cls[32] = {};
        (void)GetClassNameW(child, cls, 32);
        if (_wcsicmp(cls, L"Static") == 0) {
            wchar_t text[256] = {};
            (void)GetWindowTextW(child, text, 256);
            auto* best = reinterpret_cast<std::wstring*>(param);
            if (wcslen(text) > best->size()) {
                *best = text;
            }
        }
        return TRUE;
    }
    void Watch() {
        std::vector<HWND> answered;
        while (!stop_) {
            Search search;
            (void)EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
            for (HWND box : search.boxes) {
                if (std::find(answered.begin(), answered.end(), box) != answered.end()) {
                    continue;
                }
                std::wstring text;
                (void)EnumChildWindows(box, LongestStatic, reinterpret_cast<LPARAM>(&text));
                texts_.push_back(text);
                answered.push_back(box);
                (void)PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(50);
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<std::wstring> texts_;
    std::thread thread_;
};

TEST_F(EngineReal, TheRealBuildShowsARealMessageBoxOnce) {
    const std::string bad = Write("noise.oma", std::string(4096, '\x5A'));
    SetNoticeHook({});
    BoxWatcher watcher;
    engine.OpenFile(bad);  // returns once the box is closed
    EXPECT_EQ(watcher.Texts(), std::vector<std::wstring>{L"无法执行文件"});
    EXPECT_EQ(engine.State, esIdle);
}

// What the test compares against: a graph built, rendered, cued, run, stopped and torn down with
// no engine around it. Rendering is most of the cost here (Wine builds a GStreamer pipeline for it).
void BareGraphCycle(const std::wstring& file) {
    if (FAILED(CoInitialize(nullptr))) {
        return;
    }
    {
        ComPtr<IGraphBuilder> graph;
        if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                       reinterpret_cast<void**>(graph.GetAddressOf())))) {
            ComPtr<IMediaControl> control;
            if (graph->RenderFile(file.c_str(), nullptr) == S_OK && SUCCEEDED(graph.As(&control))) {
                (void)control->Pause();
                (void)control->Run();
                (void)control->Stop();
            }
        }
    }
    CoUninitialize();
}

ProcessCounters Growth(const ProcessCounters& before, const ProcessCounters& after) {
    ProcessCounters growth;
    growth.handles = after.handles - before.handles;
    growth.gdiObjects = after.gdiObjects - before.gdiObjects;
    growth.windows = after.windows - before.windows;
    growth.privateBytes = after.privateBytes - before.privateBytes;
    return growth;
}

TEST_F(EngineReal, TwoHundredTracksCostNoMoreThanTwoHundredBareGraphs) {
    constexpr int kWarmUp = 10;
    constexpr int kCycles = 200;
    const std::string wav = Write("tone.wav", MakeToneWav(1000));
    const std::wstring wideWav(wav.begin(), wav.end());  // the scratch folder's name is ASCII
    auto engineCycle = [&] {
        engine.OpenFile(wav);
        engine.Resume();
        engine.Stop();
        engine.CloseGraph();
    };

    for (int i = 0; i < kWarmUp; ++i) {
        BareGraphCycle(wideWav);
        engineCycle();
    }
    const ProcessCounters start = ReadProcessCounters();
    const DWORD bareStart = GetTickCount();
    for (int i = 0; i < kCycles; ++i) {
        BareGraphCycle(wideWav);
    }
    const ProcessCounters afterBare = ReadProcessCounters();
    const DWORD engineStart = GetTickCount();
    for (int i = 0; i < kCycles; ++i) {
        engineCycle();
    }
    const DWORD engineEnd = GetTickCount();
    const ProcessCounters afterEngine = ReadProcessCounters();
    ASSERT_TRUE(notices.empty());
    ASSERT_GE(start.handles, 0) << "the handle list could not be read";

    const ProcessCounters bare = Growth(start, afterBare);
    const ProcessCounters ours = Growth(afterBare, afterEngine);
    printf("start:       %s\n", Describe(start).c_str());
    printf("bare graphs: %s (growth over %d, %lu ms)\n", Describe(bare).c_str(), kCycles, engineStart - bareStart);
    printf("engine:      %s (growth over %d, %lu ms)\n", Describe(ours).c_str(), kCycles, engineEnd - engineStart);
    EXPECT_LE(ours.handles, bare.handles + 20);
    EXPECT_LE(ours.privateBytes, bare.privateBytes + 1024 * 1024);
    EXPECT_LE(ours.windows, bare.windows);
    EXPECT_LE(ours.gdiObjects, bare.gdiObjects + 20);
}

}  // namespace
