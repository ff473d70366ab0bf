// The video window with real windows: how it is made, the resize rule through real sizing in each
// aspect mode, the picture's rectangle on a real graph, refusal to close, key forwarding to the
// player's main window, and the full-screen flag.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "engine/Morlune.h"
#include "host/Main.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"
#include "ui/UnitForm.h"

namespace {

struct Received {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Received> mainWindowGot;

// Stands in for the player's main window: it records the keyboard messages that reach it.
LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_CHAR || msg == WM_SYSKEYDOWN)
        mainWindowGot.push_back({msg, wParam, lParam});
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND FirstStatic(HWND parent) {
    struct Find {
        HWND found = nullptr;
        static BOOL CALLBACK Each(HWND w, LPARAM p) {
            wchar_t name[32] = {};
            GetClassNameW(w, name, 32);
            if (_wcsicmp(name, L"Static") != 0)
                return TRUE;
            reinterpret_cast<Find*>(p)->found = w;
            return FALSE;
        }
    } find;
    EnumChildWindows(parent, Find::Each, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

class VideoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        mainWindow = testsupport::MakePlayerWindow(L"VideoFormTestMain", MainWindowProc, WS_OVERLAPPEDWINDOW, 640, 480);
        Module.hMainWindow = mainWindow;
        Engine = std::make_unique<TMorlune>();
        VideoForm = std::make_unique<TVideoForm>();
        VideoForm->Connect({mainWindow, RequestNextTrack, Engine.get()});
        VideoForm->SetParentWindow(mainWindow);  // as Init does
        mainWindowGot.clear();
    }
    void TearDown() override {
        Engine->Stop();
        Engine->CloseGraph();
        VideoForm.reset();
        Engine.reset();
        Module.hMainWindow = nullptr;
        DestroyWindow(mainWindow);
    }
    void Picture(int32_t width, int32_t height) {
        Engine->VideoWidth = width;
        Engine->VideoHeight = height;
    }
    // Another program (or the user's mouse) proposes an outer size.
    void Propose(int32_t width, int32_t height) {
        SetWindowPos(VideoForm->Handle(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    std::pair<int32_t, int32_t> Size() const {
        RECT rc{};
        GetWindowRect(VideoForm->Handle(), &rc);
        EXPECT_EQ(rc.right - rc.left, VideoForm->Width());
        EXPECT_EQ(rc.bottom - rc.top, VideoForm->Height());
        return {rc.right - rc.left, rc.bottom - rc.top};
    }
    void Marks(bool keep, bool fourByThree, bool sixteenByNine, bool free) {
        VideoForm->Mantainaspectratio_Menu.SetChecked(keep);
        VideoForm->N43screenratio1.SetChecked(fourByThree);
        VideoForm->N169screenration1.SetChecked(sixteenByNine);
        VideoForm->freeaspectratio1.SetChecked(free);
    }
    std::vector<bool> MarksNow() const {
        return {VideoForm->Mantainaspectratio_Menu.Checked(), VideoForm->N43screenratio1.Checked(),
                VideoForm->N169screenration1.Checked(), VideoForm->freeaspectratio1.Checked()};
    }
    HWND mainWindow = nullptr;
};

using P = std::pair<int32_t, int32_t>;

TEST_F(VideoWindow, IsMadeHiddenFarOutsideItsParentAsDesigned) {
    TVideoForm& f = *VideoForm;
    EXPECT_FALSE(IsWindowVisible(f.Handle()));
    EXPECT_EQ(GetParent(f.Handle()), mainWindow);
    EXPECT_EQ(f.Left(), 9999);
    EXPECT_EQ(f.Top(), 9999);
    EXPECT_EQ(f.Caption(), L"正在载入音频...");

    std::vector<std::string> names;
    for (int32_t i = 0; i < f.ComponentCount(); ++i)
        names.push_back(f.Component(i)->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"VideoPanel", "TmPanel", "Label1", "VideoMenu", "Aspect1",
                                               "Mantainaspectratio_Menu", "N43screenratio1", "N169screenration1",
                                               "freeaspectratio1", "N1", "Config", "N3", "FullScreen_Menu", "N2",
                                               "About1", "Timer1"}));

    // The player finds the time bar as the first Static window inside the video window.
    EXPECT_EQ(FirstStatic(f.Handle()), f.Label1.Handle());
    EXPECT_EQ(testsupport::WindowText(f.Label1.Handle()), L"ATRAC3 插件");
    EXPECT_EQ(f.Label1.Font().Name(), L"Arial");
    EXPECT_EQ(f.Label1.Font().Height(), -16);
    EXPECT_EQ(f.Label1.Font().Style(), fsBold);
    EXPECT_EQ(f.Label1.Font().Color(), 0x808080u);
    EXPECT_EQ(f.Label1.Font().Charset(), ANSI_CHARSET);
    EXPECT_EQ(f.TmPanel.Height(), 22);
    EXPECT_EQ(f.TmPanel.Color(), clBlack);

    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_EQ(f.Timer1.Interval(), 1000u);

    struct Item {
        TMenuItem* item;
        const wchar_t* caption;
        bool checked;
    };
    for (const Item& row :
         {Item{&f.Aspect1, L"宽高比", false}, Item{&f.Mantainaspectratio_Menu, L"保持", true},
          Item{&f.N43screenratio1, L"4:3", false}, Item{&f.N169screenration1, L"16:9", false},
          Item{&f.freeaspectratio1, L"自由", false}, Item{&f.N1, L"-", false}, Item{&f.Config, L"配置", false},
          Item{&f.N3, L"-", false}, Item{&f.FullScreen_Menu, L"全屏", false}, Item{&f.N2, L"-", false},
          Item{&f.About1, L"关于...", false}}) {
        EXPECT_EQ(row.item->Caption(), row.caption) << row.item->Name();
        EXPECT_EQ(row.item->Checked(), row.checked) << row.item->Name();
    }
    EXPECT_EQ(f.Aspect1.Count(), 4);
    EXPECT_EQ(f.VideoMenu.Count(), 7);
    EXPECT_EQ(f.FullScreen_Menu.Tag(), 0);
}

TEST_F(VideoWindow, TheResizeRuleHoldsForEverySizeChange) {
    // Keep mode: the width follows the height at the picture's ratio, truncated.
    Picture(640, 480);
    VideoForm->SetHeight(480);
    EXPECT_EQ(Size(), P(639, 480));
    Picture(720, 576);
    VideoForm->SetHeight(576);
    EXPECT_EQ(Size(), P(720, 576));
    Picture(352, 288);
    Propose(500, 288);  // as another program would
    EXPECT_EQ(Size(), P(352, 288));
    Picture(176, 144);
    VideoForm->SetHeight(144);
    EXPECT_EQ(Size(), P(320, 200));

    Marks(false, true, false, false);
    Propose(100, 480);
    EXPECT_EQ(Size(), P(639, 480));
    Propose(100, 360);
    EXPECT_EQ(Size(), P(479, 360));
    Propose(100, 150);
    EXPECT_EQ(Size(), P(320, 200));
    Propose(100, 201);
    EXPECT_EQ(Size(), P(267, 201));  // only the width is below its bound

    Marks(false, false, true, false);
    Propose(100, 720);
    EXPECT_EQ(Size(), P(1279, 720));
    Propose(100, 199);
    EXPECT_EQ(Size(), P(353, 199));

    Marks(false, false, false, true);
    Propose(640, 480);
    EXPECT_EQ(Size(), P(639, 480));
    Propose(500, 400);
    EXPECT_EQ(Size(), P(500, 400));
    Propose(100, 100);
    EXPECT_EQ(Size(), P(320, 200));

    // Several marks restored at once: the last in the order keep, 4:3, 16:9, free decides.
    Picture(640, 480);
    Marks(true, false, true, false);
    Propose(100, 360);
    EXPECT_EQ(Size(), P(639, 360));
}

TEST_F(VideoWindow, AspectHandlersMarkTheirItemAndResizeToThePicture) {
    Picture(640, 480);
    VideoForm->N169screenration1Click(nullptr);
    EXPECT_EQ(MarksNow(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(Size(), P(853, 480));  // 480 x 16/9 = 853.33, and the width assignment keeps it

    VideoForm->N43screenratio1Click(nullptr);
    EXPECT_EQ(MarksNow(), (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(Size(), P(639, 480));

    VideoForm->freeaspectratio1Click(nullptr);
    EXPECT_EQ(MarksNow(), (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(Size(), P(639, 480));  // height unchanged; 640 x 480 proposed: 639

    // Choosing the marked item again sets the picture's height again through the rule.
    VideoForm->Mantainaspectratio_MenuClick(nullptr);
    Propose(400, 300);
    EXPECT_EQ(Size(), P(399, 300));
    VideoForm->Mantainaspectratio_MenuClick(nullptr);
    EXPECT_EQ(MarksNow(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(Size(), P(639, 480));

    // Already at the picture's size: neither assignment changes anything, the new ratio waits.
    Picture(720, 576);
    VideoForm->SetHeight(576);
    ASSERT_EQ(Size(), P(720, 576));
    VideoForm->N43screenratio1Click(nullptr);
    EXPECT_EQ(Size(), P(720, 576));
}

TEST_F(VideoWindow, ThePictureGoesBelowTheBarOnARealGraph) {
    const std::string dir = testsupport::MakeTempDir("videoform");
    const std::string avi = dir + "clip.avi";
    ASSERT_TRUE(testsupport::WriteFileBytes(avi, MakeAvi(2000, 320, 240)));
    Engine->SetOwnerWindow(VideoForm->Handle());
    Engine->OpenFile(avi);
    ASSERT_EQ(Engine->VideoWidth, 320);
    ASSERT_EQ(Engine->VideoHeight, 240);
    VideoForm->Show();
    VideoForm->SetHeight(300);
    const int32_t w = VideoForm->ClientWidth(), h = VideoForm->ClientHeight();
    EXPECT_EQ(VideoForm->VideoPanel.Width(), w);
    EXPECT_EQ(VideoForm->VideoPanel.Height(), h - 22);

    // The renderer's window is the video window's child that is not one of ours.
    auto rendererRect = [&] {
        return testsupport::RectInParent(testsupport::ForeignChild(
            VideoForm->Handle(), {VideoForm->VideoPanel.Handle(), VideoForm->TmPanel.Handle()}));
    };
    VideoForm->FormResize(nullptr);
    RECT rc = rendererRect();
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 22);
    EXPECT_EQ(rc.right - rc.left, w);
    EXPECT_EQ(rc.bottom - rc.top, h - 22 + 22);

    // With the bar hidden, as the options dialog hides it: exactly the client area.
    VideoForm->TmPanel.SetVisible(false);
    VideoForm->TmPanel.SetHeight(0);
    VideoForm->FormResize(nullptr);
    rc = rendererRect();
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, w);
    EXPECT_EQ(rc.bottom - rc.top, h);

    // A size change places the picture again by itself.
    VideoForm->SetHeight(400);
    rc = rendererRect();
    EXPECT_EQ(rc.bottom - rc.top, VideoForm->ClientHeight());
    Engine->CloseGraph();
    testsupport::RemoveTree(dir);
}

TEST_F(VideoWindow, ACloseRequestLeavesItOpenAndVisible) {
    ShowWindow(mainWindow, SW_SHOWNA);
    VideoForm->Show();
    ASSERT_TRUE(IsWindowVisible(VideoForm->Handle()));
    SendMessageW(VideoForm->Handle(), WM_CLOSE, 0, 0);
    SendMessageW(VideoForm->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(VideoForm->Handle()));
    EXPECT_TRUE(IsWindowVisible(VideoForm->Handle()));
    EXPECT_TRUE(VideoForm->Visible());
}

TEST_F(VideoWindow, KeysGoToThePlayerExceptEscapeWhichLeavesFullScreen) {
    SendMessageW(VideoForm->Handle(), WM_KEYDOWN, 'A', 0x001E0001);
    SendMessageW(VideoForm->Handle(), WM_KEYDOWN, VK_SPACE, 0x00390001);
    ASSERT_EQ(mainWindowGot.size(), 2u);
    EXPECT_EQ(mainWindowGot[0].msg, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(mainWindowGot[0].wParam, static_cast<WPARAM>('A'));
    EXPECT_EQ(mainWindowGot[0].lParam, 0x001E0001);
    EXPECT_EQ(mainWindowGot[1].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_EQ(mainWindowGot[1].lParam, 0x00390001);

    // Only key-downs travel.
    SendMessageW(VideoForm->Handle(), WM_KEYUP, 'A', 0xC01E0001);
    SendMessageW(VideoForm->Handle(), WM_CHAR, 'a', 0x001E0001);
    SendMessageW(VideoForm->Handle(), WM_SYSKEYDOWN, 'A', 0x201E0001);
    EXPECT_EQ(mainWindowGot.size(), 2u);

    VideoForm->FullScreen_MenuClick(nullptr);
    ASSERT_EQ(VideoForm->FullScreen_Menu.Tag(), 1);
    SendMessageW(VideoForm->Handle(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(mainWindowGot.size(), 2u);
    EXPECT_EQ(VideoForm->FullScreen_Menu.Tag(), 0);
    EXPECT_EQ(VideoForm->FullScreen_Menu.Caption(), L"全屏");
    // Escape while windowed does the same.
    SendMessageW(VideoForm->Handle(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(VideoForm->FullScreen_Menu.Tag(), 0);
    EXPECT_EQ(mainWindowGot.size(), 2u);
}

TEST_F(VideoWindow, FullScreenFlagAndAbout) {
    TMenuItem& item = VideoForm->FullScreen_Menu;
    VideoForm->FullScreen_MenuClick(nullptr);
    EXPECT_EQ(item.Tag(), 1);
    EXPECT_EQ(item.Caption(), L"退出全屏");
    VideoForm->FullScreen_MenuClick(nullptr);
    EXPECT_EQ(item.Tag(), 0);
    EXPECT_EQ(item.Caption(), L"全屏");
    item.SetTag(5);  // any non-zero flag counts as full screen
    VideoForm->FullScreen_MenuClick(nullptr);
    EXPECT_EQ(item.Tag(), 0);
    EXPECT_EQ(item.Caption(), L"全屏");

    // About resets the flag (the dialog itself is not made in this test).
    VideoForm->FullScreen_MenuClick(nullptr);
    ASSERT_EQ(item.Tag(), 1);
    VideoForm->About1Click(nullptr);
    EXPECT_EQ(item.Tag(), 0);
    EXPECT_EQ(item.Caption(), L"全屏");
}

TEST_F(VideoWindow, ARightClickOpensTheContextMenu) {
    ShowWindow(mainWindow, SW_SHOWNA);
    VideoForm->Show();
    HMENU opened = nullptr;
    TWndMethod routine = VideoForm->WindowProc;
    VideoForm->WindowProc = [&](TMessage& m) {
        if (m.Msg == WM_INITMENUPOPUP && !opened)
            opened = reinterpret_cast<HMENU>(m.WParam);
        routine(m);
    };
    // The menu runs its own loop; a timer inside it closes the menu again.
    TTimer closer(nullptr, "closer");
    closer.SetInterval(200);
    closer.OnTimer = [&](TComponent*) {
        closer.SetEnabled(false);
        EndMenu();
    };
    SendMessageW(VideoForm->VideoPanel.Handle(), WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(opened, VideoForm->VideoMenu.Handle());
    EXPECT_EQ(VideoForm->FullScreen_Menu.Tag(), 0);  // nothing was chosen
}

}  // namespace
