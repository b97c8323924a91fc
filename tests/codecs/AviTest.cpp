#include "codecs/AviCodec.h"
#include "codecs/OpenExport.h"
#include "platform/ByteStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

using namespace zepho;

namespace {

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "zepho_avi_" + name;
}

// Writes an AVI with one lossless (PNG-coded) video stream per entry of `frameCounts`, each at
// `fps` frames per second; frame k of stream s is filled with red = 40 * s + k, green = x, blue = y.
bool WriteTestAvi(const std::string& path, int w, int h, int fps, const std::vector<int>& frameCounts) {
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

} // namespace

TEST(Avi, EveryFrameOfEveryStreamInOrderWithTheFrameDuration) {
    const std::string path = TempPath("two.avi");
    ASSERT_TRUE(WriteTestAvi(path, 16, 8, 15, {3, 2}));
    AviHeader header;
    ASSERT_TRUE(ReadAviHeader(path, header));
    EXPECT_EQ(header.width, 16);
    EXPECT_EQ(header.height, 8);

    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    ASSERT_TRUE(OpenFile(*doc, path, flags, nullptr));
    EXPECT_EQ(doc->width, 16);
    EXPECT_EQ(doc->height, 8);
    EXPECT_EQ(doc->delay, 7); // 100 / 15 + 0.5, truncated
    ASSERT_EQ(doc->objects.Count(), 5);
    const int red[] = {0, 1, 2, 40, 41};
    for (int i = 0; i < 5; ++i) {
        const Ref<CDrawObj> o = doc->objects.At(i);
        EXPECT_EQ(o->x, 0);
        EXPECT_EQ(o->visible, 0); // the opener shows the first one
        const PackedDib& r = o->content->raster;
        ASSERT_TRUE(r.Is32());
        const BYTE* p = r.Pixel32(5, 3);
        EXPECT_EQ(p[2], red[i]) << i;
        EXPECT_EQ(p[1], 5) << i;
        EXPECT_EQ(p[0], 3) << i;
        EXPECT_EQ(p[3], 255);
    }
    std::remove(path.c_str());
}

TEST(Avi, TwentyFiveFramesASecondAndTheMemoryBudget) {
    const std::string path = TempPath("fast.avi");
    ASSERT_TRUE(WriteTestAvi(path, 4, 4, 25, {4}));
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    ASSERT_TRUE(ImportAvi(*doc, path, nullptr));
    EXPECT_EQ(doc->delay, 4);
    EXPECT_EQ(doc->objects.Count(), 4);
    // More frames than the budget holds: the import fails instead of exhausting memory.
    Ref<CDocImage> small = MakeRef<CDocImage>();
    EXPECT_FALSE(ImportAvi(*small, path, nullptr, 250));
    std::remove(path.c_str());
}

TEST(Avi, HeadersThatAreNotAVideoFail) {
    const std::string path = TempPath("bad.avi");
    {
        std::ofstream f(path, std::ios::binary);
        f << "RIFF\x10\0\0\0WAVEfmt ";
    }
    AviHeader header;
    EXPECT_FALSE(ReadAviHeader(path, header));
    Ref<CDocImage> doc = MakeRef<CDocImage>();
    LoadFlags flags;
    EXPECT_FALSE(OpenFile(*doc, path, flags, nullptr));
    // Every prefix of a real file's header is refused without reading past it.
    const std::string good = TempPath("good.avi");
    ASSERT_TRUE(WriteTestAvi(good, 4, 4, 10, {1}));
    std::ifstream in(good, std::ios::binary);
    std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), {});
    for (std::size_t n = 0; n < 88; ++n) {
        std::vector<BYTE> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        MemoryReader r(cut);
        EXPECT_FALSE(ReadAviHeader(r, header)) << n;
    }
    std::remove(path.c_str());
    std::remove(good.c_str());
}
