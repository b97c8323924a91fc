#include "codecs/FileTypes.h"

#include "codecs/CodecStrings.h"
#include "platform/Path.h"

namespace zepho {

FileKind FileKindOf(const std::string& path) {
    struct Entry {
        const char* ext;
        FileKind kind;
    };
    static constexpr Entry kTable[] = {
        {"GIF", FileKind::Gif},   {"ICO", FileKind::Icon},  {"CUR", FileKind::Cursor},
        {"ANI", FileKind::Ani},   {"AVI", FileKind::Avi},   {"QZI", FileKind::Native},
        {"PSD", FileKind::Psd},   {"BMP", FileKind::Bmp},   {"DIB", FileKind::Bmp},
        {"JPG", FileKind::Jpg},   {"JPEG", FileKind::Jpg},  {"PCX", FileKind::Pcx},
        {"PNG", FileKind::Png},   {"TGA", FileKind::Tga},   {"TIF", FileKind::Tiff},
        {"TIFF", FileKind::Tiff}, {"WEBP", FileKind::Webp}, {"AVIF", FileKind::Avif},
        {"HEIC", FileKind::Heif}, {"HEIF", FileKind::Heif}, {"JXL", FileKind::Jxl},
    };
    const std::string ext = UpperExtension(path);
    for (const Entry& e : kTable)
        if (ext == e.ext) return e.kind;
    return FileKind::None;
}

const char* FileKindName(FileKind kind) {
    switch (kind) {
    case FileKind::Gif:
        return "GIF image";
    case FileKind::Icon:
        return "Icon";
    case FileKind::Cursor:
        return "Cursor";
    case FileKind::Ani:
        return "Animated cursor";
    case FileKind::Avi:
        return "AVI video";
    case FileKind::Native:
        return "QZI document";
    case FileKind::Psd:
        return "PSD image";
    case FileKind::Bmp:
        return "BMP image";
    case FileKind::Jpg:
        return "JPEG image";
    case FileKind::Pcx:
        return "PCX image";
    case FileKind::Png:
        return "PNG image";
    case FileKind::Tga:
        return "TGA image";
    case FileKind::Tiff:
        return "TIFF image";
    case FileKind::Webp:
        return "WebP image";
    case FileKind::Avif:
        return "AVIF image";
    case FileKind::Heif:
        return "HEIF image";
    case FileKind::Jxl:
        return "JPEG XL image";
    case FileKind::None:
        break;
    }
    return "";
}

bool IsLibraryFormat(FileKind kind) {
    switch (kind) {
    case FileKind::Bmp:
    case FileKind::Jpg:
    case FileKind::Pcx:
    case FileKind::Png:
    case FileKind::Tga:
    case FileKind::Tiff:
        return true;
    default:
        return false;
    }
}

bool CanOpen(FileKind kind) {
    return kind != FileKind::None;
}

bool CanExport(FileKind kind) {
    // HEIF is read only: HEVC encoding is left to the camera.
    return kind != FileKind::None && kind != FileKind::Avi && kind != FileKind::Native &&
           kind != FileKind::Heif;
}

bool CanKeepAlpha(FileKind kind) {
    return kind == FileKind::Png || kind == FileKind::Tiff || kind == FileKind::Tga || kind == FileKind::Bmp;
}

bool CanAnimate(FileKind kind) {
    return kind == FileKind::Webp || kind == FileKind::Gif || kind == FileKind::Ani || kind == FileKind::Jxl;
}

std::span<const SaveAsType> SaveAsTypes() {
    static constexpr SaveAsType kTypes[] = {
        {FileKind::Jpg, strings::kFilterJpg, "jpg"},    {FileKind::Gif, strings::kFilterGif, "gif"},
        {FileKind::Bmp, strings::kFilterBmp, "bmp"},    {FileKind::Psd, strings::kFilterPsd, "psd"},
        {FileKind::Png, strings::kFilterPng, "png"},    {FileKind::Tiff, strings::kFilterTiff, "tif"},
        {FileKind::Tga, strings::kFilterTga, "tga"},    {FileKind::Pcx, strings::kFilterPcx, "pcx"},
        {FileKind::Icon, strings::kFilterIco, "ico"},   {FileKind::Cursor, strings::kFilterCur, "cur"},
        {FileKind::Ani, strings::kFilterAni, "ani"},    {FileKind::Webp, strings::kFilterWebp, "webp"},
        {FileKind::Avif, strings::kFilterAvif, "avif"}, {FileKind::Jxl, strings::kFilterJxl, "jxl"},
    };
    return kTypes;
}

} // namespace zepho
