// --png: one frame as an RGB PNG by libpng.
#include <csetjmp>

#include <png.h>

#include "output.h"

// libpng's bytes go through the sink; a failed write or libpng's own error ends in png_error's
// jump back into png_frame.
static void put_bytes(png_structp png, png_bytep bytes, size_t size) {
    if (!sink_write(static_cast<Sink*>(png_get_io_ptr(png)), bytes, size))
        png_error(png, "write failed");
}

static void flush_nothing(png_structp) {}

static void on_error(png_structp png, png_const_charp message) {
    sink_fail(static_cast<Sink*>(png_get_error_ptr(png)), message);
    png_longjmp(png, 1);
}

static void on_warning(png_structp, png_const_charp) {}

static bool png_begin(Sink*, const RecordOptions&, const RGBQUAD*) {
    return true;
}

static bool png_frame(Sink* sink, const RecordOptions& options, const RecordedFrame& frame) {
    if (frame.number != options.png_at)
        return true;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        sink_fail(sink, "libpng is out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, sink, put_bytes, flush_nothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(frame.width),
                 static_cast<png_uint_32>(frame.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < frame.height; y++)
        png_write_row(png, frame.picture + size_t(y) * size_t(frame.width) * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

static bool png_end(Sink*, bool) {
    return true;
}

const OutputKind png_output = {"--png", nullptr, png_begin, png_frame, png_end, false};
