#include "app/properties/PropertyBoundBox.h"

#include "edit/properties/PropNumber.h"

#include <QApplication>
#include <QLineEdit>

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {
constexpr int kTickMs = 500;
constexpr int kHoldMs = 1000;
} // namespace

BoundBox::BoundBox(IUiHost& ui, int lo, int hi, QWidget* parent)
    : QAbstractSpinBox(parent), ui_(ui), whole_(true), lo_(lo), hi_(hi) {
    Init();
}

BoundBox::BoundBox(IUiHost& ui, double lo, double hi, QWidget* parent)
    : QAbstractSpinBox(parent), ui_(ui), whole_(false), lo_(lo), hi_(hi) {
    Init();
}

void BoundBox::Init() {
    setButtonSymbols(QAbstractSpinBox::NoButtons);
    setKeyboardTracking(true);
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &BoundBox::Tick);
    SetValue(std::max(lo_, 0.0));
}

void BoundBox::SetArrows(bool on) {
    setButtonSymbols(on ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
}

void BoundBox::SetRange(double lo, double hi) {
    lo_ = lo;
    hi_ = hi;
}

QString BoundBox::Shown(double v) const {
    if (whole_) return QString::number(static_cast<long long>(std::llround(v)));
    return QString::fromStdString(FormatFloatBox(v));
}

void BoundBox::SetValue(double v) {
    value_ = v;
    accepted_ = seen_ = Shown(v);
    if (lineEdit()->text() != accepted_) lineEdit()->setText(accepted_);
}

bool BoundBox::CheckNow() {
    const QString text = lineEdit()->text();
    if (text == accepted_ || reporting_) return true;
    seen_ = text;
    const std::string s = text.toStdString();
    bool ok = false;
    double v = 0;
    if (whole_) {
        int iv = 0;
        ok = ParseIntBox(s, static_cast<int>(lo_), static_cast<int>(hi_), iv);
        v = iv;
    } else {
        ok = ParseFloatBox(s, lo_, hi_, v);
    }
    if (ok) {
        accepted_ = text;
        value_ = v;
        emit ValueAccepted(v);
        return true;
    }
    // The message takes the focus for a while; the box must not check again meanwhile.
    reporting_ = true;
    ShowRangeMessage(ui_, whole_ ? IntRangeMessage(static_cast<int>(lo_), static_cast<int>(hi_))
                                 : FloatRangeMessage(lo_, hi_));
    reporting_ = false;
    setFocus();
    selectAll();
    holding_ = true;
    holdFrom_.start();
    return false;
}

void BoundBox::Tick() {
    if (holding_ && holdFrom_.elapsed() < kHoldMs) return;
    holding_ = false;
    if (lineEdit()->text() != seen_) CheckNow();
}

void BoundBox::stepBy(int steps) {
    const double v = std::clamp(value_ + steps, lo_, hi_);
    SetValue(v);
    emit ValueAccepted(v);
}

QAbstractSpinBox::StepEnabled BoundBox::stepEnabled() const {
    StepEnabled e = StepNone;
    if (value_ < hi_) e |= StepUpEnabled;
    if (value_ > lo_) e |= StepDownEnabled;
    return e;
}

void BoundBox::focusInEvent(QFocusEvent* e) {
    QAbstractSpinBox::focusInEvent(e);
    timer_.start();
}

void BoundBox::focusOutEvent(QFocusEvent* e) {
    timer_.stop();
    QAbstractSpinBox::focusOutEvent(e);
    QWidget* next = QApplication::focusWidget();
    if (cancel_ && next == cancel_) return;
    CheckNow();
}

} // namespace zepho
