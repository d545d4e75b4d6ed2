// The recorder's command line.
#include <algorithm>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "output.h"
#include "palette_demo.h"
#include "warp.h"

static const Effect* const programs[] = {&warp::effect, &palette_demo::effect};

const Effect* find_program(const std::string& name) {
    for (const Effect* program : programs)
        if (name == program->name)
            return program;
    return nullptr;
}

static bool key_code(const std::string& name, WPARAM* code) {
    static const struct {
        const char* name;
        WPARAM code;
    } keys[] = {{"space", VK_SPACE},
                {"left", VK_LEFT},
                {"right", VK_RIGHT},
                {"up", VK_UP},
                {"down", VK_DOWN}};
    for (const auto& key : keys) {
        if (name == key.name) {
            *code = key.code;
            return true;
        }
    }
    return false;
}

bool parse_key_script(const std::string& script, int64_t frames, std::vector<KeyPress>* keys,
                      std::string* error) {
    keys->clear();
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find(',', start);
        if (end == std::string::npos)
            end = script.size();
        std::string item = script.substr(start, end - start);
        size_t colon = item.find(':');
        KeyPress press{};
        const char* digits = item.c_str();
        char* digits_end = nullptr;
        long long frame = colon == 0 ? 0 : strtoll(digits, &digits_end, 10);
        if (colon == std::string::npos || digits_end != digits + colon || item[0] == '-' ||
            item[0] == '+') {
            *error = "--keys: '" + item + "' is not FRAME:KEY";
            return false;
        }
        if (frame < 1 || frame > frames) {
            *error = "--keys: frame " + item.substr(0, colon) + " is outside 1.." +
                     std::to_string(frames);
            return false;
        }
        if (!key_code(item.substr(colon + 1), &press.virtual_key)) {
            *error = "--keys: unknown key '" + item.substr(colon + 1) +
                     "' (space, left, right, up, down)";
            return false;
        }
        press.frame = frame;
        keys->push_back(press);
        start = end + 1;
    }
    // stable: keys of one frame keep their listed order
    std::stable_sort(keys->begin(), keys->end(),
                     [](const KeyPress& a, const KeyPress& b) { return a.frame < b.frame; });
    return true;
}

// The container, and so the codec, from the video file's extension: .mp4 (H.264), .webm (VP9),
// .mkv (FFV1, lossless). Null when it is none of these.
const char* container_from_name(const std::string& path) {
    static const char* const known[][2] = {{".mp4", "mp4"}, {".webm", "webm"}, {".mkv", "mkv"}};
    for (const auto& entry : known) {
        std::string extension = entry[0];
        if (path.size() > extension.size() &&
            std::equal(extension.rbegin(), extension.rend(), path.rbegin(),
                       [](char a, char b) { return a == tolower(static_cast<unsigned char>(b)); }))
            return entry[1];
    }
    return nullptr;
}

int parse_record_options(int argc, char** argv, RecordOptions* options) {
    CLI::App app{"Records sorvel or sorvel2 frame by frame, as the window would show them."};
    app.set_version_flag("--version", std::string("sorvel-record ") + SORVEL_VERSION);
    std::string program_name;
    std::string key_spec;
    int fps = 0;
    app.add_option("PROGRAM", program_name, "sorvel or sorvel2")->required();
    app.add_option("--frames", options->frames, "number of frames to render, from 1")->required();
    app.add_option("--keys", key_spec,
                   "FRAME:KEY items, comma-separated (space left right up down)");
    app.add_flag("--crc", options->crc, "print '<frame> <crc32>' of each 320x240 RGB24 frame");
    app.add_option("--raw", options->raw_path, "write every frame as RGB24 to FILE ('-': stdout)");
    CLI::Option* gif = app.add_option("--gif", options->gif_path, "write an animated GIF");
    CLI::Option* png = app.add_option("--png", options->png_path, "write one frame as a PNG");
    app.add_option("--at", options->png_at, "the frame for --png (default: the last)")->needs(png);
    CLI::Option* video =
        app.add_option("--video", options->video_path,
                       "write a video: .mp4 (H.264), .webm (VP9), .mkv (lossless)");
    std::string container_name;
    CLI::Option* container_option =
        app.add_option("--container", container_name,
                       "mp4, webm or mkv, for a video FILE whose name does not say (a pipe)")
            ->needs(video);
    CLI::Option* fps_option =
        app.add_option("--fps", fps, "frame rate of the GIF and video, 1..100 (default 50 and 60)");
    CLI::Option* crf = app.add_option("--crf", options->crf,
                                      "video quality, lower is better: .mp4 0..51 (default 29), "
                                      ".webm 0..63 (default 30)")
                           ->needs(video);
    app.add_option("--scale", options->scale,
                   "enlarge every picture written by 1..8, pixel by pixel (CRCs are unchanged)");
    app.add_flag("--quiet", options->quiet, "no progress line on the terminal");
    app.add_flag("--time", options->time,
                 "print the mean microseconds per frame of the effect alone (no output work)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e); // --help, --version
    } catch (const CLI::ParseError& e) {
        fprintf(stderr, "sorvel-record: %s\n", e.what());
        return 2;
    }

    auto fail = [](const std::string& message) {
        fprintf(stderr, "sorvel-record: %s\n", message.c_str());
        return 2;
    };
    options->program = find_program(program_name);
    if (options->program == nullptr)
        return fail("unknown program '" + program_name + "' (sorvel or sorvel2)");
    if (options->frames < 1)
        return fail("--frames must be a positive number");
    if (!fps_option->empty()) {
        if (gif->empty() && video->empty())
            return fail("--fps applies to --gif and --video only");
        if (fps < 1 || fps > 100)
            return fail("--fps must be within 1..100");
        options->gif_fps = options->video_fps = fps;
    }
    if (options->scale < 1 || options->scale > 8)
        return fail("--scale must be within 1..8");
    if (!png->empty() && (options->png_at < 0 || options->png_at > options->frames))
        return fail("--at " + std::to_string(options->png_at) + " is outside 1..--frames");
    if (options->png_at == 0)
        options->png_at = options->frames;
    if ((options->crc || options->time) && options->raw_path == "-")
        return fail("--crc and --time cannot share standard output with --raw -");
    if (!video->empty()) {
        const char* container = container_option->empty()
                                    ? container_from_name(options->video_path)
                                    : container_from_name("video." + container_name);
        if (container == nullptr && container_option->empty())
            return fail("--video " + options->video_path +
                        ": the name must end in .mp4, .webm or .mkv, or give --container");
        if (container == nullptr)
            return fail("--container must be mp4, webm or mkv");
        options->video_container = container;
        int most = std::string(container) == "mp4"    ? 51
                   : std::string(container) == "webm" ? 63
                                                      : -1;
        if (!crf->empty() && most < 0)
            return fail("--crf does not apply to a lossless .mkv");
        if (!crf->empty() && (options->crf < 0 || options->crf > most))
            return fail("--crf must be within 0.." + std::to_string(most) + " for ." + container);
    }
    const struct {
        const CLI::Option* option;
        const OutputKind& kind;
    } asked[] = {{gif, gif_output}, {png, png_output}, {video, video_output}};
    for (const auto& output : asked)
        if (!output.option->empty() && output.kind.missing != nullptr)
            return fail(std::string(output.kind.option) + " is not available in this build (no " +
                        output.kind.missing + ")");
    std::string error;
    if (!key_spec.empty() && !parse_key_script(key_spec, options->frames, &options->keys, &error))
        return fail(error);
    return 0;
}
