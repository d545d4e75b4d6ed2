// --gif: a lossless animated GIF by giflib, each frame the shown surface's 8-bit picture with its
// own colour table only where the palette in force differs from the first frame's.
#include <cstring>

#include <gif_lib.h>

#include "fireworks.h"
#include "output.h"

static GifFileType* gif;
static ColorMapObject* global_map;
static ColorMapObject* local_map;
static int delay = 2; // hundredths of a second

// giflib's bytes go through the sink, which keeps the reason of a failed write.
static int put_bytes(GifFileType* file, const GifByteType* bytes, int size) {
    Sink* sink = static_cast<Sink*>(file->UserData);
    return sink_write(sink, bytes, static_cast<size_t>(size)) ? size : 0;
}

static bool gif_failed(Sink* sink, int error) {
    // a failed write has already said why; giflib's own reason is for everything else
    sink_fail(sink, GifErrorString(error) != nullptr ? GifErrorString(error) : "giflib failed");
    return false;
}

static void fill_map(ColorMapObject* map, const RGBQUAD* table) {
    for (int i = 0; i < 256; i++)
        map->Colors[i] = GifColorType{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue};
}

static bool gif_begin(Sink* sink, const RecordOptions& options, const RGBQUAD* colours) {
    int width = picture_width * options.scale;
    int height = picture_height * options.scale;
    int error = 0;
    gif = EGifOpen(sink, put_bytes, &error);
    if (gif == nullptr)
        return gif_failed(sink, error);
    delay = (100 + options.gif_fps / 2) / options.gif_fps;
    global_map = GifMakeMapObject(256, nullptr);
    local_map = GifMakeMapObject(256, nullptr);
    if (global_map == nullptr || local_map == nullptr)
        return gif_failed(sink, E_GIF_ERR_NOT_ENOUGH_MEM);
    fill_map(global_map, colours);
    EGifSetGifVersion(gif, true);
    if (EGifPutScreenDesc(gif, width, height, 8, 0, global_map) != GIF_OK)
        return gif_failed(sink, gif->Error);
    // loop forever
    unsigned char application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    unsigned char loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif, sizeof application, application) != GIF_OK ||
        EGifPutExtensionBlock(gif, sizeof loop, loop) != GIF_OK ||
        EGifPutExtensionTrailer(gif) != GIF_OK)
        return gif_failed(sink, gif->Error);
    return true;
}

static bool gif_frame(Sink* sink, const RecordOptions&, const RecordedFrame& frame) {
    GraphicsControlBlock control{DISPOSE_DO_NOT, false, delay, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) !=
        GIF_OK)
        return gif_failed(sink, gif->Error);
    fill_map(local_map, frame.colours);
    bool same = memcmp(local_map->Colors, global_map->Colors, 256 * sizeof(GifColorType)) == 0;
    if (EGifPutImageDesc(gif, 0, 0, frame.width, frame.height, false, same ? nullptr : local_map) !=
        GIF_OK)
        return gif_failed(sink, gif->Error);
    // giflib takes the whole picture in one call but does not change it
    GifPixelType* pixels = const_cast<GifPixelType*>(frame.indices);
    if (EGifPutLine(gif, pixels, frame.width * frame.height) != GIF_OK)
        return gif_failed(sink, gif->Error);
    return true;
}

// Closing writes the trailer; after a failure the file is removed anyway, so it costs nothing.
static bool gif_end(Sink* sink, bool) {
    int error = 0;
    bool ok = gif == nullptr || EGifCloseFile(gif, &error) == GIF_OK;
    gif = nullptr;
    GifFreeMapObject(global_map);
    GifFreeMapObject(local_map);
    global_map = local_map = nullptr;
    return ok || gif_failed(sink, error);
}

const OutputKind gif_output = {"--gif", nullptr, gif_begin, gif_frame, gif_end, true};
