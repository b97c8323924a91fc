// The shadow settings as documents and clipboard blocks store them with each object: colour,
// type, transparency, size, smoothing, offsets, skew and perspective, then the shadow-on flag.
#pragma once

#include "model/ObjContent.h"
#include "platform/ByteStream.h"

namespace zepho {

void WriteShadowRecord(ByteWriter& out, const CObjContent& c, bool on);
// `withSkew` false reads the one older layout that has no skew and perspective.
bool ReadShadowRecord(ByteReader& in, CObjContent& c, bool withSkew, LONG& on);

} // namespace zepho
