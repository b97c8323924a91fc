// What the object, selection and effect commands tell or ask the user.
#pragma once

namespace zepho::strings {

// Messages of the object commands.
inline constexpr const char kTrimNothing[] = "Selected object(s) has/have no excess transparent border!";
inline constexpr const char kTrimEmpty[] = "The object \"%s\" can not be trimed as it is empty!";
inline constexpr const char kCombineNeedVisible[] = "The selection must have at least one visible object!";
inline constexpr const char kAlreadyInFront[] = "Your selected object(s) has/have been in front!";
inline constexpr const char kAlreadyBack[] = "Your selected object(s) has/have been back!";
inline constexpr const char kCopyEmpty[] = "Your selected  proportion is empty or transparent!";
inline constexpr const char kSelectOneVisible[] = "Please select only one visible object!";

// What the conversion question asks before an effect dialog opens ("If you want to blur it,it
// must be converted ...").
inline constexpr const char kVerbBlur[] = "blur it";
inline constexpr const char kVerbSharpness[] = "make sharpness";
inline constexpr const char kVerbEmboss[] = "emboss";
inline constexpr const char kVerbSunspot[] = "make sunspot";
inline constexpr const char kVerbAdjustBc[] = "adjust its brightness/contrast";
inline constexpr const char kVerbAdjustHsl[] = "adjust its hue/saturation/lightness";
inline constexpr const char kVerbAdjustRgb[] = "adjust its red/green/blue values";

// Flipping the whole picture turns the shape and text objects into image objects first.
inline constexpr const char kFlipConvertAsk[] =
    "Flipping the image converts its shape and text objects to image objects.\r\nConvert them now?";

// The selection commands and the paint, erase and flood tools.
inline constexpr const char kAskClearSelection[] = "Are you sure you want to clear the selection?";

} // namespace zepho::strings
