#include "ui/toolkit/Notebook.h"

TNotebook::TNotebook(TComponent* owner, std::string name, TWinControl& parent)
    : TWinControl(owner, std::move(name), &parent) {
    CreateHandle(nullptr, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent.Handle());
}
