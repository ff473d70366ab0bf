#include "tools/common/MessagePump.h"

void PumpWaitingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void PumpMessagesFor(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        PumpWaitingMessages();
        (void)MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
    PumpWaitingMessages();
}
