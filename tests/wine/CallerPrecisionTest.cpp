// The resize rule inside the loaded DLL, driven as a player drives it: the player's thread runs the
// x87 unit at the player's own precision, plays a file through the record's callbacks and resizes
// the video window. At 53 bits (0x27F, how programs built by Microsoft's compilers run) the
// unguarded products would round up to 640 and 1280; at 64 bits (0x37F) they truncate as the
// rule wants. Either way the plug-in must size the window by its rule and give the word back.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "host/InModule.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"
#include "ui/X87Precision.h"

namespace {

LRESULT CALLBACK PlayerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER)
        return 0;  // the player's IPC: nothing to report here
    return DefWindowProcW(w, msg, wp, lp);
}

class CallerPrecision : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = testsupport::MakeTempDir("precision");
        ASSERT_TRUE(testsupport::WriteFileBytes(dir + "four-three.avi", MakeAvi(1500, 320, 240, 2, true)));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir + "sixteen-nine.avi", MakeAvi(1500, 320, 180, 2, true)));

        mod = testsupport::LoadPluginRecord(dll);
        ASSERT_NE(mod, nullptr);

        player = testsupport::MakePlayerWindow(L"CallerPrecisionPlayer", PlayerProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        mod->hMainWindow = player;
        mod->hDllInstance = dll;
        mod->Init();
        video = GetWindow(player, GW_CHILD);  // Init's only child of the main window
    }
    static void TearDownTestSuite() {
        if (mod) {
            mod->Stop();
            mod->Quit();
        }
        if (dll)
            FreeLibrary(dll);
        if (player)
            DestroyWindow(player);
        testsupport::RemoveTree(dir);
    }

    static inline std::string dir;
    static inline HMODULE dll = nullptr;
    static inline In_Module* mod = nullptr;
    static inline HWND player = nullptr;
    static inline HWND video = nullptr;
};

TEST_F(CallerPrecision, ThePictureRatioRuleHoldsAtThePlayersControlWord) {
    ASSERT_NE(video, nullptr);
    const uint16_t own = ReadX87ControlWord();
    const struct {
        const char* file;
        int32_t height;
        int32_t wantWidth;  // height x the double nearest the ratio, just below it, truncated
    } rows[] = {
        {"four-three.avi", 480, 639},
        {"sixteen-nine.avi", 720, 1279},
    };
    for (const uint16_t word : {uint16_t{0x027F}, uint16_t{0x037F}}) {
        for (const auto& row : rows) {
            const std::string file = dir + row.file;
            WriteX87ControlWord(word);
            const int played = mod->Play(file.c_str());
            // Rendering the picture may leave the thread's word changed (Wine's renderer does);
            // the player's code runs at its own word again before the window is resized.
            WriteX87ControlWord(word);
            SetWindowPos(video, nullptr, 0, 0, 100, row.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            const uint16_t after = ReadX87ControlWord();
            WriteX87ControlWord(own);  // gtest's own arithmetic at the test's usual precision

            RECT r{};
            GetWindowRect(video, &r);
            EXPECT_EQ(played, 0) << row.file;
            EXPECT_EQ(r.right - r.left, row.wantWidth) << row.file << " under 0x" << std::hex << word;
            EXPECT_EQ(r.bottom - r.top, row.height) << row.file << " under 0x" << std::hex << word;
            EXPECT_EQ(after, word) << row.file << ": the player's control word was not given back";
            mod->Stop();
        }
    }
}

}  // namespace
