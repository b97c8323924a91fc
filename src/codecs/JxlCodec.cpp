#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"

#include "codecs/ExportFrames.h"
#include "codecs/PhotoInfoIo.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "platform/ByteStream.h"
#include "platform/PixelBudget.h"

#include <jxl/decode.h>
#include <jxl/encode.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace zepho {

namespace {

// libjxl holds the picture in float planes while it decodes: about four of our pixels' worth.
constexpr int kWorkPlanes = 4;
// Modular coding holds a huge flat canvas in a few bytes, so a size claim is only doubted past
// 16 megapixels, and then it needs a file that could plausibly carry it.
bool PlausibleCanvas(std::uint64_t pixels, std::size_t fileSize) {
    constexpr std::uint64_t kFree = std::uint64_t{1} << 24;
    constexpr std::uint64_t kPerByte = 16384;
    return pixels <= kFree || pixels <= std::uint64_t{fileSize} * kPerByte;
}
// What all frames of one file may occupy together.
constexpr std::uint64_t kMaxFrameBytes = std::uint64_t{1} << 32;

struct DecoderDeleter {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct EncoderDeleter {
    void operator()(JxlEncoder* e) const { JxlEncoderDestroy(e); }
};

constexpr JxlPixelFormat kRgba8 = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

bool IsSrgb(const JxlColorEncoding& c) {
    return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65 &&
           c.primaries == JXL_PRIMARIES_SRGB && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// RGBA rows, top first, into a bottom-up BGRA DIB (in place: the buffer is the DIB's own).
void RgbaToDib(PackedDib& dib) {
    const int w = dib.Width(), h = dib.Height();
    const std::size_t stride = dib.Stride();
    std::vector<BYTE> tmp(stride);
    BYTE* bits = dib.Bits();
    for (int a = 0, b = h - 1; a < b; ++a, --b) {
        BYTE* ra = bits + stride * static_cast<std::size_t>(a);
        BYTE* rb = bits + stride * static_cast<std::size_t>(b);
        std::memcpy(tmp.data(), ra, stride);
        std::memcpy(ra, rb, stride);
        std::memcpy(rb, tmp.data(), stride);
    }
    for (int y = 0; y < h; ++y) {
        BYTE* p = bits + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < w; ++x, p += 4)
            std::swap(p[0], p[2]);
    }
}

// Runs the decoder over a whole file and hands each displayed frame (canvas-sized, already
// composed over the frames before it) to `frame`, with its duration in milliseconds; stops
// after the first when `firstOnly`. False when the file is damaged, refused or `frame` fails.
template <typename OnFrame> bool Decode(std::span<const BYTE> file, bool firstOnly, OnFrame&& frame) {
    if (file.empty() || JxlSignatureCheck(file.data(), file.size()) < JXL_SIG_CODESTREAM) return false;
    std::unique_ptr<JxlDecoder, DecoderDeleter> dec(JxlDecoderCreate(nullptr));
    if (!dec) return false;
    if (JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME |
                                                 JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS)
        return false;
    // Colour is kept straight under alpha, as every other reader gives it.
    JxlDecoderSetUnpremultiplyAlpha(dec.get(), JXL_TRUE);
    if (JxlDecoderSetInput(dec.get(), file.data(), file.size()) != JXL_DEC_SUCCESS) return false;
    JxlDecoderCloseInput(dec.get());

    JxlBasicInfo info{};
    int w = 0, h = 0;
    std::vector<BYTE> icc;
    std::unique_ptr<PixelCharge> work;
    PackedDib dib;
    double msPerTick = -1; // a still has no duration
    std::uint32_t durationTicks = 0;
    std::uint64_t total = 0;
    int frames = 0;
    for (;;) {
        switch (JxlDecoderProcessInput(dec.get())) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) return false;
            // The sizes as seen: orientations 5..8 swap the sides.
            const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
            const std::uint64_t sw = swap ? info.ysize : info.xsize, sh = swap ? info.xsize : info.ysize;
            if (sw == 0 || sh == 0 || sw > 0x7FFFFFFF || sh > 0x7FFFFFFF) return false;
            w = static_cast<int>(sw);
            h = static_cast<int>(sh);
            // Counted before libjxl allocates anything of the picture; a picture no raster could
            // hold is not decoded at all.
            if (!PixelBudgetScope::CurrentAllows(w, h, 1 + kWorkPlanes) ||
                !PlausibleCanvas(sw * sh, file.size()) || sw * sh > PackedDib::kMaxPixels)
                return false;
            work = std::make_unique<PixelCharge>(w, h, kWorkPlanes);
            if (!work->Ok()) return false;
            if (info.have_animation && info.animation.tps_numerator > 0)
                msPerTick = 1000.0 * info.animation.tps_denominator / info.animation.tps_numerator;
            break;
        }
        case JXL_DEC_COLOR_ENCODING: {
            JxlColorEncoding srgb;
            JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
            // Lossy files are stored in an absolute space: libjxl renders them straight into sRGB.
            if (!info.uses_original_profile &&
                JxlDecoderSetPreferredColorProfile(dec.get(), &srgb) == JXL_DEC_SUCCESS)
                break;
            JxlColorEncoding stored;
            if (JxlDecoderGetColorAsEncodedProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   &stored) == JXL_DEC_SUCCESS &&
                IsSrgb(stored))
                break;
            // Anything else goes through its profile.
            std::size_t size = 0;
            if (JxlDecoderGetICCProfileSize(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) ==
                    JXL_DEC_SUCCESS &&
                size > 0 && size < (std::size_t{1} << 24)) {
                icc.resize(size);
                if (JxlDecoderGetColorAsICCProfile(dec.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                                   icc.data(), size) != JXL_DEC_SUCCESS)
                    icc.clear();
            }
            break;
        }
        case JXL_DEC_FRAME: {
            JxlFrameHeader header{};
            if (JxlDecoderGetFrameHeader(dec.get(), &header) != JXL_DEC_SUCCESS) return false;
            durationTicks = header.duration;
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            if (w == 0) return false;
            total += 4 * std::uint64_t(w) * std::uint64_t(h);
            if (total > kMaxFrameBytes) return false;
            std::size_t size = 0;
            if (JxlDecoderImageOutBufferSize(dec.get(), &kRgba8, &size) != JXL_DEC_SUCCESS) return false;
            dib = PackedDib::Create(w, h, 32);
            if (!dib || size != dib.Stride() * static_cast<std::size_t>(h)) return false;
            if (JxlDecoderSetImageOutBuffer(dec.get(), &kRgba8, dib.Bits(), size) != JXL_DEC_SUCCESS)
                return false;
            break;
        }
        case JXL_DEC_FULL_IMAGE: {
            if (!dib) return false;
            RgbaToDib(dib);
            if (!icc.empty()) NoteProfileOutcome(ConvertToSrgb(dib, icc));
            const int ms = msPerTick < 0 ? -1 : static_cast<int>(std::min(durationTicks * msPerTick, 1e9));
            ++frames;
            if (!frame(std::move(dib), w, h, ms)) return false;
            if (firstOnly) return true;
            break;
        }
        case JXL_DEC_SUCCESS:
            return frames > 0;
        default:
            // An error, or a truncated file asking for bytes it does not have.
            return false;
        }
    }
}

template <typename OnFrame> bool DecodeGuarded(std::span<const BYTE> file, bool firstOnly, OnFrame&& frame) {
    try {
        return Decode(file, firstOnly, frame);
    } catch (...) {
        // Nothing of libjxl's may cross into ours.
        return false;
    }
}

} // namespace

float JxlDistance(int quality) {
    quality = std::clamp(quality, 1, 100);
    if (quality >= 100) return 0.0f;
    if (quality >= 30) return 0.1f + static_cast<float>(100 - quality) * 0.09f;
    const double q = quality;
    return static_cast<float>(53.0 / 3000.0 * q * q - 23.0 / 20.0 * q + 25.0);
}

bool ReadJxl(CDocImage& doc, std::span<const BYTE> file, IProgress* progress) {
    int index = 0;
    const bool ok = DecodeGuarded(file, false, [&](PackedDib dib, int w, int h, int ms) {
        if (index == 0) {
            doc.width = w;
            doc.height = h;
            if (ms >= 0) doc.delay = static_cast<std::uint16_t>(std::clamp((ms + 5) / 10, 0, 0xFFFF));
        }
        Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
        content->SetRaster(std::move(dib));
        doc.objects.AddTail(MakeRef<CDrawObj>(content));
        ++index;
        if (progress) progress->Pump();
        return true;
    });
    // A still is shown as any single image is.
    if (ok && doc.objects.Count() == 1) doc.objects.At(0)->visible = 1;
    return ok;
}

bool ReadJxlFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    std::vector<BYTE> bytes;
    if (!imageio::ReadWholeFile(path, bytes) || !ReadJxl(doc, bytes, progress)) return false;
    if (progress) progress->SetPos(100);
    return true;
}

PackedDib DecodeJxlFirstFrame(std::span<const BYTE> file) {
    PackedDib first;
    DecodeGuarded(file, true, [&](PackedDib dib, int, int, int) {
        first = std::move(dib);
        return true;
    });
    return first;
}

PackedDib LoadJxlPreview(const std::string& path) {
    std::vector<BYTE> bytes;
    return imageio::ReadWholeFile(path, bytes) ? DecodeJxlFirstFrame(bytes) : PackedDib();
}

namespace {

// A frame as libjxl takes it: RGBA (or RGB) rows, top first.
std::vector<BYTE> TopDownRgba(const PackedDib& dib, int channels) {
    const int w = dib.Width(), h = dib.Height();
    std::vector<BYTE> out(static_cast<std::size_t>(w) * h * channels);
    BYTE* d = out.data();
    for (int y = 0; y < h; ++y) {
        const BYTE* s = dib.Row(y);
        for (int x = 0; x < w; ++x, s += 4, d += channels) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            if (channels == 4) d[3] = s[3];
        }
    }
    return out;
}

bool Opaque(const PackedDib& dib) {
    for (int y = 0; y < dib.Height(); ++y) {
        const BYTE* p = dib.Row(y);
        for (int x = 0; x < dib.Width(); ++x)
            if (p[4 * x + 3] != 255) return false;
    }
    return true;
}

// The photo's blocks go in boxes before the picture: "Exif" holds the offset of its TIFF header
// (big-endian, here 0) and the TIFF structure, "xml " the XMP packet.
bool AddPhotoBoxes(JxlEncoder* enc, const PhotoBlocks& photo) {
    if (photo.Empty()) return true;
    if (JxlEncoderUseBoxes(enc) != JXL_ENC_SUCCESS) return false;
    if (!photo.exif.empty()) {
        std::vector<BYTE> box(4, 0);
        box.insert(box.end(), photo.exif.begin(), photo.exif.end());
        if (JxlEncoderAddBox(enc, "Exif", box.data(), box.size(), JXL_FALSE) != JXL_ENC_SUCCESS) return false;
    }
    if (!photo.xmp.empty() &&
        JxlEncoderAddBox(enc, "xml ", reinterpret_cast<const std::uint8_t*>(photo.xmp.data()),
                         photo.xmp.size(), JXL_FALSE) != JXL_ENC_SUCCESS)
        return false;
    JxlEncoderCloseBoxes(enc);
    return true;
}

bool Encode(const std::vector<const PackedDib*>& frames, int frameMs, DWORD option, std::vector<BYTE>& out,
            IProgress* progress, const PhotoBlocks* photo) {
    const int w = frames[0]->Width(), h = frames[0]->Height();
    int quality = static_cast<int>(option & 0xFF);
    if (quality == 0) quality = kJxlDefaultQuality;
    quality = std::min(quality, 100);
    const bool lossless = (option & kJxlLossless) != 0 || quality == 100;
    bool alpha = false;
    for (const PackedDib* f : frames)
        alpha = alpha || !Opaque(*f);
    const bool animated = frames.size() > 1;

    std::unique_ptr<JxlEncoder, EncoderDeleter> enc(JxlEncoderCreate(nullptr));
    if (!enc) return false;
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(w);
    info.ysize = static_cast<std::uint32_t>(h);
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.alpha_bits = alpha ? 8 : 0;
    info.num_extra_channels = alpha ? 1 : 0;
    // Lossless coding keeps the RGB values themselves, not a rendering of them.
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    if (animated) {
        info.have_animation = JXL_TRUE;
        info.animation.tps_numerator = 1000; // ticks of a millisecond
        info.animation.tps_denominator = 1;
        info.animation.num_loops = 0; // forever
    }
    if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS) return false;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    if (JxlEncoderSetColorEncoding(enc.get(), &srgb) != JXL_ENC_SUCCESS) return false;
    if (photo && !AddPhotoBoxes(enc.get(), *photo)) return false;
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
    if (!settings) return false;
    if (lossless) {
        if (JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS) return false;
    } else if (JxlEncoderSetFrameDistance(settings, JxlDistance(quality)) != JXL_ENC_SUCCESS) {
        return false;
    }

    const int channels = alpha ? 4 : 3;
    const JxlPixelFormat format = {static_cast<std::uint32_t>(channels), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN,
                                   0};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (animated) {
            JxlFrameHeader header;
            JxlEncoderInitFrameHeader(&header);
            header.duration = static_cast<std::uint32_t>(frameMs);
            if (JxlEncoderSetFrameHeader(settings, &header) != JXL_ENC_SUCCESS) return false;
        }
        const std::vector<BYTE> pixels = TopDownRgba(*frames[i], channels);
        if (JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) != JXL_ENC_SUCCESS)
            return false;
        if (progress) {
            progress->SetPos(static_cast<int>(50 * (i + 1) / frames.size()));
            progress->Pump();
        }
    }
    JxlEncoderCloseInput(enc.get());

    out.assign(4096, 0);
    std::uint8_t* next = out.data();
    std::size_t avail = out.size();
    for (;;) {
        const JxlEncoderStatus status = JxlEncoderProcessOutput(enc.get(), &next, &avail);
        if (status == JXL_ENC_SUCCESS) break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT) return false;
        const std::size_t used = static_cast<std::size_t>(next - out.data());
        out.resize(out.size() * 2);
        next = out.data() + used;
        avail = out.size() - used;
    }
    out.resize(static_cast<std::size_t>(next - out.data()));
    return true;
}

} // namespace

bool EncodeJxl(const std::vector<const PackedDib*>& frames, int frameMs, DWORD option, std::vector<BYTE>& out,
               IProgress* progress, const PhotoBlocks* photo) {
    if (frames.empty()) return false;
    const int w = frames[0]->Width(), h = frames[0]->Height();
    if (w <= 0 || h <= 0) return false;
    for (const PackedDib* f : frames)
        if (!f || !f->Is32() || f->Width() != w || f->Height() != h) return false;
    bool ok = false;
    try {
        ok = Encode(frames, std::max(frameMs, 1), option, out, progress, photo);
    } catch (...) {
        ok = false;
    }
    if (ok && progress) progress->SetPos(100);
    return ok;
}

bool ExportJxl(const CDocImage& doc, const std::string& path, DWORD option, bool animate,
               IProgress* progress) {
    return ExportFramesWith(
        doc, path, animate,
        [&](const std::vector<const PackedDib*>& frames, int frameMs, std::vector<BYTE>& out) {
            return EncodeJxl(frames, frameMs, option, out, progress);
        });
}

} // namespace zepho
