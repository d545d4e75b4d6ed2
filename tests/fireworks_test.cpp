// The fireworks engine against its worked values: the palette, the heat buffer step (including
// the top-down order and the column-319 wrap) and the particle fountain's exact sequence.
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "fireworks.h"

namespace {

// Screen pixel (x, y) of a bottom-up heat buffer.
uint8_t& at(std::vector<uint8_t>& heat, int column, int memory_row) {
    return heat[memory_row * heat_width + column];
}

std::vector<uint8_t> black() {
    return std::vector<uint8_t>(heat_size, 0);
}

TEST(FirePalette, RampsThroughRedAndYellowToWhite) {
    RGBQUAD p[256];
    memset(p, 0xAB, sizeof p);
    build_fire_palette(p);
    auto rgb = [&](int k) { return std::vector<int>{p[k].rgbRed, p[k].rgbGreen, p[k].rgbBlue}; };
    EXPECT_EQ(rgb(0), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(rgb(1), (std::vector<int>{3, 0, 0}));
    EXPECT_EQ(rgb(85), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(rgb(86), (std::vector<int>{255, 3, 0}));
    EXPECT_EQ(rgb(170), (std::vector<int>{255, 255, 0}));
    EXPECT_EQ(rgb(171), (std::vector<int>{255, 255, 3}));
    EXPECT_EQ(rgb(255), (std::vector<int>{255, 255, 255}));
    for (int k = 0; k < 256; k++) {
        EXPECT_EQ(p[k].rgbReserved, 0) << k;
        for (int j = 0; j < k; j++)
            EXPECT_NE(memcmp(&p[j], &p[k], 4), 0) << j << " equals " << k;
    }
}

TEST(DecayAndRise, UniformBuffers) {
    auto heat = std::vector<uint8_t>(heat_size, 77);
    decay_and_rise(heat.data(), 0);
    EXPECT_EQ(heat, std::vector<uint8_t>(heat_size, 77)) << "decay 0 keeps a uniform buffer";

    decay_and_rise(heat.data(), 2);
    for (int c = 0; c < heat_width; c++) {
        EXPECT_EQ(at(heat, c, 0), 75);
        EXPECT_EQ(at(heat, c, 1), 75);
        EXPECT_EQ(at(heat, c, 2), 73) << c; // reads the already decayed row 1
        EXPECT_EQ(at(heat, c, 3), 74) << c; // row 1 decayed below, row 2 still old above
        for (int r = 4; r < heat_height; r++)
            ASSERT_EQ(at(heat, c, r), c == 319 ? 74 : 75) << "row " << r << " column " << c;
    }
}

TEST(DecayAndRise, BottomRowsOnlyDecay) {
    auto heat = black();
    for (int i = 0; i < 2 * heat_width; i++)
        heat[i] = static_cast<uint8_t>(i % 21);
    decay_and_rise(heat.data(), 10);
    for (int i = 0; i < 2 * heat_width; i++)
        ASSERT_EQ(heat[i], i % 21 <= 10 ? 0 : i % 21 - 10) << i;
}

TEST(DecayAndRise, SingleHotByteRisesAsAPlus) {
    auto heat = black();
    at(heat, 100, 100) = 255;
    decay_and_rise(heat.data(), 2);
    auto expected = black();
    for (auto [c, r] : {std::pair{100, 101}, {99, 101}, {101, 101}, {100, 100}, {100, 102}})
        at(expected, c, r) = 49;
    // Processed bottom-up instead, the heat would climb the whole height in one frame.
    EXPECT_EQ(heat, expected);
}

TEST(DecayAndRise, RightEdgeWrapsIntoTheRowAbove) {
    auto heat = black();
    at(heat, 319, 100) = 255;
    decay_and_rise(heat.data(), 2);
    auto expected = black();
    for (auto [c, r] : {std::pair{319, 100}, {318, 101}, {319, 101}, {0, 102}})
        at(expected, c, r) = 49;
    // column 319 of row 102 reads the new first byte of its own row as its right neighbour
    at(expected, 319, 102) = 58;
    EXPECT_EQ(heat, expected);
}

TEST(DecayAndRise, FastStepEqualsThePlainOneOnRandomBuffers) {
    std::mt19937 random(12345);
    for (int decay = 0; decay <= 10; decay++) {
        for (int round = 0; round < 4; round++) {
            auto heat = black();
            for (auto& b : heat)
                b = static_cast<uint8_t>(round == 3 ? 255 - random() % 8 : random());
            auto plain = heat;
            decay_and_rise(heat.data(), decay);
            decay_and_rise_plain(plain.data(), decay);
            ASSERT_EQ(heat, plain) << "decay " << decay << " round " << round;
        }
    }
}

TEST(Rand15, FixedSequenceFromStateOne) {
    reset_rand15();
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724})
        EXPECT_EQ(rand15(), expected);
    reset_rand15();
    EXPECT_EQ(rand15(), 41);
}

class Fountain : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_rand15();
        clear_particle_pool();
        heat = black();
    }
    int life_of(int slot) {
        return particle_pool[slot].life;
    }
    std::vector<uint8_t> heat;
};

TEST_F(Fountain, FirstTwoFramesOfARun) {
    update_particles(heat.data());
    EXPECT_EQ(heat, black()) << "a spark is not drawn in the frame it spawns";
    const Particle& p = particle_pool[0];
    EXPECT_EQ(p.x, 160.0);
    EXPECT_EQ(p.y, 120.0);
    EXPECT_EQ(p.vx, 41 / 32767.0 * 2.0 - 1.0);
    EXPECT_NEAR(p.vx, -0.99749748, 1e-8);
    EXPECT_NEAR(p.vy, 0.12717063, 1e-8);
    EXPECT_EQ(p.life, 200);
    EXPECT_NEAR(particle_pool[1].vx, 26500 / 32767.0 * 2.0 - 1.0, 0);
    EXPECT_NEAR(particle_pool[1].vy, 19169 / 32767.0 * 2.0 - 1.0, 0);
    EXPECT_EQ(life_of(1), 200);
    for (int i = 2; i < particle_count; i++)
        ASSERT_EQ(life_of(i), 0) << i;

    update_particles(heat.data());
    EXPECT_NEAR(p.x, 159.00250, 1e-5);
    EXPECT_NEAR(p.y, 120.13217, 1e-5);
    EXPECT_EQ(p.life, 199);
    // column 157 is covered by slot 0's patch alone (slot 1 is centred on column 160)
    for (int row = 119; row <= 121; row++)
        EXPECT_EQ(at(heat, 157, 239 - row), 199) << row;
    EXPECT_EQ(at(heat, 157, 239 - 118), 0);
    EXPECT_EQ(life_of(2), 200);
    EXPECT_EQ(life_of(3), 200);
    EXPECT_EQ(life_of(4), 0);
}

TEST_F(Fountain, SpawnCycleOf201Frames) {
    std::vector<int> spawned_in_frame;
    for (int frame = 1; frame <= 404; frame++) {
        int before[particle_count];
        for (int i = 0; i < particle_count; i++)
            before[i] = life_of(i);
        update_particles(heat.data());
        int spawned = 0;
        for (int i = 0; i < particle_count; i++) {
            if (before[i] == 0 && life_of(i) != 0) {
                spawned++;
                if (frame == 1 || frame == 202) {
                    EXPECT_LT(i, 2) << "frame " << frame;
                }
                if (frame == 150) {
                    EXPECT_GE(i, 298);
                }
            }
        }
        spawned_in_frame.push_back(spawned);
    }
    for (int frame = 1; frame <= 404; frame++) {
        int in_cycle = (frame - 1) % 201 + 1;
        EXPECT_EQ(spawned_in_frame[frame - 1], in_cycle <= 150 ? 2 : 0) << "frame " << frame;
    }
}

TEST_F(Fountain, FirstLongLifeIsThe12908thSpark) {
    int sparks = 0;
    for (int frame = 0; frame < 20000; frame++) {
        int before[particle_count];
        for (int i = 0; i < particle_count; i++)
            before[i] = life_of(i);
        update_particles(heat.data());
        for (int i = 0; i < particle_count; i++) {
            if (before[i] != 0 || life_of(i) == 0)
                continue;
            sparks++;
            if (life_of(i) != 200) {
                EXPECT_EQ(life_of(i), 250);
                EXPECT_EQ(sparks, 12908);
                return;
            }
        }
    }
    FAIL() << "no spark got a life of 250";
}

TEST_F(Fountain, SpawnBudgetFillsTheFirstTwoFreeSlotsOnly) {
    for (Particle& p : particle_pool)
        p = Particle{50.0, 50.0, 0.0, 0.0, 100};
    for (int slot : {5, 9, 17})
        particle_pool[slot].life = 0;
    particle_pool[3].life = 1; // reaches 0 this frame: not refilled in the same frame
    update_particles(heat.data());
    EXPECT_EQ(life_of(5), 200);
    EXPECT_EQ(particle_pool[5].x, 160.0);
    EXPECT_EQ(life_of(9), 200);
    EXPECT_EQ(life_of(17), 0);
    EXPECT_EQ(life_of(3), 0);
    update_particles(heat.data());
    EXPECT_EQ(life_of(3), 200) << "a slot freed last frame is filled first";
    EXPECT_EQ(life_of(17), 200);
}

// Runs one frame of a single spark in slot 0 (the others flying far from it).
Particle step_one(std::vector<uint8_t>& heat, Particle p) {
    clear_particle_pool();
    for (Particle& other : particle_pool)
        other = Particle{10.0, 10.0, 0.0, -0.005, 100};
    particle_pool[0] = p;
    update_particles(heat.data());
    return particle_pool[0];
}

TEST_F(Fountain, BouncesAreStrictAndOnlyTheFloorTakesSpeed) {
    Particle p = step_one(heat, Particle{100.0, 238.5, 0.0, 1.0, 100});
    EXPECT_EQ(p.y, 239.0);
    EXPECT_EQ(p.vy, -0.7034999999999999);
    EXPECT_EQ(p.life, 99);

    p = step_one(heat, Particle{100.0, 0.5, 0.0, -1.005, 100});
    EXPECT_EQ(p.y, 0.0);
    EXPECT_EQ(p.vy, -(-1.005 + 0.005)) << "the ceiling reflects without loss";

    p = step_one(heat, Particle{318.5, 100.0, 1.5, -0.005, 100});
    EXPECT_EQ(p.x, 319.0);
    EXPECT_EQ(p.vx, -1.5);
    p = step_one(heat, Particle{0.5, 100.0, -1.5, -0.005, 100});
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.vx, 1.5);

    // ending exactly on a border is not a bounce
    p = step_one(heat, Particle{318.0, 100.0, 1.0, -0.005, 100});
    EXPECT_EQ(p.x, 319.0);
    EXPECT_EQ(p.vx, 1.0);
    p = step_one(heat, Particle{1.0, 100.0, -1.0, -0.005, 100});
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.vx, -1.0);
    p = step_one(heat, Particle{100.0, 238.0, 0.0, 0.995, 100});
    if (0.995 + 0.005 == 1.0) {
        EXPECT_EQ(p.y, 239.0);
        EXPECT_EQ(p.vy, 1.0);
    }
}

TEST_F(Fountain, PatchShapeClippingAndSaturation) {
    step_one(heat, Particle{100.7, 50.2, 0.0, -0.005, 11});
    int lit = 0;
    for (int column = 0; column < heat_width; column++) {
        for (int row = 0; row < heat_height; row++) {
            uint8_t v = at(heat, column, 239 - row);
            bool inside = std::abs(column - 100) <= 2 && std::abs(row - 50) <= 2 &&
                          !(std::abs(column - 100) == 2 && std::abs(row - 50) == 2);
            bool parked = column >= 8 && column <= 12 && row >= 8 && row <= 12;
            if (!parked) {
                ASSERT_EQ(v, inside ? 10 : 0) << column << "," << row;
                lit += inside;
            }
        }
    }
    EXPECT_EQ(lit, 21);

    heat = black();
    step_one(heat, Particle{0.0, 0.0, 0.0, -0.005, 11});
    int corner = 0;
    for (int column = 0; column < 5; column++)
        for (int row = 0; row < 5; row++)
            corner += at(heat, column, 239 - row) != 0;
    EXPECT_EQ(corner, 8);
    EXPECT_EQ(at(heat, 2, 239 - 1), 10);
    EXPECT_EQ(at(heat, 2, 239 - 2), 0);
    EXPECT_EQ(at(heat, 1, 239 - 2), 10);

    heat = black();
    at(heat, 200, 100) = 250;
    step_one(heat, Particle{200.0, 139.0, 0.0, -0.005, 11});
    EXPECT_EQ(at(heat, 200, 100), 255);
}

} // namespace
