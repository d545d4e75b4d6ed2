// The fireworks simulation: the fire palette, the heat buffer step and the particle fountain.
// It owns the particle pool and the random generator; it does not own the heat buffer, which is
// the caller's 320 x 240 byte picture (in the programs, the pixel memory of an 8-bit surface).
// The heat buffer stores its rows bottom-up: screen row y is memory row 239 - y. Nothing here
// touches a window or allocates memory, so the whole engine runs and is tested without a display.
#pragma once

#include <cstdint>

#include <windows.h>

// The one picture size of both programs, which every module takes from here: the heat buffer,
// every surface, the window's client area and the recorder's frames.
constexpr int picture_width = 320;
constexpr int picture_height = 240;

constexpr int heat_width = picture_width;
constexpr int heat_height = picture_height;
constexpr int heat_size = heat_width * heat_height; // 76,800 bytes
constexpr int particle_count = 300;

// One spark. life is the frames left; 0 marks a free slot.
struct Particle {
    double x;  // column, 0 at the left
    double y;  // row, 0 at the top, growing downward
    double vx; // change of x per frame
    double vy; // change of y per frame, positive moves down
    int32_t life;
};

extern Particle particle_pool[particle_count];

// Fills 256 entries (blue, green, red, 0): black, then ramps of 85 steps of 3 through red and
// yellow to white.
void build_fire_palette(RGBQUAD palette[256]);

// One frame of the heat buffer: the two bottom rows lose `decay` (0..10), every other row is
// replaced, from the top down, by the blurred and decayed row below it. Works in place, SSE2.
// A decay below 0 acts as 0.
void decay_and_rise(uint8_t* heat, int32_t decay);

// The same step written straight from its definition, byte at a time. The fast version must
// equal it in every byte; tests and benchmarks keep it as the reference.
void decay_and_rise_plain(uint8_t* heat, int32_t decay);

// Adds b (1..255), saturating at 255, to the 21 pixels of the patch of update_particles around
// screen pixel (cx, cy) and returns true, when 2 <= cx <= 314 and 2 <= cy <= 237; elsewhere it
// touches nothing and returns false, and the caller draws the patch pixel by pixel.
bool add_spark_patch_inside(uint8_t* heat, int cx, int cy, int b);

// Frees all 300 slots (every field zero).
void clear_particle_pool();

// Launches up to two sparks into free slots, moves and bounces the others and adds each one's
// remaining life, saturating at 255, to a 21-pixel patch of the heat buffer.
void update_particles(uint8_t* heat);

// The one random generator: a 32-bit linear congruence whose state starts at 1 and is never
// seeded, so every run draws 41, 18467, 6334, ... Returns 0..32767.
int rand15();

// Puts the generator back to its start state, for tests and the recorder's fresh runs.
void reset_rand15();
