// The save dialogs of the export commands: a file dialog with the format's options panel, the
// shared "Fill Color" button and a preview of the document.
#pragma once

#include "model/AppSettings.h"
#include "platform/WinTypes.h"

#include <QFileDialog>
#include <QImage>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QVBoxLayout;
class QLabel;
class QSlider;
class QSpinBox;

namespace zepho {

class ColorButton;

// A filter string of the form "Name|*.a;*.b|...||" as a file dialog's name filters.
QStringList QtNameFilters(const char* filter);

struct ExportFormat {
    enum Id { Jpg, Gif, Bmp, Psd, Png, Tiff, Tga, Pcx, Ico, Cur, Ani, Webp, Avif, Jxl };
    Id id;
    const char* menuText;
    const char* filter;
    const char* extension; // lower case, without the dot
};

// The export formats in menu order.
const std::vector<ExportFormat>& ExportFormats();

class ExportDialog : public QFileDialog {
    Q_OBJECT
public:
    // `preview` is the flattened document at its canvas size.
    ExportDialog(const ExportFormat& format, const CAppSettings& settings, const QString& proposedPath,
                 const QImage& preview, QWidget* parent = nullptr);

    // The chosen path, with the format's extension added when it had none.
    QString ChosenPath() const;
    // Writes the panel's values into the settings (called on OK).
    void Store(CAppSettings& settings) const;
    // The option word the writer gets; for BMP the colour choice (0..6).
    DWORD Option() const;
    // ExportFile's extra bits: kExportKeepAlpha, kExportAnimate, kExportStripMetadata,
    // kExportStripLocation.
    DWORD Extra() const;
    // The document carries a photo's information: formats that can hold it offer to keep it (on
    // by default) and to remove the location.
    void OfferPhotoInfo();

    // The panel's controls, for tests.
    QSpinBox* quality = nullptr;
    QSlider* qualitySlider = nullptr;
    QButtonGroup* choices = nullptr;
    QCheckBox* interlace = nullptr;
    QCheckBox* rle = nullptr;
    QCheckBox* bottomUp = nullptr;
    ColorButton* fill = nullptr;
    QSpinBox* hotX = nullptr;
    QSpinBox* hotY = nullptr;
    QCheckBox* keepAlpha = nullptr;
    QCheckBox* animate = nullptr;
    QCheckBox* lossless = nullptr;
    QCheckBox* keepPhotoInfo = nullptr;
    QCheckBox* removeLocation = nullptr;
    QSpinBox* speed = nullptr;
    // Icons larger than 256 x 256 say that they will be scaled down.
    QLabel* iconNote = nullptr;

private:
    void ShowPreview();
    QVBoxLayout* options_ = nullptr;
    const ExportFormat& format_;
    QImage image_;
    QLabel* previewLabel_ = nullptr;
};

} // namespace zepho
