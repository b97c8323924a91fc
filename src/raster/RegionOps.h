// Pixel work behind selections, brushes and fills: regions of similar colour (the magic wand),
// cutting and merging inside a region, brush-stroke masks and their application to alpha, and
// the four fills. Images are 32-bit object rasters; positions are document coordinates of an
// image's top-left pixel unless said otherwise.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Region.h"

#include <optional>

namespace zepho {

// Adds `rc` to the first `count` rectangles of `list` (room for at least count + 1), merging it
// with an equal-height neighbour left/right or an equal-width neighbour above/below, again and
// again; returns the new count.
int AddRectMerged(RECT* list, int count, RECT rc);

// Regions of the pixels similar to the one at (x, y) (clamped into the image): same class
// (alpha >= 128 or not) and each channel within the tolerance. Image coordinates. Empty optional
// when memory runs out.
std::optional<Region> SelectSimilarContiguous(const PackedDib& image, int x, int y, int tolerance);
std::optional<Region> SelectSimilarGlobal(const PackedDib& image, int x, int y, int tolerance);

// Every pixel of `rc` lies in the region.
bool RectInRegion(const Region& region, const RECT& rc);

// The pixels of the image (at `pos`) that lie in the region (document coordinates), cut to the
// region's bounds; empty on an empty intersection. outPos receives the result's position.
PackedDib CopyRegionPixels(const PackedDib& image, POINT pos, const Region& region, POINT& outPos);
// B composed over A, only inside the region and its bounds; empty on an empty result.
PackedDib MergeImagesInRegion(const PackedDib& a, POINT posA, int transparencyA, const PackedDib& b,
                              POINT posB, int transparencyB, const Region& region, POINT& outPos);

// A brush mask is an 8-bit DIB, one coverage byte 0..255 per pixel (0: untouched), with a grey
// colour table of 256 entries so that it can be looked at as an image; the kernels read only the
// bytes. Empty when memory runs out.
PackedDib CreateBrushMask(int width, int height);

// An 8-bit brush mask laid on the image with its top-left at `maskPos` (image coordinates);
// `region` (image coordinates) limits the pixels touched. Only the alpha byte changes:
// Erase lowers it to 255 - m, Paint raises it to m, WhereOpaque only where the reference image
// (same coordinates as the image) has alpha above 0.
void EraseByMask(PackedDib& image, const PackedDib& mask, POINT maskPos, const Region* region);
void PaintAlphaByMask(PackedDib& image, const PackedDib& mask, POINT maskPos, const Region* region);
void PaintAlphaByMaskWhereOpaque(PackedDib& image, const PackedDib& mask, const PackedDib& reference,
                                 POINT maskPos, const Region* region);

// Fills (image coordinates for the seed and the region). The similar-colour fills compose the fill
// colour over pixels of alpha above 0 whose channels lie within the tolerance of `reference`,
// with `opacity` as the fill's alpha; the transparent fills set pixels of alpha 0 to the colour
// with `alpha`. A flood paints its seed without the test, but never a seed outside the image or
// the region. False when memory runs out.
bool FloodFillSimilar(PackedDib& image, COLORREF reference, COLORREF fill, int opacity, int tolerance,
                      POINT seed, const Region* region);
bool FillSimilarGlobal(PackedDib& image, COLORREF reference, COLORREF fill, int opacity, int tolerance,
                       const Region* region);
bool FloodFillTransparent(PackedDib& image, COLORREF fill, int alpha, POINT seed, const Region* region);
bool FillTransparentGlobal(PackedDib& image, COLORREF fill, int alpha, const Region* region);

// Copies the source's non-transparent pixels over the destination (each at its position) and
// clears the blue byte of each source pixel moved.
void MoveOpaquePixels(PackedDib& dst, POINT dstPos, PackedDib& src, POINT srcPos);

// A stroke end in image coordinates (single precision, as the stepping is).
struct PointF {
    float x = 0, y = 0;
};

// The mask of one brush step from p1 to p2 with pen width w and coverage `value`, clipped to a
// width x height image and the region's bounds (image coordinates); empty when nothing is drawn
// (both ends outside the image, a width outside 1..kMaxPenWidth, coordinates that are not finite).
// A step whose ends coincide stamps the tip once. maskPos receives the mask's top-left.
constexpr int kMaxPenWidth = 4096;
PackedDib StrokeMask(int width, int height, PointF p1, PointF p2, int w, int value, const Region* region,
                     bool diskTip, POINT& maskPos);
// Raises the mask to a w x h tile (bytes, `w` wide) placed at `pos` (mask coordinates) where the
// tile is larger; `region` (image coordinates, with the mask at `maskPos`) limits it.
void StampMax(PackedDib& mask, POINT pos, const BYTE* tile, int w, int h, const Region* region,
              POINT maskPos);

} // namespace zepho
