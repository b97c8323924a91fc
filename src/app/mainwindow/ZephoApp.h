// The application object: the settings record with its store and the recent-file list.
#pragma once

#include "app/services/QtServices.h"
#include "edit/view/Snap.h"
#include "model/AppSettings.h"

#include <QSettings>
#include <QStringList>

#include <memory>

namespace zepho {

class CZephoApp {
public:
    static constexpr int kRecentFiles = 4;

    // settingsFile empty: the per-user INI file of organisation "Quarnix".
    explicit CZephoApp(const QString& settingsFile = {});
    ~CZephoApp();

    // Start-up: drops the saved workspace layout, reads the recent files, then the settings.
    void Start();
    // Exit: writes the settings and the recent files.
    void Exit();

    CAppSettings& Settings() { return settings_; }
    QSettings& Store() { return *qsettings_; }

    const QStringList& RecentFiles() const { return recent_; }
    void AddRecentFile(const QString& path);

    // The guides and grid of a document file, kept beside the recent files (the file itself is
    // not touched); none kept gives empty guides and no grid.
    CGuides GuidesOf(const QString& path) const;
    void KeepGuides(const QString& path, const CGuides& guides);

    // The first document at start-up skips the "New Image" dialog.
    bool skipNewImageDialog = true;

private:
    std::unique_ptr<QSettings> qsettings_;
    QtSettingsStore store_;
    CAppSettings settings_;
    QStringList recent_;
};

} // namespace zepho
