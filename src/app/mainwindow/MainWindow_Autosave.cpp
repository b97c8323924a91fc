// Autosave at start-up and the command-line options that tests drive it with.
#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/AutosaveStartup.h"
#include "app/mainwindow/MainWindow.h"
#include "app/mainwindow/ZephoApp.h"
#include "edit/commands/CmdImageOps.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace zepho {

namespace {

int signalPipe[2] = {-1, -1};

void OnTerminate(int sig) {
    const char c = static_cast<char>(sig);
    if (::write(signalPipe[0], &c, 1) < 0) {
        // Nothing can be done inside a signal handler.
    }
}

// A session that ends by SIGTERM or SIGHUP (logout, shutdown, a closed terminal) gets its
// changes autosaved before the process ends as the signal asks.
void AutosaveOnTermination(AutosaveController& controller) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &controller);
    QObject::connect(notifier, &QSocketNotifier::activated, &controller, [&controller] {
        char sig = 0;
        if (::read(signalPipe[1], &sig, 1) != 1) return;
        controller.AutosaveBeforeEnd();
        std::signal(sig, SIG_DFL);
        ::raise(sig);
    });
    struct sigaction sa = {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

} // namespace

std::unique_ptr<AutosaveController> StartAutosave(MainWindow& window, CZephoApp& app) {
    auto controller = std::make_unique<AutosaveController>(window, app.Settings());
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ZEPHO_AUTOSAVE_SECONDS", &ok);
    if (ok && seconds >= 0) controller->SetIntervalSeconds(seconds);
    controller->OfferRecovery(qEnvironmentVariable("ZEPHO_RECOVERY_ANSWER").toLower());
    AutosaveOnTermination(*controller);
    return controller;
}

bool IsTestOption(const QString& arg) {
    return arg.startsWith(QLatin1String("--test-"));
}

void RunTestOptions(MainWindow& window, const QStringList& args) {
    for (const QString& arg : args) {
        if (arg == QLatin1String("--test-edit=negative")) {
            if (DocumentWindow* w = window.ActiveDocumentWindow()) {
                COrvaneDoc& doc = w->Document();
                for (const Ref<CDrawObj>& o : doc.Image().objects)
                    if (o->content) o->content->selected = 1;
                CmdImageOperation(doc, ImageOp::Negative, window.Ui());
            }
        } else if (arg == QLatin1String("--test-save-and-quit")) {
            // After the event loop starts, so that the recovered windows are in place.
            QTimer::singleShot(0, &window, [&window] {
                for (DocumentWindow* w : window.DocumentWindows())
                    if (w->Document().IsModified() && !w->FilePath().isEmpty()) window.SaveDocument(w);
                window.close();
            });
        }
    }
}

} // namespace zepho
