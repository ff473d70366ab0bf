// The event edge of the widget layer.
#include "ui/toolkit/Component.h"

#include "base/Exception.h"
#include "base/Notify.h"

void Guarded(const std::function<void()>& body) noexcept {
    try {
        body();
    } catch (const Exception& e) {
        // The handler ends where the error arose; the user learns why. Showing the box may itself
        // fail, and nothing may leave this edge.
        try {
            NotifyUser(e.Message() + L".", NoticeKind::Error);
        } catch (...) {}
    } catch (...) {}
}
