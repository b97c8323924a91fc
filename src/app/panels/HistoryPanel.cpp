#include "app/panels/HistoryPanel.h"

#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/Icons.h"
#include "edit/document/HistoryRows.h"
#include "model/AppSettings.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace zepho {

HistoryPanel::HistoryPanel(QWidget* parent) : QWidget(parent) {
    list = new QListWidget;
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    memory = new QLabel;
    memory->setContentsMargins(4, 2, 4, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(list);
    layout->addWidget(memory);
    // The current row follows the keyboard and the mouse alike.
    connect(list, &QListWidget::currentRowChanged, this, &HistoryPanel::OnRowChosen);
    Rebuild();
}

HistoryPanel::~HistoryPanel() {
    if (doc_) doc_->Unsubscribe(this);
}

void HistoryPanel::SetDocument(COrvaneDoc* doc) {
    if (doc == doc_) return;
    if (doc_) doc_->Unsubscribe(this);
    doc_ = doc;
    if (doc_) doc_->Subscribe(this);
    Rebuild();
}

void HistoryPanel::Rebuild() {
    updating_ = true;
    list->clear();
    if (!doc_) {
        memory->clear();
        updating_ = false;
        return;
    }
    const QIcon saved = CommandIcon(CommandIconId::Save);
    const QBrush greyed = palette().brush(QPalette::Disabled, QPalette::Text);
    int current = 0;
    const std::vector<CHistoryRow> rows = HistoryRows(*doc_);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CHistoryRow& r = rows[i];
        auto* item = new QListWidgetItem(QString::fromStdString(r.text), list);
        if (r.saved) item->setIcon(saved);
        if (r.redoable) item->setForeground(greyed);
        if (r.current) current = static_cast<int>(i);
    }
    list->setCurrentRow(current);
    list->scrollToItem(list->item(current));
    const double held = static_cast<double>(doc_->UndoManager().HeldBytes()) / (1 << 20);
    const double budget = static_cast<double>(UndoBudgetBytes(doc_->Settings()) >> 20);
    memory->setText(QString(kHistoryMemory).arg(held, 0, 'f', 1).arg(budget, 0, 'f', 0));
    updating_ = false;
}

void HistoryPanel::OnRowChosen(int row) {
    if (updating_ || !doc_ || row < 0) return;
    if (static_cast<std::size_t>(row) == doc_->UndoManager().UndoCount()) return;
    if (mayJump && !mayJump()) {
        Rebuild();
        return;
    }
    // The jump rebuilds the rows through the document's history event.
    doc_->JumpTo(static_cast<std::size_t>(row));
    emit Jumped();
}

} // namespace zepho
