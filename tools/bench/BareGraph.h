// The plainest DirectShow player there is, the yardstick for the plug-in: CoInitialize,
// CoCreateInstance of the filter graph, RenderFile, Run, and positions read with GetPositions.
// Nothing else: no windows of its own, no notifications, no volume.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

class BareGraph {
public:
    BareGraph() = default;
    BareGraph(const BareGraph&) = delete;
    BareGraph& operator=(const BareGraph&) = delete;
    ~BareGraph() { Close(); }

    // Builds the graph for the file (ANSI code page, as the player hands names over).
    bool Open(const std::string& file);
    bool Run();
    // The calls the plug-in's engine makes when it opens a file, for telling Wine's own keeping
    // from ours: notifications, volume, the renderer's window given to the owner and the cue at 0.
    // Close then does what the plug-in's Stop does: cues at 0 again, stops, removes the filters,
    // and hides and unowns the renderer's window before the graph goes.
    void PlaceLikeThePlugIn(HWND owner);
    // The renderer's window at that place in its owner's client area (placed graphs only).
    void PlaceVideo(long left, long top, long width, long height);
    // The picture's size; false for a graph without a picture.
    bool VideoSize(long& width, long& height);
    // Current position in ms, -1 when the graph cannot tell.
    int32_t PositionMs();
    // Stops, lets every interface go and balances CoInitialize.
    void Close();

    IMediaSeeking* Seeking() const { return seeking_.Get(); }

private:
    void Cue();

    Microsoft::WRL::ComPtr<IGraphBuilder> graph_;
    Microsoft::WRL::ComPtr<IMediaControl> control_;
    Microsoft::WRL::ComPtr<IMediaSeeking> seeking_;
    bool comInitialized_ = false;
    bool placed_ = false;
};
