#include "app/dialogs/PropertiesDialog.h"

#include "codecs/FileTypes.h"
#include "codecs/PhotoInfoIo.h"
#include "edit/commands/CmdPhotoInfo.h"
#include "edit/document/OrvaneDoc.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace zepho {

namespace {

constexpr char kTitle[] = "Properties";
constexpr char kNone[] = "None";
constexpr char kRemoveLocation[] = "&Remove Location";
constexpr char kRemoveFailed[] = "The location could not be removed from the photo information.";

// What the file's orientation tag asked for, in words.
QString OrientationText(int orientation) {
    static const char* const kTurns[] = {"",
                                         "Upright as stored",
                                         "Mirrored left to right",
                                         "Turned 180°",
                                         "Mirrored top to bottom",
                                         "Mirrored and turned 90° clockwise",
                                         "Turned 90° clockwise",
                                         "Mirrored and turned 90° counter-clockwise",
                                         "Turned 90° counter-clockwise"};
    if (orientation <= 1 || orientation > 8) return QString::fromUtf8(kTurns[1]);
    return QStringLiteral("Stored %1, shown upright").arg(QString::fromUtf8(kTurns[orientation]).toLower());
}

QString ExposureText(const PhotoSummary& s) {
    QStringList parts;
    if (!s.exposureTime.empty()) parts << QString::fromStdString(s.exposureTime) + QStringLiteral(" s");
    if (!s.fNumber.empty()) parts << QStringLiteral("f/") + QString::fromStdString(s.fNumber);
    if (s.iso > 0) parts << QStringLiteral("ISO %1").arg(s.iso);
    return parts.join(QStringLiteral(", "));
}

// Exif writes dates as "2024:05:06 07:08:09"; shown as "2024-05-06 07:08:09".
QString DateText(const std::string& exif) {
    QString date = QString::fromStdString(exif).trimmed();
    if (date.size() >= 10 && date[4] == QLatin1Char(':') && date[7] == QLatin1Char(':')) {
        date[4] = QLatin1Char('-');
        date[7] = QLatin1Char('-');
    }
    return date;
}

QString OrNone(const QString& text) {
    return text.trimmed().isEmpty() ? QString::fromUtf8(kNone) : text.trimmed();
}

} // namespace

PropertiesDialog::PropertiesDialog(COrvaneDoc& doc, const QString& file, QWidget* parent)
    : QDialog(parent), doc_(doc), file_(file) {
    setWindowTitle(QString::fromUtf8(kTitle));
    auto* layout = new QVBoxLayout(this);
    form_ = new QFormLayout;
    form_->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->addLayout(form_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    removeLocation_ = buttons->addButton(QString::fromUtf8(kRemoveLocation), QDialogButtonBox::ActionRole);
    connect(removeLocation_, &QPushButton::clicked, this, &PropertiesDialog::OnRemoveLocation);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Fill();
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);
}

void PropertiesDialog::AddRow(const char* label, const QString& value) {
    auto* field = new QLabel(value, this);
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    field->setWordWrap(true);
    form_->addRow(QString::fromUtf8(label), field);
}

void PropertiesDialog::Fill() {
    while (form_->rowCount() > 0)
        form_->removeRow(0);
    const CDocImage& image = doc_.Image();
    const CPhotoInfo& info = image.photoInfo;
    const PhotoSummary photo = SummarizePhotoInfo(info);
    const QFileInfo fileInfo(file_);

    AddRow("File:", file_.isEmpty() ? QStringLiteral("Not saved") : fileInfo.fileName());
    const char* format = file_.isEmpty() ? "" : FileKindName(FileKindOf(file_.toStdString()));
    AddRow("Format:", OrNone(QString::fromUtf8(format)));
    AddRow("Size:", QStringLiteral("%1 x %2 pixels (%3 MP)")
                        .arg(image.width)
                        .arg(image.height)
                        .arg(static_cast<double>(image.width) * image.height / 1e6, 0, 'f', 1));
    AddRow("Objects:", QString::number(image.objects.Count()));
    AddRow("Colour profile:",
           info.profile.empty()
               ? QStringLiteral("sRGB")
               : QStringLiteral("%1, converted to sRGB").arg(QString::fromStdString(info.profile)));
    AddRow("Orientation:", OrientationText(info.orientation));
    AddRow("Camera:", OrNone(QString::fromStdString(photo.make + " " + photo.model)));
    AddRow("Lens:", OrNone(QString::fromStdString(photo.lens)));
    AddRow("Date taken:", OrNone(DateText(photo.dateTaken)));
    AddRow("Exposure:", OrNone(ExposureText(photo)));
    AddRow("Location:", photo.hasLocation ? QStringLiteral("Recorded (GPS)") : QString::fromUtf8(kNone));
    removeLocation_->setEnabled(photo.hasLocation);
}

QString PropertiesDialog::Value(const QString& label) const {
    for (int row = 0; row < form_->rowCount(); ++row) {
        auto* name = qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::LabelRole)->widget());
        auto* value = qobject_cast<QLabel*>(form_->itemAt(row, QFormLayout::FieldRole)->widget());
        if (name && value && name->text() == label) return value->text();
    }
    return {};
}

void PropertiesDialog::OnRemoveLocation() {
    if (!CmdRemoveLocation(doc_))
        QMessageBox::warning(this, QString::fromUtf8(kTitle), QString::fromUtf8(kRemoveFailed));
    Fill();
}

} // namespace zepho
