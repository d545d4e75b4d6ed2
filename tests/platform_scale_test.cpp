// The SDL2 display's scale and full screen: the default scale from the display's usable height,
// the stand-in's command-line options, real frames of both programs shown in exact N x N blocks,
// and the full-screen keys, which no window procedure may see. On SDL's dummy driver, with the
// display's usable size set by the test.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "palette_demo.h"
#include "platform_internal.h"
#include "sdl_display.h"
#include "sdl_internal.h"
#include "window_pixels.h"
#include "warp.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

std::vector<std::pair<UINT, WPARAM>> delivered; // messages that reached the window procedure

LRESULT CALLBACK recording_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    delivered.emplace_back(message, wparam);
    return DefWindowProcA(window, message, wparam, lparam);
}

void dispatch_all() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class Scale : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = recording_procedure;
        window_class.lpszClassName = "Scale Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
    }

    void TearDown() override {
        for (int slot = 0; slot < max_windows; slot++)
            if (HWND left = window_in_slot(slot))
                DestroyWindow(left);
        EXPECT_TRUE(UnregisterClassA("Scale Test", nullptr));
        platform_set_usable_display_size(0, 0);
        display_set_options(DisplayOptions{});
        dispatch_all();
        delivered.clear();
    }

    // A 320 x 240 window, as the shell opens its own, shown.
    static HWND open_window() {
        HWND window = CreateWindowExA(
            0, "Scale Test", "Scaled", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
            CW_USEDEFAULT, 320 + 2 * GetSystemMetrics(SM_CXDLGFRAME),
            240 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME), nullptr,
            nullptr, GetModuleHandleA(nullptr), nullptr);
        if (window != nullptr)
            ShowWindow(window, SW_SHOW);
        return window;
    }

    // Opens a window on a display whose usable size is `width` x `height`; the SDL window's size
    // as "WxH", and the client size the program sees.
    static std::string opened_size(int width, int height, RECT* client) {
        platform_set_usable_display_size(width, height);
        HWND window = open_window();
        if (window == nullptr)
            return "no window";
        int w = 0;
        int h = 0;
        SDL_GetWindowSize(platform_sdl_window(window), &w, &h);
        GetClientRect(window, client);
        DestroyWindow(window);
        return std::to_string(w) + "x" + std::to_string(h);
    }

    void push_key(Uint32 type, SDL_Scancode code, Uint16 mod, HWND window) {
        SDL_Event event = {};
        event.type = type;
        event.key.type = type;
        event.key.windowID = SDL_GetWindowID(platform_sdl_window(window));
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = code;
        event.key.keysym.sym = SDL_GetKeyFromScancode(code);
        event.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }
};

// The number of N x N blocks of `scaled` that are not all the colour of `picture`'s pixel.
int blocks_unlike(const Shown& scaled, const Shown& picture, int scale) {
    int wrong = 0;
    for (int y = 0; y < picture.height; y++)
        for (int x = 0; x < picture.width; x++) {
            bool same = true;
            for (int dy = 0; dy < scale; dy++)
                for (int dx = 0; dx < scale; dx++)
                    same = same && scaled.at(x * scale + dx, y * scale + dy) == picture.at(x, y);
            wrong += !same;
        }
    return wrong;
}

struct Program {
    const char* name;
    void (*init)(HINSTANCE);
    bool (*render)(HDC);
    void (*shutdown)();
};
const Program programs[] = {
    {"sorvel2", warp::effect_init, warp::effect_render, warp::effect_shutdown},
    {"sorvel", palette_demo::effect_init, palette_demo::effect_render,
     palette_demo::effect_shutdown},
};

} // namespace

TEST(DisplayScale, DefaultIsTheLargestWholeScaleWithinHalfTheUsableHeight) {
    EXPECT_EQ(default_display_scale(600, 240), 1);
    EXPECT_EQ(default_display_scale(959, 240), 1);
    EXPECT_EQ(default_display_scale(960, 240), 2);
    EXPECT_EQ(default_display_scale(1080, 240), 2);
    EXPECT_EQ(default_display_scale(1440, 240), 3);
    EXPECT_EQ(default_display_scale(2160, 240), 4);
    EXPECT_EQ(default_display_scale(0, 240), 1);      // no display size: the original size
    EXPECT_EQ(default_display_scale(100000, 240), 8); // never past the largest option
    EXPECT_EQ(largest_fitting_scale(1920, 1080, 320, 240), 4);
    EXPECT_EQ(largest_fitting_scale(1280, 2000, 320, 240), 4); // the width can be the limit
    EXPECT_EQ(largest_fitting_scale(200, 100, 320, 240), 1);
}

// A Wayland output's scale as SDL gives it (framebuffer pixels against window points), and the
// window's size in points for a picture's pixels: never smaller than the picture, and a whole
// number of pixels, so that the compositor shows the framebuffer one pixel to one.
TEST(DisplayScale, PointsForAPicturesPixelsAtWholeAndFractionalOutputScales) {
    EXPECT_EQ(sdl_pixels_per_point(320, 320), 1);
    EXPECT_EQ(sdl_pixels_per_point(321, 320), 1); // a rounding, not a scale
    EXPECT_EQ(sdl_pixels_per_point(640, 320), 2);
    EXPECT_EQ(sdl_pixels_per_point(642, 428), 1.5);
    EXPECT_EQ(sdl_pixels_per_point(500, 0), 1);
    struct Case {
        double pixels_per_point;
        int pixels;
        int points;
    } cases[] = {
        {1, 640, 640},    {2, 640, 320},    {2, 480, 240},   {3, 640, 214}, // 642 pixels
        {1.5, 640, 428},  {1.5, 480, 320},  {1.5, 960, 640}, {1.25, 640, 512},
        {1.25, 642, 516}, {1.75, 640, 368}, // 644 pixels
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pixels_per_point) + " " + std::to_string(c.pixels));
        SdlWindow window = {};
        window.pixels_per_point = c.pixels_per_point;
        int points = sdl_points(window, c.pixels);
        EXPECT_EQ(points, c.points);
        EXPECT_GE(points * c.pixels_per_point, c.pixels);
    }
}

TEST_F(Scale, WindowOpensAtTheScaleOfItsDisplayAndTheProgramStillSees320x240) {
    struct Case {
        int width, height;
        const char* window;
    } cases[] = {{1366, 768, "320x240"},
                 {1920, 1080, "640x480"},
                 {2560, 1440, "960x720"},
                 {3840, 2160, "1280x960"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        RECT client = {};
        EXPECT_EQ(opened_size(c.width, c.height, &client), c.window);
        EXPECT_EQ(client.right, 320);
        EXPECT_EQ(client.bottom, 240);
    }

    // An asked scale wins over the default; one too large is reduced to what fits, said once.
    display_set_options(DisplayOptions{3, false, false, {}});
    RECT client = {};
    EXPECT_EQ(opened_size(1920, 1080, &client), "960x720");
    display_set_options(DisplayOptions{8, false, false, {}});
    testing::internal::CaptureStderr();
    EXPECT_EQ(opened_size(1920, 1080, &client), "1280x960");
    EXPECT_EQ(opened_size(1920, 1080, &client), "1280x960");
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("8 asked, 4 used"), std::string::npos) << said;
    EXPECT_EQ(said.find("platform:"), said.rfind("platform:")) << said;
}

TEST(DisplayOptions, TakesItsOwnOptionsAndPassesEveryOtherWordOn) {
    struct Case {
        std::vector<const char*> words;
        OptionsResult result;
        int scale;
        bool fullscreen;
        std::vector<std::string> kept; // after the program's name
        const char* error;             // a part of the message
    } cases[] = {
        {{}, options_run, 0, false, {}, ""},
        {{"--scale", "3"}, options_run, 3, false, {}, ""},
        {{"--scale=8", "--fullscreen"}, options_run, 8, true, {}, ""},
        {{"demo", "--scale", "1", "-x", "two words"},
         options_run,
         1,
         false,
         {"demo", "-x", "two words"},
         ""},
        {{"--", "--scale", "x"}, options_run, 0, false, {"--scale", "x"}, ""},
        {{"--help", "--scale", "2"}, options_help, 2, false, {}, ""},
        {{"--version"}, options_version, 0, false, {}, ""},
        {{"demo", "--version", "--fullscreen"}, options_version, 0, true, {"demo"}, ""},
        {{"--version", "--help"}, options_help, 0, false, {}, ""},
        {{"--version", "--scale", "0"}, options_error, 0, false, {}, "not \"0\""},
        {{"--", "--version"}, options_run, 0, false, {"--version"}, ""},
        {{"--versions"}, options_error, 0, false, {}, "unknown option --versions"},
        {{"--scale", "0"}, options_error, 0, false, {}, "not \"0\""},
        {{"--scale", "9"}, options_error, 0, false, {}, "not \"9\""},
        {{"--scale", "x"}, options_error, 0, false, {}, "not \"x\""},
        {{"--scale", "-1"}, options_error, 0, false, {}, "not \"-1\""},
        {{"--scale", "100"}, options_error, 0, false, {}, "not \"100\""},
        {{"--scale="}, options_error, 0, false, {}, "not \"\""},
        {{"--scale"}, options_error, 0, false, {}, "needs a number"},
        {{"--scale3"}, options_error, 0, false, {}, "unknown option --scale3"},
        {{"--full"}, options_error, 0, false, {}, "unknown option --full"},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("sorvel2")};
        std::string trace = "sorvel2";
        for (const char* word : c.words) {
            argv.push_back(const_cast<char*>(word));
            trace += std::string(" ") + word;
        }
        argv.push_back(nullptr);
        SCOPED_TRACE(trace);
        int argc = static_cast<int>(argv.size()) - 1;
        DisplayOptions options = {5, true, true, {}};
        char error[160] = "";
        OptionsResult result =
            take_display_options(&argc, argv.data(), &options, error, sizeof(error));
        EXPECT_EQ(result, c.result);
        if (result == options_error) {
            EXPECT_NE(std::string(error).find(c.error), std::string::npos) << error;
            EXPECT_EQ(strchr(error, '\n'), nullptr);
            continue;
        }
        EXPECT_EQ(options.scale, c.scale);
        EXPECT_EQ(options.fullscreen, c.fullscreen);
        ASSERT_EQ(argc, static_cast<int>(c.kept.size()) + 1);
        EXPECT_STREQ(argv[0], "sorvel2");
        for (size_t i = 0; i < c.kept.size(); i++)
            EXPECT_EQ(argv[i + 1], c.kept[i]);
        EXPECT_EQ(argv[argc], nullptr);
    }
}

TEST(CommandLine, TheWordsAfterTheNameJoinedByBlanksCutAtAWholeWord) {
    char name[] = "sorvel2", one[] = "alpha", two[] = "be ta", three[] = "gamma";
    char* argv[] = {name, one, two, three, nullptr};
    char line[64];
    memset(line, 'x', sizeof(line));
    join_command_line(4, argv, line, sizeof(line));
    EXPECT_STREQ(line, "alpha be ta gamma");
    join_command_line(1, argv, line, sizeof(line));
    EXPECT_STREQ(line, "");
    // 12 bytes hold "alpha be ta" and its 0, not the next word: never half a word.
    char small[13];
    memset(small, 'x', sizeof(small));
    join_command_line(4, argv, small, 12);
    EXPECT_STREQ(small, "alpha be ta");
    EXPECT_EQ(small[12], 'x');
    join_command_line(4, argv, small, 5);
    EXPECT_STREQ(small, "");
}

TEST_F(Scale, RealFramesOfBothProgramsShowAsExactBlocksOfTheirPixels) {
    platform_set_usable_display_size(1024, 768); // the original size by default
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        HWND window = open_window();
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(platform_window_scale(window), 1);
        HDC dc = GetDC(window);
        program.init(GetModuleHandleA(nullptr));
        for (int frame = 0; frame < 100; frame++)
            program.render(dc);
        Shown original = read_shown(window);
        ASSERT_EQ(original.width, 320);
        int lit = 0;
        for (uint32_t pixel : original.pixels)
            lit += pixel != 0;
        EXPECT_GT(lit, 2000) << "the frame should show the fireworks";

        // The same frame, shown again at 2x and 3x at once.
        for (int scale : {2, 3}) {
            SCOPED_TRACE(scale);
            ASSERT_TRUE(platform_set_window_scale(window, scale));
            Shown scaled = read_shown(window);
            ASSERT_EQ(scaled.width, 320 * scale);
            ASSERT_EQ(scaled.height, 240 * scale);
            EXPECT_EQ(blocks_unlike(scaled, original, scale), 0);
        }

        // A frame drawn at 3x, and the same frame back at 1x: the blocks are its pixels. Frames
        // drawn scaled allocate nothing once the first has made the picture.
        program.render(dc);
        allocations = 0;
        counting = true;
        for (int frame = 0; frame < 20; frame++)
            program.render(dc);
        counting = false;
        EXPECT_EQ(allocations, 0);
        Shown drawn_scaled = read_shown(window);
        ASSERT_TRUE(platform_set_window_scale(window, 1));
        Shown drawn = read_shown(window);
        ASSERT_EQ(drawn.width, 320);
        EXPECT_EQ(blocks_unlike(drawn_scaled, drawn, 3), 0);
        EXPECT_NE(drawn.pixels, original.pixels) << "a new frame was drawn";
        RECT client = {};
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, 320);
        EXPECT_EQ(client.bottom, 240);
        program.shutdown();
        DestroyWindow(window);
    }
}

TEST_F(Scale, FullScreenKeysToggleItAndReachNoWindowProcedure) {
    platform_set_usable_display_size(1024, 768);
    HWND window = open_window();
    ASSERT_NE(window, nullptr);
    dispatch_all();
    delivered.clear();

    push_key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT, window);
    push_key(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_LALT, window);
    dispatch_all();
    EXPECT_TRUE(platform_window_fullscreen(window));
    push_key(SDL_KEYDOWN, SDL_SCANCODE_F11, KMOD_NONE, window);
    push_key(SDL_KEYUP, SDL_SCANCODE_F11, KMOD_NONE, window);
    dispatch_all();
    EXPECT_FALSE(platform_window_fullscreen(window));
    // Alt let go before Return: the release is still not the program's.
    push_key(SDL_KEYDOWN, SDL_SCANCODE_KP_ENTER, KMOD_RALT, window);
    push_key(SDL_KEYUP, SDL_SCANCODE_KP_ENTER, KMOD_NONE, window);
    dispatch_all();
    EXPECT_TRUE(platform_window_fullscreen(window));
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_F11, KMOD_LSHIFT, window);
    dispatch_all();
    EXPECT_FALSE(platform_window_fullscreen(window));
    for (const auto& [message, key] : delivered)
        ADD_FAILURE() << "message 0x" << std::hex << message << " with key " << std::dec << key
                      << " reached the window procedure";

    // Return alone, and with Ctrl+Alt, are the program's as before.
    push_key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_NONE, window);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_RETURN, KMOD_LALT | KMOD_LCTRL, window);
    push_key(SDL_KEYUP, SDL_SCANCODE_RETURN, KMOD_NONE, window);
    dispatch_all();
    std::vector<std::pair<UINT, WPARAM>> expected = {
        {WM_KEYDOWN, VK_RETURN}, {WM_KEYDOWN, VK_RETURN}, {WM_KEYUP, VK_RETURN}};
    EXPECT_EQ(delivered, expected);
    EXPECT_FALSE(platform_window_fullscreen(window));
}

TEST_F(Scale, FullScreenShowsTheLargestWholeScaleCentredOnBlackAndHidesThePointerOverIt) {
    platform_set_usable_display_size(1024, 768);
    HWND window = open_window();
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    warp::effect_init(GetModuleHandleA(nullptr));
    for (int frame = 0; frame < 50; frame++)
        warp::effect_render(dc);
    Shown original = read_shown(window);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_F11, KMOD_NONE, window);
    dispatch_all();
    ASSERT_TRUE(platform_window_fullscreen(window));

    // The dummy display is 1024 x 768: 3x, 960 x 720 at (32, 24), black around it.
    Shown full = read_shown(window);
    ASSERT_EQ(full.width, 1024);
    ASSERT_EQ(full.height, 768);
    EXPECT_EQ(platform_window_scale(window), 3);
    Shown inside;
    inside.width = 960;
    inside.height = 720;
    int lit_outside = 0;
    for (int y = 0; y < full.height; y++)
        for (int x = 0; x < full.width; x++) {
            bool in = x >= 32 && y >= 24 && x < 32 + 960 && y < 24 + 720;
            if (in)
                inside.pixels.push_back(full.at(x, y));
            else
                lit_outside += full.at(x, y) != 0;
        }
    EXPECT_EQ(lit_outside, 0);
    EXPECT_EQ(blocks_unlike(inside, original, 3), 0);

    auto move_pointer = [&](int x, int y) {
        SDL_Event event = {};
        event.type = SDL_MOUSEMOTION;
        event.motion.windowID = SDL_GetWindowID(platform_sdl_window(window));
        event.motion.x = x;
        event.motion.y = y;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        dispatch_all();
    };
    move_pointer(500, 400);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    move_pointer(10, 10); // on the black border
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    move_pointer(32, 24);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_F11, KMOD_NONE, window);
    dispatch_all();
    EXPECT_FALSE(platform_window_fullscreen(window));
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE) << "the pointer is back outside full screen";
    int w = 0;
    int h = 0;
    SDL_GetWindowSize(platform_sdl_window(window), &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    warp::effect_shutdown();
}
