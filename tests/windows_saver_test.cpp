// The Windows screen saver's parts, run under Wine: the arguments Windows gives a screen saver,
// the settings as the registry holds them (bad values included), the picture on each monitor and
// in a preview of odd sizes, drawn by GDI through the backend's mapping, and the input that ends
// the saver, the --cycle presses it must not take for the user's, and the preview's end. Windows
// here are message-only, which need no display.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "cycle.h"
#include "pace.h"
#include "windows_backend.h"
#include "windows_saver.h"

// parse_saver_arguments on the words of `line` (split at spaces).
static bool parse(const std::string& line, SaverCall* call, std::string* error = nullptr) {
    std::vector<std::string> words;
    for (size_t at = 0; at < line.size();) {
        size_t end = line.find(' ', at);
        end = end == std::string::npos ? line.size() : end;
        if (end > at)
            words.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    char text[160] = "";
    bool parsed = parse_saver_arguments(static_cast<int>(pointers.size()), pointers.data(), call,
                                        text, sizeof(text));
    if (error != nullptr)
        *error = text;
    return parsed;
}

TEST(SaverArguments, EveryFormWindowsAndOtherStartersUse) {
    struct Case {
        const char* line;
        SaverMode mode;
        uint32_t window;
    } cases[] = {
        {"", saver_settings, 0},
        {"/s", saver_full, 0},
        {"/S", saver_full, 0},
        {"-s", saver_full, 0},
        {"-S", saver_full, 0},
        {"/p 1234", saver_preview, 1234},
        {"/p:1234", saver_preview, 1234},
        {"-P:98765", saver_preview, 98765},
        {"/P 4294967295", saver_preview, 0xFFFFFFFFu},
        {"/c", saver_settings, 0},
        {"-C", saver_settings, 0},
        {"/c:655432", saver_settings, 655432},
        {"/C 42", saver_settings, 42},
    };
    for (const Case& c : cases) {
        SaverCall call = {saver_off, 7};
        EXPECT_TRUE(parse(c.line, &call)) << c.line;
        EXPECT_EQ(call.mode, c.mode) << c.line;
        EXPECT_EQ(call.window, c.window) << c.line;
    }
}

TEST(SaverArguments, AnythingElseIsRefusedWithALineNamingIt) {
    struct Case {
        const char* line;
        SaverMode mode; // the mode still told apart: a preview's error shows no dialog
        const char* named;
    } cases[] = {
        {"/x", saver_off, "/x"},
        {"/", saver_off, "\"/\""},
        {"s", saver_off, "\"s\""},
        {"/sx", saver_off, "/sx"},
        {"/s:12", saver_off, "/s:12"},
        {"/s /p", saver_full, "/p"},
        {"/p", saver_preview, "/p"},
        {"/p:", saver_preview, "/p:"},
        {"/p abc", saver_preview, "abc"},
        {"/p -5", saver_preview, "-5"},
        {"/p 0x1A", saver_preview, "0x1A"},
        {"/p 4294967296", saver_preview, "4294967296"},
        {"/p 12 34", saver_preview, "34"},
        {"/c:12 extra", saver_settings, "extra"},
        {"/c word", saver_settings, "word"},
    };
    for (const Case& c : cases) {
        SaverCall call;
        std::string error;
        EXPECT_FALSE(parse(c.line, &call, &error)) << c.line;
        EXPECT_EQ(call.mode, c.mode) << c.line;
        EXPECT_NE(error.find(c.named), std::string::npos) << c.line << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
    }
}

TEST(SaverArguments, AScreenSaverIsAFileEndingInScr) {
    EXPECT_TRUE(is_screen_saver_path("C:\\Windows\\System32\\sorvel2.scr"));
    EXPECT_TRUE(is_screen_saver_path("SORVEL.SCR"));
    EXPECT_TRUE(is_screen_saver_path("Z:/build/apps/sorvel2.Scr"));
    EXPECT_FALSE(is_screen_saver_path("C:\\games\\sorvel2.exe"));
    EXPECT_FALSE(is_screen_saver_path("sorvel2.scr.exe"));
    EXPECT_FALSE(is_screen_saver_path(".scr"));
    EXPECT_FALSE(is_screen_saver_path("scr"));
    EXPECT_FALSE(is_screen_saver_path(nullptr));
    // Windows' handles have 32 bits; on 64-bit Windows they are sign-extended.
    EXPECT_EQ(saver_window_handle(1234), reinterpret_cast<HWND>(1234));
    EXPECT_EQ(saver_window_handle(0xFFFFFFFFu), reinterpret_cast<HWND>(static_cast<intptr_t>(-1)));
}

static int cycle_of(DWORD type, DWORD value, DWORD size = sizeof(DWORD)) {
    return cycle_from_value(type, reinterpret_cast<const BYTE*>(&value), size);
}

static bool pace_of(DWORD type, const char* text, DWORD size, PaceSetting* pace) {
    return pace_from_value(type, reinterpret_cast<const BYTE*>(text), size, pace);
}

TEST(SaverSettings, RegistryValuesAreCheckedAsTheyAreRead) {
    EXPECT_EQ(cycle_of(REG_DWORD, 0), 0);
    EXPECT_EQ(cycle_of(REG_DWORD, 45), 45);
    EXPECT_EQ(cycle_of(REG_DWORD, max_cycle_seconds), max_cycle_seconds);
    EXPECT_EQ(cycle_of(REG_DWORD, max_cycle_seconds + 1), -1);
    EXPECT_EQ(cycle_of(REG_DWORD, 0xFFFFFFFFu), -1); // -1 as a DWORD
    EXPECT_EQ(cycle_of(REG_DWORD, 45, 2), -1);       // too short
    EXPECT_EQ(cycle_of(REG_BINARY, 45), -1);
    EXPECT_EQ(cycle_of(REG_SZ, 0x3534), -1); // "45" as text
    EXPECT_EQ(cycle_from_value(REG_DWORD, nullptr, 4), -1);

    PaceSetting pace = {pace_unlimited, 99};
    EXPECT_TRUE(pace_of(REG_SZ, "display", 8, &pace));
    EXPECT_EQ(pace.mode, pace_display);
    EXPECT_TRUE(pace_of(REG_SZ, "max", 4, &pace));
    EXPECT_EQ(pace.mode, pace_unlimited);
    EXPECT_TRUE(pace_of(REG_SZ, "25", 3, &pace));
    EXPECT_EQ(pace.mode, pace_fixed);
    EXPECT_EQ(pace.fps, 25);
    EXPECT_TRUE(pace_of(REG_SZ, "1000", 4, &pace)); // written without its end
    EXPECT_EQ(pace.fps, 1000);
    pace = PaceSetting{pace_fixed, 7};
    for (const char* bad : {"0", "1001", "-5", "fast", "", "60 ", "Display"})
        EXPECT_FALSE(pace_of(REG_SZ, bad, static_cast<DWORD>(strlen(bad) + 1), &pace)) << bad;
    EXPECT_FALSE(pace_of(REG_SZ, "displays", 9, &pace)); // longer than any good value
    EXPECT_FALSE(pace_of(REG_DWORD, "60\0", 4, &pace));
    EXPECT_FALSE(pace_of(REG_SZ, "60", 0, &pace));
    EXPECT_EQ(pace.fps, 7) << "a refused value leaves the pace alone";

    // What is saved reads back as the same pace.
    for (PaceSetting saved : {PaceSetting{pace_display, 0}, PaceSetting{pace_unlimited, 0},
                              PaceSetting{pace_fixed, 1}, PaceSetting{pace_fixed, 1000}}) {
        char text[16];
        pace_value_text(saved, text, sizeof(text));
        PaceSetting read = {pace_fixed, -1};
        ASSERT_TRUE(pace_of(REG_SZ, text, static_cast<DWORD>(strlen(text) + 1), &read)) << text;
        EXPECT_EQ(read.mode, saved.mode) << text;
        EXPECT_EQ(read.fps, saved.fps) << text;
    }
}

constexpr const char* test_program = "sorvel-saver-test";
constexpr const char* test_key = "Software\\Sorvel\\sorvel-saver-test";

TEST(SaverSettings, SavedInTheRegistryAndBadValuesReadAsTheDefaults) {
    RegDeleteKeyA(HKEY_CURRENT_USER, test_key);
    SaverSettings read = saver_settings_load(test_program);
    EXPECT_FALSE(read.saved);
    EXPECT_EQ(read.cycle_seconds, saver_default_cycle_seconds);
    EXPECT_EQ(read.pace.mode, pace_display);

    ASSERT_TRUE(saver_settings_save(test_program, SaverSettings{45, {pace_fixed, 25}, false}));
    read = saver_settings_load(test_program);
    EXPECT_TRUE(read.saved);
    EXPECT_EQ(read.cycle_seconds, 45);
    EXPECT_EQ(read.pace.mode, pace_fixed);
    EXPECT_EQ(read.pace.fps, 25);

    // Values of the wrong type, out of range or too long, as regedit can write them.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, test_key, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "CycleSeconds", 0, REG_SZ, reinterpret_cast<const BYTE*>("45"), 3);
    std::string long_text(300, '9');
    RegSetValueExA(key, "Pace", 0, REG_SZ, reinterpret_cast<const BYTE*>(long_text.c_str()),
                   static_cast<DWORD>(long_text.size() + 1));
    read = saver_settings_load(test_program);
    EXPECT_EQ(read.cycle_seconds, saver_default_cycle_seconds);
    EXPECT_EQ(read.pace.mode, pace_display);
    DWORD huge = 100000;
    RegSetValueExA(key, "CycleSeconds", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&huge), 4);
    RegSetValueExA(key, "Pace", 0, REG_BINARY, reinterpret_cast<const BYTE*>("max"), 4);
    read = saver_settings_load(test_program);
    EXPECT_EQ(read.cycle_seconds, saver_default_cycle_seconds);
    EXPECT_EQ(read.pace.mode, pace_display);
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, test_key), ERROR_SUCCESS);
}

static ShownPicture at(int x, int y, int width, int height) {
    return ShownPicture{x, y, width, height};
}

static void expect_pictures(const std::vector<RECT>& monitors, POINT origin, int largest,
                            const std::vector<ShownPicture>& wanted, const char* what) {
    ShownPicture pictures[max_pictures];
    int count = lay_out_monitors(monitors.data(), static_cast<int>(monitors.size()), origin, 320,
                                 240, largest, pictures);
    ASSERT_EQ(count, static_cast<int>(wanted.size())) << what;
    for (int i = 0; i < count; i++) {
        EXPECT_EQ(pictures[i].x, wanted[i].x) << what << ", monitor " << i;
        EXPECT_EQ(pictures[i].y, wanted[i].y) << what << ", monitor " << i;
        EXPECT_EQ(pictures[i].width, wanted[i].width) << what << ", monitor " << i;
        EXPECT_EQ(pictures[i].height, wanted[i].height) << what << ", monitor " << i;
    }
}

TEST(SaverMonitors, ThePictureAtEachMonitorsLargestWholeScaleCentredOnIt) {
    expect_pictures({{0, 0, 1920, 1080}}, {0, 0}, 0, {at(320, 60, 1280, 960)}, "1080p");
    expect_pictures({{0, 0, 3840, 2160}}, {0, 0}, 0, {at(480, 0, 2880, 2160)}, "2160p, 9x");
    expect_pictures({{0, 0, 1920, 1080}}, {0, 0}, 2, {at(640, 300, 640, 480)}, "--scale 2");
    // A second monitor left of the primary: the window's client area starts at its left edge.
    expect_pictures({{0, 0, 1920, 1080}, {-1280, 56, 0, 1080}}, {-1280, 0}, 0,
                    {at(1600, 60, 1280, 960), at(0, 56 + 32, 1280, 960)}, "two monitors");
    // Portrait, and a monitor smaller than the picture (shrunk to fit).
    expect_pictures({{0, 0, 1080, 1920}, {1080, 0, 1280, 150}}, {0, 0}, 0,
                    {at(60, 600, 960, 720), at(1080, 0, 200, 150)}, "portrait and tiny");
    // A monitor of no size is left out; no more than max_pictures are drawn.
    expect_pictures({{0, 0, 0, 0}, {0, 0, 640, 480}}, {0, 0}, 0, {at(0, 0, 640, 480)}, "empty");
    std::vector<RECT> many(max_pictures + 3, RECT{0, 0, 320, 240});
    ShownPicture pictures[max_pictures];
    EXPECT_EQ(
        lay_out_monitors(many.data(), static_cast<int>(many.size()), {0, 0}, 320, 240, 0, pictures),
        max_pictures);
}

TEST(SaverInput, TheFirstPointerReportAndAJiggleDoNotEndIt) {
    PointerWatch watch = {};
    EXPECT_FALSE(pointer_moved_away(&watch, 700, 400)) << "the first report: where it already is";
    EXPECT_FALSE(pointer_moved_away(&watch, 700 + saver_pointer_slack, 400 - saver_pointer_slack));
    EXPECT_FALSE(pointer_moved_away(&watch, 698, 403));
    EXPECT_TRUE(pointer_moved_away(&watch, 700 + saver_pointer_slack + 1, 400));
    EXPECT_TRUE(pointer_moved_away(&watch, 700, 400 - saver_pointer_slack - 1));
    EXPECT_FALSE(pointer_moved_away(&watch, 701, 401)) << "measured from the first report";
}

// A 32-bit top-down DIB section of `width` x `height` selected into a memory DC, its pixels in
// `bits`.
struct Canvas {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ was;
    uint32_t* bits;
    int width;
    int height;
    uint32_t pixel(int x, int y) const {
        return bits[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] &
               0xFFFFFF;
    }
};

static Canvas make_canvas(int width, int height, uint32_t fill) {
    Canvas canvas = {CreateCompatibleDC(nullptr), nullptr, nullptr, nullptr, width, height};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    canvas.bitmap = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    canvas.bits = static_cast<uint32_t*>(bits);
    canvas.was = SelectObject(canvas.dc, canvas.bitmap);
    for (int i = 0; i < width * height; i++)
        canvas.bits[i] = fill;
    return canvas;
}

static void free_canvas(Canvas& canvas) {
    SelectObject(canvas.dc, canvas.was);
    DeleteObject(canvas.bitmap);
    DeleteDC(canvas.dc);
}

// The program's picture: each pixel's colour says where it is (x in the low bits, y above).
static Canvas make_picture() {
    Canvas picture = make_canvas(320, 240, 0);
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++)
            picture.bits[y * 320 + x] = static_cast<uint32_t>(x | y << 9 | 1 << 20);
    return picture;
}

constexpr uint32_t untouched = 0x00ABCDEF;

// Counts the pixels of `target` inside `place` that are not one of the picture's pixels under
// them (one of the picture pixels their own square covers: nearest pixel, never a blend), and
// those outside every place that were drawn on.
static void count_faults(const Canvas& target, const std::vector<ShownPicture>& places, int* wrong,
                         int* outside) {
    *wrong = 0;
    *outside = 0;
    for (int y = 0; y < target.height; y++) {
        for (int x = 0; x < target.width; x++) {
            uint32_t pixel = target.pixel(x, y);
            const ShownPicture* in = nullptr;
            for (const ShownPicture& place : places)
                if (x >= place.x && y >= place.y && x < place.x + place.width &&
                    y < place.y + place.height)
                    in = &place;
            if (in == nullptr) {
                *outside += pixel != untouched;
                continue;
            }
            int source_x = static_cast<int>(pixel & 511);
            int source_y = static_cast<int>(pixel >> 9 & 511);
            // The picture pixels that this pixel's square covers: first..last, in each direction.
            int first_x = (x - in->x) * 320 / in->width;
            int last_x = ((x - in->x + 1) * 320 - 1) / in->width;
            int first_y = (y - in->y) * 240 / in->height;
            int last_y = ((y - in->y + 1) * 240 - 1) / in->height;
            *wrong += (pixel >> 20) != 1 || source_x < first_x || source_x > last_x ||
                      source_y < first_y || source_y > last_y;
        }
    }
}

// A window row of the backend whose program DC is `dc`, for the hook to find.
static int fake_row(HWND window, HDC dc, const std::vector<ShownPicture>& places) {
    ShownWindow& row = shown_windows[0];
    row = ShownWindow{};
    row.window = window;
    row.picture_width = 320;
    row.picture_height = 240;
    row.dc = dc;
    row.picture_count = static_cast<int>(places.size());
    for (size_t i = 0; i < places.size(); i++)
        row.pictures[i] = places[i];
    if (dc != nullptr && !places.empty())
        present_map(dc, row, 0);
    return 0;
}

static HWND message_window() {
    return CreateWindowExA(0, "STATIC", "saver test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                           nullptr);
}

TEST(SaverDrawing, TheProgramsOneTransferReachesEveryMonitor) {
    real_bit_blt = BitBlt;
    HWND window = message_window();
    Canvas picture = make_picture();
    Canvas screen = make_canvas(1000, 500, untouched);
    // A monitor at 1x and one at 2x, as lay_out_monitors gives them for 320 x 240 and 660 x 480.
    std::vector<ShownPicture> places = {at(10, 10, 320, 240), at(340, 10, 640, 480)};
    fake_row(window, screen.dc, places);
    ASSERT_TRUE(bit_blt_hook(screen.dc, 0, 0, 320, 240, picture.dc, 0, 0, SRCCOPY));
    int wrong;
    int outside;
    count_faults(screen, places, &wrong, &outside);
    EXPECT_EQ(wrong, 0) << "pixels of either monitor not the picture's nearest";
    EXPECT_EQ(outside, 0) << "pixels drawn outside the pictures";
    // Each 2 x 2 block at 2x is one picture pixel, exactly.
    EXPECT_EQ(screen.pixel(340 + 2 * 100, 10 + 2 * 50), picture.pixel(100, 50));
    EXPECT_EQ(screen.pixel(341 + 2 * 100, 11 + 2 * 50), picture.pixel(100, 50));
    shown_windows[0] = ShownWindow{};
    free_canvas(screen);
    free_canvas(picture);
    DestroyWindow(window);
}

TEST(SaverDrawing, ThePreviewFitsWindowsOfOddSizes) {
    real_bit_blt = BitBlt;
    HWND window = message_window();
    Canvas picture = make_picture();
    struct Size {
        int width, height, scale; // scale 0: shrunk
    } sizes[] = {
        {152, 112, 0}, // Windows' own preview monitor
        {101, 75, 0},  // odd, and smaller both ways
        {200, 400, 0}, // narrower only: shrunk to the width
        {333, 250, 1}, // not a multiple: 1x, centred
        {700, 500, 2}, // 2x with room left over
        {2000, 240, 1} // very wide
    };
    for (const Size& size : sizes) {
        ShownPicture place;
        ASSERT_EQ(lay_out_window(size.width, size.height, 320, 240, 0, &place), 1);
        if (size.scale > 0) {
            EXPECT_EQ(place.width, 320 * size.scale) << size.width << " x " << size.height;
            EXPECT_EQ(place.height, 240 * size.scale) << size.width << " x " << size.height;
        } else {
            EXPECT_TRUE(place.width == size.width || place.height == size.height)
                << size.width << " x " << size.height << ": shrunk until it touches two sides";
            EXPECT_NEAR(place.width * 240, place.height * 320, 320) << "the picture's shape kept";
        }
        EXPECT_EQ(place.x, (size.width - place.width) / 2);
        EXPECT_EQ(place.y, (size.height - place.height) / 2);
        Canvas preview = make_canvas(size.width, size.height, untouched);
        fake_row(window, preview.dc, {place});
        bit_blt_hook(preview.dc, 0, 0, 320, 240, picture.dc, 0, 0, SRCCOPY);
        int wrong;
        int outside;
        count_faults(preview, {place}, &wrong, &outside);
        EXPECT_EQ(wrong, 0) << size.width << " x " << size.height;
        EXPECT_EQ(outside, 0) << size.width << " x " << size.height;
        free_canvas(preview);
    }
    ShownPicture place;
    EXPECT_EQ(lay_out_window(0, 112, 320, 240, 0, &place), 0) << "no room, no picture";
    shown_windows[0] = ShownWindow{};
    free_canvas(picture);
    DestroyWindow(window);
}

// The messages of `kind` waiting for `window`, taken from the queue.
static std::vector<MSG> take_messages(HWND window, UINT kind) {
    std::vector<MSG> taken;
    MSG message;
    while (PeekMessageA(&message, window, kind, kind, PM_REMOVE))
        taken.push_back(message);
    return taken;
}

constexpr LPARAM key_a = 0x001E0001;

TEST(SaverInput, AKeyAButtonOrAMoveClosesTheWindowButACyclePressDoesNot) {
    HWND window = message_window();
    saver_call = SaverCall{saver_full, 0};
    saver_reset();
    EXPECT_FALSE(saver_input_ends(window, WM_KEYDOWN, VK_SPACE, 0x00390001 | cycle_key_marker));
    EXPECT_FALSE(saver_input_ends(window, WM_MOUSEMOVE, 0, MAKELPARAM(500, 300)));
    EXPECT_FALSE(saver_input_ends(window, WM_MOUSEMOVE, 0, MAKELPARAM(503, 298)));
    EXPECT_FALSE(saver_input_ends(window, WM_KEYUP, 'A', 0xC01E0001));
    EXPECT_FALSE(saver_stop_pending());
    EXPECT_TRUE(take_messages(window, WM_CLOSE).empty());
    // Waiting in the queue, looked at and left there for the program.
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0x00390001 | cycle_key_marker);
    EXPECT_FALSE(saver_stop_pending());
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(520, 300));
    EXPECT_TRUE(saver_stop_pending());
    EXPECT_EQ(take_messages(window, WM_MOUSEMOVE).size(), 1u);
    take_messages(window, WM_KEYDOWN);
    PostMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(500, 300));
    EXPECT_TRUE(saver_stop_pending());
    take_messages(window, WM_RBUTTONDOWN);
    EXPECT_TRUE(take_messages(window, WM_CLOSE).empty()) << "looking closes nothing";

    EXPECT_TRUE(saver_input_ends(window, WM_KEYDOWN, 'A', key_a));
    EXPECT_TRUE(saver_input_ends(window, WM_LBUTTONDOWN, MK_LBUTTON, 0));
    EXPECT_EQ(take_messages(window, WM_CLOSE).size(), 1u) << "one close, however much input";
    EXPECT_TRUE(saver_stop_pending());

    // In a preview and in the program's own window, input is the program's.
    for (SaverMode mode : {saver_preview, saver_off}) {
        saver_call = SaverCall{mode, 0};
        saver_reset();
        EXPECT_FALSE(saver_input_ends(window, WM_KEYDOWN, 'A', key_a));
        EXPECT_FALSE(saver_input_ends(window, WM_LBUTTONDOWN, MK_LBUTTON, 0));
        EXPECT_TRUE(take_messages(window, WM_CLOSE).empty());
    }
    saver_call = SaverCall{saver_off, 0};
    saver_reset();
    DestroyWindow(window);
}

TEST(SaverPreview, EndsWhenItsWindowGoesAway) {
    HWND window = message_window();
    HWND parent = message_window();
    saver_call =
        SaverCall{saver_preview, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parent))};
    saver_reset();
    EXPECT_FALSE(saver_stop_pending());
    saver_frame_shown(window);
    EXPECT_TRUE(take_messages(window, WM_CLOSE).empty());
    DestroyWindow(parent);
    EXPECT_TRUE(saver_stop_pending());
    saver_frame_shown(window);
    saver_frame_shown(window);
    EXPECT_EQ(take_messages(window, WM_CLOSE).size(), 1u);
    saver_call = SaverCall{saver_off, 0};
    saver_reset();
    DestroyWindow(window);
}

static uint64_t test_now_us;
static uint64_t test_clock() {
    return test_now_us;
}
static void test_wait(uint64_t until_us) {
    test_now_us = until_us;
}

TEST(SaverCycle, SpaceIsPressedOnThePeriodMarkedAsTheBackendsOwn) {
    HWND window = message_window();
    platform_set_pace_clock(test_clock, test_wait);
    pace_configure(PaceSetting{pace_unlimited, 0});
    test_now_us = 5000000;
    cycle_configure(2);
    fake_row(window, nullptr, {});
    windows_frame_shown(0); // the period starts at the first frame
    test_now_us += 1999999;
    windows_frame_shown(0);
    EXPECT_TRUE(take_messages(window, WM_KEYDOWN).empty());
    test_now_us += 1;
    windows_frame_shown(0);
    std::vector<MSG> down = take_messages(window, WM_KEYDOWN);
    std::vector<MSG> up = take_messages(window, WM_KEYUP);
    ASSERT_EQ(down.size(), 1u);
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(down[0].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_EQ(up[0].wParam, static_cast<WPARAM>(VK_SPACE));
    EXPECT_NE(down[0].lParam & cycle_key_marker, 0);
    EXPECT_TRUE((up[0].lParam & 0x80000000) != 0) << "a release";
    saver_call = SaverCall{saver_full, 0};
    saver_reset();
    EXPECT_FALSE(saver_input_ends(window, WM_KEYDOWN, down[0].wParam, down[0].lParam))
        << "the screen saver does not end at its own press";
    test_now_us += 1000000;
    windows_frame_shown(0);
    EXPECT_TRUE(take_messages(window, WM_KEYDOWN).empty());

    cycle_configure(0);
    saver_call = SaverCall{saver_off, 0};
    saver_reset();
    shown_windows[0] = ShownWindow{};
    platform_set_pace_clock(nullptr, nullptr);
    DestroyWindow(window);
}
