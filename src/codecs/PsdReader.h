// The PSD layer reader: header, layer records, then each layer's channels into a 32-bit raster.
#pragma once

#include "platform/PackedDib.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zepho {

class ByteReader;

struct PsdChannel {
    std::int16_t id = 0; // 0 red, 1 green, 2 blue, -1 transparency; others are not ours
    DWORD length = 0;    // compression word and data
    std::uint64_t offset = 0;
};

struct PsdLayerRecord {
    LONG left = 0, top = 0, right = 0, bottom = 0;
    std::vector<PsdChannel> channels;
    BYTE opacity = 255;
    bool visible = true;
    std::string name;
};

class PsdReader {
public:
    enum class Records {
        Read,       // the records, and their channel data lies within the section
        WrongBlend, // a record without the blend signature: no layer is read
        Damaged,    // cut short, or sizes that do not fit the file
    };
    enum class Layer {
        Image,   // the raster was read
        NoImage, // not an RGB layer we can show (missing colour channels, empty or inverted
                 // rectangle, a compression we do not know); its data is passed over
        Damaged, // the data cannot be what the record says
    };

    // Largest canvas or layer side accepted.
    static constexpr LONG kMaxSide = 300000;

    // The 26-byte header: signature, version 1 and fewer than 25 channels. False otherwise.
    bool ReadHeader(ByteReader& in);
    // The header, then past the colour mode data and the image resources. False when the header
    // is refused, the canvas is empty or too large, or a section runs past the file.
    bool Open(ByteReader& in);
    // The layer records, positioned just after Open().
    Records ReadRecords();
    // The raster of layer i (32 bits, opaque without a transparency channel).
    Layer ReadLayer(std::size_t i, PackedDib& out);

    // Channel compressions.
    static constexpr int kRaw = 0;
    static constexpr int kPackBits = 1;
    static constexpr int kZip = 2;
    static constexpr int kZipPredicted = 3; // Zip over the differences of neighbouring samples

    int Width() const { return static_cast<int>(width_); }
    int Height() const { return static_cast<int>(height_); }
    int Depth() const { return depth_; }
    int ColorMode() const { return mode_; }
    int Channels() const { return channels_; }
    const std::vector<PsdLayerRecord>& Layers() const { return layers_; }

    // Decodes height PackBits rows of `rowBytes` bytes that follow a table of 2 * height bytes
    // into byte `plane` of every pixel of a 32-bit raster, taking the first byte of every
    // `sampleBytes` (the high byte of 16-bit samples). A packet that runs past the end of its
    // row is cut there; a header byte 128 is passed over. False when the data runs out first.
    static bool PackBitsDecode(std::span<const BYTE> data, int sampleBytes, PackedDib& dib, int plane);
    // The fewest bytes a channel of w x h samples of `sampleBytes` can take (compression word
    // included), raw, PackBits or Zip coded.
    // Inflates a zlib stream into exactly out.size() bytes. False when it is damaged or short.
    static bool ZipDecode(std::span<const BYTE> data, std::vector<BYTE>& out);
    static std::uint64_t MinChannelBytes(int compression, std::uint64_t w, std::uint64_t h, int sampleBytes);

private:
    ByteReader* in_ = nullptr;
    DWORD width_ = 0;
    DWORD height_ = 0;
    int channels_ = 0;
    int depth_ = 0;
    int mode_ = 0;
    std::vector<PsdLayerRecord> layers_;
    std::vector<BYTE> buffer_;
    std::vector<BYTE> inflated_;
};

} // namespace zepho
