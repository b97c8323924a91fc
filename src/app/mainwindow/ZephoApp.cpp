#include "app/mainwindow/ZephoApp.h"

#include "app/mainwindow/AppStrings.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace zepho {

namespace {
std::unique_ptr<QSettings> OpenStore(const QString& file) {
    if (!file.isEmpty()) return std::make_unique<QSettings>(file, QSettings::IniFormat);
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, kOrganisation,
                                       kApplicationKey);
}
// One entry per file, named by a digest of its absolute path (paths hold characters that
// settings keys cannot).
QString GuidesKey(const QString& path) {
    const QByteArray abs = QFileInfo(path).absoluteFilePath().toUtf8();
    return QStringLiteral("Document Guides/") +
           QString::fromLatin1(QCryptographicHash::hash(abs, QCryptographicHash::Sha1).toHex());
}
} // namespace

CZephoApp::CZephoApp(const QString& settingsFile)
    : qsettings_(OpenStore(settingsFile)), store_(*qsettings_) {}

CZephoApp::~CZephoApp() = default;

void CZephoApp::Start() {
    // Every run starts with the default layout of toolbars and panels.
    qsettings_->remove(kWorkspaceGroup);
    recent_.clear();
    for (int i = 0; i < kRecentFiles; ++i) {
        const QString f = qsettings_->value(QStringLiteral("Recent File List/File%1").arg(i + 1)).toString();
        if (!f.isEmpty()) recent_ << f;
    }
    settings_.Load(store_);
}

void CZephoApp::Exit() {
    settings_.Save(store_);
    qsettings_->remove(QStringLiteral("Recent File List"));
    for (int i = 0; i < recent_.size(); ++i)
        qsettings_->setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), recent_[i]);
    qsettings_->sync();
}

void CZephoApp::AddRecentFile(const QString& path) {
    const QString abs = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(abs);
    recent_.prepend(abs);
    while (recent_.size() > kRecentFiles)
        recent_.removeLast();
}

} // namespace zepho

namespace zepho {

CGuides CZephoApp::GuidesOf(const QString& path) const {
    if (path.isEmpty()) return {};
    return ParseGuides(qsettings_->value(GuidesKey(path)).toString().toStdString());
}

void CZephoApp::KeepGuides(const QString& path, const CGuides& guides) {
    if (path.isEmpty()) return;
    if (guides == CGuides{})
        qsettings_->remove(GuidesKey(path));
    else
        qsettings_->setValue(GuidesKey(path), QString::fromStdString(FormatGuides(guides)));
}

} // namespace zepho
