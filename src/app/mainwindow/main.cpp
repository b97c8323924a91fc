#include "app/mainwindow/AutosaveStartup.h"
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
        const bool openFile = args.size() > 1 && !zepho::IsTestOption(args[1]);
        if (!openFile) window.NewDocument(); // from the saved settings, without the dialog
        // Fill the screen even where no window manager honours the maximised state.
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->availableGeometry());
        window.showMaximized();
        const auto autosave = zepho::StartAutosave(window, app);
        // The window is there at once; a file named on the command line is read afterwards, on a
        // worker with progress, and its document window appears when it is ready.
        if (openFile)
            window.OpenWhenShown(args[1], [&window, args] { zepho::RunTestOptions(window, args); });
        else
            zepho::RunTestOptions(window, args);
        result = qapp.exec();
        // A clean exit: every document was saved or let go on purpose.
        autosave->DiscardAll();
    }
    app.Exit();
    return result;
}
