// Overlay brightness: the music level (x kLevelGrey, unclamped), a random
// flicker of 128..255 from the demo's own generator, or a flicker that fades out.
#include "timeline/pictures.h"

#include "engine/qor.h"
#include "math/convert.h"
#include "math/random.h"
#include "timeline/timeline.h"

namespace {

int LevelGrey() { return TruncToInt(GetSoundLevel() * kLevelGrey); }

int FlickerGrey() { return Random() % 128 + 128; }

// 168..199 at 100.2, falling linearly to 0 at 110.2.
int FadingGrey(float t) {
    const int start = Random() % kCreditsGreySpread + kCreditsGreyLow;
    return TruncToInt(start * CreditsFade(double(t)));
}

// 256 x 240, 50 pixels from the left edge and 14 from the right.
void DrawOverlay(ScreenQuad& quad, const char* texture, int grey) {
    FillQuad(quad, 50.0f, 0.0f, 306.0f, 240.0f, ARGB(0, grey, grey, grey));
    SetTexture(texture);
    UseZBuffer(0);
    UseAlphaBlend(1);
    UseEnvMap(0);
    RenderSV(quad, 2, 1);
}

}   // namespace

void FillQuad(ScreenQuad& quad, float x0, float y0, float x1, float y1, uint32_t color) {
    const float corners[4][4] = {
        {x0, y0, 0.0f, 0.0f}, {x1, y0, 1.0f, 0.0f}, {x0, y1, 0.0f, 1.0f}, {x1, y1, 1.0f, 1.0f}};
    for (int k = 0; k < 4; k++) {
        quad[k] = ScreenVertex{corners[k][0], corners[k][1], 1.0f, 1.0f, color, corners[k][2], corners[k][3]};
    }
}

void DrawBackground(ScreenQuad& quad) {
    FillQuad(quad, 0.0f, 0.0f, 320.0f, 240.0f, ARGB(0, 128, 128, 128));
    SetTexture("grid1.png");
    UseZBuffer(0);
    UseAlphaBlend(1);   // environment mapping stays as it is
    RenderSV(quad, 2, 1);
}

void DrawOverlays(ScreenQuad& quad, float t) {
    if (t < kOpeningOverlayEnd || (kIwishFlickerStart < t && t < kSkaterFlickerStart)) {
        DrawOverlay(quad, "iwish.png", t <= kIwishFlickerStart ? LevelGrey() : FlickerGrey());
    }
    if ((kGridStart < t && t < kSkaterEnd) || (kSkaterFlickerStart < t && t < kTunnelStart)) {
        DrawOverlay(quad, "skater.png", t <= kSkaterFlickerStart ? LevelGrey() : FlickerGrey());
    }
    if (kBitchStart < t && t < kLatePairStart) DrawOverlay(quad, "bitch.png", FlickerGrey());
    if (kCreditsStart < t && t < kCreditsEnd) DrawOverlay(quad, "cre.png", FadingGrey(t));
}
