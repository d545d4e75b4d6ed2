// A scaled window shows again what it was shown, as it was shown, when its scale, full screen or
// framebuffer changes: 8-bit pictures through the colours they were shown with, pictures of other
// depths, rectangles cut by the client's edge. On SDL's dummy driver, with the display's usable
// size set by the test.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform_internal.h"
#include "sdl_display.h"
#include "sdl_internal.h"
#include "surface.h"
#include "window_pixels.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

class ShownAgain : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.lpszClassName = "Shown Again Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
        platform_set_usable_display_size(1024, 768);
    }
    void TearDown() override {
        for (int slot = 0; slot < max_windows; slot++)
            if (HWND left = window_in_slot(slot))
                DestroyWindow(left);
        EXPECT_TRUE(UnregisterClassA("Shown Again Test", nullptr));
        platform_set_usable_display_size(0, 0);
    }
    // A 320 x 240 window, as the shell opens its own, shown.
    static HWND open_window() {
        HWND window = CreateWindowExA(
            0, "Shown Again Test", "Shown again", WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
            CW_USEDEFAULT, 320 + 2 * GetSystemMetrics(SM_CXDLGFRAME),
            240 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME), nullptr,
            nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window != nullptr)
            ShowWindow(window, SW_SHOW);
        return window;
    }
};

// What a client of 320 x 240 should show, as 0xRRGGBB: painted by the test the way BitBlt
// copies, rectangle by rectangle.
struct Client {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(320 * 240, 0);
    void paint(int x, int y, int width, int height, uint32_t (*colour)(int, int, const void*),
               const void* context) {
        for (int r = y; r < y + height; r++)
            for (int c = x; c < x + width; c++)
                pixels[size_t(r) * 320 + c] = colour(c, r, context);
    }
};

// The client pixels that the window does not show as exact blocks at its scale, centred where
// the window shows them (full screen) or at its top left.
int client_pixels_unlike(HWND window, const Client& client) {
    Shown shown = read_shown(window);
    int scale = platform_window_scale(window);
    if (scale < 1)
        return -1;
    int left = (shown.width - 320 * scale) / 2;
    int top = (shown.height - 240 * scale) / 2;
    int wrong = 0;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            bool same = true;
            for (int dy = 0; dy < scale; dy++)
                for (int dx = 0; dx < scale; dx++)
                    same = same && shown.at(left + x * scale + dx, top + y * scale + dy) ==
                                       client.pixels[size_t(y) * 320 + x];
            wrong += !same;
        }
    return wrong;
}

uint32_t rgb(const RGBQUAD& entry) {
    return uint32_t(entry.rgbRed) << 16 | uint32_t(entry.rgbGreen) << 8 | entry.rgbBlue;
}

} // namespace

// A scaled window keeps what it was shown as it was shown: an 8-bit picture through the colours
// it had then, even after they changed for a later, smaller BitBlt; a 24-bit picture; rectangles
// cut by the client's edge. Each scale, full screen and the way back show the same picture.
TEST_F(ShownAgain, EveryPictureShownScaledIsShownAgainAsItWas) {
    HWND window = open_window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(platform_set_window_scale(window, 2));
    HDC dc = GetDC(window);

    RGBQUAD first[256];
    RGBQUAD second[256];
    for (int i = 0; i < 256; i++) {
        first[i] = RGBQUAD{BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
        second[i] = RGBQUAD{BYTE(i * 3), BYTE(i), BYTE(200 - i), 0};
    }
    Surface indexed;
    Surface deep;
    surface_create(&indexed, 8, 320, 240, first);
    surface_create(&deep, 24, 64, 48, nullptr);
    ASSERT_NE(indexed.bits, nullptr);
    ASSERT_NE(deep.bits, nullptr);
    for (int i = 0; i < 320 * 240; i++)
        indexed.bits[i] = static_cast<uint8_t>(i * 7 + i / 320);
    for (int i = 0; i < deep.stride * 48; i++)
        deep.bits[i] = static_cast<uint8_t>(i * 13 + 5);
    struct Pictures {
        const Surface* indexed;
        const RGBQUAD* colours;
        const Surface* deep;
        int dx, dy; // where the picture's pixel (0, 0) lands in the client
    };
    auto index_colour = [](int x, int y, const void* context) {
        const Pictures& p = *static_cast<const Pictures*>(context);
        int sx = x - p.dx;
        int sy = y - p.dy;
        return rgb(p.colours[p.indexed->bits[(239 - sy) * 320 + sx]]);
    };
    auto deep_colour = [](int x, int y, const void* context) {
        const Pictures& p = *static_cast<const Pictures*>(context);
        const uint8_t* bgr = p.deep->bits + (47 - (y - p.dy)) * p.deep->stride + (x - p.dx) * 3;
        return uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
    };
    Client client;

    // The whole 8-bit picture in its first colours.
    BitBlt(dc, 0, 0, 320, 240, indexed.dc, 0, 0, SRCCOPY);
    Pictures whole = {&indexed, first, &deep, 0, 0};
    client.paint(0, 0, 320, 240, index_colour, &whole);
    // The 24-bit picture, cut by the client's right edge.
    BitBlt(dc, 290, 30, 64, 48, deep.dc, 0, 0, SRCCOPY);
    Pictures at_edge = {&indexed, first, &deep, 290, 30};
    client.paint(290, 30, 30, 48, deep_colour, &at_edge);
    // New colours, and a part of the 8-bit picture from elsewhere in it, over both.
    SetDIBColorTable(indexed.dc, 0, 256, second);
    BitBlt(dc, 280, 50, 33, 21, indexed.dc, 5, 9, SRCCOPY);
    Pictures moved = {&indexed, second, &deep, 275, 41};
    client.paint(280, 50, 33, 21, index_colour, &moved);
    // And part of it at the client's left edge, from a negative place.
    BitBlt(dc, -3, 200, 10, 40, indexed.dc, 0, 0, SRCCOPY);
    Pictures left = {&indexed, second, &deep, -3, 200};
    client.paint(0, 200, 7, 40, index_colour, &left);

    EXPECT_EQ(client_pixels_unlike(window, client), 0) << "at 2x";
    for (int scale : {3, 1, 2}) {
        ASSERT_TRUE(platform_set_window_scale(window, scale));
        EXPECT_EQ(client_pixels_unlike(window, client), 0) << "shown again at " << scale << "x";
    }
    sdl_set_fullscreen(window_slot(window), true);
    EXPECT_EQ(platform_window_scale(window), 3);
    EXPECT_EQ(client_pixels_unlike(window, client), 0) << "in full screen";
    sdl_set_fullscreen(window_slot(window), false);
    EXPECT_EQ(client_pixels_unlike(window, client), 0) << "back from full screen";
    surface_destroy(&deep);
    surface_destroy(&indexed);
}
