// The choice of a window's present and the measurement of its wait (present_choice.h).
#include "present_choice.h"

#include <cstring>

bool parse_present(const char* text, PresentAsk* ask) {
    if (text == nullptr || text[0] == 0)
        *ask = present_by_machine;
    else if (strcmp(text, "gpu") == 0)
        *ask = present_asked_gpu;
    else if (strcmp(text, "cpu") == 0)
        *ask = present_asked_cpu;
    else
        return false;
    return true;
}

bool renderer_is_software(const char* renderer_name, const char* gl_renderer) {
    if (renderer_name != nullptr && strcmp(renderer_name, "software") == 0)
        return true;
    if (gl_renderer == nullptr)
        return false;
    static const char* const software_names[] = {"llvmpipe", "softpipe", "Software Rasterizer"};
    for (const char* name : software_names)
        if (strstr(gl_renderer, name) != nullptr)
            return true;
    return false;
}

double middle_timing(double* timings_us, int count) {
    for (int i = 1; i < count; i++)
        for (int j = i; j > 0 && timings_us[j] < timings_us[j - 1]; j--) {
            double swap = timings_us[j];
            timings_us[j] = timings_us[j - 1];
            timings_us[j - 1] = swap;
        }
    return timings_us[count / 2];
}

bool presents_wait_for_refresh(double synced_us, double unsynced_us) {
    return synced_us - unsynced_us >= refresh_wait_least_us;
}
