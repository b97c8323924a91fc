// View > Rulers, Guides, Grid and Snap.
#include "app/canvas/CanvasView.h"
#include "app/canvas/DocumentWindow.h"
#include "app/mainwindow/AppStrings.h"
#include "app/mainwindow/MainWindowActions.h"
#include "app/mainwindow/ZephoApp.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QMenu>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zepho {

void MainWindow::BuildGuideCommands(QMenu* view) {
    CAppSettings& s = app_.Settings();
    const auto toggle = [this](QMenu* menu, const QString& text, QKeySequence key, auto changed) {
        QAction* a = menu->addAction(text);
        a->setCheckable(true);
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, [this, changed](bool on) {
            changed(on);
            for (DocumentWindow* w : DocumentWindows())
                w->Canvas()->viewport()->update();
            UpdateCommands();
        });
        return a;
    };
    act_->rulers = toggle(view, kMenuRulers, QKeySequence(Qt::CTRL | Qt::Key_R), [this, &s](bool on) {
        s.ShowRulers = on ? 1 : 0;
        for (DocumentWindow* w : DocumentWindows())
            w->Canvas()->SetRulersShown(on);
    });

    QMenu* guides = view->addMenu(kMenuGuides);
    act_->showGuides = toggle(guides, kMenuShowGuides, QKeySequence(Qt::CTRL | Qt::Key_Semicolon),
                              [&s](bool on) { s.ShowGuides = on ? 1 : 0; });
    act_->lockGuides = toggle(guides, kMenuLockGuides, {}, [&s](bool on) { s.LockGuides = on ? 1 : 0; });
    act_->clearGuides = guides->addAction(kMenuClearGuides, this, [this] {
        DocumentWindow* w = ActiveDocumentWindow();
        if (!w) return;
        w->Document().guides.vertical.clear();
        w->Document().guides.horizontal.clear();
        GuidesEdited(w->Document());
    });
    act_->newGuide = guides->addAction(kMenuNewGuide, this, [this] {
        DocumentWindow* w = ActiveDocumentWindow();
        bool vertical = false;
        int position = 0;
        if (!w || !AskNewGuide(vertical, position)) return;
        w->Document().guides.Of(vertical).push_back(position);
        // A new guide shows, whatever Show said.
        app_.Settings().ShowGuides = 1;
        GuidesEdited(w->Document());
    });

    act_->grid = toggle(view, kMenuGrid, QKeySequence(Qt::CTRL | Qt::Key_Apostrophe), [this](bool on) {
        if (DocumentWindow* w = ActiveDocumentWindow()) {
            w->Document().guides.gridShown = on;
            GuidesEdited(w->Document());
        }
    });

    act_->snap = toggle(view, kMenuSnap, {}, [&s](bool on) { s.SnapEnabled = on ? 1 : 0; });
    // Ctrl+Shift+; arrives as Ctrl+: on most layouts.
    act_->snap->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Semicolon),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Colon),
                              QKeySequence(Qt::CTRL | Qt::Key_Colon)});
    QMenu* targets = view->addMenu(kMenuSnapTo);
    const std::pair<const char*, unsigned> kTargets[] = {{kMenuSnapCanvas, SnapToCanvas},
                                                         {kMenuSnapGuides, SnapToGuides},
                                                         {kMenuSnapGrid, SnapToGrid},
                                                         {kMenuSnapObjects, SnapToObjects}};
    for (const auto& [text, bit] : kTargets) {
        const unsigned target = bit;
        QAction* a = toggle(targets, text, {}, [&s, target](bool on) {
            s.SnapTargets = on ? (s.SnapTargets | int(target)) : (s.SnapTargets & ~int(target));
        });
        a->setData(target);
        act_->snapTargets.push_back(a);
    }
    // The window holds the shortcuts, so that they work while the menu bar is hidden.
    for (QAction* a : {act_->rulers, act_->showGuides, act_->grid, act_->snap})
        addAction(a);
}

void MainWindow::UpdateGuideCommands() {
    const CAppSettings& s = app_.Settings();
    DocumentWindow* w = ActiveDocumentWindow();
    act_->rulers->setChecked(s.ShowRulers != 0);
    act_->showGuides->setChecked(s.ShowGuides != 0);
    act_->lockGuides->setChecked(s.LockGuides != 0);
    act_->snap->setChecked(s.SnapEnabled != 0);
    for (QAction* a : act_->snapTargets) {
        a->setChecked((unsigned(s.SnapTargets) & a->data().toUInt()) != 0);
        a->setEnabled(s.SnapEnabled != 0);
    }
    act_->grid->setEnabled(w != nullptr);
    act_->grid->setChecked(w && w->Document().guides.gridShown);
    act_->clearGuides->setEnabled(w && !w->Document().guides.Empty());
    act_->newGuide->setEnabled(w != nullptr);
}

void MainWindow::GuidesEdited(COrvaneDoc& doc) {
    for (DocumentWindow* w : DocumentWindows())
        if (&w->Document() == &doc) w->Canvas()->viewport()->update();
    // Only a document with a file has somewhere to keep them.
    if (!doc.filePath.empty()) app_.KeepGuides(QString::fromStdString(doc.filePath), doc.guides);
    UpdateCommands();
}

bool MainWindow::AskNewGuide(bool& vertical, int& position) {
    if (newGuideAnswer) return newGuideAnswer(vertical, position);
    QDialog dialog(this);
    dialog.setWindowTitle(kNewGuideTitle);
    auto* horizontal = new QRadioButton(kGuideHorizontal);
    auto* verticalButton = new QRadioButton(kGuideVertical);
    horizontal->setChecked(true);
    auto* pos = new QSpinBox;
    pos->setRange(-100000, 100000);
    pos->setSuffix(QStringLiteral(" px"));
    auto* form = new QFormLayout;
    auto* direction = new QVBoxLayout;
    direction->addWidget(horizontal);
    direction->addWidget(verticalButton);
    form->addRow(kGuideOrientation, direction);
    form->addRow(kGuidePosition, pos);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    vertical = verticalButton->isChecked();
    position = pos->value();
    return true;
}

} // namespace zepho
