// Loaders of the surface library: fill a Surface or a 256-entry colour table from a bitmap file
// or from one of the running program's bitmap resources, and find the colour-table index that
// GDI picks for a colour. Neither program calls them; they report no failure, and a failed load
// leaves the caller's surface or table in a documented state (see each contract below).
#pragma once

#include <cstdint>

#include <windows.h>

#include "surface.h"

// Copies the top-left width x height pixels of a bitmap onto the surface at (0, 0), unscaled,
// colours converted by BitBlt to the surface's format (at 8 bits: to entries of its colour
// table). from_file != 0: name is a file path; 0: name is a bitmap resource of the running
// program (a string or MAKEINTRESOURCEA id). If the image cannot be loaded, the surface is left
// as it was.
void surface_load_bitmap(Surface* surface, LPCSTR name, int32_t from_file);

// Fills table (256 entries, 1024 bytes) with the colour table of an 8-bit bitmap: the 1024 bytes
// at file offset 54, or the 1024 bytes behind a resource's 40-byte header; neither header is
// interpreted. Wherever the file or resource ends short, or the name names nothing, the entries
// of the default palette stay in place: the 3-3-2 colour cube with red from bits 5..7, green from
// bits 2..4 and blue from bits 0..1 of the index, each scaled to 0..255 by truncating division.
void load_palette(RGBQUAD table[256], LPCSTR name, int32_t from_file);

// The colour-table index (0..255) that GDI chooses for colour on an 8-bit surface. Writes the
// bottom-left pixel through the surface's DC and puts its byte back, so the pixel memory ends
// as it was. Returns 0 for a surface without pixel memory.
uint8_t nearest_palette_index(Surface* surface, COLORREF colour);
