#include "scenes/sieni.h"

#include <cmath>

#include "engine/qor.h"
#include "math/convert.h"

SieniFieldScene SieniScene;

int SieniFieldScene::Prepare() {
    mesh = LoadMesh("sieni.a3f");
    LoadTexture("sieni.jpg", 1);
    return 0;
}

int SieniFieldScene::Render(float localTime) {
    const double t = localTime;
    // The eye moves out from the origin to (200, 300, 100) over five seconds.
    const double b = localTime > 5.0f ? 1.0 : 1.0 - (5.0f - t) * 0.2f;
    CamPoint(float(b * 200.0), float(b * 300.0), float(b * 100.0));
    CamLookAt(0.0f, 0.0f, 0.0f);
    SetTexture("sieni.jpg");
    // Grey falls by about 17 a second, 255 at 0; not clamped here.
    const int grey = TruncToInt((15.0f - t) * 0.06666667f * 255.0f);
    const uint32_t color = ARGB(0, grey, grey, grey);
    PointLight(0, float(std::sin(t) * 100.0), 0.0f, 0.0f, 10000.0f, color);
    EnableLight(0, 1);
    UseLighting(1);
    // Twenty copies scattered over x -280..280, z -250..250.
    int p = 0, q = 0;
    do {
        Translate(float(std::sin(double(p)) * 280.0), 0.0f, float(std::cos(double(q)) * 250.0), 1);
        Rotate(localTime, 0.0f, 0.0f, 0);
        RenderMesh(mesh);
        q += 5;
        p += 3;
    } while (q < 100);
    return 0;
}
