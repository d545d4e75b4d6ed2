// The frame loop's timing, through the real loop (app_main) on the headless SDL backend, with the
// millisecond counter replaced by a clock that only the test moves (platform_set_clock). A frame
// lasts as long as the test says; inside a pacing wait the clock may also step on every reading,
// as a real counter moves while the loop polls. The probe effect records when each frame began,
// what variant it saw, and every title the loop wrote after a frame: it reads the window's title
// at the start of each frame and then blanks it, so each title the loop writes is seen once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include "platform_internal.h"
#include "headless_shell.h"
#include "shell.h"

const char* const app_title = "Probe";

namespace {

struct Title {
    int after_frame;
    std::string text;
    bool operator==(const Title& other) const {
        return after_frame == other.after_frame && text == other.text;
    }
};

void PrintTo(const Title& title, std::ostream* out) {
    *out << "{" << title.after_frame << ", \"" << title.text << "\"}";
}

struct Clock {
    DWORD now;
    DWORD ms_per_read; // how far each reading moves the clock (0: only frames move it)
    int reads;
    // Called once at the first reading at or after `stop_at`, as a user's stop would arrive.
    DWORD stop_at;
    void (*stop)();
    int read_at_stop; // the reading at which it was called, or 0
};

struct Run {
    uint32_t interval_ms;        // frame_interval_ms, set by the probe's effect_init
    std::vector<DWORD> frame_ms; // how long each frame lasts; the last one repeats
    int frame_limit;             // the frame whose render asks the loop to stop
    void (*script)(int frame);
    int init_calls, render_calls, shutdown_calls;
    std::vector<DWORD> frame_start; // the clock when each frame began
    std::vector<int32_t> variant_seen;
    std::vector<Title> titles;
    int reads_at_last_render; // the clock's readings when the last render returned
};

Clock clock_state;
Run run;

DWORD test_clock() {
    clock_state.now += clock_state.ms_per_read;
    clock_state.reads++;
    if (clock_state.stop != nullptr && clock_state.read_at_stop == 0 &&
        clock_state.now - clock_state.stop_at < 0x80000000u) {
        clock_state.read_at_stop = clock_state.reads;
        clock_state.stop();
    }
    return clock_state.now;
}

std::string take_title() {
    char text[128] = "";
    GetWindowTextA(main_window(), text, sizeof(text));
    SetWindowTextA(main_window(), "");
    return text;
}

// Runs app_main from `start` on the test's clock with `setup` as the run's plan.
// `stop`, if given, is called at the first reading at or after `stop_at`.
int run_loop(DWORD start, const Run& setup, DWORD ms_per_read = 0, void (*stop)() = nullptr,
             DWORD stop_at = 0) {
    run = setup;
    clock_state = Clock{start, ms_per_read, 0, stop_at, stop, 0};
    decay = decay_start;
    variant = 0;
    platform_set_clock(test_clock);
    char command_line[] = "";
    int result = app_main(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
    platform_set_clock(nullptr);
    // A title written after the last frame.
    if (main_window() != nullptr) {
        std::string text = take_title();
        if (!text.empty())
            run.titles.push_back({run.render_calls, text});
    }
    return result;
}

Run plan(std::vector<DWORD> frame_ms, int frame_limit, uint32_t interval_ms = 0,
         void (*script)(int) = nullptr) {
    Run setup = {};
    setup.interval_ms = interval_ms;
    setup.frame_ms = std::move(frame_ms);
    setup.frame_limit = frame_limit;
    setup.script = script;
    return setup;
}

// What a fresh process would find: the real clock too.
void leave_nothing_behind_with_clock() {
    platform_set_clock(nullptr);
    leave_nothing_behind();
}

class FrameLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
    }
    void TearDown() override {
        leave_nothing_behind_with_clock();
    }
};

} // namespace

void effect_init(HINSTANCE) {
    run.init_calls++;
    frame_interval_ms = run.interval_ms; // after init_settings, as a pacing program would set it
}

bool effect_render(HDC) {
    int frame = ++run.render_calls;
    std::string title = take_title();
    if (frame > 1 && !title.empty())
        run.titles.push_back({frame - 1, title});
    run.frame_start.push_back(clock_state.now);
    run.variant_seen.push_back(variant);
    if (run.script != nullptr)
        run.script(frame);
    size_t index = std::min(static_cast<size_t>(frame - 1), run.frame_ms.size() - 1);
    clock_state.now += run.frame_ms[index];
    run.reads_at_last_render = clock_state.reads;
    return frame >= run.frame_limit;
}

void effect_shutdown() {
    run.shutdown_calls++;
}

TEST_F(FrameLoop, TitlesComeOnceAtLeastASecondHasPassedAndCountTheFramesSince) {
    // Frames end at 10000, 10333, 10666, 10999 (999 ms after the first title: too soon),
    // 11000 (exactly 1000), 12000, 17000, then every 250 ms.
    ASSERT_EQ(run_loop(10000, plan({0, 333, 333, 333, 1, 1000, 5000, 250}, 12)), 0);
    const std::vector<Title> expected = {
        {1, "Probe- 1FPS Prop- 2"}, {5, "Probe- 4FPS Prop- 2"},  {6, "Probe- 1FPS Prop- 2"},
        {7, "Probe- 1FPS Prop- 2"}, {11, "Probe- 4FPS Prop- 2"},
    };
    EXPECT_EQ(run.titles, expected);
}

TEST_F(FrameLoop, ClockWrappingInsideTheLoopStallsNoTitle) {
    // 300 ms frames from 1450 ms before the 32-bit counter wraps: the fifth frame ends after it.
    ASSERT_EQ(run_loop(0u - 1450u, plan({300}, 30)), 0);
    std::vector<Title> expected = {{1, "Probe- 1FPS Prop- 2"}};
    for (int frame = 5; frame < 30; frame += 4)
        expected.push_back({frame, "Probe- 4FPS Prop- 2"});
    EXPECT_EQ(run.titles, expected);
}

TEST_F(FrameLoop, DecayChangeShowsOnlyAtTheNextTitle) {
    // Left is queued during frame 2 and taken before frame 3; the next title is due after frame 5.
    ASSERT_EQ(run_loop(10000, plan({250}, 8, 0,
                                   [](int frame) {
                                       if (frame == 2)
                                           press(VK_LEFT);
                                   })),
              0);
    const std::vector<Title> expected = {{1, "Probe- 1FPS Prop- 2"}, {5, "Probe- 4FPS Prop- 3"}};
    EXPECT_EQ(run.titles, expected);
    EXPECT_EQ(decay, 3);
}

TEST_F(FrameLoop, FrameThatAsksToStopIsNeitherPacedNorCountedNorTitled) {
    // The title is due after frame 5 (1200 ms after the first), the frame that asks to stop.
    // Frames are paced 50 ms apart, so every other frame reads the clock once in its wait.
    ASSERT_EQ(run_loop(10000, plan({300}, 5, 50)), 0);
    const std::vector<Title> expected = {{1, "Probe- 1FPS Prop- 2"}};
    EXPECT_EQ(run.titles, expected);
    EXPECT_EQ(run.render_calls, 5);
    EXPECT_EQ(run.shutdown_calls, 1);
    EXPECT_EQ(clock_state.reads, run.reads_at_last_render) << "the clock was read after the stop";
}

TEST_F(FrameLoop, PacingWaitHoldsFramesApartAndTakesMessagesMeanwhile) {
    auto burst = [](int frame) {
        if (frame == 2)
            for (int i = 0; i < 5; i++)
                press(VK_SPACE);
    };
    // Instant frames, a clock moving 1 ms a reading: from the second frame on (the first is
    // measured from a stamp of 0), each frame waits out the 50 ms, across the 32-bit wrap too,
    // and the wait's polls take the whole burst before frame 3.
    for (DWORD start : {10000u, 0u - 120u}) {
        SCOPED_TRACE(start);
        ASSERT_EQ(run_loop(start, plan({0}, 8, 50, burst), 1), 0);
        ASSERT_EQ(run.frame_start.size(), 8u);
        for (size_t i = 2; i < run.frame_start.size(); i++) {
            // A few readings of the loop's own and of the messages lie outside the wait.
            DWORD gap = run.frame_start[i] - run.frame_start[i - 1];
            EXPECT_GE(gap, 50u) << "between frames " << i << " and " << i + 1;
            EXPECT_LT(gap, 60u) << "between frames " << i << " and " << i + 1;
        }
        EXPECT_EQ(run.variant_seen[2], 5);
        leave_nothing_behind_with_clock();
    }
    // Frames longer than the interval wait for nothing: the burst is taken one key a frame.
    ASSERT_EQ(run_loop(10000, plan({80}, 8, 50, burst), 1), 0);
    const std::vector<int32_t> one_a_frame = {0, 0, 1, 2, 3, 4, 5, 5};
    EXPECT_EQ(run.variant_seen, one_a_frame);
}

TEST_F(FrameLoop, StopTakenDuringThePacingWaitEndsTheLoopAtOnce) {
    void (*stops[])() = {
        [] { press(VK_ESCAPE); },
        [] { PostQuitMessage(0); },
        [] { DestroyWindow(main_window()); },
    };
    for (auto stop : stops) {
        // Instant frames paced 3 s apart, on a clock moving 1 ms a reading. The stop comes 1.5 s
        // into the wait after frame 2, when a title is due: the frame is neither counted nor
        // titled, and no frame follows. (Before, the wait ended, frame 2 was titled and a taken
        // Escape or quit was lost, so frame 3 was drawn.)
        ASSERT_EQ(run_loop(10000, plan({0}, 100, 3000), 1, stop, 11500), 0);
        ASSERT_NE(clock_state.read_at_stop, 0);
        EXPECT_EQ(run.render_calls, 2);
        EXPECT_EQ(run.shutdown_calls, 1);
        const std::vector<Title> expected = {{1, "Probe- 1FPS Prop- 2"}};
        EXPECT_EQ(run.titles, expected);
        leave_nothing_behind_with_clock();
    }
}
