#include "codecs/AvifCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/PhotoInfoIo.h"

#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "platform/ByteStream.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace zepho {

namespace {

// AV1 codes a flat picture in almost nothing, so sizes are only doubted past 16 megapixels.
std::uint32_t PixelLimit(std::size_t fileSize) {
    constexpr std::uint64_t kFree = std::uint64_t{1} << 24;
    const std::uint64_t limit = std::max<std::uint64_t>(kFree, std::uint64_t{fileSize} * 16384);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
}

struct DecoderDeleter {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
struct EncoderDeleter {
    void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};
struct ImageDeleter {
    void operator()(avifImage* i) const { avifImageDestroy(i); }
};

// Swaps rows so that a top-down buffer becomes a bottom-up DIB (and back).
void FlipRows(PackedDib& dib) {
    const std::size_t stride = dib.Stride();
    std::vector<BYTE> tmp(stride);
    BYTE* bits = dib.Bits();
    for (int a = 0, b = dib.Height() - 1; a < b; ++a, --b) {
        BYTE* ra = bits + stride * static_cast<std::size_t>(a);
        BYTE* rb = bits + stride * static_cast<std::size_t>(b);
        std::memcpy(tmp.data(), ra, stride);
        std::memcpy(ra, rb, stride);
        std::memcpy(rb, tmp.data(), stride);
    }
}

} // namespace

PackedDib DecodeAvif(std::span<const BYTE> file) {
    if (file.empty()) return {};
    std::unique_ptr<avifDecoder, DecoderDeleter> dec(avifDecoderCreate());
    if (!dec) return {};
    dec->maxThreads = 1; // files are decoded side by side, one thread each
    dec->ignoreExif = AVIF_TRUE;
    dec->ignoreXMP = AVIF_TRUE;
    dec->imageSizeLimit = PixelLimit(file.size());
    dec->imageCountLimit = 1u << 16;
    if (avifDecoderSetIOMemory(dec.get(), file.data(), file.size()) != AVIF_RESULT_OK) return {};
    if (avifDecoderParse(dec.get()) != AVIF_RESULT_OK) return {};
    const avifImage* header = dec->image;
    if (header->width == 0 || header->height == 0 || header->width > 0x7FFFFFFF ||
        header->height > 0x7FFFFFFF || std::uint64_t(header->width) * header->height > dec->imageSizeLimit)
        return {};
    // A sequence gives its first image.
    if (avifDecoderNextImage(dec.get()) != AVIF_RESULT_OK) return {};
    const avifImage* image = dec->image;
    if (image->width == 0 || image->height == 0 ||
        std::uint64_t(image->width) * image->height > dec->imageSizeLimit)
        return {};
    PackedDib dib = PackedDib::Create(static_cast<int>(image->width), static_cast<int>(image->height), 32);
    if (!dib) return dib;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_BGRA; // our byte order; an image without alpha comes out opaque
    rgb.depth = 8;
    rgb.pixels = dib.Bits();
    rgb.rowBytes = static_cast<std::uint32_t>(dib.Stride());
    if (avifImageYUVToRGB(image, &rgb) != AVIF_RESULT_OK) return {};
    FlipRows(dib);
    if (image->icc.size > 0) {
        NoteProfileOutcome(ConvertToSrgb(dib, {image->icc.data, image->icc.size}));
    } else {
        // The colour space stated by code (nclx): Display P3 and BT.2020 are converted.
        float xy[8];
        avifColorPrimariesGetValues(image->colorPrimaries, xy);
        bool hdr = false;
        const std::vector<BYTE> icc =
            ProfileFromCodes(image->colorPrimaries, image->transferCharacteristics, xy, hdr);
        NoteProfileOutcome(hdr ? ProfileOutcome::Unusable : ConvertToSrgb(dib, icc));
    }
    // The container's turn (anticlockwise quarters), then its mirror, as the picture is seen.
    if (image->transformFlags & AVIF_TRANSFORM_IROT) {
        static constexpr int kTurn[4] = {1, 8, 3, 6};
        dib = ApplyOrientation(std::move(dib), kTurn[image->irot.angle & 3]);
    }
    if (image->transformFlags & AVIF_TRANSFORM_IMIR)
        dib = ApplyOrientation(std::move(dib), image->imir.mode ? 2 : 4);
    return dib;
}

bool ReadAvifFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    std::vector<BYTE> bytes;
    if (!imageio::ReadWholeFile(path, bytes)) return false;
    PackedDib dib = DecodeAvif(bytes);
    if (!AppendSingleImage(doc, std::move(dib))) return false;
    if (progress) progress->SetPos(100);
    return true;
}

PackedDib LoadAvifPreview(const std::string& path) {
    std::vector<BYTE> bytes;
    return imageio::ReadWholeFile(path, bytes) ? DecodeAvif(bytes) : PackedDib();
}

bool EncodeAvif(const PackedDib& src, DWORD option, std::vector<BYTE>& out, const PhotoBlocks* photo) {
    if (!src.Is32() || src.Header()->biCompression != BI_RGB) return false;
    int quality = static_cast<int>(option & 0xFF);
    if (quality == 0) quality = kAvifDefaultQuality;
    quality = std::min(quality, 100);
    const int speedField = static_cast<int>((option >> 8) & 0xFF);
    const int speed = speedField == 0 ? kAvifDefaultSpeed : std::min(speedField - 1, AVIF_SPEED_FASTEST);
    const bool lossless = quality == 100;

    // libavif reads rows top-down: hand it a flipped copy.
    PackedDib dib = src.Clone();
    if (!dib) return false;
    FlipRows(dib);
    const int w = dib.Width(), h = dib.Height();
    bool opaque = true;
    for (int y = 0; y < h && opaque; ++y) {
        const BYTE* row = dib.Bits() + dib.Stride() * static_cast<std::size_t>(y);
        for (int x = 0; x < w && opaque; ++x)
            opaque = row[4 * x + 3] == 255;
    }

    std::unique_ptr<avifImage, ImageDeleter> image(avifImageCreate(
        static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 8, AVIF_PIXEL_FORMAT_YUV444));
    if (!image) return false;
    image->yuvRange = AVIF_RANGE_FULL;
    // Lossless colour needs the identity matrix: RGB goes into the planes unchanged.
    if (lossless) image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.depth = 8;
    rgb.ignoreAlpha = opaque ? AVIF_TRUE : AVIF_FALSE;
    rgb.pixels = dib.Bits();
    rgb.rowBytes = static_cast<std::uint32_t>(dib.Stride());
    if (avifImageRGBToYUV(image.get(), &rgb) != AVIF_RESULT_OK) return false;
    if (photo && !photo->exif.empty())
        avifImageSetMetadataExif(image.get(), photo->exif.data(), photo->exif.size());
    if (photo && !photo->xmp.empty())
        avifImageSetMetadataXMP(image.get(), reinterpret_cast<const std::uint8_t*>(photo->xmp.data()),
                                photo->xmp.size());

    std::unique_ptr<avifEncoder, EncoderDeleter> enc(avifEncoderCreate());
    if (!enc) return false;
    enc->maxThreads = 1;
    enc->speed = speed;
    const int quantizer = lossless ? AVIF_QUANTIZER_LOSSLESS : ((100 - quality) * 63 + 50) / 100;
    enc->minQuantizer = enc->maxQuantizer = quantizer;
    enc->minQuantizerAlpha = enc->maxQuantizerAlpha = AVIF_QUANTIZER_LOSSLESS;
    avifRWData data = AVIF_DATA_EMPTY;
    const bool ok = avifEncoderWrite(enc.get(), image.get(), &data) == AVIF_RESULT_OK;
    if (ok) out.assign(data.data, data.data + data.size);
    avifRWDataFree(&data);
    return ok;
}

bool ExportAvif(const CDocImage& doc, const std::string& path, DWORD option, IProgress* progress) {
    PackedDib flat = doc.CompositeVisible(doc.width, doc.height);
    if (!flat) return false;
    if (progress) {
        progress->SetPos(10);
        progress->Pump();
    }
    std::vector<BYTE> bytes;
    if (!EncodeAvif(flat, option, bytes)) return false;
    FileWriter out(path);
    const bool ok = out.IsOpen() && out.Write(bytes.data(), bytes.size()) && out.Commit();
    if (ok && progress) progress->SetPos(100);
    return ok;
}

} // namespace zepho
