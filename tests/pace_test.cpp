// The frame pace of the SDL2 display: when each frame a window shows lets the program go on, on a
// clock that only the test moves (platform_set_pace_clock), with SDL's dummy driver; the --fps
// option; the pause, step and pace keys, which no window procedure may see.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "pace.h"
#include "platform_internal.h"
#include "sdl_display.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

std::vector<std::pair<UINT, WPARAM>> delivered; // messages that reached the window procedure

LRESULT CALLBACK recording_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    delivered.emplace_back(message, wparam);
    return DefWindowProcA(window, message, wparam, lparam);
}

// The test's clock, and what arrives while the pace waits: a key (press and release) or a close
// of the window, pushed as SDL events once the clock reaches `at_us`.
struct Arrival {
    uint64_t at_us;
    SDL_Scancode key; // SDL_SCANCODE_UNKNOWN: the window's close button
};

uint64_t now_us;
std::vector<Arrival> arrivals;
size_t arrived;
std::vector<uint64_t> waits; // the time each wait was asked to last until
HWND shown_window;

void push_key(Uint32 type, SDL_Scancode code) {
    SDL_Event event = {};
    event.type = type;
    event.key.type = type;
    event.key.windowID = SDL_GetWindowID(platform_sdl_window(shown_window));
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = code;
    event.key.keysym.sym = SDL_GetKeyFromScancode(code);
    SDL_PushEvent(&event);
}

void push_close() {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = SDL_GetWindowID(platform_sdl_window(shown_window));
    SDL_PushEvent(&event);
}

uint64_t test_clock() {
    return now_us;
}

// Sleeps until `until_us`, or until the next arrival if that comes first, as input cuts a real
// wait short. A wait that would never end (paused, nothing to come) ends the test's run with
// Escape instead of hanging.
void test_wait(uint64_t until_us) {
    waits.push_back(until_us);
    if (arrived < arrivals.size() && arrivals[arrived].at_us <= until_us) {
        const Arrival& next = arrivals[arrived++];
        now_us = next.at_us > now_us ? next.at_us : now_us;
        if (next.key == SDL_SCANCODE_UNKNOWN) {
            push_close();
        } else {
            push_key(SDL_KEYDOWN, next.key);
            push_key(SDL_KEYUP, next.key);
        }
        return;
    }
    if (waits.size() > 100000) {
        ADD_FAILURE() << "the pace waited on and on";
        push_key(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE);
    }
    now_us = until_us;
}

void dispatch_all() {
    MSG msg;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class Pace : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = recording_procedure;
        window_class.lpszClassName = "Pace Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
        shown_window = CreateWindowExA(0, "Pace Test", "Paced", WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                       nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(shown_window, nullptr);
        window_dc = GetDC(shown_window);
        memory_dc = CreateCompatibleDC(window_dc);
        // An 8-bit DIB's header is followed by its 256 colours.
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[256];
        } info = {};
        info.header =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 320, 240, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        picture = CreateDIBSection(memory_dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
        ASSERT_NE(picture, nullptr);
        previous = SelectObject(memory_dc, picture);
        now_us = 5000000;
        arrivals.clear();
        arrived = 0;
        waits.clear();
        waits.reserve(100001); // the test's own record allocates nothing while frames are counted
        platform_set_pace_clock(test_clock, test_wait);
        dispatch_all();
        delivered.clear();
    }

    void TearDown() override {
        platform_set_pace_clock(nullptr, nullptr);
        pace_configure(PaceSetting{pace_unlimited, 0});
        platform_set_refresh_rate(0);
        SelectObject(memory_dc, previous);
        DeleteObject(picture);
        DeleteDC(memory_dc);
        if (IsWindow(shown_window))
            DestroyWindow(shown_window);
        EXPECT_TRUE(UnregisterClassA("Pace Test", nullptr));
        dispatch_all();
        delivered.clear();
    }

    // Shows one frame in the window, as the programs do, and gives the time the program may go on.
    uint64_t show_frame() {
        BitBlt(window_dc, 0, 0, 320, 240, memory_dc, 0, 0, SRCCOPY);
        return now_us;
    }

    HDC window_dc = nullptr;
    HDC memory_dc = nullptr;
    HBITMAP picture = nullptr;
    HGDIOBJ previous = nullptr;
};

TEST_F(Pace, FramesFollowASteadyGridAndALateFrameIsNotMadeUpFor) {
    pace_configure(PaceSetting{pace_fixed, 50}); // a frame every 20 ms
    uint64_t t0 = show_frame() - 20000;          // the first frame starts the grid
    EXPECT_EQ(now_us, t0 + 20000);
    // Frames that take 3 ms each are let go exactly on the grid, however long they took.
    for (int k = 2; k <= 5; k++) {
        now_us += 3000 + 1000 * (k % 2);
        EXPECT_EQ(show_frame(), t0 + 20000 * k) << "frame " << k;
    }
    // A frame that takes 45 ms was shown as soon as it was drawn; the program goes on at the
    // grid's next point after it (t0 + 160 ms): neither at once, to catch up, nor a whole
    // interval later.
    now_us += 45000;
    EXPECT_EQ(show_frame(), t0 + 160000);
    now_us += 1000;
    EXPECT_EQ(show_frame(), t0 + 180000);
    // A stall of seven seconds (the process stopped, a laptop asleep): no burst after it, the
    // frames come on at the pace.
    now_us += 7000000;
    EXPECT_EQ(show_frame(), t0 + 7200000);
    for (int k = 1; k <= 3; k++) {
        now_us += 500;
        EXPECT_EQ(show_frame(), t0 + 7200000 + 20000 * k);
    }
    // Unlimited frames are never held back.
    pace_configure(PaceSetting{pace_unlimited, 0});
    waits.clear();
    uint64_t before = now_us;
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(show_frame(), before);
    EXPECT_TRUE(waits.empty());
}

TEST_F(Pace, TheDefaultPaceIsTheDisplaysRefreshRateOr60) {
    pace_configure(PaceSetting{pace_display, 0});
    for (double display_hz : {75.0, 144.0, -1.0, 59.94}) {
        SCOPED_TRACE(display_hz);
        platform_set_refresh_rate(display_hz);
        uint64_t first = show_frame();
        uint64_t second = show_frame();
        double rate = display_hz > 0 ? display_hz : 60;
        EXPECT_NEAR(static_cast<double>(second - first), 1e6 / rate, 1.0);
        EXPECT_DOUBLE_EQ(pace_rate(), rate);
    }
    // The dummy display's own mode, as SDL reports it.
    platform_set_refresh_rate(0);
    SDL_DisplayMode mode;
    ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &mode), 0);
    EXPECT_DOUBLE_EQ(pace_rate(), mode.refresh_rate > 0 ? mode.refresh_rate : 60);
}

TEST_F(Pace, PauseHoldsTheFramesAndTheStepLetsExactlyOneThrough) {
    pace_configure(PaceSetting{pace_fixed, 100});
    show_frame();
    uint64_t start = now_us;
    // P at 5 ms: the next frame is held; '.' at 2 s and 3 s lets one frame through each; Pause
    // at 4 s lets the frames run again.
    arrivals = {{start + 5000, SDL_SCANCODE_P},
                {start + 2000000, SDL_SCANCODE_PERIOD},
                {start + 3000000, SDL_SCANCODE_PERIOD},
                {start + 4000000, SDL_SCANCODE_PAUSE}};
    std::vector<uint64_t> let_go;
    while (let_go.empty() || let_go.back() < start + 4000000)
        let_go.push_back(show_frame());
    ASSERT_EQ(let_go.size(), 3u);
    EXPECT_EQ(let_go[0], start + 2000000);
    EXPECT_EQ(let_go[1], start + 3000000);
    EXPECT_EQ(let_go[2], start + 4000000);
    EXPECT_FALSE(pace_paused());
    // Running again at the pace, from the frame that ended the pause.
    EXPECT_EQ(show_frame(), start + 4010000);
    // The step key does nothing while the frames run.
    arrivals.push_back({now_us + 1000, SDL_SCANCODE_PERIOD});
    EXPECT_EQ(show_frame(), start + 4020000);
    // Paused with frames unlimited, too; running again, they are not held at all.
    pace_configure(PaceSetting{pace_unlimited, 0});
    arrivals.push_back({now_us + 3000, SDL_SCANCODE_P});
    pace_key(pace_key_pause);
    EXPECT_EQ(show_frame(), start + 4023000);
    EXPECT_FALSE(pace_paused());
    waits.clear();
    EXPECT_EQ(show_frame(), start + 4023000);
    EXPECT_TRUE(waits.empty());
    EXPECT_TRUE(delivered.empty());
}

TEST_F(Pace, EscapeOrACloseEndsAnyWaitAtOnce) {
    struct Case {
        const char* name;
        PaceSetting setting;
        bool paused;
        SDL_Scancode key; // SDL_SCANCODE_UNKNOWN: the close button
    } cases[] = {
        {"Escape, paused", {pace_fixed, 10}, true, SDL_SCANCODE_ESCAPE},
        {"Escape, at 1 a second", {pace_fixed, 1}, false, SDL_SCANCODE_ESCAPE},
        {"close, paused", {pace_display, 0}, true, SDL_SCANCODE_UNKNOWN}, // the window goes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pace_configure(c.setting);
        show_frame();
        if (c.paused)
            pace_key(pace_key_pause);
        arrivals = {{now_us + 20000, c.key}};
        arrived = 0;
        uint64_t asked = now_us + 20000;
        EXPECT_EQ(show_frame(), asked);
        // The program finds the stop at its next poll, and nothing holds it back meanwhile.
        EXPECT_EQ(show_frame(), asked);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(msg.message,
                  c.key == SDL_SCANCODE_ESCAPE ? UINT{WM_KEYDOWN} : UINT{WM_SYSCOMMAND});
        DispatchMessageA(&msg);
        dispatch_all();
    }
    // The close request destroyed the window it was for.
    EXPECT_FALSE(IsWindow(shown_window));
}

TEST_F(Pace, ThePaceKeysHalveAndDoubleWithinTheirBoundsAndReachNoWindow) {
    pace_configure(PaceSetting{pace_fixed, 8});
    show_frame(); // the window whose display the pace follows
    std::vector<double> rates;
    auto press = [&](SDL_Scancode key) {
        push_key(SDL_KEYDOWN, key);
        push_key(SDL_KEYUP, key);
        dispatch_all();
        rates.push_back(pace_rate());
    };
    for (SDL_Scancode key :
         {SDL_SCANCODE_MINUS, SDL_SCANCODE_KP_MINUS, SDL_SCANCODE_MINUS, SDL_SCANCODE_MINUS,
          SDL_SCANCODE_EQUALS, SDL_SCANCODE_KP_PLUS, SDL_SCANCODE_EQUALS, SDL_SCANCODE_EQUALS})
        press(key);
    EXPECT_EQ(rates, (std::vector<double>{4, 2, 1, 1, 2, 4, 8, 8}));
    // From unlimited frames the first step down is the display's rate.
    pace_configure(PaceSetting{pace_unlimited, 0});
    platform_set_refresh_rate(75);
    show_frame();
    rates.clear();
    for (SDL_Scancode key : {SDL_SCANCODE_MINUS, SDL_SCANCODE_MINUS, SDL_SCANCODE_EQUALS,
                             SDL_SCANCODE_EQUALS, SDL_SCANCODE_EQUALS})
        press(key);
    EXPECT_EQ(rates, (std::vector<double>{75, 37.5, 75, 0, 0}));
    // A pause and a step, a held key and Shift (+) included: none became a message.
    press(SDL_SCANCODE_P);
    press(SDL_SCANCODE_PERIOD);
    press(SDL_SCANCODE_PAUSE);
    SDL_Event held = {};
    held.type = held.key.type = SDL_KEYDOWN;
    held.key.windowID = SDL_GetWindowID(platform_sdl_window(shown_window));
    held.key.repeat = 1;
    held.key.keysym.scancode = SDL_SCANCODE_EQUALS;
    held.key.keysym.mod = KMOD_LSHIFT;
    SDL_PushEvent(&held);
    dispatch_all();
    EXPECT_TRUE(delivered.empty()) << delivered.size() << " messages, the first "
                                   << delivered[0].first << " " << delivered[0].second;
    // The programs' own keys still arrive.
    press(SDL_SCANCODE_SPACE);
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0], (std::pair<UINT, WPARAM>{WM_KEYDOWN, VK_SPACE}));
}

TEST_F(Pace, NothingIsAllocatedPerPacedFrame) {
    pace_configure(PaceSetting{pace_display, 0});
    show_frame();
    allocations = 0;
    counting = true;
    for (int k = 0; k < 600; k++) {
        now_us += 1000;
        show_frame();
    }
    counting = false;
    EXPECT_EQ(allocations, 0);
}

TEST(PaceOption, FpsTakesOneToAThousandOrMaxAndRefusesTheRest) {
    struct Case {
        std::vector<const char*> words;
        OptionsResult result;
        PaceSetting pace;
    } cases[] = {
        {{}, options_run, {pace_display, 0}},
        {{"--fps", "30"}, options_run, {pace_fixed, 30}},
        {{"--fps=1"}, options_run, {pace_fixed, 1}},
        {{"--fps", "1000", "--scale", "2"}, options_run, {pace_fixed, 1000}},
        {{"--fps", "max"}, options_run, {pace_unlimited, 0}},
        {{"--fps=max", "--fps", "60"}, options_run, {pace_fixed, 60}},
        {{"--fps", "0"}, options_error, {}},
        {{"--fps", "1001"}, options_error, {}},
        {{"--fps", "x"}, options_error, {}},
        {{"--fps", "-5"}, options_error, {}},
        {{"--fps", "30.5"}, options_error, {}},
        {{"--fps", "00030"}, options_error, {}},
        {{"--fps="}, options_error, {}},
        {{"--fps"}, options_error, {}},
        {{"--fps", "MAX"}, options_error, {}},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("sorvel")};
        std::string trace = "sorvel";
        for (const char* word : c.words) {
            argv.push_back(const_cast<char*>(word));
            trace += std::string(" ") + word;
        }
        argv.push_back(nullptr);
        SCOPED_TRACE(trace);
        int argc = static_cast<int>(argv.size()) - 1;
        DisplayOptions options = {};
        char error[160] = "";
        EXPECT_EQ(take_display_options(&argc, argv.data(), &options, error, sizeof(error)),
                  c.result);
        if (c.result == options_error) {
            EXPECT_NE(strstr(error, "--fps"), nullptr) << error;
            EXPECT_EQ(strchr(error, '\n'), nullptr) << error;
        } else {
            EXPECT_EQ(options.pace.mode, c.pace.mode);
            EXPECT_EQ(options.pace.fps, c.pace.fps);
            EXPECT_EQ(argc, 1);
        }
    }
}

} // namespace
