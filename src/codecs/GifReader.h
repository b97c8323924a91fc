// The GIF reader: header, logical screen and global colour table, then one image at a time.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zepho {

class ByteReader;

// One image of the file and the graphic control extension that came before it.
struct GifImage {
    // 32-bit BGRA (transparent and undecoded pixels all zero), or in preview mode a palette DIB
    // of the file's indices.
    PackedDib dib;
    int left = 0;
    int top = 0;
    // A graphic control extension preceded the image; the three fields below come from it.
    bool hasControl = false;
    BYTE controlFlags = 0;
    WORD delay = 0;
    // -1 without a control extension.
    int transparentIndex = -1;
    // The image descriptor's packed flags.
    BYTE imageFlags = 0;
};

// The picture row of each row in stream order: rows from the top, or the four interlace passes
// (rows 0, 8, 16 ...; 4, 12 ...; 2, 6 ...; 1, 3 ...).
std::vector<int> GifRowOrder(int height, bool interlaced);

class GifReader {
public:
    enum class Status {
        Image, // an image was decoded
        End,   // the trailer or a byte that starts no block: nothing more to read
        Error, // damaged data
    };

    // Header, logical screen descriptor and global table; the rest of the file is kept in
    // memory. False for a wrong signature, a short header or table, or an unreadable file.
    bool Open(const std::string& path);
    bool Open(ByteReader& in);

    // Walks to the next image, skipping extensions and remembering a graphic control
    // extension, and decodes it. `preview` keeps the indices in a palette DIB instead.
    Status ReadImage(GifImage& out, bool preview, IProgress* progress);

    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    int BackgroundIndex() const { return backgroundIndex_; }
    // 1 for GIF87a, 2 for GIF89a.
    int Version() const { return version_; }
    std::size_t Consumed() const { return pos_; }
    std::size_t DataSize() const { return data_.size(); }
    bool AtEnd() const { return pos_ >= data_.size(); }

    // The most pixels `bytes` of LZW data with the given minimum code size can produce. An image
    // larger than this cannot be filled by its data and is refused before anything is allocated.
    static unsigned long long MaxPixelsFrom(std::size_t bytes, int minCodeSize);

private:
    bool ReadByte(BYTE& v);
    bool ReadWord(WORD& v);
    // Skips data sub-blocks up to and including the terminator.
    bool SkipSubBlocks();
    bool ReadExtension(GifImage& out);
    bool DecodeImage(GifImage& out, bool preview);

    int screenWidth_ = 0;
    int screenHeight_ = 0;
    int backgroundIndex_ = 0;
    int version_ = 0;
    std::vector<RGBQUAD> globalTable_;
    bool hasGlobalTable_ = false;
    std::vector<BYTE> data_;
    std::size_t pos_ = 0;
    // Reused between images.
    std::vector<BYTE> lzw_;
    std::vector<BYTE> indices_;
};

} // namespace zepho
