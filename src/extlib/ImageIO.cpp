#include "extlib/ImageIO.h"

#include "extlib/ImageIOCodecs.h"
#include "extlib/ImageIOUtil.h"
#include "extlib/PngFile.h"
#include "extlib/RowCodecs.h"
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

namespace {

using Encoder = bool (*)(const PackedDib&, DWORD, ByteWriter&, IProgress*);

// The writer of a path's extension; null for a format this library does not write. BMP keeps any
// depth; the others take 24 bits or a palette, and 16 or 32 bits are converted (or kept, where
// the format has a place for them) by each writer.
Encoder EncoderFor(const std::string& path) {
    const std::string ext = UpperExtension(path);
    if (ext == "BMP" || ext == "DIB")
        return [](const PackedDib& d, DWORD, ByteWriter& o, IProgress* p) { return EncodeBmp(d, o, p); };
    if (ext == "JPG" || ext == "JPEG")
        return [](const PackedDib& d, DWORD opt, ByteWriter& o, IProgress* p) {
            return EncodeJpeg(d, JpegQuality(opt), o, p);
        };
    if (ext == "PNG")
        return [](const PackedDib& d, DWORD, ByteWriter& o, IProgress* p) { return EncodePng(d, o, p); };
    if (ext == "PCX")
        return [](const PackedDib& d, DWORD, ByteWriter& o, IProgress* p) { return EncodePcx(d, o, p); };
    if (ext == "TGA") return &EncodeTga;
    if (ext == "TIF" || ext == "TIFF") return &EncodeTiff;
    return nullptr;
}

} // namespace

bool EncodeImageFile(const std::string& path, const PackedDib& dib, DWORD option, ByteWriter& out,
                     IProgress* progress) {
    const Encoder encode = EncoderFor(path);
    return encode && imageio::Writable(dib) && encode(dib, option, out, progress);
}

BOOL CImage::SaveImageFile(const std::string& path, const PackedDib& dib, DWORD option, IProgress* progress) {
    const Encoder encode = EncoderFor(path);
    if (!encode || !imageio::Writable(dib)) return 0;
    FileWriter out(path);
    if (!out.IsOpen()) return 0;
    if (!encode(dib, option, out, progress)) {
        out.Abandon();
        return 0;
    }
    return out.Commit() ? 1 : 0;
}

// In the files of each format.
std::unique_ptr<CRowReader> OpenPngRowReader(const std::string& path);
std::unique_ptr<CRowReader> OpenJpegRowReader(const std::string& path);
std::unique_ptr<CRowWriter> CreatePngRowWriter(ByteWriter& out, int width, int height, int channels,
                                               int rowBits);
std::unique_ptr<CRowWriter> CreateJpegRowWriter(ByteWriter& out, int width, int height, int rowBits,
                                                int quality);
std::unique_ptr<CRowWriter> CreateTiffRowWriter(ByteWriter& out, int width, int height, int rowBits,
                                                DWORD code);

std::unique_ptr<CRowReader> CRowReader::Open(const std::string& path) {
    const std::string ext = UpperExtension(path);
    if (ext == "PNG") return OpenPngRowReader(path);
    if (ext == "JPG" || ext == "JPEG") return OpenJpegRowReader(path);
    return nullptr;
}

std::unique_ptr<CRowWriter> CRowWriter::Create(const std::string& path, ByteWriter& out, int width,
                                               int height, int channels, int rowBits, DWORD option) {
    const std::string ext = UpperExtension(path);
    if (ext == "PNG") return CreatePngRowWriter(out, width, height, channels, rowBits);
    if (ext == "JPG" || ext == "JPEG")
        return channels == 3 ? CreateJpegRowWriter(out, width, height, rowBits, JpegQuality(option))
                             : nullptr;
    if (ext == "TIF" || ext == "TIFF")
        return channels * 8 <= rowBits ? CreateTiffRowWriter(out, width, height, channels * 8, option)
                                       : nullptr;
    return nullptr;
}

} // namespace zepho
