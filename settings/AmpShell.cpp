#include "settings/AmpShell.h"

#include <windows.h>

#include <vector>

#include "settings/AnsiText.h"
#include "settings/ValueText.h"
#include "ui/toolkit/Exception.h"

std::unique_ptr<TAmpShell> AmpShell;

namespace {

constexpr char kIntegers[] = "Integers";
constexpr char kBooleans[] = "Boolean";
constexpr char kStrings[] = "Strings";
constexpr DWORD kTextBuffer = 2048;  // values read back are cut at 2047 bytes

std::string& FolderOverride() {
    static std::string folder;
    return folder;
}

std::string SettingsPath() {
    return TAmpShell().SettingsBasePath().append(".INI");
}

void WriteEntry(const std::string& path, const char* section, const std::string& key, const std::string& value) {
    if (!WritePrivateProfileStringA(section, key.c_str(), value.c_str(), path.c_str())) {
        throw Exception(std::wstring(L"Unable to write to ").append(AnsiToWide(path)));
    }
}

// The stored text, or false when the key is not there at all. An empty value and a missing key
// both come back empty from the first read; only a missing one gives back a non-empty default.
bool ReadEntry(const std::string& path, const char* section, const std::string& key, std::string& text) {
    char buffer[kTextBuffer];
    (void)GetPrivateProfileStringA(section, key.c_str(), "", buffer, kTextBuffer, path.c_str());
    text = buffer;
    if (!text.empty()) return true;
    (void)GetPrivateProfileStringA(section, key.c_str(), "?", buffer, kTextBuffer, path.c_str());
    return buffer[0] == '\0';
}

std::string ReadText(const std::string& path, const char* section, const std::string& key) {
    std::string text;
    (void)ReadEntry(path, section, key, text);
    return text;
}

}  // namespace

std::string HostExeDir() {
    if (!FolderOverride().empty()) return FolderOverride();
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    // The last backslash or colon that is not the second byte of a double-byte character ends
    // the folder; a drive's root keeps its backslash.
    size_t end = 0;
    for (size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] == '\\' || buffer[i] == ':') {
            end = i + 1;
        } else if (IsDBCSLeadByte(static_cast<BYTE>(buffer[i]))) {
            ++i;
        }
    }
    if (end > 1 && buffer[end - 1] == '\\' && buffer[end - 2] != ':' && buffer[end - 2] != '\\') --end;
    return std::string(buffer.data(), end);
}

void SetSettingsFolder(std::string folder) {
    FolderOverride() = std::move(folder);
}

std::string TAmpShell::SettingsBasePath() {
    return HostExeDir().append("\\MorlunePlugin");
}

void TAmpShell::WriteInteger(int32_t value, const std::string& key) {
    WriteEntry(SettingsPath(), kIntegers, key, std::to_string(value));
}

void TAmpShell::WriteBool(bool value, const std::string& key) {
    WriteEntry(SettingsPath(), kBooleans, key, value ? "1" : "0");
}

void TAmpShell::WriteString(const std::string& value, const std::string& key) {
    WriteEntry(SettingsPath(), kStrings, key, value);
}

void TAmpShell::ReadInteger(int32_t& value, const std::string& key) {
    value = ParseIntegerText(ReadText(SettingsPath(), kIntegers, key), value);
}

void TAmpShell::ReadBool(bool& value, const std::string& key) {
    value = ParseBoolText(ReadText(SettingsPath(), kBooleans, key), value);
}

void TAmpShell::ReadString(std::string& value, const std::string& key) {
    std::string text;
    if (ReadEntry(SettingsPath(), kStrings, key, text)) value = std::move(text);
}
