// The traced cylinder: a screen grid whose vertices are ray-cast every frame
// onto the inside wall of a cylinder (radius 600, axis z) wrapped with
// "grid1.png", then the environment-mapped knot ("knot.a3f", "tech.jpg").
#pragma once

#include "engine/records.h"

class TracedGridScene {
public:
    int Prepare();
    int Render(float localTime);   // localTime: the frame time itself

    static constexpr int kColumns = 32, kRows = 24, kCell = 10;
    static constexpr int kVertexCount = kColumns * kRows * 6;   // 4608, a triangle list

    // Cells column by column, top to bottom; six records per cell.
    ScreenVertex grid[kVertexCount];
    MeshHandle knot;   // loaded by the first Render, then reused
    bool knotLoaded;
};

extern TracedGridScene GridScene;
