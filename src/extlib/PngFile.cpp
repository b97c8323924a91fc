#include "extlib/PngFile.h"

#include "platform/ByteStream.h"

#include <png.h>

#include <csetjmp>

namespace zepho {

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
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Our pixels are B, G, R, A in memory: let libpng swap to R, G, B, A.
    png_set_bgr(png);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

} // namespace

bool EncodePngRgba(const PackedDib& dib, std::vector<BYTE>& out, int compression) {
    if (!dib.Is32()) return false;
    const int w = dib.Width(), h = dib.Height();
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(dib.Row(y));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    out.clear();
    const bool ok = info && EncodeRows(png, info, &out, w, h, rows.data(), compression);
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return ok;
}

bool WritePngRgba(const std::string& path, const PackedDib& dib) {
    std::vector<BYTE> bytes;
    if (!EncodePngRgba(dib, bytes)) return false;
    FileWriter out(path);
    return out.IsOpen() && out.Write(bytes.data(), bytes.size()) && out.Commit();
}

} // namespace zepho
