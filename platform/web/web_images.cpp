// LoadImageA in the web build: there is no bitmap decoder here (the SDL2 backend uses SDL's), so
// every bitmap load fails as a missing file would, said once. Neither program loads images.
#include "platform_internal.h"

HANDLE LoadImageA(HINSTANCE, LPCSTR, UINT, int, int, UINT) {
    say_once(notice_web_images);
    return nullptr;
}
