// The pages' number boxes: any text may be typed; it is checked at the first timer tick after
// it changed and when the box loses the focus (not to Cancel). A value outside the range is
// refused with a message and the box takes the focus back.
#pragma once

#include "platform/Services.h"

#include <QAbstractSpinBox>
#include <QElapsedTimer>
#include <QTimer>

namespace zepho {

class BoundBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    // A whole-number box.
    BoundBox(IUiHost& ui, int lo, int hi, QWidget* parent = nullptr);
    // A decimal box.
    BoundBox(IUiHost& ui, double lo, double hi, QWidget* parent = nullptr);

    void SetRange(double lo, double hi);
    double Lo() const { return lo_; }
    double Hi() const { return hi_; }
    // Shows a value without reporting it.
    void SetValue(double v);
    double Value() const { return value_; }
    // Shows the small arrows that step the value.
    void SetArrows(bool on);

    // The button whose focus skips the check (the sheet's Cancel).
    static void SetCancelButton(QWidget* button) { cancel_ = button; }
    // Checks changed text now; false (after the message) when it was refused.
    bool CheckNow();

    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
    void stepBy(int steps) override;

signals:
    void ValueAccepted(double value);

protected:
    StepEnabled stepEnabled() const override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void Init();
    void Tick();
    QString Shown(double v) const;

    IUiHost& ui_;
    bool whole_;
    double lo_, hi_, value_ = 0;
    // The text of the value last taken, and the text last checked.
    QString accepted_, seen_;
    QTimer timer_;
    QElapsedTimer holdFrom_;
    bool holding_ = false;
    bool reporting_ = false;
    static inline QWidget* cancel_ = nullptr;
};

} // namespace zepho
