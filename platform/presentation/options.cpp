// The presentation's own command-line options, taken out of the arguments before WinMain sees
// them: how large the window shows its picture, whether it starts in full screen, the pace of its
// frames, where the picture goes and how often Space is pressed for the program. The programs'
// code never learns of them.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "options.h"

const char* const display_usage_text =
    "Options:\n"
    "  --scale N      show each pixel as an N x N block, N from 1 to 8 (default: the largest\n"
    "                 whose window is at most half the display's usable height)\n"
    "  --fullscreen   start in full screen\n"
    "  --fps N        show N frames a second, N from 1 to 1000 (default: one per refresh of\n"
    "                 the display, 60 where it does not say)\n"
    "  --fps max      frames back to back, as fast as the machine allows\n"
    "  --root         draw on the root window, or on the screen saver's window that\n"
    "                 XSCREENSAVER_WINDOW names (as a screen saver: no window of its own,\n"
    "                 no keys; the picture at the largest whole scale that fits, centred)\n"
    "  --window-id ID  draw into the existing window ID of another program (decimal\n"
    "                  or 0x-hex), as --root does; a set XSCREENSAVER_WINDOW means the same\n"
    "  --cycle N      press Space for the program every N seconds, 0 never (default: 30\n"
    "                 with --root, --window-id or XSCREENSAVER_WINDOW, else 0)\n"
    "  --help         show this text and end\n"
    "  --version      show the program's name and version and end\n"
    "Keys:\n"
    "  Alt+Enter, F11  full screen on and off\n"
    "  P, Pause        pause the frames, and go on\n"
    "  . (period)      while paused: one frame\n"
    "  -               half the pace (down to 1 frame a second)\n"
    "  =, +            twice the pace (up to the display's rate, or N of --fps N)\n"
    "  Escape          end the program\n"
    "  Space           next warp (sorvel2) or colour scheme (sorvel)\n"
    "  Left, Down      trails fade faster\n"
    "  Right, Up       trails last longer\n";

// The whole number 1..max_display_scale that `text` spells in decimal digits, else 0.
static int parse_scale(const char* text) {
    int value = 0;
    if (text == nullptr || text[0] == 0)
        return 0;
    for (const char* at = text; *at != 0; at++) {
        if (*at < '0' || *at > '9' || at - text >= 2)
            return 0;
        value = value * 10 + (*at - '0');
    }
    return value >= 1 && value <= max_display_scale ? value : 0;
}

bool parse_window_id(const char* text, unsigned long* id) {
    if (text == nullptr)
        return false;
    unsigned base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (text[0] == 0)
        return false;
    uint64_t value = 0;
    for (const char* at = text; *at != 0; at++) {
        unsigned digit = *at >= '0' && *at <= '9'   ? static_cast<unsigned>(*at - '0')
                         : *at >= 'a' && *at <= 'f' ? static_cast<unsigned>(*at - 'a' + 10)
                         : *at >= 'A' && *at <= 'F' ? static_cast<unsigned>(*at - 'A' + 10)
                                                    : 99;
        if (digit >= base)
            return false;
        value = value * base + digit;
        if (value > 0xFFFFFFFFu) // X resource ids have 32 bits at most
            return false;
    }
    if (value == 0)
        return false;
    *id = static_cast<unsigned long>(value);
    return true;
}

// A whole number 0..max_cycle_seconds in decimal digits, else -1.
static int parse_cycle(const char* text) {
    int value = 0;
    if (text == nullptr || text[0] == 0)
        return -1;
    for (const char* at = text; *at != 0; at++) {
        if (*at < '0' || *at > '9' || at - text >= 6)
            return -1;
        value = value * 10 + (*at - '0');
    }
    return value <= max_cycle_seconds ? value : -1;
}

// The value of an option that takes one: after its '=' in the same word, else the next word
// (moving `i` on), else null.
static const char* option_value(const char* word, size_t name_length, int* i, int argc,
                                char** argv) {
    if (word[name_length] == '=')
        return word + name_length + 1;
    return *i + 1 < argc ? argv[++*i] : nullptr;
}

// Whether `word` is the option `name`, alone or followed by '=' and its value.
static bool is_option(const char* word, const char* name) {
    size_t length = strlen(name);
    return strncmp(word, name, length) == 0 && (word[length] == 0 || word[length] == '=');
}

OptionsResult take_display_options(int* argc, char** argv, DisplayOptions* options, char* error,
                                   size_t error_size) {
    *options = DisplayOptions{};
    options->pace = PaceSetting{pace_display, 0};
    int kept = 1;
    bool words_only = false; // after "--", every word is the program's
    bool version = false;
    bool root_given = false;
    bool window_id_given = false;
    for (int i = 1; i < *argc; i++) {
        const char* word = argv[i];
        if (words_only || strncmp(word, "--", 2) != 0) {
            argv[kept++] = argv[i];
            continue;
        }
        if (strcmp(word, "--") == 0) {
            words_only = true;
        } else if (strcmp(word, "--help") == 0) {
            options->help = true;
        } else if (strcmp(word, "--version") == 0) {
            version = true;
        } else if (strcmp(word, "--fullscreen") == 0) {
            options->fullscreen = true;
        } else if (strcmp(word, "--scale") == 0 || strncmp(word, "--scale=", 8) == 0) {
            const char* value = word[7] == '=' ? word + 8 : (i + 1 < *argc ? argv[++i] : nullptr);
            if (value == nullptr) {
                snprintf(error, error_size, "--scale needs a number from 1 to %d",
                         max_display_scale);
                return options_error;
            }
            options->scale = parse_scale(value);
            if (options->scale == 0) {
                snprintf(error, error_size, "--scale takes a number from 1 to %d, not \"%s\"",
                         max_display_scale, value);
                return options_error;
            }
        } else if (strcmp(word, "--root") == 0) {
            root_given = true;
        } else if (is_option(word, "--window-id")) {
            const char* value = option_value(word, 11, &i, *argc, argv);
            if (!parse_window_id(value, &options->window_id)) {
                snprintf(error, error_size,
                         "--window-id takes a window's id, decimal or 0x-hex, not \"%s\"",
                         value != nullptr ? value : "");
                return options_error;
            }
            options->target = target_window;
            window_id_given = true;
        } else if (is_option(word, "--cycle")) {
            const char* value = option_value(word, 7, &i, *argc, argv);
            options->cycle_seconds = parse_cycle(value);
            if (options->cycle_seconds < 0) {
                snprintf(error, error_size, "--cycle takes seconds from 0 to %d, not \"%s\"",
                         max_cycle_seconds, value != nullptr ? value : "");
                return options_error;
            }
        } else if (strcmp(word, "--fps") == 0 || strncmp(word, "--fps=", 6) == 0) {
            const char* value = word[5] == '=' ? word + 6 : (i + 1 < *argc ? argv[++i] : nullptr);
            if (!parse_pace(value, &options->pace)) {
                snprintf(error, error_size,
                         "--fps takes a number from 1 to %d or \"max\", not \"%s\"", max_pace_fps,
                         value != nullptr ? value : "");
                return options_error;
            }
            options->pace_given = true;
        } else {
            snprintf(error, error_size, "unknown option %s (--help lists the options)", word);
            return options_error;
        }
    }
    if (root_given && window_id_given) {
        snprintf(error, error_size, "--root and --window-id name two places to draw: give one");
        return options_error;
    }
    if (root_given)
        options->target = target_root;
    argv[kept] = nullptr;
    *argc = kept;
    return options->help ? options_help : version ? options_version : options_run;
}

bool take_saver_window(DisplayOptions* options, const char* saver_window, char* error,
                       size_t error_size) {
    if (saver_window != nullptr && saver_window[0] != 0 && options->target != target_window) {
        if (!parse_window_id(saver_window, &options->window_id)) {
            snprintf(error, error_size, "XSCREENSAVER_WINDOW is \"%s\", not a window's id",
                     saver_window);
            return false;
        }
        if (options->target == target_own_window)
            options->target = target_window;
    }
    if (options->cycle_seconds < 0)
        options->cycle_seconds = options->target == target_own_window ? 0 : saver_cycle_seconds;
    return true;
}

int default_display_scale(int usable_height, int picture_height) {
    int scale = picture_height > 0 ? usable_height / 2 / picture_height : 1;
    return scale < 1 ? 1 : scale > max_display_scale ? max_display_scale : scale;
}

int largest_fitting_scale(int width, int height, int picture_width, int picture_height) {
    if (picture_width <= 0 || picture_height <= 0)
        return 1;
    int across = width / picture_width;
    int down = height / picture_height;
    int scale = across < down ? across : down;
    return scale < 1 ? 1 : scale;
}

int opening_display_scale(int asked, int usable_width, int usable_height, int picture_width,
                          int picture_height) {
    int fits = largest_fitting_scale(usable_width, usable_height, picture_width, picture_height);
    // A client far wider than tall must still fit across.
    int scale = asked != 0 ? asked : default_display_scale(usable_height, picture_height);
    return scale < fits ? scale : fits;
}

static bool is_set(const char* value) {
    return value != nullptr && value[0] != 0;
}

const char* preferred_video_drivers(const char* wayland_display, const char* asked_driver) {
    return is_set(wayland_display) && !is_set(asked_driver) ? "wayland,x11" : nullptr;
}

bool x11_target_reachable(const DisplayOptions& options, const char* saver_window,
                          const char* display, const char* wayland_display, char* error,
                          size_t error_size) {
    const char* asked = options.target == target_root     ? "--root"
                        : options.target == target_window ? "--window-id"
                        : is_set(saver_window)            ? "XSCREENSAVER_WINDOW"
                                                          : nullptr;
    if (asked == nullptr || is_set(display) || !is_set(wayland_display))
        return true;
    snprintf(error, error_size,
             "%s draws into an X11 window, and only Wayland is here (WAYLAND_DISPLAY=%s, "
             "DISPLAY unset): set DISPLAY to an X server or XWayland",
             asked, wayland_display);
    return false;
}

void join_command_line(int argc, char** argv, char* line, size_t size) {
    size_t used = 0;
    for (int i = 1; i < argc && size > 0; i++) {
        size_t length = strlen(argv[i]);
        if (used + length + 2 > size)
            break;
        if (used > 0)
            line[used++] = ' ';
        memcpy(line + used, argv[i], length);
        used += length;
    }
    if (size > 0)
        line[used] = 0;
}
