#include "bench_data.h"

#include <cstring>
#include <string>

#include "cpu_level.h"
#include "fireworks.h"
#include "pixel_copy.h"
#include "warp.h"

alignas(64) uint8_t bench_out[bench_picture_size];

alignas(64) static uint8_t heat_after_400_frames[bench_picture_size];
alignas(64) static uint32_t write_order_table[bench_picture_size];

void bench_run_fireworks(uint8_t* heat, int frames) {
    reset_rand15();
    clear_particle_pool();
    memset(heat, 0, bench_picture_size);
    for (int i = 0; i < frames; i++) {
        decay_and_rise(heat, 2);
        update_particles(heat);
    }
}

const uint8_t* bench_heat() {
    static bool made = false;
    if (!made) {
        bench_run_fireworks(heat_after_400_frames, 400);
        made = true;
    }
    return heat_after_400_frames;
}

const uint32_t* bench_write_order_table() {
    static bool made = false;
    if (!made) {
        warp::build_warp_tables();
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++)
                write_order_table[(239 - y) * 320 + x] =
                    warp::warp_tables[warp::polar_warp][warp::warp_index(x, y)];
        made = true;
    }
    return write_order_table;
}

bool bench_use_level(benchmark::State& state, int level) {
    if (level == bench_chosen) {
        measure_cpu_levels();
        copy_measure_levels();
        return true;
    }
    if (!set_cpu_level(static_cast<CpuLevel>(level)) ||
        !copy_force_level(static_cast<CopyLevel>(level))) {
        measure_cpu_levels();
        copy_measure_levels();
        state.SkipWithError("this processor cannot run this level");
        return false;
    }
    return true;
}

void bench_label_levels(benchmark::State& state) {
    state.SetLabel(std::string("steps ") + cpu_levels_in_use() + ", copies 1x " +
                   copy_level_name(copy_level_in_use(false)) + ", scaled " +
                   copy_level_name(copy_level_in_use(true)));
}
