// The file-info dialog: a file's path and size. Made hidden by Init and shown modally only by
// the InfoBox callback, through ShowInfoBox. Component names are the designer's.
#pragma once

#include <memory>

#include "ui/toolkit/Toolkit.h"

class TFormInfo : public TForm {
public:
    TFormInfo();

    TLabel& Label1;
    TLabel& Size;
    TLabel& Label7;
    TBevel& Bevel1;
    TButton& Button1;  // made before Edit1: creation order is the tab order
    TEdit& Edit1;

    void Button1Click(TComponent* Sender);
};

extern std::unique_ptr<TFormInfo> FormInfo;

// The body of InfoBox: shows the path (ANSI code page) and its size modally; always 0.
int ShowInfoBox(const char* path);
