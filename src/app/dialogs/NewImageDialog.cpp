#include "app/dialogs/NewImageDialog.h"

#include "app/mainwindow/AppStrings.h"
#include "app/panels/ColorButton.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zepho {

NewImageDialog::NewImageDialog(const CAppSettings& s, QWidget* parent) : QDialog(parent) {
    setWindowTitle(kNewImageTitle);
    widthBox = new QSpinBox;
    heightBox = new QSpinBox;
    for (QSpinBox* b : {widthBox, heightBox})
        b->setRange(1, 2000);
    widthBox->setValue(s.NewImageWidth);
    heightBox->setValue(s.NewImageHeight);
    simpleColor = new QRadioButton(kSimpleColor);
    transparent = new QRadioButton(kTransparent);
    (s.InitTransparent ? transparent : simpleColor)->setChecked(true);
    colour = new ColorButton(s.InitColor);
    colour->setEnabled(simpleColor->isChecked());
    connect(simpleColor, &QRadioButton::toggled, colour, &QWidget::setEnabled);

    auto* form = new QFormLayout;
    form->addRow(kWidthLabel, widthBox);
    form->addRow(kHeightLabel, heightBox);
    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(simpleColor);
    colourRow->addWidget(colour);
    colourRow->addStretch();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(colourRow);
    layout->addWidget(transparent);
    layout->addWidget(buttons);
}

void NewImageDialog::Store(CAppSettings& s) const {
    s.NewImageWidth = widthBox->value();
    s.NewImageHeight = heightBox->value();
    s.InitTransparent = transparent->isChecked() ? 1 : 0;
    s.InitColor = colour->Colour();
}

} // namespace zepho
