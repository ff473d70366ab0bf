// The one way a message reaches the user: every box the plug-in shows goes through NotifyUser.
// Tests replace the box with a hook; without one, a real modal message box is shown.
#pragma once

#include <functional>
#include <string>

enum class NoticeKind { Plain, Error };

// Shows the text in a modal message box with an OK button (with the error icon for Error) and
// returns when the user has closed it.
void NotifyUser(const std::wstring& text, NoticeKind kind = NoticeKind::Plain);

// For tests: while a hook is set it receives each notice instead of the box. An empty hook
// restores the real box.
using NoticeHook = std::function<void(const std::wstring& text, NoticeKind kind)>;
void SetNoticeHook(NoticeHook hook);
