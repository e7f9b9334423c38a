#include "ui/FontColorDialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace invarro::ui {

TFontColorDialog::TFontColorDialog(const QString& title, const QFont& font, const QColor& color,
                                   QWidget* parent, bool fixedPitchOnly)
    : QDialog(parent), color_(color) {
    setObjectName(QStringLiteral("TFontColorDialog"));
    setWindowTitle(title);
    setModal(true);

    // The font dialog lives inside this one as a plain widget without its own buttons.
    fonts_ = new QFontDialog(this);
    fonts_->setObjectName(QStringLiteral("FontDialog"));
    QFontDialog::FontDialogOptions options =
        QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog;
    if (fixedPitchOnly) options |= QFontDialog::MonospacedFonts;
    fonts_->setOptions(options);
    fonts_->setWindowFlags(Qt::Widget);
    showFont(font);

    colorButton_ = new QPushButton(QStringLiteral("&Color..."), this);
    colorButton_->setObjectName(QStringLiteral("ColorBtn"));
    sample_ = new QLabel(QStringLiteral("AaBbYyZz"), this);
    sample_->setObjectName(QStringLiteral("ColorSample"));
    sample_->setMinimumWidth(160);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(colorButton_, &QPushButton::clicked, this, &TFontColorDialog::chooseColor);
    connect(fonts_, &QFontDialog::currentFontChanged, this, &TFontColorDialog::updateSample);

    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(colorButton_);
    colorRow->addWidget(sample_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fonts_);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
    updateSample();
}

namespace {

bool SameChoice(const QFont& a, const QFont& b) {
    return a.family() == b.family() && a.pointSize() == b.pointSize() && a.bold() == b.bold() &&
           a.italic() == b.italic() && a.underline() == b.underline() &&
           a.strikeOut() == b.strikeOut();
}

}  // namespace

void TFontColorDialog::showFont(const QFont& font) {
    given_ = font;
    // A standard face such as "Courier New" is found through its metric twin, which is
    // what the list shows; a name the list lacks would otherwise select some other face.
    QFont shown = font;
    if (!QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive))
        shown.setFamily(QFontInfo(font).family());
    fonts_->setCurrentFont(shown);
    shown_ = fonts_->currentFont();
}

QFont TFontColorDialog::selectedFont() const {
    const QFont current = fonts_->currentFont();
    return SameChoice(current, shown_) ? given_ : current;
}

void TFontColorDialog::setSelectedFont(const QFont& font) {
    showFont(font);
    updateSample();
}

void TFontColorDialog::setSelectedColor(const QColor& color) {
    color_ = color;
    updateSample();
}

void TFontColorDialog::chooseColor() {
    const QColor chosen = QColorDialog::getColor(color_, this, QStringLiteral("Color"));
    if (chosen.isValid()) setSelectedColor(chosen);
}

void TFontColorDialog::updateSample() {
    QFont f = fonts_->currentFont();
    sample_->setFont(f);
    QPalette p = sample_->palette();
    p.setColor(QPalette::WindowText, color_);
    sample_->setPalette(p);
}

bool TFontColorDialog::GetFontAndColor(QFont& font, QColor& color, QWidget* parent,
                                       const QString& title, bool fixedPitchOnly) {
    TFontColorDialog dialog(title, font, color, parent, fixedPitchOnly);
    if (dialog.exec() != QDialog::Accepted) return false;
    font = dialog.selectedFont();
    color = dialog.selectedColor();
    return true;
}

}  // namespace invarro::ui
