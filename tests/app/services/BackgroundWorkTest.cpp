// Long work on a worker: quick work shows nothing, slow work shows its progress with Cancel while
// the UI thread goes on with its events, a cancelled save leaves its file as it was, and what a
// job asks the user is asked on the UI thread.
#include "app/services/BackgroundWork.h"
#include "platform/ByteStream.h"
#include "support/ScriptedUiHost.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

using namespace zepho;
using namespace std::chrono_literals;

QApplication& TestApp();

namespace {

QDialog* WorkWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == kWorkWindowName && w->isVisible()) return qobject_cast<QDialog*>(w);
    return nullptr;
}

// The status bar's side of a job.
struct Mirror : IProgress {
    std::vector<std::string> texts;
    int pos = -1;
    void SetText(const std::string& t) override { texts.push_back(t); }
    void SetPos(int p) override { pos = p; }
    void Pump() override {}
};

struct DelayGuard {
    explicit DelayGuard(int ms) : previous(SetProgressWindowDelay(ms)) {}
    ~DelayGuard() { SetProgressWindowDelay(previous); }
    int previous;
};

std::string Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string("<none>");
}

} // namespace

TEST(BackgroundWork, QuickWorkShowsNothingAndTheEventLoopRunsMeanwhile) {
    TestApp();
    DelayGuard delay(2000);
    int ticks = 0;
    bool sawWindow = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        if (WorkWindow()) sawWindow = true;
    });
    ticker.start(5);
    std::thread::id jobThread;
    Mirror mirror;
    const bool done = RunWithProgress(
        nullptr, "t",
        [&](WorkProgress& p) {
            jobThread = std::this_thread::get_id();
            p.SetText("Reading file a.png");
            p.SetPos(40);
            std::this_thread::sleep_for(150ms);
        },
        &mirror);
    EXPECT_TRUE(done);
    EXPECT_NE(jobThread, std::this_thread::get_id());
    EXPECT_FALSE(sawWindow);
    EXPECT_EQ(WorkWindow(), nullptr);
    // Timers ran while the job did (every 5 ms over 150 ms).
    EXPECT_GE(ticks, 5);
    ASSERT_FALSE(mirror.texts.empty());
    EXPECT_EQ(mirror.texts.back(), "Reading file a.png");
    EXPECT_EQ(mirror.pos, 40);

    // What the job throws reaches the caller.
    EXPECT_THROW(RunWithProgress(nullptr, "t", [](WorkProgress&) { throw std::runtime_error("x"); }),
                 std::runtime_error);
}

TEST(BackgroundWork, SlowWorkShowsProgressAndCancelStopsASaveWithoutTouchingTheFile) {
    TestApp();
    DelayGuard delay(20);
    QTemporaryDir dir;
    const QString target = dir.filePath("kept.bin");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    // The window appears with the job's text and position; then Cancel is pressed.
    QString shownText;
    int shownValue = -1, shownMax = -1;
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        QDialog* w = WorkWindow();
        if (!w) return;
        auto* bar = w->findChild<QProgressBar*>();
        if (!bar || bar->value() < 30) return;
        shownText = w->findChild<QLabel*>()->text();
        shownValue = bar->value();
        shownMax = bar->maximum();
        w->findChild<QPushButton*>()->click();
        presser.stop();
    });
    presser.start(10);
    int writes = 0;
    bool sawCancel = false;
    bool committed = true;
    const bool done = RunWithProgress(nullptr, "t", [&](WorkProgress& p) {
        p.SetText("Saving file kept.bin");
        FileWriter out(target.toStdString());
        const char chunk[4096] = {};
        // Writes until the writer refuses, as an encoder does until its save is called off.
        for (int i = 0; i < 2000 && out.Write(chunk, sizeof chunk); ++i) {
            ++writes;
            p.SetPos(std::min(99, 30 + i));
            std::this_thread::sleep_for(2ms);
        }
        sawCancel = p.Cancelled();
        committed = out.Commit();
    });
    EXPECT_FALSE(done);
    EXPECT_TRUE(sawCancel);
    EXPECT_FALSE(committed);
    EXPECT_LT(writes, 2000);
    EXPECT_EQ(shownText, "Saving file kept.bin");
    EXPECT_GE(shownValue, 30);
    EXPECT_EQ(shownMax, 100);
    EXPECT_EQ(WorkWindow(), nullptr);
    // The old file stays, and no temporary file is left beside it.
    EXPECT_TRUE(Contents(target) == "old contents") << "the file was replaced";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.bin"});

    // The cancel belonged to that job: the next save on a worker goes through.
    EXPECT_TRUE(RunWithProgress(nullptr, "t", [&](WorkProgress&) {
        FileWriter out(target.toStdString());
        out.Write("new", 3);
        committed = out.Commit();
    }));
    EXPECT_TRUE(committed);
    EXPECT_EQ(Contents(target), "new");

    // Cancel also stops the job's parallel loops (a transform, a flatten) at their next piece.
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (QDialog* w = WorkWindow()) {
            w->findChild<QPushButton*>()->click();
            presser.stop();
        }
    });
    presser.start(10);
    std::atomic<int> pieces{0};
    EXPECT_FALSE(RunWithProgress(nullptr, "t", [&](WorkProgress&) {
        ParallelFor(100000, 1, [&](std::ptrdiff_t, std::ptrdiff_t) {
            ++pieces;
            std::this_thread::sleep_for(1ms);
        });
    }));
    EXPECT_LT(pieces.load(), 20000);
}

TEST(BackgroundWork, QuestionsFromAJobAreAskedOnTheUiThread) {
    TestApp();
    test::ScriptedUiHost scripted;
    scripted.answers = {true};
    // Records the thread each question is asked on.
    struct Recording : IUiHost {
        test::ScriptedUiHost& inner;
        std::vector<bool> onUi;
        explicit Recording(test::ScriptedUiHost& i) : inner(i) {}
        void MessageBox(const std::string& t, const std::string& c, MsgIcon i) override {
            onUi.push_back(QThread::currentThread() == qApp->thread());
            inner.MessageBox(t, c, i);
        }
        bool AskYesNo(const std::string& t, const std::string& c) override {
            onUi.push_back(QThread::currentThread() == qApp->thread());
            return inner.AskYesNo(t, c);
        }
    } recording(scripted);
    WorkerUiHost host(recording);
    bool yes = false;
    ASSERT_TRUE(RunWithProgress(nullptr, "t", [&](WorkProgress&) {
        yes = host.AskYesNo("Go on?", "Q");
        host.MessageBox("Done", "Q", MsgIcon::Information);
    }));
    EXPECT_TRUE(yes);
    ASSERT_EQ(scripted.shown.size(), 2u);
    EXPECT_EQ(scripted.shown[0].text, "Go on?");
    EXPECT_EQ(scripted.shown[1].text, "Done");
    EXPECT_EQ(recording.onUi, (std::vector<bool>{true, true}));
}
