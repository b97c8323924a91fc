// File > Properties: what the document is and what its photo says (size, format, colour profile,
// orientation, camera, lens, date, exposure, location), with a button that removes the location.
#pragma once

#include <QDialog>
#include <QString>

class QFormLayout;
class QLabel;
class QPushButton;

namespace zepho {

class COrvaneDoc;

class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    // `file`: the document's file, empty while it has none.
    PropertiesDialog(COrvaneDoc& doc, const QString& file, QWidget* parent = nullptr);

    // The value shown beside a label ("Camera:"), empty when there is no such row; for tests.
    QString Value(const QString& label) const;
    QPushButton* RemoveLocationButton() const { return removeLocation_; }

private:
    void Fill();
    void AddRow(const char* label, const QString& value);
    void OnRemoveLocation();

    COrvaneDoc& doc_;
    QString file_;
    QFormLayout* form_ = nullptr;
    QPushButton* removeLocation_ = nullptr;
};

} // namespace zepho
