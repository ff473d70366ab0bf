// The video window's unit: its components and handlers. Everything runs on the player's UI
// thread from the window's messages; the player, the next-track step and the engine reach it
// through Connect, the dialogs through their module globals.
#include "ui/UnitForm.h"

#include "engine/Morlune.h"
#include "ui/ResizeRule.h"
#include "ui/UnitAbout.h"
#include "ui/UnitOption.h"

std::unique_ptr<TVideoForm> VideoForm;

TFont TimeBarFont() {
    TFont font;
    font.SetName(L"Arial");
    font.SetStyle(fsBold);
    font.SetHeight(-16);
    font.SetColor(clGray);
    font.SetCharset(ANSI_CHARSET);
    return font;
}

TVideoForm::TVideoForm()
    : TForm("VideoForm"),
      VideoPanel(Add<TImage>("VideoPanel", *this)),
      TmPanel(Add<TPanel>("TmPanel", *this)),
      Label1(Add<TLabel>("Label1", TmPanel)),
      VideoMenu(Add<TPopupMenu>("VideoMenu")),
      Aspect1(Add<TMenuItem>("Aspect1", VideoMenu)),
      Mantainaspectratio_Menu(Add<TMenuItem>("Mantainaspectratio_Menu", Aspect1)),
      N43screenratio1(Add<TMenuItem>("N43screenratio1", Aspect1)),
      N169screenration1(Add<TMenuItem>("N169screenration1", Aspect1)),
      freeaspectratio1(Add<TMenuItem>("freeaspectratio1", Aspect1)),
      N1(Add<TMenuItem>("N1", VideoMenu)),
      Config(Add<TMenuItem>("Config", VideoMenu)),
      N3(Add<TMenuItem>("N3", VideoMenu)),
      FullScreen_Menu(Add<TMenuItem>("FullScreen_Menu", VideoMenu)),
      N2(Add<TMenuItem>("N2", VideoMenu)),
      About1(Add<TMenuItem>("About1", VideoMenu)),
      Timer1(Add<TTimer>("Timer1")) {
    SetColor(clBlack);
    SetCaption(L"正在载入音频...");
    SetBounds(9999, 9999, 0, 0);  // far outside the player's client area once it is our parent

    VideoPanel.SetColor(clBlack);
    VideoPanel.SetCenter(true);
    VideoPanel.SetAlign(alClient);

    TmPanel.SetColor(clBlack);
    TmPanel.SetBevelOuter(bvNone);
    TmPanel.SetHeight(kTimeBarHeight);
    TmPanel.SetAlign(alTop);

    Label1.SetTransparent(true);  // drawn on the bar's black
    Label1.SetFont(TimeBarFont());
    Label1.SetAlign(alClient);
    Label1.SetCaption(L"ATRAC3 插件");

    SetPopupMenu(&VideoMenu);
    Aspect1.SetCaption(L"宽高比");
    Mantainaspectratio_Menu.SetCaption(L"保持");
    Mantainaspectratio_Menu.SetChecked(true);
    N43screenratio1.SetCaption(L"4:3");
    N169screenration1.SetCaption(L"16:9");
    freeaspectratio1.SetCaption(L"自由");
    N1.SetCaption(L"-");
    Config.SetCaption(L"配置");
    N3.SetCaption(L"-");
    FullScreen_Menu.SetCaption(L"全屏");
    N2.SetCaption(L"-");
    About1.SetCaption(L"关于...");

    Timer1.SetEnabled(false);  // its default interval of 1000 ms is the wait before the next track

    OnCreate = [this](TComponent* s) { FormCreate(s); };
    OnResize = [this](TComponent* s) { FormResize(s); };
    OnCanResize = [this](TComponent* s, int32_t& w, int32_t& h, bool& r) { FormCanResize(s, w, h, r); };
    OnClose = [this](TComponent* s, TCloseAction& a) { FormClose(s, a); };
    Mantainaspectratio_Menu.OnClick = [this](TComponent* s) { Mantainaspectratio_MenuClick(s); };
    N43screenratio1.OnClick = [this](TComponent* s) { N43screenratio1Click(s); };
    N169screenration1.OnClick = [this](TComponent* s) { N169screenration1Click(s); };
    freeaspectratio1.OnClick = [this](TComponent* s) { freeaspectratio1Click(s); };
    Config.OnClick = [this](TComponent* s) { ConfigClick(s); };
    FullScreen_Menu.OnClick = [this](TComponent* s) { FullScreen_MenuClick(s); };
    About1.OnClick = [this](TComponent* s) { About1Click(s); };
    Timer1.OnTimer = [this](TComponent* s) { Timer1Timer(s); };
    DoCreate();
}

void TVideoForm::Connect(VideoFormLinks links) {
    links_ = std::move(links);
}

void TVideoForm::FormCreate(TComponent* /*Sender*/) {
    WindowProc = [this](TMessage& message) { VideoWndProc(message); };
}

// The rectangle reaches the bar's height past the video area's bottom: the renderer's picture is
// placed as if the area below the bar were that much taller.
void TVideoForm::FormResize(TComponent* /*Sender*/) {
    if (!links_.engine)
        return;  // the window is made before the engine
    links_.engine->SetVideoRect(0, TmPanel.Height(), VideoPanel.Width(), VideoPanel.Height() + TmPanel.Height());
}

void TVideoForm::FormCanResize(TComponent* /*Sender*/, int32_t& NewWidth, int32_t& NewHeight, bool& /*Resize*/) {
    AspectMarks marks;
    marks.keep = Mantainaspectratio_Menu.Checked();
    marks.fourByThree = N43screenratio1.Checked();
    marks.sixteenByNine = N169screenration1.Checked();
    marks.free = freeaspectratio1.Checked();
    ApplyResizeRule(marks, links_.engine ? links_.engine->VideoWidth : 0,
                    links_.engine ? links_.engine->VideoHeight : 0, NewWidth, NewHeight);
}

void TVideoForm::FormClose(TComponent* /*Sender*/, TCloseAction& Action) {
    Action = caNone;  // only the player's Stop hides the window
}

void TVideoForm::ChooseAspect(TMenuItem& item) {
    Mantainaspectratio_Menu.SetChecked(&item == &Mantainaspectratio_Menu);
    N43screenratio1.SetChecked(&item == &N43screenratio1);
    N169screenration1.SetChecked(&item == &N169screenration1);
    freeaspectratio1.SetChecked(&item == &freeaspectratio1);
    // Height first: it is the rule's free dimension, so the width follows it at once. The width
    // assignment then goes through the rule again and ends where the rule puts it.
    SetHeight(links_.engine ? links_.engine->VideoHeight : 0);
    SetWidth(links_.engine ? links_.engine->VideoWidth : 0);
    FormResize(nullptr);
}

void TVideoForm::Mantainaspectratio_MenuClick(TComponent* /*Sender*/) {
    ChooseAspect(Mantainaspectratio_Menu);
}

void TVideoForm::N43screenratio1Click(TComponent* /*Sender*/) {
    ChooseAspect(N43screenratio1);
}

void TVideoForm::N169screenration1Click(TComponent* /*Sender*/) {
    ChooseAspect(N169screenration1);
}

void TVideoForm::freeaspectratio1Click(TComponent* /*Sender*/) {
    ChooseAspect(freeaspectratio1);
}

void TVideoForm::FullScreen_MenuClick(TComponent* /*Sender*/) {
    if (FullScreen_Menu.Tag() == 0) {
        FullScreen_Menu.SetCaption(L"退出全屏");
        FullScreen_Menu.SetTag(1);
        if (links_.engine)
            links_.engine->SetFullScreen(-1);
    } else {
        FullScreen_Menu.SetCaption(L"全屏");
        FullScreen_Menu.SetTag(0);
        if (links_.engine)
            links_.engine->SetFullScreen(0);
    }
}

void TVideoForm::ConfigClick(TComponent* /*Sender*/) {
    if (FormOptions)
        FormOptions->ShowModal();
}

void TVideoForm::About1Click(TComponent* /*Sender*/) {
    FullScreen_Menu.SetCaption(L"全屏");
    FullScreen_Menu.SetTag(0);
    if (FormAbout)
        FormAbout->ShowModal();
}

void TVideoForm::Timer1Timer(TComponent* /*Sender*/) {
    Timer1.SetEnabled(false);
    if (links_.nextTrack)
        links_.nextTrack();
}

void TVideoForm::VideoWndProc(TMessage& Message) {
    if (Message.Msg == WM_KEYDOWN) {
        if (Message.WParam == VK_ESCAPE) {
            if (links_.engine)
                links_.engine->SetFullScreen(0);
            FormResize(nullptr);
            FullScreen_Menu.SetCaption(L"全屏");
            FullScreen_Menu.SetTag(0);
        } else {
            (void)SendMessageW(links_.player, WM_KEYDOWN, Message.WParam, Message.LParam);
        }
    }
    WndProc(Message);
}
