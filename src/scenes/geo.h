// The geo swarm: 95 nested copies of "geo.a3f" sharing one rotation and one
// offset, the smallest opaque with "geo.jpg", the others blended with "valo.png".
#pragma once

#include "engine/records.h"

class GeoSwarmScene {
public:
    int Prepare();                 // loads, and maps object 0 cylindrically
    int Render(float localTime);   // nothing drawn from local time 51 on

    static constexpr int kCopies = 95;

    MeshHandle mesh;
};

extern GeoSwarmScene GeoScene;
