#include "host/AtomicReplace.h"

#include <windows.h>

#include <vector>

namespace {

constexpr wchar_t kReplacementSuffix[] = L".tagnew~";
constexpr wchar_t kBackupSuffix[] = L".tagold~";

bool Exists(const std::wstring& name) {
    return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FolderOf(const std::wstring& name) {
    const size_t slash = name.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1);
}

// Every backup of target in its folder.
std::vector<std::wstring> Backups(const std::wstring& target) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = target + L".*" + kBackupSuffix;
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return found;
    }
    const std::wstring folder = FolderOf(target);
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            found.push_back(folder + data.cFileName);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

// The old file's access rules on the new one, as the platform's replace call would carry them.
void CopyAccess(const std::wstring& from, const std::wstring& to) {
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    (void)GetFileSecurityW(from.c_str(), what, nullptr, 0, &needed);
    if (needed == 0) {
        return;
    }
    std::vector<uint8_t> descriptor(needed);
    if (GetFileSecurityW(from.c_str(), what, descriptor.data(), needed, &needed)) {
        (void)SetFileSecurityW(to.c_str(), what, descriptor.data());
    }
}

}  // namespace

std::wstring ReplacementName(const std::wstring& target) {
    return target + kReplacementSuffix;
}

std::wstring BackupName(const std::wstring& target, unsigned serial) {
    return target + L"." + std::to_wstring(serial) + kBackupSuffix;
}

bool ReplaceAtomically(const std::wstring& target, const std::wstring& replacement, const std::wstring& backup) {
    // One rename over the target: no moment without a file under the name, whenever the process
    // dies. The caller has given the new file the old one's attributes; its access rules follow.
    CopyAccess(target, replacement);
    if (MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
        return false;
    }
    // Windows renames nothing over a file that is open, even to a reader that shares deletion
    // (our own source playing it). The replace call moves the old file aside to the backup name
    // instead, and that reader goes on reading it. Between its two moves the name is empty for
    // a moment; a write cut off there is undone by RecoverInterruptedReplace.
    if (ReplaceFileW(target.c_str(), replacement.c_str(), backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                     nullptr)) {
        return true;
    }
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file went to the backup name and the new one could not follow: put it back.
        (void)MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return false;
}

void RecoverInterruptedReplace(const std::wstring& target) {
    std::vector<std::wstring> backups = Backups(target);
    if (!Exists(target) && !backups.empty()) {
        // Cut between moving the old file aside and moving the new one in: the old one was
        // whole, the new one may not have been checked.
        if (MoveFileExW(backups.front().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            backups.erase(backups.begin());
        }
    }
    if (Exists(target)) {
        for (const std::wstring& backup : backups) {
            (void)DeleteFileW(backup.c_str());
        }
    }
    (void)DeleteFileW(ReplacementName(target).c_str());
}
