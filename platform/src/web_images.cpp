// LoadImageA in the web build: there is no bitmap decoder here (the SDL2 backend uses SDL's), so
// every bitmap load fails as a missing file would, said once. Neither program loads images.
#include "platform_internal.h"

static bool said_images;

HANDLE LoadImageA(HINSTANCE, LPCSTR, UINT, int, int, UINT) {
    say_once(&said_images, "LoadImageA: bitmaps cannot be loaded in the web build");
    return nullptr;
}
