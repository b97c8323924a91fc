// Texts the model shows while it reads and writes files.
#pragma once

#include "platform/Format.h"

#include <string>

namespace zepho::strings {

inline constexpr const char kReadingFile[] = "Reading file ";
inline constexpr const char kSavingFile[] = "Saving file ";
inline constexpr const char kSaveFailed[] = "Save to file %s fail!";
// The failed-save message with the system's reason under it ("No space left on device."), when
// there is one.
inline std::string SaveFailedText(const std::string& file, const std::string& reason) {
    std::string text = Format(kSaveFailed, file.c_str());
    if (!reason.empty()) text += "\n" + reason + ".";
    return text;
}
inline constexpr const char kNativeFilter[] = "Quarnix Zepho Image File(*.qzi)|*.qzi||";

} // namespace zepho::strings
