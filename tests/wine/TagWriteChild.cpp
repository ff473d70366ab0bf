// A writer to kill: sets the title of FILE through the tag writer and exits 0 when it wrote. The
// kill test starts it and ends it with TerminateProcess; it says where it is by two events (the
// first byte of the new file written, the replace about to start), named on its command line.
//   tag_write_child FILE TITLE STARTED_EVENT REPLACE_EVENT
#include <windows.h>
#include <shellapi.h>

#include "host/TagFileWriter.h"

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count < 5) {
        return 2;
    }
    HANDLE started = OpenEventW(EVENT_MODIFY_STATE, FALSE, args[3]);
    HANDLE replacing = OpenEventW(EVENT_MODIFY_STATE, FALSE, args[4]);
    bool first = true;
    TagWriteSeams seams;
    seams.write = [&](HANDLE file, const void* bytes, DWORD size) {
        if (first && started) {
            SetEvent(started);
            first = false;
        }
        DWORD written = 0;
        return WriteFile(file, bytes, size, &written, nullptr) && written == size;
    };
    seams.beforeReplace = [&] {
        if (replacing) {
            SetEvent(replacing);
        }
    };
    const auto* title = reinterpret_cast<const char16_t*>(args[2]);
    return WriteTagFile(args[1], {{TagField::Title, std::u16string(title)}}, seams) ? 0 : 1;
}
