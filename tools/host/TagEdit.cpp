#include "tools/host/TagEdit.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/AnsiText.h"
#include "tools/host/Library.h"

namespace {

using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
using SetInfoW = int(__cdecl*)(const wchar_t*, const char*, const wchar_t*);
using WriteInfo = int(__cdecl*)();

template <class Function>
Function Export(HMODULE dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::string Quoted(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

struct Edit {
    std::string field;
    std::wstring value;
};

bool ReadArguments(std::vector<Edit>& edits, std::wstring& file) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    bool ok = true;
    for (int i = 1; i < count; ++i) {
        const std::wstring a = args[i];
        if (a == L"--set" && i + 1 < count) {
            const std::wstring pair = args[++i];
            const size_t equals = pair.find(L'=');
            if (equals == std::wstring::npos || equals == 0) {
                ok = false;
                continue;
            }
            edits.push_back({Utf8(pair.substr(0, equals)), pair.substr(equals + 1)});
        } else if (a == L"--dll") {
            ++i;
        } else if (a.rfind(L"--", 0) != 0) {
            file = a;
        }
    }
    LocalFree(args);
    return ok && !file.empty() && !edits.empty();
}

}  // namespace

int RunTagEdit(HMODULE dll) {
    const auto getW = Export<GetInfoW>(dll, "winampGetExtendedFileInfoW");
    const auto setW = Export<SetInfoW>(dll, "winampSetExtendedFileInfoW");
    const auto write = Export<WriteInfo>(dll, "winampWriteExtendedFileInfo");
    if (!getW || !setW || !write) {
        std::printf("set error=no-export\n");
        return 3;
    }
    std::vector<Edit> edits;
    std::wstring file;
    if (!ReadArguments(edits, file)) {
        std::printf("set error=usage (--set FIELD=VALUE ... FILE)\n");
        return 2;
    }
    // The editor sets "title" first and takes 0 as "this file cannot be edited".
    auto title =
        std::find_if(edits.begin(), edits.end(), [](const Edit& e) { return _stricmp(e.field.c_str(), "title") == 0; });
    Edit first{"title", {}};
    if (title != edits.end()) {
        first = *title;
        edits.erase(title);
    } else {
        wchar_t current[1024] = L"";
        (void)getW(file.c_str(), "title", current, 1024);
        first.value = current;
    }
    edits.insert(edits.begin(), first);
    int refused = 0;
    for (const Edit& e : edits) {
        const int result = setW(file.c_str(), e.field.c_str(), e.value.c_str());
        std::printf("set file=\"%s\" name=%s result=%d value=\"%s\"\n", Quoted(file).c_str(), e.field.c_str(), result,
                    Quoted(e.value).c_str());
        if (result == 0 && &e == &edits.front()) {
            std::printf("write skipped: the file cannot be edited\n");
            std::fflush(stdout);
            return 1;
        }
        refused += result == 0;
    }
    const int written = write();
    std::printf("write file=\"%s\" result=%d\n", Quoted(file).c_str(), written);
    std::fflush(stdout);
    RoadLinks links;
    links.dll = dll;
    links.onUiThread = [](const std::function<void()>& step) { step(); };  // this is the UI thread
    (void)ListFields(links, {file});
    // What the library's own list leaves out.
    for (const char* field : {"publisher", "track", "replaygain_track_gain", "replaygain_track_peak",
                              "replaygain_album_gain", "replaygain_album_peak"}) {
        wchar_t value[1024] = L"";
        const int known = getW(file.c_str(), field, value, 1024);
        std::printf("field file=\"%s\" name=%s known=%d value=\"%s\"\n", Quoted(file).c_str(), field, known,
                    Quoted(value).c_str());
    }
    std::fflush(stdout);
    return written && refused == 0 ? 0 : 1;
}
