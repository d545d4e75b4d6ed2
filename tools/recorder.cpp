#include "recorder.h"

#include "fireworks.h"
#include "output.h"
#include "shell.h"
#include "surface.h"

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

// One asked-for output: its kind and where its bytes go.
struct Output {
    const OutputKind* kind;
    std::string path;
    Sink sink;
    bool begun = false;
};

int record(const RecordOptions& options, FILE* out) {
    static uint8_t rgb[rgb_frame_size];
    static RGBQUAD colours[256];
    const Effect& program = *options.program;

    auto fail = [](const std::string& message) {
        fprintf(stderr, "sorvel-record: %s\n", message.c_str());
        return 2;
    };

    program.init(nullptr);
    Surface capture;
    surface_create(&capture, 32, picture_width, picture_height, nullptr);
    if (capture.bits == nullptr || program.shown->bits == nullptr) {
        program.shutdown();
        surface_destroy(&capture);
        return fail("cannot create the frame surfaces");
    }

    Output outputs[4];
    int output_count = 0;
    if (options.crc)
        outputs[output_count++] = Output{&crc_output, "-", {}};
    if (!options.raw_path.empty())
        outputs[output_count++] = Output{&raw_output, options.raw_path, {}};
    if (!options.gif_path.empty())
        outputs[output_count++] = Output{&gif_output, options.gif_path, {}};
    if (!options.png_path.empty())
        outputs[output_count++] = Output{&png_output, options.png_path, {}};

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

    size_t next_key = 0;
    for (int64_t number = 1; number <= options.frames && failed == nullptr; number++) {
        for (; next_key < options.keys.size() && options.keys[next_key].frame == number; next_key++)
            handle_key(options.keys[next_key].virtual_key);
        program.render(capture.dc);
        capture_to_rgb(capture, rgb);
        GetDIBColorTable(program.shown->dc, 0, 256, colours);
        RecordedFrame frame{number, rgb, program.shown, colours};
        for (int i = 0; i < output_count && failed == nullptr; i++)
            if (!outputs[i].kind->frame(&outputs[i].sink, options, frame))
                failed = &outputs[i];
    }

    // Every output is ended and closed, then all of them are named, or all removed: a failed run
    // leaves no output file behind. The first failure is the one said.
    for (int i = 0; i < output_count; i++) {
        Output& output = outputs[i];
        if (output.begun && !output.kind->end(&output.sink, failed == nullptr) && failed == nullptr)
            failed = &output;
        if (!sink_close(&output.sink) && failed == nullptr)
            failed = &output;
    }
    for (int i = 0; i < output_count; i++)
        if (!sink_settle(&outputs[i].sink, failed == nullptr) && failed == nullptr)
            failed = &outputs[i];
    program.shutdown();
    surface_destroy(&capture);
    if (failed == nullptr)
        return 0;
    return fail("cannot write " + sink_name(failed->sink) + ": " + failed->sink.failure);
}
