// qor/platform: the window (SDL2). Shows finished frames (320x240, or a
// multiple when drawn at a higher resolution) scaled by a whole number with
// nearest-neighbour sampling (black bars around them when the window is
// larger, aspect kept; a frame larger than the window is scaled down
// smoothly), handles the keys that end the run or
// toggle fullscreen, hides the pointer over the window and paces the frames
// (vertical sync, or a sleeping frame limiter when vsync is off or does not
// work). Also defines, on this platform, the Windows cursor and focus calls
// of engine/win.h, acting on this window. Knows nothing of the renderer or
// the music.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::platform {

struct WindowSettings {
    std::string title = "teq";
    int width = 320;   // frame size in pixels
    int height = 240;
    int scale = 0;             // 0: the largest whole multiple that fits the screen
    bool fullscreen = false;   // desktop fullscreen
    bool vsync = false;        // ask for vertical sync
};

// Opens the window. false when no window can be opened (no display); `why`
// then holds the reason. Nothing stays open after a failure.
bool OpenWindow(const WindowSettings& settings, std::string* why);
void CloseWindow();
bool WindowOpen();

// Shows a frame (0xAARRGGBB, rows top down, any size), handles pending events and waits
// for the next display refresh (vsync or limiter).
void Present(const uint32_t* argb, int width, int height);

// Handles pending events. Returns false once Esc, Q or closing the window
// asked to end the run.
bool PumpEvents();
bool QuitRequested();
// As PumpEvents, first waiting up to `seconds` for an event (sleeping).
bool WaitEvents(double seconds);

// True while the window is minimised or hidden (unmapped): nothing drawn
// could be seen. A window merely covered by others is not told apart on
// every system and counts as seen.
bool WindowHidden();

// The playback keys: Space, Left, Right, Home, R (the next drawing
// resolution), C (calm mode on or off). Each press (key repeat included for the arrows) is kept until
// taken, oldest first.
enum class Control { Pause, Back, Forward, Restart, Resolution, Calm };
std::vector<Control> TakeControls();
void PushControl(Control control);   // as if its key was pressed (the page's buttons)

// The window's title ("" puts back the one it opened with).
void SetTitle(const std::string& title);

void HideWindow();   // at once, while the run winds down

void ToggleFullscreen();
bool Fullscreen();

int WindowScale();      // the whole multiple the window opened with
double RefreshRate();   // Hz of the window's display (60 if unknown)
void* WindowHandle();   // what GetForegroundWindow returns; nullptr without a window

}   // namespace qor::platform
