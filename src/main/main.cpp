// Entry point and loading screen: 30 stages, each one frame (the loading
// picture and a row of s progress glyphs in stage s) followed by at most one
// piece of preparation work, on a fixed schedule. Then the engine's main loop.
// Demo() tells the engine what it needs to know of the demo (engine/demo.h).
#include <cmath>
#include <iterator>

#include "engine/demo.h"
#include "engine/qor.h"
#include "engine/win.h"
#include "math/convert.h"
#include "math/random.h"
#include "scenes/geo.h"
#include "scenes/grid.h"
#include "scenes/sieni.h"
#include "scenes/trio.h"
#include "scenes/tunnel.h"
#include "timeline/pictures.h"
#include "timeline/timeline.h"

namespace {

constexpr int kStages = 30;
constexpr const char* kMusic = "distortion.xm";

// Glyph i of the progress row: x = 80 + 5i; y falls from 210 by 0.2 a glyph
// (210, then 209 from i = 1, one less at every multiple of 5); the colour
// runs from red to green.
void DrawProgress(int stage) {
    for (int i = 0; i < stage; i++) {
        const int x = 80 + 5 * i;
        const int y = TruncToInt(210 - double(0.2f) * i);
        const float scale = float(2.0f + double(0.033333335f) * i);
        const int r = TruncToInt(32 * (1 + std::sin(double(0.13333334f) * (i + 10))));
        const int g = TruncToInt(32 * (1 + std::sin(double(0.13333334f) * (i + 32))));
        FontWrite(x, y, scale, "-", "smfont.png", ARGB(0, r, g, 0));
    }
}

void PrepareStage(int stage) {
    switch (stage) {
        case 1:
            GridScene.Prepare();
            break;
        case 5:
            GeoScene.Prepare();
            break;
        case 10:
            LoadTexture("iwish.png", 0);
            break;
        case 15:
            LoadTexture("skater.png", 0);
            break;
        case 18:
            TrioScene.Prepare();
            break;
        case 20:
            TunnelScene.Prepare();
            break;
        case 22:
            LoadTexture("bitch.png", 0);
            break;
        case 25:
            LoadTexture("cre.png", 0);
            break;
        case 28:
            SieniScene.Prepare();
            break;
        default:
            break;
    }
}

}   // namespace

const DemoFacts& Demo() {
    static const DemoFacts facts{kMusic,    kTimelineSeconds, kWindowBounds, int(std::size(kWindowBounds)),
                                 fpsFormat, sizeof fpsFormat, &randomState,  sizeof randomState};
    return facts;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Initialize("teq", kMusic, 320, 240, 1);
    ClearZBuffer();
    CreateNewFont("smfont.png", 10, 12, 256);
    LoadTexture("wormhole.jpg", 0);

    // No render state is set here: the loading screen uses the initial ones.
    for (int stage = 0; stage < kStages; stage++) {
        ClearBackBuffer(0, 0, 0);
        BeginScene();
        SetTexture("wormhole.jpg");
        ScreenQuad quad;
        FillQuad(quad, 0.0f, 0.0f, 320.0f, 240.0f, 0x00FFFFFF);
        RenderSV(quad, 2, 1);
        DrawProgress(stage);
        EndScene();
        PrepareStage(stage);   // while it runs, the screen shows `stage` glyphs
        ShowCursor(FALSE);
        SetFocus(GetForegroundWindow());
    }

    Run(FrameCallback);
    return 0;
}
