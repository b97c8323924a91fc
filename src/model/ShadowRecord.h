// The shadow settings as documents and clipboard blocks store them with each object: colour,
// type, transparency, size, smoothing, offsets, skew and perspective, then the shadow-on flag.
#pragma once

#include "model/ObjContent.h"
#include "platform/ByteStream.h"

namespace zepho {

// Positions and shadow offsets are held to +-kMaxStoredPosition when read: a position plus a
// shadow offset plus a raster's size then stays inside 32 bits wherever the object is drawn.
// Nothing that could be seen on a canvas lies that far out.
constexpr LONG kMaxStoredPosition = 1 << 29;
inline LONG ClampStoredPosition(LONG v) {
    return v < -kMaxStoredPosition ? -kMaxStoredPosition : v > kMaxStoredPosition ? kMaxStoredPosition : v;
}

void WriteShadowRecord(ByteWriter& out, const CObjContent& c, bool on);
// `withSkew` false reads the one older layout that has no skew and perspective.
bool ReadShadowRecord(ByteReader& in, CObjContent& c, bool withSkew, LONG& on);

} // namespace zepho
