// The PSD writer: every object of the stack one layer with four PackBits channels, then the
// flattened picture. Lengths and byte-count tables are written as placeholders and filled in once
// the data behind them is known.
#pragma once

#include "model/DrawObjList.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zepho {

class ByteWriter;

class PsdWriter {
public:
    // The whole file: the header, one layer per object (bottom first), then the colour of
    // `composite` (32-bit, the canvas size; its alpha is not written). False when a size does
    // not fit the format or a write failed.
    bool Write(ByteWriter& out, const CDrawObjList& objects, const PackedDib& composite, IProgress* progress);

    // PackBits over `count` bytes taken every `stride` bytes from src: a run of 2..128 equal
    // bytes becomes 1 - n and the byte, other bytes go in copy runs of at most 128 that end
    // before a byte equal to its successor. dst holds PackBitsBound(count) bytes. Returns the
    // coded length.
    static std::size_t PackBitsEncode(const BYTE* src, std::size_t stride, std::size_t count, BYTE* dst);

    // The name as the record's single-byte field stores it: UTF-8 (which readers that ignore the
    // UTF-16 block pass on as it is), at most 255 bytes, never splitting a character.
    static std::string LayerName(const std::string& name);
    // The record's name field: a length byte and the name, padded with zeros to a multiple of 4
    // bytes, as readers of other programs expect.
    static std::vector<BYTE> PascalName(const std::string& name);
    // The block that follows it with the whole name in UTF-16 ("luni"), which readers prefer
    // to the single-byte field.
    static std::vector<BYTE> UnicodeName(const std::string& name);

private:
    // What one object's layer holds.
    struct Layer {
        const CDrawObj* obj = nullptr;
        long long left = 0, top = 0, right = 0, bottom = 0;
        BYTE opacity = 255;
        // The rectangle is what the canvas shows of the object and its shadow, not all of them.
        bool clipped = false;
        // Where the record's channel table starts, and the four channel lengths.
        std::uint64_t tablePos = 0;
        DWORD lengths[4] = {};
    };

    // A layer is the rectangle around the object and its shadow, whole, as long as that fits the
    // format's 32-bit edges, its sides are ones readers take (PsdReader::kMaxSide) and it holds
    // no more pixels than the object, its shadow and the canvas together (a shadow thrown far
    // away would otherwise ask for a rectangle of billions of pixels). Past that, the layer is
    // what the canvas shows of them: the rest cannot be seen.
    static void PlanLayer(const CDrawObj& obj, int canvasWidth, int canvasHeight, Layer& layer);
    // The 32-bit image of an object whose raster is not 32-bit, that has a shadow or that is
    // clipped: with a shadow, shadow and raster merged into one, each with its transparency.
    // Empty on failure.
    static PackedDib BuildLayerImage(const Layer& layer);
    void WriteRecord(ByteWriter& out, Layer& layer);
    bool WriteLayerData(ByteWriter& out, Layer& layer);
    // Codes every row of one byte plane of a 32-bit image and writes them; counts receives each
    // row's coded length. False when a row codes to more than a count can hold. A progress
    // given here advances after every row.
    bool WritePlane(ByteWriter& out, const PackedDib& image, int plane, WORD* counts, IProgress* rowProgress);
    // Writes `counts` big-endian at `pos` and returns to the end of the data.
    void PatchCounts(ByteWriter& out, std::uint64_t pos, const std::vector<WORD>& counts);
    void Step(IProgress* progress);

    std::uint64_t sectionPos_ = 0;
    std::vector<Layer> layers_;
    std::vector<BYTE> gathered_;
    std::vector<BYTE> packed_;
    std::uint64_t stepsDone_ = 0;
    std::uint64_t stepsTotal_ = 1;
    int lastPercent_ = -1;
};

} // namespace zepho
