// How a window of the SDL display shows its frames: through a GPU renderer (a streaming texture
// of the client's size, drawn at the whole scale and presented with vertical sync) or through
// the window's framebuffer, where the processor writes the scaled picture. The choice and the
// measurement behind the pace are plain decisions over names and timings, kept here so that they
// can be tested without a display.
#pragma once

enum PresentAsk {
    present_by_machine, // the GPU where the renderer is a real GPU, the framebuffer elsewhere
    present_asked_gpu,  // SORVEL_PRESENT=gpu: the renderer whenever one can be made
    present_asked_cpu,  // SORVEL_PRESENT=cpu: always the framebuffer
};

// Reads SORVEL_PRESENT's value: unset or empty is present_by_machine, "gpu" and "cpu" ask for
// one. False, with `ask` untouched, for anything else.
bool parse_present(const char* text, PresentAsk* ask);

// Whether a renderer draws in software: SDL's own "software" renderer, or an OpenGL one whose
// GL_RENDERER string (null when it could not be read) names Mesa's llvmpipe or softpipe, or a
// "Software Rasterizer".
bool renderer_is_software(const char* renderer_name, const char* gl_renderer);

// The middle one of `count` timings (1 or more), which are sorted in place: one slow or early
// present does not decide.
double middle_timing(double* timings_us, int count);

// The least that a present with vertical sync must take beyond one without it to count as a
// wait for the display: a refresh of even 240 Hz takes over 4 ms.
constexpr double refresh_wait_least_us = 2000;

// Whether presents wait for the display's refresh, from the middle time of a few presents with
// vertical sync and of as many without: the drawing itself costs both alike (milliseconds in a
// software GL), the wait only the first.
bool presents_wait_for_refresh(double synced_us, double unsynced_us);
