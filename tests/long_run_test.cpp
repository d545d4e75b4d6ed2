// A million frames of each program, drawn the way the recorder draws them, and the process's
// resident memory once every path of a frame has run (keys included) held against its size at
// the end: a leak of even a few bytes a frame would show as megabytes here. Takes minutes; run
// it with `ctest --preset long`.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "fireworks.h"
#include "recorder.h"
#include "shell.h"
#include "surface.h"

namespace {

// One of the resident set sizes of /proc/self/status, in KiB: "RssAnon" (heap, static data and
// stacks, where a leak would show) or "RssFile" (mapped program and library code).
long resident_kib(const char* field) {
    FILE* status = fopen("/proc/self/status", "r");
    long kib = -1;
    char line[256];
    char format[64];
    snprintf(format, sizeof format, "%s: %%ld kB", field);
    while (status != nullptr && fgets(line, sizeof line, status) != nullptr)
        if (sscanf(line, format, &kib) == 1)
            break;
    if (status != nullptr)
        fclose(status);
    return kib;
}

void run_million(const char* name) {
    const Effect* program = find_program(name);
    ASSERT_NE(program, nullptr);
    reset_rand15();
    decay = decay_start;
    variant = 0;
    program->init(nullptr);
    Surface capture;
    surface_create(&capture, 32, 320, 240, nullptr);
    ASSERT_NE(capture.bits, nullptr);

    const long frames = 1000000;
    long after_start = 0;
    long code_after_start = 0;
    for (long frame = 1; frame <= frames; frame++) {
        if (frame % 7919 == 0)
            handle_key(VK_SPACE);
        if (frame % 5003 == 0)
            handle_key(frame % 2 ? VK_LEFT : VK_UP);
        program->render(capture.dc);
        // by then every key has been pressed and every path of the frame has run at least once
        if (frame == 50000) {
            after_start = resident_kib("RssAnon");
            code_after_start = resident_kib("RssFile");
        }
    }
    long at_end = resident_kib("RssAnon");
    long code_at_end = resident_kib("RssFile");
    program->shutdown();
    surface_destroy(&capture);
    printf("%s: resident data %ld KiB and code %ld KiB after 50,000 frames, %ld KiB and %ld KiB "
           "after %ld\n",
           name, after_start, code_after_start, at_end, code_at_end, frames);
    ASSERT_GT(after_start, 0);
    // a page or two of slack for the C library's own bookkeeping
    EXPECT_LE(at_end - after_start, 64) << "resident memory grew over the run";
}

TEST(LongRun, SorvelTwoHoldsItsMemoryOverAMillionFrames) {
    run_million("sorvel2");
}

TEST(LongRun, SorvelHoldsItsMemoryOverAMillionFrames) {
    run_million("sorvel");
}

} // namespace
