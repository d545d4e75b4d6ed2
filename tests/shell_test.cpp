// The shell through its real loop (app_main) on the headless SDL backend, with a probe effect
// that exists only here: it counts its calls, records decay and variant at the start of every
// frame, and injects messages at chosen frames the way a user's keys would arrive.
//
// Every test runs app_main in this one process. app_main registers "Demo Test" and leaves its
// window open (the program never destroys either; both end with the process), so each test's
// tear-down destroys the window, unregisters the class and empties the queue, as a fresh process
// would find them. That keeps the cases fast and their failures readable, with no child
// processes to coordinate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "headless_shell.h"
#include "shell.h"

const char* const app_title = "Probe";

namespace {

constexpr LPARAM alt_held = LPARAM{1} << 29;

struct ProbeRun {
    int init_calls;
    int render_calls;
    int shutdown_calls;
    int frame_limit; // the effect asks the loop to stop after this many frames
    void (*script)(int frame);
    std::vector<int32_t> decay_seen;
    std::vector<int32_t> variant_seen;
    HWND window_of_dc; // WindowFromDC of the DC the first frame was given
    std::string title_at[4];
};

ProbeRun probe;

std::string window_title() {
    char text[128];
    GetWindowTextA(main_window(), text, sizeof(text));
    return text;
}

int run_app(void (*script)(int frame), int32_t start_variant = 0, int frame_limit = 100) {
    probe = ProbeRun{};
    probe.script = script;
    probe.frame_limit = frame_limit;
    decay = decay_start;
    variant = start_variant;
    char command_line[] = "";
    return app_main(GetModuleHandleA(nullptr), nullptr, command_line, SW_SHOW);
}

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(headless);
    }
    void TearDown() override {
        leave_nothing_behind();
    }
};

} // namespace

void effect_init(HINSTANCE) {
    probe.init_calls++;
}

bool effect_render(HDC window_dc) {
    int frame = ++probe.render_calls;
    probe.decay_seen.push_back(decay);
    probe.variant_seen.push_back(variant);
    if (frame == 1)
        probe.window_of_dc = WindowFromDC(window_dc);
    if (frame < 4)
        probe.title_at[frame] = window_title();
    if (probe.script != nullptr)
        probe.script(frame);
    return frame >= probe.frame_limit;
}

void effect_shutdown() {
    probe.shutdown_calls++;
}

TEST_F(Shell, FirstFrameSetsTheTitleWithOneFrameAndTheDecay) {
    if (timeGetTime() < 1000)
        GTEST_SKIP() << "the title's first update waits for the system's first second";
    int result = run_app(nullptr, 0, 2);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(probe.render_calls, 2);
    EXPECT_EQ(probe.title_at[1], "Probe");
    EXPECT_EQ(probe.title_at[2], "Probe- 1FPS Prop- 2");
    // The DC handed to every frame is the window's own, and the client area is 320 x 240.
    ASSERT_NE(main_window(), nullptr);
    EXPECT_EQ(probe.window_of_dc, main_window());
    RECT client;
    ASSERT_TRUE(GetClientRect(main_window(), &client));
    EXPECT_EQ(client.right - client.left, 320);
    EXPECT_EQ(client.bottom - client.top, 240);
}

TEST_F(Shell, ArrowKeysMoveDecayOnePerFrameWithinItsBounds) {
    int result = run_app([](int frame) {
        if (frame != 1)
            return;
        // A burst queued at once: Up x3, Down, Left x10, Right, Escape.
        press(VK_UP);
        press(VK_UP);
        press(VK_UP);
        press(VK_DOWN);
        for (int i = 0; i < 10; i++)
            press(VK_LEFT);
        press(VK_RIGHT);
        press(VK_ESCAPE);
    });
    EXPECT_EQ(result, 0);
    // One message per frame: frame k + 1 sees the first k keys.
    const std::vector<int32_t> expected = {2, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 9};
    EXPECT_EQ(probe.decay_seen, expected);
    EXPECT_EQ(probe.render_calls, 16);
    EXPECT_EQ(probe.shutdown_calls, 1);
}

TEST_F(Shell, SpaceCountsAndKeysWithAltOrOtherMessagesChangeNothing) {
    int result = run_app([](int frame) {
        if (frame != 1)
            return;
        HWND window = main_window();
        press(VK_SPACE);
        PostMessageA(window, WM_SYSKEYDOWN, VK_SPACE, 1 | alt_held);
        PostMessageA(window, WM_SYSKEYDOWN, VK_LEFT, 1 | alt_held);
        PostMessageA(window, WM_SYSKEYDOWN, VK_ESCAPE, 1 | alt_held);
        PostMessageA(window, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000001u));
        PostMessageA(window, WM_CHAR, ' ', 1);
        press(VK_SPACE);
        press(VK_ESCAPE);
    });
    EXPECT_EQ(result, 0);
    const std::vector<int32_t> variants = {0, 1, 1, 1, 1, 1, 1, 2};
    const std::vector<int32_t> decays(8, 2);
    EXPECT_EQ(probe.variant_seen, variants);
    EXPECT_EQ(probe.decay_seen, decays);
}

TEST_F(Shell, EscapeEndsTheLoopAndLeavesTheWindow) {
    int result = run_app([](int frame) {
        if (frame == 2)
            press(VK_ESCAPE);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(probe.init_calls, 1);
    EXPECT_EQ(probe.render_calls, 2);
    EXPECT_EQ(probe.shutdown_calls, 1);
    EXPECT_NE(main_window(), nullptr);
}

TEST_F(Shell, DestroyedWindowEndsTheLoop) {
    int result = run_app([](int frame) {
        if (frame == 2)
            DestroyWindow(main_window());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(probe.render_calls, 2);
    EXPECT_EQ(probe.shutdown_calls, 1);
    EXPECT_EQ(main_window(), nullptr);
}

TEST_F(Shell, WindowThatCannotBeCreatedRunsNoFrame) {
    // The class is taken already, so the shell's registration fails.
    WNDCLASSA taken = {};
    taken.lpfnWndProc = DefWindowProcA;
    taken.lpszClassName = "Demo Test";
    ASSERT_NE(RegisterClassA(&taken), 0);
    int result = run_app(nullptr);
    // A program that could not open its window has failed, and says so in its exit code.
    EXPECT_EQ(result, exit_no_window);
    EXPECT_NE(exit_no_window, 0);
    EXPECT_EQ(probe.init_calls, 1);
    EXPECT_EQ(probe.render_calls, 0);
    EXPECT_EQ(probe.shutdown_calls, 1);
    EXPECT_EQ(main_window(), nullptr);
}

TEST_F(Shell, QuitMessageEndsTheLoopWhateverItsSource) {
    void (*scripts[])(int) = {
        [](int frame) {
            if (frame == 1)
                PostQuitMessage(0);
        },
        [](int frame) {
            if (frame == 1)
                PostMessageA(nullptr, WM_QUIT, 0, 0);
        },
    };
    for (auto script : scripts) {
        int result = run_app(script);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(probe.render_calls, 1);
        EXPECT_EQ(probe.shutdown_calls, 1);
        // The quit message ends the loop, not the window.
        EXPECT_NE(main_window(), nullptr);
        leave_nothing_behind();
    }
}

namespace {
UINT close_message;
WPARAM close_wparam;
LPARAM close_lparam;
HWND closed_window;
} // namespace

TEST_F(Shell, CloseRequestDestroysTheWindowAndEndsTheLoopWithoutQuit) {
    struct Request {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
    };
    const Request requests[] = {
        {WM_CLOSE, 0, 0},
        {WM_SYSCOMMAND, SC_CLOSE, 0},
        {WM_SYSKEYDOWN, VK_F4, 1 | alt_held}, // Alt+F4 typed
    };
    for (const Request& request : requests) {
        SCOPED_TRACE(request.message);
        close_message = request.message;
        close_wparam = request.wparam;
        close_lparam = request.lparam;
        int result = run_app([](int frame) {
            if (frame != 1)
                return;
            closed_window = main_window();
            PostMessageA(closed_window, close_message, close_wparam, close_lparam);
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(probe.render_calls, 1);
        EXPECT_EQ(probe.shutdown_calls, 1);
        EXPECT_FALSE(IsWindow(closed_window));
        MSG msg;
        EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "left: " << msg.message;
        leave_nothing_behind();
    }
}

TEST_F(Shell, VariantWrapsToZeroKeepingTheStepModuloSix) {
    int result = run_app(
        [](int frame) {
            if (frame != 1)
                return;
            press(VK_SPACE);
            press(VK_SPACE);
            press(VK_SPACE);
            press(VK_ESCAPE);
        },
        2147483644);
    EXPECT_EQ(result, 0);
    const std::vector<int32_t> expected = {2147483644, 2147483645, 0, 1};
    ASSERT_EQ(probe.variant_seen, expected);
    // 4, 5, 0, 1: the wrap is one ordinary step of the warps (mod 3) and the schemes (mod 6).
    for (size_t i = 1; i < expected.size(); i++) {
        EXPECT_EQ(probe.variant_seen[i] % 6, (probe.variant_seen[i - 1] % 6 + 1) % 6);
        EXPECT_EQ(probe.variant_seen[i] % 3, (probe.variant_seen[i - 1] % 3 + 1) % 3);
    }
}

TEST_F(Shell, PumpWithoutAWindowAlwaysStops) {
    EXPECT_EQ(pump_messages(nullptr), 0);
    PostMessageA(nullptr, WM_USER, 0, 0);
    EXPECT_EQ(pump_messages(nullptr), 0);
}
