// Preferences: undo levels and memory, PSD layer handling, export background colour, arrow-key offsets, autosave
// interval.
#pragma once

#include "model/AppSettings.h"

#include <QDialog>

class QSpinBox;
class QRadioButton;

namespace zepho {

class ColorButton;

class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(const CAppSettings& settings, QWidget* parent = nullptr);
    // Writes the values back (after OK).
    void Store(CAppSettings& settings) const;

    QSpinBox* undoLevels = nullptr;
    QSpinBox* undoMemory = nullptr;
    QRadioButton* psdLayers = nullptr;
    QRadioButton* psdComposite = nullptr;
    ColorButton* background = nullptr;
    QSpinBox* horizontalOffset = nullptr;
    QSpinBox* verticalOffset = nullptr;
    QSpinBox* autosaveMinutes = nullptr;
    QSpinBox* gridSpacing = nullptr;
    ColorButton* gridColour = nullptr;
};

} // namespace zepho
