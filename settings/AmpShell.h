// The settings store: typed keys and whole-form state in MorlunePlugin.INI beside the player's
// executable, over the platform's private-profile calls. It keeps nothing between calls: every
// operation builds the path and lets the profile calls open the file afresh, so a change made by
// another program between two operations is seen. The options dialog made it and is its one user.
//
// A write that the platform refuses throws Exception("Unable to write to <path>"); nothing here
// catches it, so it ends the calling handler at the widget layer's event edge.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TComponent;

class TAmpShell {
public:
    // Texts are ANSI code page bytes; the value comes first, the key second. A read takes the
    // value in as its default and leaves it untouched when the key is missing or unreadable.
    void WriteInteger(int32_t value, const std::string& key);
    void WriteBool(bool value, const std::string& key);
    void WriteString(const std::string& value, const std::string& key);
    void ReadInteger(int32_t& value, const std::string& key);
    void ReadBool(bool& value, const std::string& key);
    void ReadString(std::string& value, const std::string& key);  // at most 2047 bytes

    // The form's caption, bounds and the state of its components by kind, in a section named
    // after it. Anything that is not a form is left alone.
    void SaveFormState(TComponent* form);
    void LoadFormState(TComponent* form);

    // The executable's folder and "\MorlunePlugin", without the ".INI" ending.
    std::string SettingsBasePath();
};

extern std::unique_ptr<TAmpShell> AmpShell;

// The settings folder: the player's executable's, unless a test set another.
std::string SettingsFolder();

// The settings file itself: SettingsBasePath with its ".INI" ending.
std::string SettingsFilePath();

// For tests: replaces the settings folder (no trailing backslash); empty restores the
// executable's own.
void SetSettingsFolder(std::string folder);
