#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zepho::MainWindow window;
    window.show();
    return app.exec();
}
