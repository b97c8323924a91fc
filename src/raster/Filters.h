// The filters of the Transform menu on 32-bit object images. Each returns a new image of the same
// size and leaves the input untouched; the result is empty when the input is not a 32-bit image
// or memory runs out. Pixels are counted from the top-left; edge pixels repeat outwards.
// All of them work in bands of rows spread over threads (ParallelFor): a watch attached to the
// calling thread counts their progress, and once it is cancelled they stop part-way (the result
// is then incomplete, for the caller to throw away). The bytes never depend on the threads.
#pragma once

#include "platform/PackedDib.h"

namespace zepho {

// Mean of the n x n window around each pixel, all four channels, truncated; n is `size` limited
// to the image's width and height and made odd (even sizes step down, but 2 gives 3). Cost is
// independent of the size.
PackedDib BoxBlur(const PackedDib& src, int size);

// Separable Gaussian of radius r = (n - 1) / 2 (at least 1) and sigma r / 3, n as for BoxBlur.
// Windows cut by the image border are renormalised. All four channels. Computed in single
// precision and spread over threads; every channel is within 1 of the double-precision
// definition below.
PackedDib GaussianBlur(const PackedDib& src, int size);

namespace detail {
// The blur in double precision, horizontal pass first, one row after another: the reference
// that the fast path is tested against.
PackedDib GaussianBlurReference(const PackedDib& src, int size);
} // namespace detail

// v + f * (v - mean of the 8 neighbours), f = amount / 100 in whole steps, all four channels.
PackedDib Sharpen(const PackedDib& src, int amount);

// Red, green and blue all become elevation + weight * (brightness difference to the neighbour in
// the direction of `angle` degrees) / 3. Alpha is kept.
PackedDib Emboss(const PackedDib& src, int elevation, int weight, int angle);

// Adds a light that falls off with the squared distance from the point at the given percentages
// (horizontal from the left, vertical from the bottom) to nothing at the farthest corner. Alpha
// is kept.
PackedDib Sunspot(const PackedDib& src, int horzPercent, int vertPercent, int brightness);

} // namespace zepho
