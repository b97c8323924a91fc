// The options panel's number box: digits only, and a keystroke that would take the value out
// of its range is undone at once; every accepted change is written to its setting.
#pragma once

#include <QSpinBox>

namespace zepho {

class NumberBox : public QSpinBox {
    Q_OBJECT
public:
    NumberBox(int minimum, int maximum, int* setting, QWidget* parent = nullptr);
    // Shows the setting's current value.
    void Reload();

protected:
    QValidator::State validate(QString& text, int& pos) const override;

private:
    int* setting_;
};

} // namespace zepho
