#include "app/mainwindow/AutosaveController.h"

#include "app/canvas/DocumentWindow.h"
#include "app/dialogs/RecoveryDialog.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindow.h"
#include "model/AppSettings.h"
#include "platform/Format.h"

#include <QDir>
#include <QGuiApplication>
#include <QSessionManager>
#include <QStatusBar>

#include <chrono>

#include <unistd.h>

namespace zepho {

AutosaveController::AutosaveController(MainWindow& window, const CAppSettings& settings, std::string folder,
                                       QObject* parent)
    : QObject(parent), window_(window), settings_(settings),
      writer_(folder.empty() ? AutosaveFolder() : std::move(folder)) {
    lock_.Acquire(writer_.Folder());
    // What killed instances left half written, and their locks.
    RemoveStaleAutosaveFiles(writer_.Folder());
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
    // Not the name of an entry already there (a restored one may carry this pid from an earlier
    // process that had it).
    const QDir folder(QString::fromStdString(Folder()));
    do
        t.entry = std::to_string(::getpid()) + "-" + std::to_string(++serial_);
    while (folder.exists(QString::fromStdString(t.entry + ".ini")) ||
           folder.exists(QString::fromStdString(t.entry + ".qzi")));
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
    const std::uint64_t changes = doc->ChangeCount();
    if (!doc->IsModified() || (t.onDisk && t.writtenCount == changes) ||
        (t.pendingSerial && t.pendingCount == changes))
        return;
    const auto start = std::chrono::steady_clock::now();
    CAutosaveSnapshot snap = TakeAutosaveSnapshot(*doc, title.toStdString());
    lastSnapshotMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!snap.image) return; // out of memory: try again at the next beat
    // Counted as written only when the writer says so: a failed copy is tried again at the next
    // interval, changed or not.
    t.pendingSerial = ++writeSerial_;
    t.pendingCount = snap.changeCount;
    writer_.Write(
        t.entry, std::move(snap),
        [this, entry = t.entry, serial = t.pendingSerial](const CAutosaveWriteResult& r) {
            lastWriteMs = r.ms;
            if (r.ok) ++writesDone;
            std::lock_guard<std::mutex> lock(resultsLock_);
            results_.push_back(Result{entry, serial, r});
        },
        t.replaces);
}

void AutosaveController::TakeResults() {
    std::vector<Result> results;
    {
        std::lock_guard<std::mutex> lock(resultsLock_);
        results.swap(results_);
    }
    for (const Result& r : results) {
        if (r.result.ok) {
            failuresInARow_ = 0;
            if (told_) window_.statusBar()->clearMessage();
            told_ = false;
        } else {
            ++failuresInARow_;
            lastFailure_ = r.result.why;
        }
        for (Tracked& t : tracked_) {
            // A write that a removal has overtaken since (the document was saved or closed) no
            // longer speaks for the document.
            if (t.entry != r.entry || t.pendingSerial != r.serial) continue;
            t.pendingSerial = 0;
            if (r.result.ok) {
                t.onDisk = true;
                t.writtenCount = t.pendingCount;
                t.replaces.clear();
            }
        }
    }
    // Once per run of failures, and not in the middle of a drag.
    if (failuresInARow_ >= kTellAfterFailures && !told_ && !window_.GestureInProgress())
        TellFailure(lastFailure_);
}

void AutosaveController::TellFailure(const std::string& why) {
    told_ = true;
    const std::string text = Format(kAutosaveFailed, Folder().c_str(), why.c_str());
    window_.statusBar()->showMessage(QString::fromStdString(text));
    // Once the heartbeat that found the failure has returned: a timer does not fire again while
    // its handler runs, and the attempts must go on while the message is open.
    QTimer::singleShot(0, this, [this, text] { window_.Ui().MessageBox(text, kAppTitle, MsgIcon::Warning); });
}

void AutosaveController::Flush() {
    writer_.Flush();
    TakeResults();
}

void AutosaveController::AutosaveNow() {
    TakeResults();
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

void AutosaveController::Drop(Tracked& t) {
    if (t.onDisk || t.pendingSerial) writer_.Remove(t.entry);
    if (!t.replaces.empty()) writer_.Remove(t.replaces);
    t.onDisk = false;
    t.pendingSerial = 0;
    t.replaces.clear();
}

void AutosaveController::Sweep() {
    TakeResults();
    for (auto it = tracked_.begin(); it != tracked_.end();) {
        const std::shared_ptr<COrvaneDoc> doc = it->doc.lock();
        // Closed (whatever the user chose), or saved: the copy has served.
        if (!doc || !doc->IsModified()) {
            Drop(*it);
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
        Drop(t);
    tracked_.clear();
    writer_.Flush();
}

bool AutosaveController::Restore(const AutosaveEntry& entry) {
    auto doc = std::make_shared<COrvaneDoc>();
    if (!RestoreAutosave(entry, *doc)) return false;
    DocumentWindow* w = window_.AddRestoredDocument(doc);
    if (!w) return false;
    // The entry already holds exactly this document: it becomes this instance's by a new
    // description, with no copy to write, so that a disk too full for a second copy keeps the
    // first.
    Tracked& t = Track(doc);
    if (AdoptAutosave(Folder(), entry.entry, AutosaveInfoOf(*doc, w->DocumentTitle().toStdString()))) {
        t.entry = entry.entry;
        t.onDisk = true;
        t.writtenCount = doc->ChangeCount();
        return true;
    }
    // Not even that could be written: the old entry stays (offered again at the next start)
    // until a copy of ours replaces it.
    t.replaces = entry.entry;
    AutosaveDocument(doc, w->DocumentTitle());
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
    Flush();
}

} // namespace zepho
