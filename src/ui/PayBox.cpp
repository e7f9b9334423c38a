#include "ui/PayBox.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "data/Fileblocks.h"
#include "data/Open.h"
#include "ui/CalendarForm.h"
#include "ui/CustForm.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Customer;

constexpr std::string_view kBoundsSection = "PayForm";
constexpr int kDesignedWidth = 720;
constexpr int kDesignedHeight = 520;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

data::Date TodayFrom(const CustomerWindowContext& ctx) {
    if (ctx.clock) return data::Today(*ctx.clock);
    platform::SystemClock clock;
    return data::Today(clock);
}

}  // namespace

// ------------------------------------------------------------------------- TPPmtDialog

TPPmtDialog::TPPmtDialog(const QString& caption, const QString& item, Check check, QWidget* parent)
    : QDialog(parent), check_(std::move(check)) {
    setObjectName("TPPmtDialog");
    setWindowTitle(caption);
    setModal(true);
    Label1 = new QLabel(item, this);
    Label1->setObjectName("Label1");
    PPAmt = new QLineEdit("0.00", this);
    PPAmt->setObjectName("PPAmt");
    PPAmt->setMaxLength(10);
    auto* amountLabel = new QLabel("Payment Amount:", this);
    amountLabel->setBuddy(PPAmt);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* okButton = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    okButton->setObjectName("OKBtn");
    QPushButton* cancelButton = buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    cancelButton->setObjectName("CancelBtn");
    auto* grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(amountLabel, 1, 0);
    grid->addWidget(PPAmt, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, this, &TPPmtDialog::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    PPAmt->selectAll();
}

void TPPmtDialog::ok() {
    amount_ = check_(PPAmt->text().toStdString());
    if (!amount_) {
        PPAmt->setFocus();
        PPAmt->selectAll();
        return;
    }
    accept();
}

std::optional<data::Money> TPPmtDialog::Ask(const QString& caption, const QString& item,
                                            Check check, QWidget* parent) {
    TPPmtDialog d(caption, item, std::move(check), parent);
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return d.amount();
}

// ----------------------------------------------------------------------------- TPayBox

TPayBox::TPayBox(const CustomerWindowContext& context, QWidget* parent)
    : QDialog(parent), ctx_(context), box_(*context.company, TodayFrom(context)) {
    setObjectName("TPayBox");
    setWindowTitle("Payment Wizard");
    setModal(true);
    setSizeGripEnabled(true);
    if (!ctx_.clock) {
        ownClock_ = std::make_unique<platform::SystemClock>();
        ctx_.clock = ownClock_.get();
    }

    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    auto button = [this](const char* name, const QString& text, const QString& hint = {}) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        if (!hint.isEmpty()) b->setToolTip(hint);
        return b;
    };

    // The customer.
    BitBtn3 = button("BitBtn3", "Customer...", "Choose the customer");
    BitBtn3->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    PCustName = label("PCustName");
    PCustNum = label("PCustNum");
    PCustBal = label("PCustBal");
    PCustPhone = label("PCustPhone");
    Sname = label("Sname");
    auto* customerBox = new QGroupBox(this);
    auto* cg = new QGridLayout(customerBox);
    cg->addWidget(BitBtn3, 0, 0, 3, 1, Qt::AlignTop);
    cg->addWidget(new QLabel("Customer Name:", this), 0, 1);
    cg->addWidget(PCustName, 0, 2, 1, 3);
    cg->addWidget(new QLabel("Customer Number:", this), 1, 1);
    cg->addWidget(PCustNum, 1, 2);
    cg->addWidget(new QLabel("SN:", this), 1, 3);
    cg->addWidget(Sname, 1, 4);
    cg->addWidget(new QLabel("Account Balance:", this), 2, 1);
    cg->addWidget(PCustBal, 2, 2);
    cg->addWidget(new QLabel("Phone:", this), 2, 3);
    cg->addWidget(PCustPhone, 2, 4);
    cg->setColumnStretch(2, 1);
    cg->setColumnStretch(4, 1);

    // The payment.
    PmtDate = new QLineEdit(this);
    PmtDate->setObjectName("PmtDate");
    PmtDate->setInputMask("99/99/9999;_");
    Calbutton = button("Calbutton", "...", "Choose the date from a calendar");
    PAmt = new QLineEdit(this);
    PAmt->setObjectName("PAmt");
    PAmt->setMaxLength(10);
    PNotes = new QLineEdit(this);
    PNotes->setObjectName("PNotes");
    PNotes->setMaxLength(25);
    auto* pg = new QGridLayout;
    pg->addWidget(new QLabel("Payment Date:", this), 0, 0);
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(PmtDate);
    dateRow->addWidget(Calbutton);
    pg->addLayout(dateRow, 0, 1);
    pg->addWidget(new QLabel("Paid Amount:", this), 0, 2);
    pg->addWidget(PAmt, 0, 3);
    pg->addWidget(new QLabel("Statement  Note:", this), 1, 0);
    pg->addWidget(PNotes, 1, 1, 1, 3);

    // The two lists with the arrows between them.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    SrcList = new QListWidget(this);
    SrcList->setObjectName("SrcList");
    SrcList->setAccessibleName(QStringLiteral("Open records of the customer"));
    DstList = new QListWidget(this);
    DstList->setObjectName("DstList");
    DstList->setAccessibleName(QStringLiteral("Records the payment goes to"));
    for (QListWidget* l : {SrcList, DstList}) {
        l->setFont(fixed);
        l->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(34, 'W')));
    }
    IncludeBtn = button("IncludeBtn", ">", "Move one record right");
    IncAllBtn = button("IncAllBtn", ">>", "Move all records right");
    ExcludeBtn = button("ExcludeBtn", "<", "Move one record left");
    ExAllBtn = button("ExAllBtn", "<<", "Move all records left");
    auto* arrows = new QVBoxLayout;
    arrows->addStretch(1);
    for (QPushButton* b : {IncludeBtn, IncAllBtn, ExcludeBtn, ExAllBtn})
        arrows->addWidget(b);
    arrows->addStretch(1);
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel("Open Invoices / Deposits:", this), 0, 0);
    lists->addWidget(new QLabel("Items you are posting as paid:", this), 0, 2);
    lists->addWidget(SrcList, 1, 0);
    lists->addLayout(arrows, 1, 1);
    lists->addWidget(DstList, 1, 2);
    IPostedAmt = label("IPostedAmt");
    IPostedAmt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    IPostedAmt->setMinimumWidth(
        QFontMetrics(IPostedAmt->font()).horizontalAdvance("-9,999,999.99 "));
    auto* postedRow = new QHBoxLayout;
    postedRow->addStretch(1);
    postedRow->addWidget(new QLabel("Posted Amount:", this));
    postedRow->addWidget(IPostedAmt);
    lists->addLayout(postedRow, 2, 2);

    PPmtBtn = button("PPmtBtn", "Partial Pay&ment");
    AccountDep = button("AccountDep", "Add &Deposit on Account");
    OKBtn = button("OKBtn", "&Post");
    CancelBtn = button("CancelBtn", "&Cancel");
    HelpBtn = button("HelpBtn", "Help");
    HelpBtn->setEnabled(bool(ctx_.openHelp));
    auto* hint = new QLabel(
        "The Post Button will activate when the PAID amount equals the POSTED amount.", this);
    hint->setWordWrap(true);
    auto* foot = new QHBoxLayout;
    foot->addWidget(PPmtBtn);
    foot->addWidget(AccountDep);
    foot->addStretch(1);
    foot->addWidget(OKBtn);
    foot->addWidget(CancelBtn);
    foot->addWidget(HelpBtn);

    auto* main = new QVBoxLayout(this);
    main->addWidget(customerBox);
    main->addLayout(pg);
    main->addLayout(lists, 1);
    main->addWidget(hint);
    main->addLayout(foot);

    connect(BitBtn3, &QPushButton::clicked, this, &TPayBox::selectCustomer);
    connect(Calbutton, &QPushButton::clicked, this, &TPayBox::pickDate);
    connect(IncludeBtn, &QPushButton::clicked, this, &TPayBox::include);
    connect(IncAllBtn, &QPushButton::clicked, this, &TPayBox::includeAll);
    connect(ExcludeBtn, &QPushButton::clicked, this, &TPayBox::exclude);
    connect(ExAllBtn, &QPushButton::clicked, this, &TPayBox::excludeAll);
    connect(SrcList, &QListWidget::itemActivated, this, &TPayBox::include);
    connect(DstList, &QListWidget::itemActivated, this, &TPayBox::exclude);
    connect(SrcList, &QListWidget::currentRowChanged, this, [this] { updateButtons(); });
    connect(PPmtBtn, &QPushButton::clicked, this, &TPayBox::partialPayment);
    connect(AccountDep, &QPushButton::clicked, this, &TPayBox::addDeposit);
    connect(OKBtn, &QPushButton::clicked, this, &TPayBox::post);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpBtn, &QPushButton::clicked, this, [this] {
        if (ctx_.openHelp) ctx_.openHelp("Payment Wizard");
    });
    connect(PAmt, &QLineEdit::textEdited, this, [this](const QString& text) {
        box_.paidAmountTyped(text.toStdString(), *ctx_.prompter);
        refresh();
    });
    connect(PmtDate, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!refreshing_) box_.payDate = text.toStdString();
    });
    connect(PNotes, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!refreshing_) box_.note = text.toStdString();
    });

    RestoreBounds(this, ctx_.dataFolder, kBoundsSection, kDesignedWidth, kDesignedHeight);
    refresh();
}

TPayBox::~TPayBox() {
    if (invoices_) storage::CloseFileblock(invoices_);
}

void TPayBox::done(int result) {
    SaveBounds(this, ctx_.dataFolder, kBoundsSection);
    QDialog::done(result);
}

bool TPayBox::openFiles() {
    data::OpenRequest request;
    request.name =
        data::FileblockName(ctx_.dataFolder, data::FileKind::Invoice,
                            data::CompanyPrefix(ctx_.company->text(data::Company::CompanyNo)));
    request.kind = data::FileKind::Invoice;
    request.whenMissing = data::CreateMessage(
        "I am going to create a new, empty invoice file for this company.", "New Company");
    request.giveUp = data::GiveUpMessage("Unable to open databases: ");
    request.giveUpWithError = true;
    request.progress = ctx_.progress;
    request.rebuildTitle = "Invoices";
    invoices_ = data::OpenBusinessFileblock(request, *ctx_.prompter).fb;
    return invoices_ != nullptr;
}

void TPayBox::Run(const CustomerWindowContext& context, QWidget* parent) {
    TPayBox box(context, parent);
    if (!box.openFiles()) return;
    box.exec();
}

void TPayBox::selectCustomer() {
    data::CustomerRecord chosen;
    CustomerWindowContext windows = ctx_;
    if (!windows.selectedCustomer) windows.selectedCustomer = &chosen;
    windows.heldInvoices = invoices_;
    std::optional<bool> picked = TCustForm::Pick(windows, false, this);
    if (picked && *picked) customerChosen(*windows.selectedCustomer);
}

void TPayBox::customerChosen(const data::CustomerRecord& customer) {
    if (!invoices_) return;
    box_.chooseCustomer(customer, invoices_, *ctx_.prompter);
    refresh();
}

void TPayBox::pickDate() {
    auto preset = data::ParseUserDate(box_.payDate, box_.dateOrder());
    auto d = TCalendarForm::Pick(this, "Payment Date", preset.value_or(data::Today(*ctx_.clock)),
                                 box_.dateOrder());
    if (d) {
        box_.payDate = data::FormatUserDate(*d, box_.dateOrder());
        refresh();
    }
}

void TPayBox::include() {
    box_.moveRight(std::size_t(std::max(0, SrcList->currentRow())), *ctx_.prompter);
    refresh();
}

void TPayBox::includeAll() {
    box_.moveAllRight(*ctx_.prompter);
    refresh();
}

void TPayBox::exclude() {
    box_.moveLeft(std::size_t(std::max(0, DstList->currentRow())), *ctx_.prompter);
    refresh();
}

void TPayBox::excludeAll() {
    box_.moveAllLeft(*ctx_.prompter);
    refresh();
}

void TPayBox::partialPayment() {
    const int row = SrcList->currentRow();
    if (row < 0 || !box_.partialEnabled(std::size_t(row))) return;
    const std::size_t i = std::size_t(row);
    auto amount = TPPmtDialog::Ask(
        "Partial Payment", Q(box_.partialLabel(i)),
        [this, i](const std::string& text) {
            return box_.checkPartialAmount(i, text, *ctx_.prompter);
        },
        this);
    if (!amount) return;
    box_.partialPayment(i, *amount);
    refresh();
}

void TPayBox::addDeposit() {
    if (!box_.hasCustomer()) return;
    auto amount = TPPmtDialog::Ask(
        "Deposit on Account", Q(box_.depositLabel()),
        [this](const std::string& text) {
            return invoicing::PaymentBox::CheckDepositAmount(text, *ctx_.prompter);
        },
        this);
    if (!amount) return;
    box_.addDeposit(*amount);
    refresh();
}

void TPayBox::post() {
    if (!box_.postEnabled() || !invoices_) return;
    invoicing::SaveFiles files{
        ctx_.dataFolder, *ctx_.company,           invoices_, nullptr, nullptr,
        nullptr,         data::Today(*ctx_.clock)};
    invoicing::PostOutcome outcome =
        invoicing::PostPayment(files, box_.customer().text(Customer::CustNo), box_.payDate,
                               box_.note, box_.right, *ctx_.prompter);
    if (!outcome.dateValid) {
        PmtDate->setFocus();
        return;
    }
    outcome_ = outcome;
    accept();
}

void TPayBox::refresh() {
    refreshing_ = true;
    const bool has = box_.hasCustomer();
    const data::CustomerRecord& c = box_.customer();
    PCustName->setText(has ? Q(c.text(Customer::Name)) : QString());
    PCustNum->setText(has ? Q(c.text(Customer::CustNo)) : QString());
    PCustBal->setText(has ? Q(c.money(Customer::Balance).shownText()) : QString());
    PCustPhone->setText(has ? Q(c.text(Customer::Phone1)) : QString());
    Sname->setText(has ? Q(c.text(Customer::ShortName)) : QString());
    if (PmtDate->text().toStdString() != box_.payDate) PmtDate->setText(Q(box_.payDate));
    if (PAmt->text().toStdString() != box_.paidText()) PAmt->setText(Q(box_.paidText()));
    if (PNotes->text().toStdString() != box_.note) PNotes->setText(Q(box_.note));
    auto fill = [](QListWidget* list, const std::vector<invoicing::PayItem>& items) {
        const int row = list->currentRow();
        list->clear();
        for (const invoicing::PayItem& item : items)
            list->addItem(Q(item.text()));
        if (!items.empty()) list->setCurrentRow(std::clamp(row, 0, int(items.size()) - 1));
    };
    fill(SrcList, box_.left);
    fill(DstList, box_.right);
    IPostedAmt->setText(Q(box_.postedText()));
    refreshing_ = false;
    updateButtons();
}

void TPayBox::updateButtons() {
    const bool has = box_.hasCustomer();
    PmtDate->setEnabled(has);
    Calbutton->setEnabled(has);
    PAmt->setEnabled(has);
    PNotes->setEnabled(has);
    IncludeBtn->setEnabled(has && !box_.left.empty());
    IncAllBtn->setEnabled(has && !box_.left.empty());
    ExcludeBtn->setEnabled(has && !box_.right.empty());
    ExAllBtn->setEnabled(has && !box_.right.empty());
    const int row = SrcList->currentRow();
    PPmtBtn->setEnabled(row >= 0 && box_.partialEnabled(std::size_t(row)));
    AccountDep->setEnabled(has);
    OKBtn->setEnabled(box_.postEnabled());
}

}  // namespace invarro::ui
