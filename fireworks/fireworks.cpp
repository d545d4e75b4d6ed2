#include "fireworks.h"

#include <cstring>

Particle particle_pool[particle_count];

static uint32_t rand_state = 1;

int rand15() {
    rand_state = rand_state * 214013u + 2531011u;
    return static_cast<int>((rand_state >> 16) & 32767u);
}

void reset_rand15() {
    rand_state = 1;
}

void build_fire_palette(RGBQUAD palette[256]) {
    palette[0] = RGBQUAD{0, 0, 0, 0};
    for (int i = 0; i < 85; i++) {
        BYTE v = static_cast<BYTE>(3 * i + 3);
        palette[1 + i] = RGBQUAD{0, 0, v, 0};
        palette[86 + i] = RGBQUAD{0, v, 255, 0};
        palette[171 + i] = RGBQUAD{v, 255, 255, 0};
    }
}

void clear_particle_pool() {
    memset(particle_pool, 0, sizeof particle_pool);
}

// Adds brightness b to the 5 x 5 patch without its corners around screen pixel (cx, cy),
// skipping pixels outside the picture.
static void draw_spark(uint8_t* heat, int cx, int cy, int b) {
    if (add_spark_patch_inside(heat, cx, cy, b))
        return;
    for (int column = cx - 2; column <= cx + 2; column++) {
        if (column < 0 || column >= heat_width)
            continue;
        int h = (column == cx - 2 || column == cx + 2) ? 1 : 2;
        for (int row = cy - h; row <= cy + h; row++) {
            if (row < 0 || row >= heat_height)
                continue;
            uint8_t* p = heat + (heat_height - 1 - row) * heat_width + column;
            int v = *p + b;
            *p = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    }
}

void update_particles(uint8_t* heat) {
    int spawn_budget = 2;
    for (Particle& p : particle_pool) {
        if (p.life == 0 && spawn_budget > 0) {
            p.x = 160.0;
            p.y = 120.0;
            p.vx = rand15() / 32767.0 * 2.0 - 1.0;
            p.vy = rand15() / 32767.0 * 2.0 - 1.0;
            p.life = 200 + 50 * (rand15() / 32767);
            spawn_budget--;
        } else if (p.life > 0) {
            p.vy = p.vy + 0.005;
            p.x = p.x + p.vx;
            p.y = p.y + p.vy;
            if (p.y > 239.0) {
                p.vy = -p.vy * 0.7;
                p.y = 239.0;
            }
            if (p.y < 0.0) {
                p.vy = -p.vy;
                p.y = 0.0;
            }
            if (p.x > 319.0) {
                p.vx = -p.vx;
                p.x = 319.0;
            }
            if (p.x < 0.0) {
                p.vx = -p.vx;
                p.x = 0.0;
            }
            p.life = p.life - 1 < 0 ? 0 : p.life - 1;
            int b = static_cast<uint8_t>(p.life);
            if (b != 0)
                draw_spark(heat, static_cast<int>(p.x), static_cast<int>(p.y), b);
        }
    }
}

static uint8_t decayed(int v, int32_t decay) {
    v -= decay;
    return static_cast<uint8_t>(v > 0 ? v : 0);
}

void decay_and_rise_plain(uint8_t* heat, int32_t decay) {
    for (int i = 0; i < 2 * heat_width; i++)
        heat[i] = decayed(heat[i], decay);
    // Rows are processed from the top down so that each pass writes the row above the one it
    // centres on, which no later pass reads: the update works in place. Neighbours are taken in
    // the linear layout, so column 319 reads the first byte of the row above, already written
    // earlier in this same pass.
    for (int r = heat_height - 2; r >= 1; r--) {
        for (int c = 0; c < heat_width; c++) {
            int i = r * heat_width + c;
            int s =
                heat[i] + heat[i - 1] + heat[i + 1] + heat[i - heat_width] + heat[i + heat_width];
            heat[i + heat_width] = decayed(s / 5, decay);
        }
    }
}
