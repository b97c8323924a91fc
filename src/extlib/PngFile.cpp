#include "extlib/PngFile.h"

#include "extlib/PhotoLook.h"

#include "extlib/ImageIOUtil.h"
#include "extlib/PngEncoder.h"
#include "extlib/RowCodecs.h"
#include "platform/ByteStream.h"
#include "platform/PixelBudget.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace zepho {

using imageio::RowProgress;

namespace {

void AppendData(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void NoFlush(png_structp) {}

// Kept apart so that nothing set up before setjmp changes afterwards.
bool EncodeRows(png_structp png, png_infop info, std::vector<BYTE>* out, int w, int h, png_bytepp rows,
                int compression) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, &AppendData, &NoFlush);
    if (compression >= 0) png_set_compression_level(png, compression);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Our pixels are B, G, R, A in memory: let libpng swap to R, G, B, A.
    png_set_bgr(png);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

// libpng reports through these; errors jump back to the setjmp of the running step.
void SilentError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void SilentWarning(png_structp, png_const_charp) {}

struct Source {
    const BYTE* data;
    std::size_t size;
    std::size_t pos;
};

void ReadData(png_structp png, png_bytep out, png_size_t n) {
    auto* src = static_cast<Source*>(png_get_io_ptr(png));
    if (n > src->size - src->pos) png_error(png, "truncated");
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
}

// What the reader decided from the header, in plain data so it survives a longjmp.
struct ReadPlan {
    png_uint_32 width = 0, height = 0;
    int outBits = 0;   // 1, 4, 8, 24 or 32
    int colours = 0;   // palette entries of a palette result
    bool gray = false; // the palette is a grey ramp of `colours` levels
    int passes = 1;
    png_size_t rowBytes = 0;
    png_color palette[256] = {};
    // The colour profile and the Exif block, inside libpng's info until it is destroyed.
    png_bytep icc = nullptr;
    png_uint_32 iccSize = 0;
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
};

bool ReadHeader(png_structp png, png_infop info, ReadPlan* plan, std::size_t fileSize) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_charp name = nullptr;
    int method = 0;
    if (!png_get_iCCP(png, info, &name, &method, &plan->icc, &plan->iccSize))
        plan->icc = nullptr, plan->iccSize = 0;
    if (!png_get_eXIf_1(png, info, &plan->exifSize, &plan->exif)) plan->exif = nullptr, plan->exifSize = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(png, info, &plan->width, &plan->height, &depth, &type, &interlace, nullptr, nullptr);
    const int channels = png_get_channels(png, info);
    // Deflate never expands more than about 1032 to 1.
    const std::uint64_t rawRow = (std::uint64_t{plan->width} * channels * depth + 7) / 8 + 1;
    if (!imageio::Plausible(rawRow * plan->height, fileSize, 1100)) return false;

    bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp pal = nullptr;
        int n = 0;
        if (!png_get_PLTE(png, info, &pal, &n) || n <= 0) return false;
        if (trns) {
            png_bytep alpha = nullptr;
            int na = 0;
            png_get_tRNS(png, info, &alpha, &na, nullptr);
            trns = false;
            for (int i = 0; i < na && alpha; ++i)
                trns = trns || alpha[i] != 255;
        }
        if (trns) {
            png_set_palette_to_rgb(png);
            png_set_tRNS_to_alpha(png);
            png_set_bgr(png);
            plan->outBits = 32;
        } else {
            if (depth == 2) png_set_packing(png);
            plan->outBits = depth == 2 ? 8 : depth;
            plan->colours = std::min(n, 1 << depth);
            std::memcpy(plan->palette, pal, sizeof(png_color) * static_cast<std::size_t>(plan->colours));
        }
    } else if (type == PNG_COLOR_TYPE_GRAY && !trns) {
        if (depth == 16) png_set_strip_16(png);
        if (depth == 2) png_set_packing(png);
        plan->outBits = depth >= 8 ? 8 : depth == 2 ? 8 : depth;
        plan->colours = 1 << std::min(depth, 8);
        plan->gray = true;
    } else {
        // Everything else ends up as B, G, R (+ A) bytes.
        png_set_strip_16(png);
        if (trns) png_set_tRNS_to_alpha(png);
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        png_set_bgr(png);
        plan->outBits = (trns || (type & PNG_COLOR_MASK_ALPHA)) ? 32 : 24;
    }
    plan->passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    plan->rowBytes = png_get_rowbytes(png, info);
    return true;
}

bool ReadRows(png_structp png, png_bytepp rows, int height, int passes, RowProgress* progress) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < height; ++y) {
            png_read_row(png, rows[y], nullptr);
            progress->Update(static_cast<std::uint64_t>(pass) * height + y + 1);
        }
    return true;
}

void WriteData(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<ByteWriter*>(png_get_io_ptr(png));
    if (!out->Write(data, n)) png_error(png, "write failed");
}

struct WritePlan {
    int width = 0, height = 0;
    int depth = 8;
    int type = PNG_COLOR_TYPE_RGB;
    bool bgr = false;
    int colours = 0;
    png_color palette[256] = {};
};

bool WriteRows(png_structp png, png_infop info, ByteWriter* out, const WritePlan* plan, png_bytepp rows,
               RowProgress* progress) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, &WriteData, &NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(plan->width), static_cast<png_uint_32>(plan->height),
                 plan->depth, plan->type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (plan->type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, plan->palette, plan->colours);
    png_write_info(png, info);
    if (plan->bgr) png_set_bgr(png);
    for (int y = 0; y < plan->height; ++y) {
        png_write_row(png, rows[y]);
        progress->Update(static_cast<std::uint64_t>(y) + 1);
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

bool EncodePngRgba(const PackedDib& dib, std::vector<BYTE>& out, int compression) {
    if (!dib.Is32()) return false;
    const int w = dib.Width(), h = dib.Height();
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(dib.Row(y));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    out.clear();
    const bool ok = info && EncodeRows(png, info, &out, w, h, rows.data(), compression);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return ok;
}

bool WritePngRgba(const std::string& path, const PackedDib& dib, FileWriter::Sync sync) {
    if (!dib.Is32()) return false;
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    PngRowEncoder encoder(out);
    bool ok = encoder.Begin(dib.Width(), dib.Height(), 4);
    for (int y = 0; ok && y < dib.Height(); ++y)
        ok = encoder.AddRow(dib.Row(y));
    if (!ok || !encoder.Finish()) {
        out.Abandon();
        return false;
    }
    return out.Commit(sync);
}

bool WritePngBands(const std::string& path, int width, int height, bool alpha,
                   const std::function<PackedDib(int top, int rows)>& band, IProgress* progress) {
    // About two megabytes of canvas at a time.
    const int bandRows = static_cast<int>(
        std::clamp<std::int64_t>((std::int64_t{2} << 20) / (4 * std::int64_t{std::max(width, 1)}), 1, 1024));
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    PngRowEncoder encoder(out);
    RowProgress steps(progress, static_cast<std::uint64_t>(std::max(height, 0)));
    bool ok = encoder.Begin(width, height, alpha ? 4 : 3, 4);
    for (int top = 0; ok && top < height; top += bandRows) {
        const int rows = std::min(bandRows, height - top);
        const PackedDib pixels = band(top, rows);
        ok = pixels.Is32() && pixels.Width() == width && pixels.Height() == rows;
        for (int y = 0; ok && y < rows; ++y)
            ok = encoder.AddRow(pixels.Row(y));
        steps.Update(static_cast<std::uint64_t>(top + rows));
    }
    if (!ok || !encoder.Finish()) {
        out.Abandon();
        return false;
    }
    return out.Commit();
}

PackedDib DecodePng(std::span<const BYTE> file, IProgress* progress) {
    if (file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0) return {};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &SilentError, &SilentWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return {};
    }
    Source src{file.data(), file.size(), 0};
    png_set_read_fn(png, &src, &ReadData);
    // Only the header, the palette, the transparency, the colour profile and the Exif chunk are
    // used; the other chunks are skipped unread. Read, a text chunk that claims 2 GB in an 81-byte
    // file has libpng allocate and clear 2 GB before it finds the file short; the two that are
    // read may hold at most 16 MB (a larger one is dropped, and the picture still opens).
    static const png_byte kSkipped[] = "bKGD\0cHRM\0gAMA\0hIST\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                       "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, static_cast<int>(sizeof kSkipped / 5));
    png_set_chunk_malloc_max(png, 16u << 20);

    PackedDib dib;
    ReadPlan plan;
    if (ReadHeader(png, info, &plan, file.size()) && plan.width > 0 && plan.height > 0 &&
        plan.width <= 0x7FFFFFFF && plan.height <= 0x7FFFFFFF) {
        const int w = static_cast<int>(plan.width), h = static_cast<int>(plan.height);
        // A picture below 32 bits is widened to 32 when it becomes an object: two rasters of its
        // size. A document's budget refuses that before a single row is inflated.
        if (PixelBudgetScope::CurrentAllows(w, h, plan.outBits < 32 ? 2 : 1))
            dib = PackedDib::Create(w, h, plan.outBits, plan.outBits <= 8 ? plan.colours : 0);
        if (dib && plan.rowBytes > dib.Stride()) dib.Reset();
        if (dib) {
            if (plan.gray) {
                imageio::SetGrayRamp(dib, plan.colours);
            } else if (plan.outBits <= 8) {
                RGBQUAD* table = dib.ColorTable();
                for (int i = 0; i < plan.colours; ++i)
                    table[i] = RGBQUAD{plan.palette[i].blue, plan.palette[i].green, plan.palette[i].red, 0};
            }
            std::vector<png_bytep> rows(static_cast<std::size_t>(h));
            for (int y = 0; y < h; ++y)
                rows[static_cast<std::size_t>(y)] = dib.Row(y);
            RowProgress steps(progress, static_cast<std::uint64_t>(h) * plan.passes);
            if (!ReadRows(png, rows.data(), h, plan.passes, &steps))
                dib.Reset();
            else
                NoteProfileOutcome(ConvertToSrgb(dib, {plan.icc, plan.iccSize}));
        }
    }
    const int orientation = ExifOrientation({plan.exif, plan.exifSize});
    png_destroy_read_struct(&png, &info, nullptr);
    return ApplyOrientation(std::move(dib), orientation);
}

namespace {

void ReadFromFile(png_structp png, png_bytep out, png_size_t n) {
    if (!static_cast<FileReader*>(png_get_io_ptr(png))->Read(out, n)) png_error(png, "truncated");
}

bool ReadBandRows(png_structp png, png_bytepp rows, int n) {
    if (setjmp(png_jmpbuf(png))) return false;
    for (int y = 0; y < n; ++y)
        png_read_row(png, rows[y], nullptr);
    return true;
}

class PngRowReader final : public CRowReader {
public:
    explicit PngRowReader(const std::string& path) : file_(path) {}
    ~PngRowReader() override { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }

    bool Open() {
        BYTE sig[8];
        if (!file_.IsOpen() || !file_.Read(sig, 8) || png_sig_cmp(sig, 0, 8) != 0) return false;
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &SilentError, &SilentWarning);
        info_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (!info_) return false;
        png_set_read_fn(png_, &file_, &ReadFromFile);
        png_set_sig_bytes(png_, 8);
        // As DecodePng: the chunks it does not use are skipped unread.
        static const png_byte kSkipped[] = "bKGD\0cHRM\0gAMA\0hIST\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                           "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
        png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, kSkipped,
                                    static_cast<int>(sizeof kSkipped / 5));
        png_set_chunk_malloc_max(png_, 16u << 20);
        if (!ReadHeader(png_, info_, &plan_, file_.Size()) || plan_.passes != 1 || plan_.width == 0 ||
            plan_.height == 0 || plan_.width > 0x7FFFFFFF || plan_.height > 0x7FFFFFFF)
            return false;
        width_ = static_cast<int>(plan_.width);
        height_ = static_cast<int>(plan_.height);
        bits_ = plan_.outBits;
        orientation_ = ExifOrientation({plan_.exif, plan_.exifSize});
        return true;
    }

    PackedDib ReadBand(int rows) override {
        rows = std::min(rows, height_ - rowsRead_);
        if (failed_ || rows <= 0) return {};
        PackedDib band = PackedDib::Create(width_, rows, bits_, bits_ <= 8 ? plan_.colours : 0);
        if (!band || plan_.rowBytes > band.Stride()) {
            failed_ = true;
            return {};
        }
        if (plan_.gray) {
            imageio::SetGrayRamp(band, plan_.colours);
        } else if (bits_ <= 8) {
            RGBQUAD* table = band.ColorTable();
            for (int i = 0; i < plan_.colours; ++i)
                table[i] = RGBQUAD{plan_.palette[i].blue, plan_.palette[i].green, plan_.palette[i].red, 0};
        }
        std::vector<png_bytep> pointers(static_cast<std::size_t>(rows));
        for (int y = 0; y < rows; ++y)
            pointers[static_cast<std::size_t>(y)] = band.Row(y);
        if (!ReadBandRows(png_, pointers.data(), rows)) {
            failed_ = true;
            return {};
        }
        rowsRead_ += rows;
        if (ConvertToSrgb(band, {plan_.icc, plan_.iccSize}) == ProfileOutcome::Unusable)
            profileUnusable_ = true;
        return band;
    }

private:
    FileReader file_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    ReadPlan plan_;
};

// 24-bit or 32-bit rows through the same encoder EncodePng and WritePngBands use.
class PngRowWriter final : public CRowWriter {
public:
    PngRowWriter(ByteWriter& out, int width, int height, int channels, int rowBits) : encoder_(out) {
        ok_ = encoder_.Begin(width, height, channels, rowBits / 8);
    }
    bool AddBand(const PackedDib& band) override {
        for (int y = 0; ok_ && y < band.Height(); ++y)
            ok_ = encoder_.AddRow(band.Row(y));
        return ok_;
    }
    bool Finish() override { return ok_ && encoder_.Finish(); }

private:
    PngRowEncoder encoder_;
    bool ok_ = false;
};

} // namespace

std::unique_ptr<CRowReader> OpenPngRowReader(const std::string& path) {
    auto reader = std::make_unique<PngRowReader>(path);
    if (!reader->Open()) return nullptr;
    return reader;
}

std::unique_ptr<CRowWriter> CreatePngRowWriter(ByteWriter& out, int width, int height, int channels,
                                               int rowBits) {
    if ((channels != 3 && channels != 4) || (rowBits != 24 && rowBits != 32) || channels * 8 > rowBits)
        return nullptr;
    return std::make_unique<PngRowWriter>(out, width, height, channels, rowBits);
}

bool EncodePng(const PackedDib& dib, ByteWriter& out, IProgress* progress) {
    if (!imageio::Writable(dib)) return false;
    const PackedDib* src = &dib;
    PackedDib converted;
    const int bits = dib.BitCount();
    // PNG has no 16-bit packed colour, and masked 32-bit layouts are ours to unpack.
    if (bits == 16 || (bits == 32 && dib.Header()->biCompression != BI_RGB)) {
        converted = imageio::ToBgr24(dib);
        if (!converted) return false;
        src = &converted;
    }
    if (src->BitCount() == 24 || src->BitCount() == 32) {
        PngRowEncoder encoder(out);
        RowProgress steps(progress, static_cast<std::uint64_t>(src->Height()));
        if (!encoder.Begin(src->Width(), src->Height(), src->BitCount() / 8)) return false;
        for (int y = 0; y < src->Height(); ++y) {
            if (!encoder.AddRow(src->Row(y))) return false;
            steps.Update(static_cast<std::uint64_t>(y) + 1);
        }
        return encoder.Finish();
    }
    // Palette images go through libpng.
    WritePlan plan;
    plan.width = src->Width();
    plan.height = src->Height();
    plan.type = PNG_COLOR_TYPE_PALETTE;
    plan.depth = src->BitCount();
    plan.colours = imageio::PaletteEntries(*src);
    for (int i = 0; i < plan.colours; ++i) {
        const RGBQUAD c = imageio::PaletteColor(*src, i);
        plan.palette[i] = png_color{c.rgbRed, c.rgbGreen, c.rgbBlue};
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(plan.height));
    for (int y = 0; y < plan.height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(src->Row(y));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, &SilentError, &SilentWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    RowProgress steps(progress, static_cast<std::uint64_t>(plan.height));
    const bool ok = info && WriteRows(png, info, &out, &plan, rows.data(), &steps);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return ok;
}

} // namespace zepho
