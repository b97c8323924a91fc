// The shell's own texts.
#pragma once

namespace zepho {

inline constexpr const char kAppTitle[] = "Quarnix Zepho Image";

} // namespace zepho
