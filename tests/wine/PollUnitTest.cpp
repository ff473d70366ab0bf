// The poll in this process, against a recording stand-in for the player's main window: with no
// file open every poll ends the track (the duration is 0), which shows the end rule's messages,
// the signed sum of the answers, the one-second wait and what follows it (the next-track command
// or the end-of-track message, never both), and the bar written only when it changes.
// The player's Stop and Play within that second are tested end to end in PollTest.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "host/Main.h"
#include "settings/AmpShell.h"
#include "tests/wine/TestSupport.h"
#include "ui/UnitForm.h"

namespace {

struct Sent {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    DWORD tick;
};
std::vector<Sent> sent;
LRESULT shuffleAnswer = 0, repeatAnswer = 0;
int barWrites = 0;

LRESULT CALLBACK PlayerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER || msg == WM_COMMAND || msg == kWmWaMpegEof) {
        sent.push_back({msg, wp, lp, GetTickCount()});
        if (msg == WM_USER && lp == kIpcGetShuffle)
            return shuffleAnswer;
        if (msg == WM_USER && lp == kIpcGetRepeat)
            return repeatAnswer;
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

LRESULT CALLBACK CountBarWrites(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETTEXT)
        ++barWrites;
    return DefSubclassProc(w, msg, wp, lp);
}

using testsupport::PumpMessages;

std::vector<Sent> Commands() {
    std::vector<Sent> commands;
    for (const auto& s : sent) {
        if (s.msg == WM_COMMAND)
            commands.push_back(s);
    }
    return commands;
}

std::vector<Sent> Ends() {
    std::vector<Sent> ends;
    for (const auto& s : sent) {
        if (s.msg == kWmWaMpegEof)
            ends.push_back(s);
    }
    return ends;
}

class PollUnit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = testsupport::MakeTempDir("pollunit");
        SetSettingsFolder(folder_.substr(0, folder_.size() - 1));
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PlayerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"RecordingPlayer";
        RegisterClassW(&wc);
        Module.hMainWindow = CreateWindowExW(0, wc.lpszClassName, L"player", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                             nullptr, nullptr, wc.hInstance, nullptr);
        Module.Init();
        PumpMessages(200);  // the settings start-up
        SetWindowSubclass(VideoForm->Label1.Handle(), CountBarWrites, 1, 0);
    }
    static void TearDownTestSuite() {
        SetSettingsFolder("");
        testsupport::RemoveTree(folder_);
    }
    void SetUp() override {
        PumpMessages(1300);  // let a wait left by an earlier case run out
        // Another text on the bar, as Play's file name puts there: every case starts from a bar
        // the poll has yet to write, whichever ran before.
        VideoForm->Label1.SetCaption(L"tone.wav");
        sent.clear();
        barWrites = 0;
    }
    static std::string folder_;
};
std::string PollUnit::folder_;

TEST_F(PollUnit, EveryPollAsksShuffleThenRepeatAndTheBarIsWrittenOnce) {
    shuffleAnswer = 2;
    repeatAnswer = -1;
    const DWORD start = GetTickCount();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Module.GetOutputTime(), -1);
    ASSERT_EQ(sent.size(), 10u);
    for (size_t i = 0; i < sent.size(); i += 2) {
        EXPECT_EQ(sent[i].msg, static_cast<UINT>(WM_USER));
        EXPECT_EQ(sent[i].wParam, 0u);
        EXPECT_EQ(sent[i].lParam, 250);
        EXPECT_EQ(sent[i + 1].lParam, 251);
    }
    EXPECT_EQ(AdvanceOnEnd, 1) << "2 + -1";
    EXPECT_EQ(VideoForm->Label1.Caption(), L"00:00:00");
    EXPECT_EQ(barWrites, 1) << "an unchanged text is not set again";
    EXPECT_FALSE(VideoForm->Visible());

    // Polls go on every 50 ms: the wait started by the first one is not restarted by the others
    // (a restarted wait would never end while they last).
    while (GetTickCount() - start < 1600 && Commands().empty()) {
        PumpMessages(50);
        Module.GetOutputTime();
    }
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, 40048u);
    EXPECT_EQ(commands[0].lParam, 0);
    EXPECT_GE(commands[0].tick - start, 950u);
    PumpMessages(100);
    EXPECT_TRUE(Ends().empty()) << "the player would skip an entry";
}

TEST_F(PollUnit, OtherwiseTheEndOfTrackMessageASecondLaterAndNoCommand) {
    const LRESULT rows[][2] = {{-1, 1}, {0, 0}, {-5, 0}};
    for (auto& row : rows) {
        sent.clear();
        shuffleAnswer = row[0];
        repeatAnswer = row[1];
        const DWORD start = GetTickCount();
        Module.GetOutputTime();
        PumpMessages(1400);
        EXPECT_TRUE(Commands().empty()) << row[0] << " + " << row[1];
        const auto ends = Ends();
        ASSERT_EQ(ends.size(), 1u) << row[0] << " + " << row[1];
        EXPECT_EQ(ends[0].wParam, 0u);
        EXPECT_EQ(ends[0].lParam, 0);
        EXPECT_GE(ends[0].tick - start, 700u);
        EXPECT_LE(ends[0].tick - start, 1300u);
    }
}

TEST_F(PollUnit, AStopOrPlayWithinTheSecondCancelsTheEndOfTrackMessage) {
    shuffleAnswer = 0;
    repeatAnswer = 0;
    for (int choice = 0; choice < 2; ++choice) {
        sent.clear();
        Module.GetOutputTime();
        PumpMessages(500);
        if (choice == 0)
            Module.Stop();
        else
            EXPECT_EQ(Module.Play("Z:\\no\\such\\file.oma"), -1);
        // The failed Play leaves no graph: its poll would end again, so none is made here.
        PumpMessages(1000);
        EXPECT_TRUE(Ends().empty()) << (choice == 0 ? "Stop" : "Play");
        EXPECT_TRUE(Commands().empty());
        Module.Stop();
    }
}

}  // namespace
