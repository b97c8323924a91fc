#include "app/capture/CaptureSettingsDialog.h"

#include "app/capture/CaptureStrings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace zepho {

CaptureSettingsDialog::CaptureSettingsDialog(const CAppSettings& s, QWidget* parent) : QDialog(parent) {
    setWindowTitle(capture::kSettingsTitle);
    delay = new QSpinBox;
    delay->setRange(1, std::numeric_limits<int>::max());
    delay->setValue(s.CaptureDelay);
    auto* delayRow = new QHBoxLayout;
    auto* delayLabel = new QLabel(capture::kDelay);
    delayLabel->setBuddy(delay);
    delayRow->addWidget(delayLabel);
    delayRow->addWidget(delay);
    delayRow->addWidget(new QLabel(capture::kMilliseconds));
    delayRow->addStretch();

    includeCursor = new QCheckBox(capture::kIncludeCursor);
    includeCursor->setChecked(s.IncludeCursor != 0);
    hideWindow = new QCheckBox(capture::kHideWindow);
    hideWindow->setChecked(s.HideMainWindow != 0);
    restoreWindow = new QCheckBox(capture::kRestoreWindow);
    restoreWindow->setChecked(s.RestoreMainWindow != 0);

    newView = new QRadioButton(capture::kNewView);
    insertView = new QRadioButton(capture::kInsertView);
    (s.InsertIntoCapture == 1 ? insertView : newView)->setChecked(true);
    auto* target = new QGroupBox;
    auto* targetCol = new QVBoxLayout(target);
    targetCol->addWidget(newView);
    targetCol->addWidget(insertView);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(delayRow);
    layout->addWidget(includeCursor);
    layout->addWidget(hideWindow);
    layout->addWidget(restoreWindow);
    layout->addWidget(target);
    layout->addWidget(buttons);
}

void CaptureSettingsDialog::Store(CAppSettings& s) const {
    s.CaptureDelay = delay->value();
    s.IncludeCursor = includeCursor->isChecked() ? 1 : 0;
    s.HideMainWindow = hideWindow->isChecked() ? 1 : 0;
    s.RestoreMainWindow = restoreWindow->isChecked() ? 1 : 0;
    s.InsertIntoCapture = insertView->isChecked() ? 1 : 0;
}

} // namespace zepho
