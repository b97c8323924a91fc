// The layered PSD entry points of the open and export dispatch. The flattened picture of a PSD
// file is read by the image-file library (CImage::LoadPSDFile); the layers are read and written
// here.
#pragma once

#include "model/DocImage.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <string>

namespace zepho {

class ByteReader;
class ByteWriter;

// What the opener does with a PSD file: 0 it is not a readable PSD (the open fails), 1 read the
// flattened picture, 2 an RGB file with at least two layers (the user may choose).
int CheckPsdFile(const std::string& path);
int CheckPsd(ByteReader& in);

// Reads every RGB layer of the file into the (already cleared) model: the canvas takes the
// file's size, each layer with the three colour channels becomes an image object at its place,
// bottom layer first, with its name, its opacity as the object's transparency and its visibility.
// Channels may be raw, PackBits or Zip coded (with or without prediction), at 8 or 16 bits.
// False for a file that is not an 8- or 16-bit RGB PSD or whose layer data is damaged (objects
// appended before the damage stay), and for a file none of whose layers yields an object: then
// `problem` receives the text the user is shown.
bool ReadPsdLayers(CDocImage& doc, const std::string& path, IProgress* progress,
                   std::string* problem = nullptr);
bool ReadPsdLayers(CDocImage& doc, ByteReader& in, IProgress* progress, std::string* problem = nullptr);

// Writes every object as one layer (a shadow baked into its object's layer), then the visible
// objects flattened over `background` as the file's composite, through a temporary file that
// replaces the target only when every byte was written. Never changes the document. False on any
// failure; the target is then untouched.
bool ExportPsd(const CDocImage& doc, const std::string& path, IProgress* progress, COLORREF background);
// The same over white, the background colour's default.
bool ExportPsd(const CDocImage& doc, const std::string& path, IProgress* progress);
bool ExportPsd(const CDocImage& doc, ByteWriter& out, IProgress* progress, COLORREF background);

} // namespace zepho
