// JPEG files through libjpeg. Errors leave libjpeg by longjmp, so each step that may fail runs in
// a function of its own whose frame holds nothing with a destructor; the DIB and the buffers
// live in the caller.
#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PhotoLook.h"
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

struct WritePlan {
    const PackedDib* dib;
    bool gray;        // write one channel through the grey lookup below
    BYTE grayOf[256]; // palette index to grey level
    int quality;
};

bool WriteRows(jpeg_compress_struct* cinfo, ErrorManager* err, const WritePlan* plan, BYTE* rowBuffer,
               RowProgress* progress) {
    if (setjmp(err->jump)) return false;
    const PackedDib& dib = *plan->dib;
    const int w = dib.Width(), h = dib.Height(), bits = dib.BitCount();
    cinfo->image_width = static_cast<JDIMENSION>(w);
    cinfo->image_height = static_cast<JDIMENSION>(h);
    cinfo->input_components = plan->gray ? 1 : 3;
    cinfo->in_color_space = plan->gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, plan->quality, TRUE);
    cinfo->optimize_coding = TRUE;
    cinfo->density_unit = 1;
    cinfo->X_density = cinfo->Y_density = 72;
    jpeg_start_compress(cinfo, TRUE);
    const bool direct = bits == 24 && !plan->gray;
    for (int y = 0; y < h; ++y) {
        JSAMPROW row = direct ? const_cast<JSAMPROW>(dib.Row(y)) : rowBuffer;
        if (plan->gray) {
            const BYTE* src = dib.Row(y);
            const int perByte = 8 / bits, mask = (1 << bits) - 1;
            for (int x = 0; x < w; ++x)
                rowBuffer[x] = plan->grayOf[(src[x / perByte] >> (8 - bits - (x % perByte) * bits)) & mask];
        } else if (!direct) {
            RowToBgr(dib, y, rowBuffer);
        }
        jpeg_write_scanlines(cinfo, &row, 1);
        progress->Update(static_cast<std::uint64_t>(y) + 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

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
    auto plan = std::make_unique<WritePlan>();
    plan->dib = &dib;
    plan->quality = std::clamp(quality, 1, 100);
    plan->gray = dib.BitCount() <= 8 && IsGrayPalette(dib);
    if (plan->gray)
        for (int i = 0; i < 256; ++i)
            plan->grayOf[i] = PaletteColor(dib, i).rgbRed;
    std::vector<BYTE> rowBuffer(3 * static_cast<std::size_t>(dib.Width()));
    auto dest = std::make_unique<Destination>();
    dest->pub.init_destination = &InitDestination;
    dest->pub.empty_output_buffer = &EmptyOutput;
    dest->pub.term_destination = &TermDestination;
    dest->out = &out;

    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = &ErrorExit;
    err.pub.output_message = &OutputMessage;
    if (!CreateCompress(&cinfo, &err)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    cinfo.dest = &dest->pub;
    RowProgress steps(progress, static_cast<std::uint64_t>(dib.Height()));
    const bool ok = WriteRows(&cinfo, &err, plan.get(), rowBuffer.data(), &steps);
    jpeg_destroy_compress(&cinfo);
    return ok;
}

} // namespace zepho
