// A plug-in lives in the player's process for thousands of tracks. These tests run Play/Stop
// cycles through the real DLL and as many bare DirectShow graphs in one process (bench.exe, in a
// folder of its own so that its settings file stays there) and hold the plug-in's growth to the
// bare graphs' growth: Wine's DirectShow keeps handles and memory per graph for itself. The
// larger runs (1000 WAV and 200 AVI cycles) are scripts/bench's.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "tests/wine/TestSupport.h"
#include "tools/common/ProcessCounters.h"
#include "tools/mkmedia/MediaWriter.h"

namespace {

using testsupport::Quote;

// The counters must see what a process makes and lets go, or the endurance figures mean nothing.
TEST(ProcessCountersTest, SeeHandlesGdiObjectsWindowsAndMemoryComeAndGo) {
    // The first window of a thread brings the window system's own objects into the process, and
    // Wine adds an IME window while the thread has a top-level window: keep one open throughout.
    HWND owner =
        CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    const ProcessCounters before = ReadProcessCounters();
    HANDLE events[5];
    for (HANDLE& e : events)
        e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HBRUSH brushes[7];
    for (int i = 0; i < 7; ++i)
        brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
    HWND top =
        CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, owner, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr, nullptr);
    const SIZE_T size = 3 << 20;
    auto* memory = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    memory[0] = memory[size - 1] = 1;

    const ProcessCounters during = ReadProcessCounters();
    EXPECT_EQ(during.handles - before.handles, 5) << Describe(before) << " / " << Describe(during);
    EXPECT_EQ(during.gdiObjects - before.gdiObjects, 7);
    EXPECT_EQ(during.windows - before.windows, 2);
    EXPECT_GE(during.privateBytes - before.privateBytes, static_cast<int64_t>(size));
    EXPECT_LT(during.privateBytes - before.privateBytes, static_cast<int64_t>(size + (1 << 20)));

    VirtualFree(memory, 0, MEM_RELEASE);
    DestroyWindow(child);
    DestroyWindow(top);
    for (HBRUSH b : brushes)
        DeleteObject(b);
    for (HANDLE e : events)
        CloseHandle(e);
    const ProcessCounters after = ReadProcessCounters();
    DestroyWindow(owner);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_LT(after.privateBytes - before.privateBytes, 1 << 20);
}

// Growth of each counter over the measured cycles: name -> (plug-in, bare graphs).
using GrowthTable = std::map<std::string, std::pair<int64_t, int64_t>>;

class EnduranceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeProgramFolder("endurance", {"bench.exe", "in_atrac3ds.dll"});
        ASSERT_TRUE(testsupport::WriteFileBytes(dir_ + "tone.wav", MakeToneWav(2000)));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir_ + "clip.avi", MakeAvi(1000, 160, 120, 10, true)));
    }
    void TearDown() override { testsupport::RemoveTree(dir_); }

    // Runs the cycles in bench.exe (the plug-in first, then as many bare graphs, one process).
    GrowthTable Cycles(int wavCycles, int aviCycles, int warmUp) {
        const std::string command = Quote(dir_ + "bench.exe") + " endurance " + Quote(dir_ + "tone.wav") + " " +
                                    Quote(dir_ + "clip.avi") + " " + std::to_string(wavCycles) + " " +
                                    std::to_string(aviCycles) + " " + std::to_string(warmUp);
        const int rc = testsupport::RunCapture(command, output_, 600000);
        EXPECT_EQ(rc, 0) << "a cycle failed to open its file\n" << output_;
        GrowthTable growth;
        for (const auto& line : testsupport::Only(testsupport::ParseHostOutput(output_), "result")) {
            const std::string figure = line.Field("figure");
            if (figure.rfind("growth-", 0) == 0)
                growth[figure.substr(7)] = {line.Number("plugin"), line.Number("bare")};
        }
        EXPECT_EQ(growth.size(), 4u) << output_;
        return growth;
    }

    std::string dir_;
    std::string output_;
};

// Wine keeps about 75 handles per WAV graph, give or take a few dozen over a run: the plug-in may
// not keep more than that noise on top. Memory must stay within 1 MiB of the bare graphs'.
TEST_F(EnduranceTest, WavPlayStopCyclesKeepNoMoreThanBareGraphs) {
    GrowthTable growth = Cycles(60, 0, 10);
    const int64_t handleNoise = growth["handles"].second / 20 + 10;
    EXPECT_LE(growth["handles"].first, growth["handles"].second + handleNoise) << output_;
    EXPECT_LE(growth["gdi"].first, growth["gdi"].second) << output_;
    EXPECT_LE(growth["windows"].first, growth["windows"].second) << output_;
    EXPECT_LT(growth["private"].first, growth["private"].second + (1 << 20)) << output_;
}

// Each AVI brings the renderer's window into the plug-in's window and takes it out again: no
// window and no GDI object may stay behind.
TEST_F(EnduranceTest, AviPlayStopCyclesLeaveNoWindowOrGdiObject) {
    GrowthTable growth = Cycles(0, 6, 4);
    const int64_t handleNoise = growth["handles"].second / 20 + 10;
    EXPECT_LE(growth["handles"].first, growth["handles"].second + handleNoise) << output_;
    EXPECT_LE(growth["gdi"].first, growth["gdi"].second) << output_;
    EXPECT_LE(growth["windows"].first, growth["windows"].second) << output_;
}

}  // namespace
