// What the window does differently on the desktop (window_desktop.cpp) and in
// the browser (window_web.cpp); window.cpp holds the rest, the same on both.
#pragma once

#include <SDL.h>

namespace qor::platform::backend {

// The whole multiple a window opens at when --scale does not say.
int FittingScale(int width, int height);

// Before the window is made: renderer hints; the window's flags.
void PrepareRenderer();
Uint32 WindowFlags();

// Starts pacing frames `period` seconds apart (the desktop's limiter).
void StartPacing(double period);

// The frame size changed: the browser's canvas follows it 1:1.
void FrameSizeChanged(SDL_Window* window, int width, int height);

// Shows what the renderer holds and waits for the next refresh.
void ShowFrame(SDL_Renderer* renderer);

// A key that toggles fullscreen here besides F11 and Alt+Enter.
bool FullscreenKey(SDL_Keycode key);

// Toggles fullscreen; returns whether it is now on.
bool ToggleFullscreen(SDL_Window* window, bool on);

// Whether the run stops drawing by itself while the window is hidden (the
// browser already holds back a hidden page's animation frames).
bool StopsWhenHidden();

// The whole multiple the frame is shown at (`opened`: the window's own).
int WindowScale(int opened);

}   // namespace qor::platform::backend
