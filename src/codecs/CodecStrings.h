// Texts of opening, adding and exporting files.
#pragma once

namespace zepho::strings {

inline constexpr const char kLoadFileFailed[] = "Load file %s fail!";

// A layered PSD none of whose layers could be read: refused rather than opened empty.
inline constexpr const char kPsdNoLayerShown[] =
    "None of the layers of this PSD file could be read, so there is nothing to show.";

// Shown by the icon, cursor and animated-cursor exports when the canvas is larger than an icon.
inline constexpr const char kIconScaled[] =
    "Icons and cursors hold at most 256 x 256 pixels: the %d x %d picture is saved scaled down to %d x %d.";

// A video damaged part way: the frames before the damage were imported.
inline constexpr const char kAviCutOne[] =
    "Only the first frame of this video could be read; it was imported and the rest was left out.";
inline constexpr const char kAviCutMany[] =
    "Only the first %u frames of this video could be read; they were imported and the rest was left out.";

inline constexpr const char kOpenFilter[] =
    "All Supported "
    "Format|*.qzi;*.gif;*.bmp;*.dib;*.jpg;*.jpeg;*.pcx;*.png;*.tga;*.tiff;*.tif;*psd;*.ico;*cur;*ani;*.webp;*"
    ".avif;*.heic;*.heif;*.jxl|"
    "QZI (Quarnix Zepho Image)|*.qzi|BMP (Windows Bitmap)|*.bmp;*.dib|JPG (JPEG File Interchange "
    "Format)|*.jpg;*.jpeg|"
    "GIF (Graphics Interchange Format)|*.gif|PCX (PC Paintbrush)|*.pcx|PNG (Portable Network Graphics)|*.png|"
    "TIFF (Tag Image File Format)|*.tif;*tiff|TGA Files (Targa File Format)|*.tga|PSD (Photoshop File "
    "Format)|*.psd|"
    "ICO (Windows Icons)|*.ico|CUR (Windows Cursors)|*.cur|ANI (Windows Animator Cursors)|*.ani|"
    "WEBP (WebP Image)|*.webp|AVIF (AV1 Image File Format)|*.avif|HEIF (High Efficiency Image File "
    "Format)|*.heic;*.heif|JXL (JPEG XL Image)|*.jxl||";

inline constexpr const char kFilterJpg[] = "JPG (JPEG File Interchange Format)|*.jpg;*.jpeg||";
inline constexpr const char kFilterGif[] = "GIF (Graphics Interchange Format)|*.gif||";
inline constexpr const char kFilterPng[] = "PNG (Portable Network Graphics)|*.png||";
inline constexpr const char kFilterPcx[] = "PCX (PC Paintbrush)|*.pcx||";
inline constexpr const char kFilterTiff[] = "TIFF (Tag Image File Format)|*.tif;*tiff||";
inline constexpr const char kFilterTga[] = "TGA Files (Targa File Format)|*.tga||";
inline constexpr const char kFilterIco[] = "ICO (Windows Icons)|*.ico||";
inline constexpr const char kFilterCur[] = "CUR (Windows Cursors)|*.cur||";
inline constexpr const char kFilterAni[] = "ANI (Windows Animator Cursors)|*.ani||";
inline constexpr const char kFilterPsd[] = "PSD (Photoshop File Format)|*.psd||";
inline constexpr const char kFilterBmp[] = "BMP (Windows Bitmap)|*.bmp;*.dib||";
inline constexpr const char kFilterWebp[] = "WEBP (WebP Image)|*.webp||";
inline constexpr const char kFilterAvif[] = "AVIF (AV1 Image File Format)|*.avif||";
inline constexpr const char kFilterJxl[] = "JXL (JPEG XL Image)|*.jxl||";
inline constexpr const char kFilterAvi[] = "Microsoft AVI Files(*.avi)|*.avi||";

} // namespace zepho::strings
