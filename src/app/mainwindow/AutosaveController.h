// Autosave in the running application: copies modified documents into the state folder at the
// interval of the preferences (and when the session ends or the application is suspended),
// removes a copy once its document is saved or closed, and offers what a crashed instance left.
#pragma once

#include "edit/document/Autosave.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace zepho {

class CAppSettings;
class COrvaneDoc;
class MainWindow;

class AutosaveController : public QObject {
    Q_OBJECT
public:
    // folder empty: the user's state folder. Takes this process's lock in the folder.
    AutosaveController(MainWindow& window, const CAppSettings& settings, std::string folder = {},
                       QObject* parent = nullptr);
    // Finishes the writes already asked for.
    ~AutosaveController() override;

    const std::string& Folder() const { return writer_.Folder(); }
    // Seconds between autosaves instead of the preferences' minutes (0 = off); below 0 follows
    // the preferences again.
    void SetIntervalSeconds(int seconds) { overrideSeconds_ = seconds; }
    // Milliseconds between autosaves now; 0 when off.
    int IntervalMs() const;

    // Copies every document changed since its last copy and hands the copies to the writer.
    void AutosaveNow();
    // The same unless autosave is off; and waits for the writer (the process may end next).
    void AutosaveBeforeEnd();
    // Drops the copies of documents that were saved (or are unmodified again) or closed.
    void Sweep();
    // A clean exit: every copy of this instance goes.
    void DiscardAll();
    // Waits for the writer.
    void Flush() { writer_.Flush(); }

    // What a crashed instance left; Restore opens them as modified documents.
    std::vector<AutosaveEntry> Orphans() const { return FindOrphanAutosaves(Folder()); }
    // Opens an entry in a new window and replaces the old copy by one of this instance.
    bool Restore(const AutosaveEntry& entry);
    void Delete(const AutosaveEntry& entry) { writer_.Remove(entry.entry); }
    // Shows the recovery dialog when there is anything to recover; `answer` ("restore",
    // "delete", "later") skips the dialog and applies to every entry.
    void OfferRecovery(const QString& answer = {});

    // The entry file name of a document, empty when it has none.
    std::string EntryOf(const COrvaneDoc* doc) const;
    // Time of the last snapshot on the UI thread, and of the last write on the writer (ms).
    double lastSnapshotMs = 0;
    std::atomic<double> lastWriteMs{0};
    std::atomic<int> writesDone{0};

private:
    void Tick();
    void AutosaveDocument(const std::shared_ptr<COrvaneDoc>& doc, const QString& title);

    struct Tracked {
        std::weak_ptr<COrvaneDoc> doc;
        const COrvaneDoc* key = nullptr;
        std::string entry;
        std::uint64_t changeCount = 0;
        bool onDisk = false;
    };
    Tracked& Track(const std::shared_ptr<COrvaneDoc>& doc);

    MainWindow& window_;
    const CAppSettings& settings_;
    CAutosaveLock lock_;
    CAutosaveWriter writer_;
    std::vector<Tracked> tracked_;
    int serial_ = 0;
    int overrideSeconds_ = -1;
    QTimer heartbeat_;
    QElapsedTimer sinceLast_;
};

} // namespace zepho
