// The bitmap and palette loaders against files the tests write themselves and against the
// resources of tests/data/loaders.rc: the default palette's worked entries, palettes of real
// files and resources, 4-, 8- and 24-bit pictures landing on an 8-bit surface, the index GDI
// picks, and bad input of every kind. The same tests run natively and, against real Windows,
// under Wine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cpu_probe.h"
#include "loaders.h"

namespace {

// Our SDL2 stand-in rather than Windows: it makes some promises that Windows does not.
constexpr bool stand_in = SORVEL_STAND_IN != 0;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

void PrintTo(const Rgb& c, std::ostream* out) {
    *out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb rgb(const RGBQUAD& q) {
    return Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue};
}

RGBQUAD quad(Rgb c) {
    return RGBQUAD{static_cast<BYTE>(c.b), static_cast<BYTE>(c.g), static_cast<BYTE>(c.r), 0};
}

// The 3-3-2 cube, written out from its levels rather than from the loader's formula.
const int red_green_levels[8] = {0, 36, 72, 109, 145, 182, 218, 255};
const int blue_levels[4] = {0, 85, 170, 255};

Rgb cube(int i) {
    return Rgb{red_green_levels[(i >> 5) & 7], red_green_levels[(i >> 2) & 7], blue_levels[i & 3]};
}

std::vector<RGBQUAD> cube_table() {
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; i++)
        table[i] = quad(cube(i));
    return table;
}

// --- Writing bitmap files ---

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A picture to write: pixels top row first, colour-table indices at 8 bits or less, else
// 0xRRGGBB.
struct Picture {
    int width;
    int height;
    int bits_per_pixel;
    std::vector<Rgb> colours;
    std::vector<uint32_t> pixels;
    bool top_down = false;
};

std::vector<uint8_t> bmp_file(const Picture& p) {
    int stride = (p.bits_per_pixel * p.width + 31) / 32 * 4;
    std::vector<uint8_t> pixels(static_cast<size_t>(stride) * p.height);
    for (int y = 0; y < p.height; y++) {
        uint8_t* row =
            pixels.data() + static_cast<size_t>(p.top_down ? y : p.height - 1 - y) * stride;
        for (int x = 0; x < p.width; x++) {
            uint32_t v = p.pixels[static_cast<size_t>(y) * p.width + x];
            switch (p.bits_per_pixel) {
            case 4:
                row[x / 2] |= static_cast<uint8_t>((x % 2 == 0) ? v << 4 : v);
                break;
            case 8:
                row[x] = static_cast<uint8_t>(v);
                break;
            case 24:
                row[3 * x] = static_cast<uint8_t>(v);
                row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
                break;
            }
        }
    }
    uint32_t offset = 14 + 40 + 4 * static_cast<uint32_t>(p.colours.size());
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    put32(out, offset + static_cast<uint32_t>(pixels.size()));
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(p.width));
    put32(out, static_cast<uint32_t>(p.top_down ? -p.height : p.height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(p.bits_per_pixel));
    put32(out, BI_RGB);
    put32(out, static_cast<uint32_t>(pixels.size()));
    put32(out, 2835);
    put32(out, 2835);
    put32(out, static_cast<uint32_t>(p.colours.size()));
    put32(out, 0);
    for (const Rgb& c : p.colours) {
        out.push_back(static_cast<uint8_t>(c.b));
        out.push_back(static_cast<uint8_t>(c.g));
        out.push_back(static_cast<uint8_t>(c.r));
        out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

std::string temp_path(const std::string& name) {
    return ::testing::TempDir() + "sorvel_loaders_" + name;
}

std::vector<std::string> written_files;

// Removes the files the tests wrote, once every test has run.
class RemoveWrittenFiles : public ::testing::Environment {
  public:
    void TearDown() override {
        for (const std::string& path : written_files)
            remove(path.c_str());
    }
};
const ::testing::Environment* const remove_written_files =
    ::testing::AddGlobalTestEnvironment(new RemoveWrittenFiles);

std::string write_file(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = temp_path(name);
    written_files.push_back(path);
    FILE* file = fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr) << path;
    if (file != nullptr) {
        if (!bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return path;
}

// --- Surfaces ---

// An 8-bit surface with the given colour table, every pixel set to `fill`.
struct TestSurface {
    Surface s;
    TestSurface(int width, int height, const std::vector<RGBQUAD>& table, uint8_t fill = 0) {
        surface_create(&s, 8, width, height, table.data());
        EXPECT_NE(s.bits, nullptr);
        if (s.bits != nullptr)
            memset(s.bits, fill, memory_size());
    }
    ~TestSurface() {
        surface_destroy(&s);
    }
    size_t memory_size() const {
        return static_cast<size_t>(s.stride) * s.height;
    }
    std::vector<uint8_t> memory() {
        GdiFlush();
        return std::vector<uint8_t>(s.bits, s.bits + memory_size());
    }
    // The index at device coordinates (x, y): rows are stored bottom-up.
    int at(int x, int y) {
        GdiFlush();
        return s.bits[static_cast<size_t>(s.height - 1 - y) * s.stride + x];
    }
};

// The index of the cube entry with exactly this colour.
int cube_index(Rgb c) {
    for (int i = 0; i < 256; i++)
        if (cube(i) == c)
            return i;
    ADD_FAILURE() << "not a cube colour";
    return -1;
}

// --- Palettes ---

TEST(LoadPalette, NameThatNamesNothingGivesTheDefaultCube) {
    RGBQUAD from_file[256];
    RGBQUAD from_resource[256];
    memset(from_file, 0xAB, sizeof(from_file));
    memset(from_resource, 0xAB, sizeof(from_resource));
    load_palette(from_file, temp_path("no_such_file.bmp").c_str(), 1);
    load_palette(from_resource, "NO_SUCH_RESOURCE", 0);

    EXPECT_EQ(rgb(from_file[0]), (Rgb{0, 0, 0}));
    EXPECT_EQ(rgb(from_file[3]), (Rgb{0, 0, 255}));
    EXPECT_EQ(rgb(from_file[28]), (Rgb{0, 255, 0}));
    EXPECT_EQ(rgb(from_file[224]), (Rgb{255, 0, 0}));
    EXPECT_EQ(rgb(from_file[255]), (Rgb{255, 255, 255}));
    EXPECT_EQ(rgb(from_file[1]), (Rgb{0, 0, 85}));
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(rgb(from_file[i]), cube(i)) << "entry " << i;
        EXPECT_EQ(from_file[i].rgbReserved, 0) << "entry " << i;
    }
    EXPECT_EQ(memcmp(from_file, from_resource, sizeof(from_file)), 0);

    RGBQUAD numbered[256];
    load_palette(numbered, MAKEINTRESOURCEA(999), 0);
    EXPECT_EQ(memcmp(numbered, from_file, sizeof(numbered)), 0);
    RGBQUAD directory[256];
    load_palette(directory, ::testing::TempDir().c_str(), 1);
    EXPECT_EQ(memcmp(directory, from_file, sizeof(directory)), 0);
}

// entry i of tests/data/palette8.bmp: red i, green 7i mod 256, blue 255 - i
Rgb palette8(int i) {
    return Rgb{i, (7 * i) & 255, 255 - i};
}

TEST(LoadPalette, ColourTableOfAnEightBitFileAndResource) {
    std::vector<Rgb> colours(256);
    for (int i = 0; i < 256; i++)
        colours[i] = Rgb{(i * 3) & 255, 255 - i, (i * 11) & 255};
    Picture picture{2, 2, 8, colours, {0, 1, 2, 3}};
    std::string path = write_file("palette_file.bmp", bmp_file(picture));
    RGBQUAD table[256];
    load_palette(table, path.c_str(), 1);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(rgb(table[i]), colours[i]) << "entry " << i;

    // The resource by name (in any case), by number and by "#number".
    const LPCSTR names[] = {"PALETTE8", "palette8", MAKEINTRESOURCEA(101), "#101"};
    for (LPCSTR name : names) {
        load_palette(table, name, 0);
        for (int i = 0; i < 256; i++)
            ASSERT_EQ(rgb(table[i]), palette8(i)) << "entry " << i;
    }
}

TEST(LoadPalette, ShortResourceGivesWhatItHasAndDefaultsBeyond) {
    // SMALL4 is a 4-bit bitmap: 40 bytes of header, 16 colours, then 8 bytes of pixels, which
    // are read as two more entries since the header is not interpreted.
    RGBQUAD table[256];
    load_palette(table, "SMALL4", 0);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(rgb(table[i]), (Rgb{17 * i, 255 - 17 * i, (50 * i) & 255})) << "entry " << i;
    // rows bottom-up: 0x45 0x60 0 0, then 0x12 0x30 0 0 (as blue, green, red, reserved)
    EXPECT_EQ(rgb(table[16]), (Rgb{0, 0x60, 0x45}));
    EXPECT_EQ(rgb(table[17]), (Rgb{0, 0x30, 0x12}));
    for (int i = 18; i < 256; i++)
        EXPECT_EQ(rgb(table[i]), cube(i)) << "entry " << i;
}

// Byte i (0..1023) of the default table.
uint8_t default_byte(size_t i) {
    RGBQUAD entry = quad(cube(static_cast<int>(i / 4)));
    return reinterpret_cast<const uint8_t*>(&entry)[i % 4];
}

TEST(LoadPalette, ShortFilesKeepTheDefaultsWhereReadsStopped) {
    std::vector<uint8_t> full(1078 + 16);
    for (size_t i = 0; i < full.size(); i++)
        full[i] = static_cast<uint8_t>(i * 13 + 7);
    // The table is the 1024 bytes at offset 54, whatever the headers hold (here, no bitmap).
    RGBQUAD table[256];
    load_palette(table, write_file("noise.bin", full).c_str(), 1);
    EXPECT_EQ(memcmp(table, full.data() + 54, 1024), 0);

    const size_t lengths[] = {0, 10, 14, 53, 54, 55, 62, 1000, 1077};
    for (size_t length : lengths) {
        std::vector<uint8_t> bytes(full.begin(), full.begin() + static_cast<ptrdiff_t>(length));
        load_palette(table, write_file("short.bin", bytes).c_str(), 1);
        const uint8_t* got = reinterpret_cast<const uint8_t*>(table);
        size_t read = length > 54 ? length - 54 : 0;
        for (size_t i = 0; i < 1024; i++) {
            ASSERT_EQ(got[i], i < read ? full[54 + i] : default_byte(i))
                << "length " << length << ", byte " << i;
        }
    }
}

// --- Pictures onto an 8-bit surface ---

// 5 x 3 pixels whose colours are cube entries: pixel (x, y) is cube entry 17 * (5y + x) + 3.
Rgb picture_colour(int x, int y) {
    return cube(17 * (5 * y + x) + 3);
}

void expect_picture_landed(TestSurface& surface, int width, int height, uint8_t fill) {
    for (int y = 0; y < surface.s.height; y++)
        for (int x = 0; x < surface.s.width; x++) {
            int want = x < width && y < height ? cube_index(picture_colour(x, y)) : fill;
            ASSERT_EQ(surface.at(x, y), want) << "(" << x << ", " << y << ")";
        }
}

TEST(SurfaceLoadBitmap, EightBitFileLandsTopLeftWithItsColoursMapped) {
    // The file's table lists the colours in an order of its own, so indices must be mapped.
    Picture picture{5, 3, 8, {}, {}};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) {
            picture.colours.push_back(picture_colour(x, y));
            picture.pixels.push_back(static_cast<uint32_t>(picture.colours.size() - 1));
        }
    std::string path = write_file("eight.bmp", bmp_file(picture));
    // A surface larger than the picture: the rest is left as it was.
    TestSurface big(8, 6, cube_table(), 77);
    surface_load_bitmap(&big.s, path.c_str(), 1);
    expect_picture_landed(big, 5, 3, 77);

    // A smaller one takes the top-left part, unscaled.
    TestSurface small(3, 2, cube_table(), 77);
    surface_load_bitmap(&small.s, path.c_str(), 1);
    expect_picture_landed(small, 5, 3, 77);

    // Rows stored top-down land the same way. (Wine 8's LoadImageA gives such a file all-zero
    // pixels, so only the stand-in is held to it.)
    if (stand_in) {
        picture.top_down = true;
        TestSurface top_down(8, 6, cube_table(), 77);
        surface_load_bitmap(&top_down.s,
                            write_file("eight_top_down.bmp", bmp_file(picture)).c_str(), 1);
        expect_picture_landed(top_down, 5, 3, 77);
    }
}

TEST(SurfaceLoadBitmap, FourAndTwentyFourBitFilesLandWithTheirColoursMapped) {
    Picture four{5, 3, 4, {}, {}};
    Picture twenty_four{5, 3, 24, {}, {}};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) {
            Rgb c = picture_colour(x, y);
            four.colours.push_back(c);
            four.pixels.push_back(static_cast<uint32_t>(four.colours.size() - 1));
            twenty_four.pixels.push_back(static_cast<uint32_t>(c.r << 16 | c.g << 8 | c.b));
        }
    four.colours.push_back(Rgb{0, 0, 0}); // 16 entries
    TestSurface from_four(8, 6, cube_table(), 77);
    surface_load_bitmap(&from_four.s, write_file("four.bmp", bmp_file(four)).c_str(), 1);
    expect_picture_landed(from_four, 5, 3, 77);

    TestSurface from_24(8, 6, cube_table(), 77);
    surface_load_bitmap(&from_24.s, write_file("24.bmp", bmp_file(twenty_four)).c_str(), 1);
    expect_picture_landed(from_24, 5, 3, 77);

    // Colours that are not in the table go to the nearest entry.
    Picture off_table{3, 1, 24, {}, {0xFA0305, 0x04F802, 0x0201FB}};
    TestSurface from_near(3, 1, cube_table(), 77);
    surface_load_bitmap(&from_near.s, write_file("near.bmp", bmp_file(off_table)).c_str(), 1);
    EXPECT_EQ(from_near.at(0, 0), 224); // red
    EXPECT_EQ(from_near.at(1, 0), 28);  // green
    EXPECT_EQ(from_near.at(2, 0), 3);   // blue
}

int nearest_level(int value, const int* levels, int count) {
    int best = levels[0];
    for (int i = 1; i < count; i++)
        if (abs(levels[i] - value) < abs(best - value))
            best = levels[i];
    return best;
}

TEST(SurfaceLoadBitmap, ResourceBitmapLands) {
    // palette8 has 5 x 3 pixels holding indices 10y + x into its own table; with that table as
    // the surface's, every colour maps back to its own index.
    RGBQUAD table[256];
    load_palette(table, "PALETTE8", 0);
    std::vector<RGBQUAD> own(table, table + 256);
    TestSurface by_name(6, 4, own, 200);
    surface_load_bitmap(&by_name.s, "PALETTE8", 0);
    TestSurface by_number(6, 4, own, 200);
    surface_load_bitmap(&by_number.s, MAKEINTRESOURCEA(101), 0);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) {
            int want = x < 5 && y < 3 ? 10 * y + x : 200;
            ASSERT_EQ(by_name.at(x, y), want) << "(" << x << ", " << y << ")";
            ASSERT_EQ(by_number.at(x, y), want) << "(" << x << ", " << y << ")";
        }

    // The same picture onto the cube: each colour goes to the cube entry nearest to it, which
    // for a cube is the nearest level in each channel (none of these colours lies half-way).
    TestSurface on_cube(5, 3, cube_table(), 0);
    surface_load_bitmap(&on_cube.s, "PALETTE8", 0);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) {
            Rgb c = palette8(10 * y + x);
            Rgb want{nearest_level(c.r, red_green_levels, 8),
                     nearest_level(c.g, red_green_levels, 8), nearest_level(c.b, blue_levels, 4)};
            ASSERT_EQ(on_cube.at(x, y), cube_index(want)) << "(" << x << ", " << y << ")";
        }
}

// --- Bad input ---

// Files that no loader can take a picture from; each leaves the surface as it was.
std::vector<std::pair<std::string, std::vector<uint8_t>>> bad_files() {
    Picture good{4, 2, 8, std::vector<Rgb>(256, Rgb{255, 0, 0}), std::vector<uint32_t>(8, 5)};
    std::vector<uint8_t> file = bmp_file(good);
    auto with = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> bytes = file;
        memcpy(bytes.data() + at, &value, 4);
        return bytes;
    };
    std::vector<uint8_t> text(2000, 'x');
    return {
        {"empty", {}},
        {"not_a_bitmap", text},
        {"only_the_file_header", std::vector<uint8_t>(file.begin(), file.begin() + 14)},
        {"headers_only", std::vector<uint8_t>(file.begin(), file.begin() + 54)},
        {"truncated_colour_table", std::vector<uint8_t>(file.begin(), file.begin() + 600)},
        {"truncated_pixels", std::vector<uint8_t>(file.begin(), file.end() - 5)},
        {"zero_width", with(18, 0)},
        {"zero_height", with(22, 0)},
        {"negative_width", with(18, static_cast<uint32_t>(-4))},
        {"absurd_width", with(18, 0x7FFFFFFF)},
        {"absurd_height", with(22, 100000000)},
        {"absurd_top_down", with(22, static_cast<uint32_t>(-100000000))},
        {"lowest_height", with(22, 0x80000000)},
        {"depth_64", with(28, 64)},
        {"jpeg_compressed", with(30, 4)},
        {"rle4_at_eight_bits", with(30, 2)},
    };
}

// Whether LoadImageA gives an image for a file; Windows takes some files that the stand-in
// refuses (under Wine 8: a file that ends in its headers, colour table or pixels, a top-down
// bitmap of absurd height, BI_JPEG, and RLE4 at 8 bits), and the loader's promise holds only for
// files that cannot be loaded.
bool loadable(const std::string& path) {
    HANDLE image = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                              LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (image != nullptr)
        DeleteObject(image);
    return image != nullptr;
}

TEST(SurfaceLoadBitmap, BadInputLeavesTheSurfaceAsItWas) {
    TestSurface surface(6, 4, cube_table(), 123);
    std::vector<uint8_t> before = surface.memory();
    surface_load_bitmap(&surface.s, temp_path("missing.bmp").c_str(), 1);
    EXPECT_EQ(surface.memory(), before) << "missing file";
    surface_load_bitmap(&surface.s, "NO_SUCH_RESOURCE", 0);
    EXPECT_EQ(surface.memory(), before) << "missing resource";
    surface_load_bitmap(&surface.s, MAKEINTRESOURCEA(999), 0);
    EXPECT_EQ(surface.memory(), before) << "missing numbered resource";
    surface_load_bitmap(&surface.s, ::testing::TempDir().c_str(), 1);
    EXPECT_EQ(surface.memory(), before) << "a directory";
    for (const auto& [name, bytes] : bad_files()) {
        std::string path = write_file(name + ".bmp", bytes);
        bool refused = !loadable(path);
        if (stand_in) {
            EXPECT_TRUE(refused) << name;
        }
        surface_load_bitmap(&surface.s, path.c_str(), 1);
        if (refused) {
            EXPECT_TRUE(surface.memory() == before) << name;
        }
        memset(surface.s.bits, 123, surface.memory_size());
    }
}

TEST(LoadPalette, BadInputGivesTheFileBytesThatExistAndDefaultsElsewhere) {
    for (const auto& [name, bytes] : bad_files()) {
        RGBQUAD table[256];
        load_palette(table, write_file(name + ".pal", bytes).c_str(), 1);
        const uint8_t* got = reinterpret_cast<const uint8_t*>(table);
        for (size_t i = 0; i < 1024; i++)
            ASSERT_EQ(got[i], 54 + i < bytes.size() ? bytes[54 + i] : default_byte(i))
                << name << ", byte " << i;
    }
}

TEST(SurfaceLoadBitmap, EveryKindOfBitmapInTheSeedsLoads) {
    // 1-bit, 4-bit, 8-bit top-down, 16-bit, 24-bit, 32-bit with a BITMAPV5HEADER, 8-bit RLE
    const char* seeds[] = {"mono_1bit.bmp", "palette_4bit.bmp", "palette_8bit_topdown.bmp",
                           "rgb_16bit.bmp", "rgb_24bit.bmp",    "rgb_32bit_v5.bmp",
                           "rle_8bit.bmp"};
    for (const char* seed : seeds)
        EXPECT_TRUE(loadable(std::string(SORVEL_SEEDS_DIR) + "/" + seed)) << seed;

    // The RLE picture: bottom row 1 1 2 2, top row 3 4 5 6, into its own 8-entry table.
    RGBQUAD table[256];
    for (int i = 0; i < 256; i++)
        table[i] = quad(i < 8 ? palette8(i) : Rgb{0, 0, 0});
    TestSurface surface(4, 2, std::vector<RGBQUAD>(table, table + 256), 99);
    surface_load_bitmap(&surface.s, (std::string(SORVEL_SEEDS_DIR) + "/rle_8bit.bmp").c_str(), 1);
    const int want[2][4] = {{3, 4, 5, 6}, {1, 1, 2, 2}};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(surface.at(x, y), want[y][x]) << "(" << x << ", " << y << ")";
}

// --- The index GDI picks ---

TEST(NearestPaletteIndex, PicksTheClosestEntryAndLeavesThePixelsAlone) {
    TestSurface surface(7, 3, cube_table());
    std::mt19937 random(12345);
    for (size_t i = 0; i < surface.memory_size(); i++)
        surface.s.bits[i] = static_cast<uint8_t>(random());
    std::vector<uint8_t> before = surface.memory();

    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(255, 0, 0)), 224);
    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(0, 255, 0)), 28);
    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(0, 0, 255)), 3);
    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(255, 255, 255)), 255);
    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(0, 0, 0)), 0);
    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(250, 4, 6)), 224);
    EXPECT_EQ(nearest_palette_index(&surface.s, RGB(110, 70, 84)), cube_index(Rgb{109, 72, 85}));
    EXPECT_EQ(surface.memory(), before);
}

TEST(NearestPaletteIndex, EveryEntryOfAnyTableFindsItself) {
    // 256 distinct random colours: each one's own entry is the only exact match.
    std::mt19937 random(777);
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; i++) {
        bool fresh = false;
        while (!fresh) {
            table[i] = RGBQUAD{static_cast<BYTE>(random()), static_cast<BYTE>(random()),
                               static_cast<BYTE>(random()), 0};
            fresh = true;
            for (int j = 0; j < i; j++)
                fresh = fresh && memcmp(&table[i], &table[j], 3) != 0;
        }
    }
    TestSurface surface(4, 4, table, 9);
    std::vector<uint8_t> before = surface.memory();
    for (int i = 0; i < 256; i++) {
        Rgb c = rgb(table[i]);
        ASSERT_EQ(nearest_palette_index(&surface.s, RGB(c.r, c.g, c.b)), i) << "entry " << i;
    }
    EXPECT_EQ(surface.memory(), before);
}

// --- The processor probe ---

TEST(CpuHasMmx, AgreesWithTheCompilersProbe) {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    EXPECT_EQ(cpu_has_mmx(), __builtin_cpu_supports("mmx") ? 1 : 0);
    // Every x86 processor that runs these builds (SSE2 at least) has MMX.
    EXPECT_EQ(cpu_has_mmx(), 1);
#else
    EXPECT_EQ(cpu_has_mmx(), 0);
#endif
}

} // namespace
