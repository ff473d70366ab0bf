// A plug-in lives in the player's process for thousands of tracks. These tests run Play/Stop
// cycles through the real DLL and as many bare DirectShow graphs in one process (bench.exe, in a
// folder of its own so that its settings file stays there) and hold the plug-in's growth to the
// bare graphs' growth: Wine's DirectShow keeps handles and memory per graph for itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

#include "tests/wine/ProcessCounters.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"

namespace {

using testsupport::Quote;

// The counters must see what a process makes and lets go, or the endurance figures mean nothing.
TEST(ProcessCountersTest, SeeHandlesGdiObjectsWindowsAndMemoryComeAndGo) {
    // The first window of a thread brings the window system's own objects into the process, and
    // Wine adds an IME window while the thread has a top-level window: keep one open throughout.
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    const ProcessCounters before = ReadProcessCounters();
    HANDLE events[5];
    for (HANDLE& e : events) e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HBRUSH brushes[7];
    for (int i = 0; i < 7; ++i) brushes[i] = CreateSolidBrush(RGB(i, 2 * i, 3 * i));
    HWND top = CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, owner, nullptr, nullptr,
                               nullptr);
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
    for (HBRUSH b : brushes) DeleteObject(b);
    for (HANDLE e : events) CloseHandle(e);
    const ProcessCounters after = ReadProcessCounters();
    DestroyWindow(owner);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.gdiObjects, before.gdiObjects);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_LT(after.privateBytes - before.privateBytes, 1 << 20);
}

TEST(EnduranceTest, PlayStopCyclesGrowNoMoreThanBareGraphs) {
    const std::string dir = testsupport::MakeTempDir("endurance");
    const std::string from = testsupport::ExeDir();
    ASSERT_TRUE(CopyFileA((from + "bench.exe").c_str(), (dir + "bench.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((from + "in_atrac3ds.dll").c_str(), (dir + "in_atrac3ds.dll").c_str(), FALSE));
    const std::string wav = dir + "tone.wav";
    const std::string avi = dir + "clip.avi";
    ASSERT_TRUE(testsupport::WriteFileBytes(wav, MakeToneWav(2000)));
    ASSERT_TRUE(testsupport::WriteFileBytes(avi, MakeAvi(1000, 160, 120, 10, true)));

    std::string output;
    const int rc = testsupport::RunCapture(
        Quote(dir + "bench.exe") + " endurance " + Quote(wav) + " " + Quote(avi) + " 100 20 20", output, 600000);
    testsupport::RemoveTree(dir);
    ASSERT_EQ(rc, 0) << "a cycle failed to open its file\n" << output;

    // result figure=growth-NAME plugin=P bare=B
    std::map<std::string, std::pair<long long, long long>> growth;
    size_t at = 0;
    while ((at = output.find("result figure=growth-", at)) != std::string::npos) {
        at += 21;
        const std::string name = output.substr(at, output.find(' ', at) - at);
        const size_t p = output.find("plugin=", at) + 7;
        const size_t b = output.find("bare=", at) + 5;
        growth[name] = {atoll(output.c_str() + p), atoll(output.c_str() + b)};
    }
    ASSERT_EQ(growth.size(), 4u) << output;
    EXPECT_LE(growth["handles"].first, growth["handles"].second) << output;
    EXPECT_LE(growth["gdi"].first, growth["gdi"].second) << output;
    EXPECT_LE(growth["windows"].first, growth["windows"].second) << output;
    EXPECT_LT(growth["private"].first, growth["private"].second + (1 << 20)) << output;
}

}  // namespace
