// The Windows cursor and focus calls the demo makes, on this platform:
// they act on the demo's window.
#include <SDL.h>

#include "engine/win.h"
#include "platform/window.h"

namespace {
int gCursorCount = 0;   // Windows' display count: the pointer shows while it is >= 0
}

int ShowCursor(BOOL show) {
    gCursorCount += show ? 1 : -1;
    if (qor::platform::WindowOpen()) SDL_ShowCursor(gCursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return gCursorCount;
}

// The display is the demo's foreground window.
HWND GetForegroundWindow() { return qor::platform::WindowHandle(); }

HWND SetFocus(HWND window) {
    SDL_Window* ours = static_cast<SDL_Window*>(qor::platform::WindowHandle());
    if (!ours || window != ours) return nullptr;
    // Ask for the keyboard only when the window is shown and lacks it.
    const Uint32 flags = SDL_GetWindowFlags(ours);
    if ((flags & SDL_WINDOW_SHOWN) && !(flags & SDL_WINDOW_INPUT_FOCUS)) SDL_SetWindowInputFocus(ours);
    return ours;
}
