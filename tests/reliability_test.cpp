// Both programs' real effects through the real loop on the headless backend, under the faults
// the platform can throw at them and with the heap watched: nothing may be allocated per frame,
// and every failure must end in a clean exit with code 0.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include <windows.h>

#include "allocation_count.h"
#include "palette_demo.h"
#include "platform_faults.h"
#include "shell.h"
#include "warp.h"

const char* const app_title = "Sorvel2";

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

struct Program {
    void (*init)(HINSTANCE);
    bool (*render)(HDC);
    void (*shutdown)();
    int32_t* applied_variant;
};
const Program sorvel2{warp::effect_init, warp::effect_render, warp::effect_shutdown,
                      &warp::applied_variant};
const Program sorvel{palette_demo::effect_init, palette_demo::effect_render,
                     palette_demo::effect_shutdown, &palette_demo::applied_variant};

struct Run {
    const Program* program;
    int init_calls, shutdown_calls, frames;
    int escape_at;             // Escape is queued after this frame
    void (*script)(int frame); // what happens to the window after a frame
    int title_updates;         // while allocations were counted
    char title[100];
};
Run run;

HWND main_window() {
    return FindWindowA("Demo Test", nullptr);
}

int run_program(const Program& program, int escape_at, void (*script)(int) = nullptr) {
    run = Run{&program, 0, 0, 0, escape_at, script, 0, ""};
    decay = decay_start;
    variant = 0;
    *program.applied_variant = 0;
    char command_line[] = "";
    int result = app_main(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
    counting = false;
    return result;
}

void post_key(WPARAM key) {
    PostMessageA(main_window(), WM_KEYDOWN, key, 1);
}

class Reliability : public ::testing::TestWithParam<const Program*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
    }
    void TearDown() override {
        for (int fault = 0; fault < fault_kinds; fault++)
            platform_inject_fault(static_cast<PlatformFault>(fault), 0);
        if (HWND window = main_window())
            DestroyWindow(window);
        UnregisterClassA("Demo Test", GetModuleHandleA(nullptr));
        MSG msg;
        for (int i = 0; i < 10000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
        }
    }
};

} // namespace

// SDL keeps its own copy of each new title, one small allocation at most once a second; a slow
// run may see one. Any other allocation fails the count.
static void observe_title() {
    if (!counting)
        return;
    char title[100];
    GetWindowTextA(main_window(), title, sizeof title);
    if (strcmp(title, run.title) != 0) {
        run.title_updates++;
        strcpy(run.title, title);
    }
}

void effect_init(HINSTANCE instance) {
    run.init_calls++;
    run.program->init(instance);
}

bool effect_render(HDC window_dc) {
    int frame = ++run.frames;
    // Start-up ends with the first frame: the first present makes the window's framebuffer and
    // the first title is set.
    if (frame == 2) {
        GetWindowTextA(main_window(), run.title, sizeof run.title);
        counting = true;
    }
    observe_title();
    bool stop = run.program->render(window_dc);
    if (run.script != nullptr)
        run.script(frame);
    if (frame == run.escape_at)
        post_key(VK_ESCAPE);
    return stop;
}

void effect_shutdown() {
    observe_title();
    counting = false;
    run.shutdown_calls++;
    run.program->shutdown();
}

TEST_P(Reliability, NothingIsAllocatedPerFrame) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers replace the allocator";
#endif
    allocations = 0;
    // Every key on the way: Space switches warps and schemes, the arrows walk the decay.
    auto keys = [](int frame) {
        static const WPARAM script[] = {VK_SPACE, VK_LEFT, VK_DOWN, VK_UP, VK_RIGHT};
        if (frame % 97 == 0)
            post_key(script[(frame / 97) % 5]);
    };
    EXPECT_EQ(run_program(*GetParam(), 1001, keys), 0);
    EXPECT_EQ(run.frames, 1001);
    EXPECT_GT(variant, 1);
    EXPECT_LE(allocations, run.title_updates) << "heap allocations over 1,000 frames";
}

TEST_P(Reliability, ClassOrWindowThatCannotBeMadeEndsCleanly) {
    for (PlatformFault fault : {fault_register_class, fault_create_window}) {
        platform_inject_fault(fault, 1);
        EXPECT_EQ(run_program(*GetParam(), 10), exit_no_window);
        EXPECT_EQ(run.init_calls, 1);
        EXPECT_EQ(run.frames, 0);
        EXPECT_EQ(run.shutdown_calls, 1);
        EXPECT_EQ(main_window(), nullptr);
        TearDown();
    }
}

TEST_P(Reliability, SurfacesThatCannotBeMadeDrawNothingAndEscapeStillEnds) {
    for (PlatformFault fault : {fault_create_dib_section, fault_create_compatible_dc}) {
        platform_inject_fault(fault, 100);
        EXPECT_EQ(run_program(*GetParam(), 50), 0);
        EXPECT_EQ(run.frames, 50);
        EXPECT_EQ(run.shutdown_calls, 1);
        TearDown();
    }
    // only the second bitmap fails: sorvel2 has one surface but not the other
    platform_inject_fault(fault_create_dib_section, 0);
    EXPECT_EQ(run_program(*GetParam(), 50), 0);
    EXPECT_EQ(run.frames, 50);
}

TEST_P(Reliability, WindowGoneOrQuitMidRunEndsTheLoop) {
    EXPECT_EQ(run_program(*GetParam(), 1000,
                          [](int frame) {
                              if (frame == 20)
                                  DestroyWindow(main_window());
                          }),
              0);
    EXPECT_EQ(run.frames, 20);
    EXPECT_EQ(run.shutdown_calls, 1);
    TearDown();

    EXPECT_EQ(run_program(*GetParam(), 1000,
                          [](int frame) {
                              if (frame == 20)
                                  PostQuitMessage(0);
                          }),
              0);
    EXPECT_EQ(run.frames, 20);
    EXPECT_EQ(run.shutdown_calls, 1);
}

TEST_P(Reliability, MinimizedWindowKeepsTheLoopGoing) {
    static bool iconic_while_minimized;
    iconic_while_minimized = false;
    EXPECT_EQ(run_program(*GetParam(), 60,
                          [](int frame) {
                              if (frame == 10)
                                  ShowWindow(main_window(), SW_MINIMIZE);
                              if (frame == 30)
                                  iconic_while_minimized = IsIconic(main_window()) != 0;
                              if (frame == 40)
                                  ShowWindow(main_window(), SW_RESTORE);
                          }),
              0);
    EXPECT_TRUE(iconic_while_minimized);
    EXPECT_EQ(run.frames, 60);
    EXPECT_EQ(run.shutdown_calls, 1);
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Reliability, ::testing::Values(&sorvel2, &sorvel),
                         [](const auto& info) {
                             return std::string(info.param == &sorvel2 ? "sorvel2" : "sorvel");
                         });
