// The browser's side of the window (window_backend.h): a canvas that holds
// the frame 1:1 and that the page scales to fit its window; a frame is shown
// when the code hands control back, at the page's next animation frame. The
// page's controls talk to the run through three calls: Module.teqFrame (how
// long each frame kept the page busy, for its choice of resolution),
// Module.teqPlayback (where play is) and teq_control (a press of a control).
#include <emscripten.h>

#include "platform/window.h"
#include "platform/window_backend.h"

// Waits for the next animation frame (the page's refresh), never spinning.
// Tells the page a frame is shown and how long it took from the previous
// animation frame on (drawing it, handing it over and the work around it;
// NaN for the first). JavaScript: clang-format would break its operators.
// clang-format off
EM_ASYNC_JS(void, WaitForAnimationFrame, (), {
    var now = performance.now();
    if (Module.teqFrame) Module.teqFrame(Module.teqResumed === undefined ? NaN : now - Module.teqResumed);
    await new Promise(function(resume) { requestAnimationFrame(function() { resume(); }); });
    Module.teqResumed = performance.now();
});
// clang-format on

// A press of one of the page's controls (platform::Control's kinds and
// value), taken with the keys' at the next frame.
extern "C" EMSCRIPTEN_KEEPALIVE void teq_control(int kind, double value) {
    using qor::platform::Control;
    if (kind < 0 || kind > static_cast<int>(Control::SetResolution)) return;
    qor::platform::PushControl(Control(static_cast<Control::Kind>(kind), value));
}

namespace qor::platform::backend {

int FittingScale(int, int) { return 1; }

// A 2D canvas: no WebGL needed for a 320x240 picture.
void PrepareRenderer() { SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software"); }

// A fixed canvas of the frame's size: SDL would size a resizable one after
// its place on the page, which the page scales instead.
Uint32 WindowFlags() { return 0; }

void StartPacing(double) {}

void FrameSizeChanged(SDL_Window* window, int width, int height) { SDL_SetWindowSize(window, width, height); }

void ShowFrame(SDL_Renderer* renderer) {
    SDL_RenderPresent(renderer);
    WaitForAnimationFrame();
}

// The browser's own F11 is the browser's; F asks the page.
bool FullscreenKey(SDL_Keycode key) { return key == SDLK_f; }

// The page's element goes fullscreen, so its scaling and controls hold there.
bool ToggleFullscreen(SDL_Window*, bool) {
    return EM_ASM_INT({ return Module.teqToggleFullscreen ? Module.teqToggleFullscreen() : 0; }) != 0;
}

// The largest resolution worth drawing: the screen pixels the picture covers.
int WindowScale(int) {
    return EM_ASM_INT({ return Module.teqScale ? Module.teqScale() : 1; });
}

void ShowPlayback(double t, double end, bool paused) {
    EM_ASM(
        {
            if (Module.teqPlayback) Module.teqPlayback($0, $1, $2);
        },
        t, end, paused ? 1 : 0);
}

}   // namespace qor::platform::backend
