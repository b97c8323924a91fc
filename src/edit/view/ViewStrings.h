// The view's status text and its refusal to move locked objects.
#pragma once

namespace zepho::strings {

// The view's status text and the move tool's refusal.
inline constexpr const char kStatusPosition[] = " x=%d y=%d";
inline constexpr const char kObjectsLocked[] = "Some objects are locked. If you want to move them, please "
                                               "click the lock icon to unlock them in the Objects Panel.";

} // namespace zepho::strings
