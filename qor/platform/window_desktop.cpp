// The desktop's side of the window (window_backend.h): a resizable window at
// the largest whole multiple that fits, paced by vertical sync or a sleeping
// frame limiter.
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/window_backend.h"

namespace qor::platform::backend {

namespace {
std::chrono::steady_clock::duration gPeriod{};   // between frames the limiter allows
std::chrono::steady_clock::time_point gNext{};   // the limiter's next deadline
}   // namespace

int FittingScale(int width, int height) {
    SDL_Rect area{};
    if (SDL_GetDisplayUsableBounds(0, &area) != 0 || area.w <= 0 || area.h <= 0) return 1;
    // Leave room for the window's frame and title bar.
    const int scale = std::min((area.w - 16) / width, (area.h - 48) / height);
    return std::max(scale, 1);
}

void PrepareRenderer() {}

Uint32 WindowFlags() { return SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI; }

void StartPacing(double period) {
    using namespace std::chrono;
    gPeriod = duration_cast<steady_clock::duration>(duration<double>(period));
    gNext = steady_clock::now();
}

void FrameSizeChanged(SDL_Window*, int, int) {}

// Waits until the limiter's deadline, sleeping (never spinning), then presents.
void ShowFrame(SDL_Renderer* renderer) {
    const auto now = std::chrono::steady_clock::now();
    if (gNext > now) {
        std::this_thread::sleep_until(gNext);
        gNext += gPeriod;
    } else {
        // Late (a slow frame): start counting again from now, no burst to catch up.
        gNext = now + gPeriod;
    }
    SDL_RenderPresent(renderer);
}

bool FullscreenKey(SDL_Keycode) { return false; }

bool ToggleFullscreen(SDL_Window* window, bool on) {
    SDL_SetWindowFullscreen(window, on ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_ShowCursor(SDL_DISABLE);
    return !on;
}

bool StopsWhenHidden() { return true; }

int WindowScale(int opened) { return opened; }

}   // namespace qor::platform::backend
