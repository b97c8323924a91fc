#include "model/ShadowRecord.h"

namespace zepho {

void WriteShadowRecord(ByteWriter& out, const CObjContent& c, bool on) {
    out.WriteU32(c.shadowColour);
    out.WriteU8(static_cast<BYTE>(c.shadowType));
    out.WriteU8(c.shadowTransparency);
    out.WriteU8(c.shadowSize);
    out.WriteU8(c.shadowSmooth);
    out.WriteI32(c.shadowOffsetX);
    out.WriteI32(c.shadowOffsetY);
    out.WriteU16(c.shadowSkew);
    out.WriteU16(c.shadowPerspective);
    out.WriteI32(on ? 1 : 0);
}

bool ReadShadowRecord(ByteReader& in, CObjContent& c, bool withSkew, LONG& on) {
    BYTE type = 0;
    on = 0;
    if (!in.ReadU32(c.shadowColour) || !in.ReadU8(type) || !in.ReadU8(c.shadowTransparency) ||
        !in.ReadU8(c.shadowSize) || !in.ReadU8(c.shadowSmooth) || !in.ReadI32(c.shadowOffsetX) ||
        !in.ReadI32(c.shadowOffsetY))
        return false;
    c.shadowType = type;
    c.shadowOffsetX = ClampStoredPosition(c.shadowOffsetX);
    c.shadowOffsetY = ClampStoredPosition(c.shadowOffsetY);
    if (withSkew && (!in.ReadU16(c.shadowSkew) || !in.ReadU16(c.shadowPerspective))) return false;
    return in.ReadI32(on);
}

} // namespace zepho
