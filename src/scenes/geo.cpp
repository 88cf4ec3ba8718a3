#include "scenes/geo.h"

#include <cmath>

#include "engine/qor.h"

GeoSwarmScene GeoScene;

int GeoSwarmScene::Prepare() {
    mesh = LoadMesh("geo.a3f");
    LoadTexture("valo.png", 1);
    LoadTexture("geo.jpg", 1);
    // Cylindrical mapping about y: u one repeat per 100 units of height, v the
    // angle from +z (0) to -z (1). A missing mesh has no object 0 to map.
    if (mesh.objectCount > 0) {
        for (int k = 0; k < mesh.objects[0].vertexCount; k++) {
            MeshVertex& p = mesh.objects[0].vertices[k];
            p.u = float(p.y * 0.01);   // 0.01 at double precision: y = 5 gives 0.05 exactly
            p.v = float(std::fabs(std::atan2(double(p.x), double(p.z))) * 0.31830987732601135);
            p.color = ARGB(128, 100, 100, 100);
        }
    }
    return 0;
}

int GeoSwarmScene::Render(float localTime) {
    const double lt = localTime;
    SetTexture("grid1.png");
    UseZBuffer(0);
    UseAlphaBlend(0);
    if (localTime >= 51.0f) return 0;
    CamPoint(60.0f, 0.0f, 0.0f);
    CamLookAt(0.0f, 0.0f, 0.0f);
    UseFilters(0);
    SetTexture("geo.jpg");

    const float a = float(lt * 0.90909088f + 162.0f);   // about 1.0933 * a below
    const float b = float((lt * 0.90909088f + 162.0f) * 1.26f - double(a) * 0.16666667f);
    const float ox = float(std::sin(lt) * 15.0);
    const float oy = float(std::cos(lt * 0.8333333f) * 15.0);
    const float oz = float(std::sin(lt * 0.33333334f) * 15.0);

    for (int i = 0; i < kCopies; i++) {
        Rotate(a * 0.5f, b, a, 1);
        const float s = float(i * double(0.006666667f) + 0.3f);   // 0.3 .. 0.92666668
        Scale(s, s, s, 0);
        Translate(ox, oy, oz, 0);
        if (localTime > 50.0f) Translate(0.0f, 0.0f, float((lt - 50.0) * 130.0), 0);
        RenderMesh(mesh);
        if (i == 0) {
            UseAlphaBlend(1);
            UseFilters(1);
            SetTexture("valo.png");
        }
    }
    UseAlphaBlend(0);
    UseZBuffer(1);
    return 0;
}
