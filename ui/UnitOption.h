// The options dialog: shows or hides the video window's time bar and chooses its font, colour and
// time format; saves them with the video window's state through the settings store, loads them
// back, and at start-up loads the settings file or writes it with the defaults. Its controls hold
// the settings in force while the library is loaded, also while it is hidden: the position poll
// reads RadioGroup1's index on every poll.
#pragma once

#include <memory>

#include "ui/toolkit/Toolkit.h"

class TFormOptions : public TForm {
public:
    TFormOptions();

    // In creation order. The names are the designer's: they are also keys of the settings file.
    TGroupBox& GroupBox2;
    TCheckBox& CheckBox3;
    TLabel& Label1;  // the dialog's own caption label, not the time label
    TPanel& Panel1;  // font preview: its font is the one that is saved
    TLabel& Label2;
    TColorBox& ColorBox1;
    TRadioGroup& RadioGroup1;  // the time format, 0..3
    TButton& Button3;
    TButton& Button2;
    TButton& Button1;
    TFontDialog& FontDialog;
    TTimer& Timer1;

    void FormCreate(TComponent* Sender);
    void Timer1Timer(TComponent* Sender);
    void Button2Click(TComponent* Sender);  // save
    void Button3Click(TComponent* Sender);  // load
    void Button1Click(TComponent* Sender);  // close
    void Panel1Click(TComponent* Sender);
    void CheckBox3Click(TComponent* Sender);
    void ColorBox1Change(TComponent* Sender);
};

extern std::unique_ptr<TFormOptions> FormOptions;
