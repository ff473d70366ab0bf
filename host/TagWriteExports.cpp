// The exports through which the player's library and ReplayGain write a file's tags: a set per
// field, then one write for the file named last. Both run on the player's UI thread; the edits
// wait here, per plug-in, until the write. Nothing shows a box, and every export catches
// everything at its edge: an exception must not reach the player.
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "host/FrontReads.h"
#include "host/TagFileWriter.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "tag text comes in as the platform's UTF-16");

namespace {

constexpr UINT kAnsiCodePage = 936;  // the names and values of the ANSI export

struct Pending {
    std::wstring file;
    std::vector<TagEdit> edits;
    bool editable = false;  // the file's check, made once per burst of sets (the write checks again)
};

std::mutex pendingMutex;
Pending pending;

std::wstring FromCodePage936(const char* text) {
    if (!text || !*text) {
        return {};
    }
    const int n = MultiByteToWideChar(kAnsiCodePage, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kAnsiCodePage, MB_ERR_INVALID_CHARS, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

int SetField(const std::wstring& file, const char* field, const wchar_t* value) {
    if (file.empty() || !field) {
        return 0;
    }
    std::lock_guard lock(pendingMutex);
    if (file != pending.file) {
        pending = {file, {}};  // edits wait for the file named last only
    }
    const auto stored = StoredTagField(field);
    if (!stored) {
        return 0;
    }
    if (!pending.editable) {
        pending.editable = CheckTagFile(file) == TagFileState::Editable;
        if (!pending.editable) {
            return 0;
        }
    }
    std::erase_if(pending.edits, [&](const TagEdit& e) { return e.field == *stored; });
    const auto* text = reinterpret_cast<const char16_t*>(value ? value : L"");
    pending.edits.push_back({*stored, std::u16string(text)});
    return 1;
}

int WritePending() {
    std::lock_guard lock(pendingMutex);
    if (pending.edits.empty()) {
        return 0;
    }
    const bool written = WriteTagFile(pending.file, pending.edits);
    if (!written) {
        return 0;  // kept: the player may offer to retry
    }
    pending.edits.clear();
    pending.editable = false;
    ForgetFrontReads();
    return 1;
}

}  // namespace

extern "C" {

int winampSetExtendedFileInfoW(const wchar_t* filename, const char* metadata, const wchar_t* value) {
    try {
        return filename ? SetField(filename, metadata, value) : 0;
    } catch (...) {
        return 0;
    }
}

int winampSetExtendedFileInfo(const char* filename, const char* metadata, const char* value) {
    try {
        const std::wstring name = FromCodePage936(filename);
        if (!value || !*value) {
            return SetField(name, metadata, L"");
        }
        const std::wstring text = FromCodePage936(value);
        if (text.empty()) {
            return 0;  // bytes that are no text of the code page
        }
        return SetField(name, metadata, text.c_str());
    } catch (...) {
        return 0;
    }
}

int winampWriteExtendedFileInfo(void) {
    try {
        return WritePending();
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
