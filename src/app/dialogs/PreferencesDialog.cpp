#include "app/dialogs/PreferencesDialog.h"

#include "app/mainwindow/AppStrings.h"
#include "app/panels/ColorButton.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zepho {

PreferencesDialog::PreferencesDialog(const CAppSettings& s, QWidget* parent) : QDialog(parent) {
    setWindowTitle(kPreferencesTitle);
    undoLevels = new QSpinBox;
    undoLevels->setRange(1, 1000);
    undoLevels->setValue(std::clamp(s.UndoMaxTimes, 1, 1000));
    auto* undoBox = new QGroupBox(kUndoGroup);
    auto* undoRows = new QVBoxLayout(undoBox);
    auto* undoRow = new QHBoxLayout;
    undoRow->addWidget(new QLabel(kMaintain));
    undoRow->addWidget(undoLevels);
    undoRow->addWidget(new QLabel(kLevels));
    undoRow->addStretch();
    undoRows->addLayout(undoRow);
    // The memory beside the step count: whichever is reached first drops the oldest steps.
    undoMemory = new QSpinBox;
    undoMemory->setRange(16, 1 << 20);
    undoMemory->setSuffix(QStringLiteral(" MB"));
    undoMemory->setValue(s.UndoMaxMegabytes > 0 ? std::max(s.UndoMaxMegabytes, 16) : AutomaticUndoMegabytes());
    undoMemory->setToolTip(QString(kUndoMemoryTip).arg(AutomaticUndoMegabytes()));
    auto* memoryRow = new QHBoxLayout;
    memoryRow->addWidget(new QLabel(kUndoMemory));
    memoryRow->addWidget(undoMemory);
    memoryRow->addStretch();
    undoRows->addLayout(memoryRow);

    psdLayers = new QRadioButton(kPsdLayers);
    psdComposite = new QRadioButton(kPsdComposite);
    (s.PSDOpenFashion ? psdComposite : psdLayers)->setChecked(true);
    auto* psdBox = new QGroupBox(QStringLiteral("PSD"));
    auto* psdCol = new QVBoxLayout(psdBox);
    psdCol->addWidget(psdLayers);
    psdCol->addWidget(psdComposite);

    background = new ColorButton(s.DefaultBackgroundColor);
    horizontalOffset = new QSpinBox;
    verticalOffset = new QSpinBox;
    for (QSpinBox* b : {horizontalOffset, verticalOffset})
        b->setRange(1, 100);
    horizontalOffset->setValue(std::clamp(s.HorizontalOffset, 1, 100));
    verticalOffset->setValue(std::clamp(s.VerticalOffset, 1, 100));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Default background color:"), background);
    form->addRow(QStringLiteral("Arrow keys move horizontally by:"), horizontalOffset);
    form->addRow(QStringLiteral("Arrow keys move vertically by:"), verticalOffset);
    autosaveMinutes = new QSpinBox;
    autosaveMinutes->setRange(0, 120);
    autosaveMinutes->setSpecialValueText(QStringLiteral("Off"));
    autosaveMinutes->setSuffix(QStringLiteral(" min"));
    autosaveMinutes->setValue(std::clamp(s.AutosaveMinutes, 0, 120));
    form->addRow(QStringLiteral("Autosave every N minutes:"), autosaveMinutes);
    gridSpacing = new QSpinBox;
    gridSpacing->setRange(1, 1000);
    gridSpacing->setSuffix(QStringLiteral(" px"));
    gridSpacing->setValue(std::clamp(s.GridSpacing, 1, 1000));
    form->addRow(kGridSpacing, gridSpacing);
    gridColour = new ColorButton(s.GridColor);
    form->addRow(kGridColor, gridColour);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(undoBox);
    layout->addWidget(psdBox);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void PreferencesDialog::Store(CAppSettings& s) const {
    s.UndoMaxTimes = undoLevels->value();
    // The automatic amount stays automatic, so that it follows the machine.
    s.UndoMaxMegabytes = undoMemory->value() == AutomaticUndoMegabytes() ? 0 : undoMemory->value();
    s.PSDOpenFashion = psdComposite->isChecked() ? 1 : 0;
    s.DefaultBackgroundColor = background->Colour();
    s.HorizontalOffset = horizontalOffset->value();
    s.VerticalOffset = verticalOffset->value();
    s.AutosaveMinutes = autosaveMinutes->value();
    s.GridSpacing = gridSpacing->value();
    s.GridColor = gridColour->Colour();
}

} // namespace zepho
