// Screenshots through the desktop portal (org.freedesktop.portal.Screenshot on the session bus),
// the one way a program may read the screen on a Wayland session. The compositor takes the
// picture, after asking the user when the request is interactive, and answers on a request
// object with the address of a PNG file.
#pragma once

#include "edit/dialogs/CaptureModel.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace zepho {

class PortalScreenshot : public QObject, public IScreenshotService {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.Screenshot";
    static constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

    using Done = std::function<void(ScreenshotOutcome, PackedDib)>;
    PortalScreenshot(QDBusConnection bus, Done done, QObject* parent = nullptr);
    ~PortalScreenshot() override;

    // The portal's name for the window its dialogs belong to ("x11:<hex id>"), or empty.
    void SetParentWindow(const QString& handle) { parentWindow_ = handle; }

    // IScreenshotService
    bool Ready() override;
    bool RequestScreenshot(bool interactive) override;

    // True while a request waits for its answer.
    bool Pending() const { return !requestPath_.isEmpty(); }

private slots:
    void OnResponse(uint response, const QVariantMap& results);

private:
    void Watch(const QString& path);
    void Unwatch();
    void Finish(ScreenshotOutcome outcome, PackedDib picture);

    QDBusConnection bus_;
    Done done_;
    QString parentWindow_;
    QString requestPath_;
    unsigned serial_ = 0;
};

} // namespace zepho
