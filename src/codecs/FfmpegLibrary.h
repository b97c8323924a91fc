// FFmpeg, loaded when the first video is opened rather than at start-up: its libraries and what
// they pull in are well over a hundred shared objects, whose loading used to be most of the time
// the batch tool took to start.
#pragma once

#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace zepho {

// The FFmpeg calls the video reader makes, resolved from the libraries of the major versions the
// program was built against.
struct FfmpegLibrary {
#define ZEPHO_FFMPEG_CALLS(X)                                                                                \
    X(av_log_set_level)                                                                                      \
    X(av_dict_set)                                                                                           \
    X(av_dict_free)                                                                                          \
    X(av_frame_alloc)                                                                                        \
    X(av_frame_free)                                                                                         \
    X(av_frame_unref)                                                                                        \
    X(av_packet_alloc)                                                                                       \
    X(av_packet_free)                                                                                        \
    X(av_packet_unref)                                                                                       \
    X(av_find_input_format)                                                                                  \
    X(avformat_open_input)                                                                                   \
    X(avformat_find_stream_info)                                                                             \
    X(avformat_close_input)                                                                                  \
    X(av_read_frame)                                                                                         \
    X(avcodec_find_decoder)                                                                                  \
    X(avcodec_alloc_context3)                                                                                \
    X(avcodec_free_context)                                                                                  \
    X(avcodec_parameters_to_context)                                                                         \
    X(avcodec_open2)                                                                                         \
    X(avcodec_send_packet)                                                                                   \
    X(avcodec_receive_frame)                                                                                 \
    X(sws_getCachedContext)                                                                                  \
    X(sws_scale)                                                                                             \
    X(sws_freeContext)
#define ZEPHO_FFMPEG_POINTER(name) decltype(&::name) name = nullptr;
    ZEPHO_FFMPEG_CALLS(ZEPHO_FFMPEG_POINTER)
#undef ZEPHO_FFMPEG_POINTER

    // The shared objects FFmpeg is loaded from, in the order they are opened.
    static std::vector<std::string> DefaultNames();

    // Opens the libraries named and resolves every call; null with `why` set (the library or the
    // call that is missing) when one of them is not there. Libraries opened stay loaded.
    static std::unique_ptr<FfmpegLibrary> Load(const std::vector<std::string>& names, std::string& why);

    // The process's FFmpeg, loaded on the first call; null when it is not installed. `why`, when
    // given, receives a sentence for the user saying what is missing.
    static const FfmpegLibrary* Get(std::string* why = nullptr);
};

} // namespace zepho
