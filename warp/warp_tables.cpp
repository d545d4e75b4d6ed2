#include "warp.h"

#include <cmath>
#include <cstring>

namespace warp {

WarpTable warp_tables[3];
WarpTable active_warp_table;

// The tables' constants are these decimals, not pi and 2 pi: K is about 9e-11 short of pi,
// which shows in the ripple warp on the screen's centre lines.
static const double K = 3.1415926535;
static const double T = 6.283185307; // exactly 2 K

static int clamp(int v, int low, int high) {
    return v < low ? low : (v > high ? high : v);
}

// The heat byte at column c and row r counted from the top of the picture.
static uint32_t heat_offset(int c, int r) {
    return static_cast<uint32_t>((height - 1 - r) * width + c);
}

// The ripple's amplitude sin(d / 2) * 5 depends only on the distance d, so on |dx| and |dy|:
// computed once for each of their 161 x 121 pairs instead of once per pixel. Each value comes
// from the same sum dx * dx + dy * dy as it would per pixel, so it is the same double.
static double ripple_amplitude[161][121];

void build_warp_tables() {
    const double radius = sqrt(40000.0); // distance from the centre to (0, 0), the farthest pixel
    for (int a = 0; a <= 160; a++)
        for (int b = 0; b <= 120; b++)
            ripple_amplitude[a][b] = sin(sqrt(static_cast<double>(a * a + b * b)) / 2.0) * 5.0;

    for (int x = 0; x < width; x++) {
        for (int y = 0; y < height; y++) {
            int dx = x - 160;
            int dy = y - 120;
            double d = sqrt(static_cast<double>(dx * dx + dy * dy));
            // atan2 takes dx first: the angle is measured from straight down
            double theta = atan2(static_cast<double>(dx), static_cast<double>(dy)) + K;
            int index = warp_index(x, y);

            int r = static_cast<int>((d / radius) * 239.0);
            int c = static_cast<int>((theta / T) * 319.0) % 320;
            uint32_t polar = heat_offset(clamp(c, 0, 319), clamp(r, 0, 239));
            warp_tables[polar_warp][index] = polar;
            active_warp_table[index] = polar;

            c = static_cast<int>((theta / T) * 319.0 + d * 2.0) % 320;
            warp_tables[swirl_warp][index] = heat_offset(clamp(c, 0, 319), clamp(r, 0, 239));

            double a = ripple_amplitude[dx < 0 ? -dx : dx][dy < 0 ? -dy : dy];
            c = static_cast<int>(cos(theta) * a + x);
            r = static_cast<int>(sin(theta) * a + y);
            warp_tables[ripple_warp][index] = heat_offset(clamp(c, 0, 319), clamp(r, 0, 239));
        }
    }
}

} // namespace warp
