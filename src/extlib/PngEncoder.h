// A PNG writer for true-colour images that takes the picture row by row, so that a caller can
// hand over rows as it makes them and never hold the whole image twice.
#pragma once

#include "platform/ByteStream.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <vector>

typedef struct z_stream_s z_stream;

namespace zepho {

// Rows go in from the top, as blue, green, red (and alpha) bytes; the file holds 8-bit RGB or
// RGBA, not interlaced. Each row gets the filter whose output has the smallest sum of absolute
// values, as libpng chooses them. Every band of rows is compressed according to what it holds:
// photographic rows, in which a pixel rarely repeats its neighbour, are Huffman-coded only
// (string matching finds almost nothing there and costs most of the time), drawn rows with runs
// and repeated shapes get deflate's full string matching.
class PngRowEncoder {
public:
    explicit PngRowEncoder(ByteWriter& out);
    ~PngRowEncoder();
    PngRowEncoder(const PngRowEncoder&) = delete;
    PngRowEncoder& operator=(const PngRowEncoder&) = delete;

    // Writes the signature and the header. `channels` is 3 (RGB) or 4 (RGBA); rows come with
    // `rowPixelBytes` bytes a pixel, 3 or 4 and at least `channels` (32-bit rows may be written
    // as RGB, dropping their fourth byte). False on a bad size or a failed write.
    bool Begin(int width, int height, int channels, int rowPixelBytes = 0);
    // The next row: width * rowPixelBytes bytes. False once anything has failed.
    bool AddRow(const BYTE* row);
    // After the last row: the rest of the data and the end chunk. False when rows are missing or
    // anything failed.
    bool Finish();

    // How many bands were compressed each way (for tests and benchmarks).
    int PhotoBands() const { return photoBands_; }
    int DrawnBands() const { return drawnBands_; }

private:
    bool CompressBand(bool last);
    bool Deflate(int flush);
    bool WriteChunk(const char* type, const BYTE* data, std::size_t n);

    ByteWriter& out_;
    z_stream* z_ = nullptr;
    int width_ = 0, height_ = 0, channels_ = 0, inBytes_ = 0;
    int rowsIn_ = 0;
    int bandRows_ = 0;
    int strategy_ = -1; // of the band compressed last
    bool failed_ = false;
    std::size_t rowBytes_ = 0;
    std::uint64_t repeats_ = 0;         // pixels equal to their left neighbour in the current band
    std::vector<BYTE> prior_, current_; // unfiltered RGB(A) rows: the one above and this one
    std::vector<BYTE> candidates_;      // the row under each of the five filters
    std::vector<BYTE> band_;            // filtered rows waiting for compression
    std::vector<BYTE> idat_;            // compressed bytes waiting for their chunk
    int photoBands_ = 0, drawnBands_ = 0;
};

} // namespace zepho
