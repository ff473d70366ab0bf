// The about dialog: the plug-in's name and version, a credit line and three links that open web
// pages. Made hidden by Init and only ever shown modally, by the About callback and the video
// window's About1 item. Component names are the designer's.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/toolkit/Toolkit.h"

class TFormAbout : public TForm {
public:
    TFormAbout();
    ~TFormAbout() override;

    TLabel& Label1;
    TLabel& Label2;
    TImage& Image2;
    TLabel& Label3;
    TLabel& Label4;
    TLabel& Label5;
    TLabel& Label6;
    TLabel& Label7;
    TBevel& Bevel1;
    TBevel& Bevel2;
    TBevel& Bevel3;
    TBevel& Bevel4;
    TButton& Button1;

    void Button1Click(TComponent* Sender);
    void Label5Click(TComponent* Sender);
    void Label6Click(TComponent* Sender);
    void Label7Click(TComponent* Sender);

    // How a link's address is opened: the shell's "open" by default; tests look instead.
    std::function<void(const std::wstring& address)> OpenAddress;

private:
    HICON icon_ = nullptr;  // ours, shown by Image2
};

extern std::unique_ptr<TFormAbout> FormAbout;

// The dialog's 32 by 32 icon in 24-bit colour, drawn from code so that the DLL and test programs
// alike have it without a resource. The caller owns it (DestroyIcon).
HICON MakeAboutIcon();
