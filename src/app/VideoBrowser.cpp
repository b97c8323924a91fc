#include "app/VideoBrowser.h"

#include "app/ExportDialog.h"
#include "app/QtDib.h"
#include "codecs/AviCodec.h"
#include "codecs/CodecStrings.h"
#include "model/AppSettings.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace zepho {

VideoBrowserDialog::VideoBrowserDialog(CAppSettings& settings, const QString& title, QWidget* parent)
    : QFileDialog(parent), settings_(settings) {
    setOption(QFileDialog::DontUseNativeDialog);
    setWindowTitle(title);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters(QtNameFilters(strings::kFilterAvi));

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* values = new QFormLayout;
    widthValue = new QLabel(panel);
    heightValue = new QLabel(panel);
    framesValue = new QLabel(panel);
    values->addRow(QStringLiteral("Width:"), widthValue);
    values->addRow(QStringLiteral("Height:"), heightValue);
    values->addRow(QStringLiteral("Frames:"), framesValue);
    column->addLayout(values);
    preview = new QLabel(panel);
    preview->setFixedSize(160, 160);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    column->addWidget(preview);
    autoPlay = new QCheckBox(QStringLiteral("Auto &play"), panel);
    autoPlay->setChecked(settings_.AutoPlay != 0);
    column->addWidget(autoPlay);
    column->addStretch(1);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, 0, grid->columnCount(), -1, 1);

    connect(this, &QFileDialog::currentChanged, this, &VideoBrowserDialog::ShowFile);
    connect(autoPlay, &QCheckBox::toggled, this, [this](bool on) {
        settings_.AutoPlay = on ? 1 : 0;
        if (on) {
            ShowFile(current_);
        } else {
            Stop();
            widthValue->clear();
            heightValue->clear();
            framesValue->clear();
        }
    });
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!ShowNextFrame()) Stop();
    });
}

VideoBrowserDialog::~VideoBrowserDialog() {
    Stop();
}

void VideoBrowserDialog::Stop() {
    timer_.stop();
    reader_.reset();
    preview->clear();
}

void VideoBrowserDialog::ShowFile(const QString& path) {
    current_ = path;
    if (!settings_.AutoPlay) return;
    Stop();
    widthValue->clear();
    heightValue->clear();
    framesValue->clear();
    AviHeader header;
    if (path.isEmpty() || !QFileInfo(path).isFile() || !ReadAviHeader(path.toStdString(), header)) return;
    widthValue->setText(QString::number(header.width));
    heightValue->setText(QString::number(header.height));
    framesValue->setText(QString::number(header.frames));
    auto reader = std::make_unique<AviReader>();
    if (!reader->OpenAvi(path.toStdString()) || !reader->OpenFirstVideoStream()) return;
    reader_ = std::move(reader);
    if (!ShowNextFrame()) return;
    const double fps = reader_->scale > 0 ? double(reader_->rate) / reader_->scale : 10.0;
    timer_.start(static_cast<int>(std::clamp(1000.0 / fps, 10.0, 1000.0)));
}

bool VideoBrowserDialog::ShowNextFrame() {
    if (!reader_) return false;
    const PackedDib frame = reader_->NextAviFrame();
    if (!frame) return false;
    // At its own size when it fits, else scaled down by the larger ratio; centred by the label.
    QImage image = ToQImage(frame);
    const QSize box = preview->size() - QSize(4, 4);
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    preview->setPixmap(QPixmap::fromImage(image));
    return true;
}

} // namespace zepho
