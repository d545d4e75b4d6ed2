// The progress line of a long run on a terminal.
#include <cinttypes>
#include <cstdio>

#include "recorder.h"

std::string progress_line(int64_t done, int64_t total, double seconds) {
    char rate[32] = "";
    char left[32] = "";
    if (seconds > 0 && done > 0) {
        double fps = static_cast<double>(done) / seconds;
        snprintf(rate, sizeof rate, "  %.0f fps", fps);
        int64_t remaining = static_cast<int64_t>(static_cast<double>(total - done) / fps + 0.5);
        if (remaining >= 3600)
            snprintf(left, sizeof left, "  %" PRId64 ":%02d:%02d left", remaining / 3600,
                     static_cast<int>(remaining / 60 % 60), static_cast<int>(remaining % 60));
        else
            snprintf(left, sizeof left, "  %d:%02d left", static_cast<int>(remaining / 60),
                     static_cast<int>(remaining % 60));
    }
    char line[160];
    snprintf(line, sizeof line, "%" PRId64 "/%" PRId64 " frames  %3d%%%s%s", done, total,
             static_cast<int>(done * 100 / total), rate, left);
    return line;
}
