#include "app/mainwindow/AutosaveController.h"

#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/RecoveryDialog.h"
#include "app/mainwindow/MainWindow.h"
#include "model/AppSettings.h"

#include <QGuiApplication>
#include <QSessionManager>

#include <chrono>

#include <unistd.h>

namespace zepho {

AutosaveController::AutosaveController(MainWindow& window, const CAppSettings& settings, std::string folder,
                                       QObject* parent)
    : QObject(parent), window_(window), settings_(settings),
      writer_(folder.empty() ? AutosaveFolder() : std::move(folder)) {
    lock_.Acquire(writer_.Folder());
    // A cheap beat: drops the copies of saved or closed documents at once, and starts an
    // autosave when the interval (which the preferences may change at any time) has passed.
    heartbeat_.setInterval(250);
    connect(&heartbeat_, &QTimer::timeout, this, &AutosaveController::Tick);
    heartbeat_.start();
    sinceLast_.start();
    // The session is ending or the application is put away: what changed goes to disk now.
    connect(
        qGuiApp, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager&) {
            AutosaveNow();
            Flush();
        },
        Qt::DirectConnection);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if ((state == Qt::ApplicationSuspended || state == Qt::ApplicationHidden) && IntervalMs() > 0)
            AutosaveNow();
    });
}

AutosaveController::~AutosaveController() {
    heartbeat_.stop();
    writer_.Flush();
}

int AutosaveController::IntervalMs() const {
    if (overrideSeconds_ >= 0) return overrideSeconds_ * 1000;
    return std::max(0, settings_.AutosaveMinutes) * 60 * 1000;
}

void AutosaveController::Tick() {
    Sweep();
    const int interval = IntervalMs();
    // A drag in progress keeps part of its change in the view: wait until it ends.
    if (interval > 0 && sinceLast_.elapsed() >= interval && !window_.GestureInProgress()) AutosaveNow();
}

AutosaveController::Tracked& AutosaveController::Track(const std::shared_ptr<COrvaneDoc>& doc) {
    for (Tracked& t : tracked_)
        if (t.key == doc.get() && !t.doc.expired()) return t;
    Tracked t;
    t.doc = doc;
    t.key = doc.get();
    t.entry = std::to_string(::getpid()) + "-" + std::to_string(++serial_);
    tracked_.push_back(std::move(t));
    return tracked_.back();
}

std::string AutosaveController::EntryOf(const COrvaneDoc* doc) const {
    for (const Tracked& t : tracked_)
        if (t.key == doc && !t.doc.expired() && t.onDisk) return t.entry;
    return {};
}

void AutosaveController::AutosaveDocument(const std::shared_ptr<COrvaneDoc>& doc, const QString& title) {
    Tracked& t = Track(doc);
    if (!doc->IsModified() || (t.onDisk && t.changeCount == doc->ChangeCount())) return;
    const auto start = std::chrono::steady_clock::now();
    CAutosaveSnapshot snap = TakeAutosaveSnapshot(*doc, title.toStdString());
    lastSnapshotMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!snap.image) return; // out of memory: try again at the next beat
    t.changeCount = snap.changeCount;
    t.onDisk = true;
    writer_.Write(t.entry, std::move(snap), [this](bool ok, double ms) {
        lastWriteMs = ms;
        if (ok) ++writesDone;
    });
}

void AutosaveController::AutosaveNow() {
    sinceLast_.restart();
    std::vector<const COrvaneDoc*> done;
    for (DocumentWindow* w : window_.DocumentWindows()) {
        const std::shared_ptr<COrvaneDoc>& doc = w->SharedDocument();
        if (std::find(done.begin(), done.end(), doc.get()) != done.end()) continue;
        done.push_back(doc.get());
        AutosaveDocument(doc, w->DocumentTitle());
    }
}

void AutosaveController::AutosaveBeforeEnd() {
    if (IntervalMs() <= 0) return;
    AutosaveNow();
    Flush();
}

void AutosaveController::Sweep() {
    for (auto it = tracked_.begin(); it != tracked_.end();) {
        const std::shared_ptr<COrvaneDoc> doc = it->doc.lock();
        // Closed (whatever the user chose), or saved: the copy has served.
        if (!doc || !doc->IsModified()) {
            if (it->onDisk) writer_.Remove(it->entry);
            it->onDisk = false;
            if (!doc) {
                it = tracked_.erase(it);
                continue;
            }
        }
        ++it;
    }
}

void AutosaveController::DiscardAll() {
    for (Tracked& t : tracked_)
        if (t.onDisk) writer_.Remove(t.entry);
    tracked_.clear();
    writer_.Flush();
}

bool AutosaveController::Restore(const AutosaveEntry& entry) {
    auto doc = std::make_shared<COrvaneDoc>();
    if (!RestoreAutosave(entry, *doc)) return false;
    DocumentWindow* w = window_.AddRestoredDocument(doc);
    if (!w) return false;
    // The copy becomes this instance's before the old one goes, so there is never a moment
    // without one.
    AutosaveDocument(doc, w->DocumentTitle());
    writer_.Remove(entry.entry);
    return true;
}

void AutosaveController::OfferRecovery(const QString& answer) {
    std::vector<AutosaveEntry> entries = Orphans();
    if (entries.empty()) return;
    RecoveryDialog::Choice choice = RecoveryDialog::Later;
    if (answer == QLatin1String("restore"))
        choice = RecoveryDialog::Restore;
    else if (answer == QLatin1String("delete"))
        choice = RecoveryDialog::Delete;
    else if (answer.isEmpty()) {
        RecoveryDialog dialog(entries, &window_);
        dialog.exec();
        choice = dialog.choice();
        entries = dialog.Chosen();
    }
    for (const AutosaveEntry& e : entries) {
        if (choice == RecoveryDialog::Restore)
            Restore(e);
        else if (choice == RecoveryDialog::Delete)
            Delete(e);
    }
    writer_.Flush();
}

} // namespace zepho
