#include "recorder.h"

#include <chrono>
#include <cstring>

#include "cpu_level.h"
#include "fireworks.h"
#include "output.h"
#include "shell.h"
#include "surface.h"
#include "system.h"

static constexpr size_t rgb_frame_size = size_t{picture_width} * picture_height * 3;

// Bottom-up BGRX rows of the capture surface to top-down RGB24.
static void capture_to_rgb(const Surface& capture, uint8_t* rgb) {
    for (int y = 0; y < picture_height; y++) {
        const uint8_t* row = capture.bits + (picture_height - 1 - y) * capture.stride;
        for (int x = 0; x < picture_width; x++) {
            *rgb++ = row[4 * x + 2];
            *rgb++ = row[4 * x + 1];
            *rgb++ = row[4 * x + 0];
        }
    }
}

// Bottom-up colour indices of the shown surface to top-down rows.
static void shown_to_indices(const Surface& shown, uint8_t* indices) {
    for (int y = 0; y < picture_height; y++)
        memcpy(indices + y * picture_width, shown.bits + (picture_height - 1 - y) * shown.stride,
               picture_width);
}

void scale_picture(const uint8_t* picture, int width, int height, int pixel_size, int scale,
                   uint8_t* out) {
    size_t out_row = size_t(width) * size_t(scale) * size_t(pixel_size);
    for (int y = 0; y < height; y++) {
        const uint8_t* in = picture + size_t(y) * size_t(width) * size_t(pixel_size);
        uint8_t* first = out + size_t(y) * size_t(scale) * out_row;
        uint8_t* to = first;
        for (int x = 0; x < width; x++, in += pixel_size)
            for (int k = 0; k < scale; k++, to += pixel_size)
                memcpy(to, in, size_t(pixel_size));
        for (int k = 1; k < scale; k++)
            memcpy(first + size_t(k) * out_row, first, out_row);
    }
}

// One asked-for output: its kind and where its bytes go.
struct Output {
    const OutputKind* kind;
    std::string path;
    Sink sink;
    bool begun = false;
};

// The self-updating progress line on standard error, at most ten redraws a second.
struct Progress {
    bool shown = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last_draw;
    bool drawn = false;
};

static void draw_progress(Progress* progress, int64_t done, int64_t total, bool last) {
    if (!progress->shown)
        return;
    auto now = std::chrono::steady_clock::now();
    if (!last && now - progress->last_draw < std::chrono::milliseconds(100))
        return;
    if (last && !progress->drawn)
        return; // a run too short to have drawn anything says nothing
    std::chrono::duration<double> seconds = now - progress->start;
    // the padding covers what a longer earlier line left behind
    fprintf(stderr, "\r%-60s", progress_line(done, total, seconds.count()).c_str());
    progress->last_draw = now;
    progress->drawn = true;
}

static void finish_progress(Progress* progress) {
    if (progress->drawn)
        fputc('\n', stderr);
    progress->drawn = false;
}

int record(const RecordOptions& options, FILE* out) {
    static uint8_t rgb[rgb_frame_size];
    static uint8_t indices[picture_width * picture_height];
    static RGBQUAD colours[256];
    const Effect& program = *options.program;

    auto fail = [](const std::string& message) {
        fprintf(stderr, "sorvel-record: %s\n", message.c_str());
        return 2;
    };

    catch_stop_signals();
    program.init(nullptr);
    Surface capture;
    surface_create(&capture, 32, picture_width, picture_height, nullptr);
    if (capture.bits == nullptr || program.shown->bits == nullptr) {
        program.shutdown();
        surface_destroy(&capture);
        return fail("cannot create the frame surfaces");
    }
    // the enlarged pictures, taken once for the whole run
    int scale = options.scale;
    int width = picture_width * scale;
    int height = picture_height * scale;
    std::vector<uint8_t> scaled_rgb(scale > 1 ? rgb_frame_size * size_t(scale * scale) : 0);
    std::vector<uint8_t> scaled_indices;

    Output outputs[5];
    int output_count = 0;
    if (options.crc)
        outputs[output_count++] = Output{&crc_output, "-", {}};
    if (!options.raw_path.empty())
        outputs[output_count++] = Output{&raw_output, options.raw_path, {}};
    if (!options.gif_path.empty())
        outputs[output_count++] = Output{&gif_output, options.gif_path, {}};
    if (!options.png_path.empty())
        outputs[output_count++] = Output{&png_output, options.png_path, {}};
    if (!options.video_path.empty())
        outputs[output_count++] = Output{&video_output, options.video_path, {}};

    bool indices_used = false;
    for (int i = 0; i < output_count; i++)
        indices_used = indices_used || outputs[i].kind->uses_indices;
    if (indices_used && scale > 1)
        scaled_indices.resize(sizeof indices * size_t(scale * scale));

    Output* failed = nullptr;
    GetDIBColorTable(program.shown->dc, 0, 256, colours);
    for (int i = 0; i < output_count && failed == nullptr; i++) {
        Output& output = outputs[i];
        if (!sink_open(&output.sink, output.path, out)) {
            failed = &output;
            continue;
        }
        output.begun = true; // ended even if begin fails half-way, to free what it took
        if (!output.kind->begin(&output.sink, options, colours))
            failed = &output;
    }

    Progress progress;
    progress.shown = !options.quiet && stderr_is_terminal();
    progress.start = progress.last_draw = std::chrono::steady_clock::now();
    size_t next_key = 0;
    int64_t number = 1;
    std::chrono::steady_clock::duration rendering{};
    for (; number <= options.frames && failed == nullptr && !stop_requested(); number++) {
        for (; next_key < options.keys.size() && options.keys[next_key].frame == number; next_key++)
            handle_key(options.keys[next_key].virtual_key);
        auto render_start = std::chrono::steady_clock::now();
        program.render(capture.dc);
        rendering += std::chrono::steady_clock::now() - render_start;
        capture_to_rgb(capture, rgb);
        RecordedFrame frame{number, rgb, rgb, indices, colours, width, height};
        if (indices_used) {
            shown_to_indices(*program.shown, indices);
            GetDIBColorTable(program.shown->dc, 0, 256, colours);
        }
        if (scale > 1) {
            scale_picture(rgb, picture_width, picture_height, 3, scale, scaled_rgb.data());
            frame.picture = scaled_rgb.data();
            if (indices_used) {
                scale_picture(indices, picture_width, picture_height, 1, scale,
                              scaled_indices.data());
                frame.indices = scaled_indices.data();
            }
        }
        for (int i = 0; i < output_count && failed == nullptr; i++)
            if (!outputs[i].kind->frame(&outputs[i].sink, options, frame))
                failed = &outputs[i];
        draw_progress(&progress, number, options.frames, false);
    }
    bool interrupted = stop_requested();
    if (failed == nullptr && !interrupted)
        draw_progress(&progress, options.frames, options.frames, true);
    finish_progress(&progress);

    // Every output is ended and closed, then all of them are named, or all removed: a failed run
    // leaves no output file behind. The first failure is the one said.
    for (int i = 0; i < output_count; i++) {
        Output& output = outputs[i];
        bool complete = failed == nullptr && !interrupted;
        if (output.begun && !output.kind->end(&output.sink, complete) && failed == nullptr)
            failed = &output;
        if (!sink_close(&output.sink) && failed == nullptr)
            failed = &output;
    }
    interrupted = interrupted || stop_requested();
    for (int i = 0; i < output_count; i++)
        if (!sink_settle(&outputs[i].sink, failed == nullptr && !interrupted) && failed == nullptr)
            failed = &outputs[i];
    program.shutdown();
    surface_destroy(&capture);
    // Ctrl+C, or a reader gone away, ends the run quietly, as it would end cat
    if (interrupted || (failed != nullptr && failed->sink.broken_pipe))
        return end_as_signal(!interrupted);
    if (failed != nullptr)
        return fail("cannot write " + sink_name(failed->sink) + ": " + failed->sink.failure);
    if (options.time) {
        double each = std::chrono::duration<double, std::micro>(rendering).count() /
                      static_cast<double>(options.frames);
        fprintf(out, "%s: %.2f us per frame over %lld frames (%s)\n", program.name, each,
                static_cast<long long>(options.frames), cpu_levels_in_use());
        if (fflush(out) != 0)
            return fail("cannot write standard output");
    }
    return 0;
}
