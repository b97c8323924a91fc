// Writes small lossless test videos through FFmpeg.
#pragma once

#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace zepho::test {

// Writes an AVI with one lossless (PNG-coded) video stream per entry of `frameCounts`, each at
// `fps` frames per second; frame k of stream s is filled with red = 40 * s + k, green = x, blue = y.
// Frame `oversizedAt` of the first stream, when given, is a picture of 70000 x 1 pixels instead:
// one the importer cannot turn into an image.
inline bool WriteTestAvi(const std::string& path, int w, int h, int fps, const std::vector<int>& frameCounts,
                         int oversizedAt = -1) {
    AVFormatContext* oc = nullptr;
    if (avformat_alloc_output_context2(&oc, nullptr, "avi", path.c_str()) < 0) return false;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    std::vector<AVCodecContext*> encoders;
    bool ok = codec != nullptr;
    for (std::size_t s = 0; ok && s < frameCounts.size(); ++s) {
        AVStream* st = avformat_new_stream(oc, nullptr);
        AVCodecContext* enc = avcodec_alloc_context3(codec);
        encoders.push_back(enc);
        enc->width = w;
        enc->height = h;
        enc->pix_fmt = AV_PIX_FMT_RGB24;
        enc->time_base = AVRational{1, fps};
        st->time_base = enc->time_base;
        st->avg_frame_rate = AVRational{fps, 1};
        ok = avcodec_open2(enc, codec, nullptr) >= 0 &&
             avcodec_parameters_from_context(st->codecpar, enc) >= 0;
    }
    ok = ok && avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(oc, nullptr) >= 0;
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    for (std::size_t s = 0; ok && s < frameCounts.size(); ++s) {
        AVCodecContext* enc = encoders[s];
        for (int k = 0; ok && k <= frameCounts[s]; ++k) {
            AVFrame* in = nullptr;
            if (k < frameCounts[s]) {
                av_frame_unref(frame);
                frame->format = AV_PIX_FMT_RGB24;
                frame->width = w;
                frame->height = h;
                ok = av_frame_get_buffer(frame, 0) >= 0;
                for (int y = 0; ok && y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        uint8_t* p = frame->data[0] + y * frame->linesize[0] + 3 * x;
                        p[0] = static_cast<uint8_t>(40 * s + k), p[1] = static_cast<uint8_t>(x),
                        p[2] = static_cast<uint8_t>(y);
                    }
                frame->pts = k;
                in = frame;
            }
            if (s == 0 && k == oversizedAt) {
                // Coded on its own and put into the stream where the frame would be.
                AVCodecContext* wide = avcodec_alloc_context3(codec);
                wide->width = 70000;
                wide->height = 1;
                wide->pix_fmt = AV_PIX_FMT_RGB24;
                wide->time_base = enc->time_base;
                AVFrame* f = av_frame_alloc();
                f->format = AV_PIX_FMT_RGB24;
                f->width = 70000;
                f->height = 1;
                ok = avcodec_open2(wide, codec, nullptr) >= 0 && av_frame_get_buffer(f, 0) >= 0;
                if (ok) std::memset(f->data[0], 90, static_cast<std::size_t>(f->linesize[0]));
                ok = ok && avcodec_send_frame(wide, f) >= 0 && avcodec_send_frame(wide, nullptr) >= 0 &&
                     avcodec_receive_packet(wide, pkt) == 0;
                if (ok) {
                    pkt->pts = pkt->dts = k;
                    av_packet_rescale_ts(pkt, enc->time_base, oc->streams[s]->time_base);
                    pkt->stream_index = 0;
                    ok = av_interleaved_write_frame(oc, pkt) >= 0;
                }
                av_frame_free(&f);
                avcodec_free_context(&wide);
                continue;
            }
            ok = ok && avcodec_send_frame(enc, in) >= 0;
            while (ok && avcodec_receive_packet(enc, pkt) == 0) {
                av_packet_rescale_ts(pkt, enc->time_base, oc->streams[s]->time_base);
                pkt->stream_index = static_cast<int>(s);
                ok = av_interleaved_write_frame(oc, pkt) >= 0;
            }
        }
    }
    ok = ok && av_write_trailer(oc) >= 0;
    av_packet_free(&pkt);
    av_frame_free(&frame);
    for (AVCodecContext* enc : encoders)
        avcodec_free_context(&enc);
    if (oc->pb) avio_closep(&oc->pb);
    avformat_free_context(oc);
    return ok;
}

} // namespace zepho::test
