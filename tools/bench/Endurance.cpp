#include "tools/bench/Endurance.h"

#include "tools/bench/BareGraph.h"
#include "ui/ResizeRule.h"

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

bool BareCycle(const std::string& file) {
    BareGraph graph;
    const bool ok = graph.Open(file) && graph.Run();
    PluginHost::Pump();  // as the player's loop runs between Play and the first poll
    (void)graph.PositionMs();
    graph.Close();
    PluginHost::Pump();
    return ok;
}

// A window in place of the plug-in's video window, treated the way the plug-in treats its own: a
// child of the player's hidden main window far outside its client area, shown for each file and
// hidden at its end, and sized on each Play from the picture's size through the resize rule.
class MirroredWindow {
public:
    MirroredWindow() {
        main_ = CreateWindowExW(0, L"STATIC", L"player", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                nullptr);
        window_ = CreateWindowExW(0, L"STATIC", L"video", WS_OVERLAPPEDWINDOW | WS_CHILD, 9999, 9999, 0, 0, main_,
                                  nullptr, nullptr, nullptr);
        // The time bar and the picture area beneath it, siblings of the renderer's window.
        bar_ =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr, nullptr, nullptr);
        area_ =
            CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window_, nullptr, nullptr, nullptr);
    }
    ~MirroredWindow() { DestroyWindow(main_); }
    MirroredWindow(const MirroredWindow&) = delete;
    MirroredWindow& operator=(const MirroredWindow&) = delete;

    HWND Handle() const { return window_; }
    void Show(bool visible) { ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE); }

    // Play assigns the picture's width and then its height; a file without a picture keeps the
    // previous size. Each change places the renderer below the 22-pixel bar, reaching the bar's
    // height past the bottom, and Play places it twice more afterwards.
    void FollowPicture(BareGraph& graph) {
        (void)graph.VideoSize(videoWidth_, videoHeight_);
        Propose(graph, videoWidth_, Outer().bottom);
        Propose(graph, Outer().right, videoHeight_);
        PlaceVideo(graph);
        PlaceVideo(graph);
    }

private:
    // The outer size as right and bottom of a rectangle at 0, 0.
    RECT Outer() const {
        RECT r = {};
        GetWindowRect(window_, &r);
        return {0, 0, r.right - r.left, r.bottom - r.top};
    }

    void Propose(BareGraph& graph, long width, long height) {
        const RECT outer = Outer();
        if (width == outer.right && height == outer.bottom)
            return;  // assigning the size a window has does nothing
        AspectMarks marks;
        marks.keep = true;  // the menu's first aspect item, marked when the window is made
        auto newWidth = static_cast<int32_t>(width);
        auto newHeight = static_cast<int32_t>(height);
        ApplyResizeRule(marks, videoWidth_, videoHeight_, newWidth, newHeight);
        SetWindowPos(window_, nullptr, 0, 0, newWidth, newHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        const RECT client = Client();
        MoveWindow(bar_, 0, 0, client.right, kBar, TRUE);
        MoveWindow(area_, 0, kBar, client.right, client.bottom > kBar ? client.bottom - kBar : 0, TRUE);
        PlaceVideo(graph);
    }

    RECT Client() const {
        RECT r = {};
        GetClientRect(window_, &r);
        return r;
    }

    void PlaceVideo(BareGraph& graph) const {
        const RECT client = Client();
        graph.PlaceVideo(0, kBar, client.right, client.bottom);
    }

    static constexpr long kBar = 22;
    HWND main_ = nullptr;
    HWND window_ = nullptr;
    HWND bar_ = nullptr;
    HWND area_ = nullptr;
    long videoWidth_ = 0;
    long videoHeight_ = 0;
};

bool MirroredCycle(const std::string& file, MirroredWindow& window) {
    window.Show(true);
    BareGraph graph;
    const bool opened = graph.Open(file);
    if (opened)
        graph.PlaceLikeThePlugIn(window.Handle());
    const bool ok = opened && graph.Run();
    window.FollowPicture(graph);
    PluginHost::Pump();
    (void)graph.PositionMs();
    graph.Close();
    window.Show(false);
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
    // One file that does not open belongs in the warm-up too: the plug-in's first error box brings
    // the window system's dialog resources into the process once, and a file that fails to open
    // now and then (Wine's RenderFile does, under load) must not count them as kept.
    // Named for this process: scripts/bench runs three endurance processes on the same files.
    const std::string unplayable = wav + "." + std::to_string(GetCurrentProcessId()) + ".unplayable.oma";
    if (WriteBytes(unplayable, std::string(4096, 'x'))) {  // bytes that no filter takes for media
        (void)cycle(unplayable);
        DeleteFileA(unplayable.c_str());
    }
    for (int i = 0; i < warmUp; ++i)
        (void)cycle(i % 2 ? avi : wav);
    PluginHost::PumpFor(kSettleMs);
    run.before = ReadProcessCounters();
    for (int i = 0; i < wavCycles; ++i)
        run.failures += cycle(wav) ? 0 : 1;
    PluginHost::PumpFor(kSettleMs);
    run.middle = ReadProcessCounters();
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
    MirroredWindow window;
    return Measure([&](const std::string& f) { return MirroredCycle(f, window); }, wav, avi, wavCycles, aviCycles,
                   warmUp);
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
