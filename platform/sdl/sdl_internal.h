// What the SDL2 display's files share: sdl_video.cpp (SDL's video and windows), sdl_present.cpp
// (how a window shows its picture, its scale and full screen) and sdl_events.cpp (SDL's input
// turned into messages).
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
    SDL_Rect windowed; // position and size before full screen
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

// Posts WM_CLOSE to every window, as a quit request does (sdl_signals.cpp).
void post_close_to_every_window();
// Turns a stop signal noted since the last call into WM_CLOSE for every window; called by the
// pump of the input.
void stop_signals_take();
