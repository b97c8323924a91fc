#include "app/capture/PortalScreenshot.h"

#include "app/canvas/QtDib.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QImage>
#include <QUrl>

namespace zepho {

PortalScreenshot::PortalScreenshot(QDBusConnection bus, Done done, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), done_(std::move(done)) {}

PortalScreenshot::~PortalScreenshot() {
    Unwatch();
}

bool PortalScreenshot::Ready() {
    if (!bus_.isConnected() || !bus_.interface()) return false;
    const QString name = QString::fromLatin1(kService);
    if (bus_.interface()->isServiceRegistered(name).value()) return true;
    // Desktops start the portal on the first call.
    return bus_.interface()->activatableServiceNames().value().contains(name);
}

bool PortalScreenshot::RequestScreenshot(bool interactive) {
    if (Pending() || !bus_.isConnected()) return false;
    // The request object's path follows from our unique name and the token; listening on it
    // before calling means a quick answer cannot be missed.
    const QString token = QStringLiteral("zepho%1_%2").arg(QCoreApplication::applicationPid()).arg(++serial_);
    QString sender = bus_.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    Watch(QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));

    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Screenshot"));
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("interactive"), interactive);
    options.insert(QStringLiteral("modal"), true);
    call << parentWindow_ << options;
    // Never block the interface on the answer: the portal may be started first.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            if (Pending()) Finish(ScreenshotOutcome::Failed, PackedDib());
            return;
        }
        // Portals older than the token convention choose the path themselves.
        const QString path = reply.value().path();
        if (Pending() && path != requestPath_) Watch(path);
    });
    return true;
}

void PortalScreenshot::Watch(const QString& path) {
    Unwatch();
    requestPath_ = path;
    bus_.connect(QString(), requestPath_, QString::fromLatin1(kRequestInterface), QStringLiteral("Response"),
                 this, SLOT(OnResponse(uint, QVariantMap)));
}

void PortalScreenshot::Unwatch() {
    if (requestPath_.isEmpty()) return;
    bus_.disconnect(QString(), requestPath_, QString::fromLatin1(kRequestInterface),
                    QStringLiteral("Response"), this, SLOT(OnResponse(uint, QVariantMap)));
    requestPath_.clear();
}

void PortalScreenshot::OnResponse(uint response, const QVariantMap& results) {
    if (!Pending()) return;
    // 0 success, 1 cancelled by the user, 2 ended otherwise.
    if (response == 1) return Finish(ScreenshotOutcome::Cancelled, PackedDib());
    if (response != 0) return Finish(ScreenshotOutcome::Failed, PackedDib());
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    QImage image;
    if (uri.isLocalFile()) image.load(uri.toLocalFile());
    if (image.isNull()) return Finish(ScreenshotOutcome::Failed, PackedDib());
    // The file is the user's (the portal may have saved it among their pictures): we only read it.
    Finish(ScreenshotOutcome::Taken, FromQImage(image));
}

void PortalScreenshot::Finish(ScreenshotOutcome outcome, PackedDib picture) {
    Unwatch();
    if (done_) done_(outcome, std::move(picture));
}

} // namespace zepho
