// The surface library over DIB sections: row layout, colour tables, zero fill, clearing, and
// block transfers between surfaces. Only calls that real Windows has are used, so the same test
// runs natively and in the Windows build.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include <windows.h>

#include "surface.h"

namespace {

// Entry i of a table whose entries all differ, in a way unrelated to i's bits.
RGBQUAD mixed_colour(int i, int seed) {
    RGBQUAD c;
    c.rgbBlue = static_cast<BYTE>(i);
    c.rgbGreen = static_cast<BYTE>(255 - i);
    c.rgbRed = static_cast<BYTE>((i * 37 + seed) & 0xFF);
    c.rgbReserved = 0;
    return c;
}

std::vector<RGBQUAD> mixed_table(int count, int seed) {
    std::vector<RGBQUAD> table(static_cast<size_t>(count));
    for (int i = 0; i < count; i++)
        table[static_cast<size_t>(i)] = mixed_colour(i, seed);
    return table;
}

// The colour at device pixel (x, y) of a bottom-up 32-bit surface, as B, G, R.
RGBQUAD pixel32(const Surface& s, int x, int y) {
    const uint8_t* p = s.bits + (s.height - 1 - y) * s.stride + 4 * x;
    RGBQUAD c = {p[0], p[1], p[2], 0};
    return c;
}

bool same_colour(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed;
}

} // namespace

TEST(SurfaceLayout, StrideRoundsRowsUpToWholeWords) {
    EXPECT_EQ(surface_stride(8, 320), 320);
    EXPECT_EQ(surface_stride(8, 321), 324);
    EXPECT_EQ(surface_stride(24, 1), 4);
    EXPECT_EQ(surface_stride(1, 33), 8);
    EXPECT_EQ(surface_stride(1, 32), 4);
    EXPECT_EQ(surface_stride(4, 9), 8);
    EXPECT_EQ(surface_stride(16, 3), 8);
    EXPECT_EQ(surface_stride(32, 5), 20);
}

TEST(SurfaceLayout, StrideMatchesTheRowsThatGdiReads) {
    // A 321-wide 8-bit surface: the pixel just after the first padded row is (0, height - 2).
    std::vector<RGBQUAD> table = mixed_table(256, 1);
    Surface src;
    Surface dst;
    surface_create(&src, 8, 321, 3, table.data());
    surface_create(&dst, 32, 321, 3, nullptr);
    ASSERT_NE(src.bits, nullptr);
    ASSERT_NE(dst.bits, nullptr);
    ASSERT_EQ(src.stride, 324);
    src.bits[src.stride] = 200;       // device (0, 1)
    src.bits[2 * src.stride - 1] = 0; // padding byte, never shown
    src.bits[320] = 77;               // device (320, 2): last pixel of the bottom row
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 321, 3, src.dc, 0, 0, SRCCOPY));
    GdiFlush();
    EXPECT_TRUE(same_colour(pixel32(dst, 0, 1), table[200]));
    EXPECT_TRUE(same_colour(pixel32(dst, 320, 2), table[77]));
    EXPECT_TRUE(same_colour(pixel32(dst, 0, 0), table[0]));
    surface_destroy(&dst);
    surface_destroy(&src);
}

TEST(SurfaceCreate, CopiesTheColourTableOfItsDepthOnly) {
    // Tables of exactly the size each depth reads: reading past them is caught by the sanitizer.
    const int depths[] = {1, 4, 8};
    for (int depth : depths) {
        SCOPED_TRACE(depth);
        int entries = 1 << depth;
        std::vector<RGBQUAD> table = mixed_table(entries, depth);
        Surface s;
        surface_create(&s, depth, 16, 4, table.data());
        ASSERT_NE(s.bits, nullptr);
        RGBQUAD got[256];
        memset(got, 0xAB, sizeof(got));
        EXPECT_EQ(GetDIBColorTable(s.dc, 0, 256, got), static_cast<UINT>(entries));
        EXPECT_EQ(memcmp(got, table.data(), static_cast<size_t>(entries) * 4), 0);
        surface_destroy(&s);
    }
    const int direct_depths[] = {16, 24, 32};
    for (int depth : direct_depths) {
        SCOPED_TRACE(depth);
        Surface s;
        surface_create(&s, depth, 16, 4, nullptr);
        ASSERT_NE(s.bits, nullptr);
        RGBQUAD got[256];
        EXPECT_EQ(GetDIBColorTable(s.dc, 0, 256, got), 0u);
        surface_destroy(&s);
    }
}

TEST(SurfaceCreate, StartsAllZeroAndClearFillsWithTheLowByte) {
    std::vector<RGBQUAD> table = mixed_table(256, 3);
    const int depths[] = {1, 8, 24};
    for (int depth : depths) {
        SCOPED_TRACE(depth);
        Surface s;
        surface_create(&s, depth, 321, 7, table.data());
        ASSERT_NE(s.bits, nullptr);
        size_t size = static_cast<size_t>(s.stride) * 7;
        std::vector<uint8_t> zeros(size, 0);
        std::vector<uint8_t> ones(size, 0xFF);
        EXPECT_EQ(memcmp(s.bits, zeros.data(), size), 0);
        surface_clear(&s, 0x1FF);
        EXPECT_EQ(memcmp(s.bits, ones.data(), size), 0);
        surface_clear(&s, 0x100);
        EXPECT_EQ(memcmp(s.bits, zeros.data(), size), 0);
        surface_destroy(&s);
    }
}

TEST(SurfaceCreate, RefusedBitmapLeavesBitsNull) {
    // Depths GDI does not have: no bitmap, no pixel memory, and release is still safe.
    const int depths[] = {7, 2};
    for (int depth : depths) {
        SCOPED_TRACE(depth);
        Surface s;
        memset(&s, 0x5A, sizeof(s));
        surface_create(&s, depth, 16, 16, nullptr);
        EXPECT_EQ(s.bitmap, nullptr);
        EXPECT_EQ(s.bits, nullptr);
        EXPECT_NE(s.dc, nullptr);
        surface_destroy(&s);
    }
}

TEST(SurfaceBlit, EightBitPictureReachesThirtyTwoBitsThroughItsColourTable) {
    std::vector<RGBQUAD> table = mixed_table(256, 5);
    Surface src;
    Surface dst;
    surface_create(&src, 8, 320, 240, table.data());
    surface_create(&dst, 32, 320, 240, nullptr);
    ASSERT_NE(src.bits, nullptr);
    ASSERT_NE(dst.bits, nullptr);
    // Device pixel (x, y) holds index (x + 3y) & 255, stored bottom-up.
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            src.bits[(239 - y) * 320 + x] = static_cast<uint8_t>((x + 3 * y) & 0xFF);

    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 320, 240, src.dc, 0, 0, SRCCOPY));
    GdiFlush();
    int wrong = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            wrong += !same_colour(pixel32(dst, x, y), table[(x + 3 * y) & 0xFF]);
    EXPECT_EQ(wrong, 0);

    // A new colour table recolours the same bytes on the next transfer.
    std::vector<RGBQUAD> second = mixed_table(256, 101);
    ASSERT_EQ(SetDIBColorTable(src.dc, 0, 256, second.data()), 256u);
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 320, 240, src.dc, 0, 0, SRCCOPY));
    GdiFlush();
    wrong = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            wrong += !same_colour(pixel32(dst, x, y), second[(x + 3 * y) & 0xFF]);
    EXPECT_EQ(wrong, 0);

    // A table set past its end stops at entry 255.
    EXPECT_EQ(SetDIBColorTable(src.dc, 250, 10, table.data()), 6u);
    RGBQUAD back[6];
    EXPECT_EQ(GetDIBColorTable(src.dc, 250, 6, back), 6u);
    EXPECT_EQ(memcmp(back, table.data(), sizeof(back)), 0);

    surface_destroy(&dst);
    surface_destroy(&src);
}

TEST(SurfaceBlit, PartRectangleLandsAtItsPlaceAndNothingElseChanges) {
    std::vector<RGBQUAD> table = mixed_table(256, 9);
    Surface src;
    Surface dst;
    surface_create(&src, 8, 64, 48, table.data());
    surface_create(&dst, 32, 64, 48, nullptr);
    ASSERT_NE(src.bits, nullptr);
    ASSERT_NE(dst.bits, nullptr);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 64; x++)
            src.bits[(47 - y) * src.stride + x] = static_cast<uint8_t>(1 + x + 64 * (y & 3));
    surface_clear(&dst, 0x11);
    // 20 x 10 pixels from (5, 6) of the source to (30, 33) of the destination.
    ASSERT_TRUE(BitBlt(dst.dc, 30, 33, 20, 10, src.dc, 5, 6, SRCCOPY));
    GdiFlush();
    RGBQUAD untouched = {0x11, 0x11, 0x11, 0};
    int wrong = 0;
    for (int y = 0; y < 48; y++) {
        for (int x = 0; x < 64; x++) {
            bool inside = x >= 30 && x < 50 && y >= 33 && y < 43;
            int sx = x - 30 + 5;
            int sy = y - 33 + 6;
            RGBQUAD want = inside ? table[(1 + sx + 64 * (sy & 3)) & 0xFF] : untouched;
            wrong += !same_colour(pixel32(dst, x, y), want);
        }
    }
    EXPECT_EQ(wrong, 0);
    surface_destroy(&dst);
    surface_destroy(&src);
}

TEST(SurfaceBlit, OneAndFourBitPixelsReadFromTheHighBitsFirst) {
    std::vector<RGBQUAD> table16 = mixed_table(16, 11);
    std::vector<RGBQUAD> table2 = mixed_table(2, 13);
    Surface four;
    Surface one;
    Surface dst;
    surface_create(&four, 4, 9, 1, table16.data());
    surface_create(&one, 1, 9, 1, table2.data());
    surface_create(&dst, 32, 9, 2, nullptr);
    ASSERT_NE(four.bits, nullptr);
    ASSERT_NE(one.bits, nullptr);
    ASSERT_NE(dst.bits, nullptr);
    // Four bits: pixels 0..8 are indices 1, 2, ..., 9 (two to a byte, the first in the high half).
    const uint8_t nibbles[5] = {0x12, 0x34, 0x56, 0x78, 0x90};
    memcpy(four.bits, nibbles, 5);
    // One bit: pixels 0..8 are 1,0,1,1,0,0,0,0, 1.
    one.bits[0] = 0xB0;
    one.bits[1] = 0x80;
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 9, 1, four.dc, 0, 0, SRCCOPY));
    ASSERT_TRUE(BitBlt(dst.dc, 0, 1, 9, 1, one.dc, 0, 0, SRCCOPY));
    GdiFlush();
    const int one_bits[9] = {1, 0, 1, 1, 0, 0, 0, 0, 1};
    for (int x = 0; x < 9; x++) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(same_colour(pixel32(dst, x, 0), table16[static_cast<size_t>(x + 1)]));
        EXPECT_TRUE(same_colour(pixel32(dst, x, 1), table2[static_cast<size_t>(one_bits[x])]));
    }
    surface_destroy(&dst);
    surface_destroy(&one);
    surface_destroy(&four);
}

TEST(SurfaceBlit, TrueColourToEightBitsPicksTheMatchingEntry) {
    // Entries at least 36 apart in some channel: GDI may match colours at reduced precision
    // (Wine does), but never confuses these.
    std::vector<RGBQUAD> table(256);
    for (int i = 0; i < 256; i++) {
        table[static_cast<size_t>(i)].rgbRed = static_cast<BYTE>(((i >> 5) & 7) * 36);
        table[static_cast<size_t>(i)].rgbGreen = static_cast<BYTE>(((i >> 2) & 7) * 36);
        table[static_cast<size_t>(i)].rgbBlue = static_cast<BYTE>((i & 3) * 85);
        table[static_cast<size_t>(i)].rgbReserved = 0;
    }
    Surface src;
    Surface dst;
    surface_create(&src, 32, 256, 1, nullptr);
    surface_create(&dst, 8, 256, 1, table.data());
    ASSERT_NE(src.bits, nullptr);
    ASSERT_NE(dst.bits, nullptr);
    // Every entry's exact colour, in reverse order.
    for (int x = 0; x < 256; x++) {
        const RGBQUAD& c = table[static_cast<size_t>(255 - x)];
        src.bits[4 * x] = c.rgbBlue;
        src.bits[4 * x + 1] = c.rgbGreen;
        src.bits[4 * x + 2] = c.rgbRed;
    }
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 256, 1, src.dc, 0, 0, SRCCOPY));
    GdiFlush();
    int wrong = 0;
    for (int x = 0; x < 256; x++)
        wrong += dst.bits[x] != 255 - x;
    EXPECT_EQ(wrong, 0);
    surface_destroy(&dst);
    surface_destroy(&src);
}
