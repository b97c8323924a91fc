// Screen capture through the desktop portal, against a portal of our own on a private session
// bus: the requests it receives, the document that arrives, and what the user is told when the
// portal is missing or the capture is cancelled.
#include "app/capture/CaptureController.h"
#include "app/capture/CaptureStrings.h"
#include "model/AppSettings.h"
#include "support/ScriptedUiHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

using namespace zepho;

namespace {

// A bus daemon of the test's own, so that nothing of the desktop takes part.
struct PrivateBus {
    QTemporaryDir dir;
    QProcess daemon;
    QString address;

    bool Start() {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (exe.isEmpty()) return false;
        QFile conf(dir.filePath(QStringLiteral("bus.conf")));
        if (!conf.open(QIODevice::WriteOnly)) return false;
        conf.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\"><allow "
                       "send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n")
                       .arg(dir.path())
                       .toUtf8());
        conf.close();
        daemon.start(exe, {QStringLiteral("--config-file=") + conf.fileName(), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
        if (!daemon.waitForStarted(5000)) return false;
        while (!daemon.canReadLine())
            if (!daemon.waitForReadyRead(5000)) return false;
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        return !address.isEmpty();
    }
    ~PrivateBus() {
        if (daemon.state() != QProcess::NotRunning) {
            daemon.terminate();
            daemon.waitForFinished(3000);
        }
    }
};

// The portal's Screenshot call: it answers with the request path the caller's token names and,
// a moment later, the Response signal on that path with what the test asks for.
class MockPortal : public QDBusVirtualObject {
public:
    struct Request {
        QString parent;
        QVariantMap options;
        QString path;
    };
    QDBusConnection bus;
    std::vector<Request> requests;
    uint response = 0;
    QString uri;

    explicit MockPortal(QDBusConnection b) : bus(std::move(b)) {}

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection&) override {
        if (m.interface() != QLatin1String("org.freedesktop.portal.Screenshot") ||
            m.member() != QLatin1String("Screenshot") || m.arguments().size() != 2)
            return false;
        Request r;
        r.parent = m.arguments()[0].toString();
        r.options = qdbus_cast<QVariantMap>(m.arguments()[1]);
        QString sender = m.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        r.path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                     .arg(sender, r.options.value(QStringLiteral("handle_token")).toString());
        requests.push_back(r);
        bus.send(m.createReply(QVariant::fromValue(QDBusObjectPath(r.path))));
        QTimer::singleShot(20, [this, path = r.path] {
            QDBusMessage signal = QDBusMessage::createSignal(
                path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
            QVariantMap results;
            if (response == 0) results.insert(QStringLiteral("uri"), uri);
            signal << response << results;
            bus.send(signal);
        });
        return true;
    }
};

struct PortalFixture {
    PrivateBus bus;
    std::unique_ptr<MockPortal> portal;
    std::unique_ptr<QDBusConnection> portalBus, appBus;
    QMainWindow main;
    CAppSettings settings;
    test::ScriptedUiHost ui;
    COrvaneDoc* active = nullptr;
    std::vector<std::shared_ptr<COrvaneDoc>> opened;
    std::unique_ptr<CaptureController> controller;

    bool Start() {
        if (!bus.Start()) return false;
        portalBus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address, "zepho-mock-portal"));
        appBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address, "zepho-app"));
        if (!portalBus->isConnected() || !appBus->isConnected()) return false;
        portal = std::make_unique<MockPortal>(*portalBus);
        settings.CaptureDelay = 1;
        CaptureController::Callbacks cb;
        cb.activeDocument = [this] { return active; };
        cb.openDocument = [this](std::shared_ptr<COrvaneDoc> d) { opened.push_back(std::move(d)); };
        cb.ui = [this]() -> IUiHost& { return ui; };
        controller = std::make_unique<CaptureController>(&main, settings, *appBus, cb);
        main.show();
        return true;
    }
    bool Register() {
        return portalBus->registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                portal.get()) &&
               portalBus->registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    bool Idle() const { return controller->Model().GetState() == CCaptureModel::Idle; }
    ~PortalFixture() {
        controller.reset();
        if (portalBus) {
            portalBus->unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
            QDBusConnection::disconnectFromBus("zepho-mock-portal");
            QDBusConnection::disconnectFromBus("zepho-app");
        }
    }
};

COLORREF ColourAt(const PackedDib& d, int x, int y) {
    const BYTE* p = d.Pixel32(x, y);
    return RGB(p[2], p[1], p[0]);
}

} // namespace

TEST(PortalCapture, ScreenshotsArriveAsDocumentsAndTheUserHearsOfFailures) {
    PortalFixture f;
    ASSERT_TRUE(f.Start()) << "a private bus needs dbus-daemon";

    // No portal on the bus: said at once, and the window never hides.
    f.controller->FullScreen();
    EXPECT_TRUE(f.Idle());
    EXPECT_TRUE(f.main.isVisible());
    ASSERT_EQ(f.ui.shown.size(), 1u);
    EXPECT_EQ(f.ui.shown[0].text, capture::kNoPortal);
    ASSERT_TRUE(f.Register());

    // A picture of the screen as the portal hands it over: a PNG file with a red and a
    // half-transparent blue pixel.
    QImage png(3, 2, QImage::Format_ARGB32);
    png.fill(QColor(0, 200, 0));
    png.setPixelColor(0, 0, QColor(255, 0, 0));
    png.setPixelColor(2, 1, QColor(0, 0, 255, 128));
    const QString file = f.bus.dir.filePath(QStringLiteral("Screenshot.png"));
    ASSERT_TRUE(png.save(file));
    f.portal->uri = QUrl::fromLocalFile(file).toString();

    // Full screen: hidden for the delay, asked without a dialog, the picture opens as a new
    // document, and the window comes back.
    f.controller->FullScreen();
    EXPECT_FALSE(f.main.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.opened.empty(); }, 5000));
    ASSERT_EQ(f.portal->requests.size(), 1u);
    EXPECT_EQ(f.portal->requests[0].options.value("interactive").toBool(), false);
    EXPECT_FALSE(f.portal->requests[0].options.value("handle_token").toString().isEmpty());
    EXPECT_TRUE(f.Idle());
    EXPECT_TRUE(f.main.isVisible());
    COrvaneDoc& doc = *f.opened[0];
    EXPECT_EQ(doc.title, "ScreenShot");
    EXPECT_EQ(doc.Image().width, 3);
    EXPECT_EQ(doc.Image().height, 2);
    ASSERT_EQ(doc.Image().objects.Count(), 1);
    const PackedDib& raster = doc.Image().objects.Tail()->content->raster;
    EXPECT_EQ(ColourAt(raster, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(ColourAt(raster, 1, 0), RGB(0, 200, 0));
    EXPECT_EQ(ColourAt(raster, 2, 1), RGB(0, 0, 255));
    EXPECT_EQ(raster.Pixel32(2, 1)[3], 128);
    EXPECT_EQ(f.ui.shown.size(), 1u) << "nothing said on success";

    // Window or Control lets the user choose in the portal's dialog; with "insert" on, the
    // picture becomes the active document's new top object, one undo step.
    f.settings.InsertIntoCapture = 1;
    f.active = &doc;
    f.controller->WindowOrControl();
    ASSERT_TRUE(QTest::qWaitFor([&] { return doc.Image().objects.Count() == 2; }, 5000));
    ASSERT_EQ(f.portal->requests.size(), 2u);
    EXPECT_EQ(f.portal->requests[1].options.value("interactive").toBool(), true);
    EXPECT_EQ(doc.UndoManager().UndoCount(), 1u);
    EXPECT_EQ(f.opened.size(), 1u);
    EXPECT_TRUE(f.Idle());

    // The user cancels the portal's dialog: told so, nothing added, the window back.
    f.portal->response = 1;
    f.controller->WindowOrControl();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.ui.shown.size() == 2; }, 5000));
    EXPECT_EQ(f.ui.shown[1].text, capture::kCancelled);
    EXPECT_EQ(doc.Image().objects.Count(), 2);
    EXPECT_TRUE(f.Idle());
    EXPECT_TRUE(f.main.isVisible());

    // A file that is not there, or any other failure of the portal: the failure message.
    f.portal->response = 0;
    f.portal->uri = QUrl::fromLocalFile(f.bus.dir.filePath(QStringLiteral("gone.png"))).toString();
    f.controller->FullScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.ui.shown.size() == 3; }, 5000));
    EXPECT_EQ(f.ui.shown[2].text, capture::kFailed);
    f.portal->response = 2;
    f.controller->FullScreen();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.ui.shown.size() == 4; }, 5000));
    EXPECT_EQ(f.ui.shown[3].text, capture::kFailed);
    EXPECT_EQ(doc.Image().objects.Count(), 2);
    EXPECT_EQ(f.opened.size(), 1u);
    EXPECT_TRUE(f.Idle());
}
