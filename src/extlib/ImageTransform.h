// Colour conversion and adjustment calls on packed DIBs.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <utility>
#include <vector>

namespace zepho {

// Reads pixel x of one row of pixels at the given depth (1, 4, 8, 16, 24 or 32 bits) into red,
// green and blue. Depths of 8 bits or less look the index up in the colour table, which must
// hold every index the row uses (an index past `colorCount` reads as black). 16-bit pixels are
// 5-5-5 with the low bits left empty.
void GetPixelRGB(const BYTE* row, int x, int bitCount, const RGBQUAD* colorTable, BYTE& red, BYTE& green,
                 BYTE& blue, int colorCount = 256);

// A map from colour key 0x00RRGGBB to palette index: 17 buckets, bucket = (key >> 4) % 17.
class CColorIndexMap {
public:
    // The index stored for key, or -1.
    int Lookup(DWORD key) const;
    void SetAt(DWORD key, int index);
    int GetCount() const { return count_; }
    void RemoveAll();
    // Every (key, index) pair, bucket by bucket.
    std::vector<std::pair<DWORD, int>> Entries() const;

    static constexpr int kBuckets = 17;

private:
    struct Entry {
        DWORD key;
        int index;
    };
    std::vector<Entry> buckets_[kBuckets];
    int count_ = 0;
};

// A logical palette (the "palette handle" of the conversions).
struct CPalette {
    WORD version = 0x300;
    std::vector<RGBQUAD> entries;
};

// Quantises any depth to a palette DIB of `bits` (4 or 8) with at most `colors` entries.
PackedDib ReduceColorQuantity(const PackedDib& dib, int bits, int colors, IProgress* progress, int base);
// A palette of at most `colors` (2..256) entries for weighted colours (keys 0x00RRGGBB, each
// with its pixel count), chosen by the same quantiser as ReduceColorQuantity; for palettes shared
// by several images, such as the frames of an animation. `speed` runs from 1 (slowest, least
// error) to 10; ReduceColorQuantity works at 4. Empty on failure or without colours.
std::vector<RGBQUAD> QuantizeColorHistogram(const std::vector<std::pair<DWORD, unsigned>>& colours,
                                            int colors, int speed = 4);
// Any depth into `bits` per pixel; depths of 8 or less map every pixel to the nearest entry of
// `palette` (or of a palette the conversion chooses when it is null).
PackedDib ConvertDIBFormat(const PackedDib& dib, int bits, const CPalette* palette);
// A 24-bit DIB into a palette DIB whose pixels are the map's indices and whose colour table lists
// the map's colours (the smallest of 1, 4 or 8 bits that holds them). Empty when a pixel's colour
// is missing from the map.
PackedDib Convert24BitsDIBToLowerBitsDIB(const PackedDib& dib24, const CColorIndexMap& map);

} // namespace zepho

namespace zepho {

// Colour adjustments of 24- and 32-bit DIBs by the dialogs' slider positions. Each returns a new
// DIB of the same size and depth (alpha kept) and leaves the input untouched; empty for other
// depths or when memory runs out. 0 everywhere means no change. A progress indicator, when given,
// advances from `base` by row.

// Brightness -255..255 is added to every channel; contrast -127..127 then scales the distance from
// mid-grey 128 by (128 + c) / 128 below zero and 128 / (128 - c) above it. Clamped after each step.
PackedDib AdjustDIBBrightAndConstract(const PackedDib& dib, int brightness, int contrast, IProgress* progress,
                                      int base);
// In the hue/saturation/lightness double cone: hue -180..180 turns the hue by that many degrees;
// saturation -100..100 scales it by 1 + s / 100 (at most fully saturated, so greys stay grey);
// lightness -100..100 moves it that many percent of the way towards white (up) or black (down).
PackedDib AdjustDIBHSL(const PackedDib& dib, int hue, int saturation, int lightness, IProgress* progress,
                       int base);
// Red, green and blue -255..255 are added to their channels.
PackedDib AdjustDIBRGB(const PackedDib& dib, int red, int green, int blue, IProgress* progress, int base);

} // namespace zepho
