#include "codecs/OpenExport.h"

#include "codecs/FileTypes.h"
#include "codecs/GifCodec.h"
#include "extlib/ImageIO.h"
#include "model/Frame.h"
#include "raster/ColorReduce.h"
#include "raster/Dib.h"

namespace zepho {

namespace {

// The image-file library's reader of a kind, at the depth the file holds.
PackedDib LoadWithLibrary(FileKind kind, const std::string& path, IProgress* progress) {
    CImage image;
    switch (kind) {
    case FileKind::Bmp:
        return image.LoadBmpFile(path, progress);
    case FileKind::Jpg:
        return image.LoadJPGFile(path, progress);
    case FileKind::Pcx:
        return image.LoadPCXFile(path, progress);
    case FileKind::Png:
        return image.LoadPNGFile(path, progress);
    case FileKind::Tga:
        return image.LoadTGAFile(path, progress);
    case FileKind::Tiff:
        return image.LoadTIFFFile(path, progress);
    case FileKind::Psd:
        return image.LoadPSDFile(path, progress);
    default:
        return {};
    }
}

// One image object at (0, 0) that fills the canvas.
bool AppendSingleImage(CDocImage& doc, PackedDib dib) {
    if (!dib) return false;
    if (dib.BitCount() != 32) {
        dib = ConvertTo32(dib);
        if (!dib) return false;
    }
    doc.width = dib.Width();
    doc.height = dib.Height();
    doc.gifBackgroundIndex = 0;
    doc.gifTransparentIndex = 0;
    Ref<CObjContent> content = MakeRef<CObjContent>(KindImage);
    content->SetRaster(std::move(dib));
    Ref<CDrawObj> obj = MakeRef<CDrawObj>(content);
    obj->visible = 1;
    doc.objects.AddTail(obj);
    return true;
}

} // namespace

bool OpenFile(CDocImage& doc, const std::string& path, LoadFlags& flags, IProgress* progress) {
    doc.Clear();
    const FileKind kind = FileKindOf(path);
    if (kind == FileKind::Native) {
        flags.nativeLoaded = true;
        return doc.ReadNativeAnyVersion(path, progress) != 0;
    }
    if (kind == FileKind::Gif) return ReadGifFile(doc, path, progress);
    if (IsLibraryFormat(kind) || kind == FileKind::Psd)
        return AppendSingleImage(doc, LoadWithLibrary(kind, path, progress));
    return false;
}

PackedDib FlattenForExport(const CDocImage& doc, COLORREF background) {
    PackedDib canvas = CreateSolidDIB(doc.width, doc.height, background, 255);
    if (canvas) FlattenFrame(doc.objects, canvas, POINT{0, 0}, 1);
    return canvas;
}

bool ExportFile(const CDocImage& doc, const std::string& path, DWORD option, DWORD extra, IProgress* progress,
                COLORREF background) {
    const FileKind kind = FileKindOf(path);
    if (kind == FileKind::Gif) return ExportGif(doc, path, progress, option != 0);
    if (!IsLibraryFormat(kind)) return false;
    PackedDib image = ConvertTo24(FlattenForExport(doc, background));
    if (!image) return false;
    // Few enough colours go out as an exact palette image.
    if (PackedDib exact = MakeExactPalette(image)) image = std::move(exact);
    return CImage().SaveImageFile(path, image, option, progress) != 0;
}

bool ExportBmp(const CDocImage& doc, const std::string& path, int colorChoice, IProgress* progress,
               COLORREF background) {
    PackedDib flat = FlattenForExport(doc, background);
    if (!flat) return false;
    PackedDib image = ConvertForExport(flat, colorChoice);
    if (!image) return false;
    return CImage().SaveImageFile(path, image, 85, progress) != 0;
}

PackedDib LoadPreviewImage(const std::string& path) {
    const FileKind kind = FileKindOf(path);
    if (kind == FileKind::Gif) return LoadGifPreview(path);
    if (IsLibraryFormat(kind) || kind == FileKind::Psd) return LoadWithLibrary(kind, path, nullptr);
    return {};
}

} // namespace zepho
