// libFuzzer target for the loaders' two file-reading paths: each input is written to a file and
// read by surface_load_bitmap (LoadImageA from a file, then BitBlt onto an 8-bit 320 x 240
// surface) and by load_palette (_lopen and three _lread calls). The sanitizers catch any read or
// write outside a buffer; the palette is also checked against what load_palette promises.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "loaders.h"

static Surface surface;
static char path[256];

static RGBQUAD cube_entry(int i) {
    return RGBQUAD{static_cast<BYTE>((i & 3) * 255 / 3),
                   static_cast<BYTE>(((i >> 2) & 7) * 255 / 7),
                   static_cast<BYTE>(((i >> 5) & 7) * 255 / 7), 0};
}

static void remove_input() {
    remove(path);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RGBQUAD table[256];
    for (int i = 0; i < 256; i++)
        table[i] = cube_entry(i);
    surface_create(&surface, 8, 320, 240, table);
    const char* directory = getenv("TMPDIR");
    snprintf(path, sizeof(path), "%s/sorvel_loaders_fuzz_%d.bmp",
             directory != nullptr ? directory : "/tmp", static_cast<int>(getpid()));
    atexit(remove_input);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr)
        abort();
    if (size > 0 && fwrite(data, 1, size, file) != size)
        abort();
    fclose(file);

    surface_load_bitmap(&surface, path, 1);

    // The 1024 bytes at offset 54 as far as the file has them, the default cube beyond.
    RGBQUAD table[256];
    load_palette(table, path, 1);
    const uint8_t* got = reinterpret_cast<const uint8_t*>(table);
    for (size_t i = 0; i < 1024; i++) {
        RGBQUAD entry = cube_entry(static_cast<int>(i / 4));
        uint8_t want =
            54 + i < size ? data[54 + i] : reinterpret_cast<const uint8_t*>(&entry)[i % 4];
        if (got[i] != want)
            abort();
    }
    return 0;
}
