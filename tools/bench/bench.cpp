// The benchmark driver: loads in_atrac3ds.dll from its own folder the way a player does and
// measures it against the bare DirectShow player, alternating the two and printing one
// "result figure=… " line per figure for scripts/bench to tabulate.
//
//   bench media DIR                         writes DIR\tone.wav (15 s) and DIR\clip.avi (3 s)
//   bench startup FILE TRIALS               Play -> first poll above 0, against a bare graph
//   bench omastart OMA WAV TRIALS           Play of an OMA file -> first poll above 0, against the
//                                           same for a WAV plus a bare graph's refusal of the OMA file
//   bench answer FILE TRIALS                how long Play takes to answer (a damaged or hostile
//                                           file: its box is closed as a click would)
//   bench poll FILE TRIALS CALLS            one GetOutputTime against one GetPositions
//   bench cpu FILE SECONDS                  CPU time of this process over SECONDS of playback
//   bench init                              Init, and Init until the first settings file is written
//   bench endurance WAV AVI NWAV NAVI [W] [both|plugin|bare|placed]
//                                           Play/Stop cycles against bare graphs, counters compared
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/bench/BareGraph.h"
#include "tools/bench/Endurance.h"
#include "tools/bench/PluginHost.h"
#include "tools/bench/Timing.h"
#include "tools/mkmedia/MediaWriter.h"

namespace {

constexpr double kGiveUpMs = 10000;

bool LoadPlugin(PluginHost& host) {
    if (!host.Load(ExecutableDir() + "in_atrac3ds.dll")) {
        printf("result error=load\n");
        return false;
    }
    host.Module().Init();
    PluginHost::PumpFor(300);  // the settings start-up runs 50 ms after Init; keep it out of the figures
    return true;
}

// Polls until the position is above 0; returns the time from start, or -1.
template <class Poll>
double UntilPlaying(double start, Poll poll) {
    while (NowMs() - start < kGiveUpMs) {
        PluginHost::Pump();
        if (poll() > 0)
            return NowMs() - start;
        Sleep(1);
    }
    return -1;
}

int Media(const std::string& dir) {
    const bool ok = WriteBytes(dir + "\\tone.wav", MakeToneWav(15000)) &&
                    WriteBytes(dir + "\\clip.avi", MakeAvi(3000, 160, 120, 10, true));
    printf("media %s\n", ok ? "ok" : "error");
    return ok ? 0 : 1;
}

int Startup(const std::string& file, int trials) {
    PluginHost host;
    if (!LoadPlugin(host))
        return 1;
    In_Module& module = host.Module();
    std::vector<double> plugin, bare;
    for (int i = -2; i < trials; ++i) {  // two unrecorded rounds load and warm DirectShow
        double start = NowMs();
        const int rc = module.Play(file.c_str());
        const double p = rc == 0 ? UntilPlaying(start, [&] { return module.GetOutputTime(); }) : -1;
        module.Stop();
        PluginHost::PumpFor(50);

        BareGraph graph;
        start = NowMs();
        const bool ok = graph.Open(file) && graph.Run();
        const double b = ok ? UntilPlaying(start, [&] { return graph.PositionMs(); }) : -1;
        graph.Close();
        PluginHost::PumpFor(50);
        if (i < 0)
            continue;
        printf("startup trial=%d plugin_ms=%.2f bare_ms=%.2f\n", i, p, b);
        if (p >= 0)
            plugin.push_back(p);
        if (b >= 0)
            bare.push_back(b);
    }
    printf("result figure=startup plugin=%.2f bare=%.2f unit=ms trials=%zu/%zu\n", Median(plugin), Median(bare),
           plugin.size(), bare.size());
    return plugin.empty() || bare.empty() ? 1 : 0;
}

// The own source's road: the plug-in's Play of an OMA file that the machine's filters refuse,
// against its Play of a WAV (the machine's filters all the way) plus the time a bare graph takes
// to refuse the OMA file (CoCreateInstance and a failing RenderFile), all three alternating.
int OmaStartup(const std::string& oma, const std::string& wav, int trials) {
    PluginHost host;
    if (!LoadPlugin(host))
        return 1;
    In_Module& module = host.Module();
    auto play = [&](const std::string& file) {
        const double start = NowMs();
        const int rc = module.Play(file.c_str());
        const double ms = rc == 0 ? UntilPlaying(start, [&] { return module.GetOutputTime(); }) : -1;
        module.Stop();
        PluginHost::PumpFor(50);
        return ms;
    };
    std::vector<double> omaMs, wavMs, refuseMs;
    for (int i = -2; i < trials; ++i) {  // two unrecorded rounds load and warm DirectShow
        const double o = play(oma);
        const double w = play(wav);
        double r = -1;
        {
            BareGraph graph;
            const double start = NowMs();
            const bool rendered = graph.Open(oma);
            r = rendered ? -1 : NowMs() - start;  // a graph that renders it refuses nothing
            graph.Close();
        }
        PluginHost::PumpFor(50);
        if (i < 0)
            continue;
        printf("omastart trial=%d oma_ms=%.2f wav_ms=%.2f refuse_ms=%.2f\n", i, o, w, r);
        if (o >= 0)
            omaMs.push_back(o);
        if (w >= 0)
            wavMs.push_back(w);
        if (r >= 0)
            refuseMs.push_back(r);
    }
    const double baseline = omaMs.empty() || wavMs.empty() || refuseMs.empty() ? -1 : Median(wavMs) + Median(refuseMs);
    printf("result figure=omastart plugin=%.2f bare=%.2f wav=%.2f refuse=%.2f unit=ms trials=%zu/%zu/%zu\n",
           Median(omaMs), baseline, Median(wavMs), Median(refuseMs), omaMs.size(), wavMs.size(), refuseMs.size());
    return baseline < 0 ? 1 : 0;
}

// Play's answer to a file, whatever it is: the time until Play returns, a refusal's box included
// (the watcher closes it within its 50 ms poll, so a refusal's figure is that much high).
// A Play that has not answered in kGiveUpMs is reported as such, and the process ends there.
DWORD WINAPI GiveUpOnPlay(void*) {
    Sleep(static_cast<DWORD>(kGiveUpMs));
    printf("result figure=answer ms=-1 error=no-answer-in-%.0f-ms\n", kGiveUpMs);
    fflush(stdout);
    ExitProcess(1);
}

int Answer(const std::string& file, int trials) {
    CloseHandle(CreateThread(nullptr, 0, GiveUpOnPlay, nullptr, 0, nullptr));
    PluginHost host;
    if (!LoadPlugin(host))
        return 1;
    PluginHost::CloseMessageBoxes();
    In_Module& module = host.Module();
    std::vector<double> ms;
    int rc = 0;
    for (int i = -1; i < trials; ++i) {  // one unrecorded round loads and warms DirectShow
        const double start = NowMs();
        rc = module.Play(file.c_str());
        const double took = NowMs() - start;
        module.Stop();
        PluginHost::PumpFor(50);
        if (i < 0)
            continue;
        printf("answer trial=%d ms=%.2f rc=%d\n", i, took, rc);
        ms.push_back(took);
    }
    printf("result figure=answer ms=%.2f rc=%d trials=%zu\n", Median(ms), rc, ms.size());
    return 0;
}

// Median time of one call in microseconds. The performance counter ticks at 0.1 us under Wine,
// about what one GetPositions costs, so calls are timed in batches of a hundred (the median batch,
// divided by a hundred) and the timer's own cost is taken off.
constexpr int kBatch = 100;

template <class Call>
double TimeCalls(int calls, Call call, double timerCostUs) {
    std::vector<double> us;
    us.reserve(static_cast<size_t>(calls / kBatch));
    for (int i = 0; i < calls / kBatch; ++i) {
        const double t0 = NowMs();
        for (int j = 0; j < kBatch; ++j)
            (void)call();
        us.push_back(((NowMs() - t0) * 1000.0 - timerCostUs) / kBatch);
    }
    return Median(us);
}

int Poll(const std::string& file, int trials, int calls) {
    PluginHost host;
    if (!LoadPlugin(host))
        return 1;
    In_Module& module = host.Module();
    const double timerCostUs = TimeCalls(
                                   calls, [] { return 0; }, 0) *
                               kBatch;
    std::vector<double> plugin, bare;
    for (int i = 0; i < trials; ++i) {
        if (module.Play(file.c_str()) == 0 && UntilPlaying(NowMs(), [&] { return module.GetOutputTime(); }) >= 0) {
            plugin.push_back(TimeCalls(
                calls, [&] { return module.GetOutputTime(); }, timerCostUs));
        }
        module.Stop();
        PluginHost::PumpFor(50);

        BareGraph graph;
        if (graph.Open(file) && graph.Run() && UntilPlaying(NowMs(), [&] { return graph.PositionMs(); }) >= 0) {
            IMediaSeeking* seeking = graph.Seeking();
            bare.push_back(TimeCalls(
                calls,
                [&] {
                    LONGLONG current = 0, stop = 0;
                    return seeking->GetPositions(&current, &stop);
                },
                timerCostUs));
        }
        graph.Close();
        PluginHost::PumpFor(50);
        printf("poll trial=%d plugin_us=%.3f bare_us=%.3f\n", i, plugin.empty() ? -1 : plugin.back(),
               bare.empty() ? -1 : bare.back());
    }
    printf("result figure=poll plugin=%.3f bare=%.3f unit=us timer_us=%.3f calls=%d\n", Median(plugin), Median(bare),
           timerCostUs, calls);
    return plugin.empty() || bare.empty() ? 1 : 0;
}

int Cpu(const std::string& file, double seconds) {
    PluginHost host;
    if (!LoadPlugin(host))
        return 1;
    In_Module& module = host.Module();
    const double cpu0 = ProcessCpuMs();
    const double t0 = NowMs();
    if (module.Play(file.c_str()) != 0) {
        printf("result figure=cpu-plugin error=play\n");
        return 1;
    }
    double started = -1;
    // The player's clock: a 50 ms timer whose tick polls the position.
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, nullptr);
    MSG m;
    while (NowMs() - t0 < seconds * 1000 && GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_TIMER && m.hwnd == nullptr && m.wParam == timer) {
            if (module.GetOutputTime() > 0 && started < 0)
                started = NowMs() - t0;
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    const double cpu = ProcessCpuMs() - cpu0;
    KillTimer(nullptr, timer);
    module.Stop();
    printf("result figure=cpu-plugin ms=%.1f start_ms=%.1f\n", cpu, started);
    return 0;
}

int Init() {
    const std::string settings = ExecutableDir() + "MorlunePlugin.ini";
    DeleteFileA(settings.c_str());
    PluginHost host;
    if (!host.Load(ExecutableDir() + "in_atrac3ds.dll")) {
        printf("result error=load\n");
        return 1;
    }
    const double t0 = NowMs();
    host.Module().Init();
    const double init = NowMs() - t0;
    double written = -1;
    while (NowMs() - t0 < 5000) {
        PluginHost::Pump();
        if (GetFileAttributesA(settings.c_str()) != INVALID_FILE_ATTRIBUTES) {
            written = NowMs() - t0;
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    printf("result figure=init ms=%.2f settings_ms=%.2f\n", init, written);
    return written < 0 ? 1 : 0;
}

void PrintPhase(const char* phase, const EnduranceRun& run) {
    printf("endurance phase=%s before=\"%s\" after=\"%s\" failures=%d\n", phase, Describe(run.before).c_str(),
           Describe(run.after).c_str(), run.failures);
    printf("growth phase=%s handles=%lld gdi=%lld windows=%lld private=%lld failures=%d\n", phase,
           static_cast<long long>(run.after.handles - run.before.handles),
           static_cast<long long>(run.after.gdiObjects - run.before.gdiObjects),
           static_cast<long long>(run.after.windows - run.before.windows),
           static_cast<long long>(run.after.privateBytes - run.before.privateBytes), run.failures);
    printf("growth phase=%s part=wav private=%lld\n", phase,
           static_cast<long long>(run.middle.privateBytes - run.before.privateBytes));
    printf("growth phase=%s part=avi private=%lld\n", phase,
           static_cast<long long>(run.after.privateBytes - run.middle.privateBytes));
}

// phase: both (one process, the plug-in first), plugin or bare (for runs too large for one
// process: Wine keeps megabytes per graph).
int Endurance(const std::string& phase,
              const std::string& wav,
              const std::string& avi,
              int wavCycles,
              int aviCycles,
              int warmUp) {
    const double t0 = NowMs();
    int failures = 0;
    if (phase == "bare") {
        const EnduranceRun bare = MeasureBare(wav, avi, wavCycles, aviCycles, warmUp);
        PrintPhase("bare", bare);
        failures = bare.failures;
    } else if (phase == "placed") {
        const EnduranceRun placed = MeasurePlacedBare(wav, avi, wavCycles, aviCycles, warmUp);
        PrintPhase("placed", placed);
        failures = placed.failures;
    } else {
        PluginHost host;
        if (!LoadPlugin(host))
            return 1;
        PluginHost::CloseMessageBoxes();
        if (phase == "plugin") {
            const EnduranceRun plugin = MeasurePlugin(host, wav, avi, wavCycles, aviCycles, warmUp);
            PrintPhase("plugin", plugin);
            failures = plugin.failures;
        } else {
            const EnduranceResult r = RunEndurance(host, wav, avi, wavCycles, aviCycles, warmUp);
            PrintPhase("plugin", r.plugin);
            PrintPhase("bare", r.bare);
            const struct {
                const char* name;
                Growth growth;
            } rows[] = {{"handles", HandleGrowth(r)},
                        {"gdi", GdiGrowth(r)},
                        {"windows", WindowGrowth(r)},
                        {"private", PrivateGrowth(r)}};
            for (const auto& row : rows) {
                printf("result figure=growth-%s plugin=%lld bare=%lld\n", row.name, row.growth.plugin, row.growth.bare);
            }
            failures = r.plugin.failures + r.bare.failures;
        }
    }
    printf("endurance phase=%s cycles=%d+%d warmup=%d seconds=%.1f\n", phase.c_str(), wavCycles, aviCycles, warmUp,
           (NowMs() - t0) / 1000);
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    auto arg = [&](int i, const char* fallback) { return std::string(argc > i ? argv[i] : fallback); };
    if (mode == "media" && argc > 2)
        return Media(argv[2]);
    if (mode == "startup" && argc > 2)
        return Startup(argv[2], atoi(arg(3, "15").c_str()));
    if (mode == "omastart" && argc > 3)
        return OmaStartup(argv[2], argv[3], atoi(arg(4, "15").c_str()));
    if (mode == "answer" && argc > 2)
        return Answer(argv[2], atoi(arg(3, "3").c_str()));
    if (mode == "poll" && argc > 2)
        return Poll(argv[2], atoi(arg(3, "3").c_str()), atoi(arg(4, "10000").c_str()));
    if (mode == "cpu" && argc > 2)
        return Cpu(argv[2], atof(arg(3, "10").c_str()));
    if (mode == "init")
        return Init();
    if (mode == "endurance" && argc > 5) {
        return Endurance(arg(7, "both"), argv[2], argv[3], atoi(argv[4]), atoi(argv[5]), atoi(arg(6, "20").c_str()));
    }
    fprintf(stderr,
            "usage: bench media DIR | startup FILE [TRIALS] | omastart OMA WAV [TRIALS] | answer FILE [TRIALS] |\n"
            "             poll FILE [TRIALS] [CALLS] |\n"
            "             cpu FILE [SECONDS] | init | endurance WAV AVI NWAV NAVI [WARMUP] [PHASE]\n");
    return 2;
}
