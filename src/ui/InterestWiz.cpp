#include "ui/InterestWiz.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/Interest.h"
#include "data/Ansi.h"
#include "data/SideFiles.h"
#include "invoicing/TermSet.h"
#include "output/TextFile.h"
#include "platform/qt/QtFonts.h"
#include "ui/ListViewer.h"
#include "ui/RepeatForm.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
std::string S(const QString& s) {
    return s.toStdString();
}

}  // namespace

TInterestWiz::TInterestWiz(app::Session& session, const CustomerWindowContext& context,
                           app::RunHooks hooks, QWidget* parent)
    : QDialog(parent),
      session_(session),
      ctx_(context),
      hooks_(std::move(hooks)),
      order_(session.dateOrder) {
    setObjectName("TInterestWiz");
    setWindowTitle(Q(invoicing::kInterestCaption));
    platform::SystemClock system;
    const platform::Clock& clock = ctx_.clock ? *ctx_.clock : system;
    const data::Date today = data::Today(clock);
    const data::CompanyRecord& company = session_.company;
    const invoicing::InterestSettings s = invoicing::InterestSettingsOf(company, today, order_);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* over = new QGroupBox(" Calculate for Accounts Over ", this);
    auto* overLayout = new QVBoxLayout(over);
    days30 = new QRadioButton(Q(invoicing::AgingChoiceCaption(company, 0)), over);
    days30->setObjectName("days30");
    days60 = new QRadioButton(Q(invoicing::AgingChoiceCaption(company, 1)), over);
    days60->setObjectName("days60");
    days90 = new QRadioButton(Q(invoicing::AgingChoiceCaption(company, 2)), over);
    days90->setObjectName("days90");
    overLayout->addWidget(days30);
    overLayout->addWidget(days60);
    overLayout->addWidget(days90);
    (s.agingChoice == 1 ? days60 : s.agingChoice == 2 ? days90 : days30)->setChecked(true);
    top->addWidget(over);

    auto* rates = new QFormLayout;
    IPct = new QLineEdit(this);
    IPct->setObjectName("IPct");
    IPct->setMaxLength(5);
    IPct->setText(Q(s.percent));
    rates->addRow("Monthly Percentage Rate:", IPct);
    MinChg = new QLineEdit(this);
    MinChg->setObjectName("MinChg");
    MinChg->setMaxLength(5);
    MinChg->setText(Q(s.minimum));
    rates->addRow("Minimum Interest Charge:", MinChg);
    FlatCB = new QCheckBox("Use Flat Fee for Charges", this);
    FlatCB->setObjectName("FlatCB");
    rates->addRow(FlatCB);
    FlatRate = new QLineEdit(this);
    FlatRate->setObjectName("FlatRate");
    FlatRate->setMaxLength(6);
    FlatRate->setEnabled(false);
    rates->addRow("Flat Rate:", FlatRate);
    rates->addRow(new QLabel("(flat fee overrides above settings)", this));
    top->addLayout(rates);

    auto* options = new QFormLayout;
    IPrin = new QCheckBox("Mark Invoices as Printed", this);
    IPrin->setObjectName("IPrin");
    IPrin->setChecked(s.markPrinted);
    options->addRow(IPrin);
    auto* dateRow = new QHBoxLayout;
    IDate = MakeDateField(this, "IDate");
    IDate->setText(Q(s.invoiceDate));
    dateRow->addWidget(IDate);
    dateRow->addWidget(MakeCalendarButton(this, "Calbutton", IDate, order_, today));
    dateRow->addStretch(1);
    options->addRow("Invoice Date:", dateRow);
    InvComm = new QLineEdit(Q(s.notes), this);
    InvComm->setObjectName("InvComm");
    InvComm->setMaxLength(80);
    options->addRow("Invoice Comments/Reference:", InvComm);
    StmntNote = new QLineEdit(Q(s.stmntNote), this);
    StmntNote->setObjectName("StmntNote");
    StmntNote->setMaxLength(35);
    options->addRow("Statement Note:", StmntNote);
    ITerms = new QComboBox(this);
    ITerms->setObjectName("ITerms");
    ITerms->setEditable(true);
    for (const std::string& t : data::LoadTerms(ctx_.dataFolder).terms)
        ITerms->addItem(Q(t));
    ITerms->setEditText(
        Q(s.terms.empty() ? data::TrimmedText(company.text(data::Company::DefTerms)) : s.terms));
    options->addRow("Payment Terms:", ITerms);
    top->addLayout(options);
    layout->addLayout(top);

    auto* scanRow = new QHBoxLayout;
    LastRun = new QLabel(Q(invoicing::LastInterestRunText(company)), this);
    LastRun->setObjectName("LastRun");
    Button1 = new QPushButton("Scan File", this);
    Button1->setObjectName("Button1");
    scanRow->addWidget(LastRun, 1);
    scanRow->addWidget(Button1);
    layout->addLayout(scanRow);

    CustGrid = new QTableWidget(this);
    CustGrid->setObjectName("CustGrid");
    CustGrid->setAccessibleName(QStringLiteral("Customers to charge"));
    CustGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CustGrid->verticalHeader()->hide();
    CustGrid->setMinimumSize(640, 220);
    layout->addWidget(CustGrid, 1);
    Label3 = new QLabel(Q(invoicing::kInterestStart), this);
    Label3->setObjectName("Label3");
    layout->addWidget(Label3);

    GenInv = AddRunButtons(this, layout, "Generate Invoices", {"GenInv", "CanButn", "Button2"},
                           ctx_.openHelp, std::string(invoicing::kInterestCaption));
    showGrid(false);

    connect(FlatCB, &QCheckBox::toggled, this, [this](bool on) {
        FlatRate->setEnabled(on);
        IPct->setEnabled(!on);
        MinChg->setEnabled(!on);
        settingsChanged();
    });
    for (QRadioButton* b : {days30, days60, days90})
        connect(b, &QRadioButton::toggled, this, [this] { settingsChanged(); });
    connect(IPct, &QLineEdit::textEdited, this, [this] { settingsChanged(); });
    connect(FlatRate, &QLineEdit::textEdited, this, [this] { settingsChanged(); });
    connect(FlatRate, &QLineEdit::editingFinished, this, [this] {
        if (!FlatRate->text().trimmed().isEmpty() &&
            !invoicing::CheckFlatRate(S(FlatRate->text()), *ctx_.prompter))
            FlatRate->setFocus();
    });
    connect(Button1, &QPushButton::clicked, this,
            [this] { Guarded(*ctx_.prompter, [this] { scan(); }); });
    connect(GenInv, &QPushButton::clicked, this,
            [this] { Guarded(*ctx_.prompter, [this] { generate(); }); });
}

void TInterestWiz::settingsChanged() {
    Button1->setEnabled(true);
}

invoicing::InterestSettings TInterestWiz::settings() const {
    invoicing::InterestSettings s;
    s.agingChoice = days60->isChecked() ? 1 : days90->isChecked() ? 2 : 0;
    s.percent = data::TrimmedText(S(IPct->text()));
    s.minimum = data::TrimmedText(S(MinChg->text()));
    s.flat = FlatCB->isChecked();
    s.flatRate = data::TrimmedText(S(FlatRate->text()));
    s.markPrinted = IPrin->isChecked();
    s.invoiceDate = data::TrimmedText(S(IDate->text()));
    s.notes = S(InvComm->text());
    s.stmntNote = S(StmntNote->text());
    s.terms = data::TrimmedText(S(ITerms->currentText()));
    return s;
}

void TInterestWiz::showGrid(bool withNumbers) {
    QStringList heads{"Customer Name", "Customer#", "Overdue", "Interest Chg."};
    if (withNumbers) heads << "Invoice#";
    CustGrid->clear();
    CustGrid->setColumnCount(int(heads.size()));
    CustGrid->setHorizontalHeaderLabels(heads);
    const int rows = scan_ ? int(scan_->rows.size()) : 0;
    CustGrid->setRowCount(scan_ && rows > 0 ? rows + 1 : 0);
    auto put = [this](int r, int c, const std::string& text, bool right) {
        auto* item = new QTableWidgetItem(Q(text));
        if (right) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        CustGrid->setItem(r, c, item);
    };
    for (int r = 0; r < rows; ++r) {
        const invoicing::InterestRow& row = scan_->rows[size_t(r)];
        put(r, 0, row.name, false);
        put(r, 1, row.custNo, false);
        put(r, 2, row.overdue.shownText(), true);
        put(r, 3, row.charge.shownText(), true);
        if (withNumbers) put(r, 4, row.invoice, false);
    }
    if (rows > 0) {
        put(rows, 0, "Totals:", false);
        put(rows, 2, scan_->totalOverdue.shownText(), true);
        put(rows, 3, scan_->totalCharge.shownText(), true);
    }
    CustGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    CustGrid->resizeColumnsToContents();
}

void TInterestWiz::scan() {
    Button1->setEnabled(false);
    GenInv->setEnabled(false);
    scan_.reset();
    showGrid(false);
    Label3->setText(Q(invoicing::kScanning));
    Label3->repaint();
    invoicing::InterestSettings s = settings();
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    scan_ = app::ScanInterest(session_, s, *ctx_.prompter, progress, hooks_);
    if (s.flat) FlatRate->setText(Q(s.flatRate));
    used_ = s;
    showGrid(false);
    if (!scan_ || scan_->rows.empty()) {
        Label3->setText(Q(invoicing::kNoRecordsFound));
        Button1->setEnabled(true);
        // A rate or amount out of its bounds stopped the scan before anything was aged:
        // the field is there to be mended.
        if (const auto problem = invoicing::CheckInterestSettings(s)) {
            QLineEdit* field = problem->field == invoicing::InterestField::Percent   ? IPct
                               : problem->field == invoicing::InterestField::Minimum ? MinChg
                                                                                     : FlatRate;
            field->setFocus();
            field->selectAll();
        }
        return;
    }
    Label3->setText(QString::number(scan_->rows.size()) +
                    " found. Complete data below then select generate button...");
    GenInv->setEnabled(true);
}

void TInterestWiz::generate() {
    if (!scan_ || scan_->rows.empty()) return;
    invoicing::InterestSettings s = settings();
    // The amounts are those of the scan; the texts and the date are as they stand now.
    s.agingChoice = used_.agingChoice;
    s.percent = used_.percent;
    s.minimum = used_.minimum;
    s.flat = used_.flat;
    s.flatRate = used_.flatRate;
    if (!data::ParseUserDate(s.invoiceDate, order_)) {
        ctx_.prompter->inform("Invoice Date", std::string(invoicing::kInvalidInvoiceDate),
                              platform::Icon::Warning);
        IDate->setFocus();
        return;
    }
    GenInv->setEnabled(false);
    const std::string prefix = session_.companyPrefix();
    platform::Prompter& prompter = *ctx_.prompter;
    invoicing::RunFiles open(session_.folder, prefix, prompter, false);
    if (!open.ok()) {
        prompter.inform(std::string(invoicing::kInterestCaption),
                        std::string(invoicing::kRunFilesUnavailable), platform::Icon::Error);
        return;
    }
    platform::SystemClock system;
    const platform::Clock& clock = ctx_.clock ? *ctx_.clock : system;
    invoicing::SaveFiles files = open.saveFiles(session_.company, data::Today(clock));
    used_ = s;
    outcome_ = invoicing::GenerateInterest(files, *scan_, s, order_, prompter);
    // Refused whole (it said why): nothing was written, and the wizard stays to be mended.
    if (!outcome_.refused.empty()) {
        Button1->setEnabled(true);
        return;
    }
    showGrid(true);
    accept();
}

std::vector<std::string> TInterestWiz::reportLines() const {
    if (!scan_) return {};
    platform::SystemClock system;
    const platform::Clock& clock = ctx_.clock ? *ctx_.clock : system;
    return invoicing::InterestReportLines(*scan_, used_, session_.company, clock.now());
}

void TInterestWiz::Run(app::Session& session, const CustomerWindowContext& context,
                       app::RunHooks hooks, QWidget* parent) {
    TInterestWiz wizard(session, context, std::move(hooks), parent);
    if (wizard.exec() != QDialog::Accepted) return;
    platform::Prompter& prompter = *context.prompter;
    if (!prompter.yesNo("Operation Complete", invoicing::InterestDoneQuestion(wizard.created())))
        return;
    std::string error;
    if (!output::WriteTextList(context.dataFolder, wizard.reportLines(), &error)) {
        prompter.inform(std::string(invoicing::kInterestReportTitle), error, platform::Icon::Error);
        return;
    }
    const output::Font font = ManagerFont(session.company);
    TListViewer::ShowWorkFile(prompter, Q(invoicing::kInterestReportTitle), context.dataFolder,
                              platform::qt::ToQFont(font), platform::qt::ToQColor(font.color),
                              "Interest.RTF", parent);
}

}  // namespace invarro::ui
