// Texts of the property sheet and the text editor.
#pragma once

namespace zepho::props {

inline constexpr const char kSheetTitle[] = "Properties";
inline constexpr const char kGeneralPage[] = "General";
inline constexpr const char kFillStrokePage[] = "Fill and Stroke";
inline constexpr const char kShadowPage[] = "Shadow";

// "General".
inline constexpr const char kObjectName[] = "Object name:";
inline constexpr const char kNameLimit[] = "(Limit of 48 characters)";
inline constexpr const char kVisible[] = "Visible";
inline constexpr const char kTransparency[] = "Transparency:";
inline constexpr const char kLocation[] = "Location";
inline constexpr const char kLeft[] = "Left:";
inline constexpr const char kTop[] = "Top:";
inline constexpr const char kLock[] = "Lock";
inline constexpr const char kWidth[] = "Width:";
inline constexpr const char kHeight[] = "Height:";
inline constexpr const char kRotate[] = "Rotate:";
inline constexpr const char kPixel[] = "Pixel";
inline constexpr const char kPercentage[] = "Percentage";
inline constexpr const char kPreserveRatio[] = "Preserve ratio when resizing";
inline constexpr const char kFilters[] = "Filters:";
inline constexpr const char kRoundness[] = "Roundness";
inline constexpr const char kHorzRadius[] = "Horz Radius:";
inline constexpr const char kVertRadius[] = "Vert Radius:";
inline constexpr const char kHorzScale[] = "Horz Scale:";
inline constexpr const char kVertScale[] = "Vert Scale:";

// "Fill and Stroke".
inline constexpr const char kStroke[] = "Stroke";
inline constexpr const char kStrokeColor[] = "Stroke Color";
inline constexpr const char kFill[] = "Fill";
inline constexpr const char kFillColor[] = "Fill Color";

// "Shadow".
inline constexpr const char kShadow[] = "Shadow";
inline constexpr const char kXOffset[] = "X-Offset:";
inline constexpr const char kYOffset[] = "Y-Offset:";
inline constexpr const char kSize[] = "Size:";
inline constexpr const char kSmooth[] = "Smooth:";
inline constexpr const char kPerspective[] = "Perspective:";
inline constexpr const char kSkewAngle[] = "Skew Angle:";

// The text editor.
inline constexpr const char kLine[] = "Line:";
inline constexpr const char kBaseline[] = "Baseline:";
inline constexpr const char kCharacter[] = "Character:";
inline constexpr const char kTextTitle[] = "Text";
inline constexpr const char kTextPage[] = "Text";
inline constexpr const char kAppearancePage[] = "Appearance";
inline constexpr const char kOutlinePage[] = "Outline";
inline constexpr const char kColour1[] = "Color 1";
inline constexpr const char kColour2[] = "Color 2";
inline constexpr const char kSoftOutline[] = "Outline";
inline constexpr const char kThickness[] = "Thickness:";
inline constexpr const char kBold[] = "B";
inline constexpr const char kItalic[] = "I";
inline constexpr const char kOutlined[] = "O";
inline constexpr const char kAlignLeft[] = "Left";
inline constexpr const char kAlignCenter[] = "Center";
inline constexpr const char kAlignRight[] = "Right";
// The face a text starts with when nothing was typed yet.
inline constexpr const char kDefaultFace[] = "Arial";

} // namespace zepho::props
