// The flat pictures drawn in screen space: the background under the opening
// scene and the four overlays. Each selects its texture and states and draws
// one ScreenQuad with RenderSV(quad, 2, 1).
#pragma once

#include "engine/records.h"
#include "timeline/timeline.h"

// The music-lit overlays' grey: the music level times this (unclamped).
inline constexpr double kLevelGrey = 500.0;

// The credits: drawn with a random start grey of kCreditsGreyLow up to
// kCreditsGreyLow + kCreditsGreySpread - 1, scaled by this fade (1 at
// kCreditsStart, 0 ten seconds later; not clamped).
inline constexpr int kCreditsGreyLow = 168;
inline constexpr int kCreditsGreySpread = 32;
inline double CreditsFade(double t) { return 1.0 - (t - kCreditsStart) * 0.1f; }

// Fills a quad over (x0, y0)-(x1, y1), texture stretched once, upright.
void FillQuad(ScreenQuad& quad, float x0, float y0, float x1, float y1, uint32_t color);

void DrawBackground(ScreenQuad& quad);          // "grid1.png", grey 128, whole display
void DrawOverlays(ScreenQuad& quad, float t);   // at most one of the four per frame
