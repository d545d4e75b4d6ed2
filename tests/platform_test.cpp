// What only the SDL2 backend promises: its message queue, the translation of SDL's keyboard and
// window events into Windows messages, closing through the default window procedure, handle
// checks, DIB section validation, the window framebuffer, the millisecond counter and wsprintfA.
// SDL events are pushed straight into SDL's queue, as a user's would arrive.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform_internal.h"
#include "sdl_display.h"
#include "window_pixels.h"

namespace {

const bool headless = [] { return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0; }();

constexpr LPARAM alt_held = LPARAM{1} << 29;
constexpr LPARAM was_down = LPARAM{1} << 30;
constexpr LPARAM releasing = static_cast<LPARAM>(DWORD{1} << 31);

std::vector<UINT> delivered; // messages that reached the test window's procedure

LRESULT CALLBACK recording_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    delivered.push_back(message);
    return DefWindowProcA(window, message, wparam, lparam);
}

void drain() {
    MSG msg;
    for (int i = 0; i < 100000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
    }
}

// Takes and dispatches every queued message; true if one of them was WM_QUIT.
bool dispatch_all() {
    MSG msg;
    bool quit = false;
    for (int i = 0; i < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); i++) {
        quit = quit || msg.message == WM_QUIT;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return quit;
}

class Platform : public ::testing::Test {
  protected:
    HWND window = nullptr;

    void SetUp() override {
        ASSERT_TRUE(headless);
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = recording_procedure;
        window_class.lpszClassName = "Platform Test";
        ASSERT_NE(RegisterClassA(&window_class), 0);
        window = open_window();
        ASSERT_NE(window, nullptr);
        drain();
        delivered.clear();
    }

    void TearDown() override {
        for (int slot = 0; slot < max_windows; slot++)
            if (HWND left = window_in_slot(slot))
                DestroyWindow(left);
        EXPECT_TRUE(UnregisterClassA("Platform Test", nullptr));
        drain();
    }

    // A window sized as the shell sizes its own: 320 x 240 of client area.
    static HWND open_window() {
        int outer_width = 320 + 2 * GetSystemMetrics(SM_CXDLGFRAME);
        int outer_height =
            240 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYDLGFRAME);
        return CreateWindowExA(WS_EX_APPWINDOW, "Platform Test", "Test window",
                               WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                               CW_USEDEFAULT, outer_width, outer_height, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }

    uint32_t sdl_id() const {
        return SDL_GetWindowID(platform_sdl_window(window));
    }

    void push_key(Uint32 type, SDL_Scancode code, Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
        SDL_Event event = {};
        event.type = type;
        event.key.type = type;
        event.key.windowID = sdl_id();
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = repeat;
        event.key.keysym.scancode = code;
        event.key.keysym.sym = SDL_GetKeyFromScancode(code);
        event.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }

    void push_window_event(SDL_WindowEventID id) {
        SDL_Event event = {};
        event.type = SDL_WINDOWEVENT;
        event.window.type = SDL_WINDOWEVENT;
        event.window.windowID = sdl_id();
        event.window.event = static_cast<Uint8>(id);
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    }

    // Takes the one message that must be waiting.
    MSG take() {
        MSG msg = {};
        EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        return msg;
    }
};

} // namespace

TEST_F(Platform, OnePeekTakesExactlyOneMessageInOrder) {
    for (WPARAM i = 1; i <= 3; i++)
        ASSERT_TRUE(PostMessageA(window, WM_USER, i, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    // A range takes the first message inside it and leaves the others in their order.
    ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 4, 0));
    ASSERT_TRUE(PostMessageA(window, WM_USER, 5, 0));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 4u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Platform, FullQueueRefusesPostsAndLosesNothing) {
    // Move the ring's start first, so that filling it wraps around the end of its array.
    for (WPARAM i = 0; i < 7; i++)
        PostMessageA(nullptr, WM_USER, i, 0);
    drain();
    WPARAM posted = 0;
    while (posted < 100000 && PostMessageA(nullptr, WM_USER, posted, 0))
        posted++;
    ASSERT_LT(posted, 100000u) << "the queue never filled";
    EXPECT_GT(posted, 100u);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    MSG msg;
    for (WPARAM i = 0; i < posted; i++) {
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        ASSERT_EQ(msg.wParam, i);
    }
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    // Posting to a window that does not exist fails.
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x12345), WM_USER, 0, 0));
}

TEST_F(Platform, QuitComesAfterThePostedMessagesAndOnlyOnce) {
    PostQuitMessage(3);
    PostMessageA(window, WM_USER, 1, 0);
    MSG msg = take();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    msg = take();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Platform, KeyEventsBecomeKeyMessagesWithWindowsCodes) {
    struct Key {
        SDL_Scancode code;
        WPARAM vk;
    };
    const Key keys[] = {
        {SDL_SCANCODE_ESCAPE, 27}, {SDL_SCANCODE_SPACE, 32},  {SDL_SCANCODE_LEFT, 37},
        {SDL_SCANCODE_UP, 38},     {SDL_SCANCODE_RIGHT, 39},  {SDL_SCANCODE_DOWN, 40},
        {SDL_SCANCODE_A, 'A'},     {SDL_SCANCODE_Z, 'Z'},     {SDL_SCANCODE_0, '0'},
        {SDL_SCANCODE_1, '1'},     {SDL_SCANCODE_9, '9'},     {SDL_SCANCODE_F1, 0x70},
        {SDL_SCANCODE_F12, 0x7B},  {SDL_SCANCODE_RETURN, 13}, {SDL_SCANCODE_BACKSPACE, 8},
        {SDL_SCANCODE_TAB, 9},     {SDL_SCANCODE_KP_0, 0x60}, {SDL_SCANCODE_KP_9, 0x69},
        {SDL_SCANCODE_LSHIFT, 16}, {SDL_SCANCODE_RCTRL, 17},  {SDL_SCANCODE_DELETE, 0x2E},
    };
    for (const Key& key : keys) {
        SCOPED_TRACE(key.vk);
        push_key(SDL_KEYDOWN, key.code);
        MSG msg = take();
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
        EXPECT_EQ(msg.wParam, key.vk);
        EXPECT_EQ(msg.hwnd, window);
        EXPECT_EQ(msg.lParam & 0xFFFF, 1);
        EXPECT_EQ(msg.lParam & (alt_held | was_down | releasing), 0);
    }
    // Auto-repeat: another key-down, marked as already down. Release: key-up, marked so.
    push_key(SDL_KEYDOWN, SDL_SCANCODE_LEFT, KMOD_NONE, 1);
    push_key(SDL_KEYUP, SDL_SCANCODE_LEFT);
    MSG msg = take();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(msg.wParam, 37u);
    EXPECT_EQ(msg.lParam & (was_down | releasing), was_down);
    msg = take();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(msg.wParam, 37u);
    EXPECT_EQ(msg.lParam & (was_down | releasing), was_down | releasing);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Platform, AltMakesSystemKeyMessages) {
    push_key(SDL_KEYDOWN, SDL_SCANCODE_LALT, KMOD_LALT);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_X, KMOD_LALT);
    push_key(SDL_KEYUP, SDL_SCANCODE_X, KMOD_LALT);
    push_key(SDL_KEYUP, SDL_SCANCODE_LALT, KMOD_NONE);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_X, KMOD_LALT | KMOD_LCTRL); // Ctrl+Alt: an ordinary key
    push_key(SDL_KEYDOWN, SDL_SCANCODE_F10);
    struct Expected {
        UINT message;
        WPARAM vk;
        bool alt;
    };
    const Expected expected[] = {
        {WM_SYSKEYDOWN, VK_MENU, true}, {WM_SYSKEYDOWN, 'X', true}, {WM_SYSKEYUP, 'X', true},
        {WM_SYSKEYUP, VK_MENU, false},  {WM_KEYDOWN, 'X', false},   {WM_SYSKEYDOWN, VK_F10, false},
    };
    for (const Expected& want : expected) {
        SCOPED_TRACE(want.vk);
        MSG msg = take();
        EXPECT_EQ(msg.message, want.message);
        EXPECT_EQ(msg.wParam, want.vk);
        EXPECT_EQ((msg.lParam & alt_held) != 0, want.alt);
    }
    // None of them closes anything.
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(Platform, AltF4TypedClosesTheWindowWithoutQuit) {
    push_key(SDL_KEYDOWN, SDL_SCANCODE_LALT, KMOD_LALT);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_F4, KMOD_LALT);
    EXPECT_FALSE(dispatch_all());
    EXPECT_FALSE(IsWindow(window));
    // The default procedure went F4 -> SC_CLOSE -> WM_CLOSE -> WM_DESTROY.
    const std::vector<UINT> tail = {WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY};
    ASSERT_GE(delivered.size(), tail.size());
    EXPECT_EQ(std::vector<UINT>(delivered.end() - 4, delivered.end()), tail);
}

TEST_F(Platform, CloseButtonDestroysTheWindowWithoutQuit) {
    push_window_event(SDL_WINDOWEVENT_CLOSE);
    MSG msg = take();
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(msg.wParam & 0xFFF0, static_cast<WPARAM>(SC_CLOSE));
    EXPECT_EQ(msg.hwnd, window);
    DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(dispatch_all());
}

TEST_F(Platform, QuitRequestClosesEveryWindowWithoutQuit) {
    HWND second = open_window();
    ASSERT_NE(second, nullptr);
    SDL_Event event = {};
    event.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    EXPECT_FALSE(dispatch_all());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(second));
}

TEST_F(Platform, MinimizeAndRestoreKeepTheWindow) {
    push_window_event(SDL_WINDOWEVENT_MINIMIZED);
    EXPECT_FALSE(dispatch_all());
    EXPECT_TRUE(IsIconic(window));
    push_window_event(SDL_WINDOWEVENT_RESTORED);
    EXPECT_FALSE(dispatch_all());
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindow(window));
    const std::vector<UINT> sizes = {WM_SIZE, WM_SIZE};
    EXPECT_EQ(delivered, sizes);
    // Minimizing through the system command as well.
    PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    dispatch_all();
    EXPECT_TRUE(IsIconic(window));
}

TEST_F(Platform, WindowHasTheAskedClientAreaAndShowsOnlyWhenShown) {
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    SDL_Window* sdl = platform_sdl_window(window);
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_RESIZABLE, 0u);
    EXPECT_FALSE(ShowWindow(window, SW_SHOW));
    EXPECT_EQ(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
    EXPECT_TRUE(ShowWindow(window, SW_HIDE));

    char text[64];
    EXPECT_EQ(GetWindowTextA(window, text, sizeof(text)), 11);
    EXPECT_STREQ(text, "Test window");
    ASSERT_TRUE(SetWindowTextA(window, "Renamed- 60FPS"));
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Renamed- 60FPS");
    EXPECT_EQ(GetWindowTextA(window, text, 5), 4); // cut to fit, always terminated
    EXPECT_STREQ(text, "Rena");
    EXPECT_EQ(FindWindowA("platform test", nullptr), window); // class names ignore case
}

TEST_F(Platform, ClassesAndHandlesAreCheckedNotTrusted) {
    WNDCLASSA again = {};
    again.lpfnWndProc = DefWindowProcA;
    again.lpszClassName = "PLATFORM TEST";
    EXPECT_EQ(RegisterClassA(&again), 0);                     // taken, whatever the case
    EXPECT_FALSE(UnregisterClassA("Platform Test", nullptr)); // it has a window
    EXPECT_EQ(CreateWindowExA(0, "No Such Class", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);

    EXPECT_FALSE(IsWindow(nullptr));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(0x12345)));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(~uintptr_t{0})));
    HWND old = window;
    ASSERT_TRUE(DestroyWindow(old));
    EXPECT_FALSE(IsWindow(old));
    EXPECT_FALSE(DestroyWindow(old));
    // A new window in the same slot does not bring the old handle back.
    window = open_window();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, old);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_FALSE(SetWindowTextA(old, "x"));
    EXPECT_EQ(GetDC(old), nullptr);
    EXPECT_EQ(DispatchMessageA(nullptr), 0);

    // The handles and numbers the shell asks for before it opens its window.
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CYDLGFRAME));
}

TEST_F(Platform, MemoryDcsHoldAStockBitmapAndOneDcPerBitmap) {
    alignas(BITMAPINFO) uint8_t block[sizeof(BITMAPINFOHEADER) + 256 * 4] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(block);
    info->bmiHeader = BITMAPINFOHEADER{40, 4, 4, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HDC other = CreateCompatibleDC(dc);
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(other, nullptr);

    HGDIOBJ stock = SelectObject(dc, bitmap);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr); // already in dc
    EXPECT_FALSE(DeleteObject(bitmap));              // still selected
    EXPECT_EQ(SelectObject(dc, stock), bitmap);
    EXPECT_EQ(SelectObject(other, bitmap), stock);
    EXPECT_TRUE(DeleteDC(other)); // gives the bitmap up with it
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
    EXPECT_FALSE(DeleteDC(other));
    EXPECT_TRUE(DeleteDC(dc));
    // Window DCs are released, never deleted.
    HDC window_dc = GetDC(window);
    EXPECT_EQ(WindowFromDC(window_dc), window);
    EXPECT_FALSE(DeleteDC(window_dc));
    EXPECT_EQ(ReleaseDC(window, window_dc), 1);
}

TEST_F(Platform, DibSectionHeadersAreValidated) {
    alignas(BITMAPINFO) uint8_t block[sizeof(BITMAPINFOHEADER) + 256 * 4] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(block);
    struct Case {
        const char* what;
        BITMAPINFOHEADER header;
        UINT usage;
    };
    const BITMAPINFOHEADER good = {40, 16, 16, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<Case> cases;
    // The change comes last, so that every clang-format lays the calls out alike.
    auto add = [&](const char* what, UINT usage, void (*change)(BITMAPINFOHEADER&)) {
        Case c = {what, good, usage};
        change(c.header);
        cases.push_back(c);
    };
    add("short header", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biSize = 12; });
    add("zero width", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biWidth = 0; });
    add("negative width", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biWidth = -4; });
    add("zero height", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biHeight = 0; });
    add("two planes", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biPlanes = 2; });
    add("7 bits", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biBitCount = 7; });
    add("0 bits", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biBitCount = 0; });
    add("bit fields", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biCompression = BI_BITFIELDS; });
    add("palette indices", DIB_PAL_COLORS, [](BITMAPINFOHEADER&) {});
    add("huge", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) {
        h.biWidth = h.biHeight = 100000;
        h.biBitCount = 32;
    });
    add("overflowing", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) {
        h.biWidth = h.biHeight = INT32_MAX;
        h.biBitCount = 32;
    });
    add("lowest height", DIB_RGB_COLORS, [](BITMAPINFOHEADER& h) { h.biHeight = INT32_MIN; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        info->bmiHeader = c.header;
        void* bits = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CreateDIBSection(nullptr, info, c.usage, &bits, nullptr, 0), nullptr);
        EXPECT_EQ(bits, nullptr);
    }
    void* bits = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);

    // biClrUsed below the depth's count sets the table's length.
    info->bmiHeader = good;
    info->bmiHeader.biClrUsed = 3;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RGBQUAD table[256];
    EXPECT_EQ(GetDIBColorTable(dc, 0, 256, table), 3u);
    EXPECT_EQ(SetDIBColorTable(dc, 2, 5, table), 1u);
    EXPECT_EQ(SetDIBColorTable(dc, 3, 1, table), 0u);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

namespace {

struct Dib {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    uint8_t* bits;
};

// A DIB section of the given depth selected into a new memory DC; height < 0 is top-down.
Dib make_dib(int bpp, int width, int height, const RGBQUAD* colours, int count) {
    alignas(BITMAPINFO) uint8_t block[sizeof(BITMAPINFOHEADER) + 256 * 4] = {};
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(block);
    info->bmiHeader =
        BITMAPINFOHEADER{40, width, height, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, 0, 0};
    if (count > 0)
        memcpy(block + sizeof(BITMAPINFOHEADER), colours, static_cast<size_t>(count) * 4);
    Dib dib;
    void* bits = nullptr;
    dib.bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    dib.bits = static_cast<uint8_t*>(bits);
    dib.dc = CreateCompatibleDC(nullptr);
    dib.previous = SelectObject(dib.dc, dib.bitmap);
    return dib;
}

void free_dib(const Dib& dib) {
    SelectObject(dib.dc, dib.previous);
    DeleteObject(dib.bitmap);
    DeleteDC(dib.dc);
}

const RGBQUAD four_colours[4] = {
    {0, 0, 0, 0},   // 0 black
    {0, 0, 255, 0}, // 1 red
    {255, 0, 0, 0}, // 2 blue
    {0, 255, 0, 0}, // 3 green
};

// The window framebuffer's colour at (x, y), as 0xRRGGBB.
uint32_t shown(HWND window, int x, int y) {
    return window_pixel(SDL_GetWindowSurface(platform_sdl_window(window)), x, y);
}

} // namespace

TEST_F(Platform, BlitToTheWindowShowsThePictureUprightThroughTheColourTable) {
    // Top half red, bottom half blue, and a green dot at the top-left corner.
    Dib dib = make_dib(8, 320, 240, four_colours, 4);
    ASSERT_NE(dib.bits, nullptr);
    for (int y = 0; y < 240; y++)
        memset(dib.bits + (239 - y) * 320, y < 120 ? 1 : 2, 320);
    dib.bits[239 * 320] = 3;
    HDC window_dc = GetDC(window);
    ShowWindow(window, SW_SHOW);
    uint32_t builds = platform_lut_builds();
    ASSERT_TRUE(BitBlt(window_dc, 0, 0, 320, 240, dib.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(shown(window, 0, 0), 0x00FF00u);
    EXPECT_EQ(shown(window, 1, 0), 0xFF0000u);
    EXPECT_EQ(shown(window, 319, 119), 0xFF0000u);
    EXPECT_EQ(shown(window, 0, 120), 0x0000FFu);
    EXPECT_EQ(shown(window, 319, 239), 0x0000FFu);
    EXPECT_EQ(platform_lut_builds(), builds + 1);

    // The same colours again: the table is reused. New colours: built once more.
    ASSERT_TRUE(BitBlt(window_dc, 0, 0, 320, 240, dib.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(platform_lut_builds(), builds + 1);
    const RGBQUAD white = {255, 255, 255, 0};
    ASSERT_EQ(SetDIBColorTable(dib.dc, 1, 1, &white), 1u);
    ASSERT_TRUE(BitBlt(window_dc, 0, 0, 320, 240, dib.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(platform_lut_builds(), builds + 2);
    EXPECT_EQ(shown(window, 5, 5), 0xFFFFFFu);

    // Rectangles hanging over every edge are clipped: source (10, 10) lands on the corner.
    dib.bits[(239 - 10) * 320 + 10] = 3;
    ASSERT_TRUE(BitBlt(window_dc, -10, -10, 1000, 1000, dib.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(shown(window, 0, 0), 0x00FF00u);
    EXPECT_TRUE(BitBlt(window_dc, 5000, 0, 10, 10, dib.dc, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(window_dc, 0, 0, 10, 10, dib.dc, INT32_MIN, INT32_MAX, SRCCOPY));
    EXPECT_TRUE(
        BitBlt(window_dc, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, dib.dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(window_dc, 0, 0, 10, 10, dib.dc, 0, 0, 0x00EE0086)); // SRCPAINT
    // Drawing into a minimized window is harmless.
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_TRUE(BitBlt(window_dc, 0, 0, 320, 240, dib.dc, 0, 0, SRCCOPY));
    free_dib(dib);
}

TEST_F(Platform, TopDownAndSixteenBitSourcesKeepTheirOrientationAndColours) {
    // Top-down 8 bits: the first row in memory is the top.
    Dib top_down = make_dib(8, 2, -2, four_colours, 4);
    Dib target = make_dib(32, 2, 2, nullptr, 0);
    ASSERT_NE(top_down.bits, nullptr);
    ASSERT_NE(target.bits, nullptr);
    top_down.bits[0] = 1; // (0, 0)
    top_down.bits[4] = 2; // (0, 1)
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 2, 2, top_down.dc, 0, 0, SRCCOPY));
    // The bottom-up target's first row in memory is its bottom row.
    EXPECT_EQ(target.bits[2], 0); // (0, 1): blue
    EXPECT_EQ(target.bits[0], 255);
    EXPECT_EQ(target.bits[8 + 2], 255); // (0, 0): red
    // 5-5-5 pixels widen to eight bits by repeating their top bits.
    Dib sixteen = make_dib(16, 1, 1, nullptr, 0);
    ASSERT_NE(sixteen.bits, nullptr);
    sixteen.bits[0] = 0x1F; // blue 31, green 0, red 16
    sixteen.bits[1] = 0x40;
    ASSERT_TRUE(BitBlt(target.dc, 1, 1, 1, 1, sixteen.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(target.bits[4], 255);
    EXPECT_EQ(target.bits[5], 0);
    EXPECT_EQ(target.bits[6], 0x84);
    free_dib(sixteen);
    free_dib(target);
    free_dib(top_down);
}

TEST_F(Platform, NearestColourAndSetPixelUseTheColourTable) {
    Dib dib = make_dib(8, 4, 2, four_colours, 4);
    ASSERT_NE(dib.bits, nullptr);
    EXPECT_EQ(GetNearestColor(dib.dc, RGB(200, 30, 20)), RGB(255, 0, 0));
    EXPECT_EQ(GetNearestColor(dib.dc, RGB(10, 10, 10)), RGB(0, 0, 0));
    EXPECT_EQ(SetPixel(dib.dc, 2, 1, RGB(0, 250, 5)), RGB(0, 255, 0));
    EXPECT_EQ(dib.bits[2], 3); // (2, 1) is in the bottom row, first in memory
    EXPECT_EQ(SetPixel(dib.dc, 4, 0, RGB(0, 0, 0)), CLR_INVALID);
    EXPECT_EQ(SetPixel(dib.dc, -1, 0, RGB(0, 0, 0)), CLR_INVALID);
    free_dib(dib);
}

TEST_F(Platform, EachPartlySupportedCallSaysItsOwnNoticeOnce) {
    // Every notice has its own text, found at its own number.
    std::vector<std::string> texts;
    for (int n = 0; n < notice_count; n++) {
        const char* text = notice_text(static_cast<Notice>(n));
        ASSERT_NE(text, nullptr) << "notice " << n;
        for (const std::string& other : texts)
            EXPECT_NE(other, text) << "notice " << n;
        texts.emplace_back(text);
    }
    EXPECT_EQ(notice_text(notice_count), nullptr);

    // BitBlt into the screen DC and SetPixel into a window DC are refused for different
    // reasons: the second is said even after the first, and neither twice.
    Dib dib = make_dib(8, 4, 2, four_colours, 4);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 2; i++) {
        EXPECT_FALSE(BitBlt(GetDC(nullptr), 0, 0, 4, 2, dib.dc, 0, 0, SRCCOPY));
        EXPECT_EQ(SetPixel(GetDC(window), 0, 0, RGB(1, 2, 3)), CLR_INVALID);
        EXPECT_EQ(SetPixel(GetDC(nullptr), 0, 0, RGB(1, 2, 3)), CLR_INVALID);
    }
    std::string said = testing::internal::GetCapturedStderr();
    free_dib(dib);
    auto count = [&said](Notice notice) {
        std::string line = std::string("platform: ") + notice_text(notice) + "\n";
        int found = 0;
        for (size_t at = said.find(line); at != std::string::npos; at = said.find(line, at + 1))
            found++;
        return found;
    };
    EXPECT_EQ(count(notice_set_pixel_dc), 1) << said;
    EXPECT_LE(count(notice_blit_screen), 1) << said;
}

TEST(PlatformTime, CounterIsMonotonicAndWrapsAsUnsigned) {
    DWORD previous = timeGetTime();
    for (int i = 0; i < 5; i++) {
        Sleep(2);
        DWORD now = timeGetTime();
        EXPECT_GE(now - previous, 2u);
        EXPECT_LT(now - previous, 1000u);
        previous = now;
    }
    // Shift the counter to 30 ms before its wrap, then wait past it.
    platform_set_time_offset(0);
    platform_set_time_offset(0xFFFFFFE2u - timeGetTime());
    DWORD before = timeGetTime();
    EXPECT_GE(before, 0xFFFFFF00u);
    Sleep(60);
    DWORD after = timeGetTime();
    platform_set_time_offset(0);
    EXPECT_LT(after, 1000u);
    EXPECT_GE(after - before, 60u);
    EXPECT_LT(after - before, 1000u);
}

TEST(PlatformStrings, WsprintfFormatsItsOwnConversionsOnly) {
    char out[1100];
    EXPECT_EQ(wsprintfA(out, "Sorvel2- %dFPS Prop- %d", 60, 2), 22);
    EXPECT_STREQ(out, "Sorvel2- 60FPS Prop- 2");
    wsprintfA(out, "%d|%u|%x|%X|%#x|%i", -5, -1, 255, 255, 255, 7);
    EXPECT_STREQ(out, "-5|4294967295|ff|FF|0xff|7");
    wsprintfA(out, "[%5d][%-5d][%05d][%.3s][%c][%%][%s]", 42, 42, 42, "abcdef", 'x', nullptr);
    EXPECT_STREQ(out, "[   42][42   ][00042][abc][x][%][(null)]");
    wsprintfA(out, "%ld %lu %hd %I64d", -1, 4000000000u, 12, -(1LL << 40));
    EXPECT_STREQ(out, "-1 4000000000 12 -1099511627776");
    // Conversions wsprintfA does not have are copied as their letter and read no argument.
    wsprintfA(out, "%n%f%p|%d", 9);
    EXPECT_STREQ(out, "nfp|9");
    wsprintfA(out, "%99999999999d|", 1); // an absurd width stays bounded
    EXPECT_EQ(strlen(out), 1023u);

    // At most 1023 characters and the closing 0: never past a 1024-byte buffer.
    std::string long_text(2000, 'a');
    memset(out, '#', sizeof(out));
    EXPECT_EQ(wsprintfA(out, "%s", long_text.c_str()), 1023);
    EXPECT_EQ(out[1023], 0);
    EXPECT_EQ(out[1024], '#');

    char text[16] = "";
    EXPECT_EQ(lstrcpyA(text, "Sorvel"), text);
    EXPECT_EQ(lstrcatA(text, "2- "), text);
    EXPECT_STREQ(text, "Sorvel2- ");
    EXPECT_EQ(lstrlenA(text), 9);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrcpyA(nullptr, "x"), nullptr);
}
