// The window on SDL's off-screen video driver: size, keys, fullscreen, the
// cursor and focus calls, and a frame limiter that sleeps.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "engine/win.h"
#include "platform/system.h"
#include "platform/window.h"

namespace platform = qor::platform;

namespace {

class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_RENDER_DRIVER", "software", 1);
    }
    void TearDown() override { platform::CloseWindow(); }

    bool Open(int scale, bool vsync = false) {
        platform::WindowSettings s;
        s.scale = scale;
        s.vsync = vsync;
        std::string why;
        const bool ok = platform::OpenWindow(s, &why);
        EXPECT_TRUE(ok) << why;
        return ok;
    }

    static void Key(SDL_Keycode key, Uint16 mod = KMOD_NONE, bool repeat = false) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = key;
        e.key.keysym.mod = mod;
        e.key.repeat = repeat;
        SDL_PushEvent(&e);
    }

    static bool SdlFullscreen() {
        const Uint32 flags = SDL_GetWindowFlags(static_cast<SDL_Window*>(platform::WindowHandle()));
        return (flags & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
};

}   // namespace

TEST_F(WindowTest, SizeIsAWholeMultiple) {
    ASSERT_TRUE(Open(3));
    int w = 0, h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window*>(platform::WindowHandle()), &w, &h);
    EXPECT_EQ(w, 960);
    EXPECT_EQ(h, 720);
    EXPECT_STREQ(SDL_GetWindowTitle(static_cast<SDL_Window*>(platform::WindowHandle())), "teq");
    platform::CloseWindow();

    // Chosen: the largest multiple that fits the display, never 0.
    ASSERT_TRUE(Open(0));
    SDL_Rect area{};
    ASSERT_EQ(SDL_GetDisplayUsableBounds(0, &area), 0);
    const int scale = platform::WindowScale();
    EXPECT_GE(scale, 1);
    EXPECT_LE(320 * scale, area.w);
    EXPECT_LE(240 * scale, area.h);
    // One more would not fit beside the window's frame and title bar.
    EXPECT_TRUE(320 * (scale + 1) > area.w - 16 || 240 * (scale + 1) > area.h - 48) << "scale " << scale;
}

TEST_F(WindowTest, KeysEndTheRunOrToggleFullscreen) {
    for (SDL_Keycode quitKey : {SDLK_ESCAPE, SDLK_q}) {
        ASSERT_TRUE(Open(1));
        EXPECT_TRUE(platform::PumpEvents());
        Key(SDLK_RETURN);   // plain Enter does nothing
        Key(SDLK_a);
        EXPECT_TRUE(platform::PumpEvents());
        EXPECT_FALSE(SdlFullscreen());
        Key(SDLK_F11);
        EXPECT_TRUE(platform::PumpEvents());
        EXPECT_TRUE(SdlFullscreen());
        Key(SDLK_RETURN, KMOD_LALT);
        EXPECT_TRUE(platform::PumpEvents());
        EXPECT_FALSE(SdlFullscreen());
        Key(quitKey);
        EXPECT_FALSE(platform::PumpEvents());
        EXPECT_TRUE(platform::QuitRequested());
        platform::CloseWindow();
    }
    // Closing the window.
    ASSERT_TRUE(Open(1));
    EXPECT_FALSE(platform::QuitRequested());
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    EXPECT_FALSE(platform::PumpEvents());
}

// Playback keys are kept in order until taken; a held arrow keeps seeking,
// a held Space or Home acts once; other keys are no control; the title can
// be set and put back.
TEST_F(WindowTest, PlaybackKeysAreTakenInOrder) {
    using C = platform::Control;
    if (!Open(1)) return;
    Key(SDLK_SPACE);
    Key(SDLK_SPACE, KMOD_NONE, true);
    Key(SDLK_LEFT);
    Key(SDLK_LEFT, KMOD_NONE, true);
    Key(SDLK_a);
    Key(SDLK_RIGHT);
    Key(SDLK_HOME);
    Key(SDLK_HOME, KMOD_NONE, true);
    EXPECT_TRUE(platform::PumpEvents());
    EXPECT_EQ(platform::TakeControls(), (std::vector<C>{C::Pause, C::Back, C::Back, C::Forward, C::Restart}));
    EXPECT_TRUE(platform::TakeControls().empty());

    SDL_Window* w = static_cast<SDL_Window*>(platform::WindowHandle());
    platform::SetTitle("teq - paused - 0:10.0");
    EXPECT_STREQ(SDL_GetWindowTitle(w), "teq - paused - 0:10.0");
    platform::SetTitle("");
    EXPECT_STREQ(SDL_GetWindowTitle(w), "teq");
}

TEST_F(WindowTest, CursorAndFocusCallsActOnTheWindow) {
    EXPECT_EQ(GetForegroundWindow(), nullptr);   // no window yet
    ASSERT_TRUE(Open(1));
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);   // hidden over the window from the start
    HWND window = GetForegroundWindow();
    EXPECT_EQ(window, platform::WindowHandle());
    EXPECT_EQ(SetFocus(window), window);
    EXPECT_EQ(SetFocus(nullptr), nullptr);
    const int count = ShowCursor(FALSE);
    EXPECT_EQ(ShowCursor(FALSE), count - 1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    ShowCursor(1);
    ShowCursor(1);
    ShowCursor(1);   // count back above zero: shown, as on Windows
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    while (ShowCursor(FALSE) >= 0) {
    }
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(WindowTest, FrameLimiterSleepsInsteadOfSpinning) {
    ASSERT_TRUE(Open(1));
    std::vector<uint32_t> frame(320 * 240, 0xFF204080u);
    const double hz = platform::RefreshRate();
    ASSERT_GT(hz, 0.0);
    platform::Present(frame.data(), 320, 240);
    const auto began = std::chrono::steady_clock::now();
    const double cpuBegan = platform::CpuSeconds();
    const int frames = 30;
    for (int i = 0; i < frames; ++i) platform::Present(frame.data(), 320, 240);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double cpu = platform::CpuSeconds() - cpuBegan;
    // Paced to the display's rate (a busy machine only makes it slower) ...
    EXPECT_GE(wall, (frames - 1) / hz);
    // ... by sleeping: far from a core's worth of processor time.
    EXPECT_LT(cpu, 0.5 * wall) << "cpu " << cpu << " s over " << wall << " s";
}

TEST_F(WindowTest, NoDisplayIsReported) {
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    platform::WindowSettings s;
    std::string why;
    EXPECT_FALSE(platform::OpenWindow(s, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(platform::WindowOpen());
    EXPECT_EQ(GetForegroundWindow(), nullptr);
}
