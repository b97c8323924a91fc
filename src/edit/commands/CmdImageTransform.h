// The Image menu: Crop to Selection, the flips and the quarter turns of the whole picture. Each
// changes the canvas and every object (hidden ones too) and records one undo step.
#pragma once

#include "edit/document/OrvaneDoc.h"
#include "platform/Services.h"

namespace zepho {

class COrvaneView;

enum class WholeImageOp { FlipHorz, FlipVert, Rotate90Cw, Rotate90Ccw, Rotate180 };

// The canvas follows the turn (a quarter turn swaps width and height). Image objects get their
// pixels mirrored or turned exactly; a quarter or half turn of a shape, a text or a transformed
// image goes through the object's own rotation, so it stays editable. A flip cannot be expressed
// by a shape's geometry: after one question the shapes and texts become image objects (No
// cancels the command). The view's selection is dropped with the undo step.
bool CmdTransformWholeImage(COrvaneDoc& doc, COrvaneView* view, WholeImageOp op, IUiHost& ui);

// The canvas becomes the selection's bounding box (within the canvas); every object moves by
// the box's top-left and keeps its pixels, the parts outside staying off the canvas as after a
// canvas resize. The selection moves with the picture.
bool CmdCropToSelection(COrvaneDoc& doc, COrvaneView* view);
bool CanCropToSelection(const COrvaneDoc& doc, const COrvaneView* view);
bool CanTransformWholeImage(const COrvaneDoc& doc);

// A free transform (scales and angle about a centre, as CDrawObj::TransformAbout) worked out on
// a copy of the object, so that the rendering may run on a worker while the object itself stays
// as it is; InstallTransform then makes the object exactly what the transform would have made it.
struct CPreparedTransform {
    // The transformed copy of the content; null when the transform gave nothing.
    Ref<CObjContent> content;
    POINT position{};
    // The rendering was refused as too large to draw (the shape's mark after the attempt).
    bool tooLarge = false;
};
// Reads `obj` only.
CPreparedTransform PrepareTransformAbout(const CDrawObj& obj, double centerX, double centerY, double scaleX,
                                         double scaleY, double angle);
void InstallTransform(CDrawObj& obj, CPreparedTransform& prepared);
// TransformAbout with its rendering run through RunLongWork: false, with the object as it was,
// when the transform gave nothing or the user cancelled it.
bool TransformAboutInBackground(CDrawObj& obj, double centerX, double centerY, double scaleX, double scaleY,
                                double angle);

// A copy of a content to render from: its shape (or, without one, its raster) and every value the
// rendering and the shadow read, but not the rasters the shape renders anew.
Ref<CObjContent> CopyForRendering(const CObjContent& content);

// A quarter turn of a 32-bit image, clockwise or counter-clockwise; empty on failure.
PackedDib RotateDib90(const PackedDib& src, bool clockwise);

} // namespace zepho
