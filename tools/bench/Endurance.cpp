#include "tools/bench/Endurance.h"

#include "tools/bench/BareGraph.h"

namespace {

// Wine ends a graph's threads a little after the graph is gone; counting at once would see them.
constexpr DWORD kSettleMs = 300;

bool PluginCycle(PluginHost& host, const std::string& file) {
    In_Module& module = host.Module();
    const int result = module.Play(file.c_str());
    PluginHost::Pump();
    (void)module.GetOutputTime();
    module.Stop();
    PluginHost::Pump();
    return result == 0;
}

bool BareCycle(const std::string& file, HWND owner = nullptr) {
    BareGraph graph;
    const bool opened = graph.Open(file);
    if (opened && owner)
        graph.PlaceLikeThePlugIn(owner);
    const bool ok = opened && graph.Run();
    (void)graph.PositionMs();
    graph.Close();
    PluginHost::Pump();
    return ok;
}

template <class Cycle>
EnduranceRun Measure(Cycle cycle,
                     const std::string& wav,
                     const std::string& avi,
                     int wavCycles,
                     int aviCycles,
                     int warmUp) {
    EnduranceRun run;
    for (int i = 0; i < warmUp; ++i)
        (void)cycle(i % 2 ? avi : wav);
    PluginHost::PumpFor(kSettleMs);
    run.before = ReadProcessCounters();
    for (int i = 0; i < wavCycles; ++i)
        run.failures += cycle(wav) ? 0 : 1;
    for (int i = 0; i < aviCycles; ++i)
        run.failures += cycle(avi) ? 0 : 1;
    PluginHost::PumpFor(kSettleMs);
    run.after = ReadProcessCounters();
    return run;
}

}  // namespace

EnduranceRun MeasurePlugin(PluginHost& host,
                           const std::string& wav,
                           const std::string& avi,
                           int wavCycles,
                           int aviCycles,
                           int warmUp) {
    return Measure([&](const std::string& f) { return PluginCycle(host, f); }, wav, avi, wavCycles, aviCycles, warmUp);
}

EnduranceRun MeasureBare(const std::string& wav, const std::string& avi, int wavCycles, int aviCycles, int warmUp) {
    return Measure([](const std::string& f) { return BareCycle(f); }, wav, avi, wavCycles, aviCycles, warmUp);
}

EnduranceRun MeasurePlacedBare(const std::string& wav,
                               const std::string& avi,
                               int wavCycles,
                               int aviCycles,
                               int warmUp) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 320, 260, nullptr, nullptr, nullptr,
                                 nullptr);
    EnduranceRun run =
        Measure([&](const std::string& f) { return BareCycle(f, owner); }, wav, avi, wavCycles, aviCycles, warmUp);
    DestroyWindow(owner);
    return run;
}

EnduranceResult RunEndurance(PluginHost& host,
                             const std::string& wav,
                             const std::string& avi,
                             int wavCycles,
                             int aviCycles,
                             int warmUp) {
    EnduranceResult result;
    result.plugin = MeasurePlugin(host, wav, avi, wavCycles, aviCycles, warmUp);
    result.bare = MeasureBare(wav, avi, wavCycles, aviCycles, warmUp);
    return result;
}

Growth HandleGrowth(const EnduranceResult& r) {
    return {r.plugin.after.handles - r.plugin.before.handles, r.bare.after.handles - r.bare.before.handles};
}

Growth GdiGrowth(const EnduranceResult& r) {
    return {r.plugin.after.gdiObjects - r.plugin.before.gdiObjects, r.bare.after.gdiObjects - r.bare.before.gdiObjects};
}

Growth WindowGrowth(const EnduranceResult& r) {
    return {r.plugin.after.windows - r.plugin.before.windows, r.bare.after.windows - r.bare.before.windows};
}

Growth PrivateGrowth(const EnduranceResult& r) {
    return {r.plugin.after.privateBytes - r.plugin.before.privateBytes,
            r.bare.after.privateBytes - r.bare.before.privateBytes};
}
