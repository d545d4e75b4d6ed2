// The GPU present of the SDL display: how it is chosen (SORVEL_PRESENT, a software renderer's
// names), how the wait for the display is told from timings, when the pace presents a frame in
// its wait for the refresh, and frames drawn through a renderer: on SDL's dummy driver
// only SDL's software renderer is to be had, which SORVEL_PRESENT=gpu takes, so the texture, its
// scale, full screen and the picture shown again go through SDL's renderer API as on a GPU (an
// OpenGL renderer's pixels under Xvfb: tests/e2e/gpu_present_check.sh).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "pace.h"
#include "platform_internal.h"
#include "present_choice.h"
#include "sdl_display.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

} // namespace

TEST(PresentChoice, SorvelPresentTakesGpuCpuOrNothingAndRefusesTheRest) {
    PresentAsk ask = present_asked_cpu;
    EXPECT_TRUE(parse_present(nullptr, &ask));
    EXPECT_EQ(ask, present_by_machine);
    ask = present_asked_cpu;
    EXPECT_TRUE(parse_present("", &ask));
    EXPECT_EQ(ask, present_by_machine);
    EXPECT_TRUE(parse_present("gpu", &ask));
    EXPECT_EQ(ask, present_asked_gpu);
    EXPECT_TRUE(parse_present("cpu", &ask));
    EXPECT_EQ(ask, present_asked_cpu);
    for (const char* bad : {"GPU", "gpu ", "opengl", "1", "cpu,gpu"}) {
        SCOPED_TRACE(bad);
        ask = present_asked_gpu;
        EXPECT_FALSE(parse_present(bad, &ask));
        EXPECT_EQ(ask, present_asked_gpu) << "left untouched";
    }
}

TEST(PresentChoice, SoftwareRenderersAreToldByTheirNames) {
    EXPECT_TRUE(renderer_is_software("software", nullptr));
    EXPECT_TRUE(renderer_is_software("opengl", "llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(renderer_is_software("opengles2", "llvmpipe (LLVM 19.1.7, 256 bits)"));
    EXPECT_TRUE(renderer_is_software("opengl", "softpipe"));
    EXPECT_TRUE(renderer_is_software("opengl", "Software Rasterizer"));
    EXPECT_TRUE(
        renderer_is_software("opengl", "zink Vulkan 1.3(llvmpipe (LLVM 15.0.6, 256 bits))"));
    EXPECT_FALSE(
        renderer_is_software("opengl", "AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)"));
    EXPECT_FALSE(renderer_is_software("opengl", "Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
    EXPECT_FALSE(renderer_is_software("opengl", "NVIDIA GeForce GTX 1060/PCIe/SSE2"));
    EXPECT_FALSE(renderer_is_software("opengl", nullptr)) << "a GL string not to be had";
    EXPECT_FALSE(renderer_is_software(nullptr, nullptr));
}

TEST(PresentChoice, AWaitForTheDisplayIsTheMiddlePresentBeyondOneWithoutVerticalSync) {
    // Xvfb's Present clock with llvmpipe: 16 ms a present with vertical sync, 1 ms without; the
    // first synced present after a pause comes early, one is late.
    double synced[] = {3100, 16500, 16100, 48000, 16900};
    double unsynced[] = {1100, 1300, 900, 7000, 1000};
    double synced_us = middle_timing(synced, 5);
    double unsynced_us = middle_timing(unsynced, 5);
    EXPECT_EQ(synced_us, 16500);
    EXPECT_EQ(unsynced_us, 1100);
    EXPECT_TRUE(presents_wait_for_refresh(synced_us, unsynced_us));
    EXPECT_EQ(synced[0], 3100); // sorted in place
    EXPECT_EQ(synced[4], 48000);
    // A software GL whose presents cost milliseconds either way, without waiting: no wait.
    EXPECT_FALSE(presents_wait_for_refresh(7400, 6900));
    // A GPU that ignores vertical sync: microseconds both ways.
    EXPECT_FALSE(presents_wait_for_refresh(150, 140));
    // 240 Hz: a refresh is 4.2 ms.
    EXPECT_TRUE(presents_wait_for_refresh(4300, 200));
    EXPECT_FALSE(presents_wait_for_refresh(1900, 0));
    double one = 5;
    EXPECT_EQ(middle_timing(&one, 1), 5);
}

TEST(PaceWaitsRefresh, OnlyTheDisplaysPaceUnpausedWaitsForTheRefresh) {
    pace_use_refresh_wait(true);
    pace_configure(PaceSetting{pace_display, 0});
    EXPECT_TRUE(pace_waits_refresh(-1));
    pace_key(pace_key_slower); // half the display's rate: still on its refreshes
    EXPECT_TRUE(pace_waits_refresh(-1));
    pace_key(pace_key_pause);
    EXPECT_FALSE(pace_waits_refresh(-1)) << "paused: a step's frame is shown at once";
    pace_key(pace_key_pause);
    EXPECT_TRUE(pace_waits_refresh(-1));
    pace_configure(PaceSetting{pace_fixed, 30});
    EXPECT_FALSE(pace_waits_refresh(-1)) << "--fps N keeps to the clock";
    pace_configure(PaceSetting{pace_unlimited, 0});
    EXPECT_FALSE(pace_waits_refresh(-1)) << "--fps max is not held to the display";
    pace_key(pace_key_slower); // max slowed to the display's rate
    EXPECT_TRUE(pace_waits_refresh(-1));
    pace_use_refresh_wait(false);
    pace_configure(PaceSetting{pace_display, 0});
    EXPECT_FALSE(pace_waits_refresh(-1)) << "presents that do not wait: the clock paces";
    pace_configure(PaceSetting{pace_unlimited, 0});
}

namespace {

class GpuPresent : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.lpszClassName = "Gpu Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
        platform_set_usable_display_size(1024, 768); // 1x by default
    }

    void TearDown() override {
        for (int slot = 0; slot < max_windows; slot++)
            if (HWND left = window_in_slot(slot))
                DestroyWindow(left);
        EXPECT_TRUE(UnregisterClassA("Gpu Test", nullptr));
        platform_set_usable_display_size(0, 0);
        display_set_present(present_by_machine);
        unsetenv("SORVEL_VERBOSE");
    }

    // A shown 320 x 240 window that presents as `ask` says.
    static HWND open_window(PresentAsk ask) {
        display_set_present(ask);
        HWND window = CreateWindowExA(0, "Gpu Test", "Gpu", WS_POPUP, 0, 0, 320, 240, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window != nullptr)
            ShowWindow(window, SW_SHOW);
        return window;
    }
};

// What the window's renderer shows, as 0xRRGGBB values row by row.
struct Rendered {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const {
        return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
    }
};

Rendered read_rendered(HWND window) {
    Rendered shown;
    SDL_Renderer* renderer = SDL_GetRenderer(platform_sdl_window(window));
    if (renderer == nullptr || SDL_GetRendererOutputSize(renderer, &shown.width, &shown.height))
        return shown;
    shown.pixels.resize(static_cast<size_t>(shown.width) * shown.height);
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_RGB888, shown.pixels.data(),
                             shown.width * 4) != 0)
        shown.pixels.clear();
    return shown;
}

// The number of the picture's pixels not shown as a uniform N x N block at (x, y) + N (i, j),
// plus the pixels outside the picture that are not black.
int picture_faults(const Rendered& shown, const Rendered& picture, int x, int y, int scale) {
    int faults = 0;
    for (int j = 0; j < shown.height; j++)
        for (int i = 0; i < shown.width; i++) {
            bool inside =
                i >= x && j >= y && i < x + picture.width * scale && j < y + picture.height * scale;
            uint32_t want = inside ? picture.at((i - x) / scale, (j - y) / scale) : 0;
            faults += shown.at(i, j) != want;
        }
    return faults;
}

} // namespace

TEST_F(GpuPresent, CpuAskedOrNoAcceleratedRendererKeepsTheFramebufferAndSaysWhy) {
    setenv("SORVEL_VERBOSE", "1", 1);
    testing::internal::CaptureStderr();
    HWND window = open_window(present_asked_cpu);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SDL_GetRenderer(platform_sdl_window(window)), nullptr);
    DestroyWindow(window);
    // The dummy driver has no accelerated renderer: by default, the framebuffer.
    window = open_window(present_by_machine);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SDL_GetRenderer(platform_sdl_window(window)), nullptr);
    EXPECT_NE(SDL_GetWindowSurface(platform_sdl_window(window)), nullptr);
    DestroyWindow(window);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("framebuffer (SORVEL_PRESENT=cpu)"), std::string::npos) << said;
    EXPECT_NE(said.find("framebuffer (no renderer could be made"), std::string::npos) << said;
}

TEST_F(GpuPresent, FramesThroughTheTextureShowExactlyAtEveryScaleAndInFullScreen) {
    HWND window = open_window(present_asked_gpu);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(SDL_GetRenderer(platform_sdl_window(window)), nullptr);
    // An 8-bit picture of 256 distinct colours, as the programs draw theirs.
    alignas(BITMAPINFO) uint8_t block[sizeof(BITMAPINFOHEADER) + 256 * 4] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(block);
    info->bmiHeader = BITMAPINFOHEADER{40, 320, -240, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; i++)
        info->bmiColors[i] =
            RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 37), 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    HDC dc = GetDC(window);
    Rendered picture;
    picture.width = 320;
    picture.height = 240;
    auto draw = [&](int frame) {
        picture.pixels.clear();
        for (int y = 0; y < 240; y++)
            for (int x = 0; x < 320; x++) {
                int index = (x * 7 + y * 13 + frame + x * y / 64) & 255;
                static_cast<uint8_t*>(bits)[y * 320 + x] = static_cast<uint8_t>(index);
                const RGBQUAD& c = info->bmiColors[index];
                picture.pixels.push_back(
                    static_cast<uint32_t>(c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue));
            }
        return BitBlt(dc, 0, 0, 320, 240, memory, 0, 0, SRCCOPY);
    };
    ASSERT_TRUE(draw(0));
    Rendered shown = read_rendered(window);
    ASSERT_EQ(shown.width, 320);
    EXPECT_EQ(picture_faults(shown, picture, 0, 0, 1), 0);

    // The kept picture at 3x at once, without a new frame; a frame drawn at 3x.
    ASSERT_TRUE(platform_set_window_scale(window, 3));
    EXPECT_EQ(platform_window_scale(window), 3);
    shown = read_rendered(window);
    ASSERT_EQ(shown.width, 960);
    EXPECT_EQ(picture_faults(shown, picture, 0, 0, 3), 0);
    ASSERT_TRUE(draw(1));
    shown = read_rendered(window);
    EXPECT_EQ(picture_faults(shown, picture, 0, 0, 3), 0);

    // F11: full screen on the dummy display, at the largest whole scale that fits, centred on
    // black; the program still sees 320 x 240.
    SDL_Event toggle = {};
    toggle.type = SDL_KEYDOWN;
    toggle.key.type = SDL_KEYDOWN;
    toggle.key.windowID = SDL_GetWindowID(platform_sdl_window(window));
    toggle.key.keysym.scancode = SDL_SCANCODE_F11;
    ASSERT_EQ(SDL_PushEvent(&toggle), 1);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ASSERT_TRUE(platform_window_fullscreen(window));
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(platform_sdl_window(window), &width, &height);
    int scale = largest_fitting_scale(width, height, 320, 240);
    EXPECT_EQ(platform_window_scale(window), scale);
    shown = read_rendered(window);
    ASSERT_EQ(shown.width, width);
    EXPECT_EQ(picture_faults(shown, picture, (width - 320 * scale) / 2, (height - 240 * scale) / 2,
                             scale),
              0);
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    ASSERT_EQ(SDL_PushEvent(&toggle), 1);
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ASSERT_FALSE(platform_window_fullscreen(window));

    // Frames written into the texture allocate nothing (at 1x: the software renderer's own
    // scaled blit is SDL's, not this backend's).
    ASSERT_TRUE(platform_set_window_scale(window, 1));
    ASSERT_TRUE(draw(2));
    allocations = 0;
    counting = true;
    for (int frame = 0; frame < 20; frame++)
        BitBlt(dc, 0, 0, 320, 240, memory, 0, 0, SRCCOPY);
    counting = false;
    EXPECT_EQ(allocations, 0);
    shown = read_rendered(window);
    EXPECT_EQ(picture_faults(shown, picture, 0, 0, 1), 0);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
}
