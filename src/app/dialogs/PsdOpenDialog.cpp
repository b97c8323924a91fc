#include "app/dialogs/PsdOpenDialog.h"

#include "app/mainwindow/AppStrings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zepho {

PsdOpenDialog::PsdOpenDialog(int fashion, bool tip, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kPsdOpenTitle));
    auto* column = new QVBoxLayout(this);
    layers = new QRadioButton(QString::fromUtf8(kPsdOpenLayers), this);
    composite = new QRadioButton(QString::fromUtf8(kPsdOpenComposite), this);
    (fashion == 1 ? composite : layers)->setChecked(true);
    showTip = new QCheckBox(QString::fromUtf8(kPsdShowTip), this);
    showTip->setChecked(tip);
    column->addWidget(layers);
    column->addWidget(composite);
    column->addWidget(showTip);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

int PsdOpenDialog::Fashion() const {
    return composite->isChecked() ? 1 : 0;
}
bool PsdOpenDialog::ShowTip() const {
    return showTip->isChecked();
}

} // namespace zepho
