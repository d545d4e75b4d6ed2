// The bitmap resources of the running program: a table that cmake/embed_bitmaps.cmake generates
// from a resource script at build time and links into the program. Each entry holds the bytes
// of a .bmp file without its 14-byte BITMAPFILEHEADER, so the data starts with the
// BITMAPINFOHEADER, exactly as a Windows RT_BITMAP resource does.
#pragma once

#include <windows.h>

struct EmbeddedBitmap {
    const char* name; // upper-case name, or null for a numbered resource
    WORD id;          // the number of a numbered resource, 0 for a named one
    const BYTE* data; // BITMAPINFOHEADER, colour table, pixels
    DWORD size;       // bytes of data
};

// The program's table and its number of entries. Programs that embed nothing get an empty
// table from the backend (a weak definition that the generated table replaces).
const EmbeddedBitmap* embedded_bitmaps(int* count);

// The entry that `name` (a string, "#123", or MAKEINTRESOURCEA(123)) names, compared without
// regard to case as Windows does; null if there is none.
const EmbeddedBitmap* find_embedded_bitmap(LPCSTR name);
