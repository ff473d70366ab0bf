// The options dialog with the real video window and real settings files: its controls, the
// start-up save or load, every load rule, the font picker, modal showing, and a refused write as
// the user sees it.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/Notify.h"
#include "engine/Morlune.h"
#include "host/Main.h"
#include "settings/AmpShell.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"
#include "ui/UnitForm.h"
#include "ui/UnitOption.h"

namespace {

using testsupport::PumpMessages;
using testsupport::ReadFileBytes;
using testsupport::WindowText;

std::vector<HWND> ChildrenInZOrder(HWND parent) {
    std::vector<HWND> children;
    for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        children.push_back(w);
    return children;
}

class Options : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeTempDir("options");
        SetSettingsFolder(dir_.substr(0, dir_.size() - 1));
        file_ = dir_ + "MorlunePlugin.INI";
        SetNoticeHook([this](const std::wstring& text, NoticeKind kind) {
            EXPECT_EQ(kind, NoticeKind::Error);
            notices_.push_back(text);
        });
        if (!Engine)
            Engine = std::make_unique<TMorlune>();
        VideoForm = std::make_unique<TVideoForm>();
        VideoForm->Connect({nullptr, {}, Engine.get()});
    }
    void TearDown() override {
        FormOptions.reset();
        VideoForm.reset();
        SetNoticeHook({});
        SetSettingsFolder("");
        testsupport::RemoveTree(dir_);
    }
    // A new dialog, as after a restart; its start-up tick is left to the test.
    TFormOptions& Start(bool startUpTick = false) {
        FormOptions = std::make_unique<TFormOptions>();
        if (!startUpTick)
            FormOptions->Timer1.SetEnabled(false);
        return *FormOptions;
    }
    void Prepare(const std::string& bytes) { ASSERT_TRUE(testsupport::WriteFileBytes(file_, bytes)); }

    std::string dir_;
    std::string file_;
    std::vector<std::wstring> notices_;
};

TEST_F(Options, ControlsCaptionsStatesAndTabOrder) {
    TFormOptions& f = Start();
    EXPECT_EQ(WindowText(f.Handle()), L"选项");
    RECT client{};
    GetClientRect(f.Handle(), &client);
    EXPECT_EQ(client.right, 326);
    EXPECT_EQ(client.bottom, 249);
    EXPECT_FALSE(GetWindowLongPtrW(f.Handle(), GWL_STYLE) & WS_THICKFRAME) << "a fixed dialog border";
    EXPECT_FALSE(IsWindowVisible(f.Handle()));

    EXPECT_EQ(ChildrenInZOrder(f.Handle()),
              (std::vector<HWND>{f.Button1.Handle(), f.GroupBox2.Handle(), f.Button2.Handle(), f.Button3.Handle(),
                                 f.RadioGroup1.Handle()}));
    const std::vector<HWND> inGroup = ChildrenInZOrder(f.GroupBox2.Handle());
    ASSERT_GE(inGroup.size(), 3u);
    EXPECT_EQ(std::vector<HWND>(inGroup.begin(), inGroup.begin() + 3),
              (std::vector<HWND>{f.Panel1.Handle(), f.CheckBox3.Handle(), f.ColorBox1.Handle()}));

    EXPECT_EQ(WindowText(f.GroupBox2.Handle()), L"时间栏");
    EXPECT_EQ(WindowText(f.CheckBox3.Handle()), L"显示时间栏");
    EXPECT_EQ(WindowText(f.Label1.Handle()), L"时间字体");
    EXPECT_EQ(WindowText(f.Panel1.Handle()), L"Arial (点此更改)");
    EXPECT_EQ(WindowText(f.Label2.Handle()), L"时间颜色");
    EXPECT_EQ(WindowText(f.RadioGroup1.Handle()), L"时间格式");
    EXPECT_EQ(f.RadioGroup1.Items(),
              (std::vector<std::wstring>{L"时间", L"时间和长度", L"剩余时间", L"剩余时间和长度"}));
    const std::vector<HWND> items = ChildrenInZOrder(f.RadioGroup1.Handle());
    ASSERT_EQ(items.size(), 4u);
    for (HWND item : items) {
        const auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(item, WM_GETFONT, 0, 0));
        EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT)) << "each item shows in a live font";
        EXPECT_EQ(font, f.RadioGroup1.Font().Handle());
    }
    EXPECT_EQ(WindowText(f.Button3.Handle()), L"载入(&L)");
    EXPECT_EQ(WindowText(f.Button2.Handle()), L"保存(&S)");
    EXPECT_EQ(WindowText(f.Button1.Handle()), L"关闭(&C)");
    EXPECT_EQ(f.Panel1.Left(), 120);
    EXPECT_EQ(f.Panel1.Top(), 56);
    EXPECT_EQ(f.Button1.Top(), 208);

    EXPECT_TRUE(f.CheckBox3.Checked());
    EXPECT_EQ(f.ColorBox1.Selected(), 8421504u);
    EXPECT_EQ(f.RadioGroup1.ItemIndex(), 0);
    EXPECT_EQ(f.Panel1.Font().Name(), L"Arial");
    EXPECT_EQ(f.Panel1.Font().Height(), -16);
    EXPECT_EQ(f.Panel1.Font().Style(), fsBold);
    EXPECT_EQ(f.Panel1.Font().Charset(), ANSI_CHARSET);
    EXPECT_EQ(f.Panel1.Font().Color(), clWindowText);
    EXPECT_EQ(f.FontDialog.Font().Name(), L"宋体");
    EXPECT_EQ(f.FontDialog.Font().Height(), -12);
    EXPECT_EQ(f.Timer1.Interval(), 50u);
    EXPECT_TRUE(AmpShell != nullptr) << "the dialog's creation makes the store";
}

TEST_F(Options, FirstStartWritesTheDefaultsAndChangesNothing) {
    TFormOptions& f = Start(true);
    EXPECT_TRUE(f.Timer1.Enabled());
    PumpMessages(400);
    EXPECT_FALSE(f.Timer1.Enabled()) << "the start-up tick comes once";
    const std::string bytes = ReadFileBytes(file_);
    EXPECT_EQ(bytes.find("[VideoForm]\r\nVideoForm=\xD5\xFD\xD4\xDA\xD4\xD8\xC8\xEB\xD2\xF4\xC6\xB5...\r\nWidth="), 0u)
        << bytes;
    EXPECT_NE(bytes.find("\r\nTmPanel=1\r\nAspect1=0\r\nMantainaspectratio_Menu=1\r\nN43screenratio1=0\r\n"
                         "N169screenration1=0\r\nfreeaspectratio1=0\r\nConfig=0\r\nFullScreen_Menu=0\r\nAbout1=0\r\n"
                         "[Boolean]\r\nTimeBar=1\r\n[Strings]\r\nFont=Arial\r\nFontS=1\r\n"
                         "[Integers]\r\nColor=8421504\r\nFontSz=12\r\nTime=0\r\n"),
              std::string::npos)
        << bytes;
    EXPECT_EQ(bytes.find("N1="), std::string::npos) << "separators get no key";

    const TFont& label = VideoForm->Label1.Font();
    EXPECT_EQ(label.Name(), L"Arial");
    EXPECT_EQ(label.Style(), fsBold);
    EXPECT_EQ(label.Color(), clGray);
    EXPECT_TRUE(VideoForm->TmPanel.Visible());
    EXPECT_TRUE(notices_.empty());
}

TEST_F(Options, ALaterStartLoadsTheFileAndWritesNothing) {
    const std::string prepared = "[Integers]\r\nTime=2\r\n[Boolean]\r\nTimeBar=0\r\n";
    Prepare(prepared);
    TFormOptions& f = Start(true);
    PumpMessages(400);
    EXPECT_EQ(f.RadioGroup1.ItemIndex(), 2);
    EXPECT_FALSE(f.CheckBox3.Checked());
    EXPECT_FALSE(VideoForm->TmPanel.Visible());
    EXPECT_EQ(VideoForm->TmPanel.Height(), 0);
    EXPECT_EQ(ReadFileBytes(file_), prepared);
}

TEST_F(Options, FontStylesKeepOnlyBoldAndItalic) {
    TFormOptions& f = Start();
    TFont font = f.Panel1.Font();
    font.SetStyle(fsBold | fsItalic);
    f.Panel1.SetFont(font);
    f.Button2Click(nullptr);
    EXPECT_NE(ReadFileBytes(file_).find("FontS=3\r\n"), std::string::npos);
    font.SetStyle(0);
    f.Panel1.SetFont(font);
    f.Button3Click(nullptr);
    EXPECT_EQ(f.Panel1.Font().Style(), fsBold | fsItalic);
    EXPECT_EQ(VideoForm->Label1.Font().Style(), fsBold | fsItalic);

    font.SetStyle(fsBold | fsUnderline);
    f.Panel1.SetFont(font);
    f.Button2Click(nullptr);
    EXPECT_NE(ReadFileBytes(file_).find("FontS=0\r\n"), std::string::npos);
    f.Button3Click(nullptr);
    EXPECT_EQ(f.Panel1.Font().Style(), 0);

    // A code that is no code leaves the style alone.
    for (const char* text : {"4", "x", ""}) {
        f.Panel1.SetFont(font);
        Prepare(std::string("[Strings]\r\nFontS=").append(text).append("\r\n"));
        f.Button3Click(nullptr);
        EXPECT_EQ(f.Panel1.Font().Style(), fsBold | fsUnderline) << text;
    }
}

TEST_F(Options, ColourZeroIsNotAppliedAndOthersAre) {
    TFormOptions& f = Start();
    Prepare("[Integers]\r\nColor=0\r\n");
    f.Button3Click(nullptr);
    EXPECT_EQ(f.ColorBox1.Selected(), clGray);
    EXPECT_EQ(VideoForm->Label1.Font().Color(), clWindowText) << "the preview's font colour";

    Prepare("[Integers]\r\nColor=255\r\n");
    f.Button3Click(nullptr);
    EXPECT_EQ(f.ColorBox1.Selected(), clRed);
    EXPECT_EQ(VideoForm->Label1.Font().Color(), clRed);

    Prepare("[Integers]\r\nColor=1193046\r\n");  // 0x123456, not in the list: the custom entry
    f.Button3Click(nullptr);
    EXPECT_EQ(f.ColorBox1.Selected(), 0x123456u);
    EXPECT_EQ(f.ColorBox1.ItemIndex(), 0);
    EXPECT_EQ(VideoForm->Label1.Font().Color(), 0x123456u);

    Prepare("[Integers]\r\nColor=-2147483643\r\n");  // the window colour, a system colour
    f.Button3Click(nullptr);
    EXPECT_EQ(f.ColorBox1.Selected(), clWindow);
    f.Button2Click(nullptr);
    EXPECT_NE(ReadFileBytes(file_).find("Color=-2147483643\r\n"), std::string::npos);
}

TEST_F(Options, TimeFormatIsClampedToTheFourItems) {
    TFormOptions& f = Start();
    const struct {
        const char* stored;
        int32_t index;
    } rows[] = {{"7", 3}, {"-5", -1}, {"3", 3}, {"-1", -1}, {"1", 1}, {"0x2", 2}};
    for (const auto& row : rows) {
        Prepare(std::string("[Integers]\r\nTime=").append(row.stored).append("\r\n"));
        f.Button3Click(nullptr);
        EXPECT_EQ(f.RadioGroup1.ItemIndex(), row.index) << row.stored;
    }
}

TEST_F(Options, TheBoxHandlerRunsOnlyWhenTheLoadChangesIt) {
    TFormOptions& f = Start();
    Prepare("[VideoForm]\r\nTmPanel=0\r\n[Boolean]\r\nTimeBar=1\r\n");
    f.Button3Click(nullptr);
    EXPECT_TRUE(f.CheckBox3.Checked());
    EXPECT_FALSE(VideoForm->TmPanel.Visible());
    EXPECT_EQ(VideoForm->TmPanel.Height(), 22);

    f.CheckBox3.SetChecked(false);
    EXPECT_FALSE(VideoForm->TmPanel.Visible());
    EXPECT_EQ(VideoForm->TmPanel.Height(), 0);
    f.CheckBox3.SetChecked(true);
    EXPECT_TRUE(VideoForm->TmPanel.Visible());
    EXPECT_EQ(VideoForm->TmPanel.Height(), 22);
}

TEST_F(Options, SwitchingTheBarRePlacesThePicture) {
    TFormOptions& f = Start();
    const std::string avi = dir_ + "clip.avi";
    ASSERT_TRUE(testsupport::WriteFileBytes(avi, MakeAvi(2000, 320, 240)));
    Engine->SetOwnerWindow(VideoForm->Handle());
    Engine->OpenFile(avi);
    VideoForm->Show();
    VideoForm->SetHeight(300);
    VideoForm->FormResize(nullptr);
    // The renderer's window is the video window's child that is not one of ours.
    const auto pictureTopAndHeight = [] {
        const RECT rc = testsupport::RectInParent(testsupport::ForeignChild(
            VideoForm->Handle(), {VideoForm->VideoPanel.Handle(), VideoForm->TmPanel.Handle()}));
        return std::make_pair(rc.top, rc.bottom - rc.top);
    };
    const int32_t client = VideoForm->ClientHeight();
    ASSERT_EQ(pictureTopAndHeight(), std::make_pair(22L, static_cast<LONG>(client)));

    f.CheckBox3.SetChecked(false);
    EXPECT_EQ(pictureTopAndHeight(), std::make_pair(0L, static_cast<LONG>(client)));
    f.CheckBox3.SetChecked(true);
    EXPECT_EQ(pictureTopAndHeight(), std::make_pair(22L, static_cast<LONG>(client)));
    Engine->CloseGraph();
}

TEST_F(Options, FontNameSizeAndCharsetOnLoad) {
    TFormOptions& f = Start();
    Prepare("[Strings]\r\nFont=\r\n");
    f.Button3Click(nullptr);
    EXPECT_EQ(f.Panel1.Font().Name(), L"Arial");
    EXPECT_EQ(WindowText(f.Panel1.Handle()), L" (点此更改)");

    const std::string forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    Prepare("[Strings]\r\nFont=" + forty + "\r\n[Integers]\r\nFontSz=20\r\n");
    f.Button3Click(nullptr);
    EXPECT_EQ(f.Panel1.Font().Name(), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
    EXPECT_EQ(VideoForm->Label1.Font().Name(), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
    EXPECT_EQ(WindowText(f.Panel1.Handle()), L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn (点此更改)");
    EXPECT_EQ(f.Panel1.Font().Size(), 20);
    EXPECT_EQ(VideoForm->Label1.Font().Height(), -27);

    // The character set is not kept: after a restart the preview's own ANSI comes back.
    Prepare("");
    TFont font = f.Panel1.Font();
    font.SetName(L"宋体");
    font.SetCharset(GB2312_CHARSET);
    f.Panel1.SetFont(font);
    f.Button2Click(nullptr);
    EXPECT_NE(ReadFileBytes(file_).find("Font=\xCB\xCE\xCC\xE5\r\n"), std::string::npos);
    TFormOptions& again = Start();
    again.Button3Click(nullptr);
    EXPECT_EQ(again.Panel1.Font().Name(), L"宋体");
    EXPECT_EQ(again.Panel1.Font().Charset(), ANSI_CHARSET);
    EXPECT_EQ(VideoForm->Label1.Font().Charset(), ANSI_CHARSET);
}

TEST_F(Options, MissingKeysLeaveEveryOptionAsItIs) {
    TFormOptions& f = Start();
    TFont font = f.Panel1.Font();
    font.SetName(L"Courier New");
    font.SetStyle(fsItalic);
    font.SetSize(14);
    f.Panel1.SetFont(font);
    f.ColorBox1.SetSelected(clBlue);
    f.RadioGroup1.SetItemIndex(2);
    f.CheckBox3.SetChecked(false);
    Prepare("[Other]\r\nx=1\r\n");
    f.Button3Click(nullptr);
    EXPECT_EQ(f.Panel1.Font().Name(), L"Courier New");
    EXPECT_EQ(f.Panel1.Font().Style(), fsItalic);
    EXPECT_EQ(f.Panel1.Font().Size(), 14);
    EXPECT_EQ(WindowText(f.Panel1.Handle()), L"Courier New (点此更改)");
    EXPECT_EQ(f.ColorBox1.Selected(), clBlue);
    EXPECT_EQ(VideoForm->Label1.Font().Color(), clBlue);
    EXPECT_EQ(f.RadioGroup1.ItemIndex(), 2);
    EXPECT_FALSE(f.CheckBox3.Checked());
}

TEST_F(Options, ARefusedWriteShowsOneBoxAndEndsTheSave) {
    // A folder where the file should be: the start-up test finds no file and saves.
    const std::string lower = dir_ + "MorlunePlugin.ini";
    ASSERT_TRUE(CreateDirectoryA(lower.c_str(), nullptr));
    Start(true);
    PumpMessages(400);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0], L"Unable to write to " + std::wstring(file_.begin(), file_.end()) + L".");
    RemoveDirectoryA(lower.c_str());

    // The user's save button with the file held by another program.
    Prepare("[Strings]\r\nFont=Arial\r\n");
    HANDLE lock = CreateFileA(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    SendMessageW(FormOptions->Button2.Handle(), BM_CLICK, 0, 0);
    CloseHandle(lock);
    EXPECT_EQ(notices_.size(), 2u);
    EXPECT_EQ(ReadFileBytes(file_), "[Strings]\r\nFont=Arial\r\n");
}

// Answers the thread's common dialog once it is up: picks a face in the font picker's list
// (noting the font the picker was given) and presses the button.
UINT g_dialogButton = IDOK;
std::wstring g_startFace;
std::wstring g_pickedFace;
// A plain callback, not a lambda: the 32-bit build needs the stdcall convention.
BOOL CALLBACK AnswerThreadDialog(HWND w, LPARAM timer) {
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(w))
        return TRUE;
    KillTimer(nullptr, static_cast<UINT_PTR>(timer));
    g_startFace = FormOptions->FontDialog.Font().Name();
    HWND faces = GetDlgItem(w, 0x470);                                // the face list
    const LRESULT last = SendMessageW(faces, CB_GETCOUNT, 0, 0) - 1;  // any face but the first
    SendMessageW(faces, CB_SETCURSEL, static_cast<WPARAM>(last), 0);
    wchar_t face[LF_FACESIZE + 1] = {};
    if (SendMessageW(faces, CB_GETLBTEXTLEN, static_cast<WPARAM>(last), 0) <= LF_FACESIZE)
        SendMessageW(faces, CB_GETLBTEXT, static_cast<WPARAM>(last), reinterpret_cast<LPARAM>(face));
    g_pickedFace = face;
    SendMessageW(w, WM_COMMAND, MAKEWPARAM(0x470, CBN_SELCHANGE), reinterpret_cast<LPARAM>(faces));
    PostMessageW(w, WM_COMMAND, g_dialogButton, 0);
    return FALSE;
}

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR id, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), AnswerThreadDialog, static_cast<LPARAM>(id));
}

TEST_F(Options, ThePickedFontGoesToPreviewAndTimeLabelWithTheListsColour) {
    TFormOptions& f = Start();
    TFont start = VideoForm->Label1.Font();
    start.SetName(L"Start Face");
    VideoForm->Label1.SetFont(start);
    f.ColorBox1.SetSelected(clRed);

    g_dialogButton = IDCANCEL;
    SetTimer(nullptr, 0, 200, AnswerDialog);
    f.Panel1Click(nullptr);
    EXPECT_EQ(g_startFace, L"Start Face") << "the picker starts from the time label's font";
    EXPECT_EQ(f.Panel1.Font().Name(), L"Arial") << "cancelled: nothing changes";
    EXPECT_EQ(VideoForm->Label1.Font().Name(), L"Start Face");
    EXPECT_EQ(VideoForm->Label1.Font().Color(), clGray);

    g_dialogButton = IDOK;
    SetTimer(nullptr, 0, 200, AnswerDialog);
    f.Panel1Click(nullptr);
    ASSERT_FALSE(g_pickedFace.empty());
    EXPECT_NE(g_pickedFace, L"Arial");
    EXPECT_EQ(f.Panel1.Font().Name(), g_pickedFace);
    EXPECT_EQ(WindowText(f.Panel1.Handle()), g_pickedFace + L" (点此更改)");
    EXPECT_EQ(VideoForm->Label1.Font().Name(), g_pickedFace);
    EXPECT_EQ(VideoForm->Label1.Font().Color(), clRed) << "the colour comes from the list";
}

void CALLBACK CloseOptions(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (IsWindowVisible(FormOptions->Handle()))
        SendMessageW(FormOptions->Button1.Handle(), BM_CLICK, 0, 0);
}

TEST_F(Options, ShowsModallyUntilClosedAndKeepsItsChanges) {
    TFormOptions& f = Start();
    f.RadioGroup1.SetItemIndex(3);
    SetTimer(nullptr, 0, 200, CloseOptions);
    f.ShowModal();
    EXPECT_FALSE(IsWindowVisible(f.Handle()));
    EXPECT_EQ(f.RadioGroup1.ItemIndex(), 3);
    EXPECT_EQ(GetFileAttributesA(file_.c_str()), INVALID_FILE_ATTRIBUTES) << "closing saves nothing";
}

}  // namespace
