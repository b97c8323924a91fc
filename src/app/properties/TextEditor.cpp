#include "app/properties/TextEditor.h"

#include "app/panels/ColorButton.h"
#include "app/properties/PropertyBoundBox.h"
#include "app/properties/PropertyIcons.h"
#include "app/properties/PropertyStrings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPen>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace zepho {

namespace {

// Wide enough for the longest value of its range (and a spare digit), with its arrows and frame.
void FitToRange(BoundBox* box) {
    const QFontMetrics fm(box->font());
    const int text = std::max({fm.horizontalAdvance(QString::number(static_cast<long long>(box->Lo()))),
                               fm.horizontalAdvance(QString::number(static_cast<long long>(box->Hi()))),
                               fm.horizontalAdvance(QStringLiteral("-000"))}) +
                     fm.horizontalAdvance(QLatin1Char('0'));
    QStyleOptionSpinBox opt;
    opt.initFrom(box);
    opt.buttonSymbols = box->buttonSymbols();
    opt.frame = box->hasFrame();
    opt.subControls =
        QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField | QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    // The line edit's own margins and cursor, as a spin box adds them to its hint.
    const QSize content(text + 4, fm.height());
    const QSize full = box->style()->sizeFromContents(QStyle::CT_SpinBox, &opt, content, box);
    box->setMinimumWidth(full.width());
}
// What a run keeps beyond the font, stored with each character's format.
constexpr int kOutlinedProp = QTextFormat::UserProperty + 1;
constexpr int kBaselineProp = QTextFormat::UserProperty + 2;
constexpr int kSpacingProp = QTextFormat::UserProperty + 3;
constexpr int kCharSetProp = QTextFormat::UserProperty + 4;
constexpr double kTwipsPerPoint = 20;
constexpr int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 48, 60, 72, 96, 120};

QString Tr(const char* s) {
    return QString::fromUtf8(s);
}

std::u16string ToU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size()));
}

QTextCharFormat FormatOf(const CTextRun& r) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{QString::fromStdString(r.face)});
    f.setFontPointSize(r.size / kTwipsPerPoint);
    f.setFontWeight(r.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(r.italic != 0);
    f.setProperty(kOutlinedProp, r.outlined != 0);
    if (r.outlined) f.setTextOutline(QPen(Qt::black, 1));
    f.setProperty(kBaselineProp, r.baselineOffset);
    f.setProperty(kSpacingProp, r.spacing);
    f.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    f.setFontLetterSpacing(r.spacing);
    f.setProperty(kCharSetProp, r.charSet);
    return f;
}

CTextRun RunOf(const QTextCharFormat& f, const QFont& fallback, const QString& text) {
    CTextRun r;
    const QStringList families = f.fontFamilies().toStringList();
    r.face = (families.isEmpty() ? fallback.family() : families.front()).toStdString();
    const double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : fallback.pointSizeF();
    r.size = std::max(1, static_cast<int>(std::lround(pt * kTwipsPerPoint)));
    r.bold = (f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() : fallback.weight()) >= QFont::DemiBold;
    r.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : fallback.italic();
    r.outlined = f.boolProperty(kOutlinedProp);
    r.baselineOffset = f.intProperty(kBaselineProp);
    r.spacing = f.intProperty(kSpacingProp);
    r.charSet = f.hasProperty(kCharSetProp) ? f.intProperty(kCharSetProp) : 1;
    r.SetText(ToU16(text));
    return r;
}

Qt::Alignment QtAlignment(int alignment) {
    return alignment == CTextObj::kAlignRight    ? Qt::AlignRight
           : alignment == CTextObj::kAlignCenter ? Qt::AlignHCenter
                                                 : Qt::AlignLeft;
}
} // namespace

std::vector<CTextRun> RunsFromDocument(const QTextDocument& doc) {
    std::vector<CTextRun> runs;
    const QFont fallback = doc.defaultFont();
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const std::size_t first = runs.size();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            // A line break inside a paragraph ends a line as well.
            const QStringList pieces = frag.text().split(QChar::LineSeparator);
            for (qsizetype i = 0; i < pieces.size(); ++i) {
                runs.push_back(RunOf(frag.charFormat(), fallback, pieces[i]));
                if (i + 1 < pieces.size()) runs.back().lineEnd = 1;
            }
        }
        if (runs.size() == first) runs.push_back(RunOf(block.charFormat(), fallback, {}));
        if (block.next().isValid()) runs.back().lineEnd = 1;
    }
    return runs;
}

void DocumentFromRuns(QTextDocument& doc, const std::vector<CTextRun>& runs, int alignment) {
    doc.clear();
    QTextCursor c(&doc);
    QTextBlockFormat block;
    block.setAlignment(QtAlignment(alignment));
    c.setBlockFormat(block);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const CTextRun& r = runs[i];
        const QTextCharFormat f = FormatOf(r);
        if (c.atBlockStart() && c.block().length() == 1) c.setBlockCharFormat(f);
        c.setCharFormat(f);
        if (!r.text.empty())
            c.insertText(QString::fromUtf16(r.text.data(), static_cast<qsizetype>(r.text.size())), f);
        if (r.lineEnd && i + 1 < runs.size()) c.insertBlock(block, f);
    }
}

TextEditorDialog::TextEditorDialog(const CTextEditValues& values, IUiHost& ui, QWidget* parent)
    : QDialog(parent), ui_(ui), alignment_(values.alignment), mode_(values.paint.mode),
      paintReserved_(values.paint.reserved) {
    setWindowTitle(Tr(props::kTextTitle));
    tabs = new QTabWidget;
    tabs->addTab(BuildTextPage(), Tr(props::kTextPage));
    tabs->addTab(BuildAppearancePage(), Tr(props::kAppearancePage));
    tabs->addTab(BuildOutlinePage(), Tr(props::kOutlinePage));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    // What is typed first takes the format of the first run, or the default face.
    CTextRun start;
    start.face = props::kDefaultFace;
    if (!values.runs.empty()) start = values.runs.front();
    edit->document()->setDefaultFont(QFont(QString::fromStdString(start.face), start.size / kTwipsPerPoint));
    DocumentFromRuns(*edit->document(), values.runs, alignment_);
    if (values.runs.empty()) edit->setCurrentCharFormat(FormatOf(start));
    edit->moveCursor(QTextCursor::End);
    ShowFormat(edit->currentCharFormat());
    SetAlignment(alignment_);

    line->SetValue(values.lineSpacing);
    colour1->SetColour(values.paint.color1);
    colour2->SetColour(values.paint.color2);
    RefreshStyles();
    outline->setChecked(values.outline != 0);
    outlineColour->SetColour(values.outlineColor);
    thickness->SetValue(values.outlineThickness);
    smooth->SetValue(values.outlineSmooth);
    outlineTransparency->SetValue(values.outlineTransparency);
    edit->setFocus();
}

QWidget* TextEditorDialog::BuildTextPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* bar = new QHBoxLayout;
    face = new QFontComboBox;
    size = new QComboBox;
    size->setEditable(true);
    for (int s : kSizes)
        size->addItem(QString::number(s));
    auto toggle = [](const char* text) {
        auto* b = new QToolButton;
        b->setText(Tr(text));
        b->setCheckable(true);
        return b;
    };
    bold = toggle(props::kBold);
    italic = toggle(props::kItalic);
    outlined = toggle(props::kOutlined);
    QFont f = bold->font();
    f.setBold(true);
    bold->setFont(f);
    f = italic->font();
    f.setItalic(true);
    italic->setFont(f);
    bar->addWidget(face, 1);
    bar->addWidget(size);
    bar->addWidget(bold);
    bar->addWidget(italic);
    bar->addWidget(outlined);
    const char* alignNames[3] = {props::kAlignLeft, props::kAlignCenter, props::kAlignRight};
    const int alignValues[3] = {CTextObj::kAlignLeft, CTextObj::kAlignCenter, CTextObj::kAlignRight};
    auto* alignGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        align[i] = toggle(alignNames[i]);
        alignGroup->addButton(align[i]);
        bar->addWidget(align[i]);
        const int a = alignValues[i];
        connect(align[i], &QToolButton::clicked, this, [this, a] { SetAlignment(a); });
    }
    layout->addLayout(bar);

    edit = new QTextEdit;
    edit->setAcceptRichText(true);
    layout->addWidget(edit, 1);

    auto* numbers = new QHBoxLayout;
    line = new BoundBox(ui_, 0, CTextEditValues::kMaxLine);
    baseline = new BoundBox(ui_, CTextEditValues::kMinBaseline, CTextEditValues::kMaxBaseline);
    character = new BoundBox(ui_, 0, CTextEditValues::kMaxCharacter);
    for (auto [label, box] : {std::pair{props::kLine, line}, std::pair{props::kBaseline, baseline},
                              std::pair{props::kCharacter, character}}) {
        box->SetArrows(true);
        FitToRange(box);
        numbers->addWidget(new QLabel(Tr(label)));
        numbers->addWidget(box);
    }
    numbers->addStretch();
    layout->addLayout(numbers);

    connect(edit, &QTextEdit::currentCharFormatChanged, this, &TextEditorDialog::ShowFormat);
    connect(face, &QFontComboBox::currentFontChanged, this, [this](const QFont& font) {
        QTextCharFormat fmt;
        fmt.setFontFamilies(QStringList{font.family()});
        Merge(fmt);
    });
    connect(size, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        bool ok = false;
        const double pt = text.toDouble(&ok);
        if (!ok || pt <= 0 || pt > 1000) return;
        QTextCharFormat fmt;
        fmt.setFontPointSize(pt);
        Merge(fmt);
    });
    connect(bold, &QToolButton::toggled, this, [this](bool on) {
        QTextCharFormat fmt;
        fmt.setFontWeight(on ? QFont::Bold : QFont::Normal);
        Merge(fmt);
    });
    connect(italic, &QToolButton::toggled, this, [this](bool on) {
        QTextCharFormat fmt;
        fmt.setFontItalic(on);
        Merge(fmt);
    });
    connect(outlined, &QToolButton::toggled, this, [this](bool on) {
        QTextCharFormat fmt;
        fmt.setProperty(kOutlinedProp, on);
        fmt.setTextOutline(on ? QPen(Qt::black, 1) : QPen(Qt::NoPen));
        Merge(fmt);
    });
    connect(baseline, &BoundBox::ValueAccepted, this, [this](double v) {
        QTextCharFormat fmt;
        fmt.setProperty(kBaselineProp, static_cast<int>(v));
        Merge(fmt);
    });
    connect(character, &BoundBox::ValueAccepted, this, [this](double v) {
        QTextCharFormat fmt;
        fmt.setProperty(kSpacingProp, static_cast<int>(v));
        fmt.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        fmt.setFontLetterSpacing(v);
        Merge(fmt);
    });
    return page;
}

QWidget* TextEditorDialog::BuildAppearancePage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    colour1 = new ColorButton(0);
    colour2 = new ColorButton(0);
    grid->addWidget(new QLabel(Tr(props::kColour1)), 0, 0);
    grid->addWidget(colour1, 0, 1);
    grid->addWidget(new QLabel(Tr(props::kColour2)), 1, 0);
    grid->addWidget(colour2, 1, 1);
    auto* group = new QButtonGroup(this);
    auto* row = new QHBoxLayout;
    for (int i = 0; i < 6; ++i) {
        styles[i] = new QToolButton;
        styles[i]->setCheckable(true);
        styles[i]->setIconSize(QSize(36, 24));
        group->addButton(styles[i], i);
        row->addWidget(styles[i]);
        connect(styles[i], &QToolButton::clicked, this, [this, i] {
            mode_ = i;
            RefreshStyles();
        });
    }
    row->addStretch();
    grid->addLayout(row, 2, 0, 1, 3);
    grid->setRowStretch(3, 1);
    connect(colour1, &ColorButton::ColourChanged, this, [this] { RefreshStyles(); });
    connect(colour2, &ColorButton::ColourChanged, this, [this] { RefreshStyles(); });
    return page;
}

QWidget* TextEditorDialog::BuildOutlinePage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    outline = new QCheckBox(Tr(props::kSoftOutline));
    outlineColour = new ColorButton(0);
    thickness = new BoundBox(ui_, 0, CTextEditValues::kMaxThickness);
    smooth = new BoundBox(ui_, 0, CTextEditValues::kMaxSmooth);
    outlineTransparency = new BoundBox(ui_, 0, CTextEditValues::kMaxTransparency);
    grid->addWidget(outline, 0, 0, 1, 2);
    grid->addWidget(outlineColour, 0, 2);
    int row = 1;
    for (auto [label, box] : {std::pair{props::kThickness, thickness}, std::pair{props::kSmooth, smooth},
                              std::pair{props::kTransparency, outlineTransparency}}) {
        box->SetArrows(true);
        grid->addWidget(new QLabel(Tr(label)), row, 0);
        grid->addWidget(box, row++, 1);
    }
    grid->setRowStretch(row, 1);
    return page;
}

void TextEditorDialog::Merge(const QTextCharFormat& format) {
    if (showing_) return;
    QTextCursor c = edit->textCursor();
    if (c.hasSelection()) c.mergeCharFormat(format);
    edit->mergeCurrentCharFormat(format);
}

void TextEditorDialog::ShowFormat(const QTextCharFormat& f) {
    showing_ = true;
    const CTextRun r = RunOf(f, edit->document()->defaultFont(), {});
    face->setCurrentFont(QFont(QString::fromStdString(r.face)));
    size->setCurrentText(QString::number(r.size / kTwipsPerPoint));
    bold->setChecked(r.bold != 0);
    italic->setChecked(r.italic != 0);
    outlined->setChecked(r.outlined != 0);
    baseline->SetValue(r.baselineOffset);
    character->SetValue(r.spacing);
    showing_ = false;
}

void TextEditorDialog::SetAlignment(int alignment) {
    alignment_ = alignment;
    align[0]->setChecked(alignment == CTextObj::kAlignLeft);
    align[1]->setChecked(alignment == CTextObj::kAlignCenter);
    align[2]->setChecked(alignment == CTextObj::kAlignRight);
    // The object has one alignment: every paragraph shows it.
    QTextCursor c(edit->document());
    c.select(QTextCursor::Document);
    QTextBlockFormat b;
    b.setAlignment(QtAlignment(alignment));
    c.mergeBlockFormat(b);
}

void TextEditorDialog::RefreshStyles() {
    for (int i = 0; i < 6; ++i) {
        styles[i]->setIcon(FillStyleIcon(i, colour1->Colour(), colour2->Colour(), true));
        styles[i]->setChecked(i == mode_);
    }
}

CTextEditValues TextEditorDialog::Values() const {
    CTextEditValues v;
    v.runs = RunsFromDocument(*edit->document());
    v.lineSpacing = static_cast<int>(line->Value());
    v.alignment = alignment_;
    v.paint.color1 = colour1->Colour();
    v.paint.color2 = colour2->Colour();
    v.paint.mode = static_cast<WORD>(mode_);
    v.paint.reserved = paintReserved_;
    v.outline = outline->isChecked() ? 1 : 0;
    v.outlineColor = outlineColour->Colour();
    v.outlineThickness = static_cast<int>(thickness->Value());
    v.outlineSmooth = static_cast<int>(smooth->Value());
    v.outlineTransparency = static_cast<int>(outlineTransparency->Value());
    v.Normalise();
    return v;
}

void TextEditorDialog::accept() {
    for (BoundBox* b : findChildren<BoundBox*>())
        if (!b->CheckNow()) return;
    if (confirm && !confirm(Values())) {
        tabs->setCurrentIndex(0);
        edit->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace zepho
