// The Capture Settings dialog: the delay, the cursor, the main window's hiding and return, and
// where each capture goes.
#pragma once

#include "model/AppSettings.h"

#include <QDialog>

class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace zepho {

class CaptureSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CaptureSettingsDialog(const CAppSettings& settings, QWidget* parent = nullptr);
    // Copies the dialog's values into the settings (after OK).
    void Store(CAppSettings& settings) const;

    QSpinBox* delay = nullptr;
    QCheckBox* includeCursor = nullptr;
    QCheckBox* hideWindow = nullptr;
    QCheckBox* restoreWindow = nullptr;
    QRadioButton* newView = nullptr;
    QRadioButton* insertView = nullptr;
};

} // namespace zepho
