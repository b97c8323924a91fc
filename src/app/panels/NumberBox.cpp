#include "app/panels/NumberBox.h"

namespace zepho {

NumberBox::NumberBox(int minimum, int maximum, int* setting, QWidget* parent)
    : QSpinBox(parent), setting_(setting) {
    setRange(minimum, maximum);
    setKeyboardTracking(true);
    Reload();
    connect(this, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) {
        if (setting_) *setting_ = v;
    });
}

void NumberBox::Reload() {
    if (setting_) setValue(std::clamp(*setting_, minimum(), maximum()));
}

QValidator::State NumberBox::validate(QString& text, int&) const {
    // An empty box is being retyped; anything but digits, or a value out of range, is refused.
    if (text.isEmpty()) return QValidator::Intermediate;
    const bool negativeAllowed = minimum() < 0;
    for (int i = 0; i < text.size(); ++i)
        if (!text[i].isDigit() && !(negativeAllowed && i == 0 && text[i] == '-')) return QValidator::Invalid;
    if (text == "-") return QValidator::Intermediate;
    bool ok = false;
    const long long v = text.toLongLong(&ok);
    if (!ok || v > maximum() || v < minimum()) return QValidator::Invalid;
    return QValidator::Acceptable;
}

} // namespace zepho
