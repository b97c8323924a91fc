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
#include <mutex>
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
    // Waits for the writer and takes in what it reports.
    void Flush();

    // What a crashed instance left; Restore opens them as modified documents.
    std::vector<AutosaveEntry> Orphans() const { return FindOrphanAutosaves(Folder()); }
    // Opens an entry in a new window; the entry becomes this instance's copy of the document.
    // The old copy stays until one of this instance has replaced it, whatever the disk allows.
    bool Restore(const AutosaveEntry& entry);
    void Delete(const AutosaveEntry& entry) { writer_.Remove(entry.entry); }
    // Shows the recovery dialog when there is anything to recover; `answer` ("restore",
    // "delete", "later") skips the dialog and applies to every entry.
    void OfferRecovery(const QString& answer = {});

    // The entry file name of a document whose copy is complete on disk, empty when it has none.
    std::string EntryOf(const COrvaneDoc* doc) const;
    // Time of the last snapshot on the UI thread, and of the last write on the writer (ms).
    double lastSnapshotMs = 0;
    std::atomic<double> lastWriteMs{0};
    std::atomic<int> writesDone{0};
    // Writes that failed one after the other, up to now; the user is told at kTellAfterFailures.
    int FailuresInARow() const { return failuresInARow_; }
    static constexpr int kTellAfterFailures = 2;

private:
    void Tick();
    void AutosaveDocument(const std::shared_ptr<COrvaneDoc>& doc, const QString& title);
    // Applies what the writer reported; on the UI thread.
    void TakeResults();
    void TellFailure(const std::string& why);

    struct Tracked {
        std::weak_ptr<COrvaneDoc> doc;
        const COrvaneDoc* key = nullptr;
        std::string entry;
        // An older copy of the document (a restored entry this instance could not take over),
        // removed by the writer once a copy of ours is complete.
        std::string replaces;
        // A complete copy is on disk, of the document at change count `writtenCount`.
        bool onDisk = false;
        std::uint64_t writtenCount = 0;
        // The write in flight (0: none), of the document at change count `pendingCount`.
        std::uint64_t pendingSerial = 0;
        std::uint64_t pendingCount = 0;
    };
    Tracked& Track(const std::shared_ptr<COrvaneDoc>& doc);
    // Forgets the copies of a document and asks the writer to remove them.
    void Drop(Tracked& t);

    // What the writer thread reports, taken in on the UI thread.
    struct Result {
        std::string entry;
        std::uint64_t serial = 0;
        CAutosaveWriteResult result;
    };
    std::mutex resultsLock_;
    std::vector<Result> results_;

    MainWindow& window_;
    const CAppSettings& settings_;
    CAutosaveLock lock_;
    CAutosaveWriter writer_;
    std::vector<Tracked> tracked_;
    int serial_ = 0;
    std::uint64_t writeSerial_ = 0;
    int failuresInARow_ = 0;
    std::string lastFailure_;
    bool told_ = false;
    int overrideSeconds_ = -1;
    QTimer heartbeat_;
    QElapsedTimer sinceLast_;
};

} // namespace zepho
