// The property pages' range and fill/stroke refusals.
#pragma once

namespace zepho::strings {

// The property sheet's number boxes and its "Fill and Stroke" refusals.
inline constexpr const char kRangeInt[] = "Please input a digital between %d and %d!";
inline constexpr const char kRangeFloat[] = "Please input a digital between %0.3f and %0.3f !";
inline constexpr const char kFillNeeded[] =
    "The \"Fill\" option must be selected when the \"Stroke\" option is not selected !";
inline constexpr const char kStrokeNeeded[] =
    "The \"Stroke\" option must be selected when the \"Fill\" option is not selected !";

} // namespace zepho::strings
