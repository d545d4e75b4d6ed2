#include "recorder.h"

#include <chrono>
#include <cstring>
#include <exception>

#include <CLI/CLI.hpp>
#if SORVEL_HAVE_ZLIB
#include <zlib.h>
#endif

#include "cpu_level.h"
#include "palette_demo.h"
#include "shell.h"
#include "warp.h"

#if SORVEL_HAVE_GIF
#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>
#endif
#if SORVEL_HAVE_PNG
#include <png.h>
#endif

static constexpr int frame_width = 320;
static constexpr int frame_height = 240;
static constexpr size_t rgb_frame_size = size_t{frame_width} * frame_height * 3;

static const RecordedProgram programs[] = {
    {"sorvel2", warp::effect_init, warp::effect_render, warp::effect_shutdown,
     &warp::screen_surface},
    {"sorvel", palette_demo::effect_init, palette_demo::effect_render,
     palette_demo::effect_shutdown, &palette_demo::fire_surface},
};

const RecordedProgram* find_program(const std::string& name) {
    for (const RecordedProgram& program : programs)
        if (name == program.name)
            return &program;
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

int parse_record_options(int argc, char** argv, RecordOptions* options) {
    CLI::App app{"Records sorvel or sorvel2 frame by frame, as the window would show them."};
    std::string program_name;
    std::string key_spec;
    app.add_option("PROGRAM", program_name, "sorvel or sorvel2")->required();
    app.add_option("--frames", options->frames, "number of frames to render, from 1")->required();
    app.add_option("--keys", key_spec,
                   "FRAME:KEY items, comma-separated (space left right up down)");
    app.add_flag("--crc", options->crc, "print '<frame> <crc32>' of each RGB24 frame");
    app.add_option("--raw", options->raw_path, "write every frame as RGB24 to FILE ('-': stdout)");
    CLI::Option* gif = app.add_option("--gif", options->gif_path, "write an animated GIF");
    app.add_option("--fps", options->fps, "GIF frame rate, 1..100 (default 50)")->needs(gif);
    CLI::Option* png = app.add_option("--png", options->png_path, "write one frame as a PNG");
    app.add_option("--at", options->png_at, "the frame for --png (default: the last)")->needs(png);
    app.add_flag("--time", options->time,
                 "print the mean microseconds per frame of the effect alone (no output work)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
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
    if (options->fps < 1 || options->fps > 100)
        return fail("--fps must be within 1..100");
    if (!png->empty() && (options->png_at < 0 || options->png_at > options->frames))
        return fail("--at " + std::to_string(options->png_at) + " is outside 1..--frames");
    if (options->png_at == 0)
        options->png_at = options->frames;
    if ((options->crc || options->time) && options->raw_path == "-")
        return fail("--crc and --time cannot share standard output with --raw -");
#if !SORVEL_HAVE_GIF
    if (!gif->empty())
        return fail("--gif is not available in this build (no giflib)");
#endif
#if !SORVEL_HAVE_PNG
    if (!png->empty())
        return fail("--png is not available in this build (no libpng)");
#endif
    std::string error;
    if (!key_spec.empty() && !parse_key_script(key_spec, options->frames, &options->keys, &error))
        return fail(error);
    return 0;
}

uint32_t frame_crc(const uint8_t* rgb) {
#if SORVEL_HAVE_ZLIB
    return static_cast<uint32_t>(crc32(0L, rgb, static_cast<uInt>(rgb_frame_size)));
#else
    // Only where zlib is absent (the Emscripten build): zlib's CRC-32 computed here, the
    // reflected polynomial 0xEDB88320 with all bits set before and inverted after.
    static uint32_t table[256];
    if (table[1] == 0) {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; bit++)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < rgb_frame_size; i++)
        crc = table[(crc ^ rgb[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
#endif
}

// Bottom-up BGRX rows of the capture surface to top-down RGB24.
static void capture_to_rgb(const Surface& capture, uint8_t* rgb) {
    for (int y = 0; y < frame_height; y++) {
        const uint8_t* row = capture.bits + (frame_height - 1 - y) * capture.stride;
        for (int x = 0; x < frame_width; x++) {
            *rgb++ = row[4 * x + 2];
            *rgb++ = row[4 * x + 1];
            *rgb++ = row[4 * x + 0];
        }
    }
}

// An output file is written under a temporary name and renamed only when the run succeeded.
struct OutputFile {
    std::string path;
    std::string partial;
    FILE* file = nullptr;
};

static bool open_output(OutputFile* out, const std::string& path) {
    out->path = path;
    out->partial = path + ".part";
    out->file = fopen(out->partial.c_str(), "wb");
    return out->file != nullptr;
}

// Gives a finished output its name, or removes it when the run failed or it could not be
// closed. Returns whether the output now stands complete under its name (or was never asked for).
static bool settle_partial(const std::string& partial, const std::string& path, bool keep,
                           bool ok) {
    if (partial.empty())
        return ok;
    if (keep && ok) {
        remove(path.c_str()); // rename does not replace a file on Windows
        ok = rename(partial.c_str(), path.c_str()) == 0;
    }
    if (!keep || !ok)
        remove(partial.c_str());
    return ok;
}

static bool finish_output(OutputFile* out, bool keep) {
    bool ok = true;
    if (out->file != nullptr)
        ok = fclose(out->file) == 0;
    out->file = nullptr;
    return settle_partial(out->partial, out->path, keep, ok);
}

#if SORVEL_HAVE_GIF
struct GifOutput {
    GifFileType* gif = nullptr;
    ColorMapObject* global_map = nullptr;
    ColorMapObject* local_map = nullptr;
    int delay = 2;
    std::string partial;
};

static void fill_map(ColorMapObject* map, const RGBQUAD* table) {
    for (int i = 0; i < 256; i++)
        map->Colors[i] = GifColorType{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
}

static bool gif_open(GifOutput* out, const std::string& path, int fps, const RGBQUAD* table) {
    out->partial = path + ".part";
    // opened here rather than by giflib, which would make the file readable by its owner only
    int fd = open(out->partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return false;
    int error = 0;
    out->gif = EGifOpenFileHandle(fd, &error);
    if (out->gif == nullptr) {
        close(fd);
        remove(out->partial.c_str());
        out->partial.clear();
        return false;
    }
    out->delay = (100 + fps / 2) / fps;
    out->global_map = GifMakeMapObject(256, nullptr);
    out->local_map = GifMakeMapObject(256, nullptr);
    fill_map(out->global_map, table);
    EGifSetGifVersion(out->gif, true);
    if (EGifPutScreenDesc(out->gif, frame_width, frame_height, 8, 0, out->global_map) != GIF_OK)
        return false;
    // loop forever
    unsigned char application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    unsigned char loop[] = {1, 0, 0};
    return EGifPutExtensionLeader(out->gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(out->gif, sizeof application, application) == GIF_OK &&
           EGifPutExtensionBlock(out->gif, sizeof loop, loop) == GIF_OK &&
           EGifPutExtensionTrailer(out->gif) == GIF_OK;
}

// One frame: the shown surface's 8-bit picture, with its own colour table only where the
// palette in force differs from the first frame's.
static bool gif_frame(GifOutput* out, const Surface& shown, const RGBQUAD* table) {
    GraphicsControlBlock control{DISPOSE_DO_NOT, false, out->delay, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(out->gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) !=
        GIF_OK)
        return false;
    fill_map(out->local_map, table);
    bool same =
        memcmp(out->local_map->Colors, out->global_map->Colors, 256 * sizeof(GifColorType)) == 0;
    if (EGifPutImageDesc(out->gif, 0, 0, frame_width, frame_height, false,
                         same ? nullptr : out->local_map) != GIF_OK)
        return false;
    for (int y = 0; y < frame_height; y++) {
        GifPixelType* row = shown.bits + (frame_height - 1 - y) * shown.stride;
        if (EGifPutLine(out->gif, row, frame_width) != GIF_OK)
            return false;
    }
    return true;
}

static bool gif_close(GifOutput* out, const std::string& path, bool keep) {
    int error = 0;
    bool ok = out->gif == nullptr || EGifCloseFile(out->gif, &error) == GIF_OK;
    out->gif = nullptr;
    GifFreeMapObject(out->global_map);
    GifFreeMapObject(out->local_map);
    out->global_map = out->local_map = nullptr;
    return settle_partial(out->partial, path, keep, ok);
}
#endif

#if SORVEL_HAVE_PNG
static bool write_png(FILE* file, const uint8_t* rgb) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, frame_width, frame_height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < frame_height; y++)
        png_write_row(png, rgb + y * frame_width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
#endif

int record(const RecordOptions& options, FILE* out) {
    static uint8_t rgb[rgb_frame_size];
    const RecordedProgram& program = *options.program;

    auto fail = [](const std::string& message) {
        fprintf(stderr, "sorvel-record: %s\n", message.c_str());
        return 2;
    };

    program.init(nullptr);
    Surface capture;
    surface_create(&capture, 32, frame_width, frame_height, nullptr);
    if (capture.bits == nullptr || program.shown->bits == nullptr) {
        program.shutdown();
        surface_destroy(&capture);
        return fail("cannot create the frame surfaces");
    }

    OutputFile raw, png;
    FILE* raw_file = nullptr;
    std::string error;
    if (options.raw_path == "-") {
        raw_file = out;
    } else if (!options.raw_path.empty()) {
        if (!open_output(&raw, options.raw_path))
            error = "cannot write " + options.raw_path + ": " + strerror(errno);
        raw_file = raw.file;
    }
    if (error.empty() && !options.png_path.empty() && !open_output(&png, options.png_path))
        error = "cannot write " + options.png_path + ": " + strerror(errno);
#if SORVEL_HAVE_GIF
    GifOutput gif;
    RGBQUAD table[256];
    if (error.empty() && !options.gif_path.empty()) {
        GetDIBColorTable(program.shown->dc, 0, 256, table);
        if (!gif_open(&gif, options.gif_path, options.fps, table))
            error = "cannot write " + options.gif_path;
    }
#endif

    size_t next_key = 0;
    bool needs_rgb = options.crc || raw_file != nullptr || png.file != nullptr;
    std::chrono::steady_clock::duration rendering{};
    for (int64_t frame = 1; frame <= options.frames && error.empty(); frame++) {
        for (; next_key < options.keys.size() && options.keys[next_key].frame == frame; next_key++)
            handle_key(options.keys[next_key].virtual_key);
        auto start = std::chrono::steady_clock::now();
        program.render(capture.dc);
        rendering += std::chrono::steady_clock::now() - start;
        if (needs_rgb)
            capture_to_rgb(capture, rgb);
        if (options.crc)
            fprintf(out, "%lld %08x\n", static_cast<long long>(frame), frame_crc(rgb));
        if (raw_file != nullptr && fwrite(rgb, 1, rgb_frame_size, raw_file) != rgb_frame_size)
            error = "cannot write " + options.raw_path + ": " + strerror(errno);
#if SORVEL_HAVE_GIF
        if (gif.gif != nullptr) {
            GetDIBColorTable(program.shown->dc, 0, 256, table);
            if (!gif_frame(&gif, *program.shown, table))
                error = "cannot write " + options.gif_path;
        }
#endif
#if SORVEL_HAVE_PNG
        if (png.file != nullptr && frame == options.png_at && !write_png(png.file, rgb))
            error = "cannot write " + options.png_path;
#endif
    }
    if (error.empty() && options.time)
        fprintf(out, "%s: %.2f us per frame over %lld frames (%s)\n", program.name,
                std::chrono::duration<double, std::micro>(rendering).count() /
                    static_cast<double>(options.frames),
                static_cast<long long>(options.frames), cpu_level_name(cpu_level()));
    if (error.empty() && out != nullptr && fflush(out) != 0)
        error = "cannot write standard output";

    bool keep = error.empty();
    if (!finish_output(&raw, keep) && keep)
        error = "cannot write " + options.raw_path;
    if (!finish_output(&png, keep) && keep)
        error = "cannot write " + options.png_path;
#if SORVEL_HAVE_GIF
    if (!gif_close(&gif, options.gif_path, keep) && keep)
        error = "cannot write " + options.gif_path;
#endif
    program.shutdown();
    surface_destroy(&capture);
    return error.empty() ? 0 : fail(error);
}
