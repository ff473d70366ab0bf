// The host callbacks in process, as the player calls them: a test window plays the player's main
// window and records what the plug-in sends it; the engine renders real media that the test writes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/Notify.h"
#include "engine/Morlune.h"
#include "host/Main.h"
#include "tests/wine/FakeGraph.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"
#include "ui/UnitForm.h"

namespace {

struct Received {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};
std::vector<Received> received;
const char* playlistEntry = nullptr;

LRESULT CALLBACK PlayerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER || msg == WM_KEYDOWN) {
        received.push_back({msg, wp, lp});
        if (msg == WM_USER && lp == kIpcGetListPos)
            return 3;
        if (msg == WM_USER && lp == kIpcGetPlaylistFile)
            return reinterpret_cast<LRESULT>(playlistEntry);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

// What Init left, before any case played.
struct AfterInit {
    HWND video = nullptr;
    HWND parent = nullptr;
    bool visible = true;
    HWND engineOwner = nullptr;
    RECT place{};  // in the player's client coordinates
    int length = -5;
    char title[64] = {};
    int infoLength = -5;
};

class HostCallbacks : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = testsupport::MakeTempDir("host");
        avi = dir + "clip.avi";
        wav = dir + "tone.wav";
        ASSERT_TRUE(testsupport::WriteFileBytes(avi, MakeAvi(3000, 320, 240, 10, true)));
        ASSERT_TRUE(testsupport::WriteFileBytes(wav, MakeToneWav(2000)));
        SetNoticeHook([](const std::wstring& text, NoticeKind) { notices.push_back(text); });

        player = testsupport::MakePlayerWindow(L"HostTestPlayer", PlayerProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        winampGetInModule2()->hMainWindow = player;
        Module.Init();
        // The module's globals are made once, so what Init leaves is seen here, before any case
        // plays: the cases run in any order.
        afterInit.video = VideoForm->Handle();
        afterInit.parent = GetParent(afterInit.video);
        afterInit.visible = IsWindowVisible(afterInit.video) != FALSE;
        afterInit.engineOwner = Engine->OwnerWindow;
        afterInit.place = Outer();
        MapWindowPoints(nullptr, player, reinterpret_cast<POINT*>(&afterInit.place), 2);
        afterInit.length = Module.GetLength();
        Module.GetFileInfo("C:\\x\\y.oma", afterInit.title, &afterInit.infoLength);
    }
    void SetUp() override { notices.clear(); }
    static void TearDownTestSuite() {
        Module.Stop();
        SetNoticeHook({});
        testsupport::RemoveTree(dir);
    }
    static RECT Outer() {
        RECT r;
        GetWindowRect(VideoForm->Handle(), &r);
        return r;
    }

    static inline AfterInit afterInit;
    static inline std::string dir, avi, wav;
    static inline HWND player = nullptr;
    static inline std::vector<std::wstring> notices;
};

TEST_F(HostCallbacks, InitLeavesAHiddenChildOfThePlayerFarOutside) {
    ASSERT_NE(afterInit.video, nullptr);
    EXPECT_EQ(afterInit.parent, player);
    EXPECT_FALSE(afterInit.visible);
    EXPECT_EQ(afterInit.engineOwner, afterInit.video);
    EXPECT_EQ(afterInit.place.left, 9999);
    EXPECT_EQ(afterInit.place.top, 9999);
    EXPECT_EQ(afterInit.length, 0);
    EXPECT_STREQ(afterInit.title, "y.oma");
    EXPECT_EQ(afterInit.infoLength, 0);
    EXPECT_EQ(VideoForm->Handle(), afterInit.video) << "the window is made once";
}

TEST_F(HostCallbacks, PlayShowsSizesAndPlacesThePicture) {
    EXPECT_EQ(Module.Play(avi.c_str()), 0);
    HWND video = VideoForm->Handle();
    EXPECT_TRUE(IsWindowVisible(video));
    RECT r = Outer();
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    // Keep mode, 320 x 240 picture: the width follows the height by the picture's ratio, truncated.
    EXPECT_EQ(w, 319);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(testsupport::WindowText(video), L"clip.avi [319 x 240]");
    EXPECT_EQ(testsupport::WindowText(VideoForm->Label1.Handle()), L"clip.avi");
    EXPECT_EQ(Module.GetLength(), 3000);
    EXPECT_TRUE(notices.empty());

    // The renderer's window sits below the bar and reaches 22 pixels past the client area.
    RECT client;
    GetClientRect(video, &client);
    HWND renderer = testsupport::ForeignChild(video, {VideoForm->TmPanel.Handle(), VideoForm->VideoPanel.Handle()});
    ASSERT_NE(renderer, nullptr);
    const RECT pic = testsupport::RectInParent(renderer);
    EXPECT_EQ(pic.left, 0);
    EXPECT_EQ(pic.top, 22);
    EXPECT_EQ(pic.right, client.right);
    EXPECT_EQ(pic.bottom, client.bottom + 22);

    testsupport::PumpMessages(700);
    EXPECT_GT(Engine->GetPositionMs(), 300) << "the graph runs after Play";

    Module.Pause();
    EXPECT_EQ(Module.IsPaused(), 1);
    EXPECT_EQ(Engine->State, esPaused);
    Module.UnPause();
    EXPECT_EQ(Module.IsPaused(), 0);
    EXPECT_EQ(Engine->State, esRunning);

    Module.Pause();
    Module.Stop();
    EXPECT_FALSE(IsWindowVisible(video));
    EXPECT_EQ(Module.GetLength(), 3000) << "the length outlives Stop";
    EXPECT_EQ(Engine->GetPositionMs(), -1);
    // A track started after Pause and Stop is not reported as paused.
    EXPECT_EQ(Module.Play(wav.c_str()), 0);
    EXPECT_EQ(Module.IsPaused(), 0);
    EXPECT_EQ(Module.GetLength(), 2000);
    // Seeking is tried on the sound file: Wine's AVI splitter here hangs a Stop that follows a seek.
    Module.SetOutputTime(1000);
    EXPECT_GE(Engine->GetPositionMs(), 1000);
    Module.Stop();
}

TEST_F(HostCallbacks, PlayReportsMissingAndUnplayableFiles) {
    const std::string missing = dir + "gone.oma";
    EXPECT_EQ(Module.Play(missing.c_str()), -1);
    HWND video = VideoForm->Handle();
    EXPECT_TRUE(IsWindowVisible(video)) << "the window shows the name all the same";
    EXPECT_EQ(testsupport::WindowText(VideoForm->Label1.Handle()), L"gone.oma");
    RECT r = Outer();
    EXPECT_EQ(testsupport::WindowText(video), std::wstring(L"gone.oma [") + std::to_wstring(r.right - r.left) + L" x " +
                                                  std::to_wstring(r.bottom - r.top) + L"]");
    Module.Stop();

    const std::string garbage = dir + "noise.oma";
    ASSERT_TRUE(testsupport::WriteFileBytes(garbage, std::string(4096, '\x5A')));
    notices.clear();
    const int rc = Module.Play(garbage.c_str());
    EXPECT_NE(rc, 0);
    EXPECT_NE(rc, -1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], L"无法执行文件");
    Module.Stop();
}

// A failure inside the open after the graph is built (an allocation that fails, here inside a
// scripted graph's call) is a file that did not open: Play says so, and the player never hears
// the previous file's length for it.
TEST_F(HostCallbacks, PlayNeverReportsAFileOpenAfterAFailureInsideTheOpen) {
    ASSERT_EQ(Module.Play(wav.c_str()), 0);
    EXPECT_EQ(Module.GetLength(), 2000);
    Module.Stop();
    for (const char* failing :
         {"IGraphBuilder::RenderFile", "IMediaSeeking::GetDuration", "IVideoWindow::put_MessageDrain"}) {
        SCOPED_TRACE(failing);
        FakeGraph fake;
        fake.duration = 70000000;
        fake.throws = {failing};
        SetGraphSource(fake.Source());
        notices.clear();
        const int rc = Module.Play(wav.c_str());
        EXPECT_NE(rc, 0);
        EXPECT_NE(rc, -1) << "the file is there";
        EXPECT_EQ(notices, std::vector<std::wstring>{L"无法执行文件"});
        EXPECT_FALSE(GraphIsOpen());
        Module.Stop();
        SetGraphSource({});
        EXPECT_EQ(fake.OutstandingRefs(), 0);
    }
    EXPECT_EQ(Module.Play(wav.c_str()), 0) << "the real graph again";
    Module.Stop();
}

TEST_F(HostCallbacks, GetFileInfoAsksThePlayerForTheCurrentEntry) {
    // A name in code page 936 whose second character ends in the backslash byte.
    static const char entry[] = "D:\\music\\\x95\\\xB1\xED.oma";
    playlistEntry = entry;
    for (const char* file : {static_cast<const char*>(nullptr), ""}) {
        received.clear();
        char title[64] = {};
        int length = -5;
        Module.GetFileInfo(file, title, &length);
        ASSERT_EQ(received.size(), 2u);
        EXPECT_EQ(received[0].lp, kIpcGetListPos);
        EXPECT_EQ(received[1].lp, kIpcGetPlaylistFile);
        EXPECT_EQ(received[1].wp, 3u) << "the index the player answered";
        EXPECT_STREQ(title, "\x95\\\xB1\xED.oma");
        EXPECT_EQ(length, TrackLengthMs);
    }
    // A null answer gives the empty title; null buffers are left alone.
    playlistEntry = nullptr;
    char title[8] = "x";
    Module.GetFileInfo(nullptr, title, nullptr);
    EXPECT_STREQ(title, "");
    Module.GetFileInfo("a.oma", nullptr, nullptr);
}

TEST_F(HostCallbacks, GetFileInfoNeverWritesPastTheTitleBuffer) {
    std::string longName(3000, 'a');
    longName[2046] = '\xB1';  // a double-byte character straddling the limit is left out whole
    longName[2047] = '\xED';
    std::vector<char> title(4096, '\x7F');
    Module.GetFileInfo(longName.c_str(), title.data(), nullptr);
    const size_t n = strnlen(title.data(), title.size());
    EXPECT_EQ(n, 2046u);
    EXPECT_EQ(title[2047], '\x7F') << "nothing written after the terminator";
}

}  // namespace
