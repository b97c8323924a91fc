#include "app/panels/ObjectsPanel.h"

#include "app/canvas/QtDib.h"
#include "app/mainwindow/AppStrings.h"
#include "edit/commands/CmdObjects.h"
#include "edit/commands/CmdPanel.h"
#include "edit/commands/CmdStack.h"
#include "model/AppSettings.h"
#include "model/Frame.h"
#include "platform/Format.h"
#include "raster/Dib.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace zepho {

namespace {
constexpr int kHotSize = 20;
const char* const kSizeNames[] = {"32 x 32", "48 x 48", "64 x 64", "80 x 80", "96 x 96", "128 x 128"};

// The pixels of a thumbnail of the object and its shadow, fitted into a square of side device
// pixels over a light checkerboard.
QImage ThumbnailPixels(const CDrawObj& obj, int side) {
    PackedDib thumb = CreateSolidDIB(side, side, RGB(255, 255, 255), 255);
    if (!thumb || !obj.content || !obj.content->raster) return ToQImage(thumb);
    DrawCheckerboard(thumb, RGB(255, 255, 255), RGB(212, 212, 212), 0, 0);
    const RECT b = obj.GetBounds();
    const int extent = std::max<int>({b.right - b.left, b.bottom - b.top, 1});
    const int scale = std::max(1, static_cast<int>(32768LL * side / extent));
    DrawObjectThumbnail(obj, thumb, std::min(scale, 32768));
    return ToQImage(thumb);
}

// The thumbnail for a screen of `ratio` device pixels per window pixel.
QImage Thumbnail(const CDrawObj& obj, int side, int ratio) {
    QImage image = ThumbnailPixels(obj, side * ratio);
    image.setDevicePixelRatio(ratio);
    return image;
}

QPixmap HotSpotIcon(ObjectsPanel::HotSpot which, bool on) {
    QPixmap pm(kHotSize, kHotSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(on ? QColor(30, 30, 30) : QColor(170, 170, 170), 1.5));
    switch (which) {
    case ObjectsPanel::HotSpot::Eye:
        p.drawEllipse(QRectF(2, 6, 16, 8));
        if (on) p.setBrush(QColor(30, 30, 30));
        p.drawEllipse(QRectF(7.5, 7.5, 5, 5));
        break;
    case ObjectsPanel::HotSpot::Lock:
        p.drawArc(QRectF(6, 2, 8, 10), 0, 180 * 16);
        if (!on) p.drawLine(QPointF(6, 7), QPointF(6, 5));
        p.setBrush(on ? QColor(200, 160, 40) : Qt::white);
        p.drawRect(QRectF(4, 9, 12, 9));
        break;
    case ObjectsPanel::HotSpot::Properties:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 3, 14, 14));
        for (int y : {7, 10, 13})
            p.drawLine(QPointF(6, y), QPointF(14, y));
        break;
    default:
        break;
    }
    return pm;
}

} // namespace

class ObjectsPanel::RowDelegate : public QStyledItemDelegate {
public:
    explicit RowDelegate(ObjectsPanel* panel) : QStyledItemDelegate(panel), panel_(panel) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(252 + 16 * panel_->settings_.ThumbnailSizeOption, panel_->RowHeight());
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int row = index.row();
        if (row < 0 || row >= static_cast<int>(panel_->items_.size())) return;
        const CDrawObj& obj = *panel_->items_[static_cast<std::size_t>(row)];
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(r, selected ? option.palette.highlight() : option.palette.base());
        const int h = panel_->RowHeight(), side = h - 4;
        const int ratio = std::clamp(qRound(p->device()->devicePixelRatioF()), 1, 4);
        p->drawImage(QPoint(r.left() + 2, r.top() + 2), Thumbnail(obj, side, ratio));
        p->setPen(QColor(120, 120, 120));
        p->drawRect(QRect(r.left() + 2, r.top() + 2, side - 1, side - 1));
        const int hotTop = r.top() + (h - kHotSize) / 2;
        p->drawPixmap(r.left() + h + 14, hotTop, HotSpotIcon(HotSpot::Eye, obj.visible != 0));
        p->drawPixmap(r.left() + h + 38, hotTop, HotSpotIcon(HotSpot::Lock, obj.locked != 0));
        p->drawPixmap(r.left() + h + 62, hotTop, HotSpotIcon(HotSpot::Properties, true));
        p->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
        QString text = obj.content ? QString::fromStdString(obj.content->name) : QString();
        if (panel_->settings_.ShowDetails) {
            const RECT b = obj.GetBounds();
            text = QString::fromStdString(Format("%s\n(Left:%d,Top:%d)\n(Width:%d,Height:%d)",
                                                 text.toUtf8().constData(), int(b.left), int(b.top),
                                                 int(b.right - b.left), int(b.bottom - b.top)));
        }
        p->drawText(QRect(r.left() + h + 88, r.top(), r.width() - h - 90, h),
                    Qt::AlignVCenter | Qt::AlignLeft, text);
    }

private:
    ObjectsPanel* panel_;
};

ObjectsPanel::ObjectsPanel(CAppSettings& settings, IUiHost*& ui, QWidget* parent)
    : QWidget(parent), settings_(settings), ui_(ui) {
    allObjects = new QRadioButton(QStringLiteral("All objects"));
    visibleOnly = new QRadioButton(QStringLiteral("Visible only"));
    (settings_.ShowAllItems ? allObjects : visibleOnly)->setChecked(true);
    auto* display = new QGroupBox(QStringLiteral("Display Objects"));
    auto* displayRow = new QHBoxLayout(display);
    displayRow->addWidget(allObjects);
    displayRow->addWidget(visibleOnly);
    connect(allObjects, &QRadioButton::toggled, this, [this](bool all) {
        if (settings_.ShowAllItems == (all ? 1 : 0)) return;
        settings_.ShowAllItems = all ? 1 : 0;
        Rebuild();
    });

    transparency = new QSpinBox;
    transparency->setRange(-1, 255);
    transparency->setSpecialValueText(QStringLiteral(" ")); // several values: left empty
    connect(transparency, &QSpinBox::editingFinished, this, &ObjectsPanel::OnTransparencyEdited);
    connect(transparency, qOverload<int>(&QSpinBox::valueChanged), this, [this](int) {
        if (!updating_ && !transparency->hasFocus()) OnTransparencyEdited();
    });

    auto makeButton = [this](const char* tip, const QString& text) {
        auto* b = new QToolButton;
        b->setText(text);
        b->setToolTip(tip);
        return b;
    };
    newButton = makeButton("New Object", QStringLiteral("New"));
    duplicateButton = makeButton("Duplicate Object(s)", QStringLiteral("Duplicate"));
    deleteButton = makeButton("Delete Object(s)", QStringLiteral("Delete"));
    commandsButton = makeButton("Object Manager Commands", QStringLiteral("..."));
    connect(newButton, &QToolButton::clicked, this, [this] {
        if (doc_) CmdNewObject(*doc_);
    });
    connect(duplicateButton, &QToolButton::clicked, this, [this] {
        if (doc_) CmdDuplicate(*doc_, items_);
    });
    connect(deleteButton, &QToolButton::clicked, this, [this] {
        if (doc_) CmdDeleteObjects(*doc_);
    });
    connect(commandsButton, &QToolButton::clicked, this, &ObjectsPanel::ShowCommandsMenu);

    sizeBox = new QComboBox;
    for (const char* s : kSizeNames)
        sizeBox->addItem(s);
    sizeBox->setCurrentIndex(std::clamp(settings_.ThumbnailSizeOption, 0, 5));
    connect(sizeBox, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int i) {
        settings_.ThumbnailSizeOption = i;
        Rebuild();
    });

    list = new QListWidget;
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setItemDelegate(new RowDelegate(this));
    list->setUniformItemSizes(true);
    list->viewport()->installEventFilter(this);
    list->viewport()->setMouseTracking(true);
    connect(list, &QListWidget::itemSelectionChanged, this, &ObjectsPanel::RowsToDocument);

    auto* transparencyRow = new QHBoxLayout;
    transparencyRow->addWidget(new QLabel(QStringLiteral("Transparent")));
    transparencyRow->addWidget(transparency);
    auto* buttons = new QHBoxLayout;
    for (QToolButton* b : {newButton, duplicateButton, deleteButton, commandsButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(new QLabel(QStringLiteral("Size:")));
    buttons->addWidget(sizeBox);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(display);
    layout->addLayout(transparencyRow);
    layout->addLayout(buttons);
    layout->addWidget(list, 1);
    UpdatePage();
}

ObjectsPanel::~ObjectsPanel() {
    SetDocument(nullptr);
}

void ObjectsPanel::SetDocument(COrvaneDoc* doc) {
    if (doc == doc_) return;
    if (doc_) doc_->Unsubscribe(this);
    doc_ = doc;
    if (doc_) doc_->Subscribe(this);
    Rebuild();
}

int ObjectsPanel::RowHeight() const {
    return 36 + 16 * std::clamp(settings_.ThumbnailSizeOption, 0, 5);
}

void ObjectsPanel::Rebuild() {
    updating_ = true;
    items_ = doc_ ? PanelItems(doc_->Image(), settings_.ShowAllItems != 0) : std::vector<Ref<CDrawObj>>{};
    // Objects the panel does not list cannot stay selected.
    if (doc_ && !settings_.ShowAllItems)
        for (const auto& o : doc_->Image().objects)
            if (!o->visible && o->content) o->content->selected = 0;
    list->clear();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        auto* item = new QListWidgetItem(list);
        item->setSizeHint(QSize(252 + 16 * settings_.ThumbnailSizeOption, RowHeight()));
        item->setSelected(items_[i]->IsSelected());
    }
    updating_ = false;
    UpdatePage();
}

void ObjectsPanel::ObjectsRepainted() {
    list->viewport()->update();
}

void ObjectsPanel::SelectionChanged() {
    if (!updating_) DocumentToRows();
}

void ObjectsPanel::DocumentToRows() {
    updating_ = true;
    for (int i = 0; i < list->count() && i < static_cast<int>(items_.size()); ++i)
        list->item(i)->setSelected(items_[static_cast<std::size_t>(i)]->IsSelected());
    updating_ = false;
    UpdatePage();
}

void ObjectsPanel::RowsToDocument() {
    if (updating_ || !doc_) return;
    for (int i = 0; i < list->count() && i < static_cast<int>(items_.size()); ++i)
        if (items_[static_cast<std::size_t>(i)]->content)
            items_[static_cast<std::size_t>(i)]->content->selected = list->item(i)->isSelected() ? 1 : 0;
    updating_ = true;
    doc_->NotifySelectionChanged();
    doc_->NotifyObjectsRepainted();
    updating_ = false;
    UpdatePage();
}

void ObjectsPanel::UpdatePage() {
    int count = 0, common = -1;
    bool mixed = false;
    for (const auto& o : items_) {
        if (!o->IsSelected()) continue;
        if (count++ == 0)
            common = o->transparency;
        else if (o->transparency != common)
            mixed = true;
    }
    updating_ = true;
    const bool any = count > 0;
    duplicateButton->setEnabled(any);
    deleteButton->setEnabled(any);
    transparency->setEnabled(any);
    transparency->setValue(any && !mixed ? common : -1);
    newButton->setEnabled(doc_ != nullptr);
    commandsButton->setEnabled(doc_ != nullptr);
    updating_ = false;
}

void ObjectsPanel::OnTransparencyEdited() {
    if (updating_ || !doc_ || transparency->value() < 0) return;
    CmdSetTransparency(*doc_, items_, transparency->value());
    UpdatePage();
}

void ObjectsPanel::ShowCommandsMenu() {
    if (!doc_) return;
    QMenu menu(this);
    QAction* details = menu.addAction(QStringLiteral("Show details"));
    details->setCheckable(true);
    details->setChecked(settings_.ShowDetails != 0);
    connect(details, &QAction::triggered, this, [this] {
        settings_.ShowDetails = settings_.ShowDetails ? 0 : 1;
        list->viewport()->update();
    });
    const int selected = static_cast<int>(list->selectedItems().size());
    if (selected >= 1)
        menu.addAction(QStringLiteral("Trim object(s)"), this, [this] { CmdTrim(*doc_, *ui_); });
    if (selected >= 2)
        menu.addAction(QStringLiteral("Combine as single object"), this, [this] { CmdCombine(*doc_, *ui_); });
    if (doc_->Image().objects.Count() > 1)
        menu.addAction(QStringLiteral("Make frame as single object"), this, [this] { CmdMakeFrame(*doc_); });
    menu.exec(QCursor::pos());
}

ObjectsPanel::HotSpot ObjectsPanel::HotSpotAt(const QPoint& pos, int* rowOut) const {
    QListWidgetItem* item = list->itemAt(pos);
    if (!item) return HotSpot::None;
    const int row = list->row(item);
    if (rowOut) *rowOut = row;
    const QRect r = list->visualItemRect(item);
    const int h = RowHeight(), top = r.top() + (h - kHotSize) / 2;
    if (pos.y() < top || pos.y() >= top + kHotSize) return HotSpot::None;
    const int x = pos.x() - r.left();
    if (x >= h + 14 && x < h + 14 + kHotSize) return HotSpot::Eye;
    if (x >= h + 38 && x < h + 38 + kHotSize) return HotSpot::Lock;
    if (x >= h + 62 && x < h + 62 + kHotSize) return HotSpot::Properties;
    return HotSpot::None;
}

bool ObjectsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list->viewport() || !doc_) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const HotSpot spot = HotSpotAt(help->pos(), nullptr);
        const char* tip = spot == HotSpot::Eye          ? "Click here to show or hide the object"
                          : spot == HotSpot::Lock       ? "Click here to lock or unlock the object"
                          : spot == HotSpot::Properties ? "click here to edit properties of the object"
                                                        : nullptr;
        if (tip)
            QToolTip::showText(help->globalPos(), tip, list);
        else
            QToolTip::hideText();
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        int row = -1;
        const HotSpot spot =
            me->button() == Qt::LeftButton ? HotSpotAt(me->position().toPoint(), &row) : HotSpot::None;
        if (spot == HotSpot::None) return DragRow(event);
        const std::vector<Ref<CDrawObj>> items = items_; // the command may make us rebuild
        if (spot == HotSpot::Eye) CmdToggleVisible(*doc_, settings_, items, row);
        if (spot == HotSpot::Lock) CmdToggleLock(*doc_, items, row);
        if (spot == HotSpot::Properties) emit PropertiesRequested(items[static_cast<std::size_t>(row)].Get());
        list->viewport()->update();
        return true;
    }
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease)
        return DragRow(event);
    return QWidget::eventFilter(watched, event);
}

bool ObjectsPanel::DragRow(QEvent* event) {
    auto* me = static_cast<QMouseEvent*>(event);
    const QPoint pos = me->position().toPoint();
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // The list selects the row as usual; the drag starts once the mouse moves.
        pressRow_ = me->button() == Qt::LeftButton ? list->indexAt(pos).row() : -1;
        pressPos_ = pos;
        draggingRow_ = false;
        return false;
    case QEvent::MouseMove:
        if (pressRow_ < 0 || !(me->buttons() & Qt::LeftButton)) return false;
        if (!draggingRow_ && (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
            draggingRow_ = true;
            list->viewport()->setCursor(Qt::SizeVerCursor);
        }
        // While a row is dragged the list does not extend its selection.
        return draggingRow_;
    case QEvent::MouseButtonRelease: {
        if (me->button() != Qt::LeftButton) return false;
        const bool dragged = draggingRow_ && pressRow_ >= 0 && doc_;
        const int from = pressRow_;
        pressRow_ = -1;
        draggingRow_ = false;
        list->viewport()->unsetCursor();
        if (!dragged) return false;
        int to = list->indexAt(pos).row();
        // Above the first row or below the last one: the top or the bottom of the stack.
        if (to < 0) to = pos.y() < 0 ? 0 : list->count() - 1;
        const std::vector<Ref<CDrawObj>> items = items_; // the command makes the panel rebuild
        CmdMoveRowInStack(*doc_, items, from, to);
        return true;
    }
    default:
        return false;
    }
}

} // namespace zepho
