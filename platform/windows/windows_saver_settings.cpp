// The screen saver's settings, per user, in HKEY_CURRENT_USER\Software\Sorvel\<program>: the
// value CycleSeconds (REG_DWORD) and Pace (REG_SZ, spelt as --fps is: "max" or a number, or
// "display"). Anyone can write anything there (regedit, a .reg file, another version), so each
// value is checked as it is read, and a bad one is the default, never a failure.
#include <cstdio>

#include "options.h"
#include "windows_saver.h"

SaverSettings default_saver_settings() {
    return SaverSettings{saver_default_cycle_seconds, PaceSetting{pace_display, 0}, false};
}

int cycle_from_value(DWORD type, const BYTE* data, DWORD size) {
    if (type != REG_DWORD || size != sizeof(DWORD) || data == nullptr)
        return -1;
    DWORD seconds;
    memcpy(&seconds, data, sizeof(seconds));
    return seconds <= static_cast<DWORD>(max_cycle_seconds) ? static_cast<int>(seconds) : -1;
}

// The longest pace text, "display", with its end.
constexpr DWORD pace_text_size = 8;

bool pace_from_value(DWORD type, const BYTE* data, DWORD size, PaceSetting* pace) {
    if (type != REG_SZ || data == nullptr || size == 0 || size > pace_text_size)
        return false;
    char text[pace_text_size + 1];
    memcpy(text, data, size);
    text[size] = 0; // the registry does not promise the end of a string
    if (strcmp(text, "display") == 0) {
        *pace = PaceSetting{pace_display, 0};
        return true;
    }
    return parse_pace(text, pace);
}

void pace_value_text(PaceSetting pace, char* text, size_t size) {
    switch (pace.mode) {
    case pace_unlimited:
        snprintf(text, size, "max");
        break;
    case pace_fixed:
        snprintf(text, size, "%d", pace.fps);
        break;
    case pace_display:
        snprintf(text, size, "display");
        break;
    }
}

static void key_path(const char* program, char* path, size_t size) {
    snprintf(path, size, "Software\\Sorvel\\%s", program);
}

SaverSettings saver_settings_load(const char* program) {
    SaverSettings settings = default_saver_settings();
    char path[MAX_PATH + 32];
    key_path(program, path, sizeof(path));
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return settings;
    settings.saved = true;
    // Room for one byte more than any good value has: a longer one is bad, not cut short.
    BYTE data[pace_text_size + 1];
    DWORD type = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, "CycleSeconds", nullptr, &type, data, &size) == ERROR_SUCCESS) {
        int seconds = cycle_from_value(type, data, size);
        if (seconds >= 0)
            settings.cycle_seconds = seconds;
    }
    size = sizeof(data);
    if (RegQueryValueExA(key, "Pace", nullptr, &type, data, &size) == ERROR_SUCCESS)
        pace_from_value(type, data, size, &settings.pace);
    RegCloseKey(key);
    return settings;
}

bool saver_settings_save(const char* program, const SaverSettings& settings) {
    char path[MAX_PATH + 32];
    key_path(program, path, sizeof(path));
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    DWORD seconds = static_cast<DWORD>(settings.cycle_seconds);
    char pace[16];
    pace_value_text(settings.pace, pace, sizeof(pace));
    bool saved =
        RegSetValueExA(key, "CycleSeconds", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seconds),
                       sizeof(seconds)) == ERROR_SUCCESS &&
        RegSetValueExA(key, "Pace", 0, REG_SZ, reinterpret_cast<const BYTE*>(pace),
                       static_cast<DWORD>(strlen(pace) + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return saved;
}
