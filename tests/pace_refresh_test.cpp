// The frame pace where the display waits for its own refresh, as on the web page (there each
// frame waits for the browser's animation frame, at the queue's next poll): refreshes that come a
// few milliseconds early or late, on a clock only the test moves, with SDL's dummy driver standing
// in for the window.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pace.h"
#include "platform_internal.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

uint64_t now_us;
uint64_t refresh_us; // one refresh of the display, from the pace's own display rate
int refreshes;       // refresh waits since the test began
int refreshes_at_start;
std::vector<uint64_t> clock_waits; // what the pace asked of the clock instead
uint64_t first_refresh_us;
uint64_t last_refresh; // the index k of the display's last refresh
HWND shown_window;
bool hold_inside_wait; // the refresh wait polls the queue, as the page's does

// The display's refreshes come at first_refresh_us + k * refresh_us, each up to 4 ms early or
// late; waking on one takes the program 0.2 ms before it shows its next frame.
void test_refresh(int) {
    static const int jitter_us[] = {0, 3900, -3800, 1200, -2500, 3000, -4000, 500, 2200, -1500};
    refreshes++;
    uint64_t at;
    do {
        last_refresh++;
        at = first_refresh_us + last_refresh * refresh_us + jitter_us[last_refresh % 10];
    } while (at <= now_us);
    now_us = at + 200;
    if (hold_inside_wait)
        pace_hold();
}

uint64_t test_clock() {
    return now_us;
}

void test_wait(uint64_t until_us) {
    clock_waits.push_back(until_us);
    now_us = until_us > now_us ? until_us : now_us;
}

class PaceRefresh : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.lpszClassName = "Refresh Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
        shown_window = CreateWindowExA(0, "Refresh Test", "Paced", WS_VISIBLE, 0, 0, 320, 240,
                                       nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(shown_window, nullptr);
        window_dc = GetDC(shown_window);
        memory_dc = CreateCompatibleDC(window_dc);
        // An 8-bit picture reads a colour table of 256 entries after its header.
        static struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[256];
        } info;
        info.header =
            BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 320, 240, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        picture = CreateDIBSection(memory_dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
        ASSERT_NE(picture, nullptr);
        previous = SelectObject(memory_dc, picture);
        now_us = 7000000;
        first_refresh_us = now_us;
        last_refresh = 0;
        refresh_us = 1000000 / default_refresh_hz; // until the pace says the display's rate
        refreshes = 0;
        clock_waits.clear();
        hold_inside_wait = false;
        platform_set_pace_clock(test_clock, test_wait);
        platform_set_refresh_wait(test_refresh);
        pace_configure(PaceSetting{pace_display, 0});
        show_frame(); // the first frame sets the window whose display the pace follows
        refresh_us = static_cast<uint64_t>(1e6 / pace_rate());
        refreshes_at_start = refreshes;
    }

    void TearDown() override {
        pace_hold_at_poll(false);
        platform_set_refresh_wait(nullptr);
        platform_set_pace_clock(nullptr, nullptr);
        pace_configure(PaceSetting{pace_unlimited, 0});
        SelectObject(memory_dc, previous);
        DeleteObject(picture);
        DeleteDC(memory_dc);
        if (IsWindow(shown_window))
            DestroyWindow(shown_window);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        EXPECT_TRUE(UnregisterClassA("Refresh Test", nullptr));
    }

    void show_frame() {
        BitBlt(window_dc, 0, 0, 320, 240, memory_dc, 0, 0, SRCCOPY);
    }

    // The refreshes that each of `frames` frames waited for.
    std::vector<int> refreshes_per_frame(int frames) {
        std::vector<int> counts;
        for (int i = 0; i < frames; i++) {
            int before = refreshes;
            show_frame();
            counts.push_back(refreshes - before);
        }
        return counts;
    }

    HDC window_dc = nullptr;
    HDC memory_dc = nullptr;
    HBITMAP picture = nullptr;
    HGDIOBJ previous = nullptr;
};

TEST_F(PaceRefresh, EachPaceShowsItsFramesOnWholeRefreshesWithoutDoubles) {
    EXPECT_EQ(refreshes_at_start, 1);
    // The display's pace: one refresh per frame, never the clock.
    EXPECT_EQ(refreshes_per_frame(60), std::vector<int>(60, 1));
    EXPECT_TRUE(clock_waits.empty());
    // Half and a quarter of it: two and four refreshes per frame, early and late refreshes
    // alike (a refresh a little before the due time is the one the frame is shown on).
    pace_key(pace_key_slower);
    EXPECT_EQ(refreshes_per_frame(60), std::vector<int>(60, 2));
    pace_key(pace_key_slower);
    EXPECT_EQ(refreshes_per_frame(30), std::vector<int>(30, 4));
    // After a stall of several seconds the pace goes on with no burst: each frame still waits
    // for its refreshes.
    now_us += 5000000;
    EXPECT_EQ(refreshes_per_frame(10)[1], 4);
    pace_key(pace_key_faster);
    pace_key(pace_key_faster);
    EXPECT_EQ(refreshes_per_frame(10), std::vector<int>(10, 1));
    EXPECT_TRUE(clock_waits.empty());
}

TEST_F(PaceRefresh, PauseAndSetPaceKeepToTheClock) {
    pace_key(pace_key_pause);
    pace_key(pace_key_step);
    show_frame(); // the step's frame
    EXPECT_EQ(refreshes, refreshes_at_start);
    pace_key(pace_key_pause);

    pace_configure(PaceSetting{pace_fixed, 50});
    clock_waits.clear();
    for (int i = 0; i < 5; i++)
        show_frame();
    EXPECT_EQ(refreshes, refreshes_at_start);
    ASSERT_EQ(clock_waits.size(), 5u);
    for (size_t i = 1; i < clock_waits.size(); i++)
        EXPECT_EQ(clock_waits[i] - clock_waits[i - 1], 20000u);

    pace_configure(PaceSetting{pace_unlimited, 0});
    EXPECT_EQ(refreshes_per_frame(5), std::vector<int>(5, 0));
    pace_key(pace_key_slower); // from frames back to back down to the display's rate
    EXPECT_EQ(refreshes_per_frame(5), std::vector<int>(5, 1));
}

TEST_F(PaceRefresh, HeldAtThePollTheWaitComesOnceThere) {
    pace_hold_at_poll(true);
    hold_inside_wait = true;
    int before = refreshes;
    show_frame();
    EXPECT_EQ(refreshes, before) << "the frame's wait is left to the poll";
    pace_hold();
    EXPECT_EQ(refreshes, before + 1);
    pace_hold();
    EXPECT_EQ(refreshes, before + 1) << "a frame is waited for once";
    pace_key(pace_key_slower);
    show_frame();
    pace_hold();
    show_frame();
    pace_hold();
    EXPECT_EQ(refreshes, before + 1 + 2 + 2);
}

TEST_F(PaceRefresh, EscapeEndsTheWaitOfASlowPace) {
    for (int i = 0; i < 4; i++)
        pace_key(pace_key_slower); // a frame every 16 refreshes
    show_frame();
    int before = refreshes;
    post_key(shown_window, VK_ESCAPE, true, false, false, false, false);
    show_frame();
    EXPECT_EQ(refreshes, before) << "Escape in the queue: no frame is held back";
}

} // namespace
