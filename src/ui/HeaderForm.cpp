#include "ui/HeaderForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/FontColorDialog.h"

namespace invarro::ui {

namespace {

constexpr const char* kSection = "HeaderForm";

// The captions of the caption and heading fields.
const char* CaptionOf(std::string_view name) {
    if (name == "InvCapData") return "Invoice Caption:";
    if (name == "StmntCapData") return "Statement Caption:";
    if (name == "PackSHeadData") return "Packing Slip Caption:";
    if (name == "FCHeadData") return "File Copy Caption:";
    if (name == "QuoteEB") return "Quote Caption:";
    if (name == "EBShipCap") return "Ship-To Caption:";
    if (name == "PrCdhead") return "Product Code:";
    if (name == "QuanHead") return "Quantity:";
    if (name == "DescHead") return "Description:";
    if (name == "Edit8") return "Unit Price:";
    if (name == "ExtHead") return "Extension:";
    if (name == "MemoHeadr") return "Memo Heading:";
    return "Statement Note:";
}

}  // namespace

THeaderForm::THeaderForm(data::CompanyRecord& record, const WindowServices& services,
                         QWidget* parent)
    : QDialog(parent), record_(record), services_(services) {
    setObjectName(QStringLiteral("THeaderForm"));
    setWindowTitle(QStringLiteral("Headers, Fonts and Colors"));
    setModal(true);

    for (int i = 0; i < app::kFormFontCount; ++i)
        fonts_[size_t(i)] = app::ReadFormFont(record_, i);
    colours_ = app::ReadHeaderColours(services_.folder);

    // Fonts and colours.
    auto* fontBox = new QGroupBox(QStringLiteral("Fonts / Colors"), this);
    auto* fontGrid = new QGridLayout(fontBox);
    for (int i = 0; i < app::kFormFontCount; ++i) {
        auto* button = new QPushButton(QString::fromUtf8(app::FormFontCaption(i).data(),
                                                         qsizetype(app::FormFontCaption(i).size())),
                                       fontBox);
        button->setObjectName(QStringLiteral("FontBtn%1").arg(i + 1));
        button->setAutoDefault(false);
        auto* sample = new QLabel(QStringLiteral("AaBbYyZz"), fontBox);
        sample->setObjectName(QStringLiteral("FontSample%1").arg(i + 1));
        sample->setMinimumWidth(150);
        samples_[size_t(i)] = sample;
        fontGrid->addWidget(button, i, 0);
        fontGrid->addWidget(sample, i, 1);
        connect(button, &QPushButton::clicked, this, [this, i] { chooseFont(i); });
        showSample(i);
    }
    auto colourRow = [&](const char* caption, const char* name, const char* sampleName, bool box,
                         int row) {
        auto* button = new QPushButton(QString::fromLatin1(caption), fontBox);
        button->setObjectName(QString::fromLatin1(name));
        button->setAutoDefault(false);
        auto* sample = new QLabel(fontBox);
        sample->setObjectName(QString::fromLatin1(sampleName));
        sample->setMinimumHeight(22);
        sample->setAutoFillBackground(true);
        sample->setFrameShape(QFrame::Box);
        fontGrid->addWidget(button, row, 0);
        fontGrid->addWidget(sample, row, 1);
        connect(button, &QPushButton::clicked, this, [this, box] { chooseColour(box); });
        return sample;
    };
    shadeSample_ = colourRow("Shading / Line Color", "ShadeClrBtn", "ShadeSample", false, 6);
    boxSample_ = colourRow("Invoice/Stmnt Box Color", "BoxClrBtn", "BoxSample", true, 7);
    showColour(false);
    showColour(true);

    // Captions and headings.
    const app::ControlValues values = app::LoadControls(app::HeaderControls(), record_);
    auto* captionBox = new QGroupBox(QStringLiteral("Captions"), this);
    auto* captions = new QFormLayout(captionBox);
    auto* headingBox = new QGroupBox(QStringLiteral("Column Headings"), this);
    auto* headings = new QFormLayout(headingBox);
    auto* noteBox = new QGroupBox(QStringLiteral("Notes"), this);
    auto* notes = new QFormLayout(noteBox);
    int n = 0;
    for (const app::SetupControl& c : app::HeaderControls()) {
        const QString name = QString::fromUtf8(c.name.data(), qsizetype(c.name.size()));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setMaxLength(c.limit());
        edit->setText(QString::fromStdString(values.textOf(c.name)));
        QFormLayout* target = n < 6 ? captions : n < 11 ? headings : notes;
        target->addRow(QString::fromLatin1(CaptionOf(c.name)), edit);
        if (c.limit() >= 80) edit->setMinimumWidth(420);
        ++n;
    }

    DialogButtons buttons = MakeDialogButtons(
        this, QStringLiteral("OK"),
        services_.help
            ? std::function<void()>([this] { services_.help(std::string(app::kHeaderHelpTopic)); })
            : nullptr);
    connect(buttons.box, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(fontBox);
    auto* right = new QVBoxLayout;
    right->addWidget(captionBox);
    right->addWidget(headingBox);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(noteBox);
    layout->addWidget(buttons.box);
    RestoreBounds(this, services_.folder, kSection, 760, 560);
}

void THeaderForm::showSample(int index) {
    const data::FontSetting& f = fonts_[size_t(index)];
    QLabel* sample = samples_[size_t(index)];
    sample->setFont(QFontOf(f));
    QPalette pal = sample->palette();
    pal.setColor(QPalette::WindowText, QColorOf(f.colour));
    sample->setPalette(pal);
    sample->setText(QStringLiteral("%1 %2").arg(QString::fromStdString(f.name)).arg(f.size));
}

void THeaderForm::showColour(bool box) {
    QLabel* sample = box ? boxSample_ : shadeSample_;
    QPalette pal = sample->palette();
    pal.setColor(QPalette::Window, QColorOf(box ? colours_.box : colours_.shading));
    sample->setPalette(pal);
}

void THeaderForm::chooseFont(int index) {
    const data::FontSetting& f = fonts_[size_t(index)];
    QFont font = QFontOf(f);
    QColor colour = QColorOf(f.colour);
    const QString title = QString::fromUtf8(app::FormFontCaption(index).data(),
                                            qsizetype(app::FormFontCaption(index).size()));
    if (TFontColorDialog::GetFontAndColor(font, colour, this, title))
        setFormFont(index, FontSettingOf(font, colour));
}

void THeaderForm::chooseColour(bool box) {
    QFont font = QFontOf(fonts_[0]);
    QColor colour = QColorOf(box ? colours_.box : colours_.shading);
    const QString title =
        box ? QStringLiteral("Invoice/Stmnt Box Color") : QStringLiteral("Shading / Line Color");
    // The font dialog serves here too; only its colour is kept.
    if (TFontColorDialog::GetFontAndColor(font, colour, this, title))
        setColour(box, FontSettingOf(font, colour).colour);
}

void THeaderForm::setFormFont(int index, const data::FontSetting& font) {
    fonts_[size_t(index)] = font;
    showSample(index);
}

void THeaderForm::setColour(bool box, int32_t colour) {
    (box ? colours_.box : colours_.shading) = colour & 0xFFFFFF;
    showColour(box);
}

void THeaderForm::accept() {
    app::ControlValues values;
    for (const app::SetupControl& c : app::HeaderControls()) {
        auto* edit =
            findChild<QLineEdit*>(QString::fromUtf8(c.name.data(), qsizetype(c.name.size())));
        values.text[std::string(c.name)] = edit->text().toStdString();
    }
    app::StoreControls(app::HeaderControls(), values, record_);
    for (int i = 0; i < app::kFormFontCount; ++i)
        app::WriteFormFont(record_, i, fonts_[size_t(i)]);
    std::string error;
    if (!app::WriteHeaderColours(services_.folder, colours_, &error))
        services_.prompter->inform(windowTitle().toStdString(),
                                   "The colours could not be saved. " + error,
                                   platform::Icon::Error);
    QDialog::accept();
}

void THeaderForm::done(int result) {
    SaveBounds(this, services_.folder, kSection);
    QDialog::done(result);
}

}  // namespace invarro::ui
