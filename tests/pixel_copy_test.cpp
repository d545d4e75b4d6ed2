// The stand-in's 8-bit to 32-bit copy, the baseline (the loop the web build also runs) and the
// AVX2 one, against the colour table itself: row lengths around the 8- and 16-pixel steps of the
// loops, every index, and whole BitBlts that start and end at odd columns. The AVX2 tests are
// skipped, saying so, where the processor has no AVX2.
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "pixel_copy_avx2.h"
#include "platform_internal.h"
#include "surface.h"

namespace {

class PixelCopyAvx2 : public testing::Test {
  protected:
    void SetUp() override {
        if (!pixel_copy_use_avx2(true)) {
            pixel_copy_use_avx2(was_on);
            GTEST_SKIP() << "this processor cannot run avx2";
        }
    }
    void TearDown() override {
        pixel_copy_use_avx2(was_on);
    }
    // Whether start-up chose the AVX2 copy: asking to turn it on again answers that.
    const bool was_on = copy_row_8_to_32_avx2(nullptr, nullptr, 0, nullptr);
};

// Copies rows of every length from 0 to 330 pixels, starting at aligned and unaligned indices,
// each into a row with a guard word on both sides, and compares each pixel with the table.
void expect_every_row_length_mapped(bool (*copy)(const uint8_t*, uint32_t*, int, const uint32_t*)) {
    std::mt19937 random(13);
    uint32_t table[256];
    for (auto& entry : table)
        entry = static_cast<uint32_t>(random());
    std::vector<uint8_t> in(400);
    for (size_t i = 0; i < in.size(); i++)
        in[i] = static_cast<uint8_t>(i * 7); // every index within each run of 256
    for (int start : {0, 1, 15}) {
        for (int width = 0; width <= 330; width++) {
            std::vector<uint32_t> out(width + 2, 0xDEADBEEF);
            ASSERT_TRUE(copy(in.data() + start, out.data() + 1, width, table));
            for (int i = 0; i < width; i++)
                ASSERT_EQ(out[i + 1], table[in[start + i]])
                    << "start " << start << " width " << width << " pixel " << i;
            ASSERT_EQ(out[0], 0xDEADBEEF) << "written before the row, width " << width;
            ASSERT_EQ(out[width + 1], 0xDEADBEEF) << "written past the row, width " << width;
        }
    }
}

TEST_F(PixelCopyAvx2, MapsEveryIndexThroughTheTableForEveryRowLength) {
    expect_every_row_length_mapped(copy_row_8_to_32_avx2);
}

// The copy with AVX2 turned off: what machines without AVX2, SORVEL_CPU=sse2 and the web build run.
class PixelCopyBaseline : public testing::Test {
  protected:
    void SetUp() override {
        pixel_copy_use_avx2(false);
    }
    void TearDown() override {
        pixel_copy_use_avx2(was_on);
    }
    const bool was_on = copy_row_8_to_32_avx2(nullptr, nullptr, 0, nullptr);
};

TEST_F(PixelCopyBaseline, MapsEveryIndexThroughTheTableForEveryRowLength) {
    expect_every_row_length_mapped(
        [](const uint8_t* in, uint32_t* out, int width, const uint32_t* table) {
            copy_indices_8_to_32(in, out, width, table);
            return true;
        });
}

// A 320 x 240 picture of random indices copied into a 32-bit surface, whole and in a clipped
// block, with the AVX2 copy and with the plain one.
std::vector<uint8_t> blit_at(bool avx2, int x, int y, int width, int height) {
    pixel_copy_use_avx2(avx2);
    RGBQUAD palette[256];
    std::mt19937 random(17);
    for (auto& entry : palette)
        entry = RGBQUAD{static_cast<BYTE>(random()), static_cast<BYTE>(random()),
                        static_cast<BYTE>(random()), 0};
    Surface picture;
    Surface window;
    surface_create(&picture, 8, 320, 240, palette);
    surface_create(&window, 32, 320, 240, nullptr);
    std::vector<uint8_t> shown;
    if (picture.bits != nullptr && window.bits != nullptr) {
        for (int i = 0; i < 320 * 240; i++)
            picture.bits[i] = static_cast<uint8_t>(random());
        BitBlt(window.dc, x, y, width, height, picture.dc, x + 3, y + 1, SRCCOPY);
        shown.assign(window.bits, window.bits + 320 * 240 * 4);
    }
    surface_destroy(&window);
    surface_destroy(&picture);
    return shown;
}

TEST_F(PixelCopyAvx2, BitBltShowsTheSamePixelsAsThePlainCopy) {
    for (auto [x, y, width, height] : {std::array{0, 0, 320, 240}, std::array{5, 7, 301, 100},
                                       std::array{-9, 3, 23, 17}, std::array{300, 0, 50, 240}}) {
        std::vector<uint8_t> fast = blit_at(true, x, y, width, height);
        std::vector<uint8_t> plain = blit_at(false, x, y, width, height);
        ASSERT_FALSE(fast.empty()) << "the surfaces could not be created";
        ASSERT_EQ(fast, plain) << "block at " << x << "," << y << " of " << width << "x" << height;
        EXPECT_NE(fast, std::vector<uint8_t>(fast.size(), 0)) << "nothing was copied";
    }
}

} // namespace
