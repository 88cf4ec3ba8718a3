#include "data.h"

#include "support.h"

// Tunnel objects start with a vertex at z = 0, so its v gives the segment depth.
const std::string& Data() {
    static const std::string dir = WriteDataDir({
        {"knot.a3f", {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}},
        {"geo.a3f",
         {{Vertex(1, 2, 3), Vertex(-4, 5, -6), Vertex(0, 0, 1)},
          {Vertex(1, 2, 3, 0, 0x11223344, 0.5f, 0.25f), Vertex(2, 0, 0), Vertex(0, 2, 0)}}},
        {"scene1.a3f",
         {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)},
          {Vertex(0, 0, 1), Vertex(1, 0, 1), Vertex(0, 1, 1)},
          {Vertex(0, 0, 2), Vertex(1, 0, 2), Vertex(0, 1, 2)},
          {Vertex(0, 0, 3), Vertex(1, 0, 3), Vertex(0, 1, 3)}}},
        {"tunnel.a3f",
         {{Vertex(10, 0, 0), Vertex(0, 20, -25, 1), Vertex(5, 5, -50, 0.5f)},
          {Vertex(0, -20, 0), Vertex(20, 0, -25), Vertex(0, 20, -50)},
          {Vertex(0, 0, 0), Vertex(-20, 0, -25), Vertex(0, -20, -50)}}},
        {"sieni.a3f", {{Vertex(0, 0, 0), Vertex(1, 0, 0), Vertex(0, 1, 0)}}},
    });
    return dir;
}

void EnsurePrepared() {
    static bool done = false;
    if (!done) RunDemo(Data(), {30.0f});   // also loads the knot
    done = true;
}
