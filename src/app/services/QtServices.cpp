#include "app/services/QtServices.h"

#include "app/canvas/QtDib.h"
#include "app/dialogs/PsdOpenDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>

namespace zepho {

namespace {
QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

void QtUiHost::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(Q(caption));
    box.setText(Q(text));
    switch (icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::None:
        break;
    }
    box.exec();
}

bool QtUiHost::AskYesNo(const std::string& text, const std::string& caption) {
    return QMessageBox::question(parent_, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool QtUiHost::ChoosePsdOpenFashion(int& fashion, bool& showTip) {
    PsdOpenDialog dialog(fashion, showTip, parent_);
    if (dialog.exec() != QDialog::Accepted) return false;
    fashion = dialog.Fashion();
    showTip = dialog.ShowTip();
    return true;
}

bool QtSettingsStore::ReadInt(const std::string& name, int& value) const {
    const QString key = QStringLiteral("Default/") + Q(name);
    if (!settings_.contains(key)) return false;
    bool ok = false;
    const qlonglong v = settings_.value(key).toLongLong(&ok);
    if (!ok) return false;
    // Stored as a 32-bit registry-style value: keep its bits.
    value = static_cast<int>(static_cast<std::uint32_t>(v));
    return true;
}

void QtSettingsStore::WriteInt(const std::string& name, int value) {
    settings_.setValue(QStringLiteral("Default/") + Q(name), value);
}

void QtProgress::SetText(const std::string& text) {
    if (text_) text_->setText(Q(text));
    if (bar_) bar_->setVisible(!text.empty());
}

void QtProgress::SetPos(int percent) {
    if (bar_) bar_->setValue(std::clamp(percent, 0, 100));
}

void QtProgress::Pump() {
    // Repaint only: user input waits until the running command is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

const char QtClipboard::kMimeType[] = "application/x-quarnix-zepho-image";

bool QtClipboard::SetContents(const std::vector<BYTE>* privateBlock, const PackedDib* dib) {
    auto* data = new QMimeData;
    if (privateBlock)
        data->setData(kMimeType, QByteArray(reinterpret_cast<const char*>(privateBlock->data()),
                                            static_cast<qsizetype>(privateBlock->size())));
    if (dib && *dib) data->setImageData(ToQImage(*dib));
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

bool QtClipboard::HasPrivate() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasFormat(kMimeType);
}

bool QtClipboard::GetPrivate(std::vector<BYTE>& block) const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(kMimeType)) return false;
    const QByteArray bytes = data->data(kMimeType);
    block.assign(bytes.begin(), bytes.end());
    return true;
}

bool QtClipboard::HasDib() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

PackedDib QtClipboard::GetDib() const {
    return FromQImage(QGuiApplication::clipboard()->image());
}

} // namespace zepho
