// The wall is computed only at the corners of 10x10 pixel cells; the engine
// interpolates texture coordinates and colour across each cell.
#include "scenes/grid.h"

#include <cmath>

#include "engine/qor.h"
#include "math/convert.h"

TracedGridScene GridScene;

int TracedGridScene::Prepare() {
    for (int n = 0; n < kColumns; n++) {
        for (int m = 0; m < kRows; m++) {
            const int x0 = kCell * n, x1 = x0 + kCell;
            const int y0 = kCell * m, y1 = y0 + kCell;
            // Top-left, top-right, bottom-left; bottom-left, top-right, bottom-right.
            const int corners[6][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x0, y1}, {x1, y0}, {x1, y1}};
            ScreenVertex* cell = &grid[(n * kRows + m) * 6];
            for (int k = 0; k < 6; k++) {
                cell[k].x = float(corners[k][0]);
                cell[k].y = float(corners[k][1]);
                cell[k].z = 1.0f;
                cell[k].rhw = 1.0f;
                cell[k].color = 0x00FFFFFF;
            }
        }
    }
    LoadTexture("grid1.png", 1);
    LoadTexture("tech.jpg", 1);
    return 0;
}

int TracedGridScene::Render(float localTime) {
    const double t = localTime;
    const double st = std::sin(t), ct = std::cos(t);
    const float h = float(100.0 * std::sin(t * 0.2f));   // eye x and z, -100..100
    const float scroll = float(t * 0.5f);

    for (ScreenVertex& r : grid) {
        const double dx = (double(r.x) - 160) * 0.0125f;   // -2..2
        const double dy = (double(r.y) - 120) * 0.016666668f;

        // Turn (dx, dy, 1) by t in the y-z, then x-z, then x-y plane.
        const double y1 = dy * ct + st, z1 = ct - dy * st;
        const double x2 = dx * ct + z1 * st, z2 = z1 * ct - dx * st;
        const double x3 = x2 * ct - y1 * st, y3 = y1 * ct + x2 * st;

        const double len = std::sqrt(x3 * x3 + y3 * y3 + z2 * z2);
        const double nx = x3 / len, ny = y3 / len, nz = z2 / len;

        // Line from the eye (h, 480, h) against x^2 + y^2 = 600^2.
        const double qa = nx * nx + ny * ny;
        const double qb = 2 * (h * nx + 480 * ny);
        const double qc = double(h) * h + 230400 - 360000;
        const double q = std::sqrt(qb * qb - 4.0 * qa * qc);
        const double r1 = (q - qb) / (2 * qa);
        const double r2 = (-qb - q) / (2 * qa);
        const double T = r1 >= r2 ? r2 : r1;

        const double hx = h + T * nx;
        const double hy = 480 + T * ny;
        const double hz = h + T * nz;

        const float along = float(hz * 0.2f * 0.01171875f);
        r.u = float(along * 0.16666667f - scroll);
        r.v = float(std::fabs(std::atan2(hy, hx) * 81.4873285954589) * 0.7142857264499277 * 0.01171875f * 0.25f);

        int fade = TruncToInt(350.0 - (h - hz) * 0.11111111f);
        if (fade < 0) fade = 0;
        if (fade > 255) fade = 255;
        r.color = ARGB(fade, fade, fade, fade);
    }

    UseZBuffer(0);
    UseFilters(1);
    SetTexture("grid1.png");
    RenderSV(grid, kVertexCount / 3, 0);
    UseAlphaChannel(0);
    UseZBuffer(1);
    UseFilters(1);
    SetTextureWrapping(0);
    // Loaded once and kept: a fresh copy per frame would only pile up.
    if (!knotLoaded) {
        knot = LoadMesh("knot.a3f");
        knotLoaded = true;
    }
    SetTexture("tech.jpg");
    UseEnvMap(1);
    UseAlphaBlend(1);
    CamPoint(130.0f, 0.0f, 0.0f);
    CamLookAt(float(st * 50.0), float(std::cos(double(scroll)) * 20.0), 0.0f);
    Rotate(localTime, localTime, localTime, 1);
    if (localTime < 100.2f) {
        RenderMesh(knot);
    } else {
        CamPoint(0.0f, 0.1f, 0.0f);
        CamLookAt(0.0f, 0.0f, 0.0f);
    }
    UseEnvMap(0);
    return 0;
}
