#include "ui/ProdEdit.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

constexpr const char* kBoundsSection = "PUForm";
constexpr int kDesignedWidth = 460;
constexpr int kDesignedHeight = 330;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

}  // namespace

TUpdProd::TUpdProd(platform::Prompter& prompter, std::string dataFolder, QWidget* parent)
    : QDialog(parent), prompter_(prompter), dataFolder_(std::move(dataFolder)) {
    using namespace products::width;
    setObjectName("TUpdProd");
    setModal(true);
    setWindowTitle("Add Product");

    auto edit = [this](const char* name, int maxLength) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(maxLength);
        return e;
    };
    pNum_ = edit("PNum", kCode);
    pNum_->setMaximumWidth(130);
    pDesc_ = edit("PDesc", kDescription);
    pSell_ = edit("PSell", kPrice);
    pSell_->setMaximumWidth(130);
    pSell_->setAlignment(Qt::AlignRight);
    taxable_ = new QCheckBox("&Taxable", this);
    taxable_->setObjectName("CheckBox1");
    pUnit_ = edit("PUnit", 3);
    pUnit_->setMaximumWidth(60);
    pUnit_->setToolTip(
        "The unit of the e-invoice (UN/ECE Rec. 20): C62 one piece, HUR hour, "
        "DAY, KGM, MTR, LTR, SET, ...; empty: HUR for hourly rates, else C62");
    pNote_ = new QPlainTextEdit(this);
    pNote_->setObjectName("PNote");
    pNote_->setTabChangesFocus(true);
    pNote_->setMinimumHeight(60);

    const EditorButtons buttons = MakeEditorButtons(this, {"OkBtn", "Button1", "Button2"}, "&Help");
    helpButton_ = buttons.help;

    auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(label("Product Code:", pNum_), 0, 0);
    grid->addWidget(pNum_, 0, 1);
    grid->addWidget(label("Product Description:", pDesc_), 1, 0);
    grid->addWidget(pDesc_, 1, 1, 1, 2);
    grid->addWidget(label("Sales Price:", pSell_), 2, 0);
    grid->addWidget(pSell_, 2, 1);
    grid->addWidget(taxable_, 2, 2);
    grid->addWidget(label("&Unit Code:", pUnit_), 3, 0);
    grid->addWidget(pUnit_, 3, 1);
    grid->setColumnStretch(2, 1);

    auto* status = new QStatusBar(this);
    status->setObjectName("StatusBar1");
    status->setSizeGripEnabled(false);
    setupPanel_ = new QLabel(this);
    setupPanel_->setObjectName("SetupPanel");
    changedPanel_ = new QLabel(this);
    changedPanel_->setObjectName("ChangedPanel");
    status->addWidget(setupPanel_, 1);
    status->addWidget(changedPanel_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addLayout(grid);
    layout->addWidget(label("Notes/Comments:", pNote_));
    layout->addWidget(pNote_, 1);
    layout->addLayout(buttons.row);
    layout->addWidget(status);

    connect(helpButton_, &QPushButton::clicked, this, &TUpdProd::help);
    // The notes hold at most 150 characters.
    connect(pNote_, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = pNote_->toPlainText();
        if (text.size() > products::width::kNotes) {
            pNote_->setPlainText(text.left(products::width::kNotes));
            pNote_->moveCursor(QTextCursor::End);
        }
    });

    RestoreBounds(this, dataFolder_, kBoundsSection, kDesignedWidth, kDesignedHeight);
    pNum_->setFocus();
}

TUpdProd::~TUpdProd() = default;

void TUpdProd::setEntry(const products::ProductEntry& e, bool adding) {
    shown_ = e;
    setWindowTitle(adding ? "Add Product" : "Edit Product");
    pNum_->setText(Q(e.code));
    pDesc_->setText(Q(e.description));
    pSell_->setText(Q(e.price));
    taxable_->setChecked(e.taxable);
    pNote_->setPlainText(Q(e.notes));
    setupPanel_->setText(Q("Setup Date: " + e.setupDate));
    changedPanel_->setText(Q("Last Changed:" + e.changedDate));
    pNum_->setFocus();
}

products::ProductEntry TUpdProd::entry() const {
    products::ProductEntry e = shown_;
    e.code = S(pNum_->text());
    e.description = S(pDesc_->text());
    e.price = S(pSell_->text());
    e.taxable = taxable_->isChecked();
    // The notes are one text field: line breaks become blanks.
    QString notes = pNote_->toPlainText();
    notes.replace(QLatin1Char('\n'), QLatin1Char(' '));
    e.notes = S(notes);
    return e;
}

QString TUpdProd::setupDateText() const {
    return setupPanel_->text();
}

QString TUpdProd::changedDateText() const {
    return changedPanel_->text();
}

QWidget* TUpdProd::fieldFor(products::EntryField field) const {
    switch (field) {
        case products::EntryField::Code:
            return pNum_;
        case products::EntryField::Description:
            return pDesc_;
        case products::EntryField::Price:
            return pSell_;
    }
    return pNum_;
}

void TUpdProd::setUnitCode(const std::string& code) {
    pUnit_->setText(Q(code));
}

std::string TUpdProd::unitCode() const {
    return data::UpperText(S(pUnit_->text().trimmed()));
}

void TUpdProd::accept() {
    if (const std::string unit = unitCode(); !unit.empty() && !data::IsUnitCode(unit)) {
        prompter_.inform(windowTitle().toStdString(),
                         "\"" + unit +
                             "\" is not a unit code (UN/ECE Recommendation 20) this program "
                             "knows: C62 one piece, HUR hour, DAY day, KGM kilogram, MTR metre, "
                             "LTR litre, SET set, LS lump sum, ...",
                         platform::Icon::Warning);
        pUnit_->setFocus();
        return;
    }
    products::ProductEntry e = entry();
    // A price that did not read as a number was replaced on the way.
    auto shown = [&] { pSell_->setText(Q(e.price)); };
    auto field = [this](products::EntryField f) { return fieldFor(f); };
    if (CheckAndSave(this, prompter_, e, check_, shown, field, save_)) QDialog::accept();
}

void TUpdProd::setHelp(std::function<void(const std::string&)> openHelp) {
    openHelp_ = std::move(openHelp);
    helpButton_->setEnabled(bool(openHelp_));
}

void TUpdProd::help() {
    if (openHelp_) openHelp_(std::string(products::kEditorHelpTopic));
}

void TUpdProd::done(int result) {
    SaveBounds(this, dataFolder_, kBoundsSection);
    QDialog::done(result);
}

}  // namespace invarro::ui
