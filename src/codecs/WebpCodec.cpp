#include "codecs/WebpCodec.h"
#include "codecs/OpenExport.h"

#include "codecs/ExportFrames.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "platform/ByteStream.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace zepho {

namespace {

// Lossless WebP can hold a huge flat canvas in a few hundred bytes, so a size claim is only
// doubted past 16 megapixels, and then it needs a file that could plausibly carry it.
bool PlausibleCanvas(std::uint64_t pixels, std::size_t fileSize) {
    constexpr std::uint64_t kFree = std::uint64_t{1} << 24;
    constexpr std::uint64_t kPerByte = 16384;
    return pixels <= kFree || pixels <= std::uint64_t{fileSize} * kPerByte;
}

// What all frames of one file may occupy together.
constexpr std::uint64_t kMaxFrameBytes = std::uint64_t{1} << 32;

// A still image straight into a bottom-up DIB.
PackedDib DecodeStill(std::span<const BYTE> file, const WebPBitstreamFeatures& f) {
    if (!PlausibleCanvas(std::uint64_t(f.width) * std::uint64_t(f.height), file.size())) return {};
    PackedDib dib = PackedDib::Create(f.width, f.height, 32);
    if (!dib) return dib;
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return {};
    config.output.colorspace = MODE_BGRA; // B, G, R, A bytes, straight alpha: our pixel order
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = dib.Bits();
    config.output.u.RGBA.stride = static_cast<int>(dib.Stride());
    config.output.u.RGBA.size = dib.Stride() * static_cast<std::size_t>(f.height);
    config.options.flip = 1; // the top row goes last, as a DIB keeps it
    const VP8StatusCode status = WebPDecode(file.data(), file.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) dib.Reset();
    return dib;
}

// A canvas of the animation decoder (top row first) as a bottom-up DIB.
PackedDib FromCanvas(const std::uint8_t* rgba, int w, int h) {
    PackedDib dib = PackedDib::Create(w, h, 32);
    if (!dib) return dib;
    const std::size_t row = 4 * static_cast<std::size_t>(w);
    for (int y = 0; y < h; ++y)
        std::memcpy(dib.Row(y), rgba + row * static_cast<std::size_t>(y), row);
    return dib;
}

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
using AnimDecoder = std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter>;

AnimDecoder OpenAnimation(std::span<const BYTE> file, WebPAnimInfo& info) {
    WebPData data{file.data(), file.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return {};
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    // The canvas is checked before the decoder allocates two of them.
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux) return {};
    const std::uint64_t w = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    const std::uint64_t h = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    WebPDemuxDelete(demux);
    if (w == 0 || h == 0 || !PlausibleCanvas(w * h, file.size())) return {};
    AnimDecoder dec(WebPAnimDecoderNew(&data, &options));
    if (!dec || !WebPAnimDecoderGetInfo(dec.get(), &info)) return {};
    if (info.canvas_width == 0 || info.canvas_height == 0 || info.canvas_width > 0x7FFFFFFF ||
        info.canvas_height > 0x7FFFFFFF)
        return {};
    return dec;
}

bool ReadAnimation(CDocImage& doc, std::span<const BYTE> file, IProgress* progress) {
    WebPAnimInfo info{};
    AnimDecoder dec = OpenAnimation(file, info);
    if (!dec) return false;
    const int w = static_cast<int>(info.canvas_width), h = static_cast<int>(info.canvas_height);
    doc.width = w;
    doc.height = h;
    const std::uint64_t frameBytes = 4 * std::uint64_t(w) * std::uint64_t(h);
    std::uint64_t total = 0;
    int previous = 0, index = 0;
    while (WebPAnimDecoderHasMoreFrames(dec.get())) {
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        total += frameBytes;
        if (total > kMaxFrameBytes) return false;
        if (!WebPAnimDecoderGetNext(dec.get(), &canvas, &timestamp)) return false;
        // A timestamp is the end of its frame: the first one is the first frame's duration.
        if (index == 0)
            doc.delay = static_cast<std::uint16_t>(std::clamp((timestamp - previous + 5) / 10, 0, 0xFFFF));
        previous = timestamp;
        PackedDib dib = FromCanvas(canvas, w, h);
        if (!dib) return false;
        Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
        content->SetRaster(std::move(dib));
        doc.objects.AddTail(MakeRef<CDrawObj>(content));
        ++index;
        if (progress && info.frame_count > 0) {
            progress->SetPos(
                static_cast<int>(std::min<std::uint64_t>(100, 100ull * index / info.frame_count)));
            progress->Pump();
        }
    }
    return index > 0;
}

// Builds a WebPPicture over a bottom-up DIB (read with a negative stride from its top row).
bool ImportPicture(const PackedDib& dib, bool lossless, WebPPicture& pic) {
    if (!WebPPictureInit(&pic)) return false;
    pic.width = dib.Width();
    pic.height = dib.Height();
    pic.use_argb = lossless ? 1 : 0;
    return WebPPictureImportBGRA(&pic, dib.Row(0), -static_cast<int>(dib.Stride())) != 0;
}

struct PictureFree {
    WebPPicture* pic;
    ~PictureFree() { WebPPictureFree(pic); }
};

int ReportPercent(int percent, const WebPPicture* pic) {
    auto* progress = static_cast<IProgress*>(pic->user_data);
    progress->SetPos(std::clamp(percent, 0, 100));
    progress->Pump();
    return 1;
}

bool MakeConfig(DWORD option, WebPConfig& config) {
    int quality = static_cast<int>(option & 0xFF);
    if (quality == 0) quality = kWebpDefaultQuality;
    quality = std::min(quality, 100);
    const bool lossless = (option & kWebpLossless) != 0;
    if (!WebPConfigInit(&config)) return false;
    config.quality = static_cast<float>(quality);
    config.method = 4;
    if (lossless) {
        config.lossless = 1;
        config.exact = 1; // keep the colour under transparent pixels too
    }
    return WebPValidateConfig(&config) != 0;
}

bool EncodeStill(const PackedDib& dib, const WebPConfig& config, std::vector<BYTE>& out,
                 IProgress* progress) {
    WebPPicture pic;
    if (!ImportPicture(dib, config.lossless != 0, pic)) {
        WebPPictureFree(&pic);
        return false;
    }
    PictureFree release{&pic};
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    pic.writer = WebPMemoryWrite;
    pic.custom_ptr = &writer;
    if (progress) {
        pic.progress_hook = &ReportPercent;
        pic.user_data = progress;
    }
    const bool ok = WebPEncode(&config, &pic) != 0;
    if (ok) out.assign(writer.mem, writer.mem + writer.size);
    WebPMemoryWriterClear(&writer);
    return ok;
}

struct AnimEncoderDeleter {
    void operator()(WebPAnimEncoder* e) const { WebPAnimEncoderDelete(e); }
};

bool EncodeAnimation(const std::vector<const PackedDib*>& frames, int frameMs, const WebPConfig& config,
                     std::vector<BYTE>& out, IProgress* progress) {
    const int w = frames[0]->Width(), h = frames[0]->Height();
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) return false;
    options.anim_params.loop_count = 0; // forever
    options.anim_params.bgcolor = 0;    // transparent
    std::unique_ptr<WebPAnimEncoder, AnimEncoderDeleter> enc(WebPAnimEncoderNew(w, h, &options));
    if (!enc) return false;
    int timestamp = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        WebPPicture pic;
        if (!ImportPicture(*frames[i], config.lossless != 0, pic)) {
            WebPPictureFree(&pic);
            return false;
        }
        PictureFree release{&pic};
        if (!WebPAnimEncoderAdd(enc.get(), &pic, timestamp, &config)) return false;
        timestamp += frameMs;
        if (progress) {
            progress->SetPos(static_cast<int>(100 * (i + 1) / (frames.size() + 1)));
            progress->Pump();
        }
    }
    if (!WebPAnimEncoderAdd(enc.get(), nullptr, timestamp, nullptr)) return false;
    WebPData data;
    WebPDataInit(&data);
    const bool ok = WebPAnimEncoderAssemble(enc.get(), &data) != 0;
    if (ok) out.assign(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return ok;
}

} // namespace

namespace {

// A still as its container says it is seen: in sRGB (the ICCP chunk) and upright (the EXIF one).
PackedDib Upright(PackedDib dib, std::span<const BYTE> file) {
    if (!dib) return dib;
    WebPData data{file.data(), file.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (!demux) return dib;
    WebPChunkIterator it;
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &it)) {
        NoteProfileOutcome(ConvertToSrgb(dib, {it.chunk.bytes, it.chunk.size}));
        WebPDemuxReleaseChunkIterator(&it);
    }
    int orientation = 1;
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &it)) {
        orientation = ExifOrientation({it.chunk.bytes, it.chunk.size});
        WebPDemuxReleaseChunkIterator(&it);
    }
    WebPDemuxDelete(demux);
    return ApplyOrientation(std::move(dib), orientation);
}

} // namespace

bool ReadWebp(CDocImage& doc, std::span<const BYTE> file, IProgress* progress) {
    WebPBitstreamFeatures f;
    if (WebPGetFeatures(file.data(), file.size(), &f) != VP8_STATUS_OK) return false;
    if (f.has_animation) return ReadAnimation(doc, file, progress);
    PackedDib dib = Upright(DecodeStill(file, f), file);
    if (!AppendSingleImage(doc, std::move(dib))) return false;
    if (progress) progress->SetPos(100);
    return true;
}

bool ReadWebpFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    std::vector<BYTE> bytes;
    return imageio::ReadWholeFile(path, bytes) && ReadWebp(doc, bytes, progress);
}

PackedDib DecodeWebpFirstFrame(std::span<const BYTE> file) {
    WebPBitstreamFeatures f;
    if (WebPGetFeatures(file.data(), file.size(), &f) != VP8_STATUS_OK) return {};
    if (!f.has_animation) return Upright(DecodeStill(file, f), file);
    WebPAnimInfo info{};
    AnimDecoder dec = OpenAnimation(file, info);
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!dec || !WebPAnimDecoderGetNext(dec.get(), &canvas, &timestamp)) return {};
    return FromCanvas(canvas, static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height));
}

PackedDib LoadWebpPreview(const std::string& path) {
    std::vector<BYTE> bytes;
    return imageio::ReadWholeFile(path, bytes) ? DecodeWebpFirstFrame(bytes) : PackedDib();
}

bool EncodeWebp(const std::vector<const PackedDib*>& frames, int frameMs, DWORD option,
                std::vector<BYTE>& out, IProgress* progress) {
    if (frames.empty()) return false;
    const int w = frames[0]->Width(), h = frames[0]->Height();
    if (w <= 0 || h <= 0 || w > WEBP_MAX_DIMENSION || h > WEBP_MAX_DIMENSION) return false;
    for (const PackedDib* f : frames)
        if (!f || !f->Is32() || f->Width() != w || f->Height() != h) return false;
    WebPConfig config;
    if (!MakeConfig(option, config)) return false;
    out.clear();
    const bool ok = frames.size() == 1 ? EncodeStill(*frames[0], config, out, progress)
                                       : EncodeAnimation(frames, std::max(frameMs, 1), config, out, progress);
    if (ok && progress) progress->SetPos(100);
    return ok;
}

bool ExportWebp(const CDocImage& doc, const std::string& path, DWORD option, bool animate,
                IProgress* progress) {
    return ExportFramesWith(
        doc, path, animate,
        [&](const std::vector<const PackedDib*>& frames, int frameMs, std::vector<BYTE>& out) {
            return EncodeWebp(frames, frameMs, option, out, progress);
        });
}

} // namespace zepho
