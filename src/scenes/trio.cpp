#include "scenes/trio.h"

#include <cmath>

#include "engine/qor.h"

TrioViewScene TrioScene;

int TrioViewScene::Prepare() {
    LoadTexture("02.jpg", 1);
    LoadTexture("04.jpg", 1);
    LoadTexture("05.jpg", 1);
    mesh = LoadMesh("scene1.a3f");
    return 0;
}

int TrioViewScene::Render(float localTime) {
    const double x = localTime;
    CamPoint(50.0f, 50.0f, 0.0f);
    CamLookAt(0.0f, 50.0f, 0.0f);                               // straight along -x at height 50
    Translate(float(std::sin(x * 0.25f) * 35.0),                // -35..35
              float(std::cos(x * 0.33333334f) * 15.0 - 30.0),   // -45..-15
              float(std::sin(x * 0.5f) * 15.0),                 // -15..15
              1);
    Rotate(localTime, localTime, localTime, 0);
    Scale(1.5f, 1.5f, 1.5f, 0);
    UseZBuffer(1);
    UseAlphaBlend(1);
    // A short or missing mesh draws only the objects it has.
    static const char* const textures[3] = {"05.jpg", "04.jpg", "02.jpg"};
    for (uint32_t i = 0; i < 3; i++) {
        SetTexture(textures[i]);
        if (i < mesh.objectCount) RenderObject(mesh.objects[i]);
    }
    UseAlphaBlend(0);
    return 0;
}
