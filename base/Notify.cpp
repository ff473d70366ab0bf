#include "base/Notify.h"

#include <windows.h>

#include <utility>

namespace {

NoticeHook& Hook() {
    static NoticeHook hook;
    return hook;
}

}  // namespace

void NotifyUser(const std::wstring& text, NoticeKind kind) {
    if (Hook()) {
        Hook()(text, kind);
        return;
    }
    const UINT style = MB_OK | MB_TASKMODAL | (kind == NoticeKind::Error ? MB_ICONERROR : 0);
    (void)MessageBoxW(nullptr, text.c_str(), L"ATRAC3 插件", style);
}

void SetNoticeHook(NoticeHook hook) {
    Hook() = std::move(hook);
}
