// Blend and composition kernels on 32-bit straight-alpha images.
//
// Positions are the top-left corners of images in one coordinate space; the destination origin
// is the position of the destination's top-left pixel in that space. Only the intersection of
// the source (mapped into destination space) and the destination is visited, and nothing is
// written outside the destination. Images that are empty or not 32-bit are ignored.
#pragma once

#include "platform/PackedDib.h"

namespace zepho {

// The source at 100 %, each pixel drawn with the transparency rule (see BlendRow.h).
void BlendTransparent(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency);
// The source enlarged `zoom` times (zoom > 1) by pixel replication; srcPos is in document
// coordinates, dstOrigin in zoomed coordinates.
void BlendMagnified(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency,
                    int zoom);
// The source reduced by `factor` (> 1), taking every factor-th pixel.
void BlendReduced(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency,
                  int factor);
// One of the three above chosen by a view zoom: 1, 2..8 magnified, -2..-8 reduced.
void BlendAtZoom(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency,
                 int zoom);
// The same, touching only the destination rows [rowBegin, rowEnd), so that a composition can
// draw every layer into one band of rows while the band stays in the cache.
void BlendAtZoomRows(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency,
                     int zoom, int rowBegin, int rowEnd);

// Thumbnail drawing at a free scale (32768 = 1.0) into a destination whose origin is (0, 0).
void BlendScaled(PackedDib& dst, const PackedDib& src, POINT srcPos, int scale);
void BlendScaledShadow(PackedDib& dst, const PackedDib& src, POINT srcPos, int scale, int transparency);

// Alpha-preserving flattening: the first layer is copied (alpha lowered by the transparency),
// the later ones are composed over what is there.
void CopyLayer(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency);
void CompositeOver(PackedDib& dst, POINT dstOrigin, const PackedDib& src, POINT srcPos, int transparency);

// A new image covering both rectangles with B composed over A; outPos receives its position.
// Empty when neither image is usable or memory runs out.
PackedDib MergeImages(const PackedDib& a, POINT posA, int transparencyA, const PackedDib& b, POINT posB,
                      int transparencyB, POINT& outPos);

// The transparency of a shadow drawn under an object.
inline int CombinedShadowTransparency(int objectTransparency, int shadowTransparency) {
    return 255 - ((255 - objectTransparency) * (255 - shadowTransparency)) / 255;
}

} // namespace zepho
