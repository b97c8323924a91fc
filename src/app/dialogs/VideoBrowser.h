// The file dialog of Open AVI File and Add AVI: beside the file list it shows the chosen video's
// width, height and frame count and plays it in a preview while "Auto play" is on.
#pragma once

#include "app/dialogs/PreviewFileDialog.h"

#include <QTimer>

#include <memory>

namespace zepho {

class AviReader;
class CAppSettings;

class VideoBrowserDialog : public PreviewFileDialog {
    Q_OBJECT
public:
    VideoBrowserDialog(CAppSettings& settings, const QString& title, QWidget* parent = nullptr);
    ~VideoBrowserDialog() override;

    // Shows the file's header values and starts playing it (or clears the panel).
    void ShowFile(const QString& path);
    // The next frame of the playing preview; false when the video has ended.
    bool ShowNextFrame();
    // The preview stops with the dialog, before the chosen file is read.
    void done(int result) override;

    QLabel* const& widthValue = values[0];
    QLabel* const& heightValue = values[1];
    QLabel* const& framesValue = values[2];
    QCheckBox* const& autoPlay = check;

private:
    void Stop();
    CAppSettings& settings_;
    QString current_;
    std::unique_ptr<AviReader> reader_;
    QTimer timer_;
};

} // namespace zepho
