#include "app/panels/OptionsPanel.h"

#include "app/panels/OptionsPages.h"
#include "edit/tools/Tool.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace zepho {

namespace {

// Small pictures for the layout buttons: stacked squares for the order commands, a bar and a
// box for the alignments.
QIcon LayoutIcon(int which) {
    // One picture per device pixel ratio, sharp on high-density screens.
    QIcon icon;
    for (int ratio = 1; ratio <= 3; ++ratio) {
        QPixmap pm(22 * ratio, 22 * ratio);
        pm.setDevicePixelRatio(ratio);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const QColor dark(40, 40, 40), front(90, 140, 230), back(200, 200, 200);
            auto box = [&](QRectF r, QColor c) {
                p.setPen(dark);
                p.setBrush(c);
                p.drawRect(r);
            };
            switch (which) {
            case 0: // forward
                box({3, 3, 11, 11}, back), box({8, 8, 11, 11}, front);
                break;
            case 1: // backward
                box({8, 8, 11, 11}, front), box({3, 3, 11, 11}, back);
                break;
            case 2: // to front
                box({2, 2, 8, 8}, back), box({12, 12, 8, 8}, back), box({6, 6, 10, 10}, front);
                break;
            case 3: // to back
                box({6, 6, 10, 10}, front), box({2, 2, 8, 8}, back), box({12, 12, 8, 8}, back);
                break;
            case 4: // centre vertically
                p.setPen(dark), p.drawLine(1, 11, 21, 11), box({7, 5, 8, 12}, front);
                break;
            case 5: // centre horizontally
                p.setPen(dark), p.drawLine(11, 1, 11, 21), box({5, 7, 12, 8}, front);
                break;
            case 6: // centre both
                p.setPen(dark), p.drawLine(11, 1, 11, 21), p.drawLine(1, 11, 21, 11),
                    box({7, 7, 8, 8}, front);
                break;
            case 7: // top
                p.setPen(dark), p.drawLine(1, 2, 21, 2), box({4, 3, 6, 14}, front), box({12, 3, 6, 8}, front);
                break;
            case 8: // right
                p.setPen(dark), p.drawLine(20, 1, 20, 21), box({6, 4, 14, 6}, front),
                    box({12, 12, 8, 6}, front);
                break;
            case 9: // left
                p.setPen(dark), p.drawLine(2, 1, 2, 21), box({3, 4, 14, 6}, front), box({3, 12, 8, 6}, front);
                break;
            default: // bottom
                p.setPen(dark), p.drawLine(1, 20, 21, 20), box({4, 6, 6, 14}, front),
                    box({12, 12, 6, 8}, front);
                break;
            }
        }
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

OptionsPanel::OptionsPanel(CAppSettings& settings, std::function<void(const QString&)> runCommand,
                           QWidget* parent)
    : QStackedWidget(parent), settings_(settings), run_(std::move(runCommand)) {
    pageIndex_[PageEmpty] = addWidget(new QWidget); // the text tool shows an empty panel
    pageIndex_[PageLayout] = addWidget(BuildLayoutPage());
    pageIndex_[PageSelection] = addWidget(new SelectionPage(settings_));
    pageIndex_[PageErase] = addWidget(new EraseSettingPage(settings_, false));
    pageIndex_[PagePen] = addWidget(new EraseSettingPage(settings_, true));
    pageIndex_[PageShape] = addWidget(new ShapeSettingPage(settings_));
    pageIndex_[PagePickColor] = addWidget(BuildPickColorPage());
    pageIndex_[PageFlood] = addWidget(new FloodFillSettingPage(settings_));
    pageIndex_[PageShapeSelection] = addWidget(new ShapeSelectionPage(settings_));
    setCurrentIndex(pageIndex_[PageLayout]);
}

QWidget* OptionsPanel::BuildLayoutPage() {
    auto* page = new QWidget;
    static const char* const kTips[] = {"Move forward",
                                        "Move backward",
                                        "Move to front",
                                        "Move to back",
                                        "Center vertically",
                                        "Center horizontally",
                                        "Center horizontally and vertically",
                                        "Allign top",
                                        "Align right",
                                        "Align left",
                                        "Align bottom"};
    auto* sequence = new QGroupBox(QStringLiteral("Sequence"));
    auto* layoutBox = new QGroupBox(QStringLiteral("Layout"));
    auto* seqGrid = new QGridLayout(sequence);
    auto* layGrid = new QGridLayout(layoutBox);
    for (int i = 0; i < 11; ++i) {
        auto* b = new QToolButton;
        b->setIcon(LayoutIcon(i));
        b->setIconSize(QSize(22, 22));
        b->setToolTip(kTips[i]);
        const QString tip = kTips[i];
        connect(b, &QToolButton::clicked, this, [this, tip] { run_(tip); });
        if (i < 4)
            seqGrid->addWidget(b, i / 2, i % 2);
        else
            layGrid->addWidget(b, (i - 4) / 4, (i - 4) % 4);
    }
    auto* col = new QVBoxLayout(page);
    col->addWidget(sequence, 0, Qt::AlignHCenter);
    col->addWidget(layoutBox, 0, Qt::AlignHCenter);
    col->addStretch();
    return page;
}

QWidget* OptionsPanel::BuildPickColorPage() {
    auto* page = new QWidget;
    red = new QLabel;
    green = new QLabel;
    blue = new QLabel;
    transparent = new QLabel;
    swatch = new QLabel;
    swatch->setFixedSize(48, 24);
    swatch->setFrameShape(QFrame::Box);
    swatch->setAutoFillBackground(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Red:"), red);
    form->addRow(QStringLiteral("Green:"), green);
    form->addRow(QStringLiteral("Blue:"), blue);
    form->addRow(QStringLiteral("Transparent:"), transparent);
    form->addRow(QString(), swatch);
    auto* col = new QVBoxLayout(page);
    col->addLayout(form);
    col->addStretch();
    return page;
}

void OptionsPanel::ShowToolPage(int tool) {
    const ToolInfo& info = ToolInfoOf(tool);
    const int page = info.optionsPage >= 1 && info.optionsPage <= 8 ? info.optionsPage : PageEmpty;
    if (auto* shape = qobject_cast<ShapeSettingPage*>(PageWidget(page)))
        shape->SetArgument(info.pageArgument);
    if (auto* sel = qobject_cast<ShapeSelectionPage*>(PageWidget(page))) sel->SetArgument(info.pageArgument);
    setCurrentIndex(pageIndex_[page]);
}

int OptionsPanel::CurrentPageNumber() const {
    for (int p = 0; p <= 8; ++p)
        if (pageIndex_[p] == currentIndex()) return p;
    return PageEmpty;
}

void OptionsPanel::ShowPickedColour(const PickedColour& c) {
    red->setText(c.valid ? QString::number(c.red) : QString());
    green->setText(c.valid ? QString::number(c.green) : QString());
    blue->setText(c.valid ? QString::number(c.blue) : QString());
    transparent->setText(QString::number(c.transparent));
    QPalette pal = swatch->palette();
    pal.setColor(QPalette::Window,
                 c.valid ? QColor(c.red, c.green, c.blue) : palette().color(QPalette::Window));
    swatch->setPalette(pal);
}

} // namespace zepho
