// The platform's screen-saver and wallpaper pieces that need no X server: the options and the
// screen saver's XSCREENSAVER_WINDOW, where the picture lands in windows of any size and how it is
// written there in the window's pixel format and shown again in a new layout, the --cycle timer on
// a clock the test sets, and the stop signals, which close every window at the next pump of the
// input (SDL's dummy driver). The X window itself is checked under Xvfb by
// tests/e2e/saver_check.sh.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cycle.h"
#include "options.h"
#include "pace.h"
#include "picture_fit.h"
#include "platform_internal.h"
#include "pixel_copy.h"
#include "sdl_display.h"
#include "shown_picture.h"
#include "x11_picture.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

struct Taken {
    OptionsResult result;
    DisplayOptions options;
    std::vector<std::string> kept; // the words left after the program's name
    std::string error;
};

Taken take(const std::vector<const char*>& words) {
    std::vector<char*> argv = {const_cast<char*>("sorvel2")};
    for (const char* word : words)
        argv.push_back(const_cast<char*>(word));
    argv.push_back(nullptr);
    int argc = static_cast<int>(argv.size()) - 1;
    Taken taken;
    char error[160] = "";
    taken.result = take_display_options(&argc, argv.data(), &taken.options, error, sizeof(error));
    taken.error = error;
    for (int i = 1; i < argc; i++)
        taken.kept.push_back(argv[i]);
    return taken;
}

TEST(SaverOptions, RootWindowIdAndCycleInEveryFormTheToolsPassThem) {
    struct Case {
        std::vector<const char*> words;
        DisplayTarget target;
        unsigned long window_id;
        int cycle; // -1: not given
        std::vector<std::string> kept;
    } cases[] = {
        {{}, target_own_window, 0, -1, {}},
        {{"--root"}, target_root, 0, -1, {}},
        {{"--window-id", "123"}, target_window, 123, -1, {}},
        {{"--window-id=0x1A00007"}, target_window, 0x1A00007, -1, {}},
        {{"--window-id", "0XfFfFfFfF"}, target_window, 0xFFFFFFFF, -1, {}},
        {{"--window-id", "4294967295"}, target_window, 4294967295u, -1, {}},
        {{"--cycle", "0"}, target_own_window, 0, 0, {}},
        {{"--cycle=86400", "--root"}, target_root, 0, 86400, {}},
        {{"demo", "--cycle", "7", "-root", "--", "--root"},
         target_own_window,
         0,
         7,
         {"demo", "-root", "--root"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.empty() ? "(none)" : c.words[0]);
        Taken taken = take(c.words);
        ASSERT_EQ(taken.result, options_run) << taken.error;
        EXPECT_EQ(taken.options.target, c.target);
        EXPECT_EQ(taken.options.window_id, c.window_id);
        EXPECT_EQ(taken.options.cycle_seconds, c.cycle);
        EXPECT_EQ(taken.kept, c.kept);
    }

    struct Refused {
        std::vector<const char*> words;
        const char* error; // a part of the one-line message
    } refused[] = {
        {{"--window-id"}, "not \"\""},
        {{"--window-id", ""}, "not \"\""},
        {{"--window-id", "0"}, "not \"0\""},
        {{"--window-id", "0x"}, "not \"0x\""},
        {{"--window-id", "x12"}, "not \"x12\""},
        {{"--window-id", "12a"}, "not \"12a\""},
        {{"--window-id", "-5"}, "not \"-5\""},
        {{"--window-id", "0x100000000"}, "not \"0x100000000\""},
        {{"--window-id", "4294967296"}, "not \"4294967296\""},
        {{"--window-id", "0x0x12"}, "not \"0x0x12\""},
        {{"--cycle"}, "seconds from 0 to 86400"},
        {{"--cycle", "86401"}, "not \"86401\""},
        {{"--cycle", "-1"}, "not \"-1\""},
        {{"--cycle", "1.5"}, "not \"1.5\""},
        {{"--cycle="}, "not \"\""},
        {{"--root", "--window-id", "5"}, "give one"},
        {{"--window-id=5", "--root"}, "give one"},
        {{"--rooted"}, "unknown option --rooted"},
        {{"--window-idx", "5"}, "unknown option --window-idx"},
        {{"--cycles", "5"}, "unknown option --cycles"},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(std::string(c.words[0]) + (c.words.size() > 1 ? c.words[1] : ""));
        Taken taken = take(c.words);
        EXPECT_EQ(taken.result, options_error);
        EXPECT_NE(taken.error.find(c.error), std::string::npos) << taken.error;
        EXPECT_EQ(taken.error.find('\n'), std::string::npos);
    }
}

TEST(SaverOptions, TheScreenSaversWindowIsTheRootOrTheWindowAndGivesTheCycleItsDefault) {
    struct Case {
        std::vector<const char*> words;
        const char* saver_window; // XSCREENSAVER_WINDOW, null when not set
        DisplayTarget target;
        unsigned long window_id;
        int cycle;
    } cases[] = {
        {{}, nullptr, target_own_window, 0, 0},
        {{}, "", target_own_window, 0, 0},
        {{}, "0x400008", target_window, 0x400008, saver_cycle_seconds},
        {{"--root"}, nullptr, target_root, 0, saver_cycle_seconds},
        {{"--root"}, "4194312", target_root, 4194312, saver_cycle_seconds},
        {{"--window-id", "77"}, "0x400008", target_window, 77, saver_cycle_seconds},
        {{"--cycle", "0", "--root"}, "0x400008", target_root, 0x400008, 0},
        {{"--cycle", "5"}, nullptr, target_own_window, 0, 5},
        // A window id given wins over a bad XSCREENSAVER_WINDOW, which is then not read.
        {{"--window-id", "77"}, "junk", target_window, 77, saver_cycle_seconds},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.words.empty() ? "(none)" : c.words[0]) + " with " +
                     (c.saver_window != nullptr ? c.saver_window : "(unset)"));
        Taken taken = take(c.words);
        ASSERT_EQ(taken.result, options_run);
        char error[160] = "";
        ASSERT_TRUE(take_saver_window(&taken.options, c.saver_window, error, sizeof(error)));
        EXPECT_EQ(taken.options.target, c.target);
        EXPECT_EQ(taken.options.window_id, c.window_id);
        EXPECT_EQ(taken.options.cycle_seconds, c.cycle);
    }
    for (const char* bad : {"window", "0", "0x", "-3", "0x1FFFFFFFF"}) {
        for (const char* word : {"", "--root"}) {
            SCOPED_TRACE(std::string(bad) + " " + word);
            Taken taken =
                take(word[0] != 0 ? std::vector<const char*>{word} : std::vector<const char*>{});
            char error[160] = "";
            EXPECT_FALSE(take_saver_window(&taken.options, bad, error, sizeof(error)));
            EXPECT_NE(std::string(error).find("XSCREENSAVER_WINDOW"), std::string::npos) << error;
        }
    }
}

// The X window of --root, --window-id and XSCREENSAVER_WINDOW cannot be reached where only
// Wayland is: each is refused there, naming itself, and taken wherever an X server may answer.
TEST(SaverOptions, TheXWindowPathsAreRefusedWhereOnlyWaylandIs) {
    struct Case {
        std::vector<const char*> words;
        const char* saver_window;
        const char* display;
        const char* wayland_display;
        const char* refused; // the name in the message, or null: taken
    } cases[] = {
        {{"--root"}, nullptr, nullptr, "wayland-1", "--root"},
        {{"--root"}, nullptr, "", "wayland-1", "--root"},
        {{"--window-id", "0x400008"}, nullptr, nullptr, "wayland-1", "--window-id"},
        {{}, "0x400008", nullptr, "wayland-1", "XSCREENSAVER_WINDOW"},
        // --window-id wins over the screen saver's window, and is the one named.
        {{"--window-id", "77"}, "0x400008", nullptr, "wayland-1", "--window-id"},
        // XWayland (or any X server) answers, or Wayland is not there at all: taken.
        {{"--root"}, nullptr, ":0", "wayland-1", nullptr},
        {{"--root"}, nullptr, nullptr, nullptr, nullptr},
        {{"--root"}, "0x400008", nullptr, "", nullptr},
        // The program's own window goes to Wayland itself.
        {{}, nullptr, nullptr, "wayland-1", nullptr},
        {{}, "", nullptr, "wayland-1", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.words.empty() ? "(none)" : c.words[0]) + " saver " +
                     (c.saver_window ? c.saver_window : "(unset)") + " DISPLAY " +
                     (c.display ? c.display : "(unset)") + " WAYLAND_DISPLAY " +
                     (c.wayland_display ? c.wayland_display : "(unset)"));
        Taken taken = take(c.words);
        ASSERT_EQ(taken.result, options_run);
        char error[160] = "";
        bool reachable = x11_target_reachable(taken.options, c.saver_window, c.display,
                                              c.wayland_display, error, sizeof(error));
        EXPECT_EQ(reachable, c.refused == nullptr);
        if (c.refused != nullptr) {
            std::string said = error;
            EXPECT_EQ(said.rfind(c.refused, 0), 0u) << said;
            EXPECT_NE(said.find("WAYLAND_DISPLAY=wayland-1"), std::string::npos) << said;
            EXPECT_EQ(said.find('\n'), std::string::npos) << said;
        }
    }
}

// A Wayland session is asked for Wayland first and X11 after it, unless the user chose a driver.
TEST(SaverOptions, WaylandFirstWhereWaylandDisplayIsSetAndNoDriverWasChosen) {
    EXPECT_STREQ(preferred_video_drivers("wayland-0", nullptr), "wayland,x11");
    EXPECT_STREQ(preferred_video_drivers("/run/user/1000/wayland-1", ""), "wayland,x11");
    EXPECT_EQ(preferred_video_drivers("wayland-0", "x11"), nullptr);
    EXPECT_EQ(preferred_video_drivers("wayland-0", "dummy"), nullptr);
    EXPECT_EQ(preferred_video_drivers(nullptr, nullptr), nullptr);
    EXPECT_EQ(preferred_video_drivers("", nullptr), nullptr);
}

TEST(PictureFit, WholeScalesCentredInWindowsOfOddSizesAndShrunkInSmallOnes) {
    struct Case {
        int width, height, largest;
        PictureFit fit;
    } cases[] = {
        {320, 240, 0, {0, 0, 320, 240, 1}},
        {1920, 1080, 0, {320, 60, 1280, 960, 4}},
        {1280, 720, 0, {160, 0, 960, 720, 3}},
        {1000, 700, 0, {180, 110, 640, 480, 2}},  // not a multiple either way
        {5000, 300, 0, {2340, 30, 320, 240, 1}},  // very wide
        {331, 2000, 0, {5, 880, 320, 240, 1}},    // very tall
        {3840, 2160, 0, {480, 0, 2880, 2160, 9}}, // no bound but the window's
        {3840, 2160, 8, {640, 120, 2560, 1920, 8}},
        {1920, 1080, 2, {640, 300, 640, 480, 2}}, // --scale 2
        {200, 150, 0, {0, 0, 200, 150, 0}},       // smaller, the same shape
        {300, 100, 0, {83, 0, 133, 100, 0}},      // smaller, wide
        {100, 300, 0, {0, 112, 100, 75, 0}},      // smaller, tall
        {1000, 200, 0, {367, 0, 266, 200, 0}},    // wide enough but too low
        {319, 240, 0, {0, 0, 319, 239, 0}},       // a pixel short
        {1, 1, 0, {0, 0, 1, 1, 0}},
        {0, 100, 0, {0, 0, 0, 0, 0}},
        {100, -5, 0, {0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        PictureFit fit = fit_picture(c.width, c.height, 320, 240, c.largest);
        EXPECT_EQ(fit.x, c.fit.x);
        EXPECT_EQ(fit.y, c.fit.y);
        EXPECT_EQ(fit.width, c.fit.width);
        EXPECT_EQ(fit.height, c.fit.height);
        EXPECT_EQ(fit.scale, c.fit.scale);
        // Inside the window, and never wider or taller than the window allows.
        if (fit.width > 0) {
            EXPECT_LE(fit.x + fit.width, c.width);
            EXPECT_LE(fit.y + fit.height, c.height);
        }
    }
}

// An X window's pixel format, and the pixel it should show for a colour, worked out apart from
// the code under test.
struct XFormatCase {
    const char* name;
    uint32_t red, green, blue;
    int depth;
    bool bgrx; // the DIB's bytes may be copied unmapped
    uint32_t (*expected)(uint32_t rgb);
};

const XFormatCase x_formats[] = {
    {"XRGB, depth 24", 0xFF0000, 0xFF00, 0xFF, 24, true, [](uint32_t rgb) { return rgb; }},
    {"ARGB, depth 32", 0xFF0000, 0xFF00, 0xFF, 32, false,
     [](uint32_t rgb) { return 0xFF000000u | rgb; }},
    {"XBGR, depth 24", 0xFF, 0xFF00, 0xFF0000, 24, false,
     [](uint32_t rgb) { return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16; }},
    {"10 bits a colour, depth 30", 0x3FF00000, 0xFFC00, 0x3FF, 30, false,
     [](uint32_t rgb) {
         auto ten = [](uint32_t level) { return (level * 1023 + 127) / 255; };
         return ten(rgb >> 16) << 20 | ten(rgb >> 8 & 0xFF) << 10 | ten(rgb & 0xFF);
     }},
};

// A program's 8-bit frame: its indices (rows top-down) and colour table.
struct Frame {
    std::vector<uint8_t> indices;
    RGBQUAD colours[256];
    uint32_t key[3];
};

Frame random_frame(uint32_t seed) {
    Frame frame = {};
    frame.indices.resize(320 * 240);
    for (uint8_t& index : frame.indices) {
        seed = seed * 1103515245u + 12345u;
        index = static_cast<uint8_t>(seed >> 16);
    }
    for (RGBQUAD& colour : frame.colours) {
        seed = seed * 1103515245u + 12345u;
        colour = RGBQUAD{static_cast<BYTE>(seed >> 8), static_cast<BYTE>(seed >> 16),
                         static_cast<BYTE>(seed >> 24), 0};
    }
    frame.key[0] = seed;
    return frame;
}

uint32_t rgb_of(const Frame& frame, int x, int y) {
    const RGBQUAD& c = frame.colours[frame.indices[static_cast<size_t>(y) * 320 + x]];
    return static_cast<uint32_t>(c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue);
}

// What BitBlt does with a whole 8-bit frame and a window's framebuffer: through a table of the
// framebuffer's values, at its scale and origin when scaled (then kept), else at its top-left.
void blit(XPicture* picture, const Frame& frame) {
    Framebuffer framebuffer;
    ASSERT_TRUE(x_picture_framebuffer(picture, &framebuffer));
    PixelTable table;
    for (int i = 0; i < 256; i++) {
        const RGBQUAD& c = frame.colours[i];
        table.values[i] = framebuffer.bgrx
                              ? static_cast<uint32_t>(c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue)
                              : framebuffer.map_rgb(framebuffer, c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    pixel_table_prepare(&table);
    IndexRows rows = {frame.indices.data(), 320, 320, 240};
    PixelRows screen = {framebuffer.pixels, framebuffer.pitch, framebuffer.width,
                        framebuffer.height, 4};
    bool scaled = framebuffer.scale > 1;
    copy_indices_scaled(rows, table, screen, scaled ? framebuffer.origin_x : 0,
                        scaled ? framebuffer.origin_y : 0, scaled ? framebuffer.scale : 1);
    if (scaled) {
        ASSERT_TRUE(shown_picture_keep_indices(framebuffer.kept, 320, 240, rows, frame.colours,
                                               frame.key, 0, 0));
    }
    x_picture_written(picture);
}

constexpr uint32_t untouched = 0xDEADBEEF;

// An image with room after each row and a row after the last, which must stay as they were.
struct Image {
    PictureFit fit;
    int stride; // pixels a row
    std::vector<uint32_t> pixels;
};

Image image_for(int window_width, int window_height) {
    Image image;
    image.fit = fit_picture(window_width, window_height, 320, 240, 0);
    image.stride = image.fit.width + 3;
    image.pixels.assign(static_cast<size_t>(image.stride) * (image.fit.height + 1), untouched);
    return image;
}

// The picture in a new image for an X window of `width` x `height`, as the target lays it out: the
// last frame kept before the old image goes.
void lay_out(XPicture* picture, Image* image, int width, int height) {
    x_picture_leave(picture);
    *image = image_for(width, height);
    ASSERT_TRUE(x_picture_lay_out(
        picture, image->fit, reinterpret_cast<uint8_t*>(image->pixels.data()), image->stride * 4));
}

// Pixels of the image that are not the frame's pixel under their centre (each an exact
// scale x scale block, or the nearest pixel when shrunk), or that lie past the fit and changed.
int wrong_pixels(const Image& image, const Frame* frame, const XFormatCase& format) {
    const PictureFit& fit = image.fit;
    int wrong = 0;
    for (int y = 0; y <= fit.height; y++) {
        for (int x = 0; x < image.stride; x++) {
            uint32_t got = image.pixels[static_cast<size_t>(y) * image.stride + x];
            if (y == fit.height || x >= fit.width) {
                wrong += got != untouched;
                continue;
            }
            int sx = fit.scale > 0 ? x / fit.scale : static_cast<int>((x + 0.5) * 320 / fit.width);
            int sy = fit.scale > 0 ? y / fit.scale : static_cast<int>((y + 0.5) * 240 / fit.height);
            wrong += got != format.expected(frame != nullptr ? rgb_of(*frame, sx, sy) : 0);
        }
    }
    return wrong;
}

TEST(XPicture, EveryBlockHasItsColourInTheWindowsFormatAtEveryFitAndAfterEveryNewLayout) {
    Frame first = random_frame(1);
    Frame second = random_frame(2);
    Frame third = random_frame(3);
    for (const XFormatCase& format : x_formats) {
        SCOPED_TRACE(format.name);
        XPicture picture = {};
        picture.format = x_pixel_format(format.red, format.green, format.blue, format.depth);
        picture.client_width = 320;
        picture.client_height = 240;
        // Black before any frame: opaque where the window has alpha.
        Image image;
        lay_out(&picture, &image, 1000, 700);
        EXPECT_EQ(wrong_pixels(image, nullptr, format), 0);
        Framebuffer framebuffer;
        ASSERT_TRUE(x_picture_framebuffer(&picture, &framebuffer));
        EXPECT_EQ(framebuffer.bgrx, format.bgrx);
        EXPECT_EQ(framebuffer.map_rgb(framebuffer, 0x12, 0x34, 0x56), format.expected(0x123456));

        // Each layout shows the last frame at once, wherever it lived: kept at 2x and more, in
        // the image at 1x, in the client-size picture when shrunk; then takes a frame of its own.
        struct Step {
            int width, height;  // the X window's size
            const Frame* shown; // the last frame, shown again by the layout
            const Frame* drawn; // the frame then drawn, or none
        } steps[] = {
            {1000, 700, nullptr, &first},  // 2x, off-centre both ways
            {400, 300, &first, nullptr},   // 1x
            {1280, 720, &first, &second},  // 3x
            {331, 2000, &second, &third},  // 1x
            {1920, 1080, &third, nullptr}, // 4x, from the 1x image
            {300, 100, &third, &first},    // shrunk, wide
            {319, 240, &first, nullptr},   // shrunk, a pixel short
            {100, 300, &first, &second},   // shrunk, tall
            {1000, 760, &second, nullptr}, // 3x, from the shrink's picture
            {320, 240, &second, &third},   // 1x, exactly
            {319, 240, &third, nullptr},   // shrunk, from the 1x image
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(std::to_string(step.width) + "x" + std::to_string(step.height));
            lay_out(&picture, &image, step.width, step.height);
            EXPECT_EQ(wrong_pixels(image, step.shown, format), 0);
            if (step.drawn != nullptr) {
                blit(&picture, *step.drawn);
                EXPECT_EQ(wrong_pixels(image, step.drawn, format), 0);
            }
        }
        x_picture_free(&picture);
    }
}

uint64_t now_us;

uint64_t test_clock() {
    return now_us;
}

void test_wait(uint64_t until_us) {
    now_us = until_us;
}

constexpr uint64_t second = 1000000;

class Cycle : public ::testing::Test {
  protected:
    void SetUp() override {
        now_us = 1 * second;
        platform_set_pace_clock(test_clock, test_wait);
    }
    void TearDown() override {
        cycle_configure(0);
        pace_reset();
        platform_set_pace_clock(nullptr, nullptr);
    }
    // Whether a press is due with the clock at `seconds`.
    bool due_at(double seconds) {
        now_us = static_cast<uint64_t>(std::llround(seconds * second));
        return cycle_due();
    }
};

TEST_F(Cycle, PressesFallOnASteadyGridWithNoBurstAfterAStallAndStandStillWhilePaused) {
    cycle_configure(30);
    EXPECT_FALSE(due_at(1)); // the first call starts the period
    EXPECT_FALSE(due_at(30.999999));
    EXPECT_TRUE(due_at(31));
    EXPECT_FALSE(due_at(31)); // once
    // A press taken late does not move the grid: the next is still due at 61, then 91.
    EXPECT_TRUE(due_at(61.5));
    EXPECT_FALSE(due_at(90.9));
    EXPECT_TRUE(due_at(91));
    // Ten periods missed (a stall): one press, and the next a whole period later.
    EXPECT_TRUE(due_at(420));
    EXPECT_FALSE(due_at(420.1));
    EXPECT_FALSE(due_at(449.9));
    EXPECT_TRUE(due_at(450));
    // Paused with 10 s of the period left: no press however long, and 10 s after going on.
    // (The pump asks at once after the key, as it asks every few milliseconds.)
    EXPECT_FALSE(due_at(470));
    pace_key(pace_key_pause);
    EXPECT_FALSE(due_at(470));
    EXPECT_FALSE(due_at(480));
    EXPECT_FALSE(due_at(5000));
    pace_key(pace_key_pause);
    EXPECT_FALSE(due_at(5000));
    EXPECT_FALSE(due_at(5009.9));
    EXPECT_TRUE(due_at(5010));

    cycle_configure(0);
    EXPECT_FALSE(due_at(6000));
    EXPECT_FALSE(due_at(1e6));
    cycle_configure(2); // a new period starts at the next call
    EXPECT_FALSE(due_at(1e6 + 1.9));
    EXPECT_FALSE(due_at(1e6 + 3.8));
    EXPECT_TRUE(due_at(1e6 + 3.9));
}

class SaverWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.lpszClassName = "Saver Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
    }
    void TearDown() override {
        if (IsWindow(window))
            DestroyWindow(window);
        EXPECT_TRUE(UnregisterClassA("Saver Test", nullptr));
    }
    HWND open_window() {
        window = CreateWindowExA(0, "Saver Test", "Saver", WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        return window;
    }
    // Every message the queue gives now, dispatched as the programs do.
    std::vector<MSG> take_messages() {
        std::vector<MSG> taken;
        MSG msg;
        while (taken.size() < 100 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            taken.push_back(msg);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return taken;
    }
    HWND window = nullptr;
};

TEST_F(SaverWindow, CyclePressesAndReleasesSpaceForTheWindowThroughThePump) {
    ASSERT_NE(open_window(), nullptr);
    now_us = 50 * second;
    platform_set_pace_clock(test_clock, test_wait);
    cycle_configure(2);
    take_messages(); // the period starts here
    now_us += 2 * second - 1;
    EXPECT_TRUE(take_messages().empty());
    now_us += 1;
    std::vector<MSG> taken = take_messages();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].hwnd, window);
    EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_EQ(taken[0].lParam, 1); // a first press, repeat count 1
    EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(taken[1].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_EQ(static_cast<uint32_t>(taken[1].lParam), 0xC0000001u);
    cycle_configure(0);
    platform_set_pace_clock(nullptr, nullptr);
}

TEST_F(SaverWindow, EachStopSignalClosesTheWindowAtTheNextPumpAndOneBeforeAnyWindowWaitsForIt) {
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        stop_signals_install();
        ASSERT_NE(open_window(), nullptr);
        take_messages();
        raise(signal_number);
        std::vector<MSG> taken = take_messages();
        ASSERT_EQ(taken.size(), 1u);
        EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_CLOSE));
        EXPECT_EQ(taken[0].hwnd, window);
        EXPECT_FALSE(IsWindow(window)); // the default handling closed it, as a close button does
        EXPECT_TRUE(take_messages().empty()); // one close for one signal
    }
    stop_signals_install();
    raise(SIGTERM);
    EXPECT_TRUE(take_messages().empty());
    ASSERT_NE(open_window(), nullptr);
    std::vector<MSG> taken = take_messages();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_CLOSE));
    EXPECT_EQ(taken[0].hwnd, window);
}

std::vector<uint64_t> waits;
void signalling_wait(uint64_t until_us) {
    waits.push_back(until_us);
    if (waits.size() == 1)
        raise(SIGTERM);
    now_us += 4000; // one slice of the display's wait
}

TEST_F(SaverWindow, TheWaitForTheNextFrameEndsAtASignal) {
    ASSERT_NE(open_window(), nullptr);
    HDC window_dc = GetDC(window);
    HDC memory_dc = CreateCompatibleDC(window_dc);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info = {};
    info.header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 320, 240, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(memory_dc, reinterpret_cast<BITMAPINFO*>(&info),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(picture, nullptr);
    HGDIOBJ previous = SelectObject(memory_dc, picture);
    stop_signals_install();
    waits.clear();
    now_us = 10 * second;
    platform_set_pace_clock(test_clock, signalling_wait);
    pace_configure(PaceSetting{pace_fixed, 1}); // the next frame a whole second away
    BitBlt(window_dc, 0, 0, 320, 240, memory_dc, 0, 0, SRCCOPY);
    EXPECT_EQ(waits.size(), 1u);    // the signal came in the first slice, and the wait ended
    EXPECT_LT(now_us, 11 * second); // long before the frame was due
    std::vector<MSG> taken = take_messages();
    ASSERT_FALSE(taken.empty());
    EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_CLOSE));
    pace_configure(PaceSetting{pace_unlimited, 0});
    platform_set_pace_clock(nullptr, nullptr);
    SelectObject(memory_dc, previous);
    DeleteObject(picture);
    DeleteDC(memory_dc);
}

} // namespace
