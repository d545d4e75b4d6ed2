// The GPU present of an SDL window: an SDL renderer (OpenGL or OpenGL ES, as SDL picks) with one
// streaming texture of the client's size. BitBlt writes the program's pixels into the texture at
// 1x (the copy of pixel_copy.h, through the locked texture's memory), and the renderer draws it
// at the window's whole scale, nearest pixel, centred on black, and presents it. The texture is
// the kept picture: an expose, a new size or full screen draws it again. Where presents measurably
// wait for the display's refresh (timed when the window is first shown), that wait paces the
// frames at the display's rate: the frame is presented with vertical sync in the pace's wait for
// the refresh, and every other frame (--fps N, --fps max, a step while paused) at once without
// it. Which windows take this present, and why, is decided when each window is made
// (present_choice.h); the others keep the window framebuffer of sdl_present.cpp.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "options.h"
#include "pace.h"
#include "platform_internal.h"
#include "present_choice.h"
#include "sdl_display.h"
#include "sdl_internal.h"

static PresentAsk present_ask = present_by_machine;

void display_set_present(PresentAsk ask) {
    present_ask = ask;
}

static bool verbose() {
    const char* said = getenv("SORVEL_VERBOSE");
    return said != nullptr && said[0] != 0 && strcmp(said, "0") != 0;
}

// The GL_RENDERER string of the renderer's OpenGL context, which SDL leaves current once it has
// made it, copied into `name`; empty where the renderer is not OpenGL or the string is not to be
// had.
static void read_gl_renderer(const SDL_RendererInfo& info, char* name, size_t size) {
    name[0] = 0;
    if (strncmp(info.name, "opengl", 6) != 0 || SDL_GL_GetCurrentContext() == nullptr)
        return;
    using GetString = const unsigned char* (*)(unsigned);
    auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    constexpr unsigned gl_renderer = 0x1F01;
    const unsigned char* text = get_string != nullptr ? get_string(gl_renderer) : nullptr;
    if (text != nullptr)
        snprintf(name, size, "%s", reinterpret_cast<const char*>(text));
}

// X errors while an accelerated renderer is made, counted: an OpenGL that cannot start on this
// X server (a driver that does not load, a context the server refuses) answers with an X error,
// which Xlib's default handler would end the program with.
static int x_errors_noted;

static int note_x_error(Display*, XErrorEvent*) {
    x_errors_noted++;
    return 0;
}

// An accelerated renderer with vertical sync for the window, or null; on X11 any X error while
// it is made declines it (`x_failed`), and the program goes on without it.
static SDL_Renderer* make_accelerated_renderer(SDL_Window* sdl, bool* x_failed) {
    *x_failed = false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    Display* display = SDL_GetWindowWMInfo(sdl, &info) && info.subsystem == SDL_SYSWM_X11
                           ? info.info.x11.display
                           : nullptr;
    XErrorHandler previous = nullptr;
    if (display != nullptr) {
        XSync(display, False);
        x_errors_noted = 0;
        previous = XSetErrorHandler(note_x_error);
    }
    SDL_Renderer* renderer =
        SDL_CreateRenderer(sdl, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (display != nullptr) {
        XSync(display, False);
        *x_failed = x_errors_noted > 0;
        if (*x_failed && renderer != nullptr) {
            SDL_DestroyRenderer(renderer);
            renderer = nullptr;
            XSync(display, False);
        }
        XSetErrorHandler(previous);
    }
    return renderer;
}

static uint32_t map_xrgb(const Framebuffer&, int r, int g, int b) {
    return static_cast<uint32_t>(r << 16 | g << 8 | b);
}

// A texture of the client's size, 32-bit XRGB (the DIB's own BGRX bytes), drawn without blending
// and at the nearest pixel, black until the first frame; null if the renderer cannot make one.
static SDL_Texture* make_texture(SDL_Renderer* renderer, int width, int height) {
    SDL_Texture* texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888,
                                             SDL_TEXTUREACCESS_STREAMING, width, height);
    if (texture == nullptr)
        return nullptr;
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) == 0) {
        for (int y = 0; y < height; y++)
            memset(static_cast<uint8_t*>(pixels) + y * pitch, 0, static_cast<size_t>(width) * 4);
        SDL_UnlockTexture(texture);
    }
    return texture;
}

bool sdl_gpu_present_open(int slot) {
    SdlWindow& window = sdl_windows[slot];
    bool say = verbose();
    if (present_ask == present_asked_cpu) {
        if (say)
            fprintf(stderr, "platform: present: the window's framebuffer (SORVEL_PRESENT=cpu)\n");
        return false;
    }
    bool forced = present_ask == present_asked_gpu;
    bool x_failed = false;
    SDL_Renderer* renderer = make_accelerated_renderer(window.sdl, &x_failed);
    // Forced, SDL's own software renderer will do (the dummy driver has no other).
    if (renderer == nullptr && forced)
        renderer = SDL_CreateRenderer(window.sdl, -1, SDL_RENDERER_SOFTWARE);
    if (renderer == nullptr) {
        if (say || forced)
            fprintf(stderr,
                    "platform: present: the window's framebuffer (no renderer could be made: "
                    "%s)\n",
                    x_failed ? "OpenGL failed on this X server" : SDL_GetError());
        return false;
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    char gl_renderer[128];
    read_gl_renderer(info, gl_renderer, sizeof(gl_renderer));
    bool software = (info.flags & SDL_RENDERER_SOFTWARE) != 0 ||
                    renderer_is_software(info.name, gl_renderer[0] != 0 ? gl_renderer : nullptr);
    char renderer_said[192];
    snprintf(renderer_said, sizeof(renderer_said), "SDL's %s renderer%s%s", info.name,
             gl_renderer[0] != 0 ? " on " : "", gl_renderer);
    if (software && !forced) {
        if (say)
            fprintf(stderr,
                    "platform: present: the window's framebuffer (%s draws in software; "
                    "SORVEL_PRESENT=gpu takes it all the same)\n",
                    renderer_said);
        SDL_DestroyRenderer(renderer);
        return false;
    }
    SDL_Texture* texture = make_texture(renderer, window.width, window.height);
    if (texture == nullptr) {
        fprintf(stderr, "platform: present: the window's framebuffer (%s made no texture: %s)\n",
                renderer_said, SDL_GetError());
        SDL_DestroyRenderer(renderer);
        return false;
    }
    window.renderer = renderer;
    window.texture = texture;
    window.vsync = (info.flags & SDL_RENDERER_PRESENTVSYNC) != 0;
    window.vsync_offered = window.vsync;
    if (say)
        fprintf(stderr, "platform: present: the GPU, %s (%s)\n", renderer_said,
                forced     ? "SORVEL_PRESENT=gpu"
                : software ? "software"
                           : "a hardware renderer");
    return true;
}

void sdl_gpu_present_close(int slot) {
    SdlWindow& window = sdl_windows[slot];
    if (window.texture != nullptr)
        SDL_DestroyTexture(window.texture);
    if (window.renderer != nullptr)
        SDL_DestroyRenderer(window.renderer);
    window.texture = nullptr;
    window.renderer = nullptr;
}

bool sdl_gpu_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    SdlWindow& window = sdl_windows[slot];
    void* pixels = nullptr;
    int pitch = 0;
    if (window.texture == nullptr || SDL_LockTexture(window.texture, nullptr, &pixels, &pitch) != 0)
        return false;
    *framebuffer = Framebuffer{};
    framebuffer->pixels = static_cast<uint8_t*>(pixels);
    framebuffer->pitch = pitch;
    framebuffer->width = window.width;
    framebuffer->height = window.height;
    framebuffer->bytes_per_pixel = 4;
    framebuffer->bgrx = true;
    framebuffer->format_key[0] = SDL_PIXELFORMAT_RGB888;
    framebuffer->map_rgb = map_xrgb;
    return true;
}

// Draws the texture at the window's scale (or in full screen, or in an output too small for it,
// the largest whole scale that fits), centred on black, and presents it: with vertical sync
// (`wait`) or without, as far as the renderer can switch it.
static void present(SdlWindow& window, bool wait) {
    if (wait != window.vsync && window.vsync_offered &&
        SDL_RenderSetVSync(window.renderer, wait ? 1 : 0) == 0)
        window.vsync = wait;
    int width = 0;
    int height = 0;
    SDL_GetRendererOutputSize(window.renderer, &width, &height);
    // The window's scale is in framebuffer pixels; the renderer draws in the output's own, which
    // on a scaled Wayland output are more to a point (SDL 2.26 keeps the framebuffer in points).
    int points = 0;
    SDL_GetWindowSize(window.sdl, &points, nullptr);
    int wanted = window.scale;
    if (points > 0 && width != points)
        wanted = static_cast<int>(
            window.scale * (static_cast<double>(width) / points) / window.pixels_per_point + 0.01);
    int fits = largest_fitting_scale(width, height, window.width, window.height);
    int scale = window.fullscreen || fits < wanted ? fits : wanted;
    window.shown =
        SDL_Rect{(width - window.width * scale) / 2, (height - window.height * scale) / 2,
                 window.width * scale, window.height * scale};
    SDL_SetRenderDrawColor(window.renderer, 0, 0, 0, 255);
    SDL_RenderClear(window.renderer);
    SDL_RenderCopy(window.renderer, window.texture, nullptr, &window.shown);
    SDL_RenderPresent(window.renderer);
    window.unshown = false;
}

void sdl_gpu_framebuffer_end(int slot, int, int, int width, int height) {
    SdlWindow& window = sdl_windows[slot];
    SDL_UnlockTexture(window.texture);
    if (width <= 0 || height <= 0)
        return;
    window.unshown = true;
    // A frame the pace holds for the display's refresh is presented in that wait.
    if (!pace_waits_refresh(slot))
        present(window, false);
}

void sdl_gpu_show_again(int slot) {
    SdlWindow& window = sdl_windows[slot];
    if (window.renderer != nullptr)
        present(window, window.vsync);
}

void sdl_gpu_present_pending() {
    for (SdlWindow& window : sdl_windows)
        if (window.renderer != nullptr && window.unshown)
            present(window, window.vsync);
}

void sdl_gpu_device_reset() {
    for (SdlWindow& window : sdl_windows) {
        if (window.renderer == nullptr)
            continue;
        // The textures are gone with the device: the picture comes back with the next frame.
        SDL_DestroyTexture(window.texture);
        window.texture = make_texture(window.renderer, window.width, window.height);
        if (window.texture != nullptr)
            present(window, window.vsync);
    }
}

void sdl_gpu_measure_refresh_wait(int slot) {
    SdlWindow& window = sdl_windows[slot];
    if (window.renderer == nullptr || window.measured)
        return;
    window.measured = true;
    constexpr int presents = 5;
    double synced[presents];
    double unsynced[presents];
    for (int pass = 0; pass < 2 && window.vsync_offered; pass++) {
        double* took = pass == 0 ? synced : unsynced;
        for (int i = 0; i < presents; i++) {
            uint64_t before = display_clock_us();
            present(window, pass == 0);
            took[i] = static_cast<double>(display_clock_us() - before);
        }
    }
    bool waits = false;
    if (window.vsync_offered) {
        double synced_us = middle_timing(synced, presents);
        double unsynced_us = middle_timing(unsynced, presents);
        waits = presents_wait_for_refresh(synced_us, unsynced_us);
        if (verbose())
            fprintf(stderr,
                    "platform: a present took %.1f ms with vertical sync, %.1f ms without: %s\n",
                    synced_us / 1000, unsynced_us / 1000,
                    waits ? "the display's pace waits for its refresh"
                          : "no wait for the display, frames paced by the timer");
    } else if (verbose()) {
        fprintf(stderr, "platform: the renderer offers no vertical sync: frames paced by the "
                        "timer\n");
    }
    pace_use_refresh_wait(waits);
}

// When the pace's wait for the refresh last returned.
static uint64_t last_refresh_us;

// The pace's wait for the display's refresh: a GPU window's frame presented with vertical sync;
// any other window waits one refresh on the clock. Should the presents stop waiting (a window
// manager that unmaps the window, a driver that drops vertical sync later), the wait still keeps
// three quarters of a refresh since the last one, so that the frames never run back to back.
void display_wait_refresh(int slot) {
    SdlWindow& window = sdl_windows[slot];
    double rate = window.sdl != nullptr ? display_refresh_rate(slot) : 0;
    uint64_t refresh_us = static_cast<uint64_t>(1e6 / (rate > 0 ? rate : default_refresh_hz));
    if (window.renderer != nullptr) {
        present(window, true);
        uint64_t least = last_refresh_us + refresh_us * 3 / 4;
        if (last_refresh_us != 0 && display_clock_us() < least)
            display_wait_until(least);
    } else {
        display_wait_until(display_clock_us() + refresh_us);
    }
    last_refresh_us = display_clock_us();
    display_pump_events();
}
