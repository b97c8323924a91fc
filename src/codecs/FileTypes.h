// File types as the path's extension names them; contents are never sniffed.
#pragma once

#include <string>

namespace zepho {

enum class FileKind {
    None,
    Gif,
    Icon,
    Cursor,
    Ani,
    Avi,
    Native,
    Psd,
    Bmp,
    Jpg,
    Pcx,
    Png,
    Tga,
    Tiff,
    Webp,
    Avif
};

// The kind the upper-cased extension names; None without an extension or for an unknown one.
FileKind FileKindOf(const std::string& path);
// Formats read and written by the image-file library rather than by our own codecs.
bool IsLibraryFormat(FileKind kind);
// What OpenFile can read and ExportFile can write today.
bool CanOpen(FileKind kind);
bool CanExport(FileKind kind);
// Formats whose export can keep the flattened image's transparency when asked to (PNG, TIFF,
// TGA, BMP); WebP and AVIF always keep it.
bool CanKeepAlpha(FileKind kind);
// Formats that can be exported as an animation, one frame per visible object.
bool CanAnimate(FileKind kind);

} // namespace zepho
