// The bare DirectShow player for the CPU-time comparison: one graph, a thread timer polling the
// position every 50 ms like the player's, nothing else.
//   bare FILE SECONDS   prints "result figure=cpu-bare ms=… start_ms=…"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/bench/BareGraph.h"
#include "tools/bench/Timing.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: bare FILE SECONDS\n");
        return 2;
    }
    const std::string file = argv[1];
    const double seconds = atof(argv[2]);

    const double cpu0 = ProcessCpuMs();
    const double t0 = NowMs();
    BareGraph graph;
    if (!graph.Open(file) || !graph.Run()) {
        printf("result figure=cpu-bare error=open\n");
        return 1;
    }
    double started = -1;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, nullptr);
    MSG m;
    while (NowMs() - t0 < seconds * 1000 && GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_TIMER && m.wParam == timer) {
            if (graph.PositionMs() > 0 && started < 0)
                started = NowMs() - t0;
            continue;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    const double cpu = ProcessCpuMs() - cpu0;
    KillTimer(nullptr, timer);
    graph.Close();
    printf("result figure=cpu-bare ms=%.1f start_ms=%.1f\n", cpu, started);
    return 0;
}
