// JPEG files through libjpeg. Errors leave libjpeg by longjmp, so each step that may fail runs in
// a function of its own whose frame holds nothing with a destructor; the DIB and the buffers
// live in the caller.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
#include "extlib/RowCodecs.h"
#include "platform/Parallel.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jerror.h>
#include <jpeglib.h>

namespace zepho {

using namespace imageio;

namespace {

// Decoding a progressive file keeps every coefficient in memory; beyond this it fails instead.
constexpr long kMaxCodecMemory = 1024L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OutputMessage(j_common_ptr) {}

bool CreateDecompress(jpeg_decompress_struct* cinfo, ErrorManager* err) {
    if (setjmp(err->jump)) return false;
    jpeg_create_decompress(cinfo);
    return true;
}

bool CreateCompress(jpeg_compress_struct* cinfo, ErrorManager* err) {
    if (setjmp(err->jump)) return false;
    jpeg_create_compress(cinfo);
    return true;
}

// ---- reading

struct Source {
    jpeg_source_mgr pub;
    const BYTE* data;
    std::size_t size;
    bool ended; // the data ran out and a made-up end marker was handed over
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    static const JOCTET kEnd[2] = {0xFF, JPEG_EOI};
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    src->pub.next_input_byte = kEnd;
    src->pub.bytes_in_buffer = 2;
    src->ended = true;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long n) {
    auto* src = &cinfo->src[0];
    if (n <= 0) return;
    while (static_cast<std::size_t>(n) > src->bytes_in_buffer) {
        n -= static_cast<long>(src->bytes_in_buffer);
        FillInput(cinfo);
    }
    src->next_input_byte += n;
    src->bytes_in_buffer -= static_cast<std::size_t>(n);
}

// Entropy-coded data that stops at our made-up end marker is a truncated file: fail rather
// than show the grey that libjpeg would fill in.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0 || cinfo->is_decompressor == FALSE) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    const auto* src = reinterpret_cast<const Source*>(d->src);
    if (src && src->ended &&
        (cinfo->err->msg_code == JWRN_HIT_MARKER || cinfo->err->msg_code == JWRN_JPEG_EOF))
        ErrorExit(cinfo);
}

enum class Output { Gray, Bgr, Cmyk };

struct ReadPlan {
    JDIMENSION width = 0, height = 0;
    Output output = Output::Bgr;
    bool invertedCmyk = false;
    // The embedded colour profile (malloc'd by libjpeg; the caller frees it) and the Exif block
    // (inside libjpeg's saved markers).
    JOCTET* icc = nullptr;
    unsigned iccSize = 0;
    const BYTE* exif = nullptr;
    std::size_t exifSize = 0;
};

bool ReadHeader(jpeg_decompress_struct* cinfo, ErrorManager* err, ReadPlan* plan, std::size_t fileSize) {
    if (setjmp(err->jump)) return false;
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    if (!jpeg_read_icc_profile(cinfo, &plan->icc, &plan->iccSize)) plan->icc = nullptr, plan->iccSize = 0;
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
            plan->exif = m->data;
            plan->exifSize = m->data_length;
            break;
        }
    if (cinfo->jpeg_color_space == JCS_GRAYSCALE) {
        cinfo->out_color_space = JCS_GRAYSCALE;
        plan->output = Output::Gray;
    } else if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        cinfo->out_color_space = JCS_CMYK;
        plan->output = Output::Cmyk;
        plan->invertedCmyk = cinfo->saw_Adobe_marker;
    } else {
        cinfo->out_color_space = JCS_EXT_BGR;
    }
    jpeg_calc_output_dimensions(cinfo);
    plan->width = cinfo->output_width;
    plan->height = cinfo->output_height;
    // Even an all-flat picture costs a bit per 8 x 8 block and channel.
    return Plausible(std::uint64_t{plan->width} * plan->height, fileSize, 2048);
}

// CMYK rows go into `cmyk`, the whole picture, to be converted afterwards.
bool ReadRows(jpeg_decompress_struct* cinfo, ErrorManager* err, BYTE** rows, BYTE* cmyk, const ReadPlan* plan,
              RowProgress* progress) {
    if (setjmp(err->jump)) return false;
    jpeg_start_decompress(cinfo);
    const int components = plan->output == Output::Gray ? 1 : plan->output == Output::Bgr ? 3 : 4;
    if (cinfo->output_width != plan->width || cinfo->output_height != plan->height ||
        cinfo->output_components != components)
        return false;
    while (cinfo->output_scanline < cinfo->output_height) {
        const JDIMENSION y = cinfo->output_scanline;
        JSAMPROW row = plan->output == Output::Cmyk ? cmyk + std::size_t{y} * 4 * plan->width : rows[y];
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
        progress->Update(std::uint64_t{y} + 1);
    }
    return true;
}

// ---- writing

struct Destination {
    jpeg_destination_mgr pub;
    ByteWriter* out;
    JOCTET buffer[65536];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = sizeof dst->buffer;
}

boolean EmptyOutput(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    if (!dst->out->Write(dst->buffer, sizeof dst->buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
    dst->pub.next_output_byte = dst->buffer;
    dst->pub.free_in_buffer = sizeof dst->buffer;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dst = reinterpret_cast<Destination*>(cinfo->dest);
    const std::size_t n = sizeof dst->buffer - dst->pub.free_in_buffer;
    if (n && !dst->out->Write(dst->buffer, n)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

bool StartCompress(jpeg_compress_struct* cinfo, ErrorManager* err, int w, int h, bool gray, int quality) {
    if (setjmp(err->jump)) return false;
    cinfo->image_width = static_cast<JDIMENSION>(w);
    cinfo->image_height = static_cast<JDIMENSION>(h);
    cinfo->input_components = gray ? 1 : 3;
    cinfo->in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->optimize_coding = TRUE;
    cinfo->density_unit = 1;
    cinfo->X_density = cinfo->Y_density = 72;
    jpeg_start_compress(cinfo, TRUE);
    return true;
}

bool WriteScanlines(jpeg_compress_struct* cinfo, ErrorManager* err, JSAMPROW* rows, int n) {
    if (setjmp(err->jump)) return false;
    for (int y = 0; y < n; ++y)
        jpeg_write_scanlines(cinfo, &rows[y], 1);
    return true;
}

bool FinishCompress(jpeg_compress_struct* cinfo, ErrorManager* err) {
    if (setjmp(err->jump)) return false;
    jpeg_finish_compress(cinfo);
    return true;
}

// One JPEG being written: grey or blue-green-red rows in, the file out as it is made.
class JpegRowEncoder {
public:
    explicit JpegRowEncoder(ByteWriter& out) : state_(std::make_unique<State>()) {
        State& s = *state_;
        s.dest.pub.init_destination = &InitDestination;
        s.dest.pub.empty_output_buffer = &EmptyOutput;
        s.dest.pub.term_destination = &TermDestination;
        s.dest.out = &out;
        s.cinfo.err = jpeg_std_error(&s.err.pub);
        s.err.pub.error_exit = &ErrorExit;
        s.err.pub.output_message = &OutputMessage;
        created_ = CreateCompress(&s.cinfo, &s.err);
        if (created_) s.cinfo.dest = &s.dest.pub;
    }
    ~JpegRowEncoder() { jpeg_destroy_compress(&state_->cinfo); }
    JpegRowEncoder(const JpegRowEncoder&) = delete;
    JpegRowEncoder& operator=(const JpegRowEncoder&) = delete;

    bool Begin(int w, int h, bool gray, int quality) {
        ok_ = created_ && w > 0 && h > 0 && w <= JPEG_MAX_DIMENSION && h <= JPEG_MAX_DIMENSION &&
              StartCompress(&state_->cinfo, &state_->err, w, h, gray, std::clamp(quality, 1, 100));
        height_ = h;
        return ok_;
    }
    bool AddRows(JSAMPROW* rows, int n) {
        ok_ = ok_ && rowsIn_ + n <= height_ && WriteScanlines(&state_->cinfo, &state_->err, rows, n);
        rowsIn_ += n;
        return ok_;
    }
    bool Finish() { return ok_ && rowsIn_ == height_ && FinishCompress(&state_->cinfo, &state_->err); }

private:
    struct State {
        jpeg_compress_struct cinfo;
        ErrorManager err;
        Destination dest;
    };
    std::unique_ptr<State> state_;
    bool created_ = false, ok_ = false;
    int height_ = 0, rowsIn_ = 0;
};

class JpegRowWriter final : public CRowWriter {
public:
    JpegRowWriter(ByteWriter& out, int w, int h, int rowBits, int quality)
        : encoder_(out), rowBits_(rowBits), buffer_(3 * static_cast<std::size_t>(w)) {
        ok_ = encoder_.Begin(w, h, false, quality);
    }
    bool AddBand(const PackedDib& band) override {
        const int w = band.Width();
        for (int y = 0; ok_ && y < band.Height(); ++y) {
            JSAMPROW row = const_cast<JSAMPROW>(band.Row(y));
            if (rowBits_ == 32) {
                const BYTE* s = band.Row(y);
                for (int x = 0; x < w; ++x, s += 4)
                    std::memcpy(&buffer_[3 * static_cast<std::size_t>(x)], s, 3);
                row = buffer_.data();
            }
            ok_ = encoder_.AddRows(&row, 1);
        }
        return ok_;
    }
    bool Finish() override { return ok_ && encoder_.Finish(); }

private:
    JpegRowEncoder encoder_;
    int rowBits_;
    std::vector<BYTE> buffer_;
    bool ok_ = false;
};

// ---- reading a file a band at a time

struct FileSource {
    Source base; // first: the message filter looks at it
    FileReader* file;
    JOCTET buffer[65536];
};

boolean FillFromFile(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(sizeof src->buffer, src->file->Remaining()));
    if (n == 0 || !src->file->Read(src->buffer, n)) return FillInput(cinfo);
    src->base.pub.next_input_byte = src->buffer;
    src->base.pub.bytes_in_buffer = n;
    return TRUE;
}

void SkipInFile(j_decompress_ptr cinfo, long n) {
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    if (n <= 0) return;
    if (static_cast<std::size_t>(n) <= src->base.pub.bytes_in_buffer) {
        src->base.pub.next_input_byte += n;
        src->base.pub.bytes_in_buffer -= static_cast<std::size_t>(n);
        return;
    }
    const std::uint64_t rest = static_cast<std::uint64_t>(n) - src->base.pub.bytes_in_buffer;
    src->base.pub.bytes_in_buffer = 0;
    if (rest <= src->file->Remaining() && src->file->Skip(rest)) return;
    FillInput(cinfo);
}

bool StartDecompress(jpeg_decompress_struct* cinfo, ErrorManager* err, int components) {
    if (setjmp(err->jump)) return false;
    jpeg_start_decompress(cinfo);
    return cinfo->output_components == components;
}

// CMYK rows through `cmyk`, when it is given, one at a time into `cmykRow`.
bool ReadScanlines(jpeg_decompress_struct* cinfo, ErrorManager* err, BYTE** rows, int n, BYTE* cmykRow,
                   const CCmykToSrgb* cmyk, int width) {
    if (setjmp(err->jump)) return false;
    for (int y = 0; y < n; ++y) {
        JSAMPROW row = cmyk ? cmykRow : rows[y];
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
        if (cmyk) cmyk->Row(cmykRow, rows[y], width);
    }
    return true;
}

class JpegRowReader final : public CRowReader {
public:
    explicit JpegRowReader(const std::string& path) : file_(path), state_(std::make_unique<State>()) {}
    ~JpegRowReader() override {
        if (created_) jpeg_destroy_decompress(&state_->cinfo);
        std::free(plan_.icc);
    }

    bool Open() {
        State& s = *state_;
        if (!file_.IsOpen()) return false;
        s.cinfo.err = jpeg_std_error(&s.err.pub);
        s.err.pub.error_exit = &ErrorExit;
        s.err.pub.emit_message = &EmitMessage;
        s.err.pub.output_message = &OutputMessage;
        created_ = CreateDecompress(&s.cinfo, &s.err);
        if (!created_) return false;
        s.cinfo.mem->max_memory_to_use = kMaxCodecMemory;
        s.src.base.pub.init_source = &InitSource;
        s.src.base.pub.fill_input_buffer = &FillFromFile;
        s.src.base.pub.skip_input_data = &SkipInFile;
        s.src.base.pub.resync_to_restart = &jpeg_resync_to_restart;
        s.src.base.pub.term_source = &TermSource;
        s.src.file = &file_;
        s.cinfo.src = &s.src.base.pub;
        BYTE head[2] = {};
        if (!file_.Read(head, 2) || head[0] != 0xFF || head[1] != 0xD8 || !file_.Seek(0)) return false;
        if (!ReadHeader(&s.cinfo, &s.err, &plan_, file_.Size()) || plan_.width == 0 || plan_.height == 0 ||
            plan_.width > 0x7FFFFFFF || plan_.height > 0x7FFFFFFF)
            return false;
        const std::span<const BYTE> icc(plan_.icc, plan_.iccSize);
        width_ = static_cast<int>(plan_.width);
        height_ = static_cast<int>(plan_.height);
        bits_ = plan_.output == Output::Gray ? 8 : 24;
        orientation_ = ExifOrientation({plan_.exif, plan_.exifSize});
        if (plan_.output == Output::Cmyk) {
            cmyk_ = std::make_unique<CCmykToSrgb>(icc, plan_.invertedCmyk);
            cmykRow_.resize(4 * static_cast<std::size_t>(width_));
            profileUnusable_ = cmyk_->Outcome() == ProfileOutcome::Unusable;
        }
        const int components = plan_.output == Output::Gray ? 1 : plan_.output == Output::Bgr ? 3 : 4;
        return StartDecompress(&s.cinfo, &s.err, components) && s.cinfo.output_width == plan_.width &&
               s.cinfo.output_height == plan_.height;
    }

    PackedDib ReadBand(int rows) override {
        rows = std::min(rows, height_ - rowsRead_);
        if (failed_ || rows <= 0) return {};
        PackedDib band = PackedDib::Create(width_, rows, bits_);
        if (!band) {
            failed_ = true;
            return {};
        }
        if (bits_ == 8) SetGrayRamp(band, 256);
        std::vector<BYTE*> pointers(static_cast<std::size_t>(rows));
        for (int y = 0; y < rows; ++y)
            pointers[static_cast<std::size_t>(y)] = band.Row(y);
        if (!ReadScanlines(&state_->cinfo, &state_->err, pointers.data(), rows, cmykRow_.data(), cmyk_.get(),
                           width_)) {
            failed_ = true;
            return {};
        }
        rowsRead_ += rows;
        if (plan_.output != Output::Cmyk &&
            ConvertToSrgb(band, {plan_.icc, plan_.iccSize}) == ProfileOutcome::Unusable)
            profileUnusable_ = true;
        return band;
    }

private:
    struct State {
        jpeg_decompress_struct cinfo;
        ErrorManager err;
        FileSource src;
    };
    FileReader file_;
    std::unique_ptr<State> state_;
    bool created_ = false;
    ReadPlan plan_;
    std::unique_ptr<CCmykToSrgb> cmyk_;
    std::vector<BYTE> cmykRow_;
};

} // namespace

PackedDib DecodeJpeg(std::span<const BYTE> file, IProgress* progress) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return {};
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = &ErrorExit;
    err.pub.emit_message = &EmitMessage;
    err.pub.output_message = &OutputMessage;
    if (!CreateDecompress(&cinfo, &err)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    cinfo.mem->max_memory_to_use = kMaxCodecMemory;
    Source src{};
    src.pub.init_source = &InitSource;
    src.pub.fill_input_buffer = &FillInput;
    src.pub.skip_input_data = &SkipInput;
    src.pub.resync_to_restart = &jpeg_resync_to_restart;
    src.pub.term_source = &TermSource;
    src.pub.next_input_byte = file.data();
    src.pub.bytes_in_buffer = file.size();
    src.data = file.data();
    src.size = file.size();
    cinfo.src = &src.pub;

    PackedDib dib;
    ReadPlan plan;
    int orientation = 1;
    ProfileOutcome profile = ProfileOutcome::None;
    if (ReadHeader(&cinfo, &err, &plan, file.size()) && plan.width > 0 && plan.height > 0 &&
        plan.width <= 0x7FFFFFFF && plan.height <= 0x7FFFFFFF) {
        const std::span<const BYTE> icc(plan.icc, plan.iccSize);
        const int w = static_cast<int>(plan.width), h = static_cast<int>(plan.height);
        dib = PackedDib::Create(w, h, plan.output == Output::Gray ? 8 : 24);
        if (dib) {
            if (plan.output == Output::Gray) SetGrayRamp(dib, 256);
            std::vector<BYTE*> rows(static_cast<std::size_t>(h));
            for (int y = 0; y < h; ++y)
                rows[static_cast<std::size_t>(y)] = dib.Row(y);
            std::vector<BYTE> cmykPixels(plan.output == Output::Cmyk ? 4 * static_cast<std::size_t>(w) * h
                                                                     : 0);
            RowProgress steps(progress, plan.height);
            if (!ReadRows(&cinfo, &err, rows.data(), cmykPixels.data(), &plan, &steps)) {
                dib.Reset();
            } else if (plan.output == Output::Cmyk) {
                // Exact conversion through a press profile costs more than the decode: rows in
                // parallel, once the decoder is done with them.
                const CCmykToSrgb cmyk(icc, plan.invertedCmyk);
                ParallelFor(h, 16, [&](std::ptrdiff_t y0, std::ptrdiff_t y1) {
                    for (std::ptrdiff_t y = y0; y < y1; ++y)
                        cmyk.Row(cmykPixels.data() + static_cast<std::size_t>(y) * 4 * w,
                                 rows[static_cast<std::size_t>(y)], w);
                });
                profile = cmyk.Outcome();
            } else {
                profile = ConvertToSrgb(dib, icc);
            }
        }
        orientation = ExifOrientation({plan.exif, plan.exifSize});
    }
    std::free(plan.icc);
    jpeg_destroy_decompress(&cinfo);
    NoteProfileOutcome(profile);
    return ApplyOrientation(std::move(dib), orientation);
}

bool EncodeJpeg(const PackedDib& dib, int quality, ByteWriter& out, IProgress* progress) {
    if (!Writable(dib) || dib.Width() > JPEG_MAX_DIMENSION || dib.Height() > JPEG_MAX_DIMENSION) return false;
    const int w = dib.Width(), h = dib.Height(), bits = dib.BitCount();
    const bool gray = bits <= 8 && IsGrayPalette(dib);
    BYTE grayOf[256] = {};
    if (gray)
        for (int i = 0; i < 256; ++i)
            grayOf[i] = PaletteColor(dib, i).rgbRed;
    std::vector<BYTE> rowBuffer(3 * static_cast<std::size_t>(w));
    JpegRowEncoder encoder(out);
    if (!encoder.Begin(w, h, gray, quality)) return false;
    RowProgress steps(progress, static_cast<std::uint64_t>(h));
    const bool direct = bits == 24 && !gray;
    for (int y = 0; y < h; ++y) {
        JSAMPROW row = direct ? const_cast<JSAMPROW>(dib.Row(y)) : rowBuffer.data();
        if (gray) {
            const BYTE* src = dib.Row(y);
            const int perByte = 8 / bits, mask = (1 << bits) - 1;
            for (int x = 0; x < w; ++x)
                rowBuffer[x] = grayOf[(src[x / perByte] >> (8 - bits - (x % perByte) * bits)) & mask];
        } else if (!direct) {
            RowToBgr(dib, y, rowBuffer.data());
        }
        if (!encoder.AddRows(&row, 1)) return false;
        steps.Update(static_cast<std::uint64_t>(y) + 1);
    }
    return encoder.Finish();
}

std::unique_ptr<CRowReader> OpenJpegRowReader(const std::string& path) {
    auto reader = std::make_unique<JpegRowReader>(path);
    if (!reader->Open()) return nullptr;
    return reader;
}

std::unique_ptr<CRowWriter> CreateJpegRowWriter(ByteWriter& out, int width, int height, int rowBits,
                                                int quality) {
    if ((rowBits != 24 && rowBits != 32) || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION)
        return nullptr;
    return std::make_unique<JpegRowWriter>(out, width, height, rowBits, quality);
}

} // namespace zepho
