#include "app/ImageBrowser.h"

#include "app/ExportDialog.h"
#include "app/QtDib.h"
#include "codecs/CodecStrings.h"
#include "codecs/OpenExport.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace zepho {

QString ColourCountText(int bitCount) {
    if (bitCount == 16) return QStringLiteral("Hicolor");
    if (bitCount > 16) return QStringLiteral("Truecolor");
    return QString::number(1 << bitCount);
}

ImageBrowserDialog::ImageBrowserDialog(CAppSettings& settings, const QString& title, bool multiple,
                                       QWidget* parent)
    : QFileDialog(parent), settings_(settings) {
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(title);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    setNameFilters(QtNameFilters(strings::kOpenFilter));

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* values = new QFormLayout;
    widthValue = new QLabel(panel);
    heightValue = new QLabel(panel);
    coloursValue = new QLabel(panel);
    values->addRow(QStringLiteral("Width:"), widthValue);
    values->addRow(QStringLiteral("Height:"), heightValue);
    values->addRow(QStringLiteral("# Colors:"), coloursValue);
    column->addLayout(values);
    preview = new QLabel(panel);
    preview->setFixedSize(160, 160);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    column->addWidget(preview);
    showPreview = new QCheckBox(QStringLiteral("Show &preview"), panel);
    showPreview->setChecked(settings_.PreviewPic != 0);
    column->addWidget(showPreview);
    column->addStretch(1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), -1, 1);

    connect(this, &QFileDialog::currentChanged, this, &ImageBrowserDialog::ShowFile);
    connect(showPreview, &QCheckBox::toggled, this, [this](bool on) {
        settings_.PreviewPic = on ? 1 : 0;
        if (on)
            ShowFile(current_);
        else
            Clear();
    });
}

void ImageBrowserDialog::Clear() {
    widthValue->clear();
    heightValue->clear();
    coloursValue->clear();
    preview->clear();
}

void ImageBrowserDialog::ShowFile(const QString& path) {
    current_ = path;
    Clear();
    if (!settings_.PreviewPic || path.isEmpty() || !QFileInfo(path).isFile()) return;
    const PackedDib dib = LoadPreviewImage(path.toStdString());
    if (!dib) return;
    widthValue->setText(QString::number(dib.Width()));
    heightValue->setText(QString::number(dib.Height()));
    coloursValue->setText(ColourCountText(dib.BitCount()));
    // Scaled down to fit inside a 2-pixel margin, never enlarged, centred.
    QImage image = ToQImage(dib.Is32() ? dib.Clone() : ConvertTo32(dib));
    const QSize box = preview->size() - QSize(4, 4);
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    preview->setPixmap(QPixmap::fromImage(image));
}

} // namespace zepho
