// The sieni field: twenty copies of "sieni.a3f" on the plane y = 0, turning
// together under one point light that swings along x and fades to black.
#pragma once

#include "engine/records.h"

class SieniFieldScene {
public:
    int Prepare();
    int Render(float localTime);   // localTime > 0: seconds since 115.5

    MeshHandle mesh;
};

extern SieniFieldScene SieniScene;
