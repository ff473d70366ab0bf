// A form: a top-level window (or a child of a foreign window, see SetParentWindow) that owns its
// components in creation order. That order is the tab order of its controls and the order in
// which the settings store walks them.
//
// Left/Top/Width/Height are the outer bounds (frame and caption bar included). Every change of
// the window's size, whoever asks for it (our code, the user's mouse, another program's
// SetWindowPos), is first offered to OnCanResize, which may rewrite it; after the size changed,
// the aligned children are laid out and OnResize runs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/Control.h"

class TPopupMenu;

enum TBorderStyle { bsSizeable, bsDialog };
enum TPosition { poDesigned, poScreenCenter };
enum TCloseAction { caNone, caHide };

using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& action)>;
using TCanResizeEvent = std::function<void(TComponent* Sender, int32_t& newWidth, int32_t& newHeight, bool& resize)>;

class TForm : public TWinControl {
public:
    // Made hidden, sizeable, at (0, 0, 0, 0) until the derived form sets its bounds.
    explicit TForm(std::string name);
    ~TForm() override;

    template <class Kind, class... Args>
    Kind& Add(std::string name, Args&&... args) {  // creation order is kept
        components_.push_back(std::make_unique<Kind>(this, std::move(name), std::forward<Args>(args)...));
        return static_cast<Kind&>(*components_.back());
    }
    int32_t ComponentCount() const { return static_cast<int32_t>(components_.size()); }
    TComponent* Component(int32_t index) const { return components_.at(static_cast<size_t>(index)).get(); }

    // Outer bounds. Assigning a dimension its current value does nothing at all.
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
    void SetWidth(int32_t width) override;
    void SetHeight(int32_t height) override;
    void SetClientWidth(int32_t width);
    void SetClientHeight(int32_t height);

    void SetCaption(const std::wstring& caption) override;
    void SetVisible(bool visible) override;  // Show/Hide; shows at the screen's centre for poScreenCenter
    void SetBorderStyle(TBorderStyle style);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetPosition(TPosition position) { position_ = position; }
    void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }  // opened by a right click
    TPopupMenu* PopupMenu() const { return popupMenu_; }

    // Shows the form with the thread's other windows disabled and returns once it is closed.
    int32_t ShowModal();
    // Asks OnClose (action caHide on entry); caNone keeps the form open, caHide hides it and ends
    // a modal showing. The close button, the system menu and Alt+F4 come here too.
    void Close();

    // Makes the form a child window of a foreign window (null: top-level again). The window handle
    // stays the same; Left/Top become relative to that window's client area.
    void SetParentWindow(HWND parentWindow);
    HWND ParentWindow() const { return parentWindow_; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnResize;
    TCanResizeEvent OnCanResize;
    TCloseEvent OnClose;

protected:
    // Derived forms call this last in their constructor: the components exist and are bound.
    void DoCreate();
    void Dispatch(TMessage& message) override;
    void Resized() override;

private:
    void ReadBounds();  // the stored bounds from the real window
    void WindowPosChanging(WINDOWPOS& pos);

    std::vector<std::unique_ptr<TComponent>> components_;
    TBorderStyle borderStyle_ = bsSizeable;
    TPosition position_ = poDesigned;
    TPopupMenu* popupMenu_ = nullptr;
    HWND parentWindow_ = nullptr;
    bool modal_ = false;
    bool modalEnded_ = false;
};
