// Many Play/Stop cycles through the plug-in's record, then as many bare graphs built and torn
// down, in one process, with the process's counters read after a warm-up and at the end of each.
// Wine's DirectShow keeps some handles and memory per graph for itself, so only the plug-in's
// growth beyond the bare graphs' growth is ours.
#pragma once

#include <string>

#include "tools/bench/PluginHost.h"
#include "tools/common/ProcessCounters.h"

struct EnduranceRun {
    ProcessCounters before;  // after the warm-up
    ProcessCounters middle;  // after the WAV cycles, before the AVI ones
    ProcessCounters after;
    int failures = 0;  // cycles whose file did not open
};

struct EnduranceResult {
    EnduranceRun plugin;
    EnduranceRun bare;
};

// warmUp cycles run first, alternating the two files, and are not counted. The plug-in must have
// been loaded and initialised.
EnduranceRun MeasurePlugin(PluginHost& host,
                           const std::string& wav,
                           const std::string& avi,
                           int wavCycles,
                           int aviCycles,
                           int warmUp);
EnduranceRun MeasureBare(const std::string& wav, const std::string& avi, int wavCycles, int aviCycles, int warmUp);
// Bare graphs given the plug-in's calls (BareGraph::PlaceLikeThePlugIn) in a window that is shown,
// sized and hidden as the plug-in's video window is: what Wine's renderer keeps for a picture
// placed and resized in a window, with no plug-in loaded.
EnduranceRun MeasurePlacedBare(const std::string& wav,
                               const std::string& avi,
                               int wavCycles,
                               int aviCycles,
                               int warmUp);

// Both, the plug-in first.
EnduranceResult RunEndurance(PluginHost& host,
                             const std::string& wav,
                             const std::string& avi,
                             int wavCycles,
                             int aviCycles,
                             int warmUp);

// Growth of one counter, the plug-in's beyond the bare graphs'.
struct Growth {
    long long plugin;
    long long bare;
};
Growth HandleGrowth(const EnduranceResult& r);
Growth GdiGrowth(const EnduranceResult& r);
Growth WindowGrowth(const EnduranceResult& r);
Growth PrivateGrowth(const EnduranceResult& r);
