// What the SDL2 display's files share: sdl_video.cpp (SDL's video and windows), sdl_present.cpp
// (how a window shows its picture through its framebuffer, its scale and full screen),
// sdl_gpu_present.cpp (the same through a GPU renderer) and sdl_events.cpp (SDL's input turned
// into messages).
#pragma once

#include <SDL.h>

#include <cmath>
#include <cstdint>

#include <windows.h>

#include "platform_internal.h"
#include "shown_picture.h"

// The system side of one window of the table.
struct SdlWindow {
    SDL_Window* sdl;
    uint32_t id;
    int width; // the client size the program sees
    int height;
    int scale; // outside full screen, in the framebuffer's pixels
    // How many of the framebuffer's pixels make one of the window's points: the output's scale
    // (2, or 1.5 on a fractional one) where SDL sizes the window framebuffer in the output's
    // pixels (SDL 2.28 and later on a scaled Wayland output), else 1.
    double pixels_per_point;
    bool fullscreen;
    bool pointer_hidden;
    // What the window showed last while scaled or in full screen (as drawn at 1x, the
    // framebuffer holds it), to show again.
    ShownPicture kept;
    // The framebuffer the picture was last laid out on, where in it the picture lands, and
    // whether all of it is still to be sent to the display.
    const SDL_Surface* laid_out_on;
    int laid_out_width;
    int laid_out_height;
    SDL_Rect shown;
    bool send_all;
    // The GPU present (sdl_gpu_present.cpp), chosen when the window is made: its renderer and
    // the texture of the client's size, which holds the picture shown last; both null for a
    // window drawn through its framebuffer, which then never has a renderer.
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    bool vsync;         // presents wait for the display's refresh now
    bool vsync_offered; // the renderer took SDL_RENDERER_PRESENTVSYNC
    bool unshown;       // the texture holds a frame not presented yet
    bool measured;      // the presents' wait has been timed
};

extern SdlWindow sdl_windows[max_windows];

// The window's size in points for at least `pixels` of its framebuffer: rounded up to a size
// that is a whole number of pixels too (an even number of points at 1.5 pixels to a point), so
// that the compositor draws the framebuffer's pixels one to one rather than resampled.
inline int sdl_points(const SdlWindow& window, int pixels) {
    double per_point = window.pixels_per_point;
    int points = static_cast<int>(std::ceil(pixels / per_point - 0.001));
    for (int more = 0; more < 8; more++) {
        double exact = (points + more) * per_point;
        if (std::fabs(exact - std::round(exact)) < 0.01)
            return points + more;
    }
    return points;
}
// The ratio of a framebuffer's `pixels` to a window's `points` across, as pixels_per_point: 1
// where they are the same to within a hundredth.
inline double sdl_pixels_per_point(int pixels, int points) {
    double ratio = points > 0 ? static_cast<double>(pixels) / points : 1;
    return ratio > 0.99 && ratio < 1.01 ? 1 : ratio;
}

// True once SDL's video has started.
bool sdl_video_started();
// The window of an SDL window id, or null.
HWND sdl_window_of(uint32_t sdl_window_id);
// Full screen on the desktop's own mode (no mode switch), or back to the window's earlier size
// and position.
void sdl_set_fullscreen(int slot, bool on);
// Switches the window of `slot` into full screen, or out of it.
void sdl_toggle_fullscreen(int slot);
// The pointer moved to (x, y) over the window of `slot`: hidden over the picture in full screen.
void sdl_pointer_moved(int slot, int x, int y);
// BitBlt's framebuffer of the SDL window of `slot`, as display_framebuffer_begin describes it:
// SDL's window framebuffer, written directly at 1x or laid out at the window's scale.
bool sdl_framebuffer_begin(int slot, Framebuffer* framebuffer);
// Ends the writing and sends the client's rectangle (x, y, width, height), at the scale.
void sdl_framebuffer_end(int slot, int x, int y, int width, int height);
// The window's framebuffer may be a new one (resized, exposed): a scaled picture is shown again.
void sdl_framebuffer_changed(int slot);

// The GPU present (sdl_gpu_present.cpp). Decides whether the window of `slot`, just made, takes
// it (SORVEL_PRESENT, what the renderer is) and makes its renderer and texture; false, with
// neither, for the framebuffer, said under SORVEL_VERBOSE.
bool sdl_gpu_present_open(int slot);
void sdl_gpu_present_close(int slot);
// BitBlt's framebuffer of a GPU window: the locked texture, at 1x.
bool sdl_gpu_framebuffer_begin(int slot, Framebuffer* framebuffer);
// Unlocks the texture; presents the frame at once unless the pace presents it in its wait for
// the display's refresh.
void sdl_gpu_framebuffer_end(int slot, int x, int y, int width, int height);
// Draws the picture again and presents it (an expose, a new size, full screen).
void sdl_gpu_show_again(int slot);
// Presents every frame still unshown: called before the pace sleeps on its clock.
void sdl_gpu_present_pending();
// The renderer lost its textures: each is made again (black until the next frame).
void sdl_gpu_device_reset();
// When a GPU window is first shown: times a few presents with vertical sync and without, and
// has the pace wait for the display's refresh where the first measurably wait.
void sdl_gpu_measure_refresh_wait(int slot);

// Posts WM_CLOSE to every window, as a quit request does (sdl_signals.cpp).
void post_close_to_every_window();
// Turns a stop signal noted since the last call into WM_CLOSE for every window; called by the
// pump of the input.
void stop_signals_take();
