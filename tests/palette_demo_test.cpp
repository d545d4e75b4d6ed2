// sorvel's palette schemes against their worked values, and its effect: which scheme is in
// force after each press, and that recolouring never touches the heat buffer.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "fireworks.h"
#include "palette_demo.h"
#include "shell.h"

namespace {

using palette_demo::build_palette_scheme;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

Rgb rgb(const RGBQUAD& q) {
    return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
}

std::vector<RGBQUAD> scheme(int s) {
    std::vector<RGBQUAD> table(256);
    build_palette_scheme(s, table.data());
    return table;
}

bool same(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b) {
    return memcmp(a.data(), b.data(), 1024) == 0;
}

TEST(PaletteSchemes, WorkedEntries) {
    const Rgb entry100[6] = {{255, 45, 0}, {0, 255, 45}, {45, 0, 255},
                             {255, 0, 45}, {45, 255, 0}, {45, 0, 255}};
    const Rgb entry1[6] = {{3, 0, 0}, {0, 3, 0}, {0, 0, 3}, {3, 0, 0}, {0, 3, 0}, {0, 0, 3}};
    const Rgb entry171[6] = {{255, 255, 3}, {3, 255, 255}, {255, 3, 255},
                             {255, 3, 255}, {255, 255, 3}, {255, 3, 255}};
    const Rgb entry85[6] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                            {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const Rgb entry170[6] = {{255, 255, 0}, {0, 255, 255}, {255, 0, 255},
                             {255, 0, 255}, {255, 255, 0}, {255, 0, 255}};
    for (int s = 0; s < 6; s++) {
        auto t = scheme(s);
        EXPECT_EQ(rgb(t[100]), entry100[s]) << "scheme " << s;
        EXPECT_EQ(rgb(t[1]), entry1[s]) << "scheme " << s;
        EXPECT_EQ(rgb(t[171]), entry171[s]) << "scheme " << s;
        EXPECT_EQ(rgb(t[85]), entry85[s]) << "scheme " << s;
        EXPECT_EQ(rgb(t[170]), entry170[s]) << "scheme " << s;
        EXPECT_EQ(rgb(t[0]), (Rgb{0, 0, 0}));
        EXPECT_EQ(rgb(t[255]), (Rgb{255, 255, 255}));
        for (int k = 0; k < 256; k++) {
            EXPECT_EQ(t[k].rgbReserved, 0);
            for (int j = 0; j < k; j++)
                ASSERT_NE(memcmp(&t[j], &t[k], 4), 0) << "scheme " << s << ": " << j << "=" << k;
        }
    }
}

TEST(PaletteSchemes, SchemeZeroIsTheFirePaletteAndFiveRepeatsTwo) {
    std::vector<RGBQUAD> fire(256);
    build_fire_palette(fire.data());
    EXPECT_TRUE(same(scheme(0), fire));
    EXPECT_TRUE(same(scheme(5), scheme(2)));
    for (int a = 0; a < 6; a++)
        for (int b = 0; b < a; b++)
            if (!(a == 5 && b == 2)) {
                EXPECT_FALSE(same(scheme(a), scheme(b))) << a << " vs " << b;
            }
}

class PaletteEffect : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_rand15();
        variant = 0;
        decay = 2;
        palette_demo::applied_variant = 0;
        palette_demo::effect_init(nullptr);
        surface_create(&window, 32, 320, 240, nullptr);
        ASSERT_NE(palette_demo::fire_surface.bits, nullptr);
    }
    void TearDown() override {
        palette_demo::effect_shutdown();
        surface_destroy(&window);
    }
    std::vector<RGBQUAD> table_in_force() {
        std::vector<RGBQUAD> table(256);
        EXPECT_EQ(GetDIBColorTable(palette_demo::fire_surface.dc, 0, 256, table.data()), 256u);
        return table;
    }
    void frames(int n) {
        for (int i = 0; i < n; i++)
            EXPECT_FALSE(palette_demo::effect_render(window.dc));
    }
    Surface window;
};

TEST_F(PaletteEffect, SpaceStepsThroughTheSchemes) {
    frames(1);
    EXPECT_TRUE(same(table_in_force(), scheme(0)));
    for (int presses = 1; presses <= 7; presses++) {
        variant++;
        frames(1);
        EXPECT_TRUE(same(table_in_force(), scheme(presses % 6))) << presses << " presses";
        EXPECT_EQ(palette_demo::applied_variant, variant);
    }
    auto after_seven = table_in_force();
    EXPECT_EQ(rgb(after_seven[85]), (Rgb{0, 255, 0}));
    EXPECT_EQ(rgb(after_seven[170]), (Rgb{0, 255, 255}));
    variant += 2; // a jump: only the scheme of the value it lands on is built
    frames(1);
    EXPECT_TRUE(same(table_in_force(), scheme(9 % 6)));
}

TEST_F(PaletteEffect, RecolouringLeavesTheHeatBufferAlone) {
    frames(25);
    std::vector<uint8_t> plain(palette_demo::fire_surface.bits,
                               palette_demo::fire_surface.bits + 76800);
    TearDown();
    SetUp();
    for (int i = 0; i < 25; i++) {
        if (i % 4 == 1)
            variant++;
        frames(1);
    }
    EXPECT_EQ(std::vector<uint8_t>(palette_demo::fire_surface.bits,
                                   palette_demo::fire_surface.bits + 76800),
              plain);

    // the window shows the same heat bytes in the colours of the scheme in force
    auto table = table_in_force();
    EXPECT_TRUE(same(table, scheme(variant % 6)));
    for (int y = 0; y < 240; y++) {
        for (int x = 0; x < 320; x++) {
            uint8_t index = palette_demo::fire_surface.bits[(239 - y) * 320 + x];
            ASSERT_EQ(memcmp(window.bits + (239 - y) * window.stride + 4 * x, &table[index], 3), 0);
        }
    }
}

} // namespace
