// The file dialog of Open and Add Image(s): beside the file list it shows the chosen image's
// width, height and colour count and a preview, when "Show preview" is on.
#pragma once

#include "app/dialogs/PreviewFileDialog.h"

namespace zepho {

class CAppSettings;

class ImageBrowserDialog : public PreviewFileDialog {
    Q_OBJECT
public:
    // `multiple` lets several files be chosen (Add Image(s)). The check box follows and flips
    // the preview setting.
    ImageBrowserDialog(CAppSettings& settings, const QString& title, bool multiple,
                       QWidget* parent = nullptr);

    // Shows what the preview loader makes of the file (or clears the panel).
    void ShowFile(const QString& path);

    QLabel* const& widthValue = values[0];
    QLabel* const& heightValue = values[1];
    QLabel* const& coloursValue = values[2];
    QCheckBox* const& showPreview = check;

private:
    void Clear();
    CAppSettings& settings_;
    QString current_;
};

// The colour count shown for a raster of this depth.
QString ColourCountText(int bitCount);

} // namespace zepho
