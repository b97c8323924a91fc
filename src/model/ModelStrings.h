// The model's own texts, byte for byte as the user sees them.
#pragma once

namespace zepho::strings {

inline constexpr const char kAppTitle[] = "Quarnix Zepho Image";

inline constexpr const char kNameImage[] = "Obj - %d";
inline constexpr const char kNameRectangle[] = "Rectangle - %d";
inline constexpr const char kNameEllipse[] = "Ellipse - %d";
inline constexpr const char kNamePolygon[] = "Polygon - %d";
inline constexpr const char kNameText[] = "Text - %d";

inline constexpr const char kNeedObjectPresent[] = "A object must be present at least!";
inline constexpr const char kNeedObjectSelected[] = "A object must be selected at least!";
inline constexpr const char kConvertAsk[] =
    "The Object \"%s\" is not an image object.\r\nIf you want to %s,it must be converted to an image "
    "object.\r\nConvert it now?";
// Verbs that the conversion question puts in its second line.
inline constexpr const char kVerbGray[] = "gray it";
inline constexpr const char kVerbMirror[] = "mirror it";
inline constexpr const char kVerbNegative[] = "negative it";
inline constexpr const char kVerbCutPortion[] = "delete/cut its portion";

// Shown when a text object is confirmed without anything to draw.
inline constexpr const char kNoValidTexts[] = "The object contain no valid texts !";
inline constexpr const char kCaptionError[] = "Error";

} // namespace zepho::strings
