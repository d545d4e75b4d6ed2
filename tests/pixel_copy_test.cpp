// The stand-in's copies from 8-bit indices to 32-bit pixels, at every vector level the machine
// has and as the measured choice leaves them, against a plain copy written from their
// definition: every index, rows of every length around the 16- and 64-pixel steps of the loops,
// scales 1 to 9 (and larger), pictures placed partly or wholly outside their destination, odd
// sizes and pitches, bottom-up rows; the rows of other depths at a scale; the black around a
// picture; the tables of pixel values; what a scaled window keeps, drawn again; and whole
// BitBlts through each path. A level the machine lacks is skipped, saying so.
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "pixel_copy.h"
#include "platform_internal.h"
#include "shown_picture.h"
#include "surface.h"

namespace {

constexpr uint32_t untouched = 0xDEADBEEF;

PixelTable random_table(unsigned seed) {
    std::mt19937 random(seed);
    PixelTable table;
    for (auto& value : table.values)
        value = static_cast<uint32_t>(random());
    pixel_table_prepare(&table);
    return table;
}

// Indices in which every value 0..255 comes up within each run of 256 (7 and 256 share no
// factor), shifted by `seed` so that each row differs.
std::vector<uint8_t> every_index(size_t count, int seed) {
    std::vector<uint8_t> indices(count);
    for (size_t i = 0; i < count; i++)
        indices[i] = static_cast<uint8_t>(i * 7 + static_cast<size_t>(seed) * 13);
    return indices;
}

// A destination of `width` x `height` pixels and `pitch` pixels a row, all `untouched`, its
// first row starting `offset` pixels past a 64-byte boundary.
struct Pixels {
    int width;
    int height;
    int pitch;
    int offset;
    std::vector<uint32_t> storage;
    Pixels(int w, int h, int p, int o = 0)
        : width(w), height(h), pitch(p), offset(o), storage(size_t(p) * h + 16 + o, untouched) {}
    uint32_t* first() {
        uintptr_t at = (reinterpret_cast<uintptr_t>(storage.data()) + 63) / 64 * 64;
        return reinterpret_cast<uint32_t*>(at) + offset;
    }
    uint32_t& at(int column, int row) {
        return first()[size_t(row) * pitch + column];
    }
    // Every pixel of the rows, those past each row's width too.
    std::vector<uint32_t> data() {
        return std::vector<uint32_t>(first(), first() + size_t(pitch) * height);
    }
    PixelRows rows() {
        return PixelRows{reinterpret_cast<uint8_t*>(first()), ptrdiff_t{pitch} * 4, width, height,
                         4};
    }
};

// What copy_indices_scaled must leave: each destination pixel inside the scaled picture the
// table's value of its source index, every other one as it was.
Pixels expected_copy(const IndexRows& source, const PixelTable& table, Pixels destination, int x,
                     int y, int scale) {
    for (int row = 0; row < destination.height; row++)
        for (int column = 0; column < destination.width; column++) {
            int64_t dx = int64_t{column} - x;
            int64_t dy = int64_t{row} - y;
            if (dx < 0 || dy < 0 || dx >= int64_t{source.width} * scale ||
                dy >= int64_t{source.height} * scale)
                continue;
            uint8_t index = source.top[dy / scale * source.stride + dx / scale];
            destination.at(column, row) = table.values[index];
        }
    return destination;
}

// Runs a test at one vector level of the copies, then leaves them to the measurement again.
class AtCopyLevel : public testing::TestWithParam<CopyLevel> {
  protected:
    void SetUp() override {
        if (!copy_force_level(GetParam()))
            GTEST_SKIP() << "this processor cannot run " << copy_level_name(GetParam());
    }
    void TearDown() override {
        copy_measure_levels();
    }
};

// A processor other than x86 runs one path under every level's name: the tests' names keep apart.
std::string level_name(const testing::TestParamInfo<CopyLevel>& info) {
    std::string name = copy_level_name(info.param);
    if (info.param != copy_sse2 && name == copy_level_name(copy_sse2))
        name += std::to_string(info.param);
    return name;
}

// The names that SORVEL_VERBOSE and SORVEL_CPU use say what runs: SSE2 and up on x86, the plain
// C++ copy elsewhere.
TEST(CopyLevelNames, SayWhatRuns) {
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_STREQ(copy_level_name(copy_sse2), "sse2");
    EXPECT_STREQ(copy_level_name(copy_avx512), "avx512");
#else
    EXPECT_STREQ(copy_level_name(copy_sse2), "portable");
    EXPECT_FALSE(copy_level_available(copy_avx2));
#endif
}

class Copy : public AtCopyLevel {};

TEST_P(Copy, MapsEveryIndexForEveryRowLengthAt1x) {
    PixelTable table = random_table(13);
    std::vector<uint8_t> in = every_index(400, 0);
    for (int start : {0, 1, 15, 63}) {
        for (int width = 0; width <= 330; width++) {
            // one guard pixel on each side, and the row starting at each offset within a line
            for (int shift : {0, 3, 15}) {
                Pixels out(width + 2 + shift, 1, width + 2 + shift);
                IndexRows source = {in.data() + start, 0, width, 1};
                PixelRows rows = out.rows();
                rows.top += 4 * (1 + shift);
                rows.width = width;
                copy_indices_scaled(source, table, rows, 0, 0, 1);
                for (int i = 0; i < width; i++)
                    ASSERT_EQ(out.at(1 + shift + i, 0), table.values[in[start + i]])
                        << "start " << start << " width " << width << " pixel " << i;
                ASSERT_EQ(out.at(shift, 0), untouched) << "written before the row";
                ASSERT_EQ(out.at(1 + shift + width, 0), untouched) << "written past the row";
            }
        }
    }
}

TEST_P(Copy, WritesEachScaleAsBlocksAndOnlyInsideTheDestination) {
    PixelTable table = random_table(17);
    struct Picture {
        int width, height;
    };
    // 320 is the programs' width, five blocks of 64; the others end mid-block
    for (Picture picture : {Picture{320, 3}, Picture{67, 5}, Picture{1, 1}, Picture{130, 4}}) {
        std::vector<uint8_t> indices = every_index(size_t(picture.width) * picture.height, 1);
        IndexRows source = {indices.data(), picture.width, picture.width, picture.height};
        for (int scale = 1; scale <= 9; scale++) {
            int w = picture.width * scale;
            int h = picture.height * scale;
            // where the picture lands: inside with room, at the corner, cut on every side, off
            struct Place {
                int x, y, width, height;
            } places[] = {{3, 2, w + 7, h + 5},
                          {0, 0, w, h},
                          {-5, -3, w + 1, h + 2},
                          {4, 1, w - 2, h - 1},
                          {-scale * 2 - 1, 0, w, h},
                          {w + 1, 0, w, h},
                          {0, -h, w, h}};
            for (const Place& place : places) {
                if (place.width <= 0 || place.height <= 0)
                    continue;
                // rows on 64-byte boundaries, as a framebuffer's, and rows off them
                for (int offset : {0, 1}) {
                    SCOPED_TRACE(
                        std::to_string(picture.width) + "x" + std::to_string(picture.height) +
                        " at " + std::to_string(scale) + "x, placed at " + std::to_string(place.x) +
                        "," + std::to_string(place.y) + " in " + std::to_string(place.width) + "x" +
                        std::to_string(place.height) + ", offset " + std::to_string(offset));
                    int pitch = offset == 0 ? (place.width + 15) / 16 * 16 : place.width + 3;
                    Pixels out(place.width, place.height, pitch, offset);
                    Pixels expected = expected_copy(source, table, out, place.x, place.y, scale);
                    copy_indices_scaled(source, table, out.rows(), place.x, place.y, scale);
                    ASSERT_EQ(out.data(), expected.data());
                }
            }
        }
    }
}

TEST_P(Copy, TakesBottomUpRowsLargeScalesAndPicturesLargerThanItsScratchRow) {
    PixelTable table = random_table(19);
    std::vector<uint8_t> indices = every_index(size_t(320) * 6, 2);
    // The rows as a bottom-up DIB holds them: the top row last in memory.
    IndexRows bottom_up = {indices.data() + 5 * 320, -320, 320, 6};
    for (int scale : {1, 2, 13, 64}) {
        SCOPED_TRACE(scale);
        Pixels out(320 * scale + 4, 6 * scale + 2, 320 * scale + 16);
        Pixels expected = expected_copy(bottom_up, table, out, 16, 1, scale);
        copy_indices_scaled(bottom_up, table, out.rows(), 16, 1, scale);
        ASSERT_EQ(out.data(), expected.data());
    }
    // A destination written bottom-up too, as into a bottom-up 32-bit DIB.
    Pixels out(320, 6, 320);
    std::vector<uint32_t> expected = expected_copy(bottom_up, table, out, 0, 0, 1).data();
    PixelRows upward = out.rows();
    upward.top += 5 * 320 * 4;
    upward.pitch = -upward.pitch;
    copy_indices_scaled(bottom_up, table, upward, 0, 0, 1);
    std::vector<uint32_t> written = out.data();
    for (int row = 0; row < 6; row++)
        ASSERT_TRUE(std::equal(written.begin() + (5 - row) * 320, written.begin() + (6 - row) * 320,
                               expected.begin() + row * 320))
            << "row " << row;
    // Scales outside 1..64 and destinations of other depths write nothing.
    Pixels untouched_out(64, 4, 64);
    std::vector<uint32_t> before = untouched_out.data();
    copy_indices_scaled(bottom_up, table, untouched_out.rows(), 0, 0, 0);
    copy_indices_scaled(bottom_up, table, untouched_out.rows(), 0, 0, max_copy_scale + 1);
    PixelRows three_bytes = untouched_out.rows();
    three_bytes.bytes_per_pixel = 3;
    copy_indices_scaled(bottom_up, table, three_bytes, 0, 0, 2);
    EXPECT_EQ(untouched_out.data(), before);
}

TEST(CopyChoice, MeasuresEachKindOnceAndChoosesALevelTheMachineHas) {
    copy_measure_levels();
    EXPECT_EQ(copy_level_in_use(false), copy_sse2) << "the baseline until measured";
    PixelTable table = random_table(23);
    std::vector<uint8_t> indices = every_index(size_t(320) * 240, 3);
    IndexRows source = {indices.data(), 320, 320, 240};
    for (int scale : {1, 2}) {
        Pixels out(320 * scale, 240 * scale, 320 * scale);
        Pixels expected = expected_copy(source, table, out, 0, 0, scale);
        copy_indices_scaled(source, table, out.rows(), 0, 0, scale);
        EXPECT_EQ(out.data(), expected.data()) << scale << "x";
        CopyLevel chosen = copy_level_in_use(scale > 1);
        EXPECT_TRUE(copy_level_available(chosen)) << copy_level_name(chosen);
        if (scale > 1) {
            EXPECT_NE(chosen, copy_avx2) << "the scaled copy has no AVX2 path to measure";
        }
    }
    EXPECT_FALSE(copy_force_level(static_cast<CopyLevel>(copy_level_count)));
    EXPECT_TRUE(copy_force_level(copy_sse2));
    EXPECT_EQ(copy_level_in_use(false), copy_sse2);
    EXPECT_EQ(copy_level_in_use(true), copy_sse2);
    copy_measure_levels();
}

// Rows of 1 to 4 bytes a pixel at a scale, against the same blocks made byte by byte.
TEST(CopyRowScaled, ReplicatesEveryByteOfEachPixelIntoItsBlock) {
    std::vector<uint8_t> row(4 * 37);
    for (size_t i = 0; i < row.size(); i++)
        row[i] = static_cast<uint8_t>(i * 11 + 1);
    for (int bytes = 1; bytes <= 4; bytes++) {
        for (int scale : {1, 2, 3, 9}) {
            for (int x : {0, 5, -7}) {
                SCOPED_TRACE(std::to_string(bytes) + " bytes at " + std::to_string(scale) +
                             "x from " + std::to_string(x));
                int width = 37 * scale - 3; // the last block cut short
                int height = scale + 2;
                int pitch = width * bytes + 5;
                std::vector<uint8_t> out(size_t(pitch) * height, 0xA5);
                std::vector<uint8_t> expected = out;
                for (int r = 1; r < 1 + scale; r++)
                    for (int c = 0; c < width; c++) {
                        int64_t source = (int64_t{c} - x) / scale;
                        if (c - x < 0 || source >= 37)
                            continue;
                        memcpy(&expected[size_t(r) * pitch + size_t(c) * bytes],
                               &row[size_t(source) * bytes], size_t(bytes));
                    }
                PixelRows rows = {out.data(), pitch, width, height, bytes};
                copy_row_scaled(row.data(), 37, rows, x, 1, scale);
                ASSERT_EQ(out, expected);
            }
        }
    }
}

TEST(FillAround, FillsEveryPixelOutsideThePictureAndNoneInside) {
    struct Case {
        int x, y, width, height;
    } cases[] = {{3, 2, 10, 4}, {0, 0, 20, 9}, {-4, -2, 8, 5}, {15, 6, 30, 30}, {5, 5, 0, 3}};
    for (const Case& c : cases) {
        Pixels out(20, 9, 23); // the 3 pixels past each row are not the destination's
        fill_around(out.rows(), c.x, c.y, c.width, c.height, 0x00123456);
        for (int row = 0; row < 9; row++)
            for (int column = 0; column < 23; column++) {
                bool inside =
                    column >= c.x && column < c.x + c.width && row >= c.y && row < c.y + c.height;
                uint32_t want = column >= 20 || inside ? untouched : 0x00123456u;
                ASSERT_EQ(out.at(column, row), want)
                    << column << "," << row << " around " << c.x << "," << c.y << " " << c.width
                    << "x" << c.height;
            }
    }
}

TEST(PixelTableBuild, PlacesEachChannelAndFillsTheRest) {
    RGBQUAD colours[3] = {{0x11, 0x22, 0x33, 0x44}, {0xFF, 0x00, 0x80, 0}, {1, 2, 3, 4}};
    PixelTable xrgb;
    pixel_table_build(&xrgb, colours, 2, pixel_format_xrgb);
    EXPECT_EQ(xrgb.values[0], 0x00332211u) << "the reserved byte is never copied";
    EXPECT_EQ(xrgb.values[1], 0x008000FFu);
    EXPECT_EQ(xrgb.values[2], 0u) << "past the count: black";
    EXPECT_EQ(xrgb.values[255], 0u);
    PixelTable abgr;
    pixel_table_build(&abgr, colours, 3, PixelFormat32{0, 8, 16, 0xFF000000});
    EXPECT_EQ(abgr.values[0], 0xFF112233u);
    EXPECT_EQ(abgr.values[2], 0xFF010203u);
    EXPECT_EQ(abgr.values[3], 0xFF000000u) << "black with its alpha";
    for (int i = 0; i < 256; i++)
        for (int b = 0; b < 4; b++)
            ASSERT_EQ(abgr.planes[b][i], static_cast<uint8_t>(abgr.values[i] >> (8 * b)));
}

// A 16 x 8 client as colours 0x00RRGGBB, painted the way the kept picture is told about it.
struct Client16x8 {
    uint32_t colours[8][16] = {};
};

uint32_t colour(const RGBQUAD& entry) {
    return uint32_t(entry.rgbRed) << 16 | uint32_t(entry.rgbGreen) << 8 | entry.rgbBlue;
}

uint32_t rgb565(const Framebuffer&, int r, int g, int b) {
    return uint32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// What a scaled window keeps is drawn again as it was shown: indices through the colours they
// were shown with, even after a later part came through other colours; colours written as such;
// at any scale and place, into framebuffers of 4 and of 2 bytes a pixel.
TEST(ShownPicture, DrawsWhatItKeptAsItWasShownAtAnyScaleAndDepth) {
    RGBQUAD first[256];
    RGBQUAD second[256];
    for (int i = 0; i < 256; i++) {
        first[i] = RGBQUAD{BYTE(i * 5), BYTE(255 - i), BYTE(i), 0};
        second[i] = RGBQUAD{BYTE(i), BYTE(i * 3), BYTE(77), 0};
    }
    std::vector<uint8_t> indices = every_index(16 * 8, 4);
    Client16x8 client;
    ShownPicture kept = {};
    const uint32_t first_key[3] = {1, 1, 1};
    const uint32_t second_key[3] = {1, 1, 2};
    // the whole picture through the first colours
    ASSERT_TRUE(shown_picture_keep_indices(&kept, 16, 8, IndexRows{indices.data(), 16, 16, 8},
                                           first, first_key, 0, 0));
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 16; x++)
            client.colours[y][x] = colour(first[indices[y * 16 + x]]);
    // colours written straight into part of row 3, as a 24-bit picture's are kept
    uint32_t* row = shown_picture_colour_row(&kept, 16, 8, 3);
    ASSERT_NE(row, nullptr);
    for (int x = 2; x < 6; x++)
        row[x] = client.colours[3][x] = 0x00102030u * uint32_t(x);
    // part of rows 5 and 6 through other colours, from elsewhere in the picture
    ASSERT_TRUE(shown_picture_keep_indices(&kept, 16, 8, IndexRows{indices.data() + 17, 16, 8, 2},
                                           second, second_key, 4, 5));
    for (int y = 5; y < 7; y++)
        for (int x = 4; x < 12; x++)
            client.colours[y][x] = colour(second[indices[(y - 5 + 1) * 16 + (x - 4 + 1)]]);

    for (int bytes : {4, 2}) {
        for (int scale : {1, 3}) {
            SCOPED_TRACE(std::to_string(bytes) + " bytes at " + std::to_string(scale) + "x");
            const int width = 16 * scale + 5;
            const int height = 8 * scale + 3;
            std::vector<uint8_t> pixels(size_t(width) * height * bytes, 0xEE);
            Framebuffer framebuffer = {};
            framebuffer.pixels = pixels.data();
            framebuffer.pitch = width * bytes;
            framebuffer.width = width;
            framebuffer.height = height;
            framebuffer.bytes_per_pixel = bytes;
            framebuffer.bgrx = bytes == 4;
            framebuffer.map_rgb = rgb565;
            framebuffer.scale = scale;
            framebuffer.origin_x = scale > 1 ? 2 : 0;
            framebuffer.origin_y = scale > 1 ? 1 : 0;
            shown_picture_draw(kept, framebuffer);
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) {
                    int cx = x - framebuffer.origin_x;
                    int cy = y - framebuffer.origin_y;
                    uint32_t want = bytes == 4 ? 0xEEEEEEEEu : 0xEEEEu;
                    if (cx >= 0 && cy >= 0 && cx < 16 * scale && cy < 8 * scale) {
                        uint32_t c = client.colours[cy / scale][cx / scale];
                        want = bytes == 4 ? c
                                          : rgb565(framebuffer, int(c >> 16), int(c >> 8 & 0xFF),
                                                   int(c & 0xFF));
                    }
                    uint32_t got = 0;
                    memcpy(&got, &pixels[(size_t(y) * width + x) * bytes], size_t(bytes));
                    ASSERT_EQ(got, want) << x << "," << y;
                }
        }
    }
    shown_picture_free(&kept);
    EXPECT_EQ(kept.width, 0);
    EXPECT_EQ(shown_picture_colour_row(&kept, 0, 0, 0), nullptr) << "no client, nothing kept";
}

// A 320 x 240 picture of random indices copied into a 32-bit surface, whole and in clipped
// blocks, at a level.
std::vector<uint8_t> blit_at(CopyLevel level, int x, int y, int width, int height) {
    copy_force_level(level);
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

TEST_P(Copy, BitBltShowsTheSamePixelsAsTheBaseline) {
    for (auto [x, y, width, height] : {std::array{0, 0, 320, 240}, std::array{5, 7, 301, 100},
                                       std::array{-9, 3, 23, 17}, std::array{300, 0, 50, 240}}) {
        std::vector<uint8_t> fast = blit_at(GetParam(), x, y, width, height);
        std::vector<uint8_t> plain = blit_at(copy_sse2, x, y, width, height);
        ASSERT_FALSE(fast.empty()) << "the surfaces could not be created";
        ASSERT_EQ(fast, plain) << "block at " << x << "," << y << " of " << width << "x" << height;
        EXPECT_NE(fast, std::vector<uint8_t>(fast.size(), 0)) << "nothing was copied";
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, Copy, testing::Values(copy_sse2, copy_avx2, copy_avx512),
                         level_name);

} // namespace
