// A file-open dialog with a panel beside the list: three values about the chosen file, a preview
// area and a check box that turns the preview on and off.
#pragma once

#include <QFileDialog>

class QCheckBox;
class QLabel;

namespace zepho {

class PreviewFileDialog : public QFileDialog {
    Q_OBJECT
public:
    // `labels` names the three values; the check box starts as `checked`.
    PreviewFileDialog(const QString& title, const QStringList& nameFilters, const QStringList& labels,
                      const QString& checkText, bool checked, QWidget* parent);

    QLabel* values[3] = {};
    QLabel* preview = nullptr;
    QCheckBox* check = nullptr;

protected:
    void ClearValues();
    // The picture scaled down to fit the preview inside the margin (never enlarged), centred.
    void ShowPicture(const QImage& image, int margin);
};

} // namespace zepho
