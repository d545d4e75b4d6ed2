// The fast paths of a frame and of start-up against plain versions written from their
// definitions: the vectorised heat step on single hot bytes in every column of the rows where its
// passes pair up and wrap, and on a live run of fireworks; the warp remap on every entry a table
// can hold; the spark patch at every position in and around the picture; the drawing of every
// spark over a run; and the warp tables' build. The heat step and the remap run at every vector
// level the machine has (SSE2, AVX2, AVX-512), and as the measured choice leaves them; a level
// the machine lacks is skipped, saying so.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "cpu_level.h"
#include "fireworks.h"
#include "remap_levels.h"
#include "warp.h"

namespace {

using Heat = std::vector<uint8_t>;

Heat black() {
    return Heat(heat_size, 0);
}

// Runs a test at one vector level and puts the choice made at start-up back afterwards.
class AtLevel : public testing::TestWithParam<CpuLevel> {
  protected:
    void SetUp() override {
        if (!set_cpu_level(GetParam()))
            GTEST_SKIP() << "this processor cannot run " << cpu_level_name(GetParam());
    }
    void TearDown() override {
        if (started_with >= 0)
            set_cpu_level(static_cast<CpuLevel>(started_with));
        else
            measure_cpu_levels();
    }
    const int started_with = cpu_forced_level();
};

// A processor other than x86 runs one path under every level's name: the tests' names keep apart.
std::string level_name(const testing::TestParamInfo<CpuLevel>& info) {
    std::string name = cpu_level_name(info.param);
    if (info.param != cpu_sse2 && name == cpu_level_name(cpu_sse2))
        name += std::to_string(info.param);
    return name;
}

// The names that --time, SORVEL_VERBOSE and SORVEL_CPU use say what runs: SSE2 and up on x86, the
// plain C++ path elsewhere.
TEST(CpuLevelNames, SayWhatRuns) {
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_STREQ(cpu_level_name(cpu_sse2), "sse2");
    EXPECT_STREQ(cpu_level_name(cpu_avx2), "avx2");
    EXPECT_STREQ(cpu_level_name(cpu_avx512), "avx512");
#else
    for (int level = 0; level < cpu_level_count; level++)
        EXPECT_STREQ(cpu_level_name(static_cast<CpuLevel>(level)), "portable");
    EXPECT_FALSE(cpu_has_level(cpu_avx2));
    EXPECT_FALSE(set_cpu_level(cpu_avx2));
#endif
}

class FastHeatStep : public AtLevel {};
class FastRemap : public AtLevel {};

TEST_P(FastHeatStep, EqualsThePlainOneForAHotByteInEveryColumn) {
    // The bottom rows, the first and last pairs of passes, and a pair in the middle.
    for (int row : {0, 1, 2, 3, 4, 119, 120, 121, 236, 237, 238, 239}) {
        for (int column = 0; column < heat_width; column++) {
            Heat fast = black();
            fast[row * heat_width + column] = 255;
            Heat plain = fast;
            decay_and_rise(fast.data(), 2);
            decay_and_rise_plain(plain.data(), 2);
            ASSERT_EQ(fast, plain) << "row " << row << " column " << column;
        }
    }
}

TEST_P(FastHeatStep, EqualsThePlainOneThroughARunOfFireworks) {
    reset_rand15();
    clear_particle_pool();
    Heat heat = black();
    for (int frame = 0; frame < 600; frame++) {
        int decay = frame < 300 ? 2 : frame % 11;
        Heat plain = heat;
        decay_and_rise(heat.data(), decay);
        decay_and_rise_plain(plain.data(), decay);
        ASSERT_EQ(heat, plain) << "frame " << frame;
        update_particles(heat.data());
    }
}

TEST_P(FastHeatStep, DecayOutsideItsRangeIsClamped) {
    std::mt19937 random(3);
    Heat heat(heat_size);
    for (auto& b : heat)
        b = static_cast<uint8_t>(random());
    Heat zero_decay = heat;
    Heat negative = heat;
    decay_and_rise_plain(zero_decay.data(), 0);
    decay_and_rise(negative.data(), -7);
    EXPECT_EQ(negative, zero_decay) << "a negative decay acts as 0";
    decay_and_rise(heat.data(), 1000);
    EXPECT_EQ(heat, black()) << "a decay above 255 clears everything";
}

TEST_P(FastHeatStep, EqualsThePlainOneOnRandomBytesAtEveryDecay) {
    // Random bytes reach every five-byte sum, up to 1275, that the division must get right.
    std::mt19937 random(5);
    for (int decay = 0; decay <= 10; decay++) {
        Heat fast(heat_size);
        for (auto& b : fast)
            b = static_cast<uint8_t>(random());
        if (decay == 10)
            std::fill(fast.begin(), fast.end(), 255);
        Heat plain = fast;
        decay_and_rise(fast.data(), decay);
        decay_and_rise_plain(plain.data(), decay);
        ASSERT_EQ(fast, plain) << "decay " << decay;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, FastHeatStep, testing::Values(cpu_sse2, cpu_avx2, cpu_avx512),
                         level_name);

// A heat buffer whose last byte ends a page, with an unreadable page after it where the system
// has mmap: a read past the buffer's end stops the test instead of passing unseen.
struct GuardedHeat {
    uint8_t* bytes = nullptr;
    Heat fallback;
    GuardedHeat() {
#if __has_include(<sys/mman.h>)
        size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_t span = (heat_size + page - 1) / page * page;
        void* at =
            mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (at != MAP_FAILED) {
            uint8_t* base = static_cast<uint8_t*>(at);
            mprotect(base + span, page, PROT_NONE);
            bytes = base + span - heat_size;
            mapped = at;
            mapped_size = span + page;
            return;
        }
#endif
        fallback.resize(heat_size);
        bytes = fallback.data();
    }
    ~GuardedHeat() {
#if __has_include(<sys/mman.h>)
        if (mapped != nullptr)
            munmap(mapped, mapped_size);
#endif
    }
    void* mapped = nullptr;
    size_t mapped_size = 0;
};

TEST_P(FastRemap, NamesTheHeatByteOfEveryEntryUpToTheLastByte) {
    GuardedHeat heat;
    std::mt19937 random(7);
    for (int i = 0; i < heat_size; i++)
        heat.bytes[i] = static_cast<uint8_t>(random());
    std::vector<uint32_t> table(warp::table_size);
    // Every offset once, the last ones among the first entries, then random ones.
    for (int i = 0; i < warp::table_size; i++)
        table[i] = static_cast<uint32_t>(heat_size - 1 - i);
    std::vector<uint8_t> out(warp::table_size);
    for (int round = 0; round < 3; round++) {
        warp::remap_table(heat.bytes, table.data(), out.data());
        for (int i = 0; i < warp::table_size; i++)
            ASSERT_EQ(out[i], heat.bytes[table[i]]) << "round " << round << " entry " << i;
        for (auto& entry : table)
            entry = static_cast<uint32_t>(random() % heat_size);
        for (int i = 0; i < 64; i++) // the first and the last words, where the gather turns
            table[random() % warp::table_size] = static_cast<uint32_t>(heat_size - 1 - i % 8);
    }
}

TEST_P(FastRemap, FillsTheScreenThroughEachWarpLikeTheBaseline) {
    warp::build_warp_tables();
    Heat heat(heat_size);
    std::mt19937 random(9);
    for (auto& b : heat)
        b = static_cast<uint8_t>(random());
    for (int kind = 0; kind < 3; kind++) {
        Heat fast(warp::table_size, 0xA5);
        Heat baseline(warp::table_size, 0x5A);
        warp::remap_table(heat.data(), warp::warp_tables[kind], fast.data());
        warp::remap_table_baseline(heat.data(), warp::warp_tables[kind], baseline.data());
        ASSERT_EQ(fast, baseline) << "warp " << kind;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, FastRemap, testing::Values(cpu_sse2, cpu_avx2, cpu_avx512),
                         level_name);

// Left to measure, each step runs a path the machine has, writes what the plain one writes, and
// keeps its choice; asked to, it measures again.
TEST(MeasuredLevels, EachStepRunsAPathTheMachineHasAndKeepsIt) {
    const int started_with = cpu_forced_level();
    measure_cpu_levels();
    EXPECT_EQ(cpu_forced_level(), -1);
    std::mt19937 random(21);
    Heat heat(heat_size);
    for (auto& b : heat)
        b = static_cast<uint8_t>(random());
    Heat plain = heat;
    decay_and_rise(heat.data(), 3);
    decay_and_rise_plain(plain.data(), 3);
    EXPECT_EQ(heat, plain);
    std::vector<uint32_t> table(warp::table_size);
    for (auto& entry : table)
        entry = static_cast<uint32_t>(random() % heat_size);
    Heat out(warp::table_size);
    warp::remap_table(heat.data(), table.data(), out.data());
    for (int i = 0; i < warp::table_size; i++)
        ASSERT_EQ(out[i], heat[table[i]]) << "entry " << i;

    // "heat step avx512, remap avx2", or one level's name when both run it.
    std::string in_use = cpu_levels_in_use();
    bool named = false;
    for (int level = 0; level < cpu_level_count; level++) {
        std::string name = cpu_level_name(static_cast<CpuLevel>(level));
        if (level > cpu_sse2 && name == cpu_level_name(cpu_sse2))
            continue; // the one path of a processor other than x86
        bool mentioned = in_use.find(name) != std::string::npos;
        if (mentioned) {
            EXPECT_TRUE(cpu_has_level(static_cast<CpuLevel>(level))) << in_use;
        }
        named = named || mentioned;
    }
    EXPECT_TRUE(named) << in_use;
    EXPECT_EQ(cpu_levels_in_use(), in_use) << "a step measured once keeps its choice";
    EXPECT_TRUE(set_cpu_level(cpu_sse2));
    EXPECT_STREQ(cpu_levels_in_use(), cpu_level_name(cpu_sse2));
    EXPECT_EQ(set_cpu_level(static_cast<CpuLevel>(cpu_level_count)), false);
    EXPECT_EQ(cpu_forced_level(), cpu_sse2) << "a level that does not exist changes nothing";
    if (started_with >= 0)
        set_cpu_level(static_cast<CpuLevel>(started_with));
    else
        measure_cpu_levels();
}

// The patch from its definition: columns cx - 2..cx + 2, three rows for the outer two and five
// for the inner three, pixels outside the picture skipped.
void add_patch_pixel_by_pixel(Heat& heat, int cx, int cy, int b) {
    for (int column = cx - 2; column <= cx + 2; column++) {
        int h = (column == cx - 2 || column == cx + 2) ? 1 : 2;
        for (int row = cy - h; row <= cy + h; row++) {
            if (column < 0 || column >= heat_width || row < 0 || row >= heat_height)
                continue;
            uint8_t& pixel = heat[(heat_height - 1 - row) * heat_width + column];
            pixel = static_cast<uint8_t>(std::min(pixel + b, 255));
        }
    }
}

TEST(SparkPatch, AddsThePatchInsideAndLeavesTheBordersToTheCaller) {
    std::mt19937 random(11);
    Heat original(heat_size);
    for (auto& b : original)
        b = static_cast<uint8_t>(random() % 256);
    Heat fast = original;
    Heat expected = original;
    for (int cy = -3; cy <= heat_height + 2; cy++) {
        // the memory rows a patch centred on screen row cy can reach, with one to spare
        int first = std::max(0, heat_height - 1 - cy - 3) * heat_width;
        int end = std::min(heat_height, heat_height - 1 - cy + 4) * heat_width;
        for (int cx = -3; cx <= heat_width + 2; cx++) {
            int b = 1 + static_cast<int>(random() % 255);
            bool inside = cx >= 2 && cx <= 314 && cy >= 2 && cy <= 237;
            bool drawn = add_spark_patch_inside(fast.data(), cx, cy, b);
            ASSERT_EQ(drawn, inside) << cx << "," << cy;
            if (drawn)
                add_patch_pixel_by_pixel(expected, cx, cy, b);
            if (first >= end)
                continue;
            ASSERT_TRUE(
                std::equal(fast.begin() + first, fast.begin() + end, expected.begin() + first))
                << cx << "," << cy << " brightness " << b;
            std::copy(original.begin() + first, original.begin() + end, fast.begin() + first);
            std::copy(original.begin() + first, original.begin() + end, expected.begin() + first);
        }
    }
    EXPECT_EQ(fast, original) << "nothing written outside the patches";
}

TEST(SparkPatch, EverySparkOfARunIsDrawnOnceWhereItFlies) {
    reset_rand15();
    clear_particle_pool();
    Heat heat = black();
    int at_border = 0;
    int inside = 0;
    for (int frame = 0; frame < 900; frame++) {
        decay_and_rise(heat.data(), 2);
        Heat expected = heat;
        std::vector<Particle> before(particle_pool, particle_pool + particle_count);
        update_particles(heat.data());
        for (int i = 0; i < particle_count; i++) {
            const Particle& p = particle_pool[i];
            // a spark spawned this frame is not drawn, nor one whose life has just run out
            if (before[i].life == 0 || p.life == 0)
                continue;
            int cx = static_cast<int>(p.x);
            int cy = static_cast<int>(p.y);
            add_patch_pixel_by_pixel(expected, cx, cy, p.life);
            (cx >= 2 && cx <= 314 && cy >= 2 && cy <= 237 ? inside : at_border)++;
        }
        ASSERT_EQ(heat, expected) << "frame " << frame;
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(at_border, 1000) << "sparks on the floor and at the walls take the other path";
}

TEST(WarpTableBuild, EqualsThePerPixelComputation) {
    warp::build_warp_tables();
    const double K = 3.1415926535;
    const double T = 6.283185307;
    auto offset = [](int c, int r) {
        c = std::clamp(c, 0, 319);
        r = std::clamp(r, 0, 239);
        return static_cast<uint32_t>((239 - r) * 320 + c);
    };
    for (int x = 0; x < 320; x++) {
        for (int y = 0; y < 240; y++) {
            int dx = x - 160;
            int dy = y - 120;
            double d = sqrt(static_cast<double>(dx * dx + dy * dy));
            double theta = atan2(static_cast<double>(dx), static_cast<double>(dy)) + K;
            int r = static_cast<int>((d / 200.0) * 239.0);
            int polar = static_cast<int>((theta / T) * 319.0) % 320;
            int swirl = static_cast<int>((theta / T) * 319.0 + d * 2.0) % 320;
            double a = sin(d / 2.0) * 5.0;
            int ripple_c = static_cast<int>(cos(theta) * a + x);
            int ripple_r = static_cast<int>(sin(theta) * a + y);
            int i = warp::warp_index(x, y);
            ASSERT_EQ(warp::warp_tables[warp::polar_warp][i], offset(polar, r)) << x << "," << y;
            ASSERT_EQ(warp::warp_tables[warp::swirl_warp][i], offset(swirl, r)) << x << "," << y;
            ASSERT_EQ(warp::warp_tables[warp::ripple_warp][i], offset(ripple_c, ripple_r))
                << x << "," << y;
            ASSERT_EQ(warp::active_warp_table[i], offset(polar, r)) << x << "," << y;
        }
    }
}

} // namespace
