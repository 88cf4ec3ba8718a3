// The browser's side of the window (window_backend.h): a canvas that holds
// the frame 1:1 and that the page scales by whole multiples; a frame is shown
// when the code hands control back, at the page's next animation frame.
#include <emscripten.h>

#include "platform/window.h"
#include "platform/window_backend.h"

// Waits for the next animation frame (the page's refresh), never spinning.
EM_ASYNC_JS(void, WaitForAnimationFrame, (),
            { await new Promise(function(resume) { requestAnimationFrame(function() { resume(); }); }); });

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

// The page's element goes fullscreen, so its whole-multiple scaling holds.
bool ToggleFullscreen(SDL_Window*, bool) {
    return EM_ASM_INT({ return Module.teqToggleFullscreen ? Module.teqToggleFullscreen() : 0; }) != 0;
}

// A hidden tab gets no animation frames: ShowFrame waits until it is shown.
bool StopsWhenHidden() { return false; }

// The page scales the canvas: its whole multiple of the frame on screen.
int WindowScale(int) {
    return EM_ASM_INT({ return Module.teqScale ? Module.teqScale() : 1; });
}

}   // namespace qor::platform::backend

// The page's way to the C key (index.html's teq.toggleCalm): calm mode on or
// off, taken by the run with the next frame as the key would be.
extern "C" EMSCRIPTEN_KEEPALIVE void teq_toggle_calm() { qor::platform::PushControl(qor::platform::Control::Calm); }
