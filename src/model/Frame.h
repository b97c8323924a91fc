// Composition of a document's object stack (its frame): for the view, for export, with
// transparency kept, the selection outlines and the objects panel's thumbnails.
#pragma once

#include "model/DrawObjList.h"

namespace zepho {

// An image drawn on top of the stack while it is being moved or pasted.
struct FloatingImage {
    const PackedDib* image = nullptr;
    POINT position{}; // document coordinates
    int transparency = 0;
    const CDrawObj* after = nullptr; // drawn directly above this object; above all when null
};

// Draws the visible objects (each shadow first) bottom to top into dst at the zoom, with the
// floating image in its place, then the selection outlines. dstOrigin is in view coordinates.
void DrawFrame(const CDrawObjList& frame, PackedDib& dst, POINT dstOrigin, int zoom,
               const FloatingImage& floating = {});
// The visible objects at list positions first .. last - 1 alone, without floating image or
// outlines, each pixel getting the same bytes as in DrawFrame: drawing the ranges [0, k) and
// [k, count) one after the other into one destination gives the objects of DrawFrame.
void DrawFrameRange(const CDrawObjList& frame, PackedDib& dst, POINT dstOrigin, int zoom, int first,
                    int last);
// The same without floating image or outlines: the flattening for export.
void FlattenFrame(const CDrawObjList& frame, PackedDib& dst, POINT dstOrigin, int zoom);
// A new w x h image with the visible objects composed keeping their transparency.
PackedDib CompositeVisible(const CDrawObjList& frame, int w, int h);
// Rows top .. top + rows - 1 of that image, the same bytes, as a w x rows image: a large canvas
// can be composed and written a band at a time.
PackedDib CompositeVisibleRows(const CDrawObjList& frame, int w, int top, int rows);

// Composes visible objects one at a time, as CompositeVisible does for a whole stack: after
// adding objects 0..i the image equals CompositeVisible of a stack of just those. Animation
// writers take each step as one frame.
class CFrameComposer {
public:
    // A transparent w x h image; false when it cannot be allocated.
    bool Start(int w, int h);
    // Draws the object (its shadow first) over what is there; false, drawing nothing, for a
    // hidden object or one without pixels.
    bool Add(const CDrawObj& obj);
    const PackedDib& Image() const { return image_; }
    PackedDib Take() { return std::move(image_); }

private:
    void Draw(const PackedDib& img, POINT pos, int transparency);
    PackedDib image_;
    bool first_ = true;
};
// The dashed outline around every visible selected object.
void DrawSelectionOutlines(const CDrawObjList& frame, PackedDib& dst, POINT dstOrigin, int zoom);
// The object and its shadow drawn at a free scale (32768 = 1.0) into a thumbnail.
void DrawObjectThumbnail(const CDrawObj& obj, PackedDib& dst, int scale);

} // namespace zepho
