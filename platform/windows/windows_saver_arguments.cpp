// The arguments Windows gives a screen saver. The screen-saver settings run it with "/p 1234" or
// "/p:1234" for the preview, "/s" to start it and "/c:1234" (or nothing, from Explorer's
// "Configure") for its settings; other programs that start screen savers write "-s", "/S" or
// "/c 1234". The handle is the window's number in decimal.
#include <cstdio>

#include "windows_saver.h"

bool is_screen_saver_path(const char* path) {
    size_t length = path != nullptr ? strlen(path) : 0;
    return length > 4 && lstrcmpiA(path + length - 4, ".scr") == 0;
}

// A decimal number of at most 32 bits, nothing else, into `value`.
static bool parse_handle(const char* text, uint32_t* value) {
    if (text == nullptr || text[0] == 0)
        return false;
    uint64_t number = 0;
    for (const char* at = text; *at != 0; at++) {
        if (*at < '0' || *at > '9')
            return false;
        number = number * 10 + static_cast<unsigned>(*at - '0');
        if (number > 0xFFFFFFFFu)
            return false;
    }
    *value = static_cast<uint32_t>(number);
    return true;
}

static SaverMode mode_of_letter(char letter) {
    switch (letter) {
    case 's':
    case 'S':
        return saver_full;
    case 'p':
    case 'P':
        return saver_preview;
    case 'c':
    case 'C':
        return saver_settings;
    default:
        return saver_off;
    }
}

bool parse_saver_arguments(int count, char* const* words, SaverCall* call, char* error,
                           size_t error_size) {
    *call = SaverCall{saver_settings, 0};
    if (count == 0)
        return true;
    const char* word = words[0];
    call->mode = word[0] == '/' || word[0] == '-' ? mode_of_letter(word[1]) : saver_off;
    if (call->mode == saver_off || (word[2] != 0 && word[2] != ':') ||
        (word[2] == ':' && call->mode == saver_full)) {
        snprintf(error, error_size,
                 "\"%s\" is no screen-saver argument: /s, /p HWND or /c[:HWND] (--help lists them)",
                 word);
        call->mode = saver_off;
        return false;
    }
    int used = 1;
    const char* handle = nullptr;
    if (word[2] == ':')
        handle = word + 3;
    else if (call->mode == saver_preview || (call->mode == saver_settings && count > 1))
        handle = count > 1 ? words[used++] : nullptr;
    if (call->mode == saver_preview && handle == nullptr) {
        snprintf(error, error_size, "%s needs the preview window's handle, a decimal number", word);
        return false;
    }
    if (handle != nullptr && !parse_handle(handle, &call->window)) {
        snprintf(error, error_size, "%s takes a window's handle as a decimal number, not \"%s\"",
                 word, handle);
        return false;
    }
    if (used < count) {
        snprintf(error, error_size, "\"%s\" after %s: a screen saver takes one argument",
                 words[used], word);
        return false;
    }
    return true;
}

HWND saver_window_handle(uint32_t number) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(number)));
}
