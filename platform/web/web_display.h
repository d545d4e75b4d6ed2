// What the web backend's start-up asks of its display.
#pragma once

#include <cstdint>

// Puts every window drawn into since the last time on its canvas.
void web_paint_windows();
// Shows the last frames and tells the page that the program has ended with `exit_code`
// (Module.onProgramEnd, when the page has one); the windows stay on the page as they were.
void web_program_ended(int exit_code);

// Notes that the browser has just had its turn (the pace's wait), so polling the queue need not
// hand it another at once.
void web_browser_turn_taken();

// From web_pace.cpp: readies the pace's waits on a page (the display's pace follows the browser's
// animation frames), before the program starts.
void web_pace_start();

// From web_keys.cpp: takes the pace's keys (P and Pause, period, minus, equals and the keypad's
// plus and minus) for the pace instead of the program: true if the key, pressed (`down`) or
// released, was one of theirs. Not with Ctrl, as Ctrl with minus and plus is the browser's zoom.
bool web_take_pace_key(int vk, bool down, bool repeat, bool ctrl);

// The keys the page knows, by the position of each on a US layout (KeyboardEvent.code), as
// Windows' virtual keys name positions. The page learns this table at start-up and sends the
// row of each key it sees (web_keys.cpp).
struct PageKey {
    const char* code;
    uint8_t vk;
    bool extended; // right Ctrl and Alt, the arrows and the six keys above them, keypad Enter and /
    bool scrolls;  // the browser's own action for the key would scroll the page
};

extern const PageKey page_keys[];
extern const int page_key_count; // at most 256: an input event has eight bits for a key's row
