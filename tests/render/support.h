// Helpers for the renderer tests: a small display, pictures made in code, and
// pixel access. Every rendering test runs on both rasterizers (portable, one
// thread; AVX2 where the CPU has it, two threads).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/qor.h"
#include "render/render.h"

namespace teqtest {

struct Raster {
    bool simd;
    int threads;
};

inline std::string RasterName(const testing::TestParamInfo<Raster>& info) {
    return std::string(info.param.simd ? "Avx2" : "Portable") + std::to_string(info.param.threads);
}

inline const std::vector<Raster>& Rasters() {
    static const std::vector<Raster> r = {{false, 1}, {true, 2}};
    return r;
}

// A display of w x h with every state initial, cleared to black.
inline void Fresh(const Raster& r, int w, int h) {
    qor::render::Init(w, h);
    qor::render::UseThreads(r.threads, r.simd);
    ClearBackBuffer(0, 0, 0);
    ClearZBuffer();
}

inline uint32_t Pixel(int x, int y) { return qor::render::Frame()[size_t(y) * qor::render::Width() + x] & 0xFFFFFFu; }

inline std::vector<uint32_t> Pixels() {
    const uint32_t* f = qor::render::Frame();
    std::vector<uint32_t> out(f, f + size_t(qor::render::Width()) * qor::render::Height());
    for (uint32_t& p : out) p &= 0xFFFFFFu;
    return out;
}

inline void SolidTexture(const char* name, uint32_t argb) { qor::render::AddTexture(name, &argb, 1, 1); }

// Additive drawing of a plain white picture without depth test: every draw
// adds its vertex colour, so overlaps and gaps show in the pixel values.
inline void AdditiveWhite() {
    UseZBuffer(0);
    UseAlphaBlend(1);
    UseAlphaChannel(0);
    SolidTexture("white", 0xFFFFFFFFu);
    SetTexture("white");
}

inline ScreenVertex SV(float x, float y, uint32_t c, float u = 0, float v = 0, float z = 1) {
    return ScreenVertex{x, y, z, 1.0f, c, u, v};
}

// A rectangle as the demo draws pictures: a strip of four corners.
inline void Rect(float x0, float y0, float x1, float y1, uint32_t c, float z = 1) {
    const ScreenVertex q[4] = {SV(x0, y0, c, 0, 0, z), SV(x1, y0, c, 1, 0, z), SV(x0, y1, c, 0, 1, z),
                               SV(x1, y1, c, 1, 1, z)};
    RenderSV(q, 2, 1);
}

}   // namespace teqtest
