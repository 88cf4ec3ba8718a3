// The tunnel flight: every frame, each section copy in view is rebuilt from a
// pristine second copy of "tunnel.a3f" (objects 0..2), moved to its depth,
// bent by a depth-dependent rotation and lit with a sine band, the vertex
// normal and the music level. The camera follows the same bent path.
#pragma once

#include "engine/records.h"

struct TunnelPoint {
    float x, y, z;
};

// The bend of the tunnel's axis: (x, y, z, 1) times the rotation
// EulerToMatrix(cos(z/1000)/3, sin(z/1000)/5, sin(z/250)/2), which depends on z alone.
TunnelPoint TunnelBend(float x, float y, float z);

class TunnelFlightScene {
public:
    int Prepare();
    int Render(float localTime);   // localTime > 0: seconds since 57.8

    static constexpr int kSegmentLength = 50;   // units along -z per copy
    static constexpr int kSegmentsInView = 35;
    static constexpr int kLastSegment = 160;   // segments j < 160 exist

    MeshHandle workMesh;     // rewritten before every draw, and drawn
    MeshHandle sourceMesh;   // read only: the vertices as loaded
};

extern TunnelFlightScene TunnelScene;
