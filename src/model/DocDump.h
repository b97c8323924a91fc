// A text picture of a document's content, for comparing states in tests: every field of the
// canvas and of each object, with a checksum in place of each raster.
#pragma once

#include "model/DocImage.h"

#include <cstdint>
#include <string>

namespace zepho {

struct DumpOptions {
    // Selection flags follow the user's clicks as well as the content; leave them out to
    // compare content only.
    bool selection = true;
};

std::string DumpDocument(const CDocImage& doc, const DumpOptions& options = {});
// FNV-1a over the whole block (header and pixels); 0 for an empty one.
std::uint64_t DibChecksum(const PackedDib& dib);

} // namespace zepho
