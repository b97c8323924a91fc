#include "app/dialogs/ExportDialog.h"

#include "app/mainwindow/AppStrings.h"
#include "app/panels/ColorButton.h"
#include "codecs/AvifCodec.h"
#include "codecs/CodecStrings.h"
#include "codecs/IconCodec.h"
#include "codecs/JxlCodec.h"
#include "codecs/OpenExport.h"
#include "codecs/WebpCodec.h"
#include "platform/Format.h"
#include "raster/ColorReduce.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zepho {

QStringList QtNameFilters(const char* filter) {
    const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return out;
}

const std::vector<ExportFormat>& ExportFormats() {
    static const std::vector<ExportFormat> formats = {
        {ExportFormat::Jpg, "&JPG...", strings::kFilterJpg, "jpg"},
        {ExportFormat::Gif, "G&IF...", strings::kFilterGif, "gif"},
        {ExportFormat::Bmp, "&BMP...", strings::kFilterBmp, "bmp"},
        {ExportFormat::Psd, "P&SD...", strings::kFilterPsd, "psd"},
        {ExportFormat::Png, "P&NG...", strings::kFilterPng, "png"},
        {ExportFormat::Tiff, "&TIFF...", strings::kFilterTiff, "tif"},
        {ExportFormat::Tga, "T&GA...", strings::kFilterTga, "tga"},
        {ExportFormat::Pcx, "P&CX...", strings::kFilterPcx, "pcx"},
        {ExportFormat::Ico, "IC&O...", strings::kFilterIco, "ico"},
        {ExportFormat::Cur, "C&UR...", strings::kFilterCur, "cur"},
        {ExportFormat::Ani, "&ANI...", strings::kFilterAni, "ani"},
        {ExportFormat::Webp, "&WebP...", strings::kFilterWebp, "webp"},
        {ExportFormat::Avif, "A&VIF...", strings::kFilterAvif, "avif"},
        {ExportFormat::Jxl, "JPEG &XL...", strings::kFilterJxl, "jxl"},
    };
    return formats;
}

namespace {

struct Choice {
    const char* text;
    int value;
};

constexpr Choice kTiffCodes[] = {{"&None", 1},         {"CCITT Group &3", 3}, {"CCITT Group &4", 4},
                                 {"&LZW", 5},          {"&Deflate", 32946},   {"&JPEG", 7},
                                 {"&Adobe Deflate", 8}};

constexpr Choice kBmpColours[] = {{"Black && White", ExportBlackWhite}, {"16 Colors", ExportColors16},
                                  {"256 Colors", ExportColors256},      {"High Colors", ExportHighColors},
                                  {"True Colors", ExportTrueColors},    {"16 Grays", ExportGrays16},
                                  {"256 Grays", ExportGrays256}};

QGroupBox* RadioGroup(const char* title, const Choice* choices, int count, int checked, QButtonGroup*& group,
                      QWidget* parent) {
    auto* box = new QGroupBox(QString::fromUtf8(title), parent);
    auto* grid = new QGridLayout(box);
    group = new QButtonGroup(box);
    for (int i = 0; i < count; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(choices[i].text), box);
        group->addButton(b, choices[i].value);
        grid->addWidget(b, i % 4, i / 4);
        if (choices[i].value == checked) b->setChecked(true);
    }
    if (!group->checkedButton()) group->buttons().constFirst()->setChecked(true);
    return box;
}

} // namespace

ExportDialog::ExportDialog(const ExportFormat& format, const CAppSettings& settings,
                           const QString& proposedPath, const QImage& preview, QWidget* parent)
    : QFileDialog(parent), format_(format) {
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setNameFilters(QtNameFilters(format.filter));
    setDefaultSuffix(QString::fromLatin1(format.extension));
    selectFile(proposedPath);

    auto* panel = new QWidget(this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* options = new QVBoxLayout;
    row->addLayout(options, 1);
    // A quality box 1..100 (WebP, AVIF, JPEG XL).
    const auto addQuality = [&](int value) {
        auto* line = new QHBoxLayout;
        line->addWidget(new QLabel(QString::fromUtf8(kQualityLabel), panel));
        quality = new QSpinBox(panel);
        quality->setRange(1, 100);
        quality->setValue(std::clamp(value, 1, 100));
        line->addWidget(quality);
        line->addStretch(1);
        options->addLayout(line);
    };
    const auto addCheck = [&](QCheckBox*& box, const char* text, int value) {
        box = new QCheckBox(QString::fromUtf8(text), panel);
        box->setChecked(value != 0);
        options->addWidget(box);
    };
    switch (format.id) {
    case ExportFormat::Webp:
        addQuality(settings.WebPQuality);
        addCheck(lossless, kLossless, settings.WebPLossless);
        addCheck(animate, kSaveAnimation, settings.WebPAnimate);
        break;
    case ExportFormat::Jxl:
        addQuality(settings.JXLQuality);
        addCheck(lossless, kLossless, settings.JXLLossless);
        addCheck(animate, kSaveAnimation, settings.JXLAnimate);
        break;
    case ExportFormat::Avif: {
        addQuality(settings.AVIFQuality);
        auto* line = new QHBoxLayout;
        line->addWidget(new QLabel(QString::fromUtf8(kEncoderSpeed), panel));
        speed = new QSpinBox(panel);
        speed->setRange(0, 10);
        speed->setValue(std::clamp(settings.AVIFSpeed, 0, 10));
        line->addWidget(speed);
        line->addStretch(1);
        options->addLayout(line);
        break;
    }
    case ExportFormat::Jpg: {
        auto* line = new QHBoxLayout;
        line->addWidget(new QLabel(QString::fromUtf8(kQualityLabel), panel));
        line->addWidget(new QLabel(QString::fromUtf8(kBestCompression), panel));
        qualitySlider = new QSlider(Qt::Horizontal, panel);
        qualitySlider->setRange(1, 100);
        qualitySlider->setTickInterval(10);
        qualitySlider->setTickPosition(QSlider::TicksBelow);
        line->addWidget(qualitySlider, 1);
        line->addWidget(new QLabel(QString::fromUtf8(kBestQuality), panel));
        quality = new QSpinBox(panel);
        quality->setRange(1, 100);
        line->addWidget(quality);
        connect(qualitySlider, &QSlider::valueChanged, quality, &QSpinBox::setValue);
        connect(quality, &QSpinBox::valueChanged, qualitySlider, &QSlider::setValue);
        quality->setValue(std::clamp(settings.JPGQuality, 1, 100));
        options->addLayout(line);
        break;
    }
    case ExportFormat::Gif:
        interlace = new QCheckBox(QString::fromUtf8(kInterlace), panel);
        interlace->setChecked(settings.Interlace != 0);
        options->addWidget(interlace);
        addCheck(animate, kSaveAnimation, settings.GifAnimation);
        break;
    case ExportFormat::Tiff:
        options->addWidget(RadioGroup(kCompressionGroup, kTiffCodes, std::size(kTiffCodes),
                                      settings.TIFFEncodeMode, choices, panel));
        break;
    case ExportFormat::Tga:
        rle = new QCheckBox(QString::fromUtf8(kCompressRle), panel);
        rle->setChecked(settings.TGAEncodingRLE != 0);
        bottomUp = new QCheckBox(QString::fromUtf8(kBottomUp), panel);
        bottomUp->setChecked(settings.BottomUpOrientation != 0);
        options->addWidget(rle);
        options->addWidget(bottomUp);
        break;
    case ExportFormat::Bmp:
        options->addWidget(
            RadioGroup(kColorsGroup, kBmpColours, std::size(kBmpColours), ExportTrueColors, choices, panel));
        break;
    case ExportFormat::Cur:
    case ExportFormat::Ani: {
        // X starts at 1 and Y at 8, inside the picture.
        const int w = std::max(1, preview.width()), h = std::max(1, preview.height());
        auto* box = new QGroupBox(QString::fromUtf8(kHotSpotGroup), panel);
        auto* line = new QHBoxLayout(box);
        hotX = new QSpinBox(box);
        hotX->setRange(0, w - 1);
        hotX->setValue(w <= 1 ? w - 1 : 1);
        hotY = new QSpinBox(box);
        hotY->setRange(0, h - 1);
        hotY->setValue(h <= 8 ? h - 1 : 8);
        line->addWidget(new QLabel(QStringLiteral("X:"), box));
        line->addWidget(hotX);
        line->addWidget(new QLabel(QStringLiteral("Y:"), box));
        line->addWidget(hotY);
        options->addWidget(box);
        connect(hotX, &QSpinBox::valueChanged, this, &ExportDialog::ShowPreview);
        connect(hotY, &QSpinBox::valueChanged, this, &ExportDialog::ShowPreview);
        break;
    }
    case ExportFormat::Png:
    case ExportFormat::Pcx:
    case ExportFormat::Psd:
    case ExportFormat::Ico:
        break;
    }
    switch (format.id) {
    case ExportFormat::Png:
        addCheck(keepAlpha, kKeepTransparency, settings.PNGKeepAlpha);
        break;
    case ExportFormat::Tiff:
        addCheck(keepAlpha, kKeepTransparency, settings.TIFFKeepAlpha);
        break;
    case ExportFormat::Tga:
        addCheck(keepAlpha, kKeepTransparency, settings.TGAKeepAlpha);
        break;
    case ExportFormat::Bmp:
        // Only true colour holds an alpha channel.
        addCheck(keepAlpha, kKeepTransparency, settings.BMPKeepAlpha);
        keepAlpha->setEnabled(choices->checkedId() == ExportTrueColors);
        connect(choices, &QButtonGroup::idToggled, this,
                [this] { keepAlpha->setEnabled(choices->checkedId() == ExportTrueColors); });
        break;
    case ExportFormat::Ico:
    case ExportFormat::Cur:
    case ExportFormat::Ani: {
        const SIZE fit = IconExportSize(preview.width(), preview.height());
        if (fit.cx != preview.width() || fit.cy != preview.height()) {
            iconNote = new QLabel(QString::fromStdString(Format(strings::kIconScaled, preview.width(),
                                                                preview.height(), int(fit.cx), int(fit.cy))),
                                  panel);
            iconNote->setWordWrap(true);
            options->addWidget(iconNote);
        }
        break;
    }
    default:
        break;
    }
    // A GIF keeps transparency, so it has no colour to flatten over.
    // Nor do WebP, AVIF and JPEG XL, which always keep it.
    if (format.id != ExportFormat::Gif && format.id != ExportFormat::Psd && format.id != ExportFormat::Ico &&
        format.id != ExportFormat::Cur && format.id != ExportFormat::Ani && format.id != ExportFormat::Webp &&
        format.id != ExportFormat::Avif && format.id != ExportFormat::Jxl) {
        fill = new ColorButton(settings.DefaultBackgroundColor, panel);
        fill->setText(QString::fromUtf8(kFillColor));
        fill->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        options->addWidget(fill, 0, Qt::AlignLeft);
    }
    options->addStretch(1);
    options_ = options;

    previewLabel_ = new QLabel(panel);
    previewLabel_->setFixedSize(160, 120);
    previewLabel_->setAlignment(Qt::AlignCenter);
    previewLabel_->setFrameShape(QFrame::StyledPanel);
    row->addWidget(previewLabel_);
    image_ = preview;
    ShowPreview();

    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
}

// The document scaled down to fit (never enlarged), with the hot spot marked for cursors.
void ExportDialog::ShowPreview() {
    if (image_.isNull()) return;
    const QSize box = previewLabel_->size() - QSize(4, 4);
    QImage fit = image_.width() > box.width() || image_.height() > box.height()
                     ? image_.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     : image_.copy();
    if (hotX && hotY) {
        const double sx = double(fit.width()) / image_.width(), sy = double(fit.height()) / image_.height();
        const QPointF at((hotX->value() + 0.5) * sx, (hotY->value() + 0.5) * sy);
        QPainter p(&fit);
        p.setPen(QPen(Qt::red, 1));
        p.drawLine(at - QPointF(4, 0), at + QPointF(4, 0));
        p.drawLine(at - QPointF(0, 4), at + QPointF(0, 4));
    }
    previewLabel_->setPixmap(QPixmap::fromImage(fit));
}

QString ExportDialog::ChosenPath() const {
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return {};
    QString path = files.first();
    if (QFileInfo(path).suffix().isEmpty()) path += QLatin1Char('.') + QString::fromLatin1(format_.extension);
    return path;
}

void ExportDialog::Store(CAppSettings& settings) const {
    if (fill) settings.DefaultBackgroundColor = fill->Colour();
    if (quality && format_.id == ExportFormat::Jpg) settings.JPGQuality = quality->value();
    if (quality && format_.id == ExportFormat::Webp) settings.WebPQuality = quality->value();
    if (quality && format_.id == ExportFormat::Avif) settings.AVIFQuality = quality->value();
    if (quality && format_.id == ExportFormat::Jxl) settings.JXLQuality = quality->value();
    if (speed) settings.AVIFSpeed = speed->value();
    if (lossless)
        (format_.id == ExportFormat::Jxl ? settings.JXLLossless : settings.WebPLossless) =
            lossless->isChecked() ? 1 : 0;
    if (animate)
        (format_.id == ExportFormat::Gif   ? settings.GifAnimation
         : format_.id == ExportFormat::Jxl ? settings.JXLAnimate
                                           : settings.WebPAnimate) = animate->isChecked() ? 1 : 0;
    if (keepAlpha) {
        const int on = keepAlpha->isChecked() ? 1 : 0;
        if (format_.id == ExportFormat::Png) settings.PNGKeepAlpha = on;
        if (format_.id == ExportFormat::Tiff) settings.TIFFKeepAlpha = on;
        if (format_.id == ExportFormat::Tga) settings.TGAKeepAlpha = on;
        if (format_.id == ExportFormat::Bmp) settings.BMPKeepAlpha = on;
    }
    if (format_.id == ExportFormat::Tiff) settings.TIFFEncodeMode = choices->checkedId();
    if (interlace) settings.Interlace = interlace->isChecked() ? 1 : 0;
    if (rle) settings.TGAEncodingRLE = rle->isChecked() ? 1 : 0;
    if (bottomUp) settings.BottomUpOrientation = bottomUp->isChecked() ? 1 : 0;
}

DWORD ExportDialog::Option() const {
    switch (format_.id) {
    case ExportFormat::Jpg:
        return static_cast<DWORD>(quality->value());
    case ExportFormat::Tiff:
    case ExportFormat::Bmp:
        return static_cast<DWORD>(choices->checkedId());
    case ExportFormat::Tga:
        return (rle->isChecked() ? 1u : 0u) | (bottomUp->isChecked() ? 2u : 0u);
    case ExportFormat::Gif:
        return interlace->isChecked() ? 1u : 0u;
    case ExportFormat::Cur:
    case ExportFormat::Ani:
        return (static_cast<DWORD>(hotY->value()) << 16) | static_cast<DWORD>(hotX->value());
    case ExportFormat::Psd:
    case ExportFormat::Ico:
        return 0;
    case ExportFormat::Webp:
        return static_cast<DWORD>(quality->value()) | (lossless->isChecked() ? kWebpLossless : 0);
    case ExportFormat::Avif:
        return AvifOption(quality->value(), speed->value());
    case ExportFormat::Jxl:
        return static_cast<DWORD>(quality->value()) | (lossless->isChecked() ? kJxlLossless : 0);
    case ExportFormat::Png:
    case ExportFormat::Pcx:
        break;
    }
    return 85;
}

DWORD ExportDialog::Extra() const {
    DWORD extra = 0;
    if (keepAlpha && keepAlpha->isEnabled() && keepAlpha->isChecked()) extra |= kExportKeepAlpha;
    if (animate && animate->isChecked()) extra |= kExportAnimate;
    if (keepPhotoInfo && !keepPhotoInfo->isChecked()) extra |= kExportStripMetadata;
    if (keepPhotoInfo && keepPhotoInfo->isChecked() && removeLocation->isChecked())
        extra |= kExportStripLocation;
    return extra;
}

void ExportDialog::OfferPhotoInfo() {
    if (keepPhotoInfo || !options_) return;
    switch (format_.id) {
    case ExportFormat::Jpg:
    case ExportFormat::Png:
    case ExportFormat::Tiff:
    case ExportFormat::Webp:
    case ExportFormat::Avif:
    case ExportFormat::Jxl:
        break;
    default:
        return; // the others cannot carry it
    }
    QWidget* panel = options_->parentWidget();
    keepPhotoInfo = new QCheckBox(QString::fromUtf8(kKeepPhotoInfo), panel);
    keepPhotoInfo->setChecked(true);
    removeLocation = new QCheckBox(QString::fromUtf8(kRemoveLocation), panel);
    // Before the stretch that ends the column.
    const int at = std::max(0, options_->count() - 1);
    options_->insertWidget(at, keepPhotoInfo);
    options_->insertWidget(at + 1, removeLocation);
    connect(keepPhotoInfo, &QCheckBox::toggled, removeLocation, &QWidget::setEnabled);
}

} // namespace zepho
