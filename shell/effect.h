// The effect record: one per effect module, naming the program it belongs to and its three
// operations, plus the 8-bit surface each frame shows. The programs forward the shell's effect
// interface to it; the recorder and the benchmarks run an effect through it without a window.
#pragma once

#include <windows.h>

struct Surface;

struct Effect {
    const char* name; // the program that shows it: "sorvel2" or "sorvel"
    // The effect interface of shell.h: set up once, draw one frame (true: stop), release.
    void (*init)(HINSTANCE instance);
    bool (*render)(HDC window_dc);
    void (*shutdown)();
    const Surface* shown; // the 8-bit surface every frame copies to the window
};
