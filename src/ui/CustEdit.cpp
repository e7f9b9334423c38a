#include "ui/CustEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/SideFiles.h"
#include "invoicing/TermSet.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

constexpr const char* kBoundsSection = "CEForm";
constexpr int kDesignedWidth = 568;
constexpr int kDesignedHeight = 468;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

}  // namespace

TCustEdit::TCustEdit(platform::Prompter& prompter, std::string dataFolder, QWidget* parent)
    : QDialog(parent), prompter_(prompter), dataFolder_(std::move(dataFolder)) {
    using namespace customers::width;
    setObjectName("TCustEdit");
    setModal(true);
    setWindowTitle("Add Customer");

    cNo_ = edit("CNo", kNumber);
    cName_ = edit("CName", kName);
    shortName_ = edit("ShortName", kShortName);
    cBal_ = new QLabel("0.00", this);
    cBal_->setObjectName("CBal");
    cBal_->setFrameShape(QFrame::Panel);
    cBal_->setFrameShadow(QFrame::Sunken);
    cBal_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cBal_->setMinimumWidth(90);
    custType_ = edit("CustType", kType);
    cte_ = edit("CTE", kTaxExempt);
    cte_->setMaximumWidth(28);
    cLimit_ = edit("CLimit", kCreditLimit);
    cTerms_ = new QComboBox(this);
    cTerms_->setObjectName("CTerms");
    cTerms_->setEditable(true);
    cTerms_->setInsertPolicy(QComboBox::NoInsert);
    cTerms_->lineEdit()->setMaxLength(kTerms);
    for (int i = 0; i < 4; ++i) {
        bill_[i] = edit(("CAdd" + std::to_string(i + 1) + "Edit").c_str(), kAddress);
        ship_[i] = edit(("CShip" + std::to_string(i + 1)).c_str(), kAddress);
    }
    phone1_ = edit("CPhone1", kPhone);
    phone2_ = edit("CPhone2", kPhone);
    autoCopy_ = new QCheckBox("&Auto-Copy to Shipping", this);
    autoCopy_->setObjectName("AutoCopy");
    auto* copyButton = new QPushButton("Copy Billing &to Shipping", this);
    copyButton->setObjectName("CopyBillBtn");
    copyButton->setAutoDefault(false);
    auto* clearButton = new QPushButton("Cl&ear Shipping", this);
    clearButton->setObjectName("ClearShipBtn");
    clearButton->setAutoDefault(false);
    mListCode_ = edit("MListCode", kMailSortCode);
    eMail_ = edit("EMadd", kEMail);
    crHold_ = new QCheckBox("Credit &Hold / Inactive Account", this);
    crHold_->setObjectName("CRHold");
    notesOnInv_ = new QCheckBox("Print notes / comments on invoices", this);
    notesOnInv_->setObjectName("NotesOnInv");
    notesOnStmnt_ = new QCheckBox("Print notes / comments on statements", this);
    notesOnStmnt_->setObjectName("NotesOnStmnt");
    notes_ = new QPlainTextEdit(this);
    notes_->setObjectName("CstNote");
    notes_->setTabChangesFocus(true);
    notes_->setMinimumHeight(44);

    const EditorButtons buttons =
        MakeEditorButtons(this, {"OKBtn", "CancelBtn", "HelpBtn"}, "Help");
    helpButton_ = buttons.help;

    auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    // Identity and account.
    auto* top = new QGridLayout;
    top->setHorizontalSpacing(6);
    top->setVerticalSpacing(3);
    top->addWidget(label("Customer &Number:", cNo_), 0, 0);
    top->addWidget(cNo_, 0, 1);
    top->addWidget(label("Balance:", cBal_), 0, 2);
    top->addWidget(cBal_, 0, 3, 1, 3);
    top->addWidget(label("Customer Na&me:", cName_), 1, 0);
    top->addWidget(cName_, 1, 1);
    top->addWidget(label("&Short Name:", shortName_), 1, 2);
    top->addWidget(shortName_, 1, 3, 1, 3);
    top->addWidget(label("Customer T&ype:", custType_), 2, 0);
    top->addWidget(custType_, 2, 1);
    top->addWidget(label("Credit &Limit:", cLimit_), 2, 2);
    top->addWidget(cLimit_, 2, 3);
    top->addWidget(label("TE:", cte_), 2, 4);
    top->addWidget(cte_, 2, 5);
    top->addWidget(label("Te&rms:", cTerms_), 3, 0);
    top->addWidget(cTerms_, 3, 1);
    top->setColumnStretch(1, 3);
    top->setColumnStretch(3, 1);

    auto addressBox = [&](const char* title, QLineEdit* const* lines, const char* phoneLabel,
                          QLineEdit* phone) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        grid->setVerticalSpacing(2);
        grid->setContentsMargins(6, 4, 6, 4);
        for (int i = 0; i < 4; ++i)
            grid->addWidget(lines[i], i, 0, 1, 2);
        grid->addWidget(label(phoneLabel, phone), 4, 0);
        grid->addWidget(phone, 4, 1);
        return box;
    };
    auto* addresses = new QHBoxLayout;
    addresses->addWidget(addressBox("Billing Address", bill_, "Phone &1:", phone1_));
    addresses->addWidget(addressBox("Shipping Address", ship_, "Phone &2:", phone2_));

    auto* copyRow = new QHBoxLayout;
    copyRow->addWidget(autoCopy_);
    copyRow->addStretch(1);
    copyRow->addWidget(copyButton);
    copyRow->addWidget(clearButton);

    auto* mailRow = new QHBoxLayout;
    mailRow->addWidget(label("&Mail List Sort Code:", mListCode_));
    mailRow->addWidget(mListCode_, 1);
    mailRow->addWidget(label("E-Mail:", eMail_));
    mailRow->addWidget(eMail_, 2);

    // The customer's e-invoicing data (kept beside the customer record).
    auto* einvoiceBox = new QGroupBox("E-Invoicing", this);
    einvoiceBox->setObjectName("EInvoiceGroup");
    auto* eg = new QGridLayout(einvoiceBox);
    eg->setContentsMargins(6, 2, 6, 2);
    eg->setVerticalSpacing(2);
    eCountry_ = edit("ECountry", 2);
    eCountry_->setPlaceholderText("DE");
    eCountry_->setMaximumWidth(40);
    eVatId_ = edit("EVatId", 20);
    eBuyerRef_ = edit("EBuyerRef", 60);
    eBuyerRef_->setToolTip("The buyer's reference, e.g. the Leitweg-ID a public buyer asks for");
    eAddress_ = edit("EAddress", 80);
    eAddress_->setPlaceholderText("e-mail address or SCHEME:ID");
    eg->addWidget(label("Co&untry:", eCountry_), 0, 0);
    eg->addWidget(eCountry_, 0, 1);
    eg->addWidget(label("&VAT Number:", eVatId_), 0, 2);
    eg->addWidget(eVatId_, 0, 3);
    eg->addWidget(label("Buyer Re&ference:", eBuyerRef_), 1, 0);
    eg->addWidget(eBuyerRef_, 1, 1, 1, 3);
    eg->addWidget(label("Electronic Address:", eAddress_), 2, 0);
    eg->addWidget(eAddress_, 2, 1, 1, 3);
    eg->setColumnStretch(3, 1);

    auto* salesBox = new QGroupBox(" Replaces Sales Message. (see online help) ", this);
    salesBox->setObjectName("SalesMsgGroup");
    auto* salesLayout = new QVBoxLayout(salesBox);
    salesLayout->setContentsMargins(6, 2, 6, 2);
    salesLayout->setSpacing(0);
    salesLayout->addWidget(notesOnInv_);
    salesLayout->addWidget(notesOnStmnt_);
    auto* flagsRow = new QHBoxLayout;
    flagsRow->addWidget(crHold_);
    flagsRow->addStretch(1);
    flagsRow->addWidget(salesBox);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addLayout(addresses);
    layout->addLayout(copyRow);
    layout->addLayout(mailRow);
    layout->addLayout(flagsRow);
    layout->addWidget(einvoiceBox);
    layout->addWidget(label("Notes / Comments:", notes_));
    layout->addWidget(notes_, 1);
    layout->addLayout(buttons.row);

    connect(helpButton_, &QPushButton::clicked, this, &TCustEdit::help);
    connect(copyButton, &QPushButton::clicked, this, &TCustEdit::copyBillingToShipping);
    connect(clearButton, &QPushButton::clicked, this, &TCustEdit::clearShipping);
    connect(cName_, &QLineEdit::editingFinished, this, &TCustEdit::nameLeft);
    for (int i = 0; i < 4; ++i) {
        connect(bill_[i], &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (autoCopy_->isChecked()) ship_[i]->setText(text);
        });
    }
    // The notes hold at most 240 characters.
    connect(notes_, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = notes_->toPlainText();
        if (text.size() > customers::width::kNotes) {
            notes_->setPlainText(text.left(customers::width::kNotes));
            notes_->moveCursor(QTextCursor::End);
        }
    });

    // Tab goes through the identity fields in reading order, then down the billing
    // address and down the shipping address, then on through the rest as it reads.
    QWidget* order[] = {cNo_,          cName_,      shortName_, custType_,  cLimit_,   cte_,
                        cTerms_,       bill_[0],    bill_[1],   bill_[2],   bill_[3],  phone1_,
                        ship_[0],      ship_[1],    ship_[2],   ship_[3],   phone2_,   autoCopy_,
                        copyButton,    clearButton, mListCode_, eMail_,     crHold_,   notesOnInv_,
                        notesOnStmnt_, eCountry_,   eVatId_,    eBuyerRef_, eAddress_, notes_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    RestoreBounds(this, dataFolder_, kBoundsSection, kDesignedWidth, kDesignedHeight);
    loadTerms();
    cNo_->setFocus();
}

TCustEdit::~TCustEdit() = default;

QLineEdit* TCustEdit::edit(const char* name, int maxLength) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    return e;
}

void TCustEdit::loadTerms() {
    data::TermsList list = invoicing::LoadSortedTerms(dataFolder_);
    std::vector<std::string> terms = list.terms;
    if (!list.ok) {
        prompter_.inform("Payment Terms", "Unable to read the payment terms file: " + list.error,
                         platform::Icon::Error);
        terms = data::BuiltInTerms();
    }
    const QString typed = cTerms_->currentText();
    cTerms_->clear();
    for (const std::string& t : terms)
        cTerms_->addItem(Q(t));
    cTerms_->setEditText(typed);
}

void TCustEdit::setEntry(const customers::CustomerEntry& e, bool adding, bool autoCopy) {
    setWindowTitle(adding ? "Add Customer" : "Edit Customer");
    cNo_->setText(Q(e.number));
    cName_->setText(Q(e.name));
    shortName_->setText(Q(e.shortName));
    cBal_->setText(Q(e.balance));
    custType_->setText(Q(e.custType));
    cte_->setText(Q(e.taxExempt));
    cLimit_->setText(Q(e.creditLimit));
    cTerms_->setEditText(Q(e.terms));
    for (int i = 0; i < 4; ++i) {
        bill_[i]->setText(Q(e.bill[size_t(i)]));
        ship_[i]->setText(Q(e.ship[size_t(i)]));
    }
    phone1_->setText(Q(e.phone1));
    phone2_->setText(Q(e.phone2));
    mListCode_->setText(Q(e.mailSortCode));
    eMail_->setText(Q(e.eMail));
    notes_->setPlainText(Q(e.notes));
    crHold_->setChecked(e.creditHold);
    notesOnInv_->setChecked(e.notesOnInvoice);
    notesOnStmnt_->setChecked(e.notesOnStatement);
    autoCopy_->setChecked(autoCopy);
    cNo_->setFocus();
}

customers::CustomerEntry TCustEdit::entry() const {
    customers::CustomerEntry e;
    e.number = S(cNo_->text());
    e.name = S(cName_->text());
    e.shortName = S(shortName_->text());
    e.balance = S(cBal_->text());
    e.custType = S(custType_->text());
    e.taxExempt = S(cte_->text());
    e.creditLimit = S(cLimit_->text());
    e.terms = S(cTerms_->currentText());
    for (int i = 0; i < 4; ++i) {
        e.bill[size_t(i)] = S(bill_[i]->text());
        e.ship[size_t(i)] = S(ship_[i]->text());
    }
    e.phone1 = S(phone1_->text());
    e.phone2 = S(phone2_->text());
    e.mailSortCode = S(mListCode_->text());
    e.eMail = S(eMail_->text());
    // The notes are one text field: line breaks become blanks.
    QString notes = notes_->toPlainText();
    notes.replace(QLatin1Char('\n'), QLatin1Char(' '));
    e.notes = S(notes);
    e.creditHold = crHold_->isChecked();
    e.notesOnInvoice = notesOnInv_->isChecked();
    e.notesOnStatement = notesOnStmnt_->isChecked();
    return e;
}

void TCustEdit::copyBillingToShipping() {
    for (int i = 0; i < 4; ++i)
        ship_[i]->setText(bill_[i]->text());
}

void TCustEdit::clearShipping() {
    for (QLineEdit* e : ship_)
        e->clear();
}

void TCustEdit::nameLeft() {
    if (!shortName_->text().trimmed().isEmpty()) return;
    shortName_->setText(Q(customers::ShortNameFor(S(cName_->text()))));
}

QWidget* TCustEdit::fieldFor(customers::EntryField field) const {
    switch (field) {
        case customers::EntryField::Number:
            return cNo_;
        case customers::EntryField::Name:
            return cName_;
        case customers::EntryField::EMail:
            return eMail_;
        case customers::EntryField::CreditLimit:
            return cLimit_;
    }
    return cNo_;
}

data::CustomerEInvoice TCustEdit::einvoice() const {
    return {data::UpperText(eCountry_->text().trimmed().toStdString()),
            data::CompactId(eVatId_->text().toStdString()),
            eBuyerRef_->text().trimmed().toStdString(), eAddress_->text().trimmed().toStdString()};
}

void TCustEdit::setEInvoice(const data::CustomerEInvoice& e) {
    eCountry_->setText(Q(e.country));
    eVatId_->setText(Q(e.vatId));
    eBuyerRef_->setText(Q(e.buyerReference));
    eAddress_->setText(Q(e.electronicAddress));
}

void TCustEdit::accept() {
    // The e-invoicing data first: a VAT number with a wrong check digit, an unknown
    // country code or an address of neither form is not saved.
    if (const std::string problem = data::CustomerEInvoiceProblem(einvoice()); !problem.empty()) {
        prompter_.inform(windowTitle().toStdString(), problem, platform::Icon::Warning);
        eVatId_->setFocus();
        return;
    }
    customers::CustomerEntry e = entry();
    // The short name rule ran inside the checks.
    auto shown = [&] { shortName_->setText(Q(e.shortName)); };
    auto field = [this](customers::EntryField f) { return fieldFor(f); };
    if (CheckAndSave(this, prompter_, e, check_, shown, field, save_)) QDialog::accept();
}

void TCustEdit::setHelp(std::function<void(const std::string&)> openHelp) {
    openHelp_ = std::move(openHelp);
    helpButton_->setEnabled(bool(openHelp_));
}

void TCustEdit::help() {
    if (openHelp_) openHelp_("Creating a New Customer");
}

void TCustEdit::done(int result) {
    SaveBounds(this, dataFolder_, kBoundsSection);
    QDialog::done(result);
}

}  // namespace invarro::ui
