#include "app/dialogs/DialogPlacement.h"

#include <QEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace zepho {

namespace {

QRect GlobalRect(const QWidget* w) {
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// Places its dialog on the first Show, then removes itself.
class PlaceOnShow : public QObject {
public:
    explicit PlaceOnShow(QWidget* dialog) : QObject(dialog) { dialog->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == parent()) {
            PlaceBesideDocument(static_cast<QWidget*>(watched));
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }
};

} // namespace

QRect ActiveDocumentFrame(const QWidget* dialog) {
    const QWidget* owner = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    if (!owner) return {};
    if (const QMdiArea* mdi = owner->findChild<QMdiArea*>()) {
        QMdiSubWindow* sub = mdi->activeSubWindow() ? mdi->activeSubWindow() : mdi->currentSubWindow();
        if (!sub) {
            const QList<QMdiSubWindow*> subs = mdi->subWindowList(QMdiArea::StackingOrder);
            if (!subs.isEmpty()) sub = subs.last();
        }
        // A maximised document fills the area; only its visible part counts.
        if (sub && sub->isVisible()) return GlobalRect(sub).intersected(GlobalRect(mdi->viewport()));
        if (mdi->isVisible()) return GlobalRect(mdi);
    }
    return owner->frameGeometry();
}

void PlaceBesideDocument(QWidget* dialog) {
    const QRect doc = ActiveDocumentFrame(dialog);
    if (doc.isEmpty()) return;
    QScreen* screen = dialog->parentWidget()->window()->screen();
    if (!screen) screen = dialog->screen();
    const QRect avail = screen ? screen->availableGeometry() : doc;
    const QSize own = dialog->frameGeometry().size();

    QPoint at;
    if (doc.right() + own.width() <= avail.right()) // room on the right
        at = QPoint(doc.right() + 1, doc.top());
    else if (doc.left() - own.width() >= avail.left()) // room on the left
        at = QPoint(doc.left() - own.width(), doc.top());
    else // the document fills the screen: along its right edge
        at = QPoint(doc.right() + 1 - own.width(), doc.top());
    at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - own.width())));
    at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - own.height())));
    dialog->move(at);
}

void PlaceBesideDocumentOnShow(QWidget* dialog) {
    new PlaceOnShow(dialog);
}

} // namespace zepho
