#include "app/mainwindow/AppIcon.h"

#include <QString>

// The resource lives in a static library: nothing would pull its initialiser in otherwise.
static void InitAppIconResource() {
    Q_INIT_RESOURCE(appicon);
}

namespace zepho {

QIcon AppIcon() {
    InitAppIconResource();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/zepho-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace zepho
