// The window, the same on every platform; what the desktop and the browser
// do differently is in window_desktop.cpp and window_web.cpp.
#include "platform/window.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/quiet.h"
#include "platform/window_backend.h"

namespace qor::platform {

namespace {

struct WindowState {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int width = 0;   // the frame size the window was opened for
    int height = 0;
    int frameWidth = 0;   // the texture's size: the frames presented
    int frameHeight = 0;
    int scale = 1;
    bool quit = false;
    std::string title;
    std::vector<Control> controls;   // pressed, not yet taken
    bool fullscreen = false;
    bool hidden = false;   // minimised or unmapped: nothing drawn can be seen
    double refresh = 60.0;
};

WindowState gWin;

// Makes the texture fit frames of width x height (drawn at a higher
// resolution than the window was opened for, or back). Whole multiples as
// long as the frame fits the window; a larger frame is scaled down smoothly.
bool FitFrame(int width, int height) {
    int outW = 0, outH = 0;
    if (SDL_GetRendererOutputSize(gWin.renderer, &outW, &outH) != 0) outW = outH = 0;
    const bool fits = width <= outW && height <= outH;
    if (width != gWin.frameWidth || height != gWin.frameHeight) {
        SDL_Texture* texture =
            SDL_CreateTexture(gWin.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!texture) return false;
        SDL_DestroyTexture(gWin.texture);
        gWin.texture = texture;
        gWin.frameWidth = width;
        gWin.frameHeight = height;
        SDL_RenderSetLogicalSize(gWin.renderer, width, height);
        backend::FrameSizeChanged(gWin.window, width, height);
    }
    SDL_SetTextureScaleMode(gWin.texture, fits ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    if (bool(SDL_RenderGetIntegerScale(gWin.renderer)) != fits)
        SDL_RenderSetIntegerScale(gWin.renderer, fits ? SDL_TRUE : SDL_FALSE);
    return true;
}

}   // namespace

bool OpenWindow(const WindowSettings& s, std::string* why) {
    CloseWindow();
    int failed;
    {
        QuietStderr quiet;
        failed = SDL_InitSubSystem(SDL_INIT_VIDEO);
    }
    if (failed != 0) {
        if (why) *why = SDL_GetError();
        return false;
    }
    // Without a display SDL falls back to drawing off screen: nobody would
    // see the demo, so that counts as no display unless asked for by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = std::getenv("SDL_VIDEODRIVER");
    if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy")) &&
        !(asked && !std::strcmp(asked, driver))) {
        if (why) *why = "no X11 or Wayland display found";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    backend::PrepareRenderer();
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    gWin.width = gWin.frameWidth = s.width;
    gWin.height = gWin.frameHeight = s.height;
    gWin.scale = s.scale > 0 ? s.scale : backend::FittingScale(s.width, s.height);
    gWin.quit = false;
    gWin.title = s.title;
    gWin.controls.clear();
    gWin.fullscreen = s.fullscreen;
    gWin.hidden = false;
    Uint32 flags = backend::WindowFlags();
    if (s.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    gWin.window = SDL_CreateWindow(s.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   s.width * gWin.scale, s.height * gWin.scale, flags);
    if (gWin.window) {
        gWin.renderer = SDL_CreateRenderer(gWin.window, -1, s.vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
        if (!gWin.renderer) gWin.renderer = SDL_CreateRenderer(gWin.window, -1, SDL_RENDERER_SOFTWARE);
    }
    if (gWin.renderer)
        gWin.texture =
            SDL_CreateTexture(gWin.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, s.width, s.height);
    if (!gWin.texture) {
        if (why) *why = SDL_GetError();
        CloseWindow();
        return false;
    }
    // Whole multiples only, centred, black around.
    SDL_RenderSetLogicalSize(gWin.renderer, s.width, s.height);
    SDL_RenderSetIntegerScale(gWin.renderer, SDL_TRUE);
    SDL_SetRenderDrawColor(gWin.renderer, 0, 0, 0, 255);
    SDL_ShowCursor(SDL_DISABLE);
    SDL_DisplayMode mode{};
    const int display = SDL_GetWindowDisplayIndex(gWin.window);
    gWin.refresh = 60.0;
    if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 && mode.refresh_rate > 0)
        gWin.refresh = mode.refresh_rate;
    // With vsync the display paces the frames and the limiter stays below it,
    // only there for displays that do not block; without, the limiter paces.
    backend::StartPacing((s.vsync ? 0.9 : 1.0) / gWin.refresh);
    // Clear the window at once, so nothing stale shows while loading begins.
    SDL_RenderClear(gWin.renderer);
    SDL_RenderPresent(gWin.renderer);
    return true;
}

void CloseWindow() {
    if (gWin.texture) SDL_DestroyTexture(gWin.texture);
    if (gWin.renderer) SDL_DestroyRenderer(gWin.renderer);
    if (gWin.window) SDL_DestroyWindow(gWin.window);
    const bool wasOpen = gWin.window != nullptr;
    gWin.texture = nullptr;
    gWin.renderer = nullptr;
    gWin.window = nullptr;
    if (wasOpen) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool WindowOpen() { return gWin.window != nullptr; }

void Present(const uint32_t* argb, int width, int height) {
    if (!gWin.window) return;
    if (width > 0 && height > 0 && FitFrame(width, height)) {
        SDL_UpdateTexture(gWin.texture, nullptr, argb, width * 4);
        SDL_RenderClear(gWin.renderer);
        SDL_RenderCopy(gWin.renderer, gWin.texture, nullptr, nullptr);
    }
    backend::ShowFrame(gWin.renderer);
    PumpEvents();
}

namespace {

// One event; `toggles` counts the fullscreen key presses.
void HandleEvent(const SDL_Event& e, int& toggles) {
    switch (e.type) {
        case SDL_QUIT:
            gWin.quit = true;
            break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    gWin.quit = true;
                    break;
                case SDL_WINDOWEVENT_HIDDEN:
                case SDL_WINDOWEVENT_MINIMIZED:
                    gWin.hidden = true;
                    break;
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_RESTORED:
                case SDL_WINDOWEVENT_MAXIMIZED:
                case SDL_WINDOWEVENT_EXPOSED:
                    gWin.hidden = false;
                    break;
                default:
                    break;
            }
            break;
        case SDL_KEYDOWN: {
            const SDL_Keycode key = e.key.keysym.sym;
            if (key == SDLK_ESCAPE || key == SDLK_q) gWin.quit = true;
            if (key == SDLK_LEFT) gWin.controls.push_back(Control::Back);
            if (key == SDLK_RIGHT) gWin.controls.push_back(Control::Forward);
            if (e.key.repeat) break;
            if (key == SDLK_SPACE) gWin.controls.push_back(Control::Pause);
            if (key == SDLK_HOME) gWin.controls.push_back(Control::Restart);
            if (key == SDLK_r) gWin.controls.push_back(Control::Resolution);
            if (key == SDLK_c) gWin.controls.push_back(Control::Calm);
            if (backend::FullscreenKey(key) || key == SDLK_F11 ||
                ((key == SDLK_RETURN || key == SDLK_KP_ENTER) && (e.key.keysym.mod & KMOD_ALT)))
                ++toggles;
            break;
        }
        default:
            break;
    }
}

// Presses of the fullscreen key that came together count as their parity: a
// window asked to switch a thousand times between two frames switches at most
// once, and the pictures do not wait on the window system meanwhile.
void ApplyToggles(int toggles) {
    if (toggles % 2) ToggleFullscreen();
}

}   // namespace

bool PumpEvents() {
    SDL_Event e;
    int toggles = 0;
    while (SDL_PollEvent(&e)) HandleEvent(e, toggles);
    ApplyToggles(toggles);
    return !gWin.quit;
}

bool WaitEvents(double seconds) {
    SDL_Event e;
    int toggles = 0;
    if (SDL_WaitEventTimeout(&e, static_cast<int>(seconds * 1000))) {
        HandleEvent(e, toggles);
        while (SDL_PollEvent(&e)) HandleEvent(e, toggles);
    }
    ApplyToggles(toggles);
    return !gWin.quit;
}

bool WindowHidden() {
    if (!gWin.window || !backend::StopsWhenHidden()) return false;
    // Also what the window system says now: an event may not have come yet.
    return gWin.hidden || (SDL_GetWindowFlags(gWin.window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) != 0;
}

bool QuitRequested() { return gWin.quit; }

std::vector<Control> TakeControls() {
    std::vector<Control> taken;
    taken.swap(gWin.controls);
    return taken;
}

void PushControl(Control control) { gWin.controls.push_back(control); }

void SetTitle(const std::string& title) {
    if (gWin.window) SDL_SetWindowTitle(gWin.window, (title.empty() ? gWin.title : title).c_str());
}

void HideWindow() {
    if (gWin.window) SDL_HideWindow(gWin.window);
}

void ToggleFullscreen() {
    if (gWin.window) gWin.fullscreen = backend::ToggleFullscreen(gWin.window, gWin.fullscreen);
}

bool Fullscreen() { return gWin.fullscreen; }
int WindowScale() { return backend::WindowScale(gWin.scale); }
double RefreshRate() { return gWin.refresh; }
void* WindowHandle() { return gWin.window; }

}   // namespace qor::platform
