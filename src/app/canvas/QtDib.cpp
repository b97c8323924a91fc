#include "app/canvas/QtDib.h"

#include <cstring>

namespace zepho {

QImage ToQImage(const PackedDib& dib) {
    if (!dib.Is32()) return {};
    QImage image(dib.Width(), dib.Height(), QImage::Format_ARGB32);
    if (image.isNull()) return image;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(dib.Width());
    for (int y = 0; y < dib.Height(); ++y)
        std::memcpy(image.scanLine(y), dib.Row(y), rowBytes);
    return image;
}

PackedDib FromQImage(const QImage& image) {
    if (image.isNull()) return {};
    // ARGB32 is straight alpha stored B, G, R, A in memory on little-endian machines.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    PackedDib dib = PackedDib::Create(argb.width(), argb.height(), 32);
    if (!dib) return dib;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(argb.width());
    for (int y = 0; y < argb.height(); ++y)
        std::memcpy(dib.Row(y), argb.constScanLine(y), rowBytes);
    return dib;
}

} // namespace zepho
