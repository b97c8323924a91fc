// The edit layer's own texts.
#pragma once

namespace zepho::strings {

inline constexpr const char kReadingFile[] = "Reading file ";
inline constexpr const char kSavingFile[] = "Saving file ";

} // namespace zepho::strings
