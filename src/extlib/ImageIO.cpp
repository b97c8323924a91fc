#include "extlib/ImageIO.h"

#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PngFile.h"
#include "platform/ByteStream.h"
#include "platform/Path.h"

#include <vector>

namespace zepho {

namespace {

using Decoder = PackedDib (*)(std::span<const BYTE>, IProgress*);

PackedDib LoadWith(Decoder decode, const std::string& path, IProgress* progress) {
    std::vector<BYTE> bytes;
    if (!imageio::ReadWholeFile(path, bytes)) return {};
    PackedDib dib = decode(bytes, progress);
    if (dib && progress) progress->SetPos(100);
    return dib;
}

// The option word of a JPEG save is its quality; out-of-range values take the nearest end.
int JpegQuality(DWORD option) {
    return option > 100 ? 100 : option < 1 ? 1 : static_cast<int>(option);
}

} // namespace

PackedDib CImage::LoadBmpFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodeBmp, path, progress);
}

PackedDib CImage::LoadJPGFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodeJpeg, path, progress);
}

PackedDib CImage::LoadTIFFFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodeTiff, path, progress);
}

PackedDib CImage::LoadPSDFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodePsdComposite, path, progress);
}

PackedDib CImage::LoadTGAFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodeTga, path, progress);
}

PackedDib CImage::LoadPNGFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodePng, path, progress);
}

PackedDib CImage::LoadPCXFile(const std::string& path, IProgress* progress) {
    return LoadWith(&DecodePcx, path, progress);
}

BOOL CImage::SaveImageFile(const std::string& path, const PackedDib& dib, DWORD option, IProgress* progress) {
    if (!imageio::Writable(dib)) return 0;
    const std::string ext = UpperExtension(path);
    // BMP keeps any depth; the others take 24 bits or a palette, and 16 or 32 bits are converted
    // (or kept, where the format has a place for them) by each writer.
    enum class Kind { Bmp, Jpeg, Png, Pcx, Tga, Tiff } kind;
    if (ext == "BMP" || ext == "DIB")
        kind = Kind::Bmp;
    else if (ext == "JPG" || ext == "JPEG")
        kind = Kind::Jpeg;
    else if (ext == "PNG")
        kind = Kind::Png;
    else if (ext == "PCX")
        kind = Kind::Pcx;
    else if (ext == "TGA")
        kind = Kind::Tga;
    else if (ext == "TIF" || ext == "TIFF")
        kind = Kind::Tiff;
    else
        return 0;

    FileWriter out(path);
    if (!out.IsOpen()) return 0;
    bool ok = false;
    switch (kind) {
    case Kind::Bmp:
        ok = EncodeBmp(dib, out, progress);
        break;
    case Kind::Jpeg:
        ok = EncodeJpeg(dib, JpegQuality(option), out, progress);
        break;
    case Kind::Png:
        ok = EncodePng(dib, out, progress);
        break;
    case Kind::Pcx:
        ok = EncodePcx(dib, out, progress);
        break;
    case Kind::Tga:
        ok = EncodeTga(dib, option, out, progress);
        break;
    case Kind::Tiff:
        ok = EncodeTiff(dib, option, out, progress);
        break;
    }
    if (!ok) {
        out.Abandon();
        return 0;
    }
    return out.Commit() ? 1 : 0;
}

} // namespace zepho
