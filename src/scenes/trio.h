// The trio scene: objects 0, 1, 2 of "scene1.a3f", each with its own texture,
// drifting and tumbling before a fixed camera. Called three times per frame by
// the split screen, each call complete in itself.
#pragma once

#include "engine/records.h"

class TrioViewScene {
public:
    int Prepare();
    int Render(float localTime);

    MeshHandle mesh;
};

extern TrioViewScene TrioScene;
