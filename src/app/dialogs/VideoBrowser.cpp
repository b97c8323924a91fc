#include "app/dialogs/VideoBrowser.h"

#include "app/canvas/QtDib.h"
#include "app/dialogs/ExportDialog.h"
#include "codecs/AviCodec.h"
#include "codecs/CodecStrings.h"
#include "model/AppSettings.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>

namespace zepho {

VideoBrowserDialog::VideoBrowserDialog(CAppSettings& settings, const QString& title, QWidget* parent)
    : PreviewFileDialog(title, QtNameFilters(strings::kFilterAvi),
                        {QStringLiteral("Width:"), QStringLiteral("Height:"), QStringLiteral("Frames:")},
                        QStringLiteral("Auto &play"), settings.AutoPlay != 0, parent),
      settings_(settings) {
    setFileMode(QFileDialog::ExistingFile);
    connect(this, &QFileDialog::currentChanged, this, &VideoBrowserDialog::ShowFile);
    connect(check, &QCheckBox::toggled, this, [this](bool on) {
        settings_.AutoPlay = on ? 1 : 0;
        if (on) {
            ShowFile(current_);
        } else {
            Stop();
            ClearValues();
        }
    });
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!ShowNextFrame()) timer_.stop();
    });
}

VideoBrowserDialog::~VideoBrowserDialog() {
    Stop();
}

void VideoBrowserDialog::done(int result) {
    Stop();
    PreviewFileDialog::done(result);
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
    ClearValues();
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
    ShowPicture(ToQImage(frame), 0);
    return true;
}

} // namespace zepho
