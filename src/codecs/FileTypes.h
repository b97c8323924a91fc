// File types as the path's extension names them; contents are never sniffed.
#pragma once

#include <span>
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
    Avif,
    Heif,
    Jxl
};

// The kind the upper-cased extension names; None without an extension or for an unknown one.
FileKind FileKindOf(const std::string& path);
// What the kind is called in the interface ("JPEG image"); empty for None.
const char* FileKindName(FileKind kind);
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

// One entry of the Save As list: the format, its save dialog's filter string and the extension a
// proposed file name gets.
struct SaveAsType {
    FileKind kind;
    const char* filter;
    const char* extension;
};
// Every format Save As offers, in the order of its menu.
std::span<const SaveAsType> SaveAsTypes();

} // namespace zepho
