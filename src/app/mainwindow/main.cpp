#include "app/mainwindow/MainWindow.h"
#include "app/mainwindow/ZephoApp.h"
#include "platform/SaveTarget.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char** argv) {
    // A save cut short by Ctrl+C or a kill leaves no temporary file behind.
    zepho::InstallSaveCleanupOnSignals();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Zepho Image");
    QApplication::setOrganizationName("Quarnix");
    // Ties the windows to the installed launcher entry (zepho.desktop) and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("zepho"));
    zepho::CZephoApp app;
    app.Start();
    int result = 0;
    {
        zepho::MainWindow window(app);
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) {
            window.OpenDocument(args[1]);
        } else {
            window.NewDocument(); // from the saved settings, without the dialog
        }
        // Fill the screen even where no window manager honours the maximised state.
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->availableGeometry());
        window.showMaximized();
        result = qapp.exec();
    }
    app.Exit();
    return result;
}
