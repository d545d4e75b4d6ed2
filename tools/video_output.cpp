// --video: the frames encoded by FFmpeg's libraries, the container and codec chosen by the file's
// extension: .mp4 H.264 (yuv420p, which every browser and phone plays), .webm VP9, .mkv FFV1
// (lossless, in RGB). Each colour sample of yuv420p is the mean of its own 2x2 pixels, so at an
// even --scale, where every frame pixel is a whole 2x2 block, the colour loses nothing. Frame k
// (from 0) has the timestamp k / fps exactly; the muxer writes through the sink, so a pipe or
// device is written in place and every write error is the sink's.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include "fireworks.h"
#include "output.h"

static AVFormatContext* format;
static AVCodecContext* codec;
static AVStream* stream;
static AVIOContext* io;
static SwsContext* converter;
static AVFrame* picture;
static AVPacket* packet;

static bool video_failed(Sink* sink, const char* what, int error) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(error, reason, sizeof reason);
    sink_fail(sink, std::string(what) + ": " + reason);
    return false;
}

// libavformat 61 (FFmpeg 7) hands the write callback its bytes as const, earlier ones did not.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using written_bytes = const uint8_t*;
#else
using written_bytes = uint8_t*;
#endif

static int put_bytes(void* opaque, written_bytes bytes, int size) {
    return sink_write(static_cast<Sink*>(opaque), bytes, static_cast<size_t>(size)) ? size
                                                                                    : AVERROR(EIO);
}

static int64_t seek_bytes(void* opaque, int64_t offset, int whence) {
    if (whence & AVSEEK_SIZE)
        return -1;
    return sink_seek(static_cast<Sink*>(opaque), offset, whence & ~AVSEEK_FORCE);
}

// Every encoded packet the codec has ready goes to the muxer.
static bool drain(Sink* sink) {
    for (;;) {
        int result = avcodec_receive_packet(codec, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            return video_failed(sink, "encoding", result);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        result = av_interleaved_write_frame(format, packet);
        if (result < 0 || io->error < 0)
            return video_failed(sink, "muxing", result < 0 ? result : io->error);
    }
}

struct Container {
    const char* name;     // as RecordOptions::video_container
    const char* muxer;    // FFmpeg's
    const char* encoder;  // FFmpeg's encoder
    AVPixelFormat pixels; // what the encoder is given
    int default_crf;      // -1: lossless, no quality setting
};

// The H.264 defaults were measured on ten seconds of sorvel2 at 2x (README): the sparks are
// grain, which x264's "grain" tuning keeps best for their size; the error is mostly in red and
// blue, so the colour planes get a finer quantizer than luma.
static const Container containers[] = {
    {"mp4", "mp4", "libx264", AV_PIX_FMT_YUV420P, 29},
    {"webm", "webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, 30},
    {"mkv", "matroska", "ffv1", AV_PIX_FMT_BGR0, -1},
};

static bool video_begin(Sink* sink, const RecordOptions& options, const RGBQUAD*) {
    av_log_set_level(AV_LOG_QUIET); // failures are said once, by the recorder
    const char* name = options.video_container;
    const Container* container = &containers[0];
    for (const Container& candidate : containers)
        if (strcmp(candidate.name, name) == 0)
            container = &candidate;
    int width = picture_width * options.scale;
    int height = picture_height * options.scale;
    int result = avformat_alloc_output_context2(&format, nullptr, container->muxer, nullptr);
    if (result < 0)
        return video_failed(sink, container->muxer, result);
    const AVCodec* encoder = avcodec_find_encoder_by_name(container->encoder);
    if (encoder == nullptr) {
        sink_fail(sink, std::string("this FFmpeg has no ") + container->encoder + " encoder");
        return false;
    }
    codec = avcodec_alloc_context3(encoder);
    stream = avformat_new_stream(format, nullptr);
    picture = av_frame_alloc();
    packet = av_packet_alloc();
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(1 << 16));
    io = buffer ? avio_alloc_context(buffer, 1 << 16, 1, sink, nullptr, put_bytes,
                                     sink->seekable ? seek_bytes : nullptr)
                : nullptr;
    if (io == nullptr)
        av_free(buffer);
    if (codec == nullptr || stream == nullptr || picture == nullptr || packet == nullptr ||
        io == nullptr)
        return video_failed(sink, "setting up", AVERROR(ENOMEM));
    io->seekable = sink->seekable ? AVIO_SEEKABLE_NORMAL : 0;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;

    codec->width = width;
    codec->height = height;
    codec->pix_fmt = container->pixels;
    codec->time_base = AVRational{1, options.video_fps};
    codec->framerate = AVRational{options.video_fps, 1};
    // sRGB pictures: BT.709 primaries and transfer; the YUV matrix as the converter uses it
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_BT709;
    if (container->default_crf >= 0) {
        codec->colorspace = AVCOL_SPC_BT709;
        codec->color_range = AVCOL_RANGE_MPEG;
        codec->chroma_sample_location = AVCHROMA_LOC_CENTER; // the middle of its 2x2 pixels
    } else {
        codec->colorspace = AVCOL_SPC_RGB;
        codec->color_range = AVCOL_RANGE_JPEG;
        codec->gop_size = 1; // FFV1 frames stand alone
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* settings = nullptr;
    if (container->default_crf >= 0) {
        int crf = options.crf >= 0 ? options.crf : container->default_crf;
        av_dict_set_int(&settings, "crf", crf, 0);
        if (strcmp(container->name, "webm") == 0) {
            av_dict_set(&settings, "b", "0", 0); // constant quality
            av_dict_set(&settings, "row-mt", "1", 0);
            av_dict_set(&settings, "deadline", "good", 0);
            av_dict_set(&settings, "cpu-used", "4", 0);
        } else {
            av_dict_set(&settings, "tune", "grain", 0);
            av_dict_set(&settings, "chromaoffset", "-3", 0);
        }
    }
    result = avcodec_open2(codec, encoder, &settings);
    av_dict_free(&settings);
    if (result < 0)
        return video_failed(sink, container->encoder, result);
    result = avcodec_parameters_from_context(stream->codecpar, codec);
    if (result < 0)
        return video_failed(sink, "setting up", result);
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = stream->r_frame_rate = codec->framerate;

    // the area filter halves the colour rows by averaging each pair exactly, and the columns are
    // averaged in pairs as they are read; a wider filter would mix in the neighbouring blocks
    converter =
        sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, container->pixels,
                       SWS_AREA | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    if (converter == nullptr)
        return video_failed(sink, "setting up the conversion", AVERROR(EINVAL));
    if (container->default_crf >= 0) {
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(converter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    picture->format = container->pixels;
    picture->width = width;
    picture->height = height;
    result = av_frame_get_buffer(picture, 0);
    if (result < 0)
        return video_failed(sink, "setting up", result);

    AVDictionary* muxing = nullptr;
    // an MP4 that cannot be rewritten at the end (a pipe) is written in fragments instead
    if (!sink->seekable && strcmp(container->name, "mp4") == 0)
        av_dict_set(&muxing, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    result = avformat_write_header(format, &muxing);
    av_dict_free(&muxing);
    if (result < 0 || io->error < 0)
        return video_failed(sink, "writing the header", result < 0 ? result : io->error);
    return true;
}

static bool video_frame(Sink* sink, const RecordOptions&, const RecordedFrame& frame) {
    // the encoder may still hold the last picture; it is then copied, never changed under it
    int result = av_frame_make_writable(picture);
    if (result < 0)
        return video_failed(sink, "encoding", result);
    const uint8_t* planes[1] = {frame.picture};
    const int strides[1] = {frame.width * 3};
    sws_scale(converter, planes, strides, 0, frame.height, picture->data, picture->linesize);
    picture->pts = frame.number - 1;
    result = avcodec_send_frame(codec, picture);
    if (result < 0)
        return video_failed(sink, "encoding", result);
    return drain(sink);
}

static bool video_end(Sink* sink, bool complete) {
    bool ok = true;
    if (complete && codec != nullptr) {
        int result = avcodec_send_frame(codec, nullptr); // the frames the encoder still holds
        ok = result >= 0 ? drain(sink) : video_failed(sink, "encoding", result);
        if (ok) {
            result = av_write_trailer(format);
            if (result >= 0)
                avio_flush(io);
            if (result < 0 || io->error < 0)
                ok = video_failed(sink, "finishing", result < 0 ? result : io->error);
        }
    }
    sws_freeContext(converter);
    converter = nullptr;
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (io != nullptr)
        av_freep(&io->buffer);
    avio_context_free(&io);
    avformat_free_context(format);
    format = nullptr;
    stream = nullptr;
    return ok;
}

const OutputKind video_output = {"--video", nullptr, video_begin, video_frame, video_end, false};
