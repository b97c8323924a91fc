#include "app/panels/OptionsPages.h"

#include "app/canvas/QtDib.h"
#include "app/panels/NumberBox.h"
#include "extlib/VorRender.h"
#include "model/AppSettings.h"
#include "raster/Dib.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QVBoxLayout>

namespace zepho {

namespace {

// A check box bound to an integer setting (0 or 1).
QCheckBox* BoundCheck(const QString& text, int* setting) {
    auto* box = new QCheckBox(text);
    box->setChecked(*setting != 0);
    QObject::connect(box, &QCheckBox::toggled, box, [setting](bool on) { *setting = on ? 1 : 0; });
    return box;
}

QIcon LineIcon(bool straight, bool round, bool capIcon) {
    // One picture per device pixel ratio, sharp on high-density screens.
    QIcon icon;
    for (int ratio = 1; ratio <= 3; ++ratio) {
        QPixmap pm(24 * ratio, 24 * ratio);
        pm.setDevicePixelRatio(ratio);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            if (capIcon) {
                p.setPen(QPen(QColor(40, 40, 40), 9, Qt::SolidLine, round ? Qt::RoundCap : Qt::SquareCap));
                p.drawLine(6, 12, 18, 12);
            } else {
                p.setPen(QPen(QColor(40, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
                if (straight) {
                    p.drawLine(4, 19, 20, 5);
                } else {
                    QPainterPath path;
                    path.moveTo(3, 16);
                    path.cubicTo(8, 2, 14, 24, 21, 7);
                    p.drawPath(path);
                }
            }
        }
        icon.addPixmap(pm);
    }
    return icon;
}

// A fill style button drawn by the same code that paints shapes.
QIcon StyleIcon(int mode) {
    PackedDib dib = CreateSolidDIB(28, 20, RGB(255, 255, 255), 0);
    CVorPath path;
    path.move_to(1, 1);
    path.line_to(27, 1);
    path.line_to(27, 19);
    path.line_to(1, 19);
    path.close_polygon();
    FillShape(dib, path, CVorTransMatrix(),
              _TEXTFILLMODE{RGB(255, 255, 255), RGB(30, 60, 160), WORD(mode), 0}, 1);
    return QIcon(QPixmap::fromImage(ToQImage(dib)));
}

QToolButton* PictureButton(const QIcon& icon, const QString& tip) {
    auto* b = new QToolButton;
    b->setIcon(icon);
    b->setIconSize(QSize(24, 24));
    b->setCheckable(true);
    b->setToolTip(tip);
    return b;
}

// Two exclusive picture buttons bound to a 0/1 setting.
void BindPair(QToolButton* off, QToolButton* on, int* setting, QWidget* owner) {
    auto* group = new QButtonGroup(owner);
    group->addButton(off, 0);
    group->addButton(on, 1);
    (*setting ? on : off)->setChecked(true);
    QObject::connect(group, &QButtonGroup::idClicked, owner, [setting](int id) { *setting = id; });
}

QVBoxLayout* Centred(QWidget* page, QLayout* content) {
    auto* col = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addLayout(content);
    row->addStretch();
    col->addLayout(row);
    col->addStretch();
    return col;
}

} // namespace

SelectionPage::SelectionPage(CAppSettings& s) {
    similarity = new NumberBox(0, 255, &s.Similarity);
    connected = BoundCheck(QStringLiteral("Only connected pixels"), &s.ConnectedPixelsMagicWand);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Similarity:"), similarity);
    form->addRow(connected);
    Centred(this, form);
}

EraseSettingPage::EraseSettingPage(CAppSettings& s, bool pen) {
    freeLine = PictureButton(LineIcon(false, false, false), QStringLiteral("Free line"));
    straightLine = PictureButton(LineIcon(true, false, false), QStringLiteral("Straight line"));
    squareCap = PictureButton(LineIcon(false, false, true), QStringLiteral("Square cap"));
    roundCap = PictureButton(LineIcon(false, true, true), QStringLiteral("Round cap"));
    BindPair(freeLine, straightLine, pen ? &s.PaintBeeline : &s.EraseBeeline, this);
    BindPair(squareCap, roundCap, pen ? &s.PaintRoundCap : &s.EraseRoundCap, this);
    width = new NumberBox(1, 50, pen ? &s.PaintLineWidth : &s.EraseLineWidth);
    if (pen) {
        // The pen's transparency is the low byte of its opacity setting.
        s.LineOpacity &= 0xFF;
        transparency = new NumberBox(0, 255, &s.LineOpacity);
    } else {
        transparency = new NumberBox(0, 255, &s.EraseTransparence);
    }
    allowTransparent =
        BoundCheck(QStringLiteral("  Allow paint transparent areas"), &s.AllowPaintTransparence);
    allowTransparent->setVisible(pen);
    auto* type = new QGroupBox(QStringLiteral("Type"));
    auto* typeRow = new QHBoxLayout(type);
    typeRow->addWidget(freeLine);
    typeRow->addWidget(straightLine);
    auto* cap = new QGroupBox(QStringLiteral("Cap"));
    auto* capRow = new QHBoxLayout(cap);
    capRow->addWidget(squareCap);
    capRow->addWidget(roundCap);
    auto* form = new QFormLayout;
    form->addRow(type);
    form->addRow(cap);
    form->addRow(QStringLiteral("Width:"), width);
    form->addRow(QStringLiteral("Transparency:"), transparency);
    form->addRow(allowTransparent);
    Centred(this, form);
}

ShapeSettingPage::ShapeSettingPage(CAppSettings& s) : settings_(s) {
    transparency = new NumberBox(0, 255, &s.ShapeOpacity);
    lineWidth = new NumberBox(0, 100, &s.PaintShapeWidth);
    fillInside = BoundCheck(QStringLiteral("Fill inside"), &s.FillInsideShape);
    roundCorner = new NumberBox(0, 50, &s.RoundRadius);
    gradient = new QCheckBox(QStringLiteral("Gradient"));
    auto* styleRow = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) {
        styles[i] = PictureButton(StyleIcon(i + 1), QStringLiteral("Style %1").arg(i + 1));
        styleRow->addWidget(styles[i]);
        connect(styles[i], &QToolButton::clicked, this, [this, i] {
            settings_.FillShapeMode = i + 1;
            ShowStyle();
        });
    }
    // Off and on again gives back the style that was down.
    connect(gradient, &QCheckBox::toggled, this, [this](bool on) {
        settings_.FillShapeMode = on ? style_ : 0;
        ShowStyle();
    });
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Transparency:"), transparency);
    form->addRow(QStringLiteral("Line width:"), lineWidth);
    form->addRow(fillInside);
    form->addRow(QStringLiteral("Round corner:"), roundCorner);
    form->addRow(gradient);
    form->addRow(styleRow);
    Centred(this, form);
    ShowStyle();
}

void ShapeSettingPage::ShowStyle() {
    const int mode = settings_.FillShapeMode;
    const bool on = mode >= 1 && mode <= 5;
    if (on) style_ = mode;
    gradient->blockSignals(true);
    gradient->setChecked(on);
    gradient->blockSignals(false);
    for (int i = 0; i < 5; ++i) {
        styles[i]->setEnabled(on);
        styles[i]->setChecked(style_ == i + 1);
    }
}

void ShapeSettingPage::SetArgument(int argument) {
    roundCorner->setEnabled(argument == 1);
}

FloodFillSettingPage::FloodFillSettingPage(CAppSettings& s) {
    transparency = new NumberBox(0, 255, &s.FloodOpacity);
    similarity = new NumberBox(0, 255, &s.FloodSimilarity);
    connected = BoundCheck(QStringLiteral("  Only fill connected pixels."), &s.FloodAdjacentArea);
    transparentAreas =
        BoundCheck(QStringLiteral("  Allow painting on transparent areas."), &s.FloodTransparence);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Transparency:"), transparency);
    form->addRow(QStringLiteral("Similarity:"), similarity);
    form->addRow(connected);
    form->addRow(transparentAreas);
    Centred(this, form);
}

ShapeSelectionPage::ShapeSelectionPage(CAppSettings& s) {
    roundCorner = new NumberBox(0, 50, &s.SelectionRoundCorner);
    equalSides = BoundCheck(QStringLiteral("Equal width and height"), &s.EqualWidthAndHeight);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Round corner:"), roundCorner);
    form->addRow(equalSides);
    Centred(this, form);
}

void ShapeSelectionPage::SetArgument(int argument) {
    roundCorner->setEnabled(argument == 1);
    equalSides->setEnabled(argument == 1 || argument == 2);
}

} // namespace zepho
