#include "settings/AmpShell.h"

#include <windows.h>

#include "base/AnsiText.h"
#include "base/Exception.h"
#include "base/Paths.h"
#include "settings/ValueText.h"
#include "ui/toolkit/Application.h"
#include "ui/toolkit/CheckBox.h"
#include "ui/toolkit/ComboBox.h"
#include "ui/toolkit/Form.h"
#include "ui/toolkit/Menu.h"
#include "ui/toolkit/Notebook.h"
#include "ui/toolkit/Panel.h"
#include "ui/toolkit/RadioButton.h"
#include "ui/toolkit/RadioGroup.h"
#include "ui/toolkit/TrackBar.h"

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

void WriteEntry(const std::string& path, const char* section, const std::string& key, const std::string& value) {
    if (!WritePrivateProfileStringA(section, key.c_str(), value.c_str(), path.c_str())) {
        throw Exception(std::wstring(L"Unable to write to ").append(AnsiToWide(path)));
    }
}

std::string ReadText(const std::string& path, const char* section, const std::string& key, const char* fallback = "") {
    char buffer[kTextBuffer];
    (void)GetPrivateProfileStringA(section, key.c_str(), fallback, buffer, kTextBuffer, path.c_str());
    return buffer;
}

// Numbers and flags: a missing key and an empty value both read as "", which is not a number.
void ReadNumber(const std::string& path, const char* section, const std::string& key, int32_t& value) {
    value = ParseIntegerText(ReadText(path, section, key), value);
}

void ReadFlag(const std::string& path, const char* section, const std::string& key, bool& value) {
    value = ParseBoolText(ReadText(path, section, key), value);
}

// A menu separator holds no state worth keeping.
TMenuItem* StatefulMenuItem(TComponent* component) {
    auto* item = dynamic_cast<TMenuItem*>(component);
    return item && item->Caption() != L"-" ? item : nullptr;
}

void Fire(const TNotifyEvent& handler) {
    if (handler)
        handler(nullptr);
}

}  // namespace

void SetSettingsFolder(std::string folder) {
    FolderOverride() = std::move(folder);
}

std::string SettingsFolder() {
    return FolderOverride().empty() ? HostExeDir() : FolderOverride();
}

std::string TAmpShell::SettingsBasePath() {
    return SettingsFolder().append("\\MorlunePlugin");
}

std::string SettingsFilePath() {
    return TAmpShell().SettingsBasePath().append(".INI");
}

void TAmpShell::WriteInteger(int32_t value, const std::string& key) {
    WriteEntry(SettingsFilePath(), kIntegers, key, std::to_string(value));
}

void TAmpShell::WriteBool(bool value, const std::string& key) {
    WriteEntry(SettingsFilePath(), kBooleans, key, value ? "1" : "0");
}

void TAmpShell::WriteString(const std::string& value, const std::string& key) {
    WriteEntry(SettingsFilePath(), kStrings, key, value);
}

void TAmpShell::ReadInteger(int32_t& value, const std::string& key) {
    ReadNumber(SettingsFilePath(), kIntegers, key, value);
}

void TAmpShell::ReadBool(bool& value, const std::string& key) {
    ReadFlag(SettingsFilePath(), kBooleans, key, value);
}

void TAmpShell::ReadString(std::string& value, const std::string& key) {
    // An empty value and a missing key look alike to a read with an empty default; only a
    // missing key gives back a non-empty one. The caller's own value is kept exactly as passed,
    // however long or blank-padded.
    const std::string path = SettingsFilePath();
    std::string text = ReadText(path, kStrings, key);
    if (text.empty() && !ReadText(path, kStrings, key, "?").empty())
        return;
    value = std::move(text);
}

// The kinds are tested in a fixed order with dynamic_cast, so a descendant counts as its base
// kind. The component names are the keys, which is why the forms keep their designers' names.
void TAmpShell::SaveFormState(TComponent* component) {
    const std::string path = SettingsFilePath();
    auto* form = dynamic_cast<TForm*>(component);
    if (!form)
        return;
    const char* section = form->Name().c_str();
    const auto writeNumber = [&](int32_t value, const std::string& key) {
        WriteEntry(path, section, key, std::to_string(value));
    };
    const auto writeFlag = [&](bool value, const std::string& key) {
        WriteEntry(path, section, key, value ? "1" : "0");
    };
    WriteEntry(path, section, form->Name(), WideToAnsi(form->Caption()));
    writeNumber(form->Width(), "Width");
    writeNumber(form->Height(), "Height");
    writeNumber(form->Top(), "Top");
    writeNumber(form->Left(), "Left");
    for (int32_t i = 0; i < form->ComponentCount(); ++i) {
        TComponent* c = form->Component(i);
        const std::string& key = c->Name();
        if (auto* box = dynamic_cast<TCheckBox*>(c))
            writeFlag(box->Checked(), key);
        if (auto* button = dynamic_cast<TRadioButton*>(c))
            writeFlag(button->Checked(), key);
        if (auto* item = StatefulMenuItem(c))
            writeFlag(item->Checked(), key);
        if (auto* book = dynamic_cast<TNotebook*>(c))
            writeNumber(book->PageIndex(), key);
        if (auto* group = dynamic_cast<TRadioGroup*>(c))
            writeNumber(group->ItemIndex(), key);
        if (auto* bar = dynamic_cast<TTrackBar*>(c))
            writeNumber(bar->Position(), key);
        if (auto* panel = dynamic_cast<TPanel*>(c))
            writeFlag(panel->Visible(), key);
    }
}

// Caption and bounds are in the section but never read back: a restore leaves the form where
// and as large as it is. The message loop runs before each component, so the player's polls and
// timers keep going during a restore and may see it half done.
void TAmpShell::LoadFormState(TComponent* component) {
    const std::string path = SettingsFilePath();
    auto* form = dynamic_cast<TForm*>(component);
    if (!form)
        return;
    const char* section = form->Name().c_str();
    for (int32_t i = 0; i < form->ComponentCount(); ++i) {
        ProcessMessages();
        TComponent* c = form->Component(i);
        const std::string& key = c->Name();
        if (auto* box = dynamic_cast<TCheckBox*>(c)) {
            bool checked = box->Checked();
            ReadFlag(path, section, key, checked);
            box->SetChecked(checked);  // fires its click handler when the state changes
        }
        if (auto* button = dynamic_cast<TRadioButton*>(c)) {
            bool checked = button->Checked();
            ReadFlag(path, section, key, checked);
            button->SetChecked(checked);
        }
        if (auto* item = StatefulMenuItem(c)) {
            bool checked = item->Checked();
            ReadFlag(path, section, key, checked);
            item->SetChecked(checked);
        }
        if (auto* book = dynamic_cast<TNotebook*>(c)) {
            int32_t page = book->PageIndex();
            ReadNumber(path, section, key, page);
            book->SetPageIndex(page);
        }
        if (auto* group = dynamic_cast<TRadioGroup*>(c)) {
            int32_t index = group->ItemIndex();
            ReadNumber(path, section, key, index);
            group->SetItemIndex(index);
        }
        if (auto* bar = dynamic_cast<TTrackBar*>(c)) {
            int32_t position = bar->Position();
            ReadNumber(path, section, key, position);
            bar->SetPosition(position);
        }
        if (auto* panel = dynamic_cast<TPanel*>(c)) {
            bool visible = panel->Visible();
            ReadFlag(path, section, key, visible);
            panel->SetVisible(visible);
        }
        if (auto* combo = dynamic_cast<TComboBox*>(c)) {  // read back though never written
            int32_t index = combo->ItemIndex();
            ReadNumber(path, section, key, index);
            combo->SetItemIndex(index);
        }
    }
    // Handlers run whether or not the value changed, so dependent state is brought up to date.
    for (int32_t i = 0; i < form->ComponentCount(); ++i) {
        ProcessMessages();
        TComponent* c = form->Component(i);
        if (auto* box = dynamic_cast<TCheckBox*>(c))
            Fire(box->OnClick);
        if (auto* group = dynamic_cast<TRadioGroup*>(c))
            Fire(group->OnClick);
        if (auto* bar = dynamic_cast<TTrackBar*>(c))
            Fire(bar->OnChange);
        if (auto* combo = dynamic_cast<TComboBox*>(c))
            Fire(combo->OnChange);
    }
}
