// The program's own icon, at every size the desktop asks for, built into the executable.
#pragma once

#include <QIcon>

namespace zepho {

// The layered-sheets mark from data/icons, 16 to 256 pixels.
QIcon AppIcon();

} // namespace zepho
