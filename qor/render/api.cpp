// The drawing half of the engine interface: every state, texture, mesh, font,
// camera, transform and light operation of engine/qor.h, and render.h. All
// state lives in one Context; each draw call snapshots what it needs. The
// textures themselves live in the store (textures.cpp).
#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "assets/meshes.h"
#include "engine/qor.h"
#include "render/geometry.h"
#include "render/internal.h"
#include "render/render.h"

namespace qor::render {

// Every state that frames inherit, at its value after Init. One member of the
// context: Init, SaveStates and RestoreStates take it whole.
struct States {
    bool zbuffer = true, blend = false, envMap = false, filters = true, alphaChannel = true, wrapping = false,
         lighting = false;
    int vpX = 0, vpY = 0, vpW = 0, vpH = 0;   // the viewport in the demo's pixels (Init: the whole display)
    float eye[3] = {0, 0, 0};
    float target[3] = {0, 0, 1};
    Mat4 object = Identity();
    Light lights[kMaxLights];
    const Texture* texture = nullptr;   // textures live as long as the process
};

namespace {

struct Font {
    const Texture* texture = nullptr;
    int cellWidth = 0, cellHeight = 0, count = 0;
};

struct Context {
    int width = 0, height = 0;                 // the frame buffer: the demo's size times scale
    int logicalWidth = 0, logicalHeight = 0;   // the size the demo draws in (320x240)
    int scale = 1;                             // --resolution N: 1..kMaxResolution
    std::vector<uint32_t> color;
    std::vector<float> depth;
    bool drawing = true;

    States states;   // what frames inherit; Init puts back the defaults

    Presenter presenter = nullptr;
    void* presenterUser = nullptr;

    std::unordered_map<std::string, Font> fonts;
};

Context gCtx;

constexpr int kSpare = 16;   // words past the end of each buffer for 8-wide loads

// The viewport in frame-buffer pixels: the demo's, times the scale (the
// projection and the scissor follow it).
Viewport CurrentViewport() {
    const Context& c = gCtx;
    const int64_t k = c.scale;
    const auto pixels = [&](int v) { return int(std::clamp<int64_t>(v * k, INT32_MIN / 2, INT32_MAX / 2)); };
    const int x = pixels(c.states.vpX), y = pixels(c.states.vpY), w = pixels(c.states.vpW), h = pixels(c.states.vpH);
    Viewport v{x, y, w, h, 0, 0, 0, 0};
    const int64_t x1 = int64_t(x) + std::max(0, w);
    const int64_t y1 = int64_t(y) + std::max(0, h);
    v.clipX0 = std::clamp(x, 0, c.width);
    v.clipY0 = std::clamp(y, 0, c.height);
    v.clipX1 = int(std::clamp<int64_t>(x1, 0, c.width));
    v.clipY1 = int(std::clamp<int64_t>(y1, 0, c.height));
    return v;
}

uint32_t QueueCurrentState() {
    const Context& c = gCtx;
    DrawState s;
    s.texture = c.states.texture ? c.states.texture : &PlaceholderTexture();
    s.bits = (c.states.zbuffer ? kDepth : 0u) | (c.states.blend ? kBlend : 0u) |
             (c.states.alphaChannel ? kAlphaChannel : 0u) | (c.states.filters ? kBilinear : 0u);
    const Viewport v = CurrentViewport();
    s.clipX0 = v.clipX0, s.clipY0 = v.clipY0, s.clipX1 = v.clipX1, s.clipY1 = v.clipY1;
    return QueueState(s);
}

inline int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}   // namespace

// >> render.h

namespace {
// The largest scale whose frame buffer stays within kMaxFrameSide a side.
int MaxScale(const Context& c) { return std::max(1, kMaxFrameSide / std::max(c.logicalWidth, c.logicalHeight)); }

// Frame buffers of the demo's size times the scale, cleared to black and far.
void Allocate() {
    Context& c = gCtx;
    c.width = std::min(c.logicalWidth * c.scale, kMaxFrameSide);
    c.height = std::min(c.logicalHeight * c.scale, kMaxFrameSide);
    // Release the old buffers first: a smaller scale gives memory back.
    std::vector<uint32_t>().swap(c.color);
    std::vector<float>().swap(c.depth);
    c.color.assign(size_t(c.width) * c.height + kSpare, 0xFF000000u);
    c.depth.assign(size_t(c.width) * c.height + kSpare, 1.0f);
    QueueInit(Target{c.color.data(), c.depth.data(), c.width, c.height});
}
}   // namespace

void Init(int width, int height) {
    Context& c = gCtx;
    if (c.width > 0) QueueDrain();
    c.logicalWidth = std::clamp(width, 1, kMaxFrameSide);
    c.logicalHeight = std::clamp(height, 1, kMaxFrameSide);
    c.scale = std::clamp(c.scale, 1, MaxScale(c));
    Allocate();
    c.drawing = true;
    c.states = States{};
    c.states.vpW = c.logicalWidth, c.states.vpH = c.logicalHeight;
}

void SetResolution(int scale) {
    Context& c = gCtx;
    scale = std::clamp(scale, 1, kMaxResolution);
    if (c.width == 0) {   // before Init: Init allocates
        c.scale = scale;
        return;
    }
    if (scale == c.scale) return;
    QueueDrain();
    c.scale = std::min(scale, MaxScale(c));
    Allocate();
}

int Resolution() { return gCtx.scale; }

DrawingOff::DrawingOff() : was_(gCtx.drawing) { gCtx.drawing = false; }
DrawingOff::~DrawingOff() { gCtx.drawing = was_; }

std::shared_ptr<const States> SaveStates() { return std::make_shared<const States>(gCtx.states); }

void RestoreStates(const States& saved) { gCtx.states = saved; }

namespace {
ScreenColourFilter gScreenColourFilter = nullptr;
}

void SetScreenColourFilter(ScreenColourFilter filter) { gScreenColourFilter = filter; }

void SetPresenter(Presenter presenter, void* user) {
    gCtx.presenter = presenter;
    gCtx.presenterUser = user;
}

const uint32_t* Frame() {
    QueueDrain();
    return gCtx.color.data();
}
int Width() { return gCtx.width; }
int Height() { return gCtx.height; }

void UseThreads(int threads, bool simd) { QueueConfigure(simd, threads); }
int Threads() { return QueueThreads(); }

}   // namespace qor::render

using namespace qor::render;

// >> frame

void ClearBackBuffer(int r, int g, int b) {
    if (!gCtx.drawing || gCtx.width == 0) return;
    const uint32_t argb =
        0xFF000000u | uint32_t(Clamp255(r)) << 16 | uint32_t(Clamp255(g)) << 8 | uint32_t(Clamp255(b));
    ClearRows(gCtx.height, true, argb, false);
    QueuePublish();
}

void ClearZBuffer() {
    if (!gCtx.drawing || gCtx.width == 0) return;
    ClearRows(gCtx.height, false, 0, true);
    QueuePublish();
}

void BeginScene() {}

void EndScene() {
    Context& c = gCtx;
    if (c.width == 0) return;
    QueueDrain();
    qor::StartMeshFrame();
    if (c.presenter && c.drawing) c.presenter(c.color.data(), c.width, c.height, c.presenterUser);
}

void SetViewPort(int x, int y, int width, int height) {
    gCtx.states.vpX = x, gCtx.states.vpY = y, gCtx.states.vpW = width, gCtx.states.vpH = height;
}

// >> textures

void LoadTexture(const char* file, int flag) {
    (void)flag;   // 3D textures and screen pictures are sampled alike
    if (file) LoadIntoStore(file);
}

void SetTexture(const char* file) {
    Context& c = gCtx;
    if (!file) {
        c.states.texture = nullptr;
        return;
    }
    c.states.texture = FindTexture(file);
}

// >> meshes

MeshHandle LoadMesh(const char* file) {
    if (!file) return MeshHandle{nullptr, 0};
    return qor::LoadMeshCopy(file);
}

void RenderObject(MeshObject object) {
    Context& c = gCtx;
    if (!c.drawing || c.width == 0 || !object.vertices || object.vertexCount <= 0) return;
    const qor::TriangleList list = qor::MeshTrianglesToDraw(object);
    if (list.count < 3) return;
    MeshDraw d;
    d.object = c.states.object;
    d.view = LookAt(c.states.eye, c.states.target);
    d.viewport = CurrentViewport();
    d.state = QueueCurrentState();
    d.envMap = c.states.envMap;
    d.lighting = c.states.lighting;
    d.wrapping = c.states.wrapping;
    d.lights = c.states.lights;
    DrawMesh(d, object.vertices, object.vertexCount, list.indices, list.count);
    QueuePublish();
}

void RenderMesh(MeshHandle handle) {
    if (!handle.objects) return;
    for (uint32_t i = 0; i < handle.objectCount; ++i) RenderObject(handle.objects[i]);
}

void RenderSV(const ScreenVertex* vertices, int count, int kind) {
    Context& c = gCtx;
    if (!c.drawing || c.width == 0) return;
    // A picture of one colour (every corner alike) goes through the filter
    // once; corners lit each their own way are drawn as given.
    std::vector<ScreenVertex> filtered;
    if (gScreenColourFilter && vertices && count > 0 && count <= 1 << 16 && (kind == 0 || kind == 1)) {
        const size_t n = kind == 0 ? 3 * size_t(count) : size_t(count) + 2;
        const uint32_t first = vertices[0].color;
        if (std::all_of(vertices, vertices + n, [first](const ScreenVertex& v) { return v.color == first; })) {
            filtered.assign(vertices, vertices + n);
            const uint32_t color = gScreenColourFilter(c.states.texture, first);
            for (ScreenVertex& v : filtered) v.color = color;
            vertices = filtered.data();
        }
    }
    DrawScreen(vertices, count, kind, CurrentViewport(), QueueCurrentState(), c.states.wrapping, float(c.scale));
    QueuePublish();
}

// >> font

void CreateNewFont(const char* file, int width, int height, int count) {
    if (!file) return;
    Font f;
    f.texture = LoadIntoStore(file);
    f.cellWidth = width;
    f.cellHeight = height;
    f.count = count;
    gCtx.fonts[file] = f;
}

void FontWrite(int x, int y, float scale, const char* text, const char* font, uint32_t color) {
    Context& c = gCtx;
    if (!c.drawing || c.width == 0 || !text || !font) return;
    auto found = c.fonts.find(font);
    if (found == c.fonts.end()) return;
    const Font& f = found->second;
    // A font whose picture did not load draws nothing, rather than grey boxes.
    if (!f.texture->loaded || f.cellWidth <= 0 || f.cellHeight <= 0 || !(scale > 0)) return;
    // Glyphs go through their own state: additive through the font's alpha,
    // no depth, filtered; the context's switches stay as they are.
    DrawState s;
    s.texture = f.texture;
    s.bits = kBlend | kAlphaChannel | kBilinear;
    const Viewport v = CurrentViewport();
    s.clipX0 = v.clipX0, s.clipY0 = v.clipY0, s.clipX1 = v.clipX1, s.clipY1 = v.clipY1;
    const uint32_t state = QueueState(s);
    const float k = float(c.scale);   // the demo's pixels to the frame buffer's
    const float w = float(f.cellWidth) * scale, h = float(f.cellHeight) * scale;
    const float tw = float(f.texture->width), th = float(f.texture->height);
    float penX = float(x);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, penX += w) {
        const int code = *p;
        if (code >= f.count) continue;
        const float u0 = float((code % 16) * f.cellWidth) / tw;
        const float v0 = float((code / 16) * f.cellHeight) / th;
        const float u1 = u0 + float(f.cellWidth) / tw, v1 = v0 + float(f.cellHeight) / th;
        const float x0 = penX * k, y0 = float(y) * k, x1 = (penX + w) * k, y1 = (float(y) + h) * k;
        const ScreenVertex quad[4] = {{x0, y0, 1, 1, color, u0, v0},
                                      {x1, y0, 1, 1, color, u1, v0},
                                      {x0, y1, 1, 1, color, u0, v1},
                                      {x1, y1, 1, 1, color, u1, v1}};
        DrawScreen(quad, 2, 1, v, state, false);
    }
    QueuePublish();
}

// >> camera and transforms

void CamPoint(float x, float y, float z) { gCtx.states.eye[0] = x, gCtx.states.eye[1] = y, gCtx.states.eye[2] = z; }

void CamLookAt(float x, float y, float z) {
    gCtx.states.target[0] = x, gCtx.states.target[1] = y, gCtx.states.target[2] = z;
}

namespace {
void Chain(const Mat4& m, int flag) { gCtx.states.object = flag ? m : Multiply(gCtx.states.object, m); }
}   // namespace

void Rotate(float x, float y, float z, int flag) { Chain(RotationMatrix(x, y, z), flag); }
void Scale(float x, float y, float z, int flag) { Chain(ScaleMatrix(x, y, z), flag); }
void Translate(float x, float y, float z, int flag) { Chain(TranslationMatrix(x, y, z), flag); }

// >> switches

void UseZBuffer(int on) { gCtx.states.zbuffer = on != 0; }
void UseAlphaBlend(int on) { gCtx.states.blend = on != 0; }
void UseEnvMap(int on) { gCtx.states.envMap = on != 0; }
void UseFilters(int on) { gCtx.states.filters = on != 0; }
void UseAlphaChannel(int on) { gCtx.states.alphaChannel = on != 0; }
void SetTextureWrapping(int on) { gCtx.states.wrapping = on != 0; }
void UseLighting(int on) { gCtx.states.lighting = on != 0; }

// >> lights

void PointLight(int index, float x, float y, float z, float range, uint32_t color) {
    if (index < 0 || index >= kMaxLights) return;
    Light& l = gCtx.states.lights[index];
    l.x = x, l.y = y, l.z = z, l.range = range;
    l.r = float((color >> 16) & 0xFF), l.g = float((color >> 8) & 0xFF), l.b = float(color & 0xFF);
}

void EnableLight(int index, int on) {
    if (index < 0 || index >= kMaxLights) return;
    gCtx.states.lights[index].enabled = on != 0;
}

// >> values

uint32_t ARGB(int a, int r, int g, int b) {
    return uint32_t(Clamp255(a)) << 24 | uint32_t(Clamp255(r)) << 16 | uint32_t(Clamp255(g)) << 8 |
           uint32_t(Clamp255(b));
}
