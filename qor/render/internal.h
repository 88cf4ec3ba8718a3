// Renderer internals shared by the state/API layer, the geometry stage and the
// rasterizers. Not part of the engine's face (render.h, engine/qor.h).
//
// Pipeline: the API layer (api.cpp) keeps every state in one Context. A draw
// call runs the geometry stage on the caller's thread (geometry.cpp: transform,
// lighting, clipping, culling, snapping, triangle setup; geometry_avx2.cpp:
// vertices eight at a time) and hands finished triangles to the queue
// (queue.cpp), which bins them into horizontal bands of the display. Bands are
// rasterized in submission order by worker threads while the caller goes on,
// and by the caller too when the frame ends. The rasterizer draws one triangle
// into one band: the vector loop (raster_simd.h, on AVX2 in raster_avx2.cpp or
// SIMD128 in raster_wasm.cpp) and the portable one (raster_portable.cpp) give
// identical pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace qor::render {

// >> textures

// Texels are ARGB words, (width + 1) x (height + 1): column `width` repeats
// column 0 and row `height` repeats row 0, so a bilinear footprint never needs
// a wrap check on its second tap.
struct Texture {
    int width = 1;
    int height = 1;
    int stride = 2;     // width + 1
    bool pow2 = true;   // both sides powers of two: addressing by masks, see raster_setup.h
    bool loaded = false;
    bool opaque = false;   // every texel's alpha is 255: the alpha channel changes nothing
    std::vector<uint32_t> texels;
    // One byte per 2x2 block of texel positions: bit 0 set if a bilinear
    // footprint starting in the block touches a texel with alpha, bit 1 if one
    // with colour. Additive draws skip pixels whose footprints have neither.
    int blockStride = 1;
    std::vector<uint8_t> blocks;
    // Worth a look-up only where many blocks are empty: bit 0 for alpha, bit 1 for colour.
    uint8_t sparse = 0;
};

// Builds the padded layout from plain rows (argb: width * height words).
void FillTexture(Texture& texture, const uint32_t* argb, int width, int height);
// The 1x1 opaque mid grey that stands for a texture that is not loaded.
const Texture& PlaceholderTexture();

// The texture store (textures.cpp). LoadIntoStore loads a picture file once
// (a failure is reported once and leaves a placeholder entry, not loaded);
// FindTexture gives what is stored under a name, or null. A stored texture
// keeps its address for the life of the process.
Texture* LoadIntoStore(const char* file);
const Texture* FindTexture(const char* name);

// >> draw state and triangles

enum StateBits : uint32_t {
    kDepth = 1,          // depth test (less-or-equal) and depth write
    kBlend = 2,          // additive, saturating
    kAlphaChannel = 4,   // with kBlend: source times texture alpha first
    kBilinear = 8,       // else nearest texel
};

struct DrawState {
    const Texture* texture;
    uint32_t bits;
    int clipX0, clipY0, clipX1, clipY1;   // scissor in pixels, max exclusive
};

enum TriFlags : uint32_t {
    kPerspective = 1,   // attributes 2..6 are premultiplied by rhw (attribute 1)
    kFlatColor = 2,     // colour is flatColor, not interpolated
    kClearColor = 16,   // command, not a triangle: fill colour rows with flatColor
    kClearDepth = 32,   // command: fill depth rows with far (1.0)
};

// Attribute slots of a corner.
enum Attr { kZ = 0, kRhw, kU, kV, kR, kG, kB, kAttrCount };
inline constexpr int kAttrSlots = 8;

inline constexpr int kSubBits = 4;   // corners snap to 1/16 pixel
inline constexpr int kSubUnit = 1 << kSubBits;

// A triangle ready for rasterization, set up once for all the bands it
// touches (raster_setup.h: MakeTri). Corners were snapped to 28.4 fixed point
// and ordered so that the signed area is positive (clockwise on screen, y
// down); the pixel box is inside the scissor.
struct Tri {
    // Edge i runs from corner i to corner i+1. e[i] is its value at the centre
    // of pixel (minX, minY), less one for edges that are not top or left, so a
    // pixel is inside when all three are >= 0. Units: 1/256 pixel squared.
    int32_t e[3];
    int32_t stepX[3];                 // change per pixel to the right
    int32_t stepY[3];                 // change per row down
    float crossX[3];                  // -1 / stepX (0 for a horizontal edge): where a row crosses it
    int16_t minX, minY, maxX, maxY;   // inclusive pixel box
    uint32_t state;                   // index into the frame's states
    uint32_t flags;
    uint32_t flatColor;   // kFlatColor: opaque vertex colour; kClearColor: the colour
    float x0, y0;         // corner 0 in pixels: where the planes start
    // Per attribute: value at corner 0, change per pixel in x, change per pixel
    // in y (kAttrCount used; padded to eight so that setup runs in vectors).
    float a0[kAttrSlots], ddx[kAttrSlots], ddy[kAttrSlots];
};

// The frame buffer as the rasterizer sees it; both buffers have spare words at
// the end so that 8-wide loads past the last pixel stay inside.
struct Target {
    uint32_t* color;
    float* depth;
    int width;
    int height;
};

// Draws the part of a triangle in rows [bandY0, bandY1).
using DrawTriFn = void (*)(const Tri& tri, const DrawState& state, const Target& target, int bandY0, int bandY1);
void DrawTriPortable(const Tri&, const DrawState&, const Target&, int, int);
// The vector loop (AVX2 after a run-time check, SIMD128 in the browser build)
// and whether this processor can run it.
void DrawTriSimd(const Tri&, const DrawState&, const Target&, int, int);
bool CpuHasSimd();

// >> queue

inline constexpr int kBandRows = 32;

// Starts the band queue for a display size (and the worker threads).
void QueueInit(const Target& target);
// Stores a state for the triangles that follow; returns its index.
uint32_t QueueState(const DrawState& state);
// Appends a triangle or a clear command (flags kClear*, rows minY..maxY).
void QueueTri(const Tri& tri);
// Makes what is queued visible to the worker once there is enough of it.
void QueuePublish();
// Makes everything queued so far visible to the worker.
void QueuePublishAll();
// Rasterizes everything queued and returns when the frame buffer is complete.
void QueueDrain();
// Drawing threads at most (the caller's included).
inline constexpr int kMaxThreads = 8;
// Chooses the rasterizer (true: the vector loop where the CPU has it) and the number of
// drawing threads (1 to kMaxThreads; by default one per core, capped, or
// TEQ_RENDER_THREADS); for tests and benchmarks.
void QueueConfigure(bool simd, int threads);
int QueueThreads();
// True when the vector loop is in use (the geometry stage follows the rasterizer).
bool QueueSimd();

}   // namespace qor::render
