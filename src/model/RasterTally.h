// Counts the pixel memory that a set of holders keeps alive, each shared block once.
#pragma once

#include "platform/PackedDib.h"

#include <cstddef>
#include <unordered_set>

namespace zepho {

class CDrawObj;
class CDrawObjList;
class CObjContent;
class CObjShape;

class CRasterTally {
public:
    CRasterTally() = default;
    // Blocks that `known` holds are left out of this tally (not owned; must outlive it).
    explicit CRasterTally(const CRasterTally* known) : known_(known) {}

    void Add(const PackedDib& dib);
    // What an object keeps: its raster, its shadow and its shape's own rasters.
    void AddContent(const CObjContent* content);
    void AddObject(const CDrawObj* obj);
    void AddObjects(const CDrawObjList& list);
    void AddShape(const CObjShape* shape);

    std::size_t Bytes() const { return bytes_; }
    bool Holds(const void* blockKey) const { return blocks_.count(blockKey) != 0; }

private:
    const CRasterTally* known_ = nullptr;
    std::unordered_set<const void*> blocks_;
    std::size_t bytes_ = 0;
};

} // namespace zepho
