// What the paint, erase and flood tools tell the user.
#pragma once

namespace zepho::strings {

inline constexpr const char kVerbPaintErase[] = "paint on it or erase its portion";
inline constexpr const char kVerbFlood[] = "flood";
inline constexpr const char kPaintNeedObject[] = "A  object must be present at least before drawing line!";
inline constexpr const char kEraseNeedObject[] = "A  object must be present at least before erasing!";
inline constexpr const char kPaintNeedSelected[] = "A object must be selected at least before drawing line!";
inline constexpr const char kEraseNeedSelected[] = "A object must be selected at least before erasing!";
inline constexpr const char kFloodNeedObject[] = "A  object must be present at least before flooding!";
inline constexpr const char kFloodOutsideSelection[] = "If you have made a selection area,plese click on it!";
inline constexpr const char kFloodTransparentOff[] =
    "If you want to fill the transparent area,please check \"Allow painting on transparent areas\" option.";

} // namespace zepho::strings
