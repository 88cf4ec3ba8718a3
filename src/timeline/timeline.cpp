// The timeline. Window bounds are strict comparisons of t against 32-bit
// float constants; several windows may hold at once and then draw in the order
// below. Render states are never reset here: each draw inherits what the draws
// before it, in this frame or earlier ones, left.
#include "timeline/timeline.h"

#include <cstdio>

#include "engine/qor.h"
#include "scenes/geo.h"
#include "scenes/grid.h"
#include "scenes/sieni.h"
#include "scenes/trio.h"
#include "scenes/tunnel.h"
#include "timeline/pictures.h"

char fpsFormat[64];

namespace {

// The trio scene three times: right half, top-left and bottom-left quarters,
// each with its own time scale; the Z-buffer is shared.
void SplitScreen(float t) {
    const float l = float(double(t) - kSplitStart);
    SetViewPort(160, 0, 160, 240);
    TrioScene.Render(l);
    SetViewPort(0, 0, 160, 120);
    TrioScene.Render(float(l * 0.5));
    SetViewPort(0, 120, 160, 120);
    TrioScene.Render(float(l * double(0.33333334f)));
    SetViewPort(0, 0, 320, 240);
}

}   // namespace

void FrameCallback(float t) {
    ScreenQuad quad;
    ClearBackBuffer(0, 0, 0);
    ClearZBuffer();
    BeginScene();

    if (t < kGridStart) {
        DrawBackground(quad);
        GeoScene.Render(float(double(t) * 1.1f + 21.25f));
    }
    if (kGridStart < t && t < kSplitStart) GridScene.Render(t);
    if (kSplitStart < t && t < kTunnelStart) SplitScreen(t);
    if (t > kTunnelStart) TunnelScene.Render(float(double(t) - kTunnelStart));   // to the end of the run
    if (kCreditsStart < t && t < kSieniStart) GridScene.Render(t);
    if (t > kSieniStart) SieniScene.Render(float(double(t) - kSieniStart));   // to the end of the run

    DrawOverlays(quad, t);

    // This pair comes after the overlays.
    if (kLatePairStart < t && t < kCreditsStart) {
        GridScene.Render(t);
        GeoScene.Render(float(double(t) - kLatePairStart));
    }

    SetViewPort(0, 0, 320, 240);
    char fpsText[256];
    const int fps = GetFPS(t);
    std::snprintf(fpsText, sizeof fpsText, fpsFormat, fps, double(t));
    FontWrite(0, 0, 0.8f, fpsText, "smfont.png", ARGB(100, 100, 100, 100));
    EndScene();
}
