// The root of the widget layer: a component has a name (also its settings key) and an owner, and
// the event edge through which every window and timer procedure runs our handlers.
//
// Handler conventions, the same for every kind: events are std::function members named after the
// event (OnClick, OnChange, OnTimer, ...); an empty one is not called; the sender is the
// component, or null when our own code calls a handler. A property setter that fires an event
// (TCheckBox::SetChecked) calls the handler directly, so an error thrown there travels back to the
// setter's caller; only the window system's and timers' calls into us end at the guard.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class TComponent;

using TNotifyEvent = std::function<void(TComponent* Sender)>;

class TComponent {
public:
    TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }  // also the component's settings key
    TComponent* Owner() const { return owner_; }

    // A free integer for the form's own use (a menu item's Tag is the full-screen flag).
    int32_t Tag() const { return tag_; }
    void SetTag(int32_t tag) { tag_ = tag; }

private:
    TComponent* owner_;  // not owned
    std::string name_;
    int32_t tag_ = 0;
};

// The event edge: runs body; an Exception is shown to the user as its message followed by "."
// in an error box (NotifyUser), anything else is swallowed. Never throws.
void Guarded(const std::function<void()>& body) noexcept;
