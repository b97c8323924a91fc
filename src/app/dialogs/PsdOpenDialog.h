// "Open PSD File...": layers as objects or the composite image, and whether to ask again.
#pragma once

#include <QDialog>

class QCheckBox;
class QRadioButton;

namespace zepho {

class PsdOpenDialog : public QDialog {
    Q_OBJECT
public:
    PsdOpenDialog(int fashion, bool showTip, QWidget* parent = nullptr);
    int Fashion() const;
    bool ShowTip() const;

    QRadioButton* layers = nullptr;
    QRadioButton* composite = nullptr;
    QCheckBox* showTip = nullptr;
};

} // namespace zepho
