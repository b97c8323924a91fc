#include "app/dialogs/ResizeDialogs.h"
#include "app/dialogs/DialogPlacement.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zepho {

SizeFieldsWidget::SizeFieldsWidget(CResizeFields& f, QWidget* parent) : QWidget(parent), fields_(f) {
    pixels = new QRadioButton(QStringLiteral("Pixels"));
    percentage = new QRadioButton(QStringLiteral("Percentage"));
    pixels->setChecked(true);
    width = new QSpinBox;
    height = new QSpinBox;
    widthPct = new QSpinBox;
    heightPct = new QSpinBox;
    ratio = new QCheckBox(QStringLiteral("Preserve Ratio when resizing"));
    auto* grid = new QGridLayout;
    grid->addWidget(pixels, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Width:")), 1, 0);
    grid->addWidget(width, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Height:")), 2, 0);
    grid->addWidget(height, 2, 1);
    grid->addWidget(percentage, 0, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Width:")), 1, 2);
    grid->addWidget(widthPct, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Height:")), 2, 2);
    grid->addWidget(heightPct, 2, 3);
    auto* box = new QGroupBox(QStringLiteral("New size"));
    box->setLayout(grid);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(box);
    layout->addWidget(ratio);

    connect(pixels, &QRadioButton::toggled, this, [this](bool on) {
        fields_.SetMode(on ? CResizeFields::Pixels : CResizeFields::Percentage);
        Refresh();
    });
    connect(ratio, &QCheckBox::toggled, this, [this](bool on) { fields_.SetPreserveRatio(on); });
    Hook(width, [this](int v) { fields_.SetPixelWidth(v); });
    Hook(height, [this](int v) { fields_.SetPixelHeight(v); });
    Hook(widthPct, [this](int v) { fields_.SetWidthPercent(v); });
    Hook(heightPct, [this](int v) { fields_.SetHeightPercent(v); });
    Refresh();
}

void SizeFieldsWidget::Hook(QSpinBox* box, std::function<void(int)> set) {
    connect(box, qOverload<int>(&QSpinBox::valueChanged), this, [this, set = std::move(set)](int v) {
        if (refreshing_) return;
        set(v);
        Refresh();
    });
}

// The boxes may still report a value while they are torn down: nothing may reach the fields then.
SizeFieldsWidget::~SizeFieldsWidget() {
    for (QObject* o : std::initializer_list<QObject*>{pixels, width, height, widthPct, heightPct, ratio})
        o->disconnect(this);
}

void SizeFieldsWidget::Refresh() {
    refreshing_ = true;
    width->setRange(1, fields_.MaxPixelWidth());
    height->setRange(1, fields_.MaxPixelHeight());
    widthPct->setRange(fields_.MinWidthPercent(), fields_.MaxWidthPercent());
    heightPct->setRange(fields_.MinHeightPercent(), fields_.MaxHeightPercent());
    width->setValue(fields_.PixelWidth());
    height->setValue(fields_.PixelHeight());
    widthPct->setValue(fields_.WidthPercent());
    heightPct->setValue(fields_.HeightPercent());
    width->setEnabled(fields_.PixelFieldsEnabled());
    height->setEnabled(fields_.PixelFieldsEnabled());
    widthPct->setEnabled(fields_.PercentFieldsEnabled());
    heightPct->setEnabled(fields_.PercentFieldsEnabled());
    ratio->setChecked(fields_.PreserveRatio());
    refreshing_ = false;
}

namespace {
QDialogButtonBox* OkCancel(QDialog* d) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, d, &QDialog::reject);
    return buttons;
}
} // namespace

ResizeImageDialog::ResizeImageDialog(int w0, int h0, const CAppSettings& settings, QWidget* parent)
    : QDialog(parent), model(w0, h0, settings) {
    setWindowTitle(QStringLiteral("Resize Animation"));
    PlaceBesideDocumentOnShow(this);
    fields = new SizeFieldsWidget(model.Fields());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fields);
    layout->addWidget(OkCancel(this));
}

// The field widgets go before the models they edit.
ResizeImageDialog::~ResizeImageDialog() {
    delete fields;
}

ResizeCanvasDialog::ResizeCanvasDialog(int w0, int h0, const CAppSettings& settings, QWidget* parent)
    : QDialog(parent), model(w0, h0, settings) {
    setWindowTitle(QStringLiteral("Resize Canvas"));
    PlaceBesideDocumentOnShow(this);
    fields = new SizeFieldsWidget(model.Fields());
    byPosition = new QRadioButton(QStringLiteral("By position"));
    byOffset = new QRadioButton(QStringLiteral("By offset"));
    auto* cellGrid = new QGridLayout;
    for (int i = 0; i < 9; ++i) {
        cells[i] = new QPushButton;
        cells[i]->setCheckable(true);
        cells[i]->setFixedSize(28, 28);
        cellGrid->addWidget(cells[i], i / 3, i % 3);
        connect(cells[i], &QPushButton::clicked, this, [this, i] {
            model.SetAnchorCell(i);
            Refresh();
        });
    }
    horz = new QSpinBox;
    vert = new QSpinBox;
    for (QSpinBox* b : {horz, vert})
        b->setRange(-CResizeCanvasModel::kOffsetLimit, CResizeCanvasModel::kOffsetLimit);
    connect(horz, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) { model.SetHorzOffset(v); });
    connect(vert, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) { model.SetVertOffset(v); });
    connect(byOffset, &QRadioButton::toggled, this, [this](bool on) {
        model.SetByOffset(on);
        Refresh();
    });
    auto* offsets = new QGridLayout;
    offsets->addWidget(new QLabel(QStringLiteral("Horizon:")), 0, 0);
    offsets->addWidget(horz, 0, 1);
    offsets->addWidget(new QLabel(QStringLiteral("Vertical:")), 1, 0);
    offsets->addWidget(vert, 1, 1);
    auto* anchor = new QGroupBox(QStringLiteral("Anchor"));
    auto* anchorLayout = new QGridLayout(anchor);
    anchorLayout->addWidget(byPosition, 0, 0);
    anchorLayout->addLayout(cellGrid, 1, 0);
    anchorLayout->addWidget(byOffset, 0, 1);
    anchorLayout->addLayout(offsets, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fields);
    layout->addWidget(anchor);
    layout->addWidget(OkCancel(this));
    (model.ByOffset() ? byOffset : byPosition)->setChecked(true);
    horz->setValue(model.HorzOffset());
    vert->setValue(model.VertOffset());
    Refresh();
}

ResizeCanvasDialog::~ResizeCanvasDialog() {
    for (QObject* o : std::initializer_list<QObject*>{horz, vert, byOffset})
        o->disconnect(this);
    delete fields;
}

void ResizeCanvasDialog::Refresh() {
    for (int i = 0; i < 9; ++i) {
        cells[i]->setChecked(i == model.AnchorCell());
        cells[i]->setEnabled(!model.ByOffset());
    }
    horz->setEnabled(model.ByOffset());
    vert->setEnabled(model.ByOffset());
}

} // namespace zepho
