// The Edit menu's undo and redo texts and every action's label.
#pragma once

namespace zepho::strings {

// Edit menu states.
inline constexpr const char kCantUndo[] = "Can't &Undo";
inline constexpr const char kCantRedo[] = "Can't &Redo";
inline constexpr const char kUndoWord[] = "Undo";
inline constexpr const char kRedoWord[] = "Redo";

// The History panel's first row: the document as read from its file, or as created.
inline constexpr const char kHistoryOpen[] = "Open";
inline constexpr const char kHistoryNew[] = "New";

// Undo labels. Each action's Redo text is its Undo text with the first word "Redo", except
// where a Redo text is given.
inline constexpr const char kUndoShowHide[] = "Undo show/hide object(s)";
inline constexpr const char kUndoLock[] = "Undo lock/unlock object(s)";

inline constexpr const char kUndoMove[] = "Undo move object(s)";
inline constexpr const char kUndoAlignTop[] = "Undo align top";
inline constexpr const char kUndoAlignBottom[] = "Undo align bottom";
inline constexpr const char kUndoAlignLeft[] = "Undo align left";
inline constexpr const char kUndoAlignRight[] = "Undo align right";
inline constexpr const char kUndoCenterVert[] = "Undo center vertically";
inline constexpr const char kUndoCenterHorz[] = "Undo center horizontally";
inline constexpr const char kUndoCenterBoth[] = "Undo center vertically and horizontally";

inline constexpr const char kUndoNewObject[] = "Undo new object";
inline constexpr const char kUndoDuplicate[] = "Undo duplicate object(s)";
inline constexpr const char kUndoDelete[] = "Undo delete object(s)";
inline constexpr const char kUndoCombine[] = "Undo combine as single object";
inline constexpr const char kUndoPaste[] = "Undo paste";
inline constexpr const char kUndoAddText[] = "Undo add text";
inline constexpr const char kUndoPaintRectangle[] = "Undo paint rectangle";
inline constexpr const char kUndoPaintEllipse[] = "Undo paint ellipse";
inline constexpr const char kUndoPaintPolygon[] = "Undo paint polygon";
inline constexpr const char kUndoAddImageFiles[] = "Undo Add image file(s)";
inline constexpr const char kUndoAddAvi[] = "Undo Add AVI";
inline constexpr const char kUndoCaptureFullScreen[] = "Undo Capture Full Screen";

inline constexpr const char kUndoMakeFrame[] = "Undo make frame as single object";

inline constexpr const char kUndoToFront[] = "Undo move to front";
inline constexpr const char kUndoToBack[] = "Undo move to back";
inline constexpr const char kUndoForward[] = "Undo move forward";
inline constexpr const char kUndoBackward[] = "Undo move backward";
inline constexpr const char kUndoMoveInStack[] = "Undo move in stack";

inline constexpr const char kUndoOpacity[] = "Undo modify opacity";
inline constexpr const char kUndoProperties[] = "Undo modify object's properties";

inline constexpr const char kUndoTrim[] = "Undo trim Object(s)";
inline constexpr const char kUndoPaintLine[] = "Undo paint line";
inline constexpr const char kUndoErase[] = "Undo erase";
inline constexpr const char kUndoFlood[] = "Undo flood";

inline constexpr const char kUndoNegative[] = "Undo Negative";
inline constexpr const char kUndoGray[] = "Undo Gray";
inline constexpr const char kUndoMirrorHorz[] = "Undo Mirror horizontally";
inline constexpr const char kUndoMirrorVert[] = "Undo Mirror vertically";
inline constexpr const char kUndoAdjustRgb[] = "Undo Adjust red/green/blue";
inline constexpr const char kUndoAdjustHsl[] = "Undo Adjust Hue/Saturation/Lightness";
inline constexpr const char kUndoAdjustBrightness[] = "Undo Adjust Brightness/Contrast";
inline constexpr const char kUndoBlur[] = "Undo Blur";
inline constexpr const char kUndoGaussianBlur[] = "Undo Gaussian Blur";
inline constexpr const char kUndoSharpness[] = "Undo Sharpness";
inline constexpr const char kUndoEmboss[] = "Undo Emboss";
inline constexpr const char kUndoSunspot[] = "Undo Sunspot";

inline constexpr const char kUndoCut[] = "Undo Cut";
inline constexpr const char kUndoCutDelete[] = "Undo Delete";

inline constexpr const char kUndoRectSelection[] = "Undo Rectangular Selection";
inline constexpr const char kUndoEllipseSelection[] = "Undo Elliptic Selection";
inline constexpr const char kUndoLassoSelection[] = "Undo Lasso Selection";
inline constexpr const char kUndoMagicWandSelection[] = "Undo Magic Wand Selection";
inline constexpr const char kUndoSelectAll[] = "Undo Select All";
inline constexpr const char kUndoUnselectAll[] = "Undo Unselect All";
inline constexpr const char kUndoInvertSelection[] = "Undo Invert";
// Keeps this label in both lists.
inline constexpr const char kUndoMoveSelection[] = "Undo Move Selection";

inline constexpr const char kUndoTransform[] = "Undo Transform object";

inline constexpr const char kUndoCropToSelection[] = "Undo Crop to Selection";
inline constexpr const char kUndoFlipHorz[] = "Undo Flip Horizontal";
inline constexpr const char kUndoFlipVert[] = "Undo Flip Vertical";
inline constexpr const char kUndoRotate90Cw[] = "Undo Rotate 90° Clockwise";
inline constexpr const char kUndoRotate90Ccw[] = "Undo Rotate 90° Counter-clockwise";
inline constexpr const char kUndoRotate180[] = "Undo Rotate 180°";
inline constexpr const char kUndoResizeCanvas[] = "Undo Resize canvas";
inline constexpr const char kUndoResizeAnim[] = "Undo Resize animation";
inline constexpr const char kUndoRemoveLocation[] = "Undo Remove location";

// The convert action starts singular and alternates between the two plural texts.
inline constexpr const char kUndoConvertFirst[] = "Undo Convert to image object";
inline constexpr const char kUndoConvert[] = "Undo Convert to image object(s)";
inline constexpr const char kRedoConvert[] = "Redo Convert to image object(s)";

} // namespace zepho::strings
