#include "ui/ProdInv.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/SubTotalDiscountLines.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "invoicing/Receivables.h"
#include "invoicing/TermSet.h"
#include "products/ProdEdit.h"
#include "ui/CalendarForm.h"
#include "ui/CustForm.h"
#include "ui/InvOutput.h"
#include "ui/ProdForm.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Customer;
using data::Money;
using invoicing::Focus;
using invoicing::LineRow;

constexpr const char* kBoundsSection = "IEForm";
constexpr int kDesignedWidth = 639;
constexpr int kDesignedHeight = 499;
constexpr const char* kHelpTopic = "Creating a New Invoice";

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

// The cell edit limits of the grid's columns: code, quantity, description, price (10, 10,
// 32, 10 characters) and the taxable flag (one upper-case character).
class CellLimits : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            switch (index.column()) {
                case 1:
                    e->setMaxLength(invoicing::cell::kCode);
                    break;
                case 2:
                    e->setMaxLength(invoicing::cell::kQuantity);
                    break;
                case 3:
                    e->setMaxLength(invoicing::cell::kDescription);
                    break;
                case 4:
                    e->setMaxLength(invoicing::cell::kPrice);
                    break;
                case 5:
                    e->setMaxLength(invoicing::cell::kTaxable);
                    QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString& t) {
                        if (t != t.toUpper()) e->setText(t.toUpper());
                    });
                    break;
                default:
                    break;
            }
        }
        return w;
    }
};

void SetRed(QWidget* w, bool red) {
    w->setStyleSheet(red ? "color: red;" : "");
}

std::string& Field(LineRow& row, int column) {
    switch (column) {
        case 1:
            return row.code;
        case 2:
            return row.quantity;
        case 3:
            return row.description;
        case 4:
            return row.price;
        case 5:
            return row.taxable;
        default:
            return row.extension;
    }
}

}  // namespace

TProdInv::TProdInv(const InvoiceEditorContext& context, invoicing::InvoiceEditor editor,
                   QWidget* parent)
    : QDialog(parent), ctx_(context), editor_(std::move(editor)) {
    setObjectName("TProdInv");
    setModal(true);
    terms_ = invoicing::LoadSortedTerms(ctx_.windows.dataFolder).terms;
    buildControls();
    showAll();
    editor_.markUnchanged();
    RestoreBounds(this, ctx_.windows.dataFolder, kBoundsSection, kDesignedWidth, kDesignedHeight);
    if (!editor_.isNew()) notes_->setFocus();
}

TProdInv::~TProdInv() = default;

const platform::Clock& TProdInv::clock() {
    if (ctx_.windows.clock) return *ctx_.windows.clock;
    if (!ownClock_) ownClock_ = std::make_unique<platform::SystemClock>();
    return *ownClock_;
}

void TProdInv::buildControls() {
    using namespace invoicing::width;
    auto edit = [this](const char* name, int maxLength) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(maxLength);
        return e;
    };
    auto label = [this](const QString& text, const char* name = nullptr) {
        auto* l = new QLabel(text, this);
        if (name) l->setObjectName(name);
        return l;
    };
    auto button = [this](const char* name, const QString& text, const QString& hint) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        return b;
    };
    const data::CompanyRecord& company = *ctx_.windows.company;

    // Header: number, date, terms, notes, key code.
    modeLabel_ = label("", "IMode");
    number_ = edit("INum", kNumber);
    date_ = new QLineEdit(this);
    date_->setObjectName("IDate");
    date_->setAccessibleName(QStringLiteral("Date"));
    date_->setInputMask("99/99/9999;_");
    date_->setMaximumWidth(110);
    auto* calButton = button("Calbutton", "...", "Calendar");
    calButton->setMaximumWidth(30);
    dateOrder_ =
        label(editor_.dateOrder() == data::DateOrder::DayFirst ? "Dy/Mo/Year" : "Mo/Dy/Year");
    terms_box_ = new QComboBox(this);
    terms_box_->setObjectName("ITerms");
    terms_box_->setEditable(true);
    terms_box_->lineEdit()->setMaxLength(kTerms);
    for (const std::string& t : terms_)
        terms_box_->addItem(Q(t));
    stmntNote_ = edit("IStmntNote", kStmntNote);
    notes_ = edit("INVNOTES", kNotes);
    keyCode_ = edit("KeyCode", kKeyCode);
    shortName_ = edit("EBSName", kShortName);

    // Customer block.
    customerButton_ = button("BitBtn3", "&Customer...", "Customers");
    custNo_ = label("", "ICustNo");
    custName_ = label("", "ICustName");
    balance_ = label("", "CBal");
    creditLimit_ = label("", "ICredLimit");
    const std::array<std::string, 4> titles = invoicing::AgingLabels(company);
    const char* agingNames[4] = {"Acur", "A31to60", "A61to90", "AOver90"};
    for (int k = 0; k < 4; ++k) {
        agingTitles_[k] = label(Q(data::TrimmedText(titles[size_t(k)])));
        aging_[k] = label("", agingNames[k]);
        aging_[k]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    // Totals.
    net_ = edit("INet", kAmount);
    tax_ = edit("ITax", kAmount);
    total_ = label("", "ITotal");
    paid_ = edit("IPaid", kAmount);
    balanceDue_ = label("", "BalDue");
    for (QWidget* w : std::initializer_list<QWidget*>{net_, tax_, paid_})
        static_cast<QLineEdit*>(w)->setAlignment(Qt::AlignRight);
    total_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    balanceDue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    taxRate_ = edit("CTaxRate", kTaxRate);
    taxRate_->setMaximumWidth(70);
    taxLabel_ = label("", "TaxLbl");
    taxSwitch_ = new QCheckBox("Calc. Tax", this);
    taxSwitch_->setObjectName("CheckBox2");
    quote_ = new QCheckBox("Make this a &Quote", this);
    quote_->setObjectName("QuoteCB");
    lineItem_ = new QRadioButton("&Line Item", this);
    lineItem_->setObjectName("RadioButton1");
    memo_ = new QRadioButton("&Memo", this);
    memo_->setObjectName("RadioButton2");
    printFlag_ = new QCheckBox("P&rint when completed", this);
    printFlag_->setObjectName("PrintFlag");

    // Body: the line grid or the memo.
    grid_ = new QTableWidget(invoicing::kLineRows, 7, this);
    grid_->setObjectName("StringGrid1");
    grid_->setAccessibleName(QStringLiteral("Invoice lines"));
    grid_->setHorizontalHeaderLabels(
        {"LN", "Product#", "Rate/Quan.", "Description / Comment", "Unit Price", "T", "Extension"});
    grid_->verticalHeader()->hide();
    grid_->setItemDelegate(new CellLimits(grid_));
    // A click on the current cell edits it through slowEdit_ below rather than through the
    // view's own delayed edit, which would swallow keys typed right after the click.
    grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setColumnWidth(0, 30);
    grid_->setColumnWidth(1, 100);
    grid_->setColumnWidth(2, 75);
    grid_->setColumnWidth(3, 240);
    grid_->setColumnWidth(4, 80);
    grid_->setColumnWidth(5, 24);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->installEventFilter(this);
    grid_->viewport()->installEventFilter(this);
    slowEdit_ = new QTimer(this);
    slowEdit_->setSingleShot(true);
    connect(slowEdit_, &QTimer::timeout, this, [this] {
        if (slowEditAt_.isValid() && QModelIndex(slowEditAt_) == grid_->currentIndex() &&
            !grid_->indexWidget(slowEditAt_))
            grid_->edit(slowEditAt_);
    });
    memoDescription_ = edit("MemoPDesc", kMemoDescription);
    memoQuantity_ = edit("MemoQuan", kMemoQuantity);
    memoQuantity_->setMaximumWidth(110);
    memoText_ = new QPlainTextEdit(this);
    memoText_->setObjectName("Memo1");
    memoText_->setTabChangesFocus(true);
    memoText_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::Monospace);
    memoText_->setFont(mono);

    auto* memoPage = new QWidget(this);
    auto* memoLayout = new QGridLayout(memoPage);
    memoLayout->setContentsMargins(0, 0, 0, 0);
    memoLayout->addWidget(label("Product Description:"), 0, 0);
    memoLayout->addWidget(memoDescription_, 0, 1);
    memoLayout->addWidget(label("Quantity:"), 0, 2);
    memoLayout->addWidget(memoQuantity_, 0, 3);
    memoLayout->addWidget(memoText_, 1, 0, 1, 4);
    memoLayout->setColumnStretch(1, 1);
    body_ = new QStackedWidget(this);
    body_->addWidget(grid_);
    body_->addWidget(memoPage);

    // Row and file buttons.
    findProduct_ = button("SpeedButton2", "Find &Product", "Find Product");
    deleteLine_ = button("DeleteLine", "Erase Line", "Erase Line");
    insertLine_ = button("SBInsertLine", "Insert Line", "Insert Line");
    makeNote_ = button("MakeNote", "Comment", "Add Description comment");
    auto* undoAll = button("UndoAll", "Erase All", "Erase All Lines");
    auto* importButton = button("ImportButn", "Load Saved", "Loads Saved Lines");
    auto* exportButton =
        button("ExportButn", "Save Lines", "Replaces saved lines with current lines");
    topButton_ = button("TopButn", "1", "Line Item 1");
    centreButton_ = button("CnterButn", "50", "Line Item 50");
    bottomButton_ = button("BottButn", "99", "Line Item 99");
    for (QPushButton* b : {topButton_, centreButton_, bottomButton_})
        b->setMaximumWidth(36);
    calculator_ = button("SpeedButton8", "Calc", "Calculator");
    calculator_->setEnabled(ctx_.shell != nullptr);
    timeButton_ = button("TimeBtn", "&Start", "Work timer");
    timeStarted_ = label("", "TimeStart");
    timeElapsed_ = label("", "TimeElapsed");
    timeHours_ = label("", "TimeHours");
    auto* ok = button("OKButton", "&Ok", "Save the invoice");
    ok->setDefault(true);
    ok->setAutoDefault(true);
    auto* cancel = button("BitBtn1", "&Cancel", "Close without saving");
    auto* helpButton = button("BitBtn2", "&Help", "Help");
    helpButton->setEnabled(bool(ctx_.windows.openHelp));

    // Layout.
    auto* header = new QGridLayout;
    header->setHorizontalSpacing(6);
    header->setVerticalSpacing(3);
    header->addWidget(modeLabel_, 0, 0);
    header->addWidget(label("Invoice#:"), 0, 1);
    header->addWidget(number_, 0, 2);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(date_);
    dateRow->addWidget(calButton);
    dateRow->addWidget(dateOrder_);
    dateRow->addStretch();
    header->addLayout(dateRow, 0, 3, 1, 2);
    header->addWidget(label("Terms:"), 1, 1);
    header->addWidget(terms_box_, 1, 2, 1, 2);
    header->addWidget(label("Key Code:"), 1, 4);
    header->addWidget(keyCode_, 1, 5);
    header->addWidget(label("Statement Note:"), 2, 1);
    header->addWidget(stmntNote_, 2, 2, 1, 2);
    header->addWidget(label("SN:"), 2, 4);
    header->addWidget(shortName_, 2, 5);
    header->addWidget(label("Notes/Comments/Reference:"), 3, 0, 1, 2);
    header->addWidget(notes_, 3, 2, 1, 4);
    header->addWidget(customerButton_, 1, 0);
    header->setColumnStretch(2, 1);

    auto* custBox = new QGroupBox(this);
    auto* custGrid = new QGridLayout(custBox);
    custGrid->setVerticalSpacing(2);
    custGrid->addWidget(label("Customer:"), 0, 0);
    custGrid->addWidget(custName_, 0, 1, 1, 3);
    custGrid->addWidget(label("Number:"), 1, 0);
    custGrid->addWidget(custNo_, 1, 1);
    custGrid->addWidget(label("Balance:"), 2, 0);
    custGrid->addWidget(balance_, 2, 1);
    custGrid->addWidget(label("Credit Limit:"), 3, 0);
    custGrid->addWidget(creditLimit_, 3, 1);
    for (int k = 0; k < 4; ++k) {
        custGrid->addWidget(agingTitles_[k], k, 2);
        custGrid->addWidget(aging_[k], k, 3);
    }
    custGrid->setColumnStretch(1, 1);
    custGrid->setColumnStretch(3, 1);

    auto* totals = new QGridLayout;
    totals->setVerticalSpacing(2);
    auto* netLabel = label("&Net:");
    netLabel->setBuddy(net_);
    auto* taxLabel = label("&Tax:");
    taxLabel->setBuddy(tax_);
    paidLabel_ = label("&Paid Amount:");
    paidLabel_->setBuddy(paid_);
    balanceDueLabel_ = label("Balance Due:");
    auto* rateLabel = label("T&ax Rate:");
    rateLabel->setBuddy(taxRate_);
    totals->addWidget(netLabel, 0, 0);
    totals->addWidget(net_, 0, 1);
    totals->addWidget(taxLabel, 1, 0);
    totals->addWidget(tax_, 1, 1);
    totals->addWidget(label("Total:"), 2, 0);
    totals->addWidget(total_, 2, 1);
    totals->addWidget(paidLabel_, 3, 0);
    totals->addWidget(paid_, 3, 1);
    totals->addWidget(balanceDueLabel_, 4, 0);
    totals->addWidget(balanceDue_, 4, 1);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(rateLabel);
    rateRow->addWidget(taxRate_);
    rateRow->addWidget(taxSwitch_);
    totals->addLayout(rateRow, 5, 0, 1, 2);
    totals->addWidget(taxLabel_, 6, 0, 1, 2);

    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addLayout(header);
    left->addWidget(custBox);
    top->addLayout(left, 3);
    auto* right = new QVBoxLayout;
    right->addLayout(totals);
    auto* switches = new QHBoxLayout;
    switches->addWidget(lineItem_);
    switches->addWidget(memo_);
    right->addLayout(switches);
    right->addWidget(quote_);
    right->addWidget(printFlag_);
    right->addStretch();
    top->addLayout(right, 1);

    auto* tools = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{
             findProduct_, deleteLine_, insertLine_, makeNote_, undoAll, importButton, exportButton,
             topButton_, centreButton_, bottomButton_, calculator_})
        tools->addWidget(w);
    tools->addStretch();

    auto* foot = new QHBoxLayout;
    foot->addWidget(timeButton_);
    foot->addWidget(timeStarted_);
    foot->addWidget(timeElapsed_);
    foot->addWidget(timeHours_);
    foot->addStretch();
    foot->addWidget(ok);
    foot->addWidget(cancel);
    foot->addWidget(helpButton);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    outer->setSpacing(4);
    outer->addLayout(top);
    outer->addLayout(tools);
    outer->addWidget(body_, 1);
    outer->addLayout(foot);

    // Signals.
    auto entryText = [this](QLineEdit* e, std::string invoicing::InvoiceEntry::*field,
                            bool recalc) {
        connect(e, &QLineEdit::textEdited, this, [this, field, recalc](const QString& t) {
            if (showing_) return;
            editor_.entry.*field = S(t);
            if (recalc) {
                editor_.recalc();
                showTotals();
            }
        });
    };
    entryText(number_, &invoicing::InvoiceEntry::number, false);
    entryText(date_, &invoicing::InvoiceEntry::date, false);
    entryText(stmntNote_, &invoicing::InvoiceEntry::stmntNote, false);
    entryText(notes_, &invoicing::InvoiceEntry::notes, false);
    entryText(keyCode_, &invoicing::InvoiceEntry::keyCode, false);
    entryText(net_, &invoicing::InvoiceEntry::net, true);
    entryText(tax_, &invoicing::InvoiceEntry::tax, true);
    entryText(paid_, &invoicing::InvoiceEntry::paid, true);
    entryText(taxRate_, &invoicing::InvoiceEntry::taxRate, true);
    entryText(memoDescription_, &invoicing::InvoiceEntry::memoDescription, false);
    entryText(memoQuantity_, &invoicing::InvoiceEntry::memoQuantity, false);
    // Amounts and the rate show what the totals made of them once the field is left.
    for (QLineEdit* e : {net_, tax_, paid_, taxRate_})
        connect(e, &QLineEdit::editingFinished, this, [this] {
            if (!showing_) showTotals();
        });
    connect(number_, &QLineEdit::editingFinished, this, [this] {
        editor_.entry.number = data::UpperText(S(number_->text()));
        showing_ = true;
        number_->setText(Q(editor_.entry.number));
        showing_ = false;
    });
    connect(shortName_, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (!showing_) editor_.entry.customer.setText(Customer::ShortName, S(t));
    });
    connect(terms_box_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
        if (!showing_) editor_.entry.terms = S(t);
    });
    connect(memoText_, &QPlainTextEdit::textChanged, this, [this] { memoChanged(); });
    connect(taxSwitch_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        editor_.setTaxOn(on);
        showGrid();
        showTotals();
    });
    connect(printFlag_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        editor_.entry.printWhenDone = on;
    });
    connect(quote_, &QCheckBox::toggled, this, [this](bool on) {
        if (showing_) return;
        editor_.entry.quote = on;
        showTotals();
    });
    connect(lineItem_, &QRadioButton::toggled, this, [this](bool on) {
        if (showing_) return;
        editor_.entry.memo = !on;
        editor_.recalc();
        showFormat();
        showGrid();
        showTotals();
    });
    connect(grid_, &QTableWidget::cellChanged, this, &TProdInv::cellChanged);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column == 1)
            findProduct();
        else if (column >= 2 && column <= 5)
            grid_->editItem(grid_->item(row, column));
    });
    connect(calButton, &QPushButton::clicked, this, &TProdInv::pickDate);
    connect(customerButton_, &QPushButton::clicked, this, &TProdInv::selectCustomer);
    connect(findProduct_, &QPushButton::clicked, this, &TProdInv::findProduct);
    connect(deleteLine_, &QPushButton::clicked, this, &TProdInv::eraseLine);
    connect(insertLine_, &QPushButton::clicked, this, &TProdInv::insertLine);
    connect(makeNote_, &QPushButton::clicked, this, &TProdInv::makeComment);
    connect(undoAll, &QPushButton::clicked, this, &TProdInv::eraseAll);
    connect(importButton, &QPushButton::clicked, this, &TProdInv::loadSavedLines);
    connect(exportButton, &QPushButton::clicked, this, &TProdInv::saveLines);
    connect(topButton_, &QPushButton::clicked, this, [this] { goToRow(1); });
    connect(centreButton_, &QPushButton::clicked, this, [this] { goToRow(50); });
    connect(bottomButton_, &QPushButton::clicked, this, [this] { goToRow(99); });
    connect(calculator_, &QPushButton::clicked, this, &TProdInv::calculator);
    connect(timeButton_, &QPushButton::clicked, this, &TProdInv::toggleTimer);
    connect(ok, &QPushButton::clicked, this, &TProdInv::accept);
    connect(cancel, &QPushButton::clicked, this, &TProdInv::reject);
    connect(helpButton, &QPushButton::clicked, this, &TProdInv::help);
    ticker_ = new QTimer(this);
    ticker_->setInterval(1000);
    connect(ticker_, &QTimer::timeout, this, &TProdInv::showTimer);
    ticker_->start();
}

// ----------------------------------------------------------------------- showing

void TProdInv::showAll() {
    showing_ = true;
    const invoicing::InvoiceEntry& e = editor_.entry;
    setWindowTitle(Q(editor_.caption()));
    modeLabel_->setText(Q(editor_.modeLabel()));
    number_->setText(Q(e.number));
    number_->setReadOnly(!editor_.numberEditable());
    date_->setText(Q(e.date));
    terms_box_->setEditText(Q(e.terms));
    stmntNote_->setText(Q(e.stmntNote));
    notes_->setText(Q(e.notes));
    keyCode_->setText(Q(e.keyCode));
    taxRate_->setText(Q(e.taxRate));
    paid_->setText(Q(e.paid));
    quote_->setChecked(e.quote);
    quote_->setEnabled(!editor_.isMaster());
    lineItem_->setChecked(!e.memo);
    memo_->setChecked(e.memo);
    lineItem_->setEnabled(editor_.isNew());
    memo_->setEnabled(editor_.isNew());
    customerButton_->setEnabled(editor_.isNew());
    // Printing after saving is offered for new invoices only.
    printFlag_->setChecked(editor_.isNew() && e.printWhenDone);
    printFlag_->setEnabled(editor_.isNew());
    memoDescription_->setText(Q(e.memoDescription));
    memoQuantity_->setText(Q(e.memoQuantity));
    std::string memo;
    for (std::size_t k = 0; k < e.memoLines.size(); ++k)
        memo += (k ? "\n" : "") + e.memoLines[k];
    memoText_->setPlainText(Q(memo));
    showing_ = false;
    showCustomer();
    showFormat();
    showGrid();
    showTotals();
    showTimer();
}

void TProdInv::showCustomer() {
    showing_ = true;
    const invoicing::InvoiceEntry& e = editor_.entry;
    if (e.hasCustomer) {
        const data::CustomerRecord& c = e.customer;
        custNo_->setText(Q(c.text(Customer::CustNo)));
        custName_->setText(Q(c.text(Customer::Name)));
        creditLimit_->setText(Q(c.money(Customer::CreditLimit).shownText()));
        shortName_->setText(Q(c.text(Customer::ShortName)));
        const Money bal = c.money(Customer::Balance);
        balance_->setText(Q(bal.shownText()));
        SetRed(balance_, bal < Money());
        const data::FieldRef<data::Customer, data::FieldKind::Money> ages[4] = {
            Customer::Age0to30, Customer::Age31to60, Customer::Age61to90, Customer::AgeOver90};
        for (int k = 0; k < 4; ++k)
            aging_[k]->setText(Q(c.money(ages[k]).shownText()));
    } else {
        for (QLabel* l : {custNo_, custName_, creditLimit_, balance_})
            l->clear();
        for (QLabel* l : aging_)
            l->clear();
        shortName_->clear();
    }
    terms_box_->setEditText(Q(e.terms));
    showing_ = false;
}

void TProdInv::showFormat() {
    const bool memo = editor_.entry.memo;
    body_->setCurrentIndex(memo ? 1 : 0);
    net_->setReadOnly(!memo);
    tax_->setReadOnly(!memo);
    taxSwitch_->setVisible(!memo);
    for (QPushButton* b : {findProduct_, deleteLine_, makeNote_, topButton_, centreButton_,
                           bottomButton_, insertLine_})
        b->setEnabled(!memo);
}

void TProdInv::showRow(int row) {
    const LineRow& r = editor_.entry.grid[row];
    const std::string values[7] = {
        std::to_string(row), r.code, r.quantity, r.description, r.price, r.taxable, r.extension};
    for (int c = 0; c < 7; ++c) {
        QTableWidgetItem* item = grid_->item(row - 1, c);
        if (!item) {
            item = new QTableWidgetItem;
            if (c == 0 || c == 6) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (c == 0) item->setBackground(palette().button());
            if (c == 2 || c == 4 || c == 6)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (c == 5) item->setTextAlignment(Qt::AlignCenter);
            grid_->setItem(row - 1, c, item);
        }
        const QString text = Q(values[c]);
        if (item->text() != text) item->setText(text);
    }
}

void TProdInv::showGrid() {
    const bool was = showing_;
    showing_ = true;
    grid_->blockSignals(true);
    for (int r = 1; r <= invoicing::kLineRows; ++r)
        showRow(r);
    grid_->blockSignals(false);
    showing_ = was;
}

void TProdInv::showTotals() {
    const bool was = showing_;
    showing_ = true;
    const invoicing::InvoiceEntry& e = editor_.entry;
    const invoicing::Totals& t = editor_.totals();
    auto setIfIdle = [](QLineEdit* w, const std::string& text) {
        if (!w->hasFocus() && w->text() != Q(text)) w->setText(Q(text));
    };
    if (e.memo) {
        setIfIdle(net_, e.net);
        setIfIdle(tax_, e.tax);
    } else {
        net_->setText(Q(t.net.shownText()));
        tax_->setText(Q(t.tax.shownText()));
    }
    setIfIdle(paid_, e.paid);
    setIfIdle(taxRate_, e.taxRate);
    total_->setText(Q(t.total.shownText()));
    balanceDue_->setText(Q(t.balance.shownText()));
    SetRed(balanceDue_, t.balance < Money());
    taxLabel_->setText(e.memo ? Q(editor_.memoTaxLabel()) : QString());
    taxSwitch_->setText(Q(invoicing::TaxSwitchCaption(editor_.taxSwitch())));
    taxSwitch_->setChecked(editor_.taxOn());
    taxSwitch_->setEnabled(editor_.taxSwitch() == invoicing::TaxSwitch::On);
    paid_->setVisible(!e.quote);
    balanceDue_->setVisible(!e.quote);
    balanceDueLabel_->setVisible(!e.quote);
    paidLabel_->setWordWrap(e.quote);
    paidLabel_->setText(e.quote ? "This is only a quote. Uncheck quote to make it an invoice."
                                : "&Paid Amount:");
    showing_ = was;
}

void TProdInv::showTimer() {
    invoicing::WorkTimer& timer = invoicing::EditorWorkTimer();
    timeButton_->setText(timer.running() ? "&Stop" : "&Start");
    SetRed(timeButton_, timer.running());
    if (timer.running()) {
        const int64_t s = timer.elapsedSeconds(clock().now());
        timeStarted_->setText("Started " + Q(timer.startText()));
        timeElapsed_->setText(Q(invoicing::WorkTimer::ClockText(s)));
        timeHours_->setText(Q(invoicing::WorkTimer::HoursText(s)));
    }
}

// ------------------------------------------------------------------------ editing

int TProdInv::currentRow() const {
    return grid_->currentRow() + 1;
}

int TProdInv::currentColumn() const {
    return grid_->currentColumn();
}

void TProdInv::setCell(int row, int column, const QString& text) {
    QTableWidgetItem* item = grid_->item(row - 1, column);
    if (item) item->setText(text);  // cellChanged does the rest
}

QString TProdInv::cell(int row, int column) const {
    const QTableWidgetItem* item = grid_->item(row - 1, column);
    return item ? item->text() : QString();
}

void TProdInv::cellChanged(int tableRow, int column) {
    if (showing_ || column < 1 || column > 5) return;
    const int row = tableRow + 1;
    std::string text = S(grid_->item(tableRow, column)->text());
    if (column == 5) text = data::UpperText(text);
    Field(editor_.entry.grid[row], column) = text;
    editor_.cellEdited(row);
    showGrid();
    showTotals();
    // A product code typed and committed is looked up at once, as Enter on it does.
    if (column == 1 && !data::TrimText(editor_.entry.grid[row].code).empty()) lookUpSoon(row);
}

// The look-up runs once the events already queued have run: Enter in a cell being edited
// reaches the grid before the cell editor's text is committed, and the commit is queued.
// A commit and an Enter on the same row make one look-up, of the committed code. The
// look-up is queued behind the commit as an event too (a zero-time timer is no queued
// event: on a busy machine it ran before the commit, found the cell empty and opened the
// product picker), and only the last one asked for runs: an earlier one still queued would
// run before the commit of a later Enter and take its row while the cell was still empty.
void TProdInv::lookUpSoon(int row) {
    pendingLookUp_ = row;
    const unsigned ticket = ++lookUpTicket_;
    QMetaObject::invokeMethod(
        this,
        [this, ticket] {
            // The product picker holds the product file: what it picks fills the row instead.
            if (ticket != lookUpTicket_ || picking_ || pendingLookUp_ == 0) return;
            const int r = pendingLookUp_;
            pendingLookUp_ = 0;
            productByCode(r);
        },
        Qt::QueuedConnection);
}

void TProdInv::memoChanged() {
    if (showing_) return;
    QString text = memoText_->toPlainText();
    if (text.size() > invoicing::width::kMemoText) {
        text.truncate(invoicing::width::kMemoText);
        showing_ = true;
        memoText_->setPlainText(text);
        showing_ = false;
    }
    editor_.entry.memoLines.clear();
    for (const QString& line : text.split('\n'))
        editor_.entry.memoLines.push_back(S(line));
}

// Enter reaches the grid both from the grid itself and from a cell editor that passed it
// on; in the second case the editor's text is committed only after this, so the look-up
// waits for the commit.
void TProdInv::leaveGrid(bool forward) {
    QWidget* w = grid_;
    for (int guard = 0; guard < 500; ++guard) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == grid_) return;
        if (grid_->isAncestorOf(w) || !w->isVisibleTo(this) || !w->isEnabled() ||
            !(w->focusPolicy() & Qt::TabFocus))
            continue;
        w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return;
    }
}

bool TProdInv::eventFilter(QObject* watched, QEvent* event) {
    if (grid_ && watched == grid_->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (event->type()) {
            case QEvent::MouseButtonPress:
                slowEdit_->stop();
                pressedOnCurrent_ =
                    mouse->button() == Qt::LeftButton &&
                    grid_->indexAt(mouse->position().toPoint()) == grid_->currentIndex();
                break;
            case QEvent::MouseButtonRelease: {
                const QModelIndex at = grid_->indexAt(mouse->position().toPoint());
                if (pressedOnCurrent_ && mouse->button() == Qt::LeftButton &&
                    mouse->modifiers() == Qt::NoModifier && at.isValid() &&
                    at == grid_->currentIndex()) {
                    slowEditAt_ = at;
                    slowEdit_->start(QApplication::doubleClickInterval());
                }
                pressedOnCurrent_ = false;
                break;
            }
            case QEvent::MouseButtonDblClick:
                slowEdit_->stop();
                break;
            default:
                break;
        }
        return QDialog::eventFilter(watched, event);
    }
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        slowEdit_->stop();
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab walks the cells of a line; past the line's last cell (Shift+Tab before its
        // first), on an empty line, or with Ctrl, it leaves the grid for the next control
        // (the one before), so the keyboard is never caught in the hundreds of cells: the
        // arrows move from line to line.
        const bool back = key->key() == Qt::Key_Backtab ||
                          (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            // A line without a product code and a description is empty.
            bool empty = true;
            for (int c : {1, 3}) {
                const QTableWidgetItem* item = grid_->item(grid_->currentRow(), c);
                if (item && !item->text().trimmed().isEmpty()) empty = false;
            }
            const bool edge = back ? grid_->currentColumn() <= 0
                                   : grid_->currentColumn() >= grid_->columnCount() - 1;
            if (empty || edge || (key->modifiers() & Qt::ControlModifier)) {
                leaveGrid(!back);
                return true;
            }
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            grid_->currentColumn() == 1) {
            lookUpSoon(currentRow());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TProdInv::selectCustomer() {
    CustomerWindowContext windows = ctx_.windows;
    data::CustomerRecord chosen = editor_.entry.customer;
    data::CustomerRecord* shared = windows.selectedCustomer ? windows.selectedCustomer : &chosen;
    windows.selectedCustomer = shared;
    windows.heldInvoices = ctx_.invoices;
    windows.heldLines = ctx_.lines;
    if (editor_.entry.hasCustomer) *shared = editor_.entry.customer;
    std::optional<bool> picked = TCustForm::Pick(windows, editor_.entry.hasCustomer, this);
    if (picked && *picked) customerChosen(*shared);
}

void TProdInv::customerChosen(const data::CustomerRecord& customer) {
    editor_.chooseCustomer(customer, *ctx_.windows.prompter);
    showCustomer();
    showGrid();
    showTotals();
}

void TProdInv::findProduct() {
    if (editor_.entry.memo) return;
    const int row = std::max(1, currentRow());
    const LineRow& r = editor_.entry.grid[row];
    std::string code = data::TrimmedText(r.code);
    if (code == invoicing::kRowHint) code.clear();
    picking_ = true;
    std::optional<data::ProductRecord> p =
        PickProduct(this, ctx_.windows, code, data::TrimmedText(r.description));
    picking_ = false;
    pendingLookUp_ = 0;
    grid_->setFocus();
    if (!p) return;
    editor_.applyProduct(row, invoicing::ChoiceFromProduct(*p), true);
    showGrid();
    showTotals();
    // The quantity is what is typed next.
    grid_->setCurrentCell(row - 1, 2);
}

void TProdInv::productByCode(int row) {
    if (row < 1 || row > invoicing::kLineRows || editor_.entry.memo) return;
    std::string code = data::UpperText(data::TrimText(editor_.entry.grid[row].code));
    if (code.empty() || code == data::UpperText(invoicing::kRowHint)) {
        grid_->setCurrentCell(row - 1, 1);
        findProduct();
        return;
    }
    // A sub-total or discount code makes a special line of the recalculation; it is no
    // product to look up or to offer to add. The cursor goes on to the next line.
    invoicing::LineRow special;
    special.code = code;
    if (invoicing::IsSubTotalRow(special) || invoicing::IsDiscountRow(special)) {
        // A discount of taxed and untaxed lines has its untaxed half below it.
        int next = row;
        if (row < invoicing::kLineRows && invoicing::IsDiscountRow(editor_.entry.grid[row + 1]) &&
            data::DiscountPartOf(editor_.entry.grid[row + 1].description) ==
                data::DiscountPart::Untaxed)
            next = row + 1;
        grid_->setCurrentCell(std::min(next, invoicing::kLineRows - 1), 1);
        grid_->setFocus();
        return;
    }
    products::ProductLookup found = products::LookUpProduct(
        ctx_.windows.dataFolder,
        data::CompanyPrefix(ctx_.windows.company->text(data::Company::CompanyNo)), code,
        *ctx_.windows.prompter);
    if (!found.product) {
        if (ctx_.windows.prompter->yesNo(
                "Product Code", "That product code was not found. Would you like to add it now?")) {
            grid_->setCurrentCell(row - 1, 1);
            findProduct();
        }
        return;
    }
    editor_.applyProduct(row, invoicing::ChoiceFromProduct(*found.product), false);
    showGrid();
    showTotals();
    grid_->setCurrentCell(row - 1, 2);
    grid_->setFocus();
}

void TProdInv::eraseLine() {
    editor_.eraseLine(std::max(1, currentRow()));
    showGrid();
    showTotals();
}

void TProdInv::insertLine() {
    editor_.insertLine(std::max(1, currentRow()));
    showGrid();
    showTotals();
}

void TProdInv::makeComment() {
    const int row = std::max(1, currentRow());
    editor_.makeComment(row);
    showGrid();
    showTotals();
    grid_->setCurrentCell(row - 1, 3);
    grid_->setFocus();
}

void TProdInv::eraseAll() {
    editor_.eraseAll();
    showAll();
}

void TProdInv::loadSavedLines() {
    const invoicing::LoadSaved r = invoicing::LoadSavedLines(ctx_.windows.dataFolder, editor_);
    if (r == invoicing::LoadSaved::Missing) {
        ctx_.windows.prompter->inform("Load Saved Lines",
                                      "You have not created a saved lines file.");
        return;
    }
    if (r == invoicing::LoadSaved::Unreadable) {
        ctx_.windows.prompter->inform("Load Saved Lines", "The saved lines file cannot be read.",
                                      platform::Icon::Warning);
        return;
    }
    showAll();
}

void TProdInv::saveLines() {
    std::string error;
    if (!invoicing::WriteSavedLines(ctx_.windows.dataFolder, editor_, &error)) {
        ctx_.windows.prompter->inform("Saved Lines File",
                                      "The saved lines file could not be written: " + error,
                                      platform::Icon::Warning);
        return;
    }
    ctx_.windows.prompter->inform(
        "Saved Lines File",
        "The saved lines file has been replaced with the current invoice lines.");
}

void TProdInv::goToRow(int row) {
    grid_->setCurrentCell(row - 1, 1);
    grid_->scrollToItem(grid_->item(row - 1, 1));
    grid_->setFocus();
}

void TProdInv::calculator() {
    if (ctx_.shell && !ctx_.shell->startCalculator())
        ctx_.windows.prompter->inform("Calculator", "No calculator program could be started.",
                                      platform::Icon::Warning);
}

void TProdInv::toggleTimer() {
    invoicing::WorkTimer& timer = invoicing::EditorWorkTimer();
    if (timer.running())
        timer.stop();
    else
        timer.start(clock().now());
    showTimer();
    if (ctx_.timerChanged) ctx_.timerChanged();
}

void TProdInv::pickDate() {
    const data::Date today = data::Today(clock());
    const data::Date preset =
        data::ParseUserDate(editor_.entry.date, editor_.dateOrder()).value_or(today);
    if (auto d = TCalendarForm::Pick(this, "Invoice Date", preset, editor_.dateOrder())) {
        editor_.entry.date = data::FormatUserDate(*d, editor_.dateOrder());
        date_->setText(Q(editor_.entry.date));
    }
}

void TProdInv::help() {
    if (ctx_.windows.openHelp) ctx_.windows.openHelp(kHelpTopic);
}

// ------------------------------------------------------------------------- OK

void TProdInv::focusProblem(const invoicing::EditProblem& p) {
    QWidget* w = nullptr;
    switch (p.field) {
        case Focus::None:
            return;
        case Focus::Number:
            w = number_;
            break;
        case Focus::Customer:
            w = customerButton_;
            break;
        case Focus::Date:
            w = date_;
            break;
        case Focus::MemoDescription:
            w = memoDescription_;
            break;
        case Focus::MemoText:
            w = memoText_;
            break;
        case Focus::Grid:
            grid_->setCurrentCell(p.row - 1, p.column);
            w = grid_;
            break;
        case Focus::TaxRate:
            w = taxRate_;
            break;
        case Focus::Net:
            w = net_;
            break;
        case Focus::Tax:
            w = tax_;
            break;
        case Focus::Paid:
            w = paid_;
            break;
        case Focus::Terms:
            w = terms_box_;
            break;
    }
    if (w) w->setFocus();
}

void TProdInv::accept() {
    editor_.entry.number = data::UpperText(S(number_->text()));
    editor_.entry.date = S(date_->text());
    editor_.entry.terms = S(terms_box_->currentText());
    invoicing::CheckContext check;
    check.invoices = ctx_.invoices;
    check.editedRecNo = editedRecNo_;
    check.folder = ctx_.windows.dataFolder;
    check.terms = &terms_;
    std::optional<invoicing::EditProblem> problem =
        invoicing::CheckInvoice(editor_, check, *ctx_.windows.prompter);
    showing_ = true;
    paid_->setText(Q(editor_.entry.paid));
    memoQuantity_->setText(Q(editor_.entry.memoQuantity));
    showing_ = false;
    showTotals();
    if (problem) {
        focusProblem(*problem);
        return;
    }
    QDialog::accept();
}

void TProdInv::reject() {
    // Escape, Cancel and the window's close button: what was typed is not lost unasked.
    if (editor_.changed() &&
        !ctx_.windows.prompter->yesNo("Please Confirm",
                                      editor_.isNew()
                                          ? "Discard this new invoice? What you typed is not saved."
                                          : "Discard your changes to this invoice?",
                                      platform::Answer::No))
        return;
    QDialog::reject();
}

void TProdInv::done(int result) {
    SaveBounds(this, ctx_.windows.dataFolder, kBoundsSection);
    QDialog::done(result);
}

std::optional<invoicing::SaveResult> TProdInv::save(int32_t recNo,
                                                    const data::InvoiceRecord* asRead) {
    invoicing::SaveFiles files{ctx_.windows.dataFolder,
                               *ctx_.windows.company,
                               ctx_.invoices,
                               ctx_.lines,
                               ctx_.memos,
                               nullptr,
                               data::Today(clock()),
                               ctx_.windows.labelQueue,
                               ctx_.labelsWaiting};
    std::optional<invoicing::SaveResult> result;
    Guarded(*ctx_.windows.prompter, [&] {
        if (asRead)
            result =
                invoicing::SaveInvoiceEdit(files, editor_, recNo, *asRead, *ctx_.windows.prompter);
        else
            result = invoicing::SaveNewInvoice(files, editor_, *ctx_.windows.prompter);
    });
    return result;
}

std::optional<invoicing::SaveResult> TProdInv::NewInvoice(const InvoiceEditorContext& context,
                                                          QWidget* parent) {
    platform::SystemClock system;
    const platform::Clock& clock = context.windows.clock ? *context.windows.clock : system;
    const data::CompanyRecord& company = *context.windows.company;
    invoicing::InvoiceEditor editor = invoicing::InvoiceEditor::ForNew(
        company, data::DateOrderFromCode(company.text(data::Company::DateFormatCode)),
        data::Today(clock));
    TProdInv dialog(context, std::move(editor), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.save();
}

std::optional<invoicing::SaveResult> TProdInv::EditInvoice(const InvoiceEditorContext& context,
                                                           int32_t recNo,
                                                           const data::InvoiceRecord& asRead,
                                                           QWidget* parent) {
    const data::CompanyRecord& company = *context.windows.company;
    const std::string number = asRead.text(data::Invoice::InvNo);
    std::vector<data::InvoiceLineRecord> lines;
    for (auto& [n, line] : invoicing::StoredLines(context.lines, number))
        lines.push_back(line);
    std::optional<data::MemoRecord> memo;
    if (auto m = invoicing::StoredMemo(context.memos, number)) memo = m->second;
    std::optional<data::CustomerRecord> customer = invoicing::InvoiceCustomer(
        context.windows.dataFolder, data::CompanyPrefix(company.text(data::Company::CompanyNo)),
        asRead.text(data::Invoice::CustNo), *context.windows.prompter);
    invoicing::InvoiceEditor editor = invoicing::InvoiceEditor::ForEdit(
        company, data::DateOrderFromCode(company.text(data::Company::DateFormatCode)), asRead,
        lines, memo, customer);
    TProdInv dialog(context, std::move(editor), parent);
    dialog.editedRecNo_ = recNo;
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.save(recNo, &asRead);
}

InvoiceEditorHook InvoiceEditorFor(platform::Shell* shell) {
    return [shell](Tinvlist& manager, const InvoiceEditRequest& request) {
        InvoiceEditorContext ctx;
        ctx.windows = manager.context();
        ctx.shell = shell;
        const invoicing::InvoiceFiles& files = manager.invoiceFiles();
        ctx.invoices = files.invoices;
        ctx.lines = files.lines;
        ctx.memos = files.memos;
        ctx.timerChanged = [&manager] {
            manager.setTimerRunning(invoicing::EditorWorkTimer().running());
        };
        std::optional<invoicing::SaveResult> saved =
            request.adding ? TProdInv::NewInvoice(ctx, &manager)
                           : TProdInv::EditInvoice(ctx, request.recNo, request.asRead, &manager);
        InvoiceEditResult result;
        if (!saved) return result;
        result.saved = true;
        result.recNo = saved->recNo;
        result.message = saved->status;
        if (auto r = data::ReadBusinessRecord<data::Invoice>(files.invoices, saved->recNo))
            result.record = *r;
        // "P&rint when completed": printed, or in e-mail mode mailed, as the manager's Print
        // command does it.
        if (saved->printWhenDone && result.record.live() && manager.context().emailMode &&
            manager.context().mailer) {
            manager.emailInvoice(data::TrimmedText(result.record.text(data::Invoice::InvNo)));
            result.message = manager.messageText().toStdString();
        } else if (saved->printWhenDone && result.record.live() && !manager.context().emailMode) {
            const std::string number = data::TrimmedText(result.record.text(data::Invoice::InvNo));
            output::PrintOutcome printed;
            if (PrintFromWindow(manager.context(), manager.invoiceFiles(), {.number = number},
                                printed))
                result.message = SentToPrinterText(number, printed.printer);
        }
        return result;
    };
}

}  // namespace invarro::ui
