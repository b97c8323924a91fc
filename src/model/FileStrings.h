// Texts the model shows while it reads and writes files.
#pragma once

namespace zepho::strings {

inline constexpr const char kReadingFile[] = "Reading file ";
inline constexpr const char kSavingFile[] = "Saving file ";
inline constexpr const char kSaveFailed[] = "Save to file %s fail!";
inline constexpr const char kNativeFilter[] = "Quarnix Zepho Image File(*.qzi)|*.qzi||";

} // namespace zepho::strings
