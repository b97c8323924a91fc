// The shell tests run inside one application object that lives as long as main().
#include <QApplication>
#include <gtest/gtest.h>

QApplication& TestApp() { return *static_cast<QApplication*>(QCoreApplication::instance()); }

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
