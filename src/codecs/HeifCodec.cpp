#include "codecs/HeifCodec.h"
#include "codecs/OpenExport.h"

#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "platform/PixelBudget.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace zepho {

namespace {

// libheif refuses anything wider or taller than this before it decodes.
constexpr int kMaxSide = 1 << 16;
// HEVC codes a flat picture in almost nothing, so a size claim is only doubted past 16
// megapixels, and then it needs a file that could plausibly carry it.
bool PlausibleCanvas(std::uint64_t pixels, std::size_t fileSize) {
    constexpr std::uint64_t kFree = std::uint64_t{1} << 24;
    constexpr std::uint64_t kPerByte = 16384;
    return pixels <= kFree || pixels <= std::uint64_t{fileSize} * kPerByte;
}
// The coded planes and libheif's RGBA copy live beside our DIB while the image decodes.
constexpr int kWorkPlanes = 2;

struct ContextDeleter {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
    void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void InitOnce() {
    // Registers the decoder plugins once for the process; never undone, as files open on any
    // thread at any time.
    static const bool done = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)done;
}

// libheif's RGBA rows (top first) into a bottom-up BGRA DIB.
bool CopyRows(const heif_image* image, PackedDib& dib, bool premultiplied) {
    int stride = 0;
    const std::uint8_t* src = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int w = dib.Width(), h = dib.Height();
    if (!src || stride < 4 * w) return false;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = src + static_cast<std::size_t>(stride) * static_cast<std::size_t>(y);
        BYTE* d = dib.Row(y);
        for (int x = 0; x < w; ++x, s += 4, d += 4) {
            BYTE r = s[0], g = s[1], b = s[2];
            const BYTE a = s[3];
            if (premultiplied && a != 0 && a != 255) {
                r = static_cast<BYTE>(std::min(255, (r * 255 + a / 2) / a));
                g = static_cast<BYTE>(std::min(255, (g * 255 + a / 2) / a));
                b = static_cast<BYTE>(std::min(255, (b * 255 + a / 2) / a));
            }
            d[0] = b;
            d[1] = g;
            d[2] = r;
            d[3] = a;
        }
    }
    return true;
}

PackedDib Decode(std::span<const BYTE> file) {
    InitOnce();
    std::unique_ptr<heif_context, ContextDeleter> ctx(heif_context_alloc());
    if (!ctx) return {};
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
    // Files are decoded side by side, one thread each.
    heif_context_set_max_decoding_threads(ctx.get(), 0);
    if (heif_context_read_from_memory_without_copy(ctx.get(), file.data(), file.size(), nullptr).code !=
        heif_error_Ok)
        return {};
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &raw).code != heif_error_Ok || !raw) return {};
    std::unique_ptr<const heif_image_handle, HandleDeleter> handle(raw);
    const int w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return {};
    // The sizes are counted before libheif allocates anything of the picture, and a picture no
    // raster could hold is not decoded at all.
    if (!PixelBudgetScope::CurrentAllows(w, h, 1 + kWorkPlanes) ||
        !PlausibleCanvas(std::uint64_t(w) * std::uint64_t(h), file.size()) ||
        std::uint64_t(w) * std::uint64_t(h) > PackedDib::kMaxPixels)
        return {};
    PixelCharge work(w, h, kWorkPlanes);
    if (!work.Ok()) return {};

    std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
    if (!options) return {};
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (heif_decode_image(raw, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get())
                .code != heif_error_Ok ||
        !decoded)
        return {};
    std::unique_ptr<const heif_image, ImageDeleter> image(decoded);
    // The picture as transformed (a quarter turn swaps the sides).
    const int iw = heif_image_get_width(decoded, heif_channel_interleaved);
    const int ih = heif_image_get_height(decoded, heif_channel_interleaved);
    if (iw <= 0 || ih <= 0 || std::int64_t(iw) * ih > std::int64_t(w) * h) return {};
    if (heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved) != 8) return {};
    PackedDib dib = PackedDib::Create(iw, ih, 32);
    if (!dib) return dib;
    if (!CopyRows(decoded, dib, heif_image_handle_is_premultiplied_alpha(raw) != 0)) return {};
    // An ICC profile (phones write Display P3) is honoured, and so is a colour space stated by
    // code (nclx).
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(raw);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        std::vector<BYTE> icc(heif_image_handle_get_raw_color_profile_size(raw));
        const bool read =
            !icc.empty() && heif_image_handle_get_raw_color_profile(raw, icc.data()).code == heif_error_Ok;
        NoteProfileOutcome(read ? ConvertToSrgb(dib, icc) : ProfileOutcome::Unusable);
    } else {
        // As a colr box of the item, or else in the coded stream, which only the decoded image
        // knows of.
        heif_color_profile_nclx* nclx = nullptr;
        if (profile != heif_color_profile_type_nclx ||
            heif_image_handle_get_nclx_color_profile(raw, &nclx).code != heif_error_Ok)
            nclx = nullptr;
        if (!nclx && heif_image_get_color_profile_type(decoded) == heif_color_profile_type_nclx &&
            heif_image_get_nclx_color_profile(decoded, &nclx).code != heif_error_Ok)
            nclx = nullptr;
        if (nclx) {
            const float xy[8] = {nclx->color_primary_red_x,   nclx->color_primary_red_y,
                                 nclx->color_primary_green_x, nclx->color_primary_green_y,
                                 nclx->color_primary_blue_x,  nclx->color_primary_blue_y,
                                 nclx->color_primary_white_x, nclx->color_primary_white_y};
            bool hdr = false;
            const std::vector<BYTE> icc =
                ProfileFromCodes(nclx->color_primaries, nclx->transfer_characteristics, xy, hdr);
            heif_nclx_color_profile_free(nclx);
            NoteProfileOutcome(hdr ? ProfileOutcome::Unusable : ConvertToSrgb(dib, icc));
        }
    }
    return dib;
}

} // namespace

PackedDib DecodeHeif(std::span<const BYTE> file) {
    if (file.empty()) return {};
    try {
        return Decode(file);
    } catch (...) {
        // libheif and its decoders are C++ underneath: nothing of theirs may cross into ours.
        return {};
    }
}

bool ReadHeifFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    std::vector<BYTE> bytes;
    if (!imageio::ReadWholeFile(path, bytes)) return false;
    if (!AppendSingleImage(doc, DecodeHeif(bytes))) return false;
    if (progress) progress->SetPos(100);
    return true;
}

PackedDib LoadHeifPreview(const std::string& path) {
    std::vector<BYTE> bytes;
    return imageio::ReadWholeFile(path, bytes) ? DecodeHeif(bytes) : PackedDib();
}

} // namespace zepho
