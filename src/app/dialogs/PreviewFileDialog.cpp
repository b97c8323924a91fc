#include "app/dialogs/PreviewFileDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zepho {

PreviewFileDialog::PreviewFileDialog(const QString& title, const QStringList& nameFilters,
                                     const QStringList& labels, const QString& checkText, bool checked,
                                     QWidget* parent)
    : QFileDialog(parent) {
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(title);
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilters(nameFilters);

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* form = new QFormLayout;
    for (int i = 0; i < 3; ++i) {
        values[i] = new QLabel(panel);
        form->addRow(labels.value(i), values[i]);
    }
    column->addLayout(form);
    preview = new QLabel(panel);
    preview->setFixedSize(160, 160);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    column->addWidget(preview);
    check = new QCheckBox(checkText, panel);
    check->setChecked(checked);
    column->addWidget(check);
    column->addStretch(1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), -1, 1);
}

void PreviewFileDialog::ClearValues() {
    for (QLabel* v : values)
        v->clear();
}

void PreviewFileDialog::ShowPicture(const QImage& image, int margin) {
    const QSize box = preview->size() - QSize(2 * margin, 2 * margin);
    const QImage fit = image.width() > box.width() || image.height() > box.height()
                           ? image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                           : image;
    preview->setPixmap(QPixmap::fromImage(fit));
}

} // namespace zepho
