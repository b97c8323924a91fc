// The shell tests run inside one application object that lives as long as main().
#include "app/services/BackgroundWork.h"

#include <QApplication>
#include <gtest/gtest.h>

QApplication& TestApp() {
    return *static_cast<QApplication*>(QCoreApplication::instance());
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    // Work that takes long on a busy machine shows no progress window, which would take the
    // keyboard from the window under test; the tests of that window choose their own delay.
    zepho::SetProgressWindowDelay(60000);
    return RUN_ALL_TESTS();
}
