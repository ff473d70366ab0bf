// Loads the plug-in as the player does (LoadLibrary, winampGetInModule2, hMainWindow and
// hDllInstance filled, Init) with a main window of its own that answers the player's queries:
// playlist position 0, this one file, shuffle and repeat off.
#pragma once

#include <windows.h>

#include <string>

#include "host/InModule.h"

class PluginHost {
public:
    PluginHost() = default;
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;
    ~PluginHost();

    // Loads the DLL and makes the main window; Init is left to the caller so that it can be timed.
    bool Load(const std::string& dllPath);
    In_Module& Module() const { return *module_; }
    HWND MainWindow() const { return mainWindow_; }

    // From now on a watcher thread prints each message box of the process ("box text=…") and
    // closes it, so the call that showed it goes on as after a click on OK: in long runs a box
    // would otherwise wait for a person. Off by default, as its polling would weigh on timings.
    static void CloseMessageBoxes();
    // Handles every message that is waiting, as the player's loop would between two calls.
    static void Pump();
    // Runs the message loop for a while.
    static void PumpFor(DWORD ms);

private:
    HMODULE dll_ = nullptr;
    In_Module* module_ = nullptr;
    HWND mainWindow_ = nullptr;
};

// The folder of the running executable, with a trailing backslash.
std::string ExecutableDir();

// Writes the bytes to a new file (an existing one is replaced).
bool WriteBytes(const std::string& path, const std::string& bytes);
