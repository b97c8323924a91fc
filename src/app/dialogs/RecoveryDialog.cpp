#include "app/dialogs/RecoveryDialog.h"

#include "app/canvas/QtDib.h"
#include "app/mainwindow/AppStrings.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zepho {

namespace {

constexpr int kThumb = 96;

QIcon Thumbnail(const AutosaveEntry& e) {
    Ref<CDocImage> image = MakeRef<CDocImage>();
    if (!image->ReadNativeAnyVersion(e.documentPath, nullptr) || image->width <= 0 || image->height <= 0)
        return {};
    const QImage full = ToQImage(image->CompositeVisible(image->width, image->height));
    if (full.isNull()) return {};
    QPixmap pm(kThumb, kThumb);
    pm.fill(Qt::transparent);
    const QImage small = full.scaled(kThumb, kThumb, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&pm);
    p.drawImage((kThumb - small.width()) / 2, (kThumb - small.height()) / 2, small);
    p.end();
    return QIcon(pm);
}

} // namespace

RecoveryDialog::RecoveryDialog(std::vector<AutosaveEntry> entries, QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)) {
    setWindowTitle(kAppTitle);
    auto* text = new QLabel(
        QStringLiteral("These documents were not saved when the program last ended. Restore them, delete the "
                       "copies, or decide later."));
    text->setWordWrap(true);
    list_ = new QTreeWidget;
    list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Original path"), QStringLiteral("Time")});
    list_->setIconSize(QSize(kThumb, kThumb));
    list_->setRootIsDecorated(false);
    for (const AutosaveEntry& e : entries_) {
        const QString path = QString::fromStdString(e.info.originalPath);
        const QString name = QString::fromStdString(e.info.title);
        auto* item = new QTreeWidgetItem(
            {name, path.isEmpty() ? QStringLiteral("(not saved yet)") : path,
             QDateTime::fromSecsSinceEpoch(e.info.time).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))});
        item->setIcon(0, Thumbnail(e));
        item->setCheckState(0, Qt::Checked);
        list_->addTopLevelItem(item);
    }
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* buttons = new QDialogButtonBox;
    QPushButton* restore = buttons->addButton(QStringLiteral("&Restore"), QDialogButtonBox::AcceptRole);
    QPushButton* remove = buttons->addButton(QStringLiteral("&Delete"), QDialogButtonBox::DestructiveRole);
    QPushButton* later = buttons->addButton(QStringLiteral("&Later"), QDialogButtonBox::RejectRole);
    restore->setDefault(true);
    connect(restore, &QPushButton::clicked, this, [this] {
        choice_ = Restore;
        accept();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        choice_ = Delete;
        accept();
    });
    connect(later, &QPushButton::clicked, this, [this] {
        choice_ = Later;
        reject();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(640, 360);
}

std::vector<AutosaveEntry> RecoveryDialog::Chosen() const {
    std::vector<AutosaveEntry> out;
    for (int i = 0; i < list_->topLevelItemCount() && i < static_cast<int>(entries_.size()); ++i)
        if (list_->topLevelItem(i)->checkState(0) == Qt::Checked)
            out.push_back(entries_[static_cast<std::size_t>(i)]);
    return out;
}

} // namespace zepho
