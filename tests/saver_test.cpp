// The platform's screen-saver and wallpaper pieces that need no X server: the options and the
// screen saver's XSCREENSAVER_WINDOW, where the picture lands in windows of any size and how it is
// written there, the --cycle timer on a clock the test sets, and the stop signals, which close
// every window at the next pump of the input (SDL's dummy driver). The X window itself is checked
// under Xvfb by tests/e2e/saver_check.sh.
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
#include "sdl_display.h"
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

TEST(WritePicture, BlocksOfExactlyTheScaleOrTheNearestPixelAndNothingPastTheFit) {
    constexpr int width = 320;
    constexpr int height = 240;
    std::vector<uint32_t> picture(width * height);
    uint32_t seed = 12345;
    for (uint32_t& pixel : picture) {
        seed = seed * 1103515245u + 12345u;
        pixel = seed;
    }
    constexpr uint32_t untouched = 0xDEADBEEF;
    for (PictureFit fit :
         {fit_picture(320, 240, width, height, 0), fit_picture(700, 500, width, height, 0),
          fit_picture(1280, 720, width, height, 0), fit_picture(1920, 1080, width, height, 0),
          fit_picture(300, 100, width, height, 0), fit_picture(100, 300, width, height, 0),
          fit_picture(319, 240, width, height, 0)}) {
        SCOPED_TRACE(std::to_string(fit.width) + "x" + std::to_string(fit.height));
        int stride = fit.width + 3; // rows with room after them, which must stay as they were
        std::vector<uint32_t> out(static_cast<size_t>(stride) * (fit.height + 1), untouched);
        write_picture(picture.data(), width, height, width * 4, out.data(), stride * 4, fit);
        int wrong = 0;
        int spilled = 0;
        for (int y = 0; y <= fit.height; y++) {
            for (int x = 0; x < stride; x++) {
                uint32_t got = out[static_cast<size_t>(y) * stride + x];
                if (y == fit.height || x >= fit.width) {
                    spilled += got != untouched;
                    continue;
                }
                // The picture's pixel under this one's centre.
                int sx =
                    fit.scale > 0 ? x / fit.scale : static_cast<int>((x + 0.5) * width / fit.width);
                int sy = fit.scale > 0 ? y / fit.scale
                                       : static_cast<int>((y + 0.5) * height / fit.height);
                wrong += got != picture[static_cast<size_t>(sy) * width + sx];
            }
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(spilled, 0);
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
