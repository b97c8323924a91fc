#include "app/dialogs/EffectDialogs.h"
#include "app/dialogs/DialogPlacement.h"

#include "app/dialogs/EffectStrings.h"
#include "edit/commands/CmdEffects.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zepho {

namespace {

struct EffectTexts {
    const char* caption;
    const char* group;
    const char* labels[3];
};

EffectTexts TextsOf(EffectKind kind) {
    using namespace effects;
    switch (kind) {
    case EffectKind::Blur:
        return {kBlur, kBlur, {kBlurLabel}};
    case EffectKind::GaussianBlur:
        return {kGaussianBlur, kGaussianBlur, {kBlurLabel}};
    case EffectKind::Sharpness:
        return {kSharpness, kSharpness, {kSharpnessLabel}};
    case EffectKind::Emboss:
        return {kEmboss, kEmboss, {kElevation, kWeight, kClockwise}};
    case EffectKind::Sunspot:
        return {kSunspot, kSunspot, {kHorizontalPos, kVerticalPos, kBrightness}};
    case EffectKind::BrightnessContrast:
        return {kAdjustBc, kGroupBc, {kBrightness, kContrast}};
    case EffectKind::Hsl:
        return {kAdjustHsl, kGroupHsl, {kHue, kSaturation, kLightness}};
    case EffectKind::Rgb:
        return {kAdjustRgb, kGroupRgb, {kRed, kGreen, kBlue}};
    }
    return {kBlur, kBlur, {kBlurLabel}};
}

} // namespace

EffectDialog::EffectDialog(CEffectModel& model, QWidget* parent) : QDialog(parent), model_(model) {
    const EffectTexts texts = TextsOf(model.Kind());
    const int count = static_cast<int>(model.Info().params.size());
    setWindowTitle(QString::fromUtf8(texts.caption));
    sliders.assign(count, nullptr);
    spins.assign(count, nullptr);

    group = new QGroupBox(QString::fromUtf8(texts.group));
    auto* inner = new QVBoxLayout(group);
    auto* grid = new QGridLayout;
    inner->addLayout(grid);
    const bool emboss = model.Kind() == EffectKind::Emboss;
    for (int i = 0; i < count; ++i)
        if (!(emboss && i == kEmbossAngle)) AddControl(i, texts.labels[i], grid, i);
    if (emboss) AddDirections(inner);

    // The status line keeps its place while hidden, so the dialog never changes size.
    status = new QLabel(QString::fromUtf8(effects::kWorking));
    progress = new QProgressBar;
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setMaximumHeight(status->sizeHint().height());
    for (QWidget* w : {static_cast<QWidget*>(status), static_cast<QWidget*>(progress)}) {
        QSizePolicy keep = w->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        w->setSizePolicy(keep);
        w->hide();
    }
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status);
    statusRow->addWidget(progress, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    okButton = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(statusRow);
    layout->addWidget(buttons);

    // The worker reports from its own thread: the news is handled here, in the event loop.
    model_.Prepare();
    model_.SetListener([this] {
        QMetaObject::invokeMethod(
            this, [this] { OnWorkerNews(); }, Qt::QueuedConnection);
    });
    progressTimer_.setInterval(50);
    // Kernels that cannot tell how far they are leave the bar busy.
    connect(&progressTimer_, &QTimer::timeout, this, [this] {
        if (const int done = model_.Progress(); done > 0) {
            progress->setRange(0, 100);
            progress->setValue(done);
        }
    });
    // A preview asked for before the dialog (emboss, sunspot) may have come before the listener.
    OnWorkerNews();
}

void EffectDialog::SetValue(int i, int value) {
    model_.SetValue(i, value);
    ShowBusy();
}

void EffectDialog::OnWorkerNews() {
    model_.Poll();
    if (applying_ && model_.Ready()) {
        applying_ = false;
        progressTimer_.stop();
        recorded_ = model_.Ok();
        ShowBusy();
        QDialog::done(QDialog::Accepted);
        return;
    }
    ShowBusy();
}

void EffectDialog::ShowBusy() {
    const bool busy = applying_ || model_.Busy();
    status->setVisible(busy);
    progress->setVisible(busy);
    // A busy pointer, not a wait pointer: the controls stay usable.
    if (busy != busyCursor_) {
        busyCursor_ = busy;
        if (busy)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    }
}

void EffectDialog::StopApplying() {
    applying_ = false;
    progressTimer_.stop();
    model_.StopWork();
    group->setEnabled(true);
    okButton->setEnabled(true);
    status->setText(QString::fromUtf8(effects::kWorking));
    progress->setRange(0, 0);
    ShowBusy();
}

void EffectDialog::AddControl(int i, const char* label, QGridLayout* grid, int row) {
    const EffectParam& p = model_.Info().params[i];
    auto* spin = new QSpinBox;
    spin->setRange(p.minimum, p.maximum);
    spin->setValue(model_.Value(i));
    // A typed value counts once it is complete (Enter or leaving the box), not per keystroke.
    spin->setKeyboardTracking(false);
    spins[i] = spin;
    grid->addWidget(new QLabel(QString::fromUtf8(label)), row, 0);
    if (p.tick > 0) {
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setRange(p.minimum, p.maximum);
        slider->setValue(model_.Value(i));
        slider->setTickInterval(p.tick);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setPageStep(p.tick);
        slider->setMinimumWidth(180);
        sliders[i] = slider;
        grid->addWidget(slider, row, 1);
        // The images follow the slider while it is dragged: the newest value wins on the worker.
        connect(slider, &QSlider::valueChanged, this, [this, i](int v) {
            {
                const QSignalBlocker block(spins[i]);
                spins[i]->setValue(v);
            }
            SetValue(i, v);
        });
    }
    grid->addWidget(spin, row, 2);
    connect(spin, &QSpinBox::valueChanged, this, [this, i](int v) {
        if (QSlider* s = sliders[i]) {
            const QSignalBlocker block(s);
            s->setValue(v);
        }
        SetValue(i, v);
    });
}

void EffectDialog::AddDirections(QVBoxLayout* layout) {
    using namespace effects;
    auto* box = new QGroupBox(QString::fromUtf8(kAzimuth));
    auto* grid = new QGridLayout(box);
    const char* names[5] = {kRight, kUp, kLeft, kDown, kCustomAngle};
    for (int d = 0; d < 5; ++d) {
        directions[d] = new QRadioButton(QString::fromUtf8(names[d]));
        grid->addWidget(directions[d], d / 2, d % 2);
    }
    AddControl(kEmbossAngle, kClockwise, grid, 3);
    QSpinBox* angle = spins[kEmbossAngle];
    angle->setEnabled(false);
    layout->addWidget(box);
    // The start angle picks its button; any other angle is a custom one.
    int start = 4;
    for (int d = 0; d < 4; ++d)
        if (kEmbossDirections[d] == model_.Value(kEmbossAngle)) start = d;
    directions[start]->setChecked(true);
    angle->setEnabled(start == 4);
    for (int d = 0; d < 5; ++d)
        connect(directions[d], &QRadioButton::toggled, this, [this, d, angle](bool on) {
            if (!on) return;
            angle->setEnabled(d == 4);
            if (d < 4) angle->setValue(kEmbossDirections[d]);
        });
}

// The controls may still report values while they are torn down: nothing may reach the model.
EffectDialog::~EffectDialog() {
    // No news after this; whatever was posted goes with the dialog.
    model_.Prepare();
    model_.SetListener({});
    if (busyCursor_) QApplication::restoreOverrideCursor();
    for (QSlider* s : sliders)
        if (s) s->disconnect(this);
    for (QSpinBox* s : spins)
        if (s) s->disconnect(this);
    for (QRadioButton* r : directions)
        if (r) r->disconnect(this);
}

void EffectDialog::done(int result) {
    if (applying_) {
        // Cancel (or closing the window) while OK waits gives the controls back.
        if (result != QDialog::Accepted) StopApplying();
        return;
    }
    if (result == QDialog::Accepted && !model_.Ready()) {
        // The exact preview is still being computed: OK waits for it, with a bar and Cancel.
        applying_ = true;
        model_.Finish();
        group->setEnabled(false);
        okButton->setEnabled(false);
        status->setText(QString::fromUtf8(effects::kApplying));
        progressTimer_.start();
        ShowBusy();
        return;
    }
    if (result == QDialog::Accepted)
        recorded_ = model_.Ok();
    else
        model_.Cancel();
    ShowBusy();
    QDialog::done(result);
}

// The dialog opens beside the document it changes, so that the preview stays in sight.
void EffectDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed_ || !parentWidget()) return;
    placed_ = true;
    PlaceBesideDocument(this);
}

bool RunEffectDialog(QWidget* parent, COrvaneDoc& doc, EffectKind kind, IUiHost& ui) {
    std::unique_ptr<CEffectModel> model = BeginEffect(doc, kind, ui);
    if (!model) return false;
    EffectDialog dialog(*model, parent);
    dialog.exec();
    return dialog.Recorded();
}

} // namespace zepho
