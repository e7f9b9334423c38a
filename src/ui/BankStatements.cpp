#include "ui/BankStatements.h"

#include <algorithm>
#include <tuple>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "output/PaymentBlock.h"
#include "storage/Backend.h"
#include "ui/ChangeWatcher.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using banking::LineState;
using banking::ReviewRow;

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
std::string S(const QString& s) {
    return s.toStdString();
}

constexpr const char* kTitle = "Bank Statements";

data::Date TodayOf(const CustomerWindowContext& c) {
    if (c.clock) return data::Today(*c.clock);
    platform::SystemClock clock;
    return data::Today(clock);
}

// The line's amount as the books show money, or as the bank wrote it when it is finer
// than a cent.
std::string AmountText(const banking::StatementLine& l) {
    auto cents = banking::CentsOf(l.amount);
    return cents ? cents->shownText() : l.amount;
}

std::string StateText(const ReviewRow& r) {
    if (r.returns && r.stored.state == LineState::New) return "return";
    return banking::StateName(r.stored.state);
}

std::string Payer(const banking::StatementLine& l) {
    return l.payerName.empty() ? l.payerIban : l.payerName;
}

std::string ReferenceOrText(const banking::StatementLine& l) {
    if (l.reference.empty()) return l.text;
    return l.text.empty() ? l.reference : l.reference + " - " + l.text;
}

QPushButton* Button(QWidget* parent, QLayout* layout, const char* name, const QString& text,
                    const QString& tip) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAccessibleDescription(tip);
    // Enter in the list does not press a button by surprise.
    b->setAutoDefault(false);
    layout->addWidget(b);
    return b;
}

}  // namespace

// ============================================================================ TBankStatements

TBankStatements::TBankStatements(const CustomerWindowContext& context, QWidget* parent)
    : QDialog(parent),
      context_(context),
      prompter_(*context.prompter),
      review_(context.dataFolder, *context.company, *context.prompter, TodayOf(context)) {
    setObjectName("TBankStatements");
    setWindowTitle(kTitle);
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    AccountLabel = new QLabel(this);
    AccountLabel->setObjectName("AccountLabel");
    top->addWidget(AccountLabel, 1);
    auto* showLabel = new QLabel("&Show:", this);
    top->addWidget(showLabel);
    StateFilter = new QComboBox(this);
    StateFilter->setObjectName("StateFilter");
    StateFilter->addItems({"All lines", "New", "Matched", "Posted", "Ignored"});
    StateFilter->setAccessibleName("Show");
    showLabel->setBuddy(StateFilter);
    top->addWidget(StateFilter);
    layout->addLayout(top);

    BankLines = new QTableWidget(0, 7, this);
    BankLines->setObjectName("BankLines");
    BankLines->setAccessibleName("Bank lines");
    BankLines->setHorizontalHeaderLabels(
        {"Date", "Amount", "Cur.", "State", "Payer", "Reference / Text", "Proposal"});
    BankLines->setSelectionBehavior(QAbstractItemView::SelectRows);
    BankLines->setSelectionMode(QAbstractItemView::SingleSelection);
    BankLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    BankLines->setTabKeyNavigation(false);
    BankLines->verticalHeader()->hide();
    BankLines->horizontalHeader()->setStretchLastSection(true);
    BankLines->setWordWrap(false);
    layout->addWidget(BankLines, 1);

    WhyLabel = new QLabel(this);
    WhyLabel->setObjectName("WhyLabel");
    WhyLabel->setWordWrap(true);
    WhyLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    WhyLabel->setMinimumHeight(2 * fontMetrics().height());
    layout->addWidget(WhyLabel);

    auto* buttons = new QHBoxLayout;
    ImportBtn = Button(this, buttons, "ImportBtn", "&Import...",
                       "Import a bank statement file (camt, MT940, OFX or CSV)");
    ConfirmBtn = Button(this, buttons, "ConfirmBtn", "C&onfirm",
                        "Confirm the proposal of the line for posting");
    ChangeBtn = Button(this, buttons, "ChangeBtn", "C&hange...",
                       "Choose the customer and invoices the line pays");
    IgnoreBtn = Button(this, buttons, "IgnoreBtn", "I&gnore", "Never post this line");
    ReopenBtn =
        Button(this, buttons, "ReopenBtn", "&Reopen", "Make a matched or ignored line new again");
    buttons->addStretch(1);
    PostBtn = Button(this, buttons, "PostBtn", "&Post",
                     "Post every matched line as the payment it was confirmed as");
    auto* close = Button(this, buttons, "CloseBtn", "&Close", "Close the window");
    auto* help = Button(this, buttons, "HelpBtn", "Help", "Help on bank statements");
    help->setEnabled(bool(context_.openHelp));
    layout->addLayout(buttons);

    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setAccessibleName("Status");
    layout->addWidget(StatusLabel);

    auto guarded = [this](void (TBankStatements::*command)()) {
        return [this, command] { Guarded(prompter_, [&] { (this->*command)(); }); };
    };
    connect(ImportBtn, &QPushButton::clicked, this, guarded(&TBankStatements::importPressed));
    connect(ConfirmBtn, &QPushButton::clicked, this, guarded(&TBankStatements::confirmPressed));
    connect(ChangeBtn, &QPushButton::clicked, this, guarded(&TBankStatements::changePressed));
    connect(IgnoreBtn, &QPushButton::clicked, this, guarded(&TBankStatements::ignorePressed));
    connect(ReopenBtn, &QPushButton::clicked, this, guarded(&TBankStatements::reopenPressed));
    connect(PostBtn, &QPushButton::clicked, this, guarded(&TBankStatements::postPressed));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (context_.openHelp) context_.openHelp(kHelpTopic);
    });
    connect(StateFilter, &QComboBox::currentIndexChanged, this, [this] { fill(currentLine()); });
    connect(BankLines, &QTableWidget::itemSelectionChanged, this, [this] { rowChanged(); });
    connect(BankLines, &QTableWidget::cellDoubleClicked, this,
            guarded(&TBankStatements::changePressed));

    const std::string iban = review_.companyIban();
    AccountLabel->setText(iban.empty() ? QString("The company has no IBAN in its settings.")
                                       : "Account: " + Q(output::GroupedIban(iban)));
    refresh();
    RestoreBounds(this, context_.dataFolder, kBoundsSection, 1000, 560);
    ChangeWatcher::instance().watch(
        this, [this](const ChangeWatcher::Names& names) { changedElsewhere(names); });
}

void TBankStatements::changedElsewhere(const std::vector<std::string>& names) {
    const std::string prefix =
        data::CompanyPrefix(context_.company->ansi(data::Company::CompanyNo));
    bool shown = false;
    for (data::FileKind kind :
         {data::FileKind::BankLine, data::FileKind::Invoice, data::FileKind::Customer}) {
        const std::string name =
            storage::FileblockName(data::FileblockName(context_.dataFolder, kind, prefix));
        shown = shown || std::find(names.begin(), names.end(), name) != names.end();
    }
    if (shown) refreshWhenFree();
}

void TBankStatements::refreshWhenFree() {
    // A line being matched by hand holds a row of the review: the lines are read again once
    // that window (or any message) has closed.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        QTimer::singleShot(ChangeWatcher::kIntervalMs, this, [this] { refreshWhenFree(); });
        return;
    }
    refresh();
}

void TBankStatements::Run(const CustomerWindowContext& context, QWidget* parent) {
    TBankStatements window(context, parent);
    window.exec();
}

void TBankStatements::done(int result) {
    SaveBounds(this, context_.dataFolder, kBoundsSection);
    QDialog::done(result);
}

void TBankStatements::status(const std::string& text) {
    StatusLabel->setText(Q(text));
}

void TBankStatements::refresh() {
    std::string error;
    if (!review_.refresh(&error)) prompter_.inform(kTitle, error, platform::Icon::Error);
    fill(currentLine());
}

bool TBankStatements::shows(const ReviewRow& row) const {
    switch (Filter(StateFilter->currentIndex())) {
        case Filter::All:
            return true;
        case Filter::New:
            return row.stored.state == LineState::New;
        case Filter::Matched:
            return row.stored.state == LineState::Matched;
        case Filter::Posted:
            return row.stored.state == LineState::Posted;
        case Filter::Ignored:
            return row.stored.state == LineState::Ignored;
    }
    return true;
}

void TBankStatements::setFilter(Filter filter) {
    StateFilter->setCurrentIndex(int(filter));
}

void TBankStatements::fill(int32_t keep) {
    // Each return stands right below the payment it returns.
    std::vector<const ReviewRow*> order;
    const auto& rows = review_.rows();
    auto returnsOf = [&](const ReviewRow& paid) {
        for (const ReviewRow& r : rows)
            if (r.returns && r.returns->recNo == paid.stored.recNo && shows(r)) order.push_back(&r);
    };
    for (const ReviewRow& r : rows) {
        const bool paymentShown =
            r.returns && review_.row(r.returns->recNo) && shows(*review_.row(r.returns->recNo));
        if (paymentShown || !shows(r)) continue;
        order.push_back(&r);
        returnsOf(r);
    }
    // Hidden payments leave their returns where they are.
    for (const ReviewRow& r : rows)
        if (r.returns && shows(r) && std::find(order.begin(), order.end(), &r) == order.end())
            order.push_back(&r);

    const QSignalBlocker block(BankLines);
    BankLines->setRowCount(int(order.size()));
    int keepRow = order.empty() ? -1 : 0;
    for (int i = 0; i < int(order.size()); ++i) {
        const ReviewRow& r = *order[size_t(i)];
        const banking::StatementLine& l = r.stored.line;
        const std::vector<std::string> cells = {
            banking::IsoDate(l.bookDate), AmountText(l), l.currency, StateText(r), Payer(l),
            ReferenceOrText(l),           r.shown};
        for (int c = 0; c < int(cells.size()); ++c) {
            auto* item = new QTableWidgetItem(Q(cells[size_t(c)]));
            if (c == 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setData(Qt::UserRole, r.stored.recNo);
            item->setToolTip(Q(cells[size_t(c)]));
            BankLines->setItem(i, c, item);
        }
        if (r.stored.recNo == keep) keepRow = i;
    }
    BankLines->resizeColumnsToContents();
    for (int c : {4, 5})
        BankLines->setColumnWidth(c, std::min(BankLines->columnWidth(c), 220));
    if (keepRow >= 0) BankLines->selectRow(keepRow);
    int counts[4] = {0, 0, 0, 0};
    for (const ReviewRow& r : rows) {
        const LineState s = r.stored.state;
        ++counts[s == LineState::New       ? 0
                 : s == LineState::Matched ? 1
                 : s == LineState::Posted  ? 2
                                           : 3];
    }
    status(std::to_string(rows.size()) + " lines: " + std::to_string(counts[0]) + " new, " +
           std::to_string(counts[1]) + " matched, " + std::to_string(counts[2]) + " posted, " +
           std::to_string(counts[3]) + " ignored.");
    rowChanged();
}

int32_t TBankStatements::currentLine() const {
    const int row = BankLines->currentRow();
    const QTableWidgetItem* item = row >= 0 ? BankLines->item(row, 0) : nullptr;
    return item && BankLines->selectionModel()->isRowSelected(row, {})
               ? item->data(Qt::UserRole).toInt()
               : 0;
}

bool TBankStatements::showLine(int32_t recNo) {
    for (int r = 0; r < BankLines->rowCount(); ++r)
        if (BankLines->item(r, 0)->data(Qt::UserRole).toInt() == recNo) {
            BankLines->selectRow(r);
            BankLines->scrollToItem(BankLines->item(r, 0));
            return true;
        }
    return false;
}

void TBankStatements::rowChanged() {
    const ReviewRow* r = review_.row(currentLine());
    WhyLabel->setText(r ? Q(r->shown) : QString());
    const bool open = r && r->stored.state != LineState::Posted;
    ConfirmBtn->setEnabled(r && r->canConfirm());
    ChangeBtn->setEnabled(open && !r->stored.line.reversal &&
                          !(r->stored.line.amount.rfind('-', 0) == 0));
    IgnoreBtn->setEnabled(open && r->stored.state != LineState::Ignored);
    ReopenBtn->setEnabled(open && r->stored.state != LineState::New);
    bool anyMatched = false;
    for (const ReviewRow& row : review_.rows())
        anyMatched = anyMatched || row.stored.state == LineState::Matched;
    PostBtn->setEnabled(anyMatched);
}

// ---------------------------------------------------------------- commands

void TBankStatements::importPressed() {
    const QString path = chooseFile ? chooseFile()
                                    : QFileDialog::getOpenFileName(
                                          this, "Import Bank Statement", Q(context_.dataFolder),
                                          "Bank statements (*.xml *.XML *.sta *.STA *.mt940 *.txt "
                                          "*.ofx *.OFX *.qfx *.csv *.CSV);;All files (*)",
                                          nullptr, QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) importFile(path);
}

void TBankStatements::importFile(const QString& path) {
    const std::string file = S(path);
    auto bytes = data::ReadWholeFile(file);
    if (!bytes) {
        prompter_.inform(kTitle, file + " cannot be read.", platform::Icon::Error);
        return;
    }
    const std::string format = banking::DetectFormat(*bytes);
    banking::CsvMapping mapping = review_.csvMapping();
    if (format == "csv") {
        // The columns are set once per company; the dialog shows them for each CSV file.
        TCsvMappingDialog dialog(mapping, prompter_, this);
        if (dialog.exec() != QDialog::Accepted) return;
        mapping = dialog.mapping();
        std::string error;
        if (!review_.setCsvMapping(mapping, &error))
            prompter_.inform(kTitle, "The column mapping could not be kept: " + error,
                             platform::Icon::Warning);
    }
    const banking::ReadResult read = banking::ReadStatementFile(*bytes, format, mapping);
    if (!read.ok) {
        prompter_.inform(kTitle,
                         file + (read.errorLine > 0 ? ":" + std::to_string(read.errorLine) : "") +
                             ": " + read.error + ". Nothing was stored.",
                         platform::Icon::Error);
        return;
    }
    const std::vector<std::string> other =
        banking::OtherAccounts(read.lines, review_.companyIban());
    if (!other.empty() &&
        !prompter_.yesNo(kTitle,
                         "The statement is of account " + other.front() +
                             ", not of the company's account " + review_.companyIban() +
                             ".\n\nImport its lines into this company anyway?",
                         platform::Answer::No, platform::Icon::Warning))
        return;
    const banking::BankReview::Imported imported = review_.store(read);
    if (!imported.ok) {
        prompter_.inform(kTitle, imported.message, platform::Icon::Error);
        return;
    }
    fill(imported.added.empty() ? currentLine() : imported.added.front());
    status(imported.message);
}

void TBankStatements::decide(bool (banking::BankReview::*op)(int32_t, std::string*),
                             const std::string& done) {
    std::string why;
    const int32_t line = currentLine();
    if (!(review_.*op)(line, &why))
        prompter_.inform(kTitle, "The line cannot be " + done + ": " + why + ".",
                         platform::Icon::Warning);
    fill(line);
}

void TBankStatements::confirmPressed() {
    decide(&banking::BankReview::confirm, "confirmed");
}

void TBankStatements::changePressed() {
    const ReviewRow* r = review_.row(currentLine());
    if (!r || !ChangeBtn->isEnabled()) return;
    const int32_t line = r->stored.recNo;
    TBankLineChoice choice(review_, *r, this);
    if (choice.exec() != QDialog::Accepted) return;
    std::string why;
    if (!review_.choose(line, choice.customer(), choice.invoices(), &why))
        prompter_.inform(kTitle, "The line cannot be matched so: " + why + ".",
                         platform::Icon::Warning);
    fill(line);
}

void TBankStatements::ignorePressed() {
    decide(&banking::BankReview::ignore, "ignored");
}

void TBankStatements::reopenPressed() {
    decide(&banking::BankReview::reopen, "reopened");
}

void TBankStatements::postPressed() {
    const int32_t line = currentLine();
    const banking::BankReview::PostSummary s = review_.postConfirmed();
    fill(line);
    std::string text = std::to_string(s.posted) + (s.posted == 1 ? " line" : " lines") + " posted.";
    if (s.stale > 0 || s.failed > 0) {
        for (const std::string& m : s.messages)
            text += "\n" + m;
        prompter_.inform(kTitle, text, platform::Icon::Warning);
    }
    status(text.substr(0, text.find('\n')));
}

void TBankStatements::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls() && mime->urls().size() == 1 && mime->urls().front().isLocalFile())
        event->acceptProposedAction();
}

void TBankStatements::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    const QString path = urls.front().toLocalFile();
    Guarded(prompter_, [&] { importFile(path); });
}

// ============================================================================ TBankLineChoice

TBankLineChoice::TBankLineChoice(const banking::BankReview& review, const ReviewRow& row,
                                 QWidget* parent)
    : QDialog(parent),
      review_(review),
      amount_(banking::CentsOf(row.stored.line.amount).value_or(data::Money())) {
    setObjectName("TBankLineChoice");
    setWindowTitle("Match Bank Line");
    auto* layout = new QVBoxLayout(this);
    const banking::StatementLine& l = row.stored.line;
    auto* line = new QLabel(Q(banking::IsoDate(l.bookDate) + "  " + amount_.shownText() + " " +
                              l.currency + "  " + Payer(l) + "  " + ReferenceOrText(l)),
                            this);
    line->setObjectName("LineLabel");
    line->setWordWrap(true);
    layout->addWidget(line);

    auto* form = new QFormLayout;
    CustomerBox = new QComboBox(this);
    CustomerBox->setObjectName("CustomerBox");
    CustomerBox->setAccessibleName("Customer");
    for (const auto& [number, name] : review.books().customerNames)
        CustomerBox->addItem(Q(number + "  " + name), Q(number));
    form->addRow("C&ustomer:", CustomerBox);
    InvoiceList = new QListWidget(this);
    InvoiceList->setObjectName("InvoiceList");
    InvoiceList->setAccessibleName("Open invoices");
    // Room for an invoice's number, date and balance on one row.
    InvoiceList->setMinimumWidth(InvoiceList->fontMetrics().horizontalAdvance(QString(48, 'x')));
    form->addRow("&Open invoices:", InvoiceList);
    layout->addLayout(form);
    PaysLabel = new QLabel(this);
    PaysLabel->setObjectName("PaysLabel");
    PaysLabel->setWordWrap(true);
    layout->addWidget(PaysLabel);

    DialogButtons buttons = MakeDialogButtons(this, "OK", nullptr);
    connect(buttons.box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons.box);

    // Starts at what the line is matched to or proposed for.
    std::string custNo = row.stored.custNo;
    std::vector<std::string> chosen;
    if (row.proposal.found()) {
        custNo = row.proposal.custNo;
        for (const banking::Allocation& a : row.proposal.invoices)
            chosen.push_back(a.invNo);
    }
    const int at = CustomerBox->findData(Q(custNo));
    CustomerBox->setCurrentIndex(at >= 0 ? at : 0);
    customerChanged();
    for (int i = 0; i < InvoiceList->count(); ++i) {
        QListWidgetItem* item = InvoiceList->item(i);
        const std::string number = S(item->data(Qt::UserRole).toString());
        if (std::find(chosen.begin(), chosen.end(), number) != chosen.end())
            item->setCheckState(Qt::Checked);
    }
    connect(CustomerBox, &QComboBox::currentIndexChanged, this, [this] { customerChanged(); });
    connect(InvoiceList, &QListWidget::itemChanged, this, [this] { update(); });
    update();
}

std::string TBankLineChoice::customer() const {
    return S(CustomerBox->currentData().toString());
}

std::vector<std::string> TBankLineChoice::invoices() const {
    std::vector<std::string> chosen;
    for (int i = 0; i < InvoiceList->count(); ++i)
        if (InvoiceList->item(i)->checkState() == Qt::Checked)
            chosen.push_back(S(InvoiceList->item(i)->data(Qt::UserRole).toString()));
    return chosen;
}

void TBankLineChoice::customerChanged() {
    const QSignalBlocker block(InvoiceList);
    InvoiceList->clear();
    for (const banking::OpenInvoice& o : review_.openInvoices(customer())) {
        const std::string date = o.sortDate.size() == 8
                                     ? o.sortDate.substr(0, 4) + "-" + o.sortDate.substr(4, 2) +
                                           "-" + o.sortDate.substr(6, 2)
                                     : o.sortDate;
        auto* item = new QListWidgetItem(
            Q("Invoice " + o.number + "   " + date + "   due " + o.due.shownText()), InvoiceList);
        item->setData(Qt::UserRole, Q(o.number));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Unchecked);
    }
    update();
}

void TBankLineChoice::update() {
    const banking::ChosenPayment pay =
        banking::PaymentForChoice(amount_, customer(), invoices(), review_.books());
    PaysLabel->setText(Q(pay.proposal ? "Pays: " + banking::Described(*pay.proposal)
                                      : "Cannot be posted so: " + pay.why));
}

// ============================================================================ TCsvMappingDialog

TCsvMappingDialog::TCsvMappingDialog(const banking::CsvMapping& mapping,
                                     platform::Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter), base_(mapping) {
    setObjectName("TCsvMappingDialog");
    setWindowTitle("CSV Statement Columns");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "How the bank writes its CSV statements. Give each column by its header as the bank "
        "writes it; the amount is one signed column, or a credit and a debit column.",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    delimiter_ = new QComboBox(this);
    delimiter_->setObjectName("Delimiter");
    delimiter_->addItems({"; (semicolon)", ", (comma)", "Tab", "| (bar)"});
    const std::string delimiters = ";,\t|";
    const std::size_t d = delimiters.find(mapping.delimiter);
    delimiter_->setCurrentIndex(d == std::string::npos ? 0 : int(d));
    form->addRow("&Delimiter:", delimiter_);
    decimal_ = new QComboBox(this);
    decimal_->setObjectName("DecimalMark");
    decimal_->addItems({"Comma (1.234,56)", "Point (1,234.56)"});
    decimal_->setCurrentIndex(mapping.decimalComma ? 0 : 1);
    form->addRow("Decimal &mark:", decimal_);
    dateOrder_ = new QComboBox(this);
    dateOrder_->setObjectName("DateOrder");
    dateOrder_->addItems({"Day, month, year", "Month, day, year", "Year, month, day"});
    dateOrder_->setCurrentIndex(int(mapping.dateOrder));
    form->addRow("Date &order:", dateOrder_);
    using M = banking::CsvMapping;
    const std::vector<std::tuple<const char*, const char*, std::string M::*>> fields = {
        {"Date", "Booking &date column:", &M::date},
        {"Amount", "&Amount column:", &M::amount},
        {"Credit", "&Credit column:", &M::credit},
        {"Debit", "D&ebit column:", &M::debit},
        {"Currency", "C&urrency column:", &M::currency},
        {"Name", "&Payer column:", &M::name},
        {"Iban", "Payer &IBAN column:", &M::iban},
        {"Text", "&Text column:", &M::text},
        {"Reference", "&Reference column:", &M::reference},
        {"BankId", "&Bank's id column:", &M::bankId}};
    for (const auto& [name, caption, member] : fields) {
        auto* e = new QLineEdit(Q(mapping.*member), this);
        e->setObjectName(QString(name) + "Column");
        form->addRow(caption, e);
        columns_.push_back({member, e});
    }
    layout->addLayout(form);
    DialogButtons buttons = MakeDialogButtons(this, "OK", nullptr);
    connect(buttons.box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons.box);
}

banking::CsvMapping TCsvMappingDialog::mapping() const {
    banking::CsvMapping m = base_;
    m.delimiter = std::string(";,\t|")[size_t(std::max(0, delimiter_->currentIndex()))];
    m.decimalComma = decimal_->currentIndex() == 0;
    m.dateOrder = banking::CsvDateOrder(std::max(0, dateOrder_->currentIndex()));
    for (const auto& [member, edit] : columns_)
        m.*member = data::TrimmedText(S(edit->text()));
    return m;
}

void TCsvMappingDialog::accept() {
    const std::string problem = banking::CsvMappingProblem(mapping());
    if (!problem.empty()) {
        prompter_.inform("CSV Statement Columns", problem, platform::Icon::Warning);
        return;
    }
    QDialog::accept();
}

}  // namespace invarro::ui
