#include "codecs/AviCodec.h"

#include "codecs/CodecStrings.h"
#include "codecs/FfmpegLibrary.h"
#include "model/ModelStrings.h"
#include "platform/ByteStream.h"
#include "platform/Format.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace zepho {

bool ReadAviHeader(ByteReader& in, AviHeader& header) {
    auto tag = [&in](const char* expect) {
        char t[4];
        return in.Read(t, 4) && std::memcmp(t, expect, 4) == 0;
    };
    std::uint32_t size = 0;
    if (!tag("RIFF") || !in.ReadU32(size) || !tag("AVI ") || !tag("LIST") || !in.ReadU32(size) ||
        !tag("hdrl") || !tag("avih") || !in.ReadU32(size))
        return false;
    BYTE main[56];
    if (!in.Read(main, sizeof main)) return false;
    auto u32 = [&main](int at) {
        return std::uint32_t(main[at]) | std::uint32_t(main[at + 1]) << 8 |
               std::uint32_t(main[at + 2]) << 16 | std::uint32_t(main[at + 3]) << 24;
    };
    header.frames = u32(16);
    header.width = static_cast<std::int32_t>(u32(32));
    header.height = static_cast<std::int32_t>(u32(36));
    return true;
}

bool ReadAviHeader(const std::string& path, AviHeader& header) {
    FileReader in(path);
    return in.IsOpen() && ReadAviHeader(in, header);
}

struct AviReader::State {
    const FfmpegLibrary* ff = nullptr; // null until a file is opened
    std::string path;
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    bool draining = false;
    bool failed = false;
    int badFrames = 0;
    std::vector<BYTE> pixels;

    void CloseStream() {
        if (decoder) ff->avcodec_free_context(&decoder);
        stream = -1;
        draining = false;
        badFrames = 0;
    }
    void CloseFile() {
        CloseStream();
        if (format) ff->avformat_close_input(&format);
    }
    ~State() {
        if (!ff) return; // nothing was ever allocated
        CloseFile();
        ff->sws_freeContext(scaler);
        ff->av_packet_free(&packet);
        ff->av_frame_free(&frame);
    }
};

AviReader::AviReader() : s_(std::make_unique<State>()) {}
AviReader::~AviReader() = default;

bool AviReader::OpenAvi(const std::string& path) {
    CloseAvi();
    if (!s_->ff) s_->ff = FfmpegLibrary::Get();
    const FfmpegLibrary* ff = s_->ff;
    if (!ff) return false;
    // FFmpeg's log level is process-wide; set it once, not from every reader on every thread.
    static std::once_flag quiet;
    std::call_once(quiet, [ff] { ff->av_log_set_level(AV_LOG_QUIET); });
    s_->path = path;
    s_->failed = false;
    if (!s_->packet) s_->packet = ff->av_packet_alloc();
    if (!s_->frame) s_->frame = ff->av_frame_alloc();
    return s_->packet && s_->frame && OpenFile();
}

// The path is always a local file read by the AVI demuxer: a name like "concat:a|b" or one with
// a colon must not reach FFmpeg's protocols.
bool AviReader::OpenFile() {
    State& s = *s_;
    const FfmpegLibrary* ff = s.ff;
    AVDictionary* options = nullptr;
    ff->av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = ff->avformat_open_input(&s.format, ("file:" + s.path).c_str(),
                                               ff->av_find_input_format("avi"), &options);
    ff->av_dict_free(&options);
    if (opened < 0) return false;
    if (ff->avformat_find_stream_info(s.format, nullptr) < 0) {
        ff->avformat_close_input(&s.format);
        return false;
    }
    return true;
}

void AviReader::CloseAvi() {
    if (s_->ff) s_->CloseFile();
}

bool AviReader::OpenFirstVideoStream() {
    return s_->format && OpenStream(0);
}

bool AviReader::Failed() const {
    return s_->failed;
}

// The first video stream at or after `fromIndex` whose decoder opens. A later stream is read
// from a fresh open of the file, so that its packets start at the beginning.
bool AviReader::OpenStream(int fromIndex) {
    State& s = *s_;
    const FfmpegLibrary* ff = s.ff;
    s.CloseStream();
    auto isVideo = [&s](unsigned i) {
        return s.format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    };
    bool more = false;
    for (unsigned i = static_cast<unsigned>(std::max(fromIndex, 0)); i < s.format->nb_streams && !more; ++i)
        more = isVideo(i);
    if (!more) return false;
    if (fromIndex > 0) {
        ff->avformat_close_input(&s.format);
        if (!OpenFile()) return false;
    }
    for (int i = fromIndex; i < static_cast<int>(s.format->nb_streams); ++i) {
        AVStream* st = s.format->streams[i];
        if (!isVideo(static_cast<unsigned>(i))) continue;
        const AVCodec* codec = ff->avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) continue;
        s.decoder = ff->avcodec_alloc_context3(codec);
        if (!s.decoder) return false;
        if (ff->avcodec_parameters_to_context(s.decoder, st->codecpar) < 0 ||
            ff->avcodec_open2(s.decoder, codec, nullptr) < 0) {
            ff->avcodec_free_context(&s.decoder);
            continue;
        }
        AVRational fps =
            st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate : st->r_frame_rate;
        if (fps.num <= 0 || fps.den <= 0) fps = AVRational{1, 1};
        rate = fps.num;
        scale = fps.den;
        s.stream = i;
        // Only this stream's packets are wanted.
        for (unsigned k = 0; k < s.format->nb_streams; ++k)
            s.format->streams[k]->discard = static_cast<int>(k) == i ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        return true;
    }
    return false;
}

PackedDib AviReader::NextAviFrame() {
    State& s = *s_;
    const FfmpegLibrary* ff = s.ff;
    // A damaged frame is skipped, but a stream that yields nothing but damage is given up.
    constexpr int kMaxBadFrames = 64;
    while (s.decoder && !s.failed) {
        const int got = ff->avcodec_receive_frame(s.decoder, s.frame);
        if (got == 0) {
            const int w = s.frame->width, h = s.frame->height;
            if (w <= 0 || h <= 0 || w > 65535 || h > 65535) {
                ff->av_frame_unref(s.frame);
                s.failed = true;
                return {};
            }
            s.scaler =
                ff->sws_getCachedContext(s.scaler, w, h, static_cast<AVPixelFormat>(s.frame->format), w, h,
                                         AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
            PackedDib dib = PackedDib::Create(w, h, 32);
            const std::size_t stride = 4 * static_cast<std::size_t>(w);
            if (s.scaler && dib) {
                s.pixels.resize(stride * static_cast<std::size_t>(h));
                BYTE* planes[4] = {s.pixels.data(), nullptr, nullptr, nullptr};
                const int strides[4] = {static_cast<int>(stride), 0, 0, 0};
                if (ff->sws_scale(s.scaler, s.frame->data, s.frame->linesize, 0, h, planes, strides) != h)
                    dib.Reset();
            }
            ff->av_frame_unref(s.frame);
            if (!s.scaler || !dib) {
                s.failed = true;
                return {};
            }
            for (int y = 0; y < h; ++y) {
                BYTE* row = dib.Row(y);
                std::memcpy(row, s.pixels.data() + stride * static_cast<std::size_t>(y), stride);
                // Video frames have no transparency.
                for (int x = 0; x < w; ++x)
                    row[4 * x + 3] = 255;
            }
            return dib;
        }
        if (got == AVERROR(EAGAIN) && !s.draining) {
            const int read = ff->av_read_frame(s.format, s.packet);
            if (read == AVERROR_EOF) {
                ff->avcodec_send_packet(s.decoder, nullptr);
                s.draining = true;
                continue;
            }
            if (read < 0) {
                s.failed = true;
                return {};
            }
            if (s.packet->stream_index == s.stream) ff->avcodec_send_packet(s.decoder, s.packet);
            ff->av_packet_unref(s.packet);
            continue;
        }
        if (got != AVERROR_EOF && got != AVERROR(EAGAIN) && ++s.badFrames <= kMaxBadFrames) continue;
        // This stream is done: the next video stream follows.
        if (!OpenStream(s.stream + 1)) return {};
    }
    return {};
}

bool CanDecodeVideo(std::string* why) {
    return FfmpegLibrary::Get(why) != nullptr;
}

bool ImportAvi(CDocImage& doc, const std::string& path, IProgress* progress, IUiHost* ui,
               std::uint64_t memoryBudget) {
    AviHeader header;
    if (!ReadAviHeader(path, header)) return false;
    const bool sizeKnown =
        header.width > 0 && header.height > 0 && header.width <= 65535 && header.height <= 65535;
    if (sizeKnown) {
        doc.width = header.width;
        doc.height = header.height;
    }
    AviReader reader;
    if (!reader.OpenAvi(path)) return false;
    if (!reader.OpenFirstVideoStream()) return true;
    std::uint64_t held = 0;
    std::uint32_t count = 0;
    while (PackedDib frame = reader.NextAviFrame()) {
        held += frame.Size();
        if (held > memoryBudget) return false;
        if (!sizeKnown && count == 0) {
            doc.width = frame.Width();
            doc.height = frame.Height();
        }
        Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
        content->SetRaster(std::move(frame));
        doc.objects.AddTail(MakeRef<CDrawObj>(content));
        const double delay = reader.rate > 0 ? reader.scale * 100.0 / reader.rate + 0.5 : 0.0;
        doc.delay = static_cast<std::uint16_t>(std::clamp(delay, 0.0, 65535.0));
        ++count;
        if (progress && header.frames > 0) {
            progress->SetPos(
                static_cast<int>(std::min<std::uint64_t>(100, std::uint64_t{count} * 100 / header.frames)));
            progress->Pump();
        }
    }
    const bool cut = reader.Failed();
    reader.CloseAvi();
    if (!cut) return true;
    // A damaged film keeps the frames before the damage; the user hears how many there are.
    if (count == 0) return false;
    if (ui)
        ui->MessageBox(count == 1 ? std::string(strings::kAviCutOne) : Format(strings::kAviCutMany, count),
                       strings::kAppTitle, MsgIcon::Warning);
    return true;
}

} // namespace zepho
