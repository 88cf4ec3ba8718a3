// The renderer's face towards the rest of the engine (run loop, offline
// rendering, window). The drawing operations of the demo's interface are
// implemented behind this, in qor/render.
#pragma once

#include <cstdint>
#include <memory>

namespace qor::render {

// Sets up the frame buffer and puts every state to its initial value:
// z-buffer on, alpha blend off, env map off, filters on, alpha channel on,
// texture wrapping off, lighting off, full-display viewport, camera at the
// origin looking along +z, identity transform.
void Init(int width, int height);

// The frame buffer's largest side in pixels (Init's size is capped to it too).
inline constexpr int kMaxFrameSide = 4096;

// Draws at `scale` times the size given to Init (1..kMaxResolution, and at
// most kMaxFrameSide pixels a side): the frame buffer grows, while the demo's
// coordinates (screen vertices, viewports, font positions) stay in the Init
// size and are multiplied on the way in. Before Init it sets the scale Init
// uses; after, it reallocates the buffers (cleared) and keeps every state.
inline constexpr int kMaxResolution = 8;
void SetResolution(int scale);
int Resolution();

// While one lives, draw calls change state only and touch no pixel (frames
// run for the states they leave); drawing is as it was again after.
class DrawingOff {
public:
    DrawingOff();
    ~DrawingOff();
    DrawingOff(const DrawingOff&) = delete;
    DrawingOff& operator=(const DrawingOff&) = delete;

private:
    bool was_;
};

// Every state that frames inherit (switches, selected texture, viewport,
// camera, object transform, lights), saved and put back whole: a seek
// restores what the frames before its target left.
struct States;
std::shared_ptr<const States> SaveStates();
void RestoreStates(const States& saved);

// EndScene hands the finished frame (width x height, 0xAARRGGBB, rows top
// down) to the presenter, if one is set and drawing is on: the loading
// screen's frames, which the demo draws before Run. Run's own frames are
// handed back by the frame driver (run/frames.h) instead.
using Presenter = void (*)(const uint32_t* argb, int width, int height, void* user);
void SetPresenter(Presenter presenter, void* user);

// A filter for the colour of a picture drawn in screen space (RenderSV) whose
// corners are all of one colour, given the selected texture (null: none):
// the calm mode's (run/frames.h). Without one the colours are drawn as given.
using ScreenColourFilter = uint32_t (*)(const void* texture, uint32_t argb);
void SetScreenColourFilter(ScreenColourFilter filter);

// The last finished frame.
const uint32_t* Frame();
int Width();
int Height();

// Puts a picture (width x height ARGB words, rows top down) into the texture
// store under a file name, as if LoadTexture had read it; for tests and tools.
void AddTexture(const char* name, const uint32_t* argb, int width, int height);

// Pictures loaded from files hold at most this much memory together; a load
// beyond it keeps the grey placeholder and says so in one line.
inline constexpr uint64_t kPictureMemoryBudget = 256ull << 20;
void SetPictureMemoryBudget(uint64_t bytes);   // for tests; also forgets what is held

// Rasterizer choice, for tests and benchmarks: drawing threads 1 to 8, simd
// false for the portable pixel loop (the AVX2 one is used only where the CPU
// has it). Without a call: one thread per core (at most 8), or
// TEQ_RENDER_THREADS=N.
void UseThreads(int threads, bool simd);
int Threads();

}   // namespace qor::render
