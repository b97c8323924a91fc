#include "app/dialogs/ImageBrowser.h"

#include "app/canvas/QtDib.h"
#include "app/dialogs/ExportDialog.h"
#include "codecs/CodecStrings.h"
#include "codecs/OpenExport.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>

namespace zepho {

QString ColourCountText(int bitCount) {
    if (bitCount == 16) return QStringLiteral("Hicolor");
    if (bitCount > 16) return QStringLiteral("Truecolor");
    return QString::number(1 << bitCount);
}

ImageBrowserDialog::ImageBrowserDialog(CAppSettings& settings, const QString& title, bool multiple,
                                       QWidget* parent)
    : PreviewFileDialog(title, QtNameFilters(strings::kOpenFilter),
                        {QStringLiteral("Width:"), QStringLiteral("Height:"), QStringLiteral("# Colors:")},
                        QStringLiteral("Show &preview"), settings.PreviewPic != 0, parent),
      settings_(settings) {
    setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    connect(this, &QFileDialog::currentChanged, this, &ImageBrowserDialog::ShowFile);
    connect(check, &QCheckBox::toggled, this, [this](bool on) {
        settings_.PreviewPic = on ? 1 : 0;
        if (on)
            ShowFile(current_);
        else
            Clear();
    });
}

void ImageBrowserDialog::Clear() {
    ClearValues();
    preview->clear();
}

void ImageBrowserDialog::ShowFile(const QString& path) {
    current_ = path;
    Clear();
    if (!settings_.PreviewPic || path.isEmpty() || !QFileInfo(path).isFile()) return;
    const PackedDib dib = LoadPreviewImage(path.toStdString());
    if (!dib) return;
    const SIZE canvas = PreviewCanvasSize(path.toStdString(), dib);
    widthValue->setText(QString::number(canvas.cx));
    heightValue->setText(QString::number(canvas.cy));
    coloursValue->setText(ColourCountText(dib.BitCount()));
    ShowPicture(dib.Is32() ? ToQImage(dib) : ToQImage(ConvertTo32(dib)), 2);
}

} // namespace zepho
