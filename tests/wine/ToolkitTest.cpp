// The widget layer's behaviours that the forms rely on, with real windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Notify.h"
#include "tests/wine/TestSupport.h"
#include "ui/toolkit/Toolkit.h"

namespace {

using testsupport::PumpMessages;
using testsupport::WindowText;

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

class TTestForm : public TForm {
public:
    TTestForm()
        : TForm("TestForm"),
          Bar(Add<TPanel>("Bar", *this)),
          Area(Add<TImage>("Area", *this)),
          Group(Add<TGroupBox>("Group", *this)),
          Box(Add<TCheckBox>("Box", Group)),
          Radio(Add<TRadioButton>("Radio", Group)),
          Formats(Add<TRadioGroup>("Formats", *this)),
          Go(Add<TButton>("Go", *this)),
          Text(Add<TLabel>("Text", Bar)),
          Colors(Add<TColorBox>("Colors", *this)),
          Menu(Add<TPopupMenu>("Menu")),
          Parent(Add<TMenuItem>("Parent", Menu)),
          Child(Add<TMenuItem>("Child", Parent)),
          Line(Add<TMenuItem>("Line", Menu)),
          Ticker(Add<TTimer>("Ticker")),
          Track(Add<TTrackBar>("Track", *this)),
          Pages(Add<TNotebook>("Pages", *this)) {
        SetBounds(100, 100, 400, 300);
        Bar.SetHeight(22);
        Bar.SetAlign(alTop);
        Area.SetAlign(alClient);
        Group.SetBounds(8, 8, 200, 100);
        Box.SetBounds(8, 24, 97, 15);
        Box.SetCaption(L"显示时间栏");
        Go.SetBounds(240, 208, 75, 25);
        Go.SetCaption(L"关闭(&C)");
        Text.SetCaption(L"时间字体");
        Formats.SetBounds(8, 120, 200, 100);
        Formats.SetItems({L"时间", L"时间和长度", L"剩余时间", L"剩余时间和长度"});
        Line.SetCaption(L"-");
        Ticker.SetEnabled(false);
        DoCreate();
    }
    TPanel& Bar;
    TImage& Area;
    TGroupBox& Group;
    TCheckBox& Box;
    TRadioButton& Radio;
    TRadioGroup& Formats;
    TButton& Go;
    TLabel& Text;
    TColorBox& Colors;
    TPopupMenu& Menu;
    TMenuItem& Parent;
    TMenuItem& Child;
    TMenuItem& Line;
    TTimer& Ticker;
    TTrackBar& Track;
    TNotebook& Pages;
};

class Toolkit : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<TTestForm>();
        SetNoticeHook([this](const std::wstring& text, NoticeKind kind) {
            notices.push_back(text);
            kinds.push_back(kind);
        });
    }
    void TearDown() override {
        SetNoticeHook({});
        form.reset();
    }
    std::unique_ptr<TTestForm> form;
    std::vector<std::wstring> notices;
    std::vector<NoticeKind> kinds;
};

TEST_F(Toolkit, ComponentsAreWalkedInCreationOrderAndMatchedByKind) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < form->ComponentCount(); ++i)
        names.push_back(form->Component(i)->Name());
    EXPECT_EQ(names,
              (std::vector<std::string>{"Bar", "Area", "Group", "Box", "Radio", "Formats", "Go", "Text", "Colors",
                                        "Menu", "Parent", "Child", "Line", "Ticker", "Track", "Pages"}));
    // A descendant counts as its base kind, as the settings store tests kinds.
    std::vector<std::string> groups, combos, items;
    for (int32_t i = 0; i < form->ComponentCount(); ++i) {
        TComponent* c = form->Component(i);
        if (dynamic_cast<TGroupBox*>(c))
            groups.push_back(c->Name());
        if (dynamic_cast<TComboBox*>(c))
            combos.push_back(c->Name());
        if (dynamic_cast<TMenuItem*>(c))
            items.push_back(c->Name());
        EXPECT_EQ(c->Owner(), form.get());
    }
    EXPECT_EQ(groups, (std::vector<std::string>{"Group", "Formats"}));
    EXPECT_EQ(combos, (std::vector<std::string>{"Colors"}));
    EXPECT_EQ(items, (std::vector<std::string>{"Parent", "Child", "Line"}));
    EXPECT_EQ(dynamic_cast<TPanel*>(form->Component(1)), nullptr);  // an image is not a panel
}

TEST_F(Toolkit, ControlsAreChildWindowsWhoseTextIsTheirCaption) {
    EXPECT_EQ(GetParent(form->Box.Handle()), form->Group.Handle());
    EXPECT_EQ(GetParent(form->Text.Handle()), form->Bar.Handle());
    EXPECT_EQ(WindowText(form->Box.Handle()), L"显示时间栏");
    EXPECT_EQ(WindowText(form->Go.Handle()), L"关闭(&C)");
    EXPECT_EQ(ClassOf(form->Text.Handle()), L"Static");
    EXPECT_NE(ClassOf(form->Area.Handle()), L"Static");  // labels are the only Static windows
    form->SetCaption(L"选项");
    EXPECT_EQ(WindowText(form->Handle()), L"选项");
    EXPECT_EQ(form->Caption(), L"选项");
    // Creation order is the tab order: the first child window is the first control made.
    EXPECT_EQ(GetWindow(form->Handle(), GW_CHILD), form->Bar.Handle());
    EXPECT_EQ(GetWindow(form->Bar.Handle(), GW_HWNDNEXT), form->Area.Handle());
}

TEST_F(Toolkit, CheckedFiresOnClickOnlyOnAChange) {
    int clicks = 0;
    form->Box.OnClick = [&](TComponent* sender) {
        EXPECT_EQ(sender, &form->Box);
        ++clicks;
    };
    form->Box.SetChecked(true);
    form->Box.SetChecked(true);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(SendMessageW(form->Box.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    form->Box.SetChecked(false);
    EXPECT_EQ(clicks, 2);
    // The user's click toggles the box and fires the same event.
    SendMessageW(form->Box.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 3);
    EXPECT_TRUE(form->Box.Checked());
    EXPECT_EQ(SendMessageW(form->Box.Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(Toolkit, RadioGroupClampsItsIndexAndClicksOnANewItem) {
    int clicks = 0;
    form->Formats.OnClick = [&](TComponent*) { ++clicks; };
    EXPECT_EQ(form->Formats.ItemIndex(), -1);
    form->Formats.SetItemIndex(7);
    EXPECT_EQ(form->Formats.ItemIndex(), 3);
    EXPECT_EQ(clicks, 1);
    form->Formats.SetItemIndex(3);
    EXPECT_EQ(clicks, 1);
    form->Formats.SetItemIndex(-5);
    EXPECT_EQ(form->Formats.ItemIndex(), -1);
    EXPECT_EQ(clicks, 1);
    // The item buttons are windows of the group with the items' texts; a click selects.
    HWND first = GetWindow(form->Formats.Handle(), GW_CHILD);
    EXPECT_EQ(WindowText(first), L"时间");
    SendMessageW(GetWindow(first, GW_HWNDNEXT), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Formats.ItemIndex(), 1);
    EXPECT_EQ(clicks, 2);
}

// The fonts the group's item buttons hold, in order.
std::vector<HFONT> ButtonFonts(const TRadioGroup& group) {
    std::vector<HFONT> fonts;
    for (HWND b = GetWindow(group.Handle(), GW_CHILD); b; b = GetWindow(b, GW_HWNDNEXT))
        fonts.push_back(reinterpret_cast<HFONT>(SendMessageW(b, WM_GETFONT, 0, 0)));
    return fonts;
}

TEST_F(Toolkit, RadioGroupButtonsFollowTheGroupsFontAndNeverHoldADeletedOne) {
    TRadioGroup& group = form->Formats;
    {
        TFont first = group.Font();
        first.SetName(L"Arial");
        group.SetFont(first);
    }  // now the group alone keeps this font alive
    group.SetItems({L"a", L"b", L"c"});
    TFont second = group.Font();
    second.SetHeight(-20);
    (void)second.Handle();  // made while the first still lives, so it cannot take the first one's handle
    group.SetFont(second);

    const std::vector<HFONT> fonts = ButtonFonts(group);
    ASSERT_EQ(fonts.size(), 3u);
    for (HFONT font : fonts) {
        EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT)) << "a deleted font";
        EXPECT_EQ(font, group.Font().Handle());
    }
}

TEST_F(Toolkit, SizeChangesPassThroughOnCanResize) {
    std::vector<std::pair<int32_t, int32_t>> proposals;
    int resizes = 0;
    form->OnCanResize = [&](TComponent*, int32_t& w, int32_t& h, bool&) {
        proposals.emplace_back(w, h);
        w = h * 2;  // a rule of our own: the width follows the height
    };
    form->OnResize = [&](TComponent*) { ++resizes; };

    form->SetHeight(250);
    ASSERT_EQ(proposals.size(), 1u);
    EXPECT_EQ(proposals[0], std::make_pair(400, 250));  // the other dimension as it was
    EXPECT_EQ(form->Width(), 500);
    EXPECT_EQ(form->Height(), 250);
    EXPECT_EQ(resizes, 1);
    RECT rc{};
    GetWindowRect(form->Handle(), &rc);
    EXPECT_EQ(rc.right - rc.left, 500);

    form->SetHeight(250);  // the current value: nothing at all
    form->SetWidth(500);
    EXPECT_EQ(proposals.size(), 1u);
    EXPECT_EQ(resizes, 1);

    form->SetWidth(300);  // the rule puts the width back
    ASSERT_EQ(proposals.size(), 2u);
    EXPECT_EQ(proposals[1], std::make_pair(300, 250));
    EXPECT_EQ(form->Width(), 500);

    // Another program's SetWindowPos goes the same way.
    SetWindowPos(form->Handle(), nullptr, 0, 0, 350, 210, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(proposals.size(), 3u);
    EXPECT_EQ(proposals[2], std::make_pair(350, 210));
    EXPECT_EQ(form->Width(), 420);
    EXPECT_EQ(form->Height(), 210);

    // Refused: the size stays.
    form->OnCanResize = [](TComponent*, int32_t&, int32_t&, bool& resize) { resize = false; };
    form->SetHeight(260);
    EXPECT_EQ(form->Height(), 210);
}

TEST_F(Toolkit, AlignedChildrenFollowTheFormAndTheBar) {
    form->SetBounds(100, 100, 420, 320);
    const int32_t cw = form->ClientWidth(), ch = form->ClientHeight();
    EXPECT_EQ(form->Bar.Top(), 0);
    EXPECT_EQ(form->Bar.Width(), cw);
    EXPECT_EQ(form->Bar.Height(), 22);
    EXPECT_EQ(form->Area.Top(), 22);
    EXPECT_EQ(form->Area.Width(), cw);
    EXPECT_EQ(form->Area.Height(), ch - 22);
    RECT rc{};
    GetWindowRect(form->Area.Handle(), &rc);
    EXPECT_EQ(rc.bottom - rc.top, ch - 22);
    // Hiding the bar gives its room to the area; its height stays.
    int resizes = 0;
    form->OnResize = [&](TComponent*) { ++resizes; };
    form->Bar.SetVisible(false);
    EXPECT_EQ(form->Area.Top(), 0);
    EXPECT_EQ(form->Area.Height(), ch);
    EXPECT_EQ(form->Bar.Height(), 22);
    form->Bar.SetVisible(true);
    form->Bar.SetHeight(0);
    EXPECT_EQ(form->Area.Height(), ch);
    EXPECT_EQ(resizes, 0);  // the form's own size did not change
}

TEST_F(Toolkit, TimerDefaultsAndOneShotUse) {
    TTimer& fresh = form->Add<TTimer>("Fresh");
    EXPECT_TRUE(fresh.Enabled());
    EXPECT_EQ(fresh.Interval(), 1000u);
    fresh.SetEnabled(false);

    int ticks = 0;
    form->Ticker.SetInterval(50);
    form->Ticker.OnTimer = [&](TComponent* sender) {
        EXPECT_EQ(sender, &form->Ticker);
        form->Ticker.SetEnabled(false);
        ++ticks;
    };
    form->Ticker.SetEnabled(true);
    PumpMessages(400);
    EXPECT_EQ(ticks, 1);
}

TEST_F(Toolkit, EnablingAnEnabledTimerDoesNotRestartIt) {
    DWORD start = GetTickCount(), tickAt = 0;
    form->Ticker.SetInterval(300);
    form->Ticker.OnTimer = [&](TComponent*) {
        if (!tickAt)
            tickAt = GetTickCount() - start;
        form->Ticker.SetEnabled(false);
    };
    form->Ticker.SetEnabled(true);
    PumpMessages(200);
    form->Ticker.SetEnabled(true);  // a restart would move the tick to 500 ms
    PumpMessages(500);
    ASSERT_NE(tickAt, 0u);
    EXPECT_LT(tickAt, 480u);
}

TEST_F(Toolkit, TheEventEdgeShowsTheErrorAndLeavesTheDispatchUsable) {
    int clicks = 0;
    form->Go.OnClick = [&](TComponent*) {
        ++clicks;
        throw Exception(L"Unable to write to C:\\p\\MorlunePlugin.INI");
    };
    SendMessageW(form->Go.Handle(), BM_CLICK, 0, 0);  // as the window system delivers a click
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], L"Unable to write to C:\\p\\MorlunePlugin.INI.");
    EXPECT_EQ(kinds[0], NoticeKind::Error);
    // The button's own click handling ran to its end around the error: it is not left pushed and
    // holds no capture, and the next click reaches the handler again.
    EXPECT_EQ(SendMessageW(form->Go.Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    EXPECT_NE(GetCapture(), form->Go.Handle());
    SendMessageW(form->Go.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(notices.size(), 2u);

    // Anything else stops at the edge without a word, and the click after it is handled too.
    form->Go.OnClick = [&](TComponent*) {
        if (++clicks == 3)
            throw std::runtime_error("no");
    };
    SendMessageW(form->Go.Handle(), BM_CLICK, 0, 0);
    SendMessageW(form->Go.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 4);
    EXPECT_EQ(notices.size(), 2u);

    // A timer's tick has the same edge.
    form->Ticker.SetInterval(20);
    form->Ticker.OnTimer = [&](TComponent*) {
        form->Ticker.SetEnabled(false);
        throw Exception(L"Unable to write to X");
    };
    form->Ticker.SetEnabled(true);
    PumpMessages(200);
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[2], L"Unable to write to X.");
}

TEST_F(Toolkit, ASetterLetsTheHandlersErrorReachItsCaller) {
    // A handler that our code runs through a property ends the caller's steps too.
    form->Box.OnClick = [](TComponent*) { throw Exception(L"Unable to write to Y"); };
    EXPECT_THROW(form->Box.SetChecked(true), Exception);
    EXPECT_TRUE(notices.empty());
}

TEST_F(Toolkit, ColorBoxKeepsAColourItDoesNotListAsTheCustomEntry) {
    form->Colors.SetSelected(clGray);
    EXPECT_EQ(form->Colors.Selected(), 8421504u);
    EXPECT_GT(form->Colors.ItemIndex(), 0);
    form->Colors.SetSelected(clBtnFace);
    EXPECT_EQ(static_cast<int32_t>(form->Colors.Selected()), -2147483633);  // 0x8000000F
    form->Colors.SetSelected(RGB(1, 2, 3));
    EXPECT_EQ(form->Colors.ItemIndex(), 0);
    EXPECT_EQ(form->Colors.Selected(), 0x030201u);
    form->Colors.SetSelected(clGray);
    EXPECT_EQ(form->Colors.Selected(), 8421504u);
}

TEST_F(Toolkit, FontSizeAndHeightAtTheScreensResolution) {
    ASSERT_EQ(ScreenPixelsPerInch(), 96);
    TFont font;
    EXPECT_EQ(font.Name(), L"宋体");
    EXPECT_EQ(font.Height(), -12);
    EXPECT_EQ(font.Size(), 9);
    font.SetHeight(-16);
    EXPECT_EQ(font.Size(), 12);
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    font.SetSize(10);
    EXPECT_EQ(font.Height(), -13);  // 13.33 rounds down
    font.SetName(std::wstring(40, L'A'));
    EXPECT_EQ(font.Name().size(), 31u);
    font.SetStyle(fsBold | fsItalic);
    LOGFONTW lf = font.ToLogFont();
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_TRUE(lf.lfItalic);
    EXPECT_NE(font.Handle(), nullptr);
}

TEST_F(Toolkit, LabelsKeepTheirOwnFontAndLinksLookLikeLinks) {
    TFont font = form->Text.Font();
    font.SetName(L"Arial");
    font.SetColor(clGray);
    form->Text.SetFont(font);
    EXPECT_EQ(form->Text.Font().Name(), L"Arial");
    EXPECT_EQ(form->Bar.Font().Name(), L"宋体");
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(form->Text.Handle(), WM_GETFONT, 0, 0)), form->Text.Font().Handle());
    form->Text.SetLinkStyle(true);
    EXPECT_EQ(form->Text.Font().Color(), clBlue);
    EXPECT_TRUE(form->Text.Font().Style() & fsUnderline);
    int clicks = 0;
    form->Text.OnClick = [&](TComponent*) { ++clicks; };
    SendMessageW(form->Bar.Handle(), WM_COMMAND, MAKEWPARAM(0, STN_CLICKED),
                 reinterpret_cast<LPARAM>(form->Text.Handle()));
    EXPECT_EQ(clicks, 1);
}

TEST_F(Toolkit, MenuItemsCarryCaptionMarkAndSeparator) {
    form->Parent.SetCaption(L"宽高比");
    form->Child.SetCaption(L"保持");
    form->Child.SetChecked(true);
    HMENU top = form->Menu.Handle();
    ASSERT_EQ(GetMenuItemCount(top), 2);
    HMENU sub = GetSubMenu(top, 0);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(GetMenuState(sub, 0, MF_BYPOSITION) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    wchar_t text[32] = {};
    GetMenuStringW(sub, 0, text, 32, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(text), L"保持");
    EXPECT_EQ(GetMenuState(top, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    int clicks = 0;
    form->Child.OnClick = [&](TComponent*) { ++clicks; };
    form->Child.Click();
    EXPECT_EQ(clicks, 1);
}

TEST_F(Toolkit, CloseAsksOnCloseAndEndsAModalShowing) {
    int asked = 0;
    form->OnClose = [&](TComponent*, TCloseAction& action) {
        ++asked;
        if (asked == 1)
            action = caNone;
    };
    form->Show();
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(IsWindow(form->Handle()));
    EXPECT_TRUE(form->Visible());
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(form->Visible());

    // A modal showing ends when the form is closed from a timer.
    form->OnClose = {};
    form->Ticker.SetInterval(50);
    form->Ticker.OnTimer = [&](TComponent*) {
        form->Ticker.SetEnabled(false);
        EXPECT_TRUE(form->Visible());
        form->Close();
    };
    form->Ticker.SetEnabled(true);
    form->ShowModal();
    EXPECT_FALSE(form->Visible());
}

TEST_F(Toolkit, AFormCanBecomeAChildOfAForeignWindowKeepingItsHandle) {
    TForm host("Host");
    host.SetBounds(0, 0, 500, 400);
    HWND before = form->Handle();
    form->SetBounds(9999, 9999, 300, 200);
    form->SetParentWindow(host.Handle());
    EXPECT_EQ(form->Handle(), before);
    EXPECT_EQ(GetParent(before), host.Handle());
    EXPECT_TRUE(GetWindowLongPtrW(before, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(form->Left(), 9999);
    EXPECT_EQ(form->Top(), 9999);
    POINT origin{0, 0};
    MapWindowPoints(before, host.Handle(), &origin, 1);
    EXPECT_GT(origin.x, 9999);  // the client area starts inside the frame at 9999
    form->Show();               // shown, although its hidden parent keeps it off the screen
    EXPECT_TRUE(form->Visible());
    EXPECT_FALSE(IsWindowVisible(before));
    form->SetParentWindow(nullptr);
}

TEST_F(Toolkit, ProcessMessagesHandlesEverythingWaiting) {
    int seen = 0;
    form->WindowProc = [&](TMessage& m) {
        if (m.Msg == WM_APP + 1)
            ++seen;
        form->WndProc(m);
    };
    for (int i = 0; i < 3; ++i)
        PostMessageW(form->Handle(), WM_APP + 1, 0, 0);
    ProcessMessages();
    EXPECT_EQ(seen, 3);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Toolkit, ClientSizeSettersSizeTheInside) {
    form->SetBorderStyle(bsDialog);
    form->SetClientWidth(326);
    form->SetClientHeight(249);
    EXPECT_EQ(form->ClientWidth(), 326);
    EXPECT_EQ(form->ClientHeight(), 249);
    EXPECT_FALSE(GetWindowLongPtrW(form->Handle(), GWL_STYLE) & WS_THICKFRAME);
}

}  // namespace
