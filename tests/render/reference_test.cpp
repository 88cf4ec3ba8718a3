// A plain scalar rasterizer written from the engine's rules (pixel centres at
// +0.5, corners on a 1/16 pixel grid, top-left fill, colours and texture
// coordinates linear across the triangle, texture x vertex colour, replace or
// saturating additive blend, the alpha channel weighing an additive source,
// less-or-equal depth test with write), checked against both fast paths on
// random screen triangles and states. Coverage and depth decisions must match
// exactly; colours within 3 of 255 (the fast paths round each draw on its
// own, and a texel edge may fall either way).
#include <algorithm>
#include <cmath>
#include <random>

#include "support.h"

namespace teqtest {
namespace {

constexpr int kW = 64, kH = 48, kTex = 16;

struct Ref {
    std::vector<uint32_t> color;
    std::vector<float> depth;
    int width = kW, height = kH;
};

// A smooth picture: neighbouring texels differ by at most 2, so a texel
// chosen one off where u or v falls on a texel edge changes a pixel by little.
uint32_t Texel(int x, int y) {
    const uint32_t r = 120 + 2 * x, g = 100 + 2 * y, b = 170 - (x + y), a = 250 - 2 * y;
    return a << 24 | r << 16 | g << 8 | b;
}

uint32_t Channel(uint32_t c, int shift) { return c >> shift & 0xFF; }

// The texel colour at (u, v): nearest, or the bilinear blend of four, repeating.
void Sample(double u, double v, bool bilinear, double out[4]) {
    auto at = [](int x, int y) { return Texel(((x % kTex) + kTex) % kTex, ((y % kTex) + kTex) % kTex); };
    const double tx = u * kTex, ty = v * kTex;
    if (!bilinear) {
        const uint32_t c = at(int(std::floor(tx)), int(std::floor(ty)));
        for (int k = 0; k < 4; ++k) out[k] = Channel(c, 24 - 8 * k);
        return;
    }
    const double fx = tx - 0.5, fy = ty - 0.5;
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const double wx = fx - x0, wy = fy - y0;
    for (int k = 0; k < 4; ++k) {
        const int s = 24 - 8 * k;
        out[k] = (1 - wy) * ((1 - wx) * Channel(at(x0, y0), s) + wx * Channel(at(x0 + 1, y0), s)) +
                 wy * ((1 - wx) * Channel(at(x0, y0 + 1), s) + wx * Channel(at(x0 + 1, y0 + 1), s));
    }
}

struct States {
    bool depth, blend, alpha, bilinear;
};

// Draws one triangle into the reference buffers.
void ReferenceTriangle(Ref& ref, const ScreenVertex v[3], const States& st) {
    int64_t x[3], y[3];
    for (int i = 0; i < 3; ++i) x[i] = std::lrint(v[i].x * 16.0f), y[i] = std::lrint(v[i].y * 16.0f);
    int64_t area = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
    int o[3] = {0, 1, 2};
    if (area < 0) std::swap(o[1], o[2]), area = -area;
    if (area == 0) return;
    for (int py = 0; py < ref.height; ++py)
        for (int px = 0; px < ref.width; ++px) {
            const int64_t cx = px * 16 + 8, cy = py * 16 + 8;
            double bary[3];
            bool inside = true;
            for (int e = 0; e < 3 && inside; ++e) {
                const int i = o[e], j = o[(e + 1) % 3];
                const int64_t dx = x[j] - x[i], dy = y[j] - y[i];
                const int64_t f = dx * (cy - y[i]) - dy * (cx - x[i]);
                const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
                inside = f > 0 || (f == 0 && topLeft);
                bary[o[(e + 2) % 3]] = double(f) / double(area);
            }
            if (!inside) continue;
            auto lerp = [&](auto field) {
                return bary[0] * double(field(v[0])) + bary[1] * double(field(v[1])) + bary[2] * double(field(v[2]));
            };
            const size_t at = size_t(py) * ref.width + px;
            const double z = lerp([](const ScreenVertex& s) { return s.z; });
            if (st.depth) {
                if (!(float(z) <= ref.depth[at])) continue;
                ref.depth[at] = float(z);
            }
            double tex[4];
            Sample(lerp([](const ScreenVertex& s) { return s.u; }), lerp([](const ScreenVertex& s) { return s.v; }),
                   st.bilinear, tex);
            uint32_t out = 0;
            for (int k = 1; k < 4; ++k) {
                const int s = 24 - 8 * k;
                const double vert = lerp([&](const ScreenVertex& sv) { return double(Channel(sv.color, s)); });
                double c = tex[k] * vert / 255.0;
                if (st.blend) {
                    if (st.alpha) c = c * tex[0] / 255.0;
                    c += Channel(ref.color[at], s);
                }
                out |= uint32_t(std::clamp(std::lround(c), 0l, 255l)) << s;
            }
            ref.color[at] = out;
        }
}

TEST(ReferenceRasterizer, FastPathsMatchThePlainRulesOnRandomTriangles) {
    std::vector<uint32_t> picture(kTex * kTex);
    for (int y = 0; y < kTex; ++y)
        for (int x = 0; x < kTex; ++x) picture[size_t(y) * kTex + x] = Texel(x, y);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> px(-8.0f, kW + 8.0f), py(-8.0f, kH + 8.0f), unit(0.0f, 1.0f);
    std::uniform_int_distribution<uint32_t> byte(0, 255), coin(0, 1);
    for (const Raster& raster : Rasters()) {
        int far = 0, covered = 0, trials = 0;
        for (int trial = 0; trial < 300; ++trial) {
            const States st{coin(rng) == 1, coin(rng) == 1, coin(rng) == 1, coin(rng) == 1};
            Fresh(raster, kW, kH);
            qor::render::AddTexture("smooth", picture.data(), kTex, kTex);
            SetTexture("smooth");
            UseZBuffer(st.depth);
            UseAlphaBlend(st.blend);
            UseAlphaChannel(st.alpha);
            UseFilters(st.bilinear);
            Ref ref{std::vector<uint32_t>(kW * kH, 0), std::vector<float>(kW * kH, 1.0f)};
            // Two overlapping triangles: the second is tested against the first's depth.
            for (int n = 0; n < 2; ++n) {
                ScreenVertex v[3];
                for (ScreenVertex& s : v)
                    s = SV(px(rng), py(rng), byte(rng) << 16 | byte(rng) << 8 | byte(rng), unit(rng), unit(rng),
                           0.05f + 0.9f * unit(rng));
                RenderSV(v, 1, 0);
                ReferenceTriangle(ref, v, st);
            }
            EndScene();
            const std::vector<uint32_t> got = Pixels();
            ++trials;
            for (size_t i = 0; i < got.size(); ++i) {
                covered += ref.color[i] != 0;
                for (int s = 0; s < 24; s += 8) {
                    const int d = std::abs(int(Channel(got[i], s)) - int(Channel(ref.color[i], s)));
                    if (d > 3) {
                        if (far < 5)
                            ADD_FAILURE() << RasterName({raster, 0}) << " trial " << trial << " pixel " << i % kW << ","
                                          << i / kW << ": got " << std::hex << got[i] << " expected " << ref.color[i]
                                          << std::dec << " (depth " << st.depth << " blend " << st.blend << " alpha "
                                          << st.alpha << " bilinear " << st.bilinear << ")";
                        ++far;
                        break;
                    }
                }
            }
        }
        EXPECT_EQ(far, 0) << "pixels off by more than 3";
        EXPECT_GT(covered, trials * 200);
    }
}

// At resolution N the engine draws the demo's coordinates times N into a
// frame N times larger: the plain rules at that size, with the corners
// multiplied by N, must give the same coverage and colours.
TEST(ReferenceRasterizer, ResolutionNMatchesThePlainRulesAtNTimesTheSize) {
    std::vector<uint32_t> picture(kTex * kTex);
    for (int y = 0; y < kTex; ++y)
        for (int x = 0; x < kTex; ++x) picture[size_t(y) * kTex + x] = Texel(x, y);
    constexpr int kSmallW = 24, kSmallH = 18;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> px(-4.0f, kSmallW + 4.0f), py(-4.0f, kSmallH + 4.0f), unit(0.0f, 1.0f);
    std::uniform_int_distribution<uint32_t> byte(0, 255), coin(0, 1);
    for (const Raster& raster : Rasters())
        for (int n : {2, 3, 5}) {
            int far = 0, covered = 0;
            for (int trial = 0; trial < 40; ++trial) {
                const States st{coin(rng) == 1, coin(rng) == 1, coin(rng) == 1, coin(rng) == 1};
                qor::render::SetResolution(n);
                Fresh(raster, kSmallW, kSmallH);
                qor::render::AddTexture("smooth", picture.data(), kTex, kTex);
                SetTexture("smooth");
                UseZBuffer(st.depth);
                UseAlphaBlend(st.blend);
                UseAlphaChannel(st.alpha);
                UseFilters(st.bilinear);
                Ref ref{std::vector<uint32_t>(size_t(kSmallW * n) * kSmallH * n, 0),
                        std::vector<float>(size_t(kSmallW * n) * kSmallH * n, 1.0f), kSmallW * n, kSmallH * n};
                for (int k = 0; k < 2; ++k) {
                    ScreenVertex v[3], big[3];
                    for (int i = 0; i < 3; ++i) {
                        v[i] = SV(px(rng), py(rng), byte(rng) << 16 | byte(rng) << 8 | byte(rng), unit(rng), unit(rng),
                                  0.05f + 0.9f * unit(rng));
                        big[i] = v[i];
                        big[i].x = v[i].x * float(n), big[i].y = v[i].y * float(n);
                    }
                    RenderSV(v, 1, 0);
                    ReferenceTriangle(ref, big, st);
                }
                EndScene();
                const std::vector<uint32_t> got = Pixels();
                ASSERT_EQ(got.size(), ref.color.size());
                for (size_t i = 0; i < got.size(); ++i) {
                    covered += ref.color[i] != 0;
                    for (int s = 0; s < 24; s += 8)
                        if (std::abs(int(Channel(got[i], s)) - int(Channel(ref.color[i], s))) > 3) {
                            if (far++ < 5)
                                ADD_FAILURE() << RasterName({raster, 0}) << " n " << n << " trial " << trial
                                              << " pixel " << i % ref.width << "," << i / ref.width << ": got "
                                              << std::hex << got[i] << " expected " << ref.color[i];
                            break;
                        }
                }
            }
            EXPECT_EQ(far, 0) << "pixels off by more than 3 at n = " << n;
            EXPECT_GT(covered, 40 * 25 * n * n) << "n = " << n;
        }
    qor::render::SetResolution(1);
}

}   // namespace
}   // namespace teqtest
