// The warp tables against their worked values, and sorvel2's effect: table switches, the remap
// and the heat buffer's independence from the warp in force.
#include <cstring>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "fireworks.h"
#include "shell.h"
#include "warp.h"

namespace {

using warp::polar_warp;
using warp::ripple_warp;
using warp::swirl_warp;
using warp::warp_index;
using warp::warp_tables;

class WarpTables : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        warp::build_warp_tables();
    }
    static uint32_t entry(int table, int x, int y) {
        return warp_tables[table][warp_index(x, y)];
    }
};

TEST_F(WarpTables, CentreAndCornerPixels) {
    EXPECT_EQ(entry(polar_warp, 160, 120), 76639u); // column 159, row 0
    EXPECT_EQ(entry(swirl_warp, 160, 120), 76639u);
    EXPECT_EQ(entry(ripple_warp, 160, 120), 38240u); // column 160, row 120

    EXPECT_EQ(entry(polar_warp, 0, 0), 47u); // d is exactly 200: row 239
    EXPECT_EQ(entry(swirl_warp, 0, 0), 127u);
    EXPECT_EQ(entry(ripple_warp, 0, 0), 76480u); // column -1 and row -2 clamp to 0

    // straight above the centre: 319.0000000046 truncates to column 319, never 320
    EXPECT_EQ(entry(polar_warp, 160, 0), 31039u);
    EXPECT_EQ(entry(swirl_warp, 160, 0), 30959u);
}

TEST_F(WarpTables, RippleShowsTheConstantIsNotPi) {
    // cos and sin of the angle are about 9e-11 off zero on the centre lines
    EXPECT_EQ(entry(ripple_warp, 116, 120), 38515u); // column 115, row 119
    EXPECT_EQ(entry(ripple_warp, 204, 120), 38284u); // column 204, row 120
}

TEST_F(WarpTables, PolarGeometry) {
    auto column = [](int x, int y) { return entry(polar_warp, x, y) % 320; };
    auto row = [](int x, int y) { return 239 - static_cast<int>(entry(polar_warp, x, y) / 320); };
    EXPECT_EQ(column(60, 120), 79u);   // straight left
    EXPECT_EQ(column(160, 200), 159u); // straight below
    EXPECT_EQ(column(260, 120), 239u); // straight right
    EXPECT_EQ(column(160, 30), 319u);  // straight up
    EXPECT_EQ(row(160, 120), 0);
    EXPECT_EQ(row(0, 0), 239);
    for (auto [x, y] : {std::pair{319, 0}, {0, 239}, {319, 239}}) {
        EXPECT_GE(row(x, y), 237) << x << "," << y;
        EXPECT_LE(row(x, y), 238) << x << "," << y;
    }
}

TEST_F(WarpTables, DistinctBytesAndBounds) {
    const size_t expected[3] = {46081, 41907, 47586};
    for (int t = 0; t < 3; t++) {
        std::set<uint32_t> distinct(warp_tables[t], warp_tables[t] + warp::table_size);
        EXPECT_EQ(distinct.size(), expected[t]) << "table " << t;
        EXPECT_LT(*distinct.rbegin(), 76800u);
    }
    EXPECT_EQ(memcmp(warp::active_warp_table, warp_tables[polar_warp], sizeof(warp::WarpTable)), 0);
}

class WarpEffect : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_rand15();
        variant = 0;
        decay = 2;
        warp::applied_variant = 0;
        warp::effect_init(nullptr);
        surface_create(&window, 32, 320, 240, nullptr);
    }
    void TearDown() override {
        warp::effect_shutdown();
        surface_destroy(&window);
    }
    static bool active_is(int table) {
        return memcmp(warp::active_warp_table, warp_tables[table], sizeof(warp::WarpTable)) == 0;
    }
    void frames(int n) {
        for (int i = 0; i < n; i++)
            EXPECT_FALSE(warp::effect_render(window.dc));
    }
    Surface window;
};

TEST_F(WarpEffect, SpaceStepsThroughTheWarps) {
    ASSERT_NE(warp::fire_surface.bits, nullptr);
    ASSERT_NE(warp::screen_surface.bits, nullptr);
    frames(1);
    EXPECT_TRUE(active_is(polar_warp));
    EXPECT_EQ(warp::applied_variant, 0);

    variant = 1;
    frames(1);
    EXPECT_TRUE(active_is(swirl_warp));
    EXPECT_EQ(warp::applied_variant, 1);
    variant = 2;
    frames(1);
    EXPECT_TRUE(active_is(ripple_warp));
    variant = 3;
    frames(1);
    EXPECT_TRUE(active_is(polar_warp));
    variant = 5; // a jump of two applies only the value it lands on
    frames(1);
    EXPECT_TRUE(active_is(ripple_warp));
    EXPECT_EQ(warp::applied_variant, 5);
}

TEST_F(WarpEffect, RemapShowsTheNamedHeatBytes) {
    frames(1);
    EXPECT_EQ(std::vector<uint8_t>(warp::screen_surface.bits, warp::screen_surface.bits + 76800),
              std::vector<uint8_t>(76800, 0))
        << "no heat yet: all black";

    std::mt19937 random(7);
    for (int i = 0; i < 76800; i++)
        warp::fire_surface.bits[i] = static_cast<uint8_t>(random());
    for (int t : {polar_warp, ripple_warp}) {
        memcpy(warp::active_warp_table, warp_tables[t], sizeof(warp::WarpTable));
        warp::remap_through_warp();
        auto screen = [](int x, int y) { return warp::screen_surface.bits[(239 - y) * 320 + x]; };
        auto heat = [](int column, int memory_row) {
            return warp::fire_surface.bits[memory_row * 320 + column];
        };
        if (t == polar_warp)
            EXPECT_EQ(screen(160, 120), heat(159, 239)); // top row of the heat picture
        else
            EXPECT_EQ(screen(160, 120), heat(160, 119));
        for (int x = 0; x < 320; x++)
            for (int y = 0; y < 240; y++)
                ASSERT_EQ(screen(x, y), warp::fire_surface.bits[warp_tables[t][warp_index(x, y)]]);
    }
}

TEST_F(WarpEffect, SwitchingLeavesTheFireworksAlone) {
    frames(30);
    std::vector<uint8_t> plain(warp::fire_surface.bits, warp::fire_surface.bits + 76800);
    std::vector<Particle> plain_pool(particle_pool, particle_pool + particle_count);
    TearDown();
    SetUp();
    for (int i = 0; i < 30; i++) {
        if (i % 7 == 3)
            variant++;
        frames(1);
    }
    EXPECT_EQ(std::vector<uint8_t>(warp::fire_surface.bits, warp::fire_surface.bits + 76800),
              plain);
    EXPECT_EQ(memcmp(particle_pool, plain_pool.data(), sizeof particle_pool), 0);
}

TEST_F(WarpEffect, FrameReachesTheWindowInFireColours) {
    frames(40);
    RGBQUAD palette[256];
    build_fire_palette(palette);
    int lit = 0;
    for (int y = 0; y < 240; y++) {
        for (int x = 0; x < 320; x++) {
            uint8_t index = warp::screen_surface.bits[(239 - y) * 320 + x];
            const uint8_t* shown = window.bits + (239 - y) * window.stride + 4 * x;
            ASSERT_EQ(memcmp(shown, &palette[index], 3), 0) << x << "," << y;
            lit += index != 0;
        }
    }
    EXPECT_GT(lit, 100);
}

} // namespace
