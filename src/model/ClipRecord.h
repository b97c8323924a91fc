// The private clipboard record: objects travelling between documents as "QZI " "2005" blocks.
#pragma once

#include "model/ObjContent.h"
#include "model/ObjectNames.h"
#include "platform/Services.h"

#include <span>
#include <string>
#include <vector>

namespace zepho {

// One object on the clipboard: a content with the position and transparency it is pasted with.
// A cut-out carries its own pixels and travels as a plain image object.
struct CClipItem {
    Ref<CObjContent> content;
    POINT position{};
    int transparency = 0;
    PackedDib cutout;
};

std::vector<BYTE> WriteClipBlock(const std::vector<CClipItem>& items);
// Items whose payload yields no raster are skipped; a block with a wrong magic or version, or
// one whose table does not fit, gives nothing.
std::vector<CClipItem> ReadClipBlock(std::span<const BYTE> block, const NameForKind& nameFor);

// Puts the items on the clipboard in the private format; false when there is nothing to put.
bool CopyToClipboard(IClipboard& clipboard, const std::vector<CClipItem>& items);
// The private format when offered, else a plain DIB as one image item at (0, 0).
std::vector<CClipItem> PasteFromClipboard(const IClipboard& clipboard, const NameForKind& nameFor);

} // namespace zepho
