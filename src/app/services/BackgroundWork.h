// Long work off the UI thread. A job runs on a worker thread while the UI thread goes on
// painting; when it takes longer than a moment a modal window shows its progress and a Cancel
// button. The UI takes no input until the job has ended, so a job may read the documents it was
// given (nothing changes them meanwhile) but writes only what is its own; the caller applies the
// result afterwards, on the UI thread.
#pragma once

#include "platform/Parallel.h"
#include "platform/Services.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

class QWidget;

namespace zepho {

// The progress a job reports, from any thread, and whether the user asked it to stop.
class WorkProgress final : public IProgress {
public:
    void SetText(const std::string& text) override;
    void SetPos(int percent) override;
    // The window repaints by itself.
    void Pump() override {}

    bool Cancelled() const { return cancel_.load(std::memory_order_relaxed); }
    // Also stops the parallel loops of the job at their next piece.
    void Cancel() {
        cancel_.store(true, std::memory_order_relaxed);
        watch_.Cancel();
    }
    ParallelWatch& Watch() { return watch_; }
    const std::atomic<bool>& CancelFlag() const { return cancel_; }

    // What the UI thread shows: -1 until the job gives a position (the bar then just shows that
    // something runs). Text reports whether it changed since the last call.
    int Pos() const { return pos_.load(std::memory_order_relaxed); }
    bool Text(std::string& text);

private:
    std::atomic<bool> cancel_{false};
    ParallelWatch watch_;
    std::atomic<int> pos_{-1};
    std::mutex mutex_;
    std::string text_;
    bool textChanged_ = false;
};

// Runs job(progress) on a worker thread and returns when it has ended: true when it ran to its
// end, false when the user cancelled it (the caller then drops what it produced and leaves
// everything as it was). Parallel loops of the job start no further piece once Cancel is pressed,
// so a cancelled job ends soon with incomplete results. Saves through FileWriter on the worker stop at their
// next write once Cancel is pressed, leaving their targets as they were. `mirror` (the status bar) follows
// the job's text and position. An exception thrown by the job reaches the caller.
bool RunWithProgress(QWidget* parent, const QString& title, const std::function<void(WorkProgress&)>& job,
                     IProgress* mirror = nullptr);

// What a job may ask the user: each message or question goes to `host` on the UI thread (made
// there) while the job waits for the answer.
class WorkerUiHost final : public IUiHost {
public:
    explicit WorkerUiHost(IUiHost& host) : host_(host) {}
    void MessageBox(const std::string& text, const std::string& caption, MsgIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    bool ChoosePsdOpenFashion(int& fashion, bool& showTip) override;

private:
    void OnUiThread(const std::function<void()>& f);
    IUiHost& host_;
    QObject uiThread_;
};

// How long a job runs before its window appears (300 ms; tests change it). Returns the previous
// delay.
int SetProgressWindowDelay(int ms);
// The object name of that window, for tests that press its Cancel button.
inline constexpr const char kWorkWindowName[] = "zepho-work-progress";

} // namespace zepho
