#include "app/services/BackgroundWork.h"

#include "app/mainwindow/AppStrings.h"
#include "platform/ByteStream.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>
#include <thread>
#include <utility>

namespace zepho {

namespace {

int& WindowDelay() {
    static int ms = 300;
    return ms;
}

// The modal window of a running job: a text, a bar and Cancel. Escape and the window's close
// button cancel too; the window stays until the job has ended, so that the UI takes no input
// while the job reads what the UI would change.
class WorkWindow final : public QDialog {
public:
    WorkWindow(QWidget* parent, const QString& title, WorkProgress& progress)
        : QDialog(parent), progress_(progress) {
        setObjectName(QString::fromLatin1(kWorkWindowName));
        setWindowTitle(title);
        setWindowModality(Qt::ApplicationModal);
        text = new QLabel(QString::fromUtf8(kWorkPleaseWait));
        bar = new QProgressBar;
        bar->setMinimumWidth(320);
        cancel = new QPushButton(QString::fromUtf8(kWorkCancel));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(text);
        layout->addWidget(bar);
        layout->addWidget(cancel, 0, Qt::AlignRight);
        connect(cancel, &QPushButton::clicked, this, [this] { RequestCancel(); });
    }

    void RequestCancel() {
        if (progress_.Cancelled()) return;
        progress_.Cancel();
        text->setText(QString::fromUtf8(kWorkCancelling));
        cancel->setEnabled(false);
    }
    void reject() override { RequestCancel(); }

    QLabel* text;
    QProgressBar* bar;
    QPushButton* cancel;

protected:
    void closeEvent(QCloseEvent* event) override {
        RequestCancel();
        event->ignore();
    }

private:
    WorkProgress& progress_;
};

} // namespace

void WorkProgress::SetText(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (text == text_) return;
    text_ = text;
    textChanged_ = true;
}

void WorkProgress::SetPos(int percent) {
    pos_.store(std::clamp(percent, 0, 100), std::memory_order_relaxed);
}

bool WorkProgress::Text(std::string& text) {
    std::lock_guard lock(mutex_);
    if (!textChanged_) return false;
    textChanged_ = false;
    text = text_;
    return true;
}

void WorkerUiHost::OnUiThread(const std::function<void()>& f) {
    if (QThread::currentThread() == uiThread_.thread())
        f();
    else
        QMetaObject::invokeMethod(&uiThread_, f, Qt::BlockingQueuedConnection);
}

void WorkerUiHost::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon) {
    OnUiThread([&] { host_.MessageBox(text, caption, icon); });
}

bool WorkerUiHost::AskYesNo(const std::string& text, const std::string& caption) {
    bool yes = false;
    OnUiThread([&] { yes = host_.AskYesNo(text, caption); });
    return yes;
}

bool WorkerUiHost::ChoosePsdOpenFashion(int& fashion, bool& showTip) {
    bool chosen = false;
    OnUiThread([&] { chosen = host_.ChoosePsdOpenFashion(fashion, showTip); });
    return chosen;
}

int SetProgressWindowDelay(int ms) {
    return std::exchange(WindowDelay(), std::max(0, ms));
}

bool RunWithProgress(QWidget* parent, const QString& title, const std::function<void(WorkProgress&)>& job,
                     IProgress* mirror) {
    WorkProgress progress;
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    QEventLoop loop;

    std::thread worker([&] {
        SetSaveCancelFlag(&progress.CancelFlag());
        const ParallelWatchScope watched(&progress.Watch());
        try {
            job(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        SetSaveCancelFlag(nullptr);
        done.store(true);
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });

    WorkWindow* window = nullptr;
    std::string text;
    int shownPos = -2;
    // The job's progress reaches the window and the status bar a few times a second.
    auto follow = [&] {
        const int pos = progress.Pos();
        const bool newText = progress.Text(text);
        if (mirror) {
            if (newText) mirror->SetText(text);
            if (pos != shownPos && pos >= 0) mirror->SetPos(pos);
        }
        if (window) {
            if (newText && !progress.Cancelled() && !text.empty())
                window->text->setText(QString::fromStdString(text));
            if (pos != shownPos || window->bar->maximum() == 0) {
                // No position yet: the bar only shows that something runs.
                window->bar->setRange(0, pos < 0 ? 0 : 100);
                if (pos >= 0) window->bar->setValue(pos);
            }
        }
        shownPos = pos;
    };
    QTimer ticker;
    ticker.setInterval(50);
    QObject::connect(&ticker, &QTimer::timeout, &loop, follow);
    ticker.start();

    // Quick work shows nothing: for a moment the UI thread only paints and runs its timers; input
    // waits until the job has ended.
    if (!done.load()) {
        QTimer::singleShot(WindowDelay(), &loop, [&loop] { loop.quit(); });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QPointer<QWidget> wasActive = QApplication::activeWindow();
    if (!done.load()) {
        window = new WorkWindow(parent, title, progress);
        // What the job said before its window was there.
        if (!text.empty()) window->text->setText(QString::fromStdString(text));
        follow();
        window->show();
        while (!done.load())
            loop.exec();
    }
    worker.join();
    follow();
    if (window) {
        window->hide();
        delete window;
        // The keyboard goes back where it was.
        if (wasActive) wasActive->activateWindow();
    }
    if (failure) std::rethrow_exception(failure);
    return !progress.Cancelled();
}

} // namespace zepho
