// Renderer benchmarks: the frames that cost most in the demo, built from
// synthetic pictures and meshes of the same size. Counters: pixels or
// triangles per second, and frames per second where a case is one frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/a3f.h"
#include "assets/datadir.h"
#include "engine/qor.h"
#include "render/render.h"

namespace {

constexpr int kW = 320, kH = 240;

// A 256x256 picture with a pattern and an alpha ramp.
std::vector<uint32_t> Pattern(int size) {
    std::vector<uint32_t> p(size_t(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            p[size_t(y) * size + x] =
                uint32_t((x ^ y) & 0xFF) << 24 | uint32_t(x) << 16 | uint32_t(y) << 8 | uint32_t((x * y) & 0xFF);
    return p;
}

// A sphere of radius r, stacks x slices quads, faceted (three vertices a
// triangle), front faces clockwise seen from outside.
qor::A3fObject Sphere(float r, int stacks, int slices) {
    qor::A3fObject o;
    auto at = [&](int i, int j) {
        const float th = float(M_PI) * i / stacks, ph = 2.0f * float(M_PI) * j / slices;
        const float nx = std::sin(th) * std::cos(ph), ny = std::cos(th), nz = std::sin(th) * std::sin(ph);
        return MeshVertex{r * nx, r * ny, r * nz, nx, ny, nz, 0xFFFFFFFFu, float(j) / slices, float(i) / stacks};
    };
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const MeshVertex a = at(i, j), b = at(i, j + 1), c = at(i + 1, j), d = at(i + 1, j + 1);
            if (i > 0) o.vertices.insert(o.vertices.end(), {a, b, c});
            if (i + 1 < stacks) o.vertices.insert(o.vertices.end(), {b, d, c});
        }
    return o;
}

std::string gDir;

void Setup() {
    static bool done = false;
    if (done) return;
    done = true;
    gDir = (std::filesystem::temp_directory_path() / "teq-bench").string();
    std::filesystem::create_directories(gDir);
    qor::SetDataDir(gDir);
    qor::render::Init(kW, kH);
    const std::vector<uint32_t> p = Pattern(256);
    qor::render::AddTexture("pattern", p.data(), 256, 256);
    std::string error;
    qor::A3fMesh geo;
    geo.objects.push_back(Sphere(50.0f, 21, 24));   // 960 triangles
    qor::WriteA3fFile(gDir + "/geo.a3f", geo, error);
    qor::A3fMesh big;
    big.objects.push_back(Sphere(60.0f, 101, 50));   // 10,000 triangles
    qor::WriteA3fFile(gDir + "/big.a3f", big, error);
}

void ResetStates() {
    UseZBuffer(1), UseAlphaBlend(0), UseEnvMap(0), UseFilters(1), UseAlphaChannel(1);
    SetTextureWrapping(0), UseLighting(0);
    SetViewPort(0, 0, kW, kH);
}

void FullScreenLayer(benchmark::State& state) {
    Setup();
    qor::render::UseThreads(int(state.range(0)), state.range(1) != 0);
    ResetStates();
    UseZBuffer(0), UseAlphaBlend(1);
    SetTexture("pattern");
    const uint32_t c = 0x00404040u;
    const ScreenVertex quad[4] = {{0, 0, 1, 1, c, 0.1f, 0.2f},
                                  {320, 0, 1, 1, c, 1.3f, 0.2f},
                                  {0, 240, 1, 1, c, 0.1f, 1.1f},
                                  {320, 240, 1, 1, c, 1.3f, 1.1f}};
    constexpr int kLayers = 16;
    for (auto _ : state) {
        for (int i = 0; i < kLayers; ++i) RenderSV(quad, 2, 1);
        EndScene();
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(state.iterations()) * kLayers * kW * kH / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(FullScreenLayer)
    ->ArgNames({"threads", "simd"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void ScreenGrid(benchmark::State& state) {
    Setup();
    qor::render::UseThreads(int(state.range(0)), state.range(1) != 0);
    ResetStates();
    UseZBuffer(0), UseAlphaBlend(1), UseAlphaChannel(0);
    SetTexture("pattern");
    std::vector<ScreenVertex> grid;
    for (int n = 0; n < 32; ++n)
        for (int m = 0; m < 24; ++m) {
            const float x0 = 10.0f * n, y0 = 10.0f * m, x1 = x0 + 10, y1 = y0 + 10;
            auto v = [](float x, float y) {
                const uint32_t j = uint32_t(128 + 127 * std::sin(x * 0.03f + y * 0.05f));
                return ScreenVertex{x, y, 1, 1, j * 0x01010101u, x * 0.013f - 40.0f, y * 0.004f};
            };
            grid.insert(grid.end(), {v(x0, y0), v(x1, y0), v(x0, y1), v(x0, y1), v(x1, y0), v(x1, y1)});
        }
    for (auto _ : state) {
        ClearBackBuffer(0, 0, 0);
        RenderSV(grid.data(), 1536, 0);
        EndScene();
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(ScreenGrid)
    ->ArgNames({"threads", "simd"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void LitMesh(benchmark::State& state) {
    Setup();
    qor::render::UseThreads(int(state.range(0)), state.range(1) != 0);
    ResetStates();
    static MeshHandle mesh = LoadMesh("big.a3f");
    SetTexture("pattern");
    CamPoint(0, 50, -200);
    CamLookAt(0, 0, 0);
    PointLight(0, 100, 100, -100, 1000, 0x00FFFFFFu);
    EnableLight(0, 1);
    UseLighting(1);
    float a = 0;
    for (auto _ : state) {
        ClearBackBuffer(0, 0, 0);
        ClearZBuffer();
        Rotate(a, a * 0.5f, 0, 1);
        RenderMesh(mesh);
        EndScene();
        a += 0.01f;
    }
    UseLighting(0);
    state.counters["Mtri/s"] =
        benchmark::Counter(double(state.iterations()) * 10000 / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(LitMesh)
    ->ArgNames({"threads", "simd"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The geo swarm: 95 nested copies of a 960-triangle shell around a camera 60
// units away, the first opaque, the rest additive through the texture's alpha.
void Swarm(benchmark::State& state) {
    Setup();
    qor::render::UseThreads(int(state.range(0)), state.range(1) != 0);
    ResetStates();
    static MeshHandle mesh = LoadMesh("geo.a3f");
    float lt = 10;
    for (auto _ : state) {
        ClearBackBuffer(0, 0, 0);
        ClearZBuffer();
        UseZBuffer(0);
        UseAlphaBlend(0);
        CamPoint(60, 0, 0);
        CamLookAt(0, 0, 0);
        UseFilters(0);
        SetTexture("pattern");
        const float A = lt * 0.90909088f + 162.0f, B = A * 1.0933f;
        for (int i = 0; i < 95; ++i) {
            Rotate(A * 0.5f, B, A, 1);
            const float s = float(i) * 0.006666667f + 0.3f;
            Scale(s, s, s, 0);
            Translate(std::sin(lt) * 15, std::cos(lt * 0.8333333f) * 15, std::sin(lt * 0.33333334f) * 15, 0);
            RenderMesh(mesh);
            if (i == 0) UseAlphaBlend(1), UseFilters(1);
        }
        EndScene();
        lt += 0.0167f;
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(Swarm)
    ->ArgNames({"threads", "simd"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}   // namespace

BENCHMARK_MAIN();
