// The Windows backend's parts that work without a window, run under Wine: the import patching
// that gives the backend its turn, the keys held during a pause, the refresh rate a display mode
// says, the scale rules as the backend uses them, and the presentation's options and pace keys as
// the Windows start-up and window procedure take them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "options.h"
#include "pace.h"
#include "windows_backend.h"

static int WINAPI fake_metrics(int) {
    return 4321;
}

// GetSystemMetrics through the import table, read afresh at each call: within one function the
// compiler may keep an imported function's address from its first call, as the programs' code
// may too (which is why the start-up patches before WinMain runs).
__attribute__((noinline)) static int metric(int index) {
    return GetSystemMetrics(index);
}

TEST(WindowsImports, PatchedEntryReachesTheReplacementUntilPutBack) {
    int real = metric(SM_CXDLGFRAME);
    void* was = patch_import(GetModuleHandleA(nullptr), "USER32.DLL", "GetSystemMetrics",
                             reinterpret_cast<void*>(fake_metrics));
    ASSERT_NE(was, nullptr);
    EXPECT_EQ(metric(SM_CXDLGFRAME), 4321);
    // What the entry held is the real function, which the backend calls from then on.
    int (*held)(int) = nullptr;
    memcpy(&held, &was, sizeof(held));
    EXPECT_EQ(reinterpret_cast<int(WINAPI*)(int)>(held)(SM_CXDLGFRAME), real);

    void* fake = patch_import(GetModuleHandleA(nullptr), "user32.dll", "GetSystemMetrics", was);
    EXPECT_EQ(fake, reinterpret_cast<void*>(fake_metrics));
    EXPECT_EQ(metric(SM_CXDLGFRAME), real);
}

TEST(WindowsImports, WhatTheModuleDoesNotImportIsLeftAlone) {
    HMODULE self = GetModuleHandleA(nullptr);
    void* any = reinterpret_cast<void*>(fake_metrics);
    EXPECT_EQ(patch_import(self, "user32.dll", "NoSuchFunction", any), nullptr);
    EXPECT_EQ(patch_import(self, "nosuch.dll", "GetSystemMetrics", any), nullptr);
    // kernel32 does not import GetSystemMetrics from user32 by that name: nothing changes there.
    EXPECT_EQ(patch_import(GetModuleHandleA("kernel32.dll"), "user32.dll", "GetSystemMetrics", any),
              nullptr);
    EXPECT_EQ(patch_import(nullptr, "user32.dll", "GetSystemMetrics", any), nullptr);
    EXPECT_NE(metric(SM_CXDLGFRAME), 4321);
}

// The key presses waiting in the thread's queue as the program would take them.
static std::vector<MSG> posted_keys() {
    std::vector<MSG> keys;
    MSG message;
    while (PeekMessageA(&message, reinterpret_cast<HWND>(-1), WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
        keys.push_back(message);
    return keys;
}

TEST(WindowsHeldKeys, GoBackToTheQueueInTheOrderTheyCame) {
    posted_keys();
    held_keys_forget();
    EXPECT_TRUE(held_keys_add(nullptr, VK_SPACE, 0x00390001));
    EXPECT_TRUE(held_keys_add(nullptr, VK_LEFT, 0x014B0001));
    EXPECT_TRUE(held_keys_add(nullptr, VK_SPACE, 0x40390001)); // a repeat
    EXPECT_EQ(held_keys_count(), 3);
    EXPECT_TRUE(posted_keys().empty()) << "held keys wait until they are released";
    held_keys_release();
    EXPECT_EQ(held_keys_count(), 0);
    std::vector<MSG> keys = posted_keys();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_EQ(keys[0].lParam, 0x00390001);
    EXPECT_EQ(keys[1].wParam, static_cast<WPARAM>(VK_LEFT));
    EXPECT_EQ(keys[2].lParam, 0x40390001);
}

TEST(WindowsHeldKeys, AFullBufferDropsNewKeysAndForgettingDropsAll) {
    posted_keys();
    held_keys_forget();
    for (int i = 0; i < max_held_keys; i++)
        EXPECT_TRUE(held_keys_add(nullptr, 'A' + i % 26, i));
    EXPECT_FALSE(held_keys_add(nullptr, VK_SPACE, 0));
    EXPECT_EQ(held_keys_count(), max_held_keys);
    held_keys_forget();
    held_keys_release();
    EXPECT_TRUE(posted_keys().empty());
    // A window that is gone takes nothing: its key goes to the thread, as the program takes keys
    // whatever window they are for.
    EXPECT_TRUE(held_keys_add(reinterpret_cast<HWND>(0x1234), VK_DOWN, 7));
    held_keys_release();
    std::vector<MSG> keys = posted_keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].hwnd, nullptr);
    EXPECT_EQ(keys[0].wParam, static_cast<WPARAM>(VK_DOWN));
}

TEST(WindowsRefreshRate, ZeroAndOneMeanTheHardwaresDefaultWhichSaysNothing) {
    EXPECT_EQ(refresh_rate_of_frequency(0), 0);
    EXPECT_EQ(refresh_rate_of_frequency(1), 0);
    EXPECT_EQ(refresh_rate_of_frequency(59), 59);
    EXPECT_EQ(refresh_rate_of_frequency(60), 60);
    EXPECT_EQ(refresh_rate_of_frequency(144), 144);
    EXPECT_EQ(refresh_rate_of_monitor(nullptr), 0);
}

TEST(WindowsScale, OpeningScaleFollowsTheMonitorsUsableArea) {
    struct Case {
        int asked, width, height, scale;
    } cases[] = {
        {0, 1920, 1040, 2}, // 1080p less a taskbar: 2x, 640 x 480
        {0, 3840, 2100, 4}, // 2160p: 4x
        {0, 2560, 1400, 2}, // 1440p less a taskbar: 1400 / 2 / 240 is 2.9
        {0, 1366, 728, 1},  // a small laptop
        {0, 200, 100, 1},   // never below 1
        {3, 1920, 1040, 3}, // --scale 3 fits
        {8, 1920, 1040, 4}, // --scale 8 is reduced to the largest that fits: 1040 / 240
        {6, 1280, 2000, 4}, // and across: 1280 / 320
    };
    for (const Case& c : cases)
        EXPECT_EQ(opening_display_scale(c.asked, c.width, c.height, 320, 240), c.scale)
            << "asked " << c.asked << " on " << c.width << " x " << c.height;
}

TEST(WindowsScale, AnotherDpiKeepsWholeBlocksOfAboutTheSameSize) {
    EXPECT_EQ(rescaled_for_dpi(2, 96, 192), 4);
    EXPECT_EQ(rescaled_for_dpi(2, 96, 144), 3);
    EXPECT_EQ(rescaled_for_dpi(4, 192, 96), 2);
    EXPECT_EQ(rescaled_for_dpi(3, 144, 120), 3); // 2.5 rounds up
    EXPECT_EQ(rescaled_for_dpi(1, 144, 96), 1);  // never below 1
    EXPECT_EQ(rescaled_for_dpi(6, 96, 192), max_display_scale);
    EXPECT_EQ(rescaled_for_dpi(3, 0, 96), 3); // a DPI the system did not say changes nothing
}

// take_display_options on a copy of the words; the words kept are returned in `kept`.
static OptionsResult take(std::vector<std::string> words, DisplayOptions* options,
                          std::vector<std::string>* kept, std::string* error) {
    words.insert(words.begin(), "sorvel2.exe");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());
    char text[160] = "";
    OptionsResult result = take_display_options(&argc, argv.data(), options, text, sizeof(text));
    kept->assign(argv.begin() + 1, argv.begin() + argc);
    *error = text;
    return result;
}

TEST(WindowsOptions, TheStartUpTakesItsOptionsAndPassesTheRestOn) {
    DisplayOptions options;
    std::vector<std::string> kept;
    std::string error;
    EXPECT_EQ(take({"--scale", "3", "--fullscreen", "--fps", "30", "word", "--", "--scale"},
                   &options, &kept, &error),
              options_run);
    EXPECT_EQ(options.scale, 3);
    EXPECT_TRUE(options.fullscreen);
    EXPECT_EQ(options.pace.mode, pace_fixed);
    EXPECT_EQ(options.pace.fps, 30);
    EXPECT_EQ(kept, (std::vector<std::string>{"word", "--scale"}));
    EXPECT_TRUE(options.pace_given) << "a screen saver's saved pace gives way to --fps";

    EXPECT_EQ(take({}, &options, &kept, &error), options_run);
    EXPECT_EQ(options.scale, 0);
    EXPECT_EQ(options.pace.mode, pace_display);
    EXPECT_FALSE(options.pace_given);
    EXPECT_EQ(take({"--fps", "max"}, &options, &kept, &error), options_run);
    EXPECT_EQ(options.pace.mode, pace_unlimited);
    EXPECT_EQ(take({"--version", "--help"}, &options, &kept, &error), options_help);
    EXPECT_EQ(take({"--version"}, &options, &kept, &error), options_version);
}

TEST(WindowsOptions, BadOptionsAreRefusedWithALineNamingThem) {
    DisplayOptions options;
    std::vector<std::string> kept;
    std::string error;
    EXPECT_EQ(take({"--fps", "0"}, &options, &kept, &error), options_error);
    EXPECT_NE(error.find("\"0\""), std::string::npos) << error;
    EXPECT_EQ(take({"--scale", "9"}, &options, &kept, &error), options_error);
    EXPECT_NE(error.find("\"9\""), std::string::npos) << error;
    EXPECT_EQ(take({"--bogus"}, &options, &kept, &error), options_error);
    EXPECT_NE(error.find("--bogus"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
}

TEST(WindowsPaceKeys, TheWindowsKeysDriveTheSharedPace) {
    pace_configure(PaceSetting{pace_display, 0});
    EXPECT_TRUE(pace_take_virtual_key('P', true, false));
    EXPECT_TRUE(pace_paused());
    EXPECT_TRUE(pace_take_virtual_key('P', false, false)); // the release is taken, and does nothing
    EXPECT_TRUE(pace_paused());
    EXPECT_TRUE(pace_take_virtual_key('P', true, true)); // nor does a held key's repeat
    EXPECT_TRUE(pace_paused());
    EXPECT_TRUE(pace_take_virtual_key(VK_PAUSE, true, false));
    EXPECT_FALSE(pace_paused());

    double rate = pace_rate();
    EXPECT_TRUE(pace_take_virtual_key(VK_OEM_MINUS, true, false));
    EXPECT_EQ(pace_rate(), rate / 2);
    EXPECT_TRUE(pace_take_virtual_key(VK_SUBTRACT, true, false));
    EXPECT_EQ(pace_rate(), rate / 4);
    EXPECT_TRUE(pace_take_virtual_key(VK_ADD, true, false));
    EXPECT_TRUE(pace_take_virtual_key(VK_OEM_PLUS, true, false));
    EXPECT_EQ(pace_rate(), rate);

    for (int key : {static_cast<int>(VK_SPACE), static_cast<int>(VK_ESCAPE),
                    static_cast<int>(VK_LEFT), static_cast<int>(VK_F11), static_cast<int>('Q')})
        EXPECT_FALSE(pace_take_virtual_key(key, true, false)) << key;
    pace_configure(PaceSetting{pace_unlimited, 0});
}
