// The "New Image" dialog: size, plain colour or transparent background.
#pragma once

#include "model/AppSettings.h"

#include <QDialog>

class QSpinBox;
class QRadioButton;

namespace zepho {

class ColorButton;

class NewImageDialog : public QDialog {
    Q_OBJECT
public:
    NewImageDialog(const CAppSettings& settings, QWidget* parent = nullptr);
    // Stores the four values back into the settings (after OK).
    void Store(CAppSettings& settings) const;

    QSpinBox* widthBox = nullptr;
    QSpinBox* heightBox = nullptr;
    QRadioButton* simpleColor = nullptr;
    QRadioButton* transparent = nullptr;
    ColorButton* colour = nullptr;
};

} // namespace zepho
