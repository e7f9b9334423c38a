#include "ui/CStmnt.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data/IniFile.h"
#include "data/Records.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "ui/InvOutput.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Company;
using platform::Icon;

constexpr const char* kBoundsSection = "CVStmnt";
constexpr const char* kSettingsSection = "Statement";

bool gUnpaidOnly = false;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

data::Date TodayOf(const CustomerWindowContext& ctx) {
    if (ctx.clock) return data::Today(*ctx.clock);
    return data::Today(platform::SystemClock());
}

output::FormContext Form(const CustomerWindowContext& ctx) {
    return output::FormContext{*ctx.company, ctx.dataFolder};
}

std::unique_ptr<output::Canvas> PrinterCanvas(const CustomerWindowContext& ctx,
                                              const std::string& title) {
    if (ctx.printerCanvas) return ctx.printerCanvas();
    if (!PrinterReady(*ctx.prompter, title)) return nullptr;
    return std::make_unique<platform::qt::PainterCanvas>(platform::qt::ProgramPrinter());
}

std::unique_ptr<output::Canvas> PdfCanvas(const CustomerWindowContext& ctx) {
    if (ctx.pdfCanvas) return ctx.pdfCanvas();
    return std::make_unique<platform::qt::PainterCanvas>(ctx.shell);
}

// Writes the statement's PDF; a failure is shown.
void WritePdf(const CustomerWindowContext& ctx, const output::Statement& s) {
    std::unique_ptr<output::Canvas> canvas = PdfCanvas(ctx);
    const output::PdfOutcome out = output::WriteStatementPdf(*canvas, s, Form(ctx), TodayOf(ctx));
    if (!out.ok)
        ctx.prompter->inform("Send to PDF", out.error, Icon::Error);
    else if (!out.error.empty())
        ctx.prompter->inform("Send to PDF", out.error, Icon::Warning);
    if (out.ok && ctx.mainStatus) ctx.mainStatus(Q(out.status));
}

}  // namespace

bool TCustStmnt::UnpaidOnly() {
    return gUnpaidOnly;
}

void TCustStmnt::SetUnpaidOnly(bool on) {
    gUnpaidOnly = on;
}

TCustStmnt::TCustStmnt(const CustomerWindowContext& context, const output::StatementFiles& files,
                       std::string custNo, QWidget* parent)
    : QDialog(parent), ctx_(context), files_(files), custNo_(std::move(custNo)) {
    setObjectName("TCustStmnt");
    setModal(true);
    setSizeGripEnabled(true);
    setWindowTitle(ctx_.emailMode ? "Customer Statement - (E-Mail Mode)" : "Customer Statement");

    grid_ = new QTableWidget(this);
    grid_->setObjectName("StmntGrid");
    grid_->setAccessibleName(QStringLiteral("Statement"));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->hide();
    grid_->setFont(
        platform::qt::ToQFont(output::FormFontOf(*ctx_.company, output::FormFont::Body)));

    unpaid_ = new QCheckBox("&Show Unpaid Records Only", this);
    unpaid_->setObjectName("UnpaidCB");
    unpaid_->setChecked(gUnpaidOnly);
    connect(unpaid_, &QCheckBox::toggled, this, [this](bool on) {
        gUnpaidOnly = on;
        Guarded(*ctx_.prompter, [&] { rebuild(); });
    });

    print_ = new QPushButton(ctx_.emailMode ? "&E-Mail" : "&Print", this);
    print_->setObjectName("PrintBtn");
    // In e-mail mode the statement goes out through the program's mail client.
    print_->setEnabled(!ctx_.emailMode || ctx_.mailer);
    connect(print_, &QPushButton::clicked, this,
            [this] { Guarded(*ctx_.prompter, [&] { print(); }); });
    auto* pdf = new QPushButton("Send to PDF", this);
    pdf->setObjectName("PdfBtn");
    connect(pdf, &QPushButton::clicked, this,
            [this] { Guarded(*ctx_.prompter, [&] { sendToPdf(); }); });
    auto* close = new QPushButton("Close", this);
    close->setObjectName("CloseBtn");
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* help = new QPushButton("Help", this);
    help->setObjectName("HelpBtn");
    help->setEnabled(bool(ctx_.openHelp));
    connect(help, &QPushButton::clicked, this,
            [this] { ctx_.openHelp(std::string(output::kStatementHelp)); });

    auto* statusBar = new QStatusBar(this);
    status_ = new QLabel(statusBar);
    status_->setObjectName("StatusPanel");
    statusBar->addWidget(status_, 1);
    statusBar->setSizeGripEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(unpaid_);
    buttons->addStretch(1);
    for (QPushButton* b : {print_, pdf, close, help})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);
    layout->addWidget(statusBar);
    RestoreBounds(this, ctx_.dataFolder, kBoundsSection, 706, 441);
    rebuild();
}

void TCustStmnt::rebuild() {
    statement_ = output::BuildStatement(files_, custNo_, gUnpaidOnly, *ctx_.company);
    fillGrid();
    status_->setText(Q(output::SelectedCountText(statement_)));
}

void TCustStmnt::fillGrid() {
    const auto rows = output::StatementGrid(statement_, *ctx_.company);
    grid_->clear();
    grid_->setRowCount(int(rows.size()));
    grid_->setColumnCount(7);
    for (int r = 0; r < int(rows.size()); ++r) {
        for (int c = 0; c < 7; ++c) {
            auto* item = new QTableWidgetItem(Q(rows[size_t(r)][size_t(c)]));
            // Amounts line up on their decimal point: right-aligned with two decimals.
            if (r > 0 && c >= 3 && c <= 5)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid_->setItem(r, c, item);
        }
    }
    grid_->resizeColumnsToContents();
    for (int c = 0; c < 7; ++c)
        grid_->setColumnWidth(c, grid_->columnWidth(c) + 8);
}

QString TCustStmnt::statusText() const {
    return status_->text();
}

void TCustStmnt::print() {
    if (ctx_.emailMode) {
        emailStatement();
        return;
    }
    std::unique_ptr<output::Canvas> printer = PrinterCanvas(ctx_, "Print Statement");
    if (!printer) return;
    if (!output::PrintStatement(*printer, statement_, Form(ctx_), TodayOf(ctx_))) {
        const std::string error = printer->lastError();
        ctx_.prompter->inform("Print Statement",
                              error.empty() ? "The statement could not be printed." : error,
                              Icon::Error);
        return;
    }
    status_->setText(Q("Statement for " + statement_.name + " sent to print queue."));
}

void TCustStmnt::emailStatement() {
    if (!ctx_.mailer) return;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    bool sent = false;
    platform::MailError error;
    // Made and shown before the server is connected.
    std::optional<platform::MailMessage> message = output::ComposeStatementMail(
        statement_, *ctx_.company, TodayOf(ctx_), MailPdfOf(ctx_), MailTextsOf(ctx_), error);
    if (message) {
        if (!ConfirmFromWindow(ctx_, *message, this)) {
            status_->setText(Q("Statement for " + statement_.name + " was not sent by e-mail."));
            return;
        }
        if (!output::RunMailSession(
                *ctx_.company, *ctx_.mailer, *ctx_.prompter, progress,
                [&] { sent = ctx_.mailer->send(*message, error); }, MailLoginOf(ctx_)))
            return;
    }
    if (!sent) {
        ctx_.prompter->inform("E-Mail Statement",
                              "The statement was not sent by e-mail. " + error.text, Icon::Error);
        return;
    }
    status_->setText(Q("Statement for " + statement_.name + " sent by e-mail."));
    ctx_.prompter->inform("E-Mail Statement", "Statement sent by e-mail.");
}

void TCustStmnt::sendToPdf() {
    if (!statement_.hasActivity()) {
        ctx_.prompter->inform("Customer: " + statement_.name, std::string(output::kNoActivity));
        return;
    }
    WritePdf(ctx_, statement_);
}

void TCustStmnt::done(int result) {
    SaveBounds(this, ctx_.dataFolder, kBoundsSection);
    QDialog::done(result);
}

void TCustStmnt::View(const CustomerWindowContext& context, const output::StatementFiles& files,
                      const std::string& custNo, QWidget* parent) {
    const output::Statement s =
        output::BuildStatement(files, custNo, gUnpaidOnly, *context.company);
    if (!s.hasActivity()) {
        context.prompter->inform("Customer: " + s.name, std::string(output::kNoActivity));
        return;
    }
    TCustStmnt window(context, files, custNo, parent);
    window.exec();
}

// ------------------------------------------------------------------------ selection

TStmntSelect::TStmntSelect(const CustomerWindowContext& context, QWidget* parent)
    : QDialog(parent), ctx_(context) {
    setObjectName("TStmntSelect");
    setWindowTitle("Statement Selection");
    auto* mode = new QLabel(ctx_.emailMode ? "E-Mail Mode" : "Printer Mode", this);
    mode->setObjectName("Label1");
    excludeEmail_ = new QCheckBox(ctx_.emailMode ? "Bypass customers without an e-mail address"
                                                 : "Bypass customers with an e-mail address",
                                  this);
    excludeEmail_->setObjectName("ExcludeEmail");
    excludeEmail_->setChecked(true);

    auto* balanceBox = new QGroupBox(" Account Balance Selection: ", this);
    auto* balanceLayout = new QVBoxLayout(balanceBox);
    const auto captions = output::BalanceOptionCaptions(*ctx_.company);
    const char* names[4] = {"RBnonzero", "RBover30", "RBover60", "RBover90"};
    for (int i = 0; i < 4; ++i) {
        balance_[i] = new QRadioButton(Q(captions[size_t(i)]), balanceBox);
        balance_[i]->setObjectName(names[i]);
        balanceLayout->addWidget(balance_[i]);
    }
    balance_[0]->setChecked(true);

    auto* detailBox = new QGroupBox(" Statement Detail: ", this);
    auto* detailLayout = new QVBoxLayout(detailBox);
    auto* all = new QRadioButton("All activity (paid and unpaid)", detailBox);
    all->setObjectName("RBall");
    unpaidOnly_ = new QRadioButton("Only Unpaid Transactions", detailBox);
    unpaidOnly_->setObjectName("RBunpaid");
    unpaidOnly_->setChecked(true);
    detailLayout->addWidget(all);
    detailLayout->addWidget(unpaidOnly_);

    ltZero_ = new QCheckBox("Do not include balances less than zero", this);
    ltZero_->setObjectName("LTZeroCB");
    const data::IniFile ini(data::IniFilePath(ctx_.dataFolder));
    ltZero_->setChecked(ini.readString(kSettingsSection, "LTZero", "N") == "Y");

    DialogButtons buttons = MakeDialogButtons(
        this, "OK",
        ctx_.openHelp
            ? std::function<void()>([this] { ctx_.openHelp(std::string(output::kSelectionHelp)); })
            : std::function<void()>());
    connect(buttons.box, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mode);
    layout->addWidget(excludeEmail_);
    layout->addWidget(balanceBox);
    layout->addWidget(detailBox);
    layout->addWidget(ltZero_);
    layout->addWidget(buttons.box);
}

output::BatchSelection TStmntSelect::selection() const {
    output::BatchSelection sel;
    sel.emailMode = ctx_.emailMode;
    sel.excludeEmail = excludeEmail_->isChecked();
    const output::BalanceTest tests[4] = {output::BalanceTest::NonZero, output::BalanceTest::Over30,
                                          output::BalanceTest::Over60, output::BalanceTest::Over90};
    for (int i = 0; i < 4; ++i)
        if (balance_[i]->isChecked()) sel.balance = tests[i];
    sel.unpaidOnly = unpaidOnly_->isChecked();
    sel.skipNegative = ltZero_->isChecked();
    return sel;
}

void TStmntSelect::done(int result) {
    if (result == QDialog::Accepted) {
        data::IniFile ini(data::IniFilePath(ctx_.dataFolder));
        ini.writeString(kSettingsSection, "LTZero", ltZero_->isChecked() ? "Y" : "N");
    }
    QDialog::done(result);
}

// ------------------------------------------------------------------------ batch size

TStmntBatch::TStmntBatch(const CustomerWindowContext& context, int count, QWidget* parent)
    : QDialog(parent), ctx_(context), count_(count), size_(count) {
    setObjectName("TStmntBatch");
    setWindowTitle("Batch Print Statements");
    auto* label1 = new QLabel(
        Q("There are " + std::to_string(count) +
          (ctx_.emailMode ? " statements to be e-mailed." : " statements to be printed.")),
        this);
    label1->setObjectName("Label1");
    auto* label2 = new QLabel(
        Q("Last Batch Run: " + data::TrimmedText(ctx_.company->text(Company::LastBatchStmntDate))),
        this);
    label2->setObjectName("Label2");
    number_ = new QLineEdit(QString::number(count), this);
    number_->setObjectName("EMBNum");
    number_->setMaxLength(4);
    number_->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), number_));
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel("Print in &batches of:", this);
    caption->setBuddy(number_);
    row->addWidget(caption);
    row->addWidget(number_);
    DialogButtons buttons = MakeDialogButtons(
        this, ctx_.emailMode ? "&E-Mail" : "&Print",
        ctx_.openHelp
            ? std::function<void()>([this] { ctx_.openHelp(std::string(output::kStatementHelp)); })
            : std::function<void()>());
    connect(buttons.box, &QDialogButtonBox::accepted, this, &TStmntBatch::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(label2);
    layout->addLayout(row);
    layout->addWidget(buttons.box);
}

void TStmntBatch::accept() {
    const auto size = output::BatchSize(number_->text().toStdString(), count_);
    if (!size) {
        ctx_.prompter->inform("Number to Batch Print", std::string(output::kBatchSizeEmpty),
                              Icon::Warning);
        number_->setFocus();
        return;
    }
    size_ = *size;
    QDialog::accept();
}

// ------------------------------------------------------------------------ batch run

namespace {

// After a batch that went through: the label queue's flag and the date of the run.
void FinishBatch(const CustomerWindowContext& context) {
    if (context.labelQueue && context.labelsWaiting &&
        context.company->yes(Company::LabelQueueOnBatch))
        context.labelsWaiting(true);
    if (!output::StoreLastBatchDate(context.dataFolder, *context.company, TodayOf(context),
                                    *context.prompter))
        context.prompter->inform(std::string(output::kBatchTitle),
                                 "The date of this batch run could not be stored.", Icon::Warning);
}

// The batch in e-mail mode: one connection for the run; a refused message is counted and
// the run goes on, a broken connection ends it, and the counts say what went.
void EmailStatementBatch(const CustomerWindowContext& context, const output::StatementFiles& files,
                         output::BatchRun run,
                         const std::function<void(const std::string&)>& status) {
    if (!context.prompter->yesNo(
            "Batch E-Mail",
            output::StatementBatchPreview(files.customers, run.customers, *context.company)))
        return;
    platform::SilentProgress silent;
    platform::Progress& progress = context.progress ? *context.progress : silent;
    output::StatementMailRun mailed;
    const output::BatchOutcome& out = mailed.batch;
    const output::MailRunCounts& counts = mailed.counts;
    const bool ran = output::RunMailSession(
        *context.company, *context.mailer, *context.prompter, progress,
        [&] {
            mailed = output::EmailStatementBatch(
                files, run, *context.company, TodayOf(context), *context.mailer, context.labelQueue,
                *context.prompter, progress, status, MailPdfOf(context), MailTextsOf(context));
            if (out.completed) {
                FinishBatch(context);
                context.prompter->inform(std::string(output::kBatchTitle),
                                         "Batch complete. " + std::to_string(counts.sent) +
                                             " statements sent by e-mail.");
            }
        },
        MailLoginOf(context));
    if (!ran || out.canceled) return;
    const std::string problems = output::MailRunProblems(counts, "statement");
    if (problems.empty())
        context.prompter->inform("Batch E-Mail", "E-mail operation complete.");
    else
        context.prompter->inform("Batch E-Mail", "E-mail operation complete. " + problems,
                                 Icon::Warning);
}

}  // namespace

void BatchStatements(const CustomerWindowContext& context, const output::StatementFiles& files,
                     const std::function<void(const std::string&)>& status, QWidget* parent) {
    if (context.emailMode && !context.mailer) return;
    TStmntSelect select(context, parent);
    if (select.exec() != QDialog::Accepted) return;
    const output::BatchSelection sel = select.selection();
    const auto chosen = output::SelectStatementCustomers(files, sel, *context.company);
    if (!chosen) {
        context.prompter->inform(std::string(output::kBatchTitle),
                                 "The customer file could not be read.", Icon::Error);
        return;
    }
    if (chosen->empty()) {
        context.prompter->inform(std::string(output::kBatchTitle),
                                 std::string(output::kNoStatements));
        return;
    }
    TStmntBatch size(context, int(chosen->size()), parent);
    if (size.exec() != QDialog::Accepted) return;

    output::BatchRun run;
    run.customers = *chosen;
    run.batchSize = size.batchSize();
    run.unpaidOnly = sel.unpaidOnly;
    if (context.emailMode) {
        EmailStatementBatch(context, files, run, status);
        return;
    }
    std::unique_ptr<output::Canvas> printer = PrinterCanvas(context, "Batch Print Statements");
    if (!printer) return;
    run.emailMode = false;
    run.unpaidOnly = sel.unpaidOnly;
    output::BatchHooks hooks;
    hooks.render = [&](const output::Statement& s) {
        if (output::PrintStatement(*printer, s, Form(context), TodayOf(context))) return true;
        const std::string error = printer->lastError();
        context.prompter->inform(std::string(output::kBatchTitle),
                                 error.empty() ? "The statement could not be printed." : error,
                                 Icon::Error);
        return false;
    };
    hooks.status = status;
    platform::SilentProgress silent;
    platform::Progress& progress = context.progress ? *context.progress : silent;
    const output::BatchOutcome out = output::RunStatementBatch(
        files, run, *context.company, context.labelQueue, *context.prompter, progress, hooks);
    if (!out.completed) return;
    FinishBatch(context);
    context.prompter->inform(
        std::string(output::kBatchTitle),
        "Batch Print complete. " + std::to_string(out.done) + " statements sent to spooler.");
}

}  // namespace invarro::ui
