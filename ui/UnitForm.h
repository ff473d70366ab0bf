// The video window: a black window with the time bar across its top and the video area below
// it, into which the engine places the renderer's picture. It keeps its proportions to the chosen
// aspect mode on every size change, refuses to close, leaves full screen on Escape and passes
// every other key press on to the player's main window. Init makes it, hidden, and makes it a
// child of the player's main window far outside its client area; Play shows and sizes it.
#pragma once

#include <functional>
#include <memory>

#include "ui/toolkit/Toolkit.h"

class TMorlune;

// The time bar's look, shared with the options dialog that restyles it.
constexpr int32_t kTimeBarHeight = 22;
TFont TimeBarFont();  // the bar's designed font: Arial, bold, 16 pixels, grey

// What the window needs of the player and the engine. Init hands it over once both exist; until
// then the window answers its messages without them.
struct VideoFormLinks {
    HWND player = nullptr;            // where key presses go
    std::function<void()> nextTrack;  // the deferred end-of-track step, when Timer1 fires
    TMorlune* engine = nullptr;       // not owned
};

class TVideoForm : public TForm {
public:
    TVideoForm();

    void Connect(VideoFormLinks links);

    // Components in creation order. Their names are also keys of the settings file, so they stay
    // as they were designed, misspellings included.
    TImage& VideoPanel;  // the video area: its Width and Height are the picture's room
    TPanel& TmPanel;     // the time bar: 22 pixels high when shown, 0 when hidden
    TLabel& Label1;      // the time bar's text
    TPopupMenu& VideoMenu;
    TMenuItem& Aspect1;
    TMenuItem& Mantainaspectratio_Menu;
    TMenuItem& N43screenratio1;
    TMenuItem& N169screenration1;
    TMenuItem& freeaspectratio1;
    TMenuItem& N1;
    TMenuItem& Config;
    TMenuItem& N3;
    TMenuItem& FullScreen_Menu;  // Tag: the full-screen flag, 0 windowed
    TMenuItem& N2;
    TMenuItem& About1;
    TTimer& Timer1;  // one-shot: the next-track request a second after a track ended

    void FormCreate(TComponent* Sender);
    void FormResize(TComponent* Sender);
    void FormCanResize(TComponent* Sender, int32_t& NewWidth, int32_t& NewHeight, bool& Resize);
    void FormClose(TComponent* Sender, TCloseAction& Action);
    void Mantainaspectratio_MenuClick(TComponent* Sender);
    void N43screenratio1Click(TComponent* Sender);
    void N169screenration1Click(TComponent* Sender);
    void freeaspectratio1Click(TComponent* Sender);
    void FullScreen_MenuClick(TComponent* Sender);
    void ConfigClick(TComponent* Sender);
    void About1Click(TComponent* Sender);
    void Timer1Timer(TComponent* Sender);
    void VideoWndProc(TMessage& Message);

private:
    void ChooseAspect(TMenuItem& item);

    VideoFormLinks links_;
};

extern std::unique_ptr<TVideoForm> VideoForm;
