#include "app/properties/PropertySheet.h"

#include "app/panels/ColorButton.h"
#include "app/properties/PropertyBoundBox.h"
#include "app/properties/PropertyIcons.h"
#include "app/properties/PropertyStrings.h"
#include "extlib/VorRender.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace zepho {

namespace {
QString Tr(const char* s) {
    return QString::fromUtf8(s);
}

struct ShadowFieldInfo {
    const char* label;
    int lo, hi;
};
constexpr ShadowFieldInfo kShadowFields[PropertySheetDialog::ShadowFieldCount] = {
    {props::kXOffset, 0, CShadowPage::kMaxOffset},
    {props::kYOffset, 0, CShadowPage::kMaxOffset},
    {props::kTransparency, 0, CShadowPage::kMaxTransparency},
    {props::kSize, CShadowPage::kMinSize, CShadowPage::kMaxSize},
    {props::kSmooth, 0, CShadowPage::kMaxSmooth},
    {props::kPerspective, 0, CShadowPage::kMaxPerspective},
    {props::kSkewAngle, 0, CShadowPage::kMaxSkew},
};
} // namespace

PropertySheetDialog::PropertySheetDialog(COrvaneDoc& doc, Ref<CDrawObj> obj, IUiHost& ui, QWidget* parent)
    : QDialog(parent), ui_(ui), model_(std::make_unique<CPropertySheetModel>(doc, std::move(obj), ui)) {
    setWindowTitle(Tr(props::kSheetTitle));
    tabs = new QTabWidget;
    tabs->addTab(BuildGeneral(), Tr(props::kGeneralPage));
    if (model_->FillStroke()) tabs->addTab(BuildFillStroke(), Tr(props::kFillStrokePage));
    tabs->addTab(BuildShadow(), Tr(props::kShadowPage));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    okButton = buttons->button(QDialogButtonBox::Ok);
    cancelButton = buttons->button(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    BoundBox::SetCancelButton(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    Refresh();
}

PropertySheetDialog::~PropertySheetDialog() {
    BoundBox::SetCancelButton(nullptr);
    // The controls go while the model they talk to is still there.
    closed_ = true;
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

template <class F> void PropertySheetDialog::Change(F&& f) {
    if (refreshing_ || closed_ || changing_) return;
    changing_ = true;
    f();
    changing_ = false;
    Refresh();
}

QWidget* PropertySheetDialog::BuildGeneral() {
    CGeneralObjInfoPage& g = model_->General();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    name = new QLineEdit;
    name->setMaxLength(CGeneralObjInfoPage::kNameLimit);
    visible = new QCheckBox(Tr(props::kVisible));
    transparency = new BoundBox(ui_, 0, CGeneralObjInfoPage::kMaxTransparency);
    auto* top0 = new QGridLayout;
    top0->addWidget(new QLabel(Tr(props::kObjectName)), 0, 0);
    top0->addWidget(name, 0, 1);
    top0->addWidget(new QLabel(Tr(props::kNameLimit)), 1, 1);
    top0->addWidget(visible, 2, 0);
    top0->addWidget(new QLabel(Tr(props::kTransparency)), 3, 0);
    top0->addWidget(transparency, 3, 1);
    layout->addLayout(top0);
    connect(name, &QLineEdit::textEdited, this,
            [this, &g](const QString& s) { Change([&] { g.SetName(s.toStdString()); }); });
    connect(visible, &QCheckBox::toggled, this, [this, &g](bool on) { Change([&] { g.SetVisible(on); }); });
    connect(transparency, &BoundBox::ValueAccepted, this,
            [this, &g](double v) { Change([&] { g.SetTransparency(static_cast<int>(v)); }); });

    auto* location = new QGroupBox(Tr(props::kLocation));
    auto* loc = new QGridLayout(location);
    left = new BoundBox(ui_, CGeneralObjInfoPage::kMinPosition, CGeneralObjInfoPage::kMaxPosition);
    top = new BoundBox(ui_, CGeneralObjInfoPage::kMinPosition, CGeneralObjInfoPage::kMaxPosition);
    left->SetArrows(true);
    top->SetArrows(true);
    lock = new QCheckBox(Tr(props::kLock));
    loc->addWidget(new QLabel(Tr(props::kLeft)), 0, 0);
    loc->addWidget(left, 0, 1);
    loc->addWidget(new QLabel(Tr(props::kTop)), 0, 2);
    loc->addWidget(top, 0, 3);
    loc->addWidget(lock, 0, 4);
    layout->addWidget(location);
    connect(left, &BoundBox::ValueAccepted, this,
            [this, &g](double v) { Change([&] { g.SetLeft(static_cast<int>(v)); }); });
    connect(top, &BoundBox::ValueAccepted, this,
            [this, &g](double v) { Change([&] { g.SetTop(static_cast<int>(v)); }); });
    connect(lock, &QCheckBox::toggled, this, [this, &g](bool on) { Change([&] { g.SetLocked(on); }); });

    auto* sized = dynamic_cast<CSizedGeneralPage*>(&g);
    if (!sized) {
        layout->addStretch();
        return page;
    }
    const bool isImage = model_->Image() != nullptr, isPolygon = model_->Polygon() != nullptr;
    const bool isEllipse = model_->Session().Content().kind == KindEllipse;
    auto* sizeBox = new QGroupBox;
    auto* grid = new QGridLayout(sizeBox);
    horzLabel = new QLabel(Tr(isPolygon   ? props::kHorzScale
                              : isEllipse ? props::kHorzRadius
                                          : props::kWidth));
    vertLabel = new QLabel(Tr(isPolygon   ? props::kVertScale
                              : isEllipse ? props::kVertRadius
                                          : props::kHeight));
    horz = new BoundBox(ui_, 1.0, 2000.0);
    vert = new BoundBox(ui_, 1.0, 2000.0);
    rotate = new BoundBox(ui_, 0.0, CGeneralObjInfoPage::kMaxAngle);
    grid->addWidget(horzLabel, 0, 0);
    grid->addWidget(horz, 0, 1);
    grid->addWidget(vertLabel, 1, 0);
    grid->addWidget(vert, 1, 1);
    grid->addWidget(new QLabel(Tr(props::kRotate)), 2, 0);
    grid->addWidget(rotate, 2, 1);
    if (!isPolygon) {
        pixel = new QRadioButton(Tr(props::kPixel));
        percentage = new QRadioButton(Tr(props::kPercentage));
        grid->addWidget(pixel, 0, 2);
        grid->addWidget(percentage, 1, 2);
        connect(pixel, &QRadioButton::toggled, this, [this, sized](bool on) {
            Change([&] { sized->SetUnit(on ? SizeUnit::Pixel : SizeUnit::Percentage); });
        });
    }
    ratio = new QCheckBox(Tr(props::kPreserveRatio));
    grid->addWidget(ratio, 3, 0, 1, 3);
    if (CShapeSizePage* s = model_->ShapeSize(); s && s->HasRoundness()) {
        roundness = new BoundBox(ui_, 0, CShapeSizePage::kMaxRoundness);
        grid->addWidget(new QLabel(Tr(props::kRoundness)), 4, 0);
        grid->addWidget(roundness, 4, 1);
        connect(roundness, &BoundBox::ValueAccepted, this,
                [this, s](double v) { Change([&] { s->SetRoundness(static_cast<int>(v)); }); });
    }
    if (isImage) {
        filters = new QComboBox;
        for (const char* f : kVorFilterNames)
            filters->addItem(Tr(f));
        grid->addWidget(new QLabel(Tr(props::kFilters)), 4, 0);
        grid->addWidget(filters, 4, 1, 1, 2);
        CImageGeneralPage* img = model_->Image();
        connect(filters, qOverload<int>(&QComboBox::currentIndexChanged), this,
                [this, img](int i) { Change([&] { img->SetFilter(i); }); });
    }
    layout->addWidget(sizeBox);
    layout->addStretch();
    connect(horz, &BoundBox::ValueAccepted, this,
            [this, sized](double v) { Change([&] { sized->SetHorz(v); }); });
    connect(vert, &BoundBox::ValueAccepted, this,
            [this, sized](double v) { Change([&] { sized->SetVert(v); }); });
    connect(rotate, &BoundBox::ValueAccepted, this,
            [this, sized](double v) { Change([&] { sized->SetAngle(v); }); });
    connect(ratio, &QCheckBox::toggled, this,
            [this, sized](bool on) { Change([&] { sized->SetKeepRatio(on); }); });
    return page;
}

QWidget* PropertySheetDialog::BuildFillStroke() {
    CFillStrokePage& p = *model_->FillStroke();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* strokeBox = new QGroupBox;
    auto* sg = new QGridLayout(strokeBox);
    stroke = new QCheckBox(Tr(props::kStroke));
    strokeWidth = new BoundBox(ui_, 0, CFillStrokePage::kMaxWidth);
    strokeWidth->SetArrows(true);
    strokeColour = new ColorButton(p.StrokeColour());
    sg->addWidget(stroke, 0, 0, 1, 2);
    sg->addWidget(new QLabel(Tr(props::kWidth)), 1, 0);
    sg->addWidget(strokeWidth, 1, 1);
    sg->addWidget(new QLabel(Tr(props::kStrokeColor)), 2, 0);
    sg->addWidget(strokeColour, 2, 1);
    layout->addWidget(strokeBox);

    auto* fillBox = new QGroupBox;
    auto* fg = new QGridLayout(fillBox);
    fill = new QCheckBox(Tr(props::kFill));
    fillColour = new ColorButton(p.FillColour());
    fg->addWidget(fill, 0, 0, 1, 2);
    fg->addWidget(new QLabel(Tr(props::kFillColor)), 1, 0);
    fg->addWidget(fillColour, 1, 1);
    auto* group = new QButtonGroup(this);
    auto* row = new QHBoxLayout;
    for (int i = 0; i < CFillStrokePage::kModeCount; ++i) {
        styles[i] = new QToolButton;
        styles[i]->setCheckable(true);
        styles[i]->setIconSize(QSize(36, 24));
        group->addButton(styles[i], i);
        row->addWidget(styles[i]);
        connect(styles[i], &QToolButton::clicked, this, [this, &p, i] { Change([&] { p.SetMode(i); }); });
    }
    row->addStretch();
    fg->addLayout(row, 2, 0, 1, 3);
    layout->addWidget(fillBox);
    layout->addStretch();

    connect(stroke, &QCheckBox::toggled, this, [this, &p](bool on) { Change([&] { p.SetStroke(on); }); });
    connect(fill, &QCheckBox::toggled, this, [this, &p](bool on) { Change([&] { p.SetFill(on); }); });
    connect(strokeWidth, &BoundBox::ValueAccepted, this,
            [this, &p](double v) { Change([&] { p.SetWidth(static_cast<int>(v)); }); });
    connect(strokeColour, &ColorButton::ColourChanged, this,
            [this, &p](COLORREF c) { Change([&] { p.SetStrokeColour(c); }); });
    connect(fillColour, &ColorButton::ColourChanged, this,
            [this, &p](COLORREF c) { Change([&] { p.SetFillColour(c); }); });
    return page;
}

QWidget* PropertySheetDialog::BuildShadow() {
    CShadowPage& s = model_->Shadow();
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    shadow = new QCheckBox(Tr(props::kShadow));
    layout->addWidget(shadow);
    connect(shadow, &QCheckBox::toggled, this, [this, &s](bool on) { Change([&] { s.SetOn(on); }); });

    auto* types = new QGridLayout;
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < CShadowPage::kTypeCount; ++i) {
        shadowTypes[i] = new QToolButton;
        shadowTypes[i]->setCheckable(true);
        shadowTypes[i]->setIcon(ShadowTypeIcon(i + 1));
        shadowTypes[i]->setIconSize(QSize(36, 36));
        group->addButton(shadowTypes[i], i + 1);
        types->addWidget(shadowTypes[i], i / 5, i % 5);
        connect(shadowTypes[i], &QToolButton::clicked, this,
                [this, &s, i] { Change([&] { s.SetType(i + 1); }); });
    }
    shadowColour = new ColorButton(s.Colour());
    types->addWidget(shadowColour, 1, 4);
    connect(shadowColour, &ColorButton::ColourChanged, this,
            [this, &s](COLORREF c) { Change([&] { s.SetColour(c); }); });
    layout->addLayout(types);

    auto* grid = new QGridLayout;
    for (int f = 0; f < ShadowFieldCount; ++f) {
        const ShadowFieldInfo& info = kShadowFields[f];
        shadowSliders[f] = new QSlider(Qt::Horizontal);
        shadowSliders[f]->setRange(info.lo, info.hi);
        shadowBoxes[f] = new BoundBox(ui_, info.lo, info.hi);
        shadowBoxes[f]->setFixedWidth(60);
        grid->addWidget(new QLabel(Tr(info.label)), f, 0);
        grid->addWidget(shadowSliders[f], f, 1);
        grid->addWidget(shadowBoxes[f], f, 2);
        connect(shadowSliders[f], &QSlider::valueChanged, this,
                [this, f](int v) { Change([&] { SetShadowField(f, v); }); });
        connect(shadowBoxes[f], &BoundBox::ValueAccepted, this,
                [this, f](double v) { Change([&] { SetShadowField(f, static_cast<int>(v)); }); });
    }
    layout->addLayout(grid);
    layout->addStretch();
    return page;
}

void PropertySheetDialog::SetShadowField(int field, int v) {
    CShadowPage& s = model_->Shadow();
    switch (field) {
    case XOffset:
        return s.SetOffsetX(v);
    case YOffset:
        return s.SetOffsetY(v);
    case Transparency:
        return s.SetTransparency(v);
    case Size:
        return s.SetSize(v);
    case Smooth:
        return s.SetSmooth(v);
    case Perspective:
        return s.SetPerspective(v);
    default:
        return s.SetSkew(v);
    }
}

int PropertySheetDialog::ShadowValue(int field) const {
    const CShadowPage& s = model_->Shadow();
    switch (field) {
    case XOffset:
        return s.OffsetX();
    case YOffset:
        return s.OffsetY();
    case Transparency:
        return s.Transparency();
    case Size:
        return s.Size();
    case Smooth:
        return s.Smooth();
    case Perspective:
        return s.Perspective();
    default:
        return s.Skew();
    }
}

void PropertySheetDialog::Refresh() {
    refreshing_ = true;
    RefreshGeneral();
    if (model_->FillStroke()) RefreshFillStroke();
    RefreshShadow();
    refreshing_ = false;
}

void PropertySheetDialog::RefreshGeneral() {
    const CGeneralObjInfoPage& g = model_->General();
    const QString n = QString::fromStdString(g.Name());
    if (name->text() != n) name->setText(n);
    visible->setChecked(g.Visible());
    transparency->SetValue(g.Transparency());
    lock->setChecked(g.Locked());
    left->SetValue(g.Left());
    top->SetValue(g.Top());
    left->setEnabled(g.PositionEnabled());
    top->setEnabled(g.PositionEnabled());
    const auto* sized = dynamic_cast<const CSizedGeneralPage*>(&g);
    if (!sized) return;
    horz->SetRange(sized->MinHorz(), sized->MaxHorz());
    vert->SetRange(sized->MinVert(), sized->MaxVert());
    horz->SetValue(sized->HorzBox());
    vert->SetValue(sized->VertBox());
    rotate->SetValue(sized->Angle());
    ratio->setChecked(sized->KeepRatio());
    if (pixel) {
        pixel->setChecked(sized->Unit() == SizeUnit::Pixel);
        percentage->setChecked(sized->Unit() == SizeUnit::Percentage);
    }
    if (roundness) roundness->SetValue(model_->ShapeSize()->Roundness());
    if (filters) filters->setCurrentIndex(model_->Image()->Filter());
}

void PropertySheetDialog::RefreshFillStroke() {
    const CFillStrokePage& p = *model_->FillStroke();
    stroke->setChecked(p.Stroke());
    fill->setChecked(p.Fill());
    strokeWidth->SetValue(p.Width());
    strokeWidth->setEnabled(p.Stroke());
    strokeColour->SetColour(p.StrokeColour());
    fillColour->SetColour(p.FillColour());
    for (int i = 0; i < CFillStrokePage::kModeCount; ++i) {
        styles[i]->setIcon(FillStyleIcon(i, p.StrokeColour(), p.FillColour(), false));
        styles[i]->setChecked(i == p.Mode());
    }
}

void PropertySheetDialog::RefreshShadow() {
    const CShadowPage& s = model_->Shadow();
    shadow->setChecked(s.On());
    for (int i = 0; i < CShadowPage::kTypeCount; ++i)
        shadowTypes[i]->setChecked(i + 1 == s.Type());
    shadowColour->SetColour(s.Colour());
    for (int f = 0; f < ShadowFieldCount; ++f) {
        shadowSliders[f]->setValue(ShadowValue(f));
        shadowBoxes[f]->SetValue(ShadowValue(f));
    }
}

void PropertySheetDialog::accept() {
    if (closed_) return;
    // Text typed just before OK is checked like any other.
    for (BoundBox* b : findChildren<BoundBox*>())
        if (b->isEnabled() && !b->CheckNow()) return;
    closed_ = true;
    recorded_ = model_->Ok();
    QDialog::accept();
}

void PropertySheetDialog::reject() {
    if (!closed_) {
        closed_ = true;
        model_->Cancel();
    }
    QDialog::reject();
}

} // namespace zepho
